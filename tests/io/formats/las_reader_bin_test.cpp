// Terrasolid BIN files written from their layout: both record sizes with and
// without time and colour words, echo codes, the box and counts of the whole
// file, the re-quantizing variants and hostile headers.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "io/formats/las_reader_bin.hpp"
#include "side_fixtures.hpp"
#include "side_test_points.hpp"
#include "temp_dir.hpp"

namespace {

using side_fixtures::BinFile;
using side_fixtures::BinPoint;

std::vector<BinPoint> some_points() {
  std::vector<BinPoint> points;
  for (int i = 0; i < 4; i++) {
    BinPoint p;
    p.x = 1000000 + 1250 * i;
    p.y = -2000000 + 333 * i;
    p.z = 15000 - 7 * i;
    p.code = static_cast<uint8_t>(i == 3 ? 0xE2 : 2 + i);  // upper bits are no class
    p.echo = static_cast<uint8_t>(i);
    p.line = static_cast<uint16_t>(i == 0 ? 255 : 17 + i);
    p.intensity = static_cast<uint16_t>(i == 2 ? 0x3FFF : 100 * i);
    p.time = 5000000u + 3u * static_cast<uint32_t>(i);
    p.red = static_cast<uint8_t>(10 * i);
    p.green = static_cast<uint8_t>(255 - i);
    p.blue = static_cast<uint8_t>(i);
    points.push_back(p);
  }
  return points;
}

using Opened = OpenedReader<LASreaderBIN>;

Opened open_bin(const TempDir& dir, const BinFile& file, const std::vector<BinPoint>& points,
                LASreaderBIN* reader = nullptr) {
  const side_fixtures::Bytes bytes = side_fixtures::bin_bytes(file, points);
  return open_side(dir.file("f.bin", std::string(bytes.begin(), bytes.end())), reader);
}

TEST(LASreaderBIN, RecordLayoutsCarryEveryField) {
  TempDir dir;
  struct Case {
    int32_t version;
    bool time, color;
    int format, length;
  };
  const Case cases[] = {
      {20020715, false, false, 0, 20}, {20020715, true, false, 1, 28},
      {20020715, false, true, 2, 26},  {20020715, true, true, 3, 34},
      {20010712, false, false, 0, 20}, {20010712, true, true, 3, 34},
  };
  const std::vector<BinPoint> points = some_points();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.version) + (c.time ? " time" : "") + (c.color ? " color" : ""));
    BinFile file;
    file.version = c.version;
    file.time = c.time;
    file.color = c.color;
    file.units = 1000;
    file.origin[0] = 500.0;
    file.origin[1] = -1000.0;
    file.origin[2] = 0.0;
    Opened o = open_bin(dir, file, points);
    ASSERT_TRUE(o.ok) << o.messages;
    const LASheader& h = o.reader->header;
    EXPECT_EQ(h.point_data_format, c.format);
    EXPECT_EQ(h.point_data_record_length, c.length);
    EXPECT_EQ(h.number_of_point_records, 4u);
    EXPECT_EQ(o.reader->npoints, 4);
    EXPECT_EQ(h.x_scale_factor, 0.001);
    EXPECT_EQ(h.x_offset, -0.5);
    EXPECT_EQ(h.y_offset, 1.0);
    EXPECT_STREQ(h.generating_software, "via LASreaderBIN (210531)");
    const std::vector<SidePoint> read = side_points_of(*o.reader);
    ASSERT_EQ(read.size(), points.size());
    const bool long_record = c.version == 20020715;
    for (size_t k = 0; k < points.size(); k++) {
      SCOPED_TRACE(k);
      const BinPoint& p = points[k];
      EXPECT_EQ(read[k].X, p.x);
      EXPECT_EQ(read[k].Y, p.y);
      EXPECT_EQ(read[k].Z, p.z);
      EXPECT_DOUBLE_EQ(read[k].x, (p.x - 500.0) / 1000.0);
      EXPECT_EQ(read[k].classification, p.code & 31);
      EXPECT_EQ(read[k].point_source_ID, long_record ? p.line : p.line & 0xFF);
      EXPECT_EQ(read[k].intensity, long_record ? p.intensity : p.intensity & 0x3FFF);
      EXPECT_EQ(read[k].gps_time, c.time ? p.time * 0.0002 : 0.0);
      EXPECT_EQ(read[k].red, c.color ? p.red * 256 : 0);
      EXPECT_EQ(read[k].green, c.color ? p.green * 256 : 0);
      EXPECT_EQ(read[k].blue, c.color ? p.blue * 256 : 0);
    }
  }
}

