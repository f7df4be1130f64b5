// The roads out of the library into the text, BIN, QFIT and VRML formats:
// LAS files of every point format go through the output options into each
// format and back (through the text reader, or by the format's byte layout),
// compared field by field for everything the format holds.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "arg_vector.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer.hpp"
#include "core/las_writer_las.hpp"
#include "io/formats/las_reader_txt.hpp"
#include "io/formats/las_writers_binary.hpp"
#include "io/las_input_options.hpp"
#include "io/las_output_options.hpp"
#include "las_fixture.hpp"
#include "point_reading.hpp"
#include "temp_dir.hpp"
#include "writer_scene.hpp"

namespace {

constexpr size_t kPoints = 60;

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// Two extra-bytes attributes on every record: a scaled and offset i32 and an
// f64.
std::vector<FixtureAttribute> attributes() {
  FixtureAttribute scaled;
  scaled.data_type = 6;
  scaled.options = 8 | 16;
  scaled.name = "scaled";
  scaled.scale = {0.01, 0, 0};
  scaled.offset = {5.0, 0, 0};
  FixtureAttribute wide;
  wide.data_type = 10;
  wide.name = "wide";
  wide.scale = {1.0, 1.0, 1.0};
  return {scaled, wide};
}

// A LAS file of one point format whose random points carry values every
// writer can hold: times on a grid of 1/8 s, scan angles a text reader takes
// back, attribute values that are numbers.
struct Source {
  FixtureFile file;
  std::vector<FixturePoint> points;
  std::string path;
};

Source make_source(const TempDir& dir, uint8_t format, bool geographic = false) {
  Source s;
  s.file.point_data_format = format;
  s.file.version_minor = fixture_format_is_extended(format) ? 4 : format >= 4 ? 3 : 2;
  s.file.extra_bytes = 12;
  s.file.vlrs.push_back(fixture_extra_bytes_vlr(attributes()));
  if (geographic) s.file.scale = {0.000001, 0.000001, 0.001};
  s.points = fixture_random_points(1000 + format, kPoints, format, 12);
  FixtureRandom r(77 + format);
  for (size_t i = 0; i < s.points.size(); i++) {
    FixturePoint& p = s.points[i];
    if (fixture_format_has_gps(format)) p.gps_time = 100000.0 + static_cast<double>(r.below(4000000)) / 8.0;
    // A text reader warns about angles beyond a signed byte of degrees.
    if (fixture_format_is_extended(format)) p.extended_scan_angle = static_cast<int16_t>(r.range(-21000, 21000));
    const int32_t scaled = static_cast<int32_t>(r.range(-1000000, 1000000));
    const double wide = r.uniform(-1e6, 1e6);
    std::memcpy(p.extra_bytes.data(), &scaled, 4);
    std::memcpy(p.extra_bytes.data() + 4, &wide, 8);
  }
  s.path = dir.path + "/source" + std::to_string(format) + ".las";
  fixture_write_file(s.path, s.file, s.points);
  return s;
}

struct Converted {
  bool ok = false;
  std::string err;
  int64_t bytes = -2;
};

// Reads a LAS file and writes every point through the writer that the output
// options open.
Converted convert(const std::string& las, const std::vector<std::string>& args) {
  Converted c;
  LASreaderLAS reader;
  LASoutputOptions options;
  ArgVector av(args);
  testing::internal::CaptureStderr();
  if (reader.open_file(las.c_str()) && options.take_arguments(av.argc(), av.argv())) {
    std::unique_ptr<LASwriter> writer(options.open_writer(&reader.header));
    if (writer) {
      c.ok = true;
      while (reader.read_point()) c.ok &= writer->write_one_point(&reader.point);
      c.bytes = writer->close_output(true);
      c.ok &= c.bytes >= 0;
    }
  }
  c.err = testing::internal::GetCapturedStderr();
  return c;
}

// --- text --------------------------------------------------------------------

// Every letter the writer knows; the extended family adds overlap, channel
// and NIR, which make the text reader choose an extended format.
const char* parse_of(uint8_t format) {
  return fixture_format_is_extended(format) ? "xyzXYZtiarncupedhkgMmwWRGB01olI" : "xyzXYZtiarncupedhkgMmwWRGB01";
}

// The reader's view of the writer's letters: what it cannot take it skips.
std::string reading_parse_of(const std::string& written) {
  std::string reading;
  for (const char c : written) {
    if (c == 'W') {
      reading += "sssssss";
    } else if (std::strchr("XYZMmw", c)) {
      reading += 's';
    } else {
      reading += c;
    }
  }
  return reading;
}

// The source point as the text reader should deliver it: everything but the
// wave packet, which a text reader does not take.
FixturePoint expected_from_text(FixturePoint p) {
  p.wavepacket = {};
  return p;
}

std::vector<FixturePoint> read_text_points(const std::string& name, const std::string& parse,
                                           const FixtureFile& source, bool pts, std::string* err) {
  LASreaderTXT reader;
  reader.set_pts(pts);
  reader.set_scale_factor(source.scale.data());
  reader.set_offset(source.offset.data());
  reader.add_attribute(6, "scaled", nullptr, 0.01, 5.0);
  reader.add_attribute(10, "wide");
  std::vector<FixturePoint> points;
  testing::internal::CaptureStderr();
  if (reader.open_file(name.c_str(), 0, parse.c_str())) {
    const uint8_t format = reader.header.point_data_format;
    while (reader.read_point()) points.push_back(fixture_point_of(reader.point, format));
  }
  *err = testing::internal::GetCapturedStderr();
  return points;
}

TEST(WriterRoads, LasToTextAndBackCarriesEveryField) {
  TempDir dir;
  for (uint8_t format = 0; format <= 10; format++) {
    SCOPED_TRACE("point format " + std::to_string(format));
    const Source source = make_source(dir, format);
    const std::string parse = parse_of(format);
    std::string spaced;
    for (const char* separator : {"space", "comma", "tab", "semicolon"}) {
      SCOPED_TRACE(separator);
      const std::string out = dir.path + "/out_" + separator + ".txt";
      const Converted c = convert(source.path, {"-o", out, "-oparse", parse, "-osep", separator});
      ASSERT_TRUE(c.ok) << c.err;
      EXPECT_EQ(c.err, "");
      std::string err;
      const std::vector<FixturePoint> back =
          read_text_points(out, reading_parse_of(parse), source.file, false, &err);
      EXPECT_EQ(err, "");
      ASSERT_EQ(back.size(), source.points.size());
      for (size_t i = 0; i < back.size(); i++) {
        ASSERT_EQ(fixture_point_difference(expected_from_text(source.points[i]), back[i]), "")
            << "point " << i;
      }
      if (std::strcmp(separator, "space") == 0) spaced = writer_read_file(out);
    }

    // The letters no reader takes, token by token.
    const std::vector<std::string> lines = split(spaced, '\n');
    ASSERT_EQ(lines.size(), kPoints + 1);
    for (size_t i = 0; i < kPoints; i++) {
      const FixturePoint& p = source.points[i];
      const std::vector<std::string> t = split(lines[i], ' ');
      ASSERT_EQ(t.size(), parse.size() + 6) << lines[i];
      EXPECT_EQ(t[3], std::to_string(p.X));
      EXPECT_EQ(t[4], std::to_string(p.Y));
      EXPECT_EQ(t[5], std::to_string(p.Z));
      EXPECT_EQ(t[19], std::to_string(i + 1));
      EXPECT_EQ(t[20], std::to_string(i));
      const bool waves = format == 4 || format == 5 || format == 9 || format == 10;
      EXPECT_EQ(t[21], std::to_string(waves ? p.wavepacket[0] : 0));
      uint64_t offset = 0;
      uint32_t size = 0;
      if (waves) {
        std::memcpy(&offset, p.wavepacket.data() + 1, 8);
        std::memcpy(&size, p.wavepacket.data() + 9, 4);
      }
      EXPECT_EQ(t[22], std::to_string(waves ? p.wavepacket[0] : 0));
      EXPECT_EQ(t[23], std::to_string(offset));
      EXPECT_EQ(t[24], std::to_string(size));
    }

    // Separators no reader takes: the same text with another character.
    for (const auto& [name, character] : std::vector<std::pair<const char*, char>>{
             {"dot", '.'}, {"period", '.'}, {"colon", ':'}, {"hyphen", '-'}, {"minus", '-'}}) {
      const std::string out = dir.path + "/out_" + name + ".txt";
      ASSERT_TRUE(convert(source.path, {"-o", out, "-oparse", parse, "-osep", name}).ok);
      std::string expected = spaced;
      for (char& ch : expected) {
        if (ch == ' ') ch = character;
      }
      EXPECT_EQ(writer_read_file(out), expected) << name;
    }
  }
}

// A PTS or PTX scan read as text keeps its header in a record that survives
// a LAS file; the text writer gives the scan back line for line.
TEST(WriterRoads, PtsAndPtxScansSurviveALasFile) {
  TempDir dir;
  const std::string pts_text =
      "3\n"
      "1.25 2.50 3.75 -2048 10 20 30\n"
      "-1.00 0.00 1.00 0 0 0 0\n"
      "100.01 200.02 300.03 2047 255 254 253\n";
  const std::string ptx_text =
      "2\n2\n"
      "500000.125 4100000.5 12\n1 0 0\n0 1 0\n0 0 1\n"
      "1 0 0 0\n0 1 0 0\n0 0 1 0\n500000.125 4100000.5 12 1\n"
      "1.25 2.50 3.75 0.5\n"
      "-1.00 0.00 1.00 0\n"
      "100.01 200.02 300.03 1\n"
      "0.01 0.02 0.03 0.25\n";
  const struct {
    const char* name;
    const std::string* text;
    bool pts;
    const char* parse;
    const char* option;
  } cases[] = {{"scan.pts", &pts_text, true, "xyziRGB", "-opts"},
               {"scan.ptx", &ptx_text, false, "xyzi", "-optx"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = dir.file(c.name, *c.text);
    const std::string las = dir.path + "/" + c.name + ".las";
    {
      LASreaderTXT reader;
      reader.set_pts(c.pts);
      reader.set_ptx(!c.pts);
      const double scale[3] = {0.01, 0.01, 0.01};
      reader.set_scale_factor(scale);
      ASSERT_TRUE(reader.open_file(text.c_str(), 0, c.parse));
      LASwriterLAS writer;
      ASSERT_TRUE(writer.open_file(las.c_str(), &reader.header));
      while (reader.read_point()) ASSERT_TRUE(writer.write_one_point(&reader.point));
      ASSERT_GT(writer.close_output(true), 0);
    }
    const std::string out = dir.path + "/" + c.name + ".out.txt";
    // No parse string: the one the scan was read with, kept in its record.
    const Converted converted = convert(las, {"-o", out, c.option});
    ASSERT_TRUE(converted.ok) << converted.err;
    EXPECT_EQ(converted.err, "");
    std::string expected = *c.text;
    // The count lines are padded with blanks.
    if (c.pts) {
      expected.replace(0, 1, "3       ");
    } else {
      expected.replace(0, 3, "2     \n2     ");
    }
    EXPECT_EQ(writer_read_file(out), expected);
  }
}

// --- BIN ---------------------------------------------------------------------

// One BIN record as its byte layout says, turned into what a reader makes of it.
struct BinPoint {
  double x, y, z;
  int code, line, echo, intensity;
  double time;
  int red, green, blue;
};

std::vector<BinPoint> decode_bin(const std::string& bytes, int32_t* count) {
  auto i32 = [&](size_t at) {
    int32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
  };
  auto f64 = [&](size_t at) {
    double v;
    std::memcpy(&v, bytes.data() + at, 8);
    return v;
  };
  std::vector<BinPoint> points;
  if (bytes.size() < 56 || i32(0) != 56 || i32(8) != 970401 || bytes.compare(12, 4, "CXYZ")) {
    return points;
  }
  *count = i32(16);
  const bool wide = i32(4) == 20020715;
  const double units = i32(20);
  const double origin[3] = {f64(24), f64(32), f64(40)};
  const bool time = i32(48) != 0, colour = i32(52) != 0;
  const size_t stride = (wide ? 20 : 16) + (time ? 4 : 0) + (colour ? 4 : 0);
  for (size_t at = 56; at + stride <= bytes.size(); at += stride) {
    BinPoint p{};
    const uint8_t* r = reinterpret_cast<const uint8_t*>(bytes.data() + at);
    const size_t xyz = wide ? at : at + 4;
    p.x = (i32(xyz) - origin[0]) / units;
    p.y = (i32(xyz + 4) - origin[1]) / units;
    p.z = (i32(xyz + 8) - origin[2]) / units;
    if (wide) {
      p.code = r[12];
      p.echo = r[13];
      p.line = r[16] | (r[17] << 8);
      p.intensity = r[18] | (r[19] << 8);
    } else {
      p.code = r[0];
      p.line = r[1];
      const int word = r[2] | (r[3] << 8);
      p.echo = word >> 14;
      p.intensity = word & 0x3FFF;
    }
    size_t next = at + (wide ? 20 : 16);
    if (time) {
      p.time = static_cast<uint32_t>(i32(next)) * 0.0002;
      next += 4;
    }
    if (colour) {
      p.red = r[next - at] << 8;
      p.green = r[next - at + 1] << 8;
      p.blue = r[next - at + 2] << 8;
    }
    points.push_back(p);
  }
  return points;
}

int echo_of(int r, int n) {
  if (n <= 1) return 0;
  if (r == 1) return 1;
  return r >= n ? 3 : 2;
}

// The writer's bytes, decoded by the file's layout; the round trip through
// the BIN reader follows below.
TEST(WriterRoads, LasToBinCarriesWhatBinHolds) {
  TempDir dir;
  for (const char* version : {"ts8", "ts16"}) {
    for (uint8_t format = 0; format <= 10; format++) {
      SCOPED_TRACE(std::string(version) + " point format " + std::to_string(format));
      Source source = make_source(dir, format);
      const std::string out = dir.path + "/out.bin";
      Converted c;
      if (std::strcmp(version, "ts8") == 0) {
        c = convert(source.path, {"-o", out});
      } else {
        // The output options write 16-byte records; the 20-byte ones by hand.
        LASreaderLAS reader;
        ASSERT_TRUE(reader.open_file(source.path.c_str()));
        LASwriterBIN writer;
        ASSERT_TRUE(writer.open_file(out.c_str(), &reader.header, "ts16"));
        while (reader.read_point()) ASSERT_TRUE(writer.write_one_point(&reader.point));
        c.ok = writer.close_output(true) > 0;
      }
      ASSERT_TRUE(c.ok) << c.err;
      EXPECT_EQ(c.err, "");
      int32_t count = -1;
      const std::vector<BinPoint> back = decode_bin(writer_read_file(out), &count);
      ASSERT_EQ(back.size(), kPoints);
      EXPECT_EQ(count, static_cast<int32_t>(kPoints));
      const bool wide = std::strcmp(version, "ts16") == 0;
      for (size_t i = 0; i < kPoints; i++) {
        SCOPED_TRACE("point " + std::to_string(i));
        const FixturePoint& p = source.points[i];
        const BinPoint& b = back[i];
        EXPECT_NEAR(b.x, p.X * 0.01, 1e-9);
        EXPECT_NEAR(b.y, p.Y * 0.01, 1e-9);
        EXPECT_NEAR(b.z, p.Z * 0.01, 1e-9);
        EXPECT_EQ(b.code, p.classification < 32 ? p.classification : 0);
        EXPECT_EQ(b.echo, echo_of(p.return_number, p.number_of_returns));
        EXPECT_EQ(b.line, wide ? p.point_source_ID : p.point_source_ID & 0xFF);
        EXPECT_EQ(b.intensity, wide ? p.intensity : p.intensity & 0x3FFF);
        if (fixture_format_has_gps(format)) {
          EXPECT_NEAR(b.time, p.gps_time, 1e-6);
        }
        if (fixture_format_has_rgb(format)) {
          EXPECT_EQ(b.red, p.rgb[0] & 0xFF00);
          EXPECT_EQ(b.green, p.rgb[1] & 0xFF00);
          EXPECT_EQ(b.blue, p.rgb[2] & 0xFF00);
        }
      }
    }
  }
}

// --- QFIT ----------------------------------------------------------------------

TEST(WriterRoads, LasToQfitCarriesWhatQfitHolds) {
  TempDir dir;
  for (uint8_t format = 0; format <= 10; format++) {
    SCOPED_TRACE("point format " + std::to_string(format));
    const Source source = make_source(dir, format, true);
    const std::string out = dir.path + "/out.qi";
    const Converted c = convert(source.path, {"-o", out});
    ASSERT_TRUE(c.ok) << c.err;
    EXPECT_EQ(c.err, "");
    const std::string bytes = writer_read_file(out);
    auto word = [&](size_t at) {
      int32_t v;
      std::memcpy(&v, bytes.data() + at, 4);
      return v;
    };
    ASSERT_EQ(bytes.size(), 80 + 40 * kPoints);
    ASSERT_EQ(word(0), 40);
    ASSERT_EQ(word(44), 80);
    for (size_t i = 0; i < kPoints; i++) {
      SCOPED_TRACE("point " + std::to_string(i));
      const FixturePoint& p = source.points[i];
      const size_t at = 80 + 40 * i;
      EXPECT_EQ(word(at), fixture_format_has_gps(format) ? static_cast<int32_t>(p.gps_time * 1000) : 0);
      EXPECT_EQ(word(at + 4), p.Y);
      const int32_t longitude = word(at + 8);
      EXPECT_EQ(longitude > 180000000 ? longitude - 360000000 : longitude, p.X);
      EXPECT_EQ(word(at + 12), p.Z);
      EXPECT_EQ(word(at + 20), p.intensity);
      // The scan angle comes back as azimuth - 180 degrees.
      const int32_t azimuth = word(at + 24);
      if (fixture_format_is_extended(format)) {
        EXPECT_EQ(azimuth, 180000 + 6 * p.extended_scan_angle);
      } else {
        EXPECT_EQ(azimuth, 180000 + 1000 * p.scan_angle_rank);
      }
    }
  }
}

// --- VRML ----------------------------------------------------------------------

TEST(WriterRoads, LasToVrmlCarriesCoordinatesAndColours) {
  TempDir dir;
  for (uint8_t format = 0; format <= 10; format++) {
    SCOPED_TRACE("point format " + std::to_string(format));
    const Source source = make_source(dir, format);
    const std::string out = dir.path + "/out.wrl";
    const Converted c = convert(source.path, {"-o", out});
    ASSERT_TRUE(c.ok) << c.err;
    const std::vector<std::string> lines = split(writer_read_file(out), '\n');
    const bool colours = fixture_format_has_rgb(format);
    const size_t first = colours ? 4 : 9;
    ASSERT_EQ(lines.size(), first + kPoints + (colours ? 8 + kPoints : 4) + 1);
    for (size_t i = 0; i < kPoints; i++) {
      const FixturePoint& p = source.points[i];
      char expected[128];
      std::snprintf(expected, sizeof(expected), "%.2f %.2f %.2f", p.X * 0.01, p.Y * 0.01,
                    p.Z * 0.01);
      EXPECT_EQ(lines[first + i], expected) << i;
      if (colours) {
        auto byte = [](uint16_t v) { return v > 255 ? v >> 8 : v; };
        std::snprintf(expected, sizeof(expected), "%.2f %.2f %.2f", byte(p.rgb[0]) * 0.003921569f,
                      byte(p.rgb[1]) * 0.003921569f, byte(p.rgb[2]) * 0.003921569f);
        EXPECT_EQ(lines[first + kPoints + 4 + i], expected) << i;
      }
    }
  }
}

}  // namespace

namespace {

// --- there and back -----------------------------------------------------------

// Opens `input` through the input options and writes every point through the
// output options into `output` (LAS); the LAS file as the fixture reader sees it.
bool read_back(const std::string& input, const std::string& output, FixtureContents* contents,
               std::string* err) {
  LASinputOptions in;
  LASoutputOptions out;
  ArgVector in_args({"-i", input});
  ArgVector out_args({"-o", output});
  testing::internal::CaptureStderr();
  bool ok = in.take_arguments(in_args.argc(), in_args.argv()) == 1 &&
            out.take_arguments(out_args.argc(), out_args.argv());
  std::unique_ptr<LASreader> reader(ok ? in.open_next_reader() : nullptr);
  std::unique_ptr<LASwriter> writer(reader ? out.open_writer(&reader->header) : nullptr);
  ok = writer != nullptr;
  while (ok && reader->read_point()) ok = writer->write_one_point(&reader->point);
  if (writer) ok = writer->close_output(true) > 0 && ok;
  *err = testing::internal::GetCapturedStderr();
  std::string error;
  ok = ok && fixture_read_file(output, contents, &error);
  *err += error;
  return ok;
}

// LAS to BIN with the writer and back to LAS with the BIN reader: every field
// BIN holds comes back, in order.
TEST(WriterRoads, LasToBinToLas) {
  TempDir dir;
  for (const char* version : {"ts8", "ts16"}) {
    for (uint8_t format = 0; format <= 10; format++) {
      SCOPED_TRACE(std::string(version) + " point format " + std::to_string(format));
      const Source source = make_source(dir, format);
      const std::string bin = dir.path + "/there.bin";
      {
        LASreaderLAS reader;
        ASSERT_TRUE(reader.open_file(source.path.c_str()));
        LASwriterBIN writer;
        ASSERT_TRUE(writer.open_file(bin.c_str(), &reader.header, version));
        while (reader.read_point()) ASSERT_TRUE(writer.write_one_point(&reader.point));
        ASSERT_GT(writer.close_output(true), 0);
      }
      FixtureContents back;
      std::string err;
      ASSERT_TRUE(read_back(bin, dir.path + "/back.las", &back, &err)) << err;
      EXPECT_EQ(err, "");
      const uint8_t back_format = back.header.point_data_format;
      EXPECT_EQ(back_format, (fixture_format_has_gps(format) ? 1 : 0) + (fixture_format_has_rgb(format) ? 2 : 0));
      ASSERT_EQ(back.points.size(), kPoints);
      const bool wide = std::strcmp(version, "ts16") == 0;
      for (size_t i = 0; i < kPoints; i++) {
        SCOPED_TRACE("point " + std::to_string(i));
        const FixturePoint& p = source.points[i];
        const FixturePoint& b = back.points[i];
        EXPECT_NEAR(b.X * back.header.scale[0] + back.header.offset[0], p.X * 0.01, 1e-9);
        EXPECT_NEAR(b.Y * back.header.scale[1] + back.header.offset[1], p.Y * 0.01, 1e-9);
        EXPECT_NEAR(b.Z * back.header.scale[2] + back.header.offset[2], p.Z * 0.01, 1e-9);
        EXPECT_EQ(b.classification, p.classification < 32 ? p.classification : 0);
        static const int kReturns[4][2] = {{1, 1}, {1, 2}, {2, 3}, {2, 2}};
        const int echo = echo_of(p.return_number, p.number_of_returns);
        EXPECT_EQ(b.return_number, kReturns[echo][0]);
        EXPECT_EQ(b.number_of_returns, kReturns[echo][1]);
        EXPECT_EQ(b.point_source_ID, wide ? p.point_source_ID : p.point_source_ID & 0xFF);
        EXPECT_EQ(b.intensity, wide ? p.intensity : p.intensity & 0x3FFF);
        if (fixture_format_has_gps(format)) {
          EXPECT_NEAR(b.gps_time, p.gps_time, 1e-6);
        }
        if (fixture_format_has_rgb(format)) {
          EXPECT_EQ(b.rgb[0], p.rgb[0] & 0xFF00);
          EXPECT_EQ(b.rgb[1], p.rgb[1] & 0xFF00);
          EXPECT_EQ(b.rgb[2], p.rgb[2] & 0xFF00);
        }
      }
    }
  }
}

// LAS in longitude and latitude to QFIT and back to LAS with the QFIT reader:
// coordinates, times, intensities and the scan angle (by way of the azimuth)
// come back, in order, with the azimuth, pitch and roll as attributes.
TEST(WriterRoads, LasToQfitToLas) {
  TempDir dir;
  for (uint8_t format = 0; format <= 10; format++) {
    SCOPED_TRACE("point format " + std::to_string(format));
    const Source source = make_source(dir, format, true);
    const std::string qfit = dir.path + "/there.qi";
    const Converted c = convert(source.path, {"-o", qfit});
    ASSERT_TRUE(c.ok) << c.err;
    FixtureContents back;
    std::string err;
    ASSERT_TRUE(read_back(qfit, dir.path + "/back.las", &back, &err)) << err;
    EXPECT_EQ(back.header.point_data_format, 1);
    ASSERT_EQ(back.points.size(), kPoints);
    for (size_t i = 0; i < kPoints; i++) {
      SCOPED_TRACE("point " + std::to_string(i));
      const FixturePoint& p = source.points[i];
      const FixturePoint& b = back.points[i];
      EXPECT_EQ(b.X, p.X);
      EXPECT_EQ(b.Y, p.Y);
      EXPECT_EQ(b.Z, p.Z);
      EXPECT_EQ(b.intensity, p.intensity);
      EXPECT_NEAR(b.gps_time, fixture_format_has_gps(format) ? std::trunc(p.gps_time * 1000) / 1000 : 0.0, 1e-9);
      const int angle = fixture_format_is_extended(format)
                            ? static_cast<int>(std::lround(p.extended_scan_angle * 0.006))
                            : p.scan_angle_rank;
      EXPECT_EQ(b.scan_angle_rank, std::max(-128, std::min(127, angle)));
      ASSERT_GE(b.extra_bytes.size(), 12u);
      int32_t azimuth;
      std::memcpy(&azimuth, b.extra_bytes.data(), 4);
      EXPECT_EQ(azimuth, fixture_format_is_extended(format) ? 180000 + 6 * p.extended_scan_angle
                                             : 180000 + 1000 * p.scan_angle_rank);
    }
  }
}

}  // namespace
