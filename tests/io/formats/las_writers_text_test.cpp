#include "io/formats/las_writers_text.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/las_header.hpp"
#include "core/las_point.hpp"
#include "temp_dir.hpp"
#include "writer_scene.hpp"

namespace {

// A scene announcing three points, with a point of typical values.
struct Scene : WriterScene {
  explicit Scene(uint8_t format, const std::vector<LASattributeDescriptor>& attributes = {})
      : WriterScene(format, attributes, 3) {}
  // 638000.12 5620000.50 101.23 at scale 0.01.
  void typical() {
    point.X = 63800012;
    point.Y = 562000050;
    point.Z = 10123;
    point.intensity = 87;
    point.gps_time = 12.5;
    point.rgb[0] = 1;
    point.rgb[1] = 2;
    point.rgb[2] = 3;
  }
};

struct Written {
  bool opened = false;
  std::string text;
  std::string err;
  int64_t bytes = -2;
};

struct TxtOptions {
  const char* parse = nullptr;
  const char* separator = nullptr;
  bool pts = false;
  bool ptx = false;
  float scale_rgb = 1.0f;
};

// Writes `count` copies of the scene's point (or the points given) through a
// text writer on a file and returns what the file holds.
Written write_txt(Scene& scene, const TxtOptions& o, int count = 1,
                  const std::vector<const LASpoint*>& points = {}) {
  TempDir dir;
  const std::string name = dir.path + "/out.txt";
  Written w;
  LASwriterTXT writer;
  writer.set_pts(o.pts);
  writer.set_ptx(o.ptx);
  testing::internal::CaptureStderr();
  w.opened = writer.open_file(name.c_str(), &scene.header, o.parse, o.separator);
  if (w.opened) {
    if (o.scale_rgb != 1.0f) writer.set_scale_rgb(o.scale_rgb);
    for (int i = 0; i < count; i++) writer.write_one_point(&scene.point);
    for (const LASpoint* p : points) writer.write_one_point(p);
    w.bytes = writer.close_output(true);
  }
  w.err = testing::internal::GetCapturedStderr();
  w.text = writer_read_file(name);
  return w;
}

void add_record(LASheader& header, uint16_t id, uint16_t size, const char* parse,
                const std::vector<double>& values = {}, int64_t cols = 0, int64_t rows = 0) {
  std::unique_ptr<uint8_t[]> payload(new uint8_t[size]());
  const float translate = 2048.0f, scale = 1.0f;
  std::memcpy(payload.get(), &translate, 4);
  std::memcpy(payload.get() + 4, &scale, 4);
  std::strncpy(reinterpret_cast<char*>(payload.get() + 16), parse, 15);
  if (size == 272) {
    std::memcpy(payload.get() + 32, &cols, 8);
    std::memcpy(payload.get() + 40, &rows, 8);
    std::memcpy(payload.get() + 48, values.data(), values.size() * 8);
  }
  header.insert_vlr("Mirvelox", id, size, std::move(payload));
}

// Without a parse string the point format chooses the fields.
TEST(LASwriterTXT, DefaultFieldsFollowThePointFormat) {
  const char* const kXyz = "638000.12 5620000.50 101.23";
  const std::string expected[11] = {
      std::string(kXyz) + "\n",           std::string(kXyz) + " 12.500000\n",
      std::string(kXyz) + " 1 2 3\n",     std::string(kXyz) + " 12.500000 1 2 3\n",
      std::string(kXyz) + " 12.500000\n", std::string(kXyz) + " 12.500000 1 2 3\n",
      std::string(kXyz) + "\n",           std::string(kXyz) + "\n",
      std::string(kXyz) + "\n",           std::string(kXyz) + "\n",
      std::string(kXyz) + "\n",
  };
  for (uint8_t format = 0; format <= 10; format++) {
    Scene scene(format);
    scene.typical();
    const Written w = write_txt(scene, {});
    ASSERT_TRUE(w.opened) << int(format) << w.err;
    EXPECT_EQ(w.text, expected[format]) << int(format);
    EXPECT_EQ(w.bytes, static_cast<int64_t>(w.text.size()));
    EXPECT_EQ(w.err, "");
  }
}

// One point of each family, every letter on its own. Points of the extended
// formats print their wide fields (returns up to 15, classes up to 255, the
// scan angle in steps of 0.006 degrees) instead of the cut legacy ones.
TEST(LASwriterTXT, EveryLetter) {
  Scene legacy(5);
  LASpoint& a = legacy.point;
  a.X = -1234;
  a.Y = 5;
  a.Z = 100000;
  a.intensity = 65535;
  a.set_return_number(2);
  a.set_number_of_returns(7);
  a.set_scan_direction_flag(1);
  a.set_edge_of_flight_line(0);
  a.set_classification(31);
  a.set_synthetic_flag(1);
  a.set_keypoint_flag(0);
  a.set_withheld_flag(1);
  a.scan_angle_rank = -90;
  a.user_data = 200;
  a.point_source_ID = 65000;
  a.gps_time = 123456.000001;
  a.rgb[0] = 65535;
  a.rgb[1] = 256;
  a.rgb[2] = 0;
  a.wavepacket.set_index(7);
  a.wavepacket.set_offset(5000000000ull);
  a.wavepacket.set_size(3000000000u);
  a.wavepacket.set_location(0.1f);
  a.wavepacket.set_xt(1.5f);
  a.wavepacket.set_yt(-2.25f);
  a.wavepacket.set_zt(3e-7f);

  Scene extended(10);
  LASpoint& b = extended.point;
  b.X = 1;
  b.Y = -1;
  b.Z = 0;
  b.intensity = 0;
  b.set_extended_return_number(9);
  b.set_extended_number_of_returns(12);
  b.set_return_number(7);
  b.set_number_of_returns(7);
  b.set_extended_classification(200);
  b.set_extended_synthetic_flag(0);
  b.set_extended_keypoint_flag(1);
  b.set_extended_withheld_flag(0);
  b.set_extended_overlap_flag(1);
  b.set_extended_scanner_channel(3);
  b.extended_scan_angle = -5001;
  b.rgb[3] = 4321;
  b.gps_time = -0.5;

  struct Case {
    const char* letters;
    const char* legacy;
    const char* extended;
  } cases[] = {
      {"x", "-12.34", "0.01"},
      {"y", "0.05", "-0.01"},
      {"z", "1000.00", "0.00"},
      {"X", "-1234", "1"},
      {"Y", "5", "-1"},
      {"Z", "100000", "0"},
      {"t", "123456.000001", "-0.500000"},
      {"i", "65535", "0"},
      {"a", "-90", "-30.006"},
      {"r", "2", "9"},
      {"n", "7", "12"},
      {"c", "31", "200"},
      {"u", "200", "0"},
      {"p", "65000", "0"},
      {"e", "0", "0"},
      {"d", "1", "0"},
      {"h", "1", "0"},
      {"k", "0", "1"},
      {"g", "1", "0"},
      {"o", "0", "1"},
      {"l", "0", "3"},
      {"w", "7", "0"},
      {"W", "7 5000000000 3000000000 0.1 1.5 -2.25 3.00000010611257e-07", "0 0 0 0 0 0 0"},
      {"R", "65535", "0"},
      {"G", "256", "0"},
      {"B", "0", "0"},
      {"I", "0", "4321"},
      {"M", "1", "1"},
      {"m", "0", "0"},
      {"s", "", ""},
      {"xsy", "-12.34  0.05", "0.01  -0.01"},
  };
  for (const Case& c : cases) {
    TxtOptions o;
    o.parse = c.letters;
    Written w = write_txt(legacy, o);
    ASSERT_TRUE(w.opened) << c.letters << w.err;
    EXPECT_EQ(w.text, std::string(c.legacy) + "\n") << c.letters;
    w = write_txt(extended, o);
    ASSERT_TRUE(w.opened) << c.letters << w.err;
    EXPECT_EQ(w.text, std::string(c.extended) + "\n") << c.letters;
  }
  // The point number counts from the first point written.
  TxtOptions o;
  o.parse = "Mm";
  EXPECT_EQ(write_txt(legacy, o, 3).text, "1 0\n2 1\n3 2\n");
}

TEST(LASwriterTXT, Separators) {
  Scene scene(0);
  scene.typical();
  const struct {
    const char* name;
    const char* line;
  } cases[] = {
      {"comma", "638000.12,87,101.23\n"},  {"tab", "638000.12\t87\t101.23\n"},
      {"dot", "638000.12.87.101.23\n"},    {"period", "638000.12.87.101.23\n"},
      {"colon", "638000.12:87:101.23\n"},  {"semicolon", "638000.12;87;101.23\n"},
      {"hyphen", "638000.12-87-101.23\n"}, {"minus", "638000.12-87-101.23\n"},
      {"space", "638000.12 87 101.23\n"},
  };
  for (const auto& c : cases) {
    TxtOptions o;
    o.parse = "xiz";
    o.separator = c.name;
    const Written w = write_txt(scene, o);
    ASSERT_TRUE(w.opened) << c.name;
    EXPECT_EQ(w.text, c.line) << c.name;
  }
  TxtOptions o;
  o.separator = "pipe";
  const Written w = write_txt(scene, o);
  EXPECT_FALSE(w.opened);
  EXPECT_EQ(w.err, "ERROR: unknown seperator 'pipe'\n");
}

TEST(LASwriterTXT, IntensitiesAndColoursOfTheDialectsAndScales) {
  Scene scene(2);
  scene.typical();
  TxtOptions o;
  o.parse = "xyzi";
  o.separator = "comma";
  EXPECT_EQ(write_txt(scene, o).text, "638000.12,5620000.50,101.23,87\n");

  scene.point.rgb[0] = 65280;
  o = TxtOptions();
  o.parse = "R";
  o.scale_rgb = 0.00390625f;
  EXPECT_EQ(write_txt(scene, o).text, "255.00\n");

  const struct {
    bool pts;
    uint16_t intensity;
    const char* text;
  } cases[] = {{true, 0, "-2048"},   {true, 4095, "2047"}, {false, 4095, "1"},
               {false, 2048, "0.5"}, {false, 0, "0"},      {false, 1000, "0.244"}};
  Scene scan(0);
  add_record(scan.header, 2001, 272, "xyzi", std::vector<double>(28, 0.0), 1, 1);
  for (const auto& c : cases) {
    Scene& s = c.pts ? scene : scan;
    s.point.intensity = c.intensity;
    o = TxtOptions();
    o.parse = "i";
    o.pts = c.pts;
    o.ptx = !c.pts;
    const Written w = write_txt(s, o);
    ASSERT_TRUE(w.opened);
    // The line after the count line (PTS) or the ten header lines (PTX).
    const std::string line = w.text.substr(w.text.rfind('\n', w.text.size() - 2) + 1);
    EXPECT_EQ(line, std::string(c.text) + "\n") << c.pts << " " << c.intensity;
  }
}

TEST(LASwriterTXT, ParseStringsThatCannotBeWritten) {
  Scene scene(0);
  TxtOptions o;
  o.parse = "xyz0";
  Written w = write_txt(scene, o);
  EXPECT_FALSE(w.opened);
  EXPECT_EQ(w.err, "ERROR: extra bytes attribute '0' does not exist.\n");
  EXPECT_EQ(w.text, "") << "no file is left behind";

  o.parse = "xyzq";
  w = write_txt(scene, o);
  EXPECT_FALSE(w.opened);
  EXPECT_EQ(w.err.substr(0, w.err.find('\n') + 1),
            "ERROR: unknown symbol 'q' in parse string. valid are\n");
  EXPECT_NE(w.err.find("       'x' : the x coordinate\n"), std::string::npos);
  EXPECT_NE(w.err.find("       'Z' : the unscaled and unoffset integer z coordinate\n"),
            std::string::npos);

  o.parse = "";
  w = write_txt(scene, o);
  EXPECT_FALSE(w.opened);
  EXPECT_EQ(w.err, "ERROR: the parse string is empty\n");

  o.parse = "xyzm";
  EXPECT_TRUE(write_txt(scene, o).opened) << "'m' is taken although the help does not list it";
}

TEST(LASwriterTXT, CoordinatesHaveTheDecimalsOfTheScaleFactor) {
  const struct {
    double scale;
    int32_t X;
    const char* text;
  } cases[] = {
      {0.1, 12345, "1234.5"},
      {0.01, -5, "-0.05"},
      {0.001, 1, "0.001"},
      {0.0001, 123456789, "12345.6789"},
      {0.00001, 7, "0.00007"},
      {0.000001, -70500000, "-70.500000"},
      {0.0000001, 1, "0.0000001"},
      {0.00000001, 10, "0.00000010"},
      {0.000000001, 5, "0.000000005"},
      {1.0, 1234, "1234"},
      {0.25, 49, "12.25"},
      {0.5, -3, "-1.5"},
      {0.002, 5, "0.01"},
  };
  for (const auto& c : cases) {
    Scene scene(0);
    scene.header.x_scale_factor = c.scale;
    scene.point.X = c.X;
    TxtOptions o;
    o.parse = "x";
    EXPECT_EQ(write_txt(scene, o).text, std::string(c.text) + "\n") << c.scale;
  }
  Scene offset(0);
  offset.header.y_offset = 5000000.0;
  offset.point.Y = 25;
  TxtOptions o;
  o.parse = "y";
  EXPECT_EQ(write_txt(offset, o).text, "5000000.25\n");
}

// The coordinate form against printf itself, over quantized coordinates of
// every scale with offsets on and off the grid, values near zero of either
// sign, and values too large for the fast digits.
TEST(LAStextCoordinateForm, MatchesPrintf) {
  const double scales[] = {0.1,      0.01,      0.001,      0.0001,     0.00001,
                           0.000001, 0.0000001, 0.00000001, 0.000000001};
  const double offsets[] = {0.0, 500000.0, -70.0, 1000000.005, 0.123456789, -4e9, 1e15};
  uint64_t state = 12345;
  auto next = [&state]() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<int32_t>(state >> 32);
  };
  char expected[512];
  for (int d = 1; d <= 9; d++) {
    for (const double offset : offsets) {
      for (int i = 0; i < 2000; i++) {
        const int32_t X = i < 10 ? i - 5 : next() >> (i % 24);
        const double value = scales[d - 1] * X + offset;
        std::snprintf(expected, sizeof(expected), "%.*f", d, value);
        std::string got;
        text_append_coordinate(got, value, d);
        ASSERT_EQ(got, expected) << d << " " << X << " " << offset;
      }
    }
    for (const double value : {-0.0, 0.0, -1e-12, 1e-12, -0.0049, 1e300, -1e300, 0.5e-9}) {
      std::snprintf(expected, sizeof(expected), "%.*f", d, value);
      std::string got;
      text_append_coordinate(got, value, d);
      EXPECT_EQ(got, expected) << d << " " << value;
    }
  }
}