TEST(LASreaderBIN, EchoCodesGiveReturns) {
  TempDir dir;
  struct Case {
    int32_t version;
    uint8_t echo;
    int r, n;
  };
  const Case cases[] = {
      {20020715, 0, 1, 1}, {20020715, 1, 1, 2},   {20020715, 2, 2, 3}, {20020715, 3, 2, 2},
      {20020715, 4, 2, 3}, {20020715, 200, 2, 3}, {1, 0, 1, 1},        {1, 1, 1, 2},
      {1, 2, 2, 3},        {1, 3, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.version) + " echo " + std::to_string(c.echo));
    BinFile file;
    file.version = c.version;
    BinPoint p;
    p.echo = c.echo;
    Opened o = open_bin(dir, file, {p, p});
    ASSERT_TRUE(o.ok) << o.messages;
    // The counts by return are the whole file's when the open returns.
    const bool first = c.r == 1;
    EXPECT_EQ(o.reader->header.number_of_points_by_return[0], first ? 2u : 0u);
    EXPECT_EQ(o.reader->header.number_of_points_by_return[1], first ? 0u : 2u);
    const std::vector<SidePoint> read = side_points_of(*o.reader);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].return_number, c.r);
    EXPECT_EQ(read[0].number_of_returns, c.n);
  }
}

// The box holds every point, also those a sampling of every tenth would miss,
// so that no point lies outside the header a tool plans its work by.
TEST(LASreaderBIN, BoxHoldsEveryPoint) {
  TempDir dir;
  std::vector<BinPoint> points(25);
  for (int i = 0; i < 25; i++) {
    points[i].x = 1000 + i;
    points[i].y = 2000 + i;
    points[i].z = 300;
  }
  points[3].x = -50000;
  points[23].x = 90000;
  points[13].z = -4000;
  points[21].y = 777777;
  BinFile file;
  file.units = 100;
  Opened o = open_bin(dir, file, points);
  ASSERT_TRUE(o.ok) << o.messages;
  const LASheader& h = o.reader->header;
  EXPECT_EQ(h.min_x, -500.0);
  EXPECT_EQ(h.max_x, 900.0);
  EXPECT_EQ(h.min_y, 20.0);
  EXPECT_EQ(h.max_y, 7777.77);
  EXPECT_EQ(h.min_z, -40.0);
  EXPECT_EQ(h.max_z, 3.0);
  // Reading does not move it, and a second reading delivers the same.
  const std::vector<SidePoint> first = side_points_of(*o.reader);
  EXPECT_EQ(first.size(), 25u);
  EXPECT_EQ(h.max_x, 900.0);
  ASSERT_TRUE(o.reader->seek_point(0));
  EXPECT_EQ(side_points_of(*o.reader), first);
  ASSERT_TRUE(o.reader->seek_point(21));
  ASSERT_TRUE(o.reader->read_point());
  EXPECT_EQ(o.reader->point.Y, 777777);
  EXPECT_FALSE(o.reader->seek_point(25));
  EXPECT_FALSE(o.reader->seek_point(-1));
  // A second pass by name starts at the first point with the header kept.
  ASSERT_TRUE(o.reader->reopen((dir.path + "/f.bin").c_str()));
  EXPECT_EQ(side_points_of(*o.reader), first);
  EXPECT_EQ(h.max_x, 900.0);
}

