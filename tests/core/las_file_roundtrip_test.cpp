// Point records through the LAS reader and writer, checked against the
// independent fixture writer and reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "las_fixture.hpp"
#include "point_reading.hpp"

namespace {

struct FormatCase {
  uint8_t minor;
  uint8_t format;
  uint16_t extra;
};

class LASfileRoundTrip : public ::testing::TestWithParam<FormatCase> {};

TEST_P(LASfileRoundTrip, ReadEveryFieldAndWriteTheSameBytes) {
  const FormatCase c = GetParam();
  FixtureFile f;
  f.version_minor = c.minor;
  f.point_data_format = c.format;
  f.extra_bytes = c.extra;
  const auto points = fixture_random_points(100 + c.format, 57, c.format, c.extra);
  const auto bytes = fixture_write_bytes(f, points);

  LASreaderLAS reader;
  ASSERT_TRUE(reader.open_stream(
      new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
  auto* out = new ByteStreamOutArrayLE();
  LASwriterLAS writer;
  writer.set_delete_stream(false);
  ASSERT_TRUE(writer.open_stream(out, &reader.header));
  size_t i = 0;
  while (reader.read_point()) {
    ASSERT_LT(i, points.size());
    EXPECT_EQ(fixture_point_difference(fixture_point_of(reader.point, c.format), points[i]), "")
        << "point " << i;
    ASSERT_TRUE(writer.write_one_point(&reader.point));
    i++;
  }
  EXPECT_EQ(i, points.size());
  EXPECT_GT(writer.close_output(true), 0);
  std::vector<uint8_t> written(out->get_data(), out->get_data() + out->get_size());
  delete out;
  EXPECT_EQ(written, bytes);
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, LASfileRoundTrip,
                         ::testing::Values(FormatCase{2, 0, 0}, FormatCase{2, 0, 5},
                                           FormatCase{2, 1, 0}, FormatCase{2, 2, 3},
                                           FormatCase{2, 3, 0}, FormatCase{3, 4, 0},
                                           FormatCase{3, 5, 2}, FormatCase{4, 6, 0},
                                           FormatCase{4, 7, 4}, FormatCase{4, 8, 0},
                                           FormatCase{4, 9, 1}, FormatCase{4, 10, 0},
                                           FormatCase{4, 10, 9}));

TEST(LASfileRead, TruncatedPointBlockWarnsOnce) {
  FixtureFile f;
  const auto points = fixture_random_points(7, 1000, 0);
  auto bytes = fixture_write_bytes(f, points);
  bytes.resize(bytes.size() - 400 * 20);
  LASreaderLAS reader;
  ASSERT_TRUE(reader.open_stream(
      new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
  int n = 0;
  testing::internal::CaptureStderr();
  while (reader.read_point()) n++;
  EXPECT_FALSE(reader.read_point());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(n, 600);
  EXPECT_EQ(err, "WARNING: end-of-file after 600 of 1000 points for ''\n");
}

TEST(LASfileRead, RescaleMultipliesAndRoundsAwayFromZero) {
  FixtureFile f;
  std::vector<FixturePoint> points(3);
  points[0].X = 123;
  points[1].X = -7;
  points[2].X = 5;
  points[0].Y = 11;
  const auto bytes = fixture_write_bytes(f, points);
  {
    LASreaderLASrescale reader(0.001, 0.0, 0.0);
    ASSERT_TRUE(reader.open_stream(
        new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
    std::vector<int32_t> xs, ys;
    while (reader.read_point()) {
      xs.push_back(reader.point.X);
      ys.push_back(reader.point.Y);
    }
    EXPECT_EQ(xs, (std::vector<int32_t>{1230, -70, 50}));
    EXPECT_EQ(ys, (std::vector<int32_t>{11, 0, 0}));
  }
  {
    LASreaderLASrescale reader(0.02, 0.0, 0.0);  // halves: -3.5 -> -4, 2.5 -> 3
    ASSERT_TRUE(reader.open_stream(
        new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
    std::vector<int32_t> xs;
    while (reader.read_point()) xs.push_back(reader.point.X);
    EXPECT_EQ(xs, (std::vector<int32_t>{62, -4, 3}));
  }
}

}  // namespace

namespace {

std::vector<int32_t> read_xs(LASreader& reader) {
  std::vector<int32_t> xs;
  while (reader.read_point()) xs.push_back(reader.point.X);
  return xs;
}

TEST(LASfileRead, ReoffsetShiftsTheIntegers) {
  FixtureFile f;
  std::vector<FixturePoint> points(3);
  points[0].X = 30000000;  // 3.0e5 at 0.01
  points[1].X = 31000000;
  points[2].X = 30000001;
  const auto bytes = fixture_write_bytes(f, points);
  {
    LASreaderLASreoffset reader;  // automatic: x offset 3.0e5
    ASSERT_TRUE(reader.open_stream(
        new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
    EXPECT_EQ(read_xs(reader), (std::vector<int32_t>{0, 1000000, 1}));
    EXPECT_DOUBLE_EQ(reader.point.get_x(), 300000.01);
  }
  {
    LASreaderLASrescalereoffset reader(0.1, 0.0, 0.0, 299000.0, 0.0, 0.0);
    ASSERT_TRUE(reader.open_stream(
        new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
    // (3.0e5 - 2.99e5) / 0.1 = 10000; 300000.01 rounds to 10000 as well
    EXPECT_EQ(read_xs(reader), (std::vector<int32_t>{10000, 110000, 10000}));
  }
}

TEST(LASfileRead, SeekCloseAndReopen) {
  FixtureFile f;
  f.point_data_format = 3;
  const auto points = fixture_random_points(17, 50, 3);
  const auto bytes = fixture_write_bytes(f, points);
  LASreaderLAS reader;
  ASSERT_TRUE(reader.open_stream(
      new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
  ASSERT_TRUE(reader.seek_point(42));
  ASSERT_TRUE(reader.read_point());
  EXPECT_EQ(reader.point.X, points[42].X);
  EXPECT_EQ(reader.p_count, 43);
  EXPECT_FALSE(reader.seek_point(50));
  EXPECT_FALSE(reader.seek_point(-1));
  ASSERT_TRUE(reader.seek_point(0));
  EXPECT_EQ(read_xs(reader).size(), 50u);
  reader.close_input(true);
  EXPECT_EQ(reader.input_stream(), nullptr);
  EXPECT_FALSE(reader.read_point());
  ASSERT_TRUE(reader.open_stream(
      new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
  EXPECT_EQ(read_xs(reader).size(), 50u);
}

TEST(LASfileWrite, FewerPointsThanAnnouncedAreCountedInTheFile) {
  FixtureFile f;
  f.point_data_format = 1;
  const auto points = fixture_random_points(18, 1000, 1);
  const auto bytes = fixture_write_bytes(f, points);
  LASreaderLAS reader;
  ASSERT_TRUE(reader.open_stream(
      new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size()))));
  const std::string path = std::string(PL_BINARY_DIR) + "/las_file_write_test_900.las";
  LASwriterLAS writer;
  ASSERT_TRUE(writer.open_file(path.c_str(), &reader.header));
  for (int i = 0; i < 900 && reader.read_point(); i++) writer.write_one_point(&reader.point);
  testing::internal::CaptureStderr();
  writer.close_output(true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING: written 900 points but expected 1000 points\n");
  LASreaderLAS back;
  ASSERT_TRUE(back.open_file(path.c_str()));
  EXPECT_EQ(back.npoints, 900);
  EXPECT_EQ(read_xs(back).size(), 900u);
  back.close_input(true);
  std::remove(path.c_str());
}

}  // namespace