// Attributes print in their own type; scaled ones as value x scale + offset,
// with the digits it takes to read back the same value.
TEST(LASwriterTXT, ExtraBytesAttributes) {
  std::vector<LASattributeDescriptor> attributes = {
      writer_attribute(0, "u8"),  writer_attribute(1, "i8"),
      writer_attribute(2, "u16"), writer_attribute(3, "i16"),
      writer_attribute(4, "u32"), writer_attribute(5, "i32", 0.01, 5.0),
      writer_attribute(8, "f32"), writer_attribute(9, "f64"),
      writer_attribute(6, "u64"), writer_attribute(5, "i32 scaled", 0.001),
  };
  Scene scene(1, attributes);
  uint8_t* e = scene.point.extra_bytes.get();
  auto at = [&](int index) { return e + scene.header.attribute_starts[index]; };
  *at(0) = 250;
  *at(1) = static_cast<uint8_t>(-100);
  const uint16_t u16 = 65535;
  std::memcpy(at(2), &u16, 2);
  const int16_t i16 = -32768;
  std::memcpy(at(3), &i16, 2);
  const uint32_t u32 = 3000000000u;
  std::memcpy(at(4), &u32, 4);
  const int32_t i32 = -123;
  std::memcpy(at(5), &i32, 4);
  const float f32 = 0.1f;
  std::memcpy(at(6), &f32, 4);
  const double f64 = 1234567.891011;
  std::memcpy(at(7), &f64, 8);
  const int32_t fine = 123456789;
  std::memcpy(at(9), &fine, 4);
  TxtOptions o;
  o.parse = "012345679";
  Written w = write_txt(scene, o);
  ASSERT_TRUE(w.opened) << w.err;
  EXPECT_EQ(w.text, "250 -100 65535 -32768 3000000000 3.77 0.1 1234567.891011 123456.789\n");
  EXPECT_EQ(w.err, "");

  o.parse = "8";
  w = write_txt(scene, o, 2);
  EXPECT_EQ(w.text, "\n\n");
  EXPECT_EQ(w.err,
            "WARNING: attribute 8 not (yet) implemented.\n"
            "WARNING: attribute 8 not (yet) implemented.\n");
}