// The variants put the requested quantization into the header and bring every
// point to it: the coordinates stay where the file has them.
TEST(LASreaderBIN, VariantsRequantizeEveryPoint) {
  TempDir dir;
  const std::vector<BinPoint> points = some_points();
  BinFile file;
  file.units = 1000;
  file.origin[0] = 500.0;
  Opened plain = open_bin(dir, file, points);
  ASSERT_TRUE(plain.ok);
  const std::vector<SidePoint> expected = side_points_of(*plain.reader);
  struct Case {
    const char* name;
    LASreaderBIN* reader;
    double scale[3], offset[3];
  };
  const Case cases[] = {
      {"rescale", new LASreaderBINrescale(0.01, 0.01, 0.1), {0.01, 0.01, 0.1}, {-0.5, 0, 0}},
      // A 0 keeps the file's factor on that axis.
      {"rescale z only", new LASreaderBINrescale(0, 0, 0.01), {0.001, 0.001, 0.01}, {-0.5, 0, 0}},
      {"reoffset",
       new LASreaderBINreoffset(1000, -2000, 5),
       {0.001, 0.001, 0.001},
       {1000, -2000, 5}},
      {"both",
       new LASreaderBINrescalereoffset(0.002, 0.004, 0.008, 900, -1900, 10),
       {0.002, 0.004, 0.008},
       {900, -1900, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Opened o = open_bin(dir, file, points, c.reader);
    ASSERT_TRUE(o.ok) << o.messages;
    const LASheader& h = o.reader->header;
    EXPECT_EQ(h.x_scale_factor, c.scale[0]);
    EXPECT_EQ(h.y_scale_factor, c.scale[1]);
    EXPECT_EQ(h.z_scale_factor, c.scale[2]);
    EXPECT_EQ(h.x_offset, c.offset[0]);
    EXPECT_EQ(h.y_offset, c.offset[1]);
    EXPECT_EQ(h.z_offset, c.offset[2]);
    const std::vector<SidePoint> read = side_points_of(*o.reader);
    ASSERT_EQ(read.size(), expected.size());
    for (size_t k = 0; k < read.size(); k++) {
      EXPECT_NEAR(read[k].x, expected[k].x, c.scale[0] / 2 + 1e-9) << k;
      EXPECT_NEAR(read[k].y, expected[k].y, c.scale[1] / 2 + 1e-9) << k;
      EXPECT_NEAR(read[k].z, expected[k].z, c.scale[2] / 2 + 1e-9) << k;
      EXPECT_EQ(read[k].X, std::lround((expected[k].x - c.offset[0]) / c.scale[0])) << k;
      EXPECT_EQ(read[k].intensity, expected[k].intensity);
    }
  }
  // A finer quantization that cannot hold the box is refused, not clamped.
  Opened refused = open_bin(dir, file, points, new LASreaderBINrescale(1e-9, 1e-9, 1e-9));
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.messages.find("does not fit a 32-bit integer"), std::string::npos)
      << refused.messages;
}

TEST(LASreaderBIN, HostileHeadersAreRefused) {
  TempDir dir;
  const std::vector<BinPoint> points = some_points();
  struct Case {
    const char* name;
    size_t at;  // byte to change (or cut before, with cut)
    int32_t value;
    bool cut;
    const char* message;
  };
  const Case cases[] = {
      {"short header", 30, 0, true, "ERROR: reading terrasolid header\n"},
      {"size", 0, 57, false, "ERROR: corrupt terrasolid header. size != 56.\n"},
      {"recognition value", 8, 970402, false,
       "ERROR: corrupt terrasolid header. recog_val != 970401.\n"},
      {"recognition text", 12, 0x5A595844, false,
       "ERROR: corrupt terrasolid header. recog_str != CXYZ.\n"},
      {"negative count", 16, -3, false,
       "ERROR: corrupt terrasolid header. number of points -3 is negative.\n"},
      {"units 0", 20, 0, false, "ERROR: corrupt terrasolid header. units 0 is not positive.\n"},
      {"negative units", 20, -10, false,
       "ERROR: corrupt terrasolid header. units -10 is not positive.\n"},
      {"more points than held", 16, 7, false, "ERROR: reading terrasolid point after 4 of 7\n"},
      {"huge count", 16, 0x7FFFFFFF, false,
       "ERROR: reading terrasolid point after 4 of 2147483647\n"},
      {"last record cut", 56 + 3 * 20 + 7, 0, true,
       "ERROR: reading terrasolid point after 3 of 4\n"},
      {"no points but records", 16, 0, false,
       "ERROR: corrupt terrasolid header. number of points is 0 but records follow.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    side_fixtures::Bytes bytes = side_fixtures::bin_bytes(BinFile(), points);
    if (c.cut) {
      bytes.resize(c.at);
    } else {
      for (int b = 0; b < 4; b++) bytes[c.at + b] = static_cast<uint8_t>(c.value >> (8 * b));
    }
    const std::string name = dir.file("h.bin", std::string(bytes.begin(), bytes.end()));
    LASreaderBIN reader;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(reader.open_file(name.c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
  }
  // An origin that is no number gives no coordinates.
  side_fixtures::Bytes bytes = side_fixtures::bin_bytes(BinFile(), points);
  for (int b = 0; b < 8; b++) bytes[32 + b] = 0xFF;
  const std::string name = dir.file("nan.bin", std::string(bytes.begin(), bytes.end()));
  LASreaderBIN reader;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(reader.open_file(name.c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: corrupt terrasolid header. origin is not a number.\n");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(reader.open_file(nullptr));
  EXPECT_FALSE(reader.open_file((dir.path + "/missing.bin").c_str()));
  EXPECT_EQ(
      testing::internal::GetCapturedStderr(),
      "ERROR: file name pointer is zero\nERROR: cannot open file '" + dir.path + "/missing.bin'\n");
}

TEST(LASreaderBIN, TimeAndColourWordsCutShort) {
  TempDir dir;
  for (bool time : {true, false}) {
    BinFile file;
    file.time = time;
    file.color = !time;
    side_fixtures::Bytes bytes = side_fixtures::bin_bytes(file, some_points());
    bytes.resize(bytes.size() - 2);
    const std::string name = dir.file("t.bin", std::string(bytes.begin(), bytes.end()));
    LASreaderBIN reader;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(reader.open_file(name.c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              time ? "ERROR: reading terrasolid time\n" : "ERROR: reading terrasolid color\n");
  }
}

}  // namespace
