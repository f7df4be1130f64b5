// LAS 1.4 files of point formats 6 to 10 through the LAS reader and writer:
// raw -> VPK -> raw gives the same points and the same raw file, and a VPK
// file read with a request mask gives the requested fields.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "las_fixture.hpp"

namespace {

struct FileCase {
  uint8_t format;
  uint16_t extra;
};

const FileCase kCases[] = {{6, 0}, {7, 2}, {8, 0}, {9, 1}, {10, 0}, {10, 9}};

// Channels alternating point by point and every return combination up to
// 15 of 15.
std::vector<FixturePoint> file_points(const FileCase& c, size_t count) {
  std::vector<FixturePoint> points =
      fixture_random_points(300 + c.format, count, c.format, c.extra);
  for (size_t i = 0; i < points.size(); i++) {
    points[i].scanner_channel = static_cast<uint8_t>(i % 4);
    points[i].number_of_returns = static_cast<uint8_t>(1 + (i / 15) % 15);
    points[i].return_number = static_cast<uint8_t>(1 + i % 15);
  }
  return points;
}

std::vector<uint8_t> copy_file(const std::vector<uint8_t>& bytes, uint16_t compressor,
                               uint32_t mask = LASreaderLAS::kDecompressAll) {
  LASreaderLAS reader;
  EXPECT_TRUE(reader.open_stream(
      new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size())), false, mask));
  ByteStreamOutArrayLE out;
  LASwriterLAS writer;
  writer.set_delete_stream(false);
  EXPECT_TRUE(writer.open_stream(&out, &reader.header, compressor, 0, 400));
  while (reader.read_point()) EXPECT_TRUE(writer.write_one_point(&reader.point));
  EXPECT_GT(writer.close_output(true), 0);
  return std::vector<uint8_t>(out.get_data(), out.get_data() + out.get_size());
}

}  // namespace

TEST(VpkLayeredLasFile, RawToVpkToRawKeepsEveryPoint) {
  for (const FileCase& c : kCases) {
    SCOPED_TRACE("format " + std::to_string(c.format) + " extra " + std::to_string(c.extra));
    FixtureFile f;
    f.version_minor = 4;
    f.point_data_format = c.format;
    f.extra_bytes = c.extra;
    const std::vector<FixturePoint> points = file_points(c, 1500);
    const std::vector<uint8_t> raw = fixture_write_bytes(f, points);
    const std::vector<uint8_t> vpk = copy_file(raw, 3);
    ASSERT_LT(vpk.size(), raw.size());

    LASreaderLAS reader;
    ASSERT_TRUE(
        reader.open_stream(new ByteStreamInArrayLE(vpk.data(), static_cast<int64_t>(vpk.size()))));
    EXPECT_EQ(reader.format_code(), 2);
    size_t i = 0;
    while (reader.read_point()) {
      ASSERT_LT(i, points.size());
      ASSERT_EQ(reader.point.X, points[i].X) << i;
      ASSERT_EQ(reader.point.get_extended_return_number(), points[i].return_number) << i;
      i++;
    }
    EXPECT_EQ(i, points.size());
    // Every field of every point, byte for byte, and the header with it.
    EXPECT_EQ(copy_file(vpk, 0), raw);
  }
}

TEST(VpkLayeredLasFile, MaskedReadsGiveTheRequestedFields) {
  const FileCase c = {8, 4};
  FixtureFile f;
  f.version_minor = 4;
  f.point_data_format = c.format;
  f.extra_bytes = c.extra;
  const std::vector<FixturePoint> points = file_points(c, 1000);
  const std::vector<uint8_t> vpk = copy_file(fixture_write_bytes(f, points), 3);
  struct Row {
    const char* name;
    uint32_t mask;
  };
  const Row rows[] = {
      {"XY only", 0}, {"Z only", 1}, {"extra bytes only", 0xFFFF0000u}, {"RGB without NIR", 0x100}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LASreaderLAS reader;
    ASSERT_TRUE(reader.open_stream(
        new ByteStreamInArrayLE(vpk.data(), static_cast<int64_t>(vpk.size())), false, row.mask));
    for (size_t i = 0; i < points.size(); i++) {
      ASSERT_TRUE(reader.read_point());
      const FixturePoint& want = points[i];
      const FixturePoint& first = points[i - i % 400];
      const LASpoint& p = reader.point;
      ASSERT_EQ(p.X, want.X) << i;
      ASSERT_EQ(p.Y, want.Y) << i;
      ASSERT_EQ(p.get_extended_return_number(), want.return_number) << i;
      ASSERT_EQ(p.get_extended_scanner_channel(), want.scanner_channel) << i;
      ASSERT_EQ(p.Z, (row.mask & 1) ? want.Z : first.Z) << i;
      ASSERT_EQ(p.intensity, first.intensity) << i;
      ASSERT_EQ(p.gps_time, first.gps_time) << i;
      const FixturePoint& colour = (row.mask & 0x100) ? want : first;
      ASSERT_EQ(p.rgb[0], colour.rgb[0]) << i;
      ASSERT_EQ(p.rgb[2], colour.rgb[2]) << i;
      ASSERT_EQ(p.rgb[3], first.nir) << i;
      const FixturePoint& extra = (row.mask & 0x10000) ? want : first;
      ASSERT_EQ(0, std::memcmp(p.extra_bytes.get(), extra.extra_bytes.data(), 4)) << i;
    }
  }
}