TEST(LASwriterTXT, PtsAndPtxHeaderLines) {
  Scene scene(2);
  scene.typical();
  scene.header.number_of_point_records = 3;

  // PTS: the count line, the parse string of the record.
  add_record(scene.header, 2000, 32, "xyzRGB");
  TxtOptions pts;
  pts.pts = true;
  Written w = write_txt(scene, pts);
  EXPECT_EQ(w.text, "3       \n638000.12 5620000.50 101.23 1 2 3\n");
  EXPECT_EQ(w.err, "");

  // LAS 1.4 counts, a parse string outside the four and another separator warn.
  Scene wide(6);
  wide.typical();
  wide.header.extended_number_of_point_records = 5000000000ull;
  add_record(wide.header, 2000, 32, "xyz");
  pts.parse = "xyzt";
  pts.separator = "comma";
  w = write_txt(wide, pts);
  EXPECT_EQ(w.text, "5000000000       \n638000.12,5620000.50,101.23,12.500000\n");
  EXPECT_EQ(w.err,
            "WARNING: the parse string for PTS should be 'xyz', 'xyzi', 'xyziRGB', or 'xyzRGB'\n"
            "WARNING: the separator for PTS should be 'space' not 'comma'\n");

  // No record: a warning, then the format's fields.
  Scene plain(0);
  plain.typical();
  pts = TxtOptions();
  pts.pts = true;
  w = write_txt(plain, pts);
  EXPECT_EQ(w.text, "3       \n638000.12 5620000.50 101.23\n");
  EXPECT_EQ(w.err, "WARNING: found no VLR with PTS or PTX info.\n");
  pts.parse = "original";
  EXPECT_EQ(write_txt(plain, pts).text, "3       \n638000.12 5620000.50 101.23\n")
      << "without a record, \"original\" means the format's fields";

  // PTX: the ten header lines from the record, values with the digits they need.
  Scene scan(0);
  scan.typical();
  const std::vector<double> values = {500000.125, 4100000.5, 12.0,  // translation
                                      1.0,        0.0,       0.0,  0.0, 0.99999999, -0.1, 0.0,
                                      0.1,        1.0,  // rotation
                                      1.0,        0.0,       0.0,  0.0, 0.0,        1.0,  0.0,
                                      0.0,        0.0,       0.0,  1.0, 0.0,  // transformation
                                      500000.125, 4100000.5, 12.0, 1.0};
  add_record(scan.header, 2001, 272, "xyzi", values, 4, 3);
  TxtOptions ptx;
  ptx.ptx = true;
  scan.point.intensity = 4095;
  w = write_txt(scan, ptx);
  EXPECT_EQ(w.text,
            "4     \n3     \n500000.125 4100000.5 12\n1 0 0\n0 0.99999999 -0.1\n0 0.1 1\n"
            "1 0 0 0\n0 1 0 0\n0 0 1 0\n500000.125 4100000.5 12 1\n"
            "638000.12 5620000.50 101.23 1\n");
  EXPECT_EQ(w.err, "");

  // A PTX record of the wrong size: PTS instead, with PTS intensities.
  Scene broken(0);
  broken.typical();
  add_record(broken.header, 2001, 32, "xyzi");
  ptx.parse = "xyzi";
  w = write_txt(broken, ptx);
  EXPECT_EQ(w.text, "3       \n638000.12 5620000.50 101.23 -1961\n");
  EXPECT_EQ(w.err,
            "WARNING: found VLR for PTX with wrong payload size of 32.\n"
            "         outputting PTS instead ...\n");
}

