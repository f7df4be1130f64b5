// Points of formats 6 to 10 compressed by the point-record writer into
// multistream chunks with the layered coders of versions 3 and 4 and read
// back by the point-record reader, in full, with a request mask and by seeking.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_item.hpp"
#include "core/las_point.hpp"
#include "core/las_point_record_reader.hpp"
#include "core/las_point_record_writer.hpp"
#include "las_fixture.hpp"
#include "layered_chunk_driver.hpp"

namespace {

LAScompressorSetup layered_setup(uint8_t format, uint16_t extra, uint16_t version,
                                 uint32_t chunk_size) {
  LAScompressorSetup setup;
  uint16_t n = 0;
  std::vector<LASitem> items;
  EXPECT_TRUE(setup.setup_from_point_type(format, fixture_standard_record_length(format) + extra,
                                          &n, &items));
  EXPECT_TRUE(setup.setup(n, items.data(), LAScompressorKind::multistream_chunked));
  EXPECT_TRUE(setup.choose_version(2));
  // The set-up record only ever chooses 3; an item list that says 4 is honoured.
  for (LASitem& item : setup.items) item.version = version;
  EXPECT_TRUE(setup.change_chunk_size(chunk_size));
  return setup;
}

void to_point(const LayeredPoint& from, LASpoint& to) {
  static_cast<LASpointData&>(to) = from.data;
  if (to.extra_bytes_number)
    std::memcpy(to.extra_bytes.get(), from.extra.data(), from.extra.size());
}

LayeredPoint from_point(const LASpoint& from) {
  LayeredPoint p;
  p.data = static_cast<const LASpointData&>(from);
  p.extra.assign(from.extra_bytes.get(), from.extra_bytes.get() + from.extra_bytes_number);
  return p;
}

std::vector<uint8_t> write_points(const LAScompressorSetup& setup,
                                  const std::vector<LayeredPoint>& points) {
  ByteStreamOutArrayLE out;
  LASpointRecordWriter writer;
  EXPECT_TRUE(writer.setup(setup.num_items, setup.items.data(), &setup));
  EXPECT_TRUE(writer.init(&out));
  LASpoint point;
  EXPECT_TRUE(point.init_for_items(nullptr, setup.num_items, setup.items.data(), nullptr));
  for (const LayeredPoint& p : points) {
    to_point(p, point);
    EXPECT_TRUE(writer.write(point.point_items.data()));
  }
  EXPECT_TRUE(writer.done());
  return std::vector<uint8_t>(out.get_data(), out.get_data() + out.position());
}

struct Row {
  uint8_t format;
  uint16_t extra;
  uint16_t version;
};

const Row kRows[] = {
    {6, 0, 3}, {6, 0, 4}, {7, 0, 3}, {7, 2, 4},   {8, 0, 3},
    {8, 0, 4}, {9, 0, 3}, {9, 1, 4}, {10, 20, 3}, {10, 20, 4},
};

// Channels alternating point by point, every return combination in turn.
std::vector<LayeredPoint> points_for(const Row& row, size_t count) {
  std::vector<FixturePoint> fixture =
      fixture_random_points(row.format * 10 + row.version, count, row.format, row.extra);
  double t = 5000.0;
  for (size_t i = 0; i < fixture.size(); i++) {
    fixture[i].scanner_channel = static_cast<uint8_t>(i % 4);
    fixture[i].number_of_returns = static_cast<uint8_t>(1 + (i / 15) % 15);
    fixture[i].return_number = static_cast<uint8_t>(1 + i % 15);
    t += 0.00002 * (i % 3);
    fixture[i].gps_time = t;
  }
  return layered_points(fixture, row.format, row.extra);
}

}  // namespace

TEST(VpkLayeredPointRecords, RoundTripFormatsSixToTen) {
  for (const Row& row : kRows) {
    SCOPED_TRACE("format " + std::to_string(row.format) + " v" + std::to_string(row.version));
    const LAScompressorSetup setup = layered_setup(row.format, row.extra, row.version, 700);
    const std::vector<LayeredPoint> points = points_for(row, 1800);
    const std::vector<uint8_t> bytes = write_points(setup, points);
    ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
    LASpointRecordReader reader;
    ASSERT_TRUE(reader.setup(setup.num_items, setup.items.data(), &setup));
    ASSERT_TRUE(reader.init(&in));
    LASpoint point;
    ASSERT_TRUE(point.init_for_items(nullptr, setup.num_items, setup.items.data(), nullptr));
    std::vector<LayeredPoint> got;
    for (size_t i = 0; i < points.size(); i++) {
      ASSERT_TRUE(reader.read(point.point_items.data()))
          << i << ": " << (reader.error() ? reader.error() : "");
      got.push_back(from_point(point));
    }
    EXPECT_TRUE(reader.check_end()) << (reader.error() ? reader.error() : "");
    expect_same(got, points, row.format);
    EXPECT_EQ(reader.get_number_chunks(), 3u);
  }
}