// A disk that fills up fails the output: the write or the close says so, and
// the result is -1, never a byte count.
TEST(LASwriterTXT, FullDiskFailsTheOutput) {
  Scene scene(3);
  scene.typical();
  for (bool by_name : {true, false}) {
    SCOPED_TRACE(by_name ? "by name" : "on a stream");
    LASwriterTXT writer;
    FILE* full = by_name ? nullptr : std::fopen("/dev/full", "w");
    testing::internal::CaptureStderr();
    const bool opened = by_name ? writer.open_file("/dev/full", &scene.header)
                                : writer.open_cfile(full, &scene.header);
    bool all_written = true;
    for (int i = 0; i < 6000 && opened; i++) all_written &= writer.write_one_point(&scene.point);
    const int64_t bytes = writer.close_output(true);
    const std::string err = testing::internal::GetCapturedStderr();
    if (full) std::fclose(full);
    ASSERT_TRUE(opened);
    EXPECT_FALSE(all_written) << "6000 lines overflow the stdio buffer";
    EXPECT_EQ(bytes, -1);
    EXPECT_EQ(err, std::string("ERROR: cannot write to '") + (by_name ? "/dev/full" : "stream") +
                       "': No space left on device\n");
  }
  // One line fits the buffer: only the close finds the full disk.
  LASwriterTXT writer;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(writer.open_file("/dev/full", &scene.header));
  EXPECT_TRUE(writer.write_one_point(&scene.point));
  EXPECT_EQ(writer.close_output(true), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: cannot write to '/dev/full': No space left on device\n");
}

TEST(LASwriterTXT, NoPointsIsAnEmptyOutputNotAFailure) {
  Scene scene(0);
  const Written w = write_txt(scene, {}, 0);
  ASSERT_TRUE(w.opened);
  EXPECT_EQ(w.bytes, 0);
  EXPECT_EQ(w.text, "");
}

// --- VRML ------------------------------------------------------------------

Written write_wrl(Scene& scene, const char* parse, const std::vector<uint16_t>& reds) {
  TempDir dir;
  const std::string name = dir.path + "/out.wrl";
  Written w;
  LASwriterWRL writer;
  testing::internal::CaptureStderr();
  w.opened = writer.open_file(name.c_str(), &scene.header, parse);
  if (w.opened) {
    int32_t k = 0;
    for (uint16_t red : reds) {
      scene.point.X = 100 * k + 1;
      scene.point.Y = -k;
      scene.point.Z = 5;
      scene.point.rgb[0] = red;
      scene.point.rgb[1] = 128;
      scene.point.rgb[2] = 0;
      writer.write_one_point(&scene.point);
      k++;
    }
    w.bytes = writer.close_output(true);
  }
  w.err = testing::internal::GetCapturedStderr();
  w.text = writer_read_file(name);
  return w;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

const std::vector<std::string> kPointLines = {"0.01 0.00 0.05", "1.01 -0.01 0.05",
                                              "2.01 -0.02 0.05"};

TEST(LASwriterWRL, SceneWithoutColours) {
  Scene scene(0);
  const Written w = write_wrl(scene, nullptr, {0, 0, 0});
  ASSERT_TRUE(w.opened);
  std::vector<std::string> expected = {"Shape {",
                                       "\tappearance Appearance {",
                                       "\t\tmaterial Material {",
                                       "\t\t\temissiveColor .5 .2 .7",
                                       "\t\t}",
                                       "\t}",
                                       "\tgeometry PointSet {",
                                       "\t\tcoord Coordinate {",
                                       "\t\t\tpoint ["};
  expected.insert(expected.end(), kPointLines.begin(), kPointLines.end());
  for (const char* l : {"\t\t\t]", "\t\t}", "\t}", "}"}) expected.push_back(l);
  EXPECT_EQ(lines_of(w.text), expected);
  EXPECT_EQ(w.text.back(), '\n');
  EXPECT_EQ(w.bytes, static_cast<int64_t>(w.text.size()));
  EXPECT_EQ(w.err, "");
}

// Every format with colours gets the colour block, the LAS 1.4 ones too; a
// channel above 255 contributes its high byte.
TEST(LASwriterWRL, SceneWithColours) {
  for (uint8_t format : {2, 3, 5, 7, 8, 10}) {
    SCOPED_TRACE(int(format));
    Scene scene(format);
    const Written w = write_wrl(scene, nullptr, {65535, 255, 256});
    ASSERT_TRUE(w.opened);
    std::vector<std::string> expected = {"Shape {", "\tgeometry PointSet {",
                                         "\t\tcoord Coordinate {", "\t\t\tpoint ["};
    expected.insert(expected.end(), kPointLines.begin(), kPointLines.end());
    for (const char* l :
         {"\t\t\t]", "\t\t}", "\t\tcolor Color {", "\t\t\tcolor [", "1.00 0.50 0.00",
          "1.00 0.50 0.00", "0.00 0.50 0.00", "\t\t\t]", "\t\t}", "\t}", "}"}) {
      expected.push_back(l);
    }
    EXPECT_EQ(lines_of(w.text), expected);
    EXPECT_EQ(w.err, "");
  }
}

TEST(LASwriterWRL, TheParseStringDecidesOnColours) {
  Scene colours(3);
  Written w = write_wrl(colours, "xyz", {1});
  EXPECT_EQ(w.text.find("color"), std::string::npos);
  EXPECT_NE(w.text.find("emissiveColor"), std::string::npos);
  w = write_wrl(colours, "xyzRGB", {1});
  EXPECT_NE(w.text.find("\t\tcolor Color {\n"), std::string::npos);

  Scene none(1);
  w = write_wrl(none, "xyzRGB", {1});
  ASSERT_TRUE(w.opened);
  EXPECT_EQ(w.err, "WARNING: points do not have RGB colors\n");
  EXPECT_EQ(w.text.find("\t\tcolor Color {\n"), std::string::npos);
}

TEST(LASwriterWRL, FullDiskFailsTheOutput) {
  Scene scene(2);
  LASwriterWRL writer;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(writer.open_file("/dev/full", &scene.header));
  for (int i = 0; i < 10; i++) writer.write_one_point(&scene.point);
  EXPECT_EQ(writer.close_output(true), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: cannot write to '/dev/full': No space left on device\n");
}

}  // namespace