TEST(VpkLayeredPointRecords, XYOnlyMaskAndSeeking) {
  const Row row = {10, 3, 3};
  const LAScompressorSetup setup = layered_setup(row.format, row.extra, row.version, 500);
  const std::vector<LayeredPoint> points = points_for(row, 1300);
  const std::vector<uint8_t> bytes = write_points(setup, points);

  ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
  LASpointRecordReader reader(0);
  ASSERT_TRUE(reader.setup(setup.num_items, setup.items.data(), &setup));
  ASSERT_TRUE(reader.init(&in));
  LASpoint point;
  ASSERT_TRUE(point.init_for_items(nullptr, setup.num_items, setup.items.data(), nullptr));
  for (size_t i = 0; i < points.size(); i++) {
    ASSERT_TRUE(reader.read(point.point_items.data()));
    const LASpointData& want = points[i].data;
    const LASpointData& first = points[i - i % 500].data;
    ASSERT_EQ(point.X, want.X) << i;
    ASSERT_EQ(point.Y, want.Y) << i;
    ASSERT_EQ(point.extended_return_byte, want.extended_return_byte) << i;
    ASSERT_EQ(point.Z, first.Z) << i;
    ASSERT_EQ(point.gps_time, first.gps_time) << i;
    ASSERT_EQ(point.rgb[0], first.rgb[0]) << i;
    ASSERT_EQ(0, std::memcmp(point.extra_bytes.get(), points[i - i % 500].extra.data(), 3)) << i;
  }

  // Seeking into the third chunk decodes that chunk only.
  ByteStreamInArrayLE again(bytes.data(), static_cast<int64_t>(bytes.size()));
  LASpointRecordReader full;
  ASSERT_TRUE(full.setup(setup.num_items, setup.items.data(), &setup));
  ASSERT_TRUE(full.init(&again));
  ASSERT_TRUE(full.seek(0, 1100));
  for (size_t i = 1100; i < points.size(); i++) {
    ASSERT_TRUE(full.read(point.point_items.data()));
    ASSERT_EQ(first_difference(from_point(point), points[i], row.format), "") << i;
  }
}

TEST(VpkLayeredPointRecords, MaskedReadFromAPipe) {
  // Layers that were not asked for are read over where the stream cannot seek.
  const Row row = {8, 2, 3};
  const LAScompressorSetup setup = layered_setup(row.format, row.extra, row.version, 400);
  const std::vector<LayeredPoint> points = points_for(row, 1000);
  const std::vector<uint8_t> bytes = write_points(setup, points);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  FILE* write_end = fdopen(fds[1], "wb");
  FILE* read_end = fdopen(fds[0], "rb");
  std::thread feeder([&] {
    std::fwrite(bytes.data(), 1, bytes.size(), write_end);
    std::fclose(write_end);
  });
  {
    ByteStreamInFileLE in(read_end);
    ASSERT_FALSE(in.can_seek());
    const uint32_t mask = 0x101;  // Z and RGB
    LASpointRecordReader reader(mask);
    ASSERT_TRUE(reader.setup(setup.num_items, setup.items.data(), &setup));
    ASSERT_TRUE(reader.init(&in));
    LASpoint point;
    ASSERT_TRUE(point.init_for_items(nullptr, setup.num_items, setup.items.data(), nullptr));
    for (size_t i = 0; i < points.size(); i++) {
      ASSERT_TRUE(reader.read(point.point_items.data()))
          << i << ": " << (reader.error() ? reader.error() : "");
      const LASpointData& want = points[i].data;
      const LASpointData& first = points[i - i % 400].data;
      ASSERT_EQ(point.X, want.X) << i;
      ASSERT_EQ(point.Z, want.Z) << i;
      ASSERT_EQ(0, std::memcmp(point.rgb, want.rgb, 6)) << i;
      ASSERT_EQ(point.rgb[3], first.rgb[3]) << i;
      ASSERT_EQ(point.intensity, first.intensity) << i;
    }
  }
  std::vector<uint8_t> rest(4096);
  while (std::fread(rest.data(), 1, rest.size(), read_end) > 0) {
  }
  feeder.join();
  std::fclose(read_end);
}
