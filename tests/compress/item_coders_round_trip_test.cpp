// Legacy point records of formats 0 to 5 through the item coders of versions 1
// and 2 and back, compared byte for byte.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "item_chunk_driver.hpp"
#include "las_fixture.hpp"
#include "scene.hpp"

namespace {

// Scene points with the fields a scene leaves constant made to vary the way
// sensors vary them: colour drifting with the intensity, wave packets stored
// one after the other, a few extra bytes that count and jump.
const Scene& urban_scene(uint64_t seed) {
  static std::map<uint64_t, Scene> scenes;
  auto it = scenes.find(seed);
  if (it == scenes.end()) {
    SceneParams params;
    params.preset = ScenePreset::kUrban;
    params.size = 40.0;
    params.density = 3.0;
    params.seed = seed;
    it = scenes.emplace(seed, make_scene(params)).first;
  }
  return it->second;
}

std::vector<FixturePoint> scene_points(uint8_t format, uint16_t extra, uint64_t seed) {
  const Scene& scene = urban_scene(seed);
  SceneLasOptions options;
  options.point_data_format = format;
  options.truth_classes = true;
  std::vector<FixturePoint> points = scene_fixture_points(scene, options);
  uint64_t offset = 1000;
  for (size_t i = 0; i < points.size(); i++) {
    FixturePoint& p = points[i];
    if (i % 7 == 0) p.rgb[1] = static_cast<uint16_t>(p.rgb[1] + p.intensity);
    if (i % 11 == 0) p.rgb = {p.intensity, p.intensity, p.intensity};
    const uint32_t size = 64 + (i % 5 == 0 ? 32 : 0);
    uint8_t* w = p.wavepacket.data();
    w[0] = static_cast<uint8_t>(1 + i % 3);
    if (i % 13 == 0) offset += 1000;            // a gap: small difference
    if (i % 97 == 0) offset += 0x100000000ull;  // a jump stored raw
    for (int b = 0; b < 8; b++) w[1 + b] = static_cast<uint8_t>(offset >> (8 * b));
    for (int b = 0; b < 4; b++) w[9 + b] = static_cast<uint8_t>(size >> (8 * b));
    const float values[4] = {static_cast<float>(i % 50), 0.25f, -0.5f, 1.0f + (i % 3)};
    std::memcpy(w + 13, values, 16);
    if (i % 17 != 0) offset += size;  // else the same packet again
    p.extra_bytes.resize(extra);
    for (uint16_t b = 0; b < extra; b++) {
      p.extra_bytes[b] = static_cast<uint8_t>(b == 0 ? i : (i / 100) * (b + 1));
    }
  }
  return points;
}

struct Case {
  uint8_t format;
  uint16_t extra;
  uint16_t version;
  uint32_t chunk_size;
};

std::string case_name(const Case& c) {
  return "format " + std::to_string(c.format) + " extra " + std::to_string(c.extra) + " version " +
         std::to_string(c.version) + " chunk " + std::to_string(c.chunk_size);
}

std::vector<Case> all_cases(std::initializer_list<uint32_t> chunk_sizes) {
  std::vector<Case> cases;
  for (uint8_t format = 0; format <= 5; format++) {
    for (uint16_t version = 1; version <= 2; version++) {
      for (uint16_t extra : {0, 3}) {
        for (uint32_t chunk : chunk_sizes) cases.push_back({format, extra, version, chunk});
      }
    }
  }
  return cases;
}

void expect_round_trip(const Case& c, const std::vector<uint8_t>& records) {
  const std::vector<LASitem> items = legacy_items(c.format, c.extra, c.version);
  ASSERT_EQ(record_size(items), fixture_standard_record_length(c.format) + c.extra);
  const size_t count = records.size() / record_size(items);
  const ChunkedPoints stream = compress_records(items, records, c.chunk_size);
  const std::vector<uint8_t> back = decompress_records(items, stream, count, c.chunk_size);
  ASSERT_EQ(back.size(), records.size());
  for (size_t i = 0; i < count; i++) {
    const size_t size = record_size(items);
    if (std::memcmp(back.data() + i * size, records.data() + i * size, size) != 0) {
      const FixturePoint a = fixture_decode_point(records.data() + i * size, c.format, size);
      const FixturePoint b = fixture_decode_point(back.data() + i * size, c.format, size);
      FAIL() << case_name(c) << ": point " << i << " differs: " << fixture_point_difference(a, b);
    }
  }
}

TEST(ItemCodersRoundTrip, RandomPointsEveryFormatVersionAndChunkSize) {
  for (const Case& c : all_cases({1u, 3u, 50000u})) {
    SCOPED_TRACE(case_name(c));
    const std::vector<FixturePoint> points =
        fixture_random_points(100 + c.format, 60, c.format, c.extra);
    expect_round_trip(c, encode_fixture_points(points, c.format, c.extra));
  }
}

TEST(ItemCodersRoundTrip, ScenePointsEveryFormatVersionAndChunkSize) {
  for (const Case& c : all_cases({999u, 50000u})) {
    SCOPED_TRACE(case_name(c));
    const std::vector<FixturePoint> points = scene_points(c.format, c.extra, 7);
    ASSERT_GT(points.size(), 2000u);
    expect_round_trip(c, encode_fixture_points(points, c.format, c.extra));
  }
}

TEST(ItemCodersRoundTrip, EveryReturnCombination) {
  // Every return byte (all 256: return number, number of returns, both flags,
  // also the invalid ones), each with its own intensity, for both versions.
  std::vector<FixturePoint> points;
  for (int repeat = 0; repeat < 3; repeat++) {
    for (int byte = 0; byte < 256; byte++) {
      FixturePoint p;
      p.X = byte * 10 + repeat;
      p.Y = -byte * 3;
      p.Z = (byte % 8) * 100;
      p.return_number = byte & 7;
      p.number_of_returns = (byte >> 3) & 7;
      p.scan_direction_flag = (byte >> 6) & 1;
      p.edge_of_flight_line = (byte >> 7) & 1;
      p.intensity = static_cast<uint16_t>(byte * 37 + repeat);
      p.scan_angle_rank = static_cast<int8_t>(byte - 128);
      p.gps_time = 1000.0 + byte * 1e-5;
      points.push_back(p);
    }
  }
  for (uint16_t version = 1; version <= 2; version++) {
    for (uint32_t chunk : {3u, 50000u}) {
      const Case c{1, 0, version, chunk};
      SCOPED_TRACE(case_name(c));
      expect_round_trip(c, encode_fixture_points(points, 1, 0));
    }
  }
}

TEST(ItemCodersRoundTrip, ExtremeValuesWrapAround) {
  // Coordinates and fields at the ends of their ranges, so that every
  // difference wraps.
  const int32_t ends[] = {INT32_MIN, INT32_MAX, 0, -1, 1, INT32_MIN + 1, INT32_MAX - 1};
  std::vector<FixturePoint> points;
  for (int32_t x : ends) {
    for (int32_t y : ends) {
      FixturePoint p;
      p.X = x;
      p.Y = y;
      p.Z = x ^ y;
      p.intensity = static_cast<uint16_t>(x);
      p.point_source_ID = static_cast<uint16_t>(y);
      p.scan_angle_rank = static_cast<int8_t>(x >> 24);
      p.user_data = static_cast<uint8_t>(y);
      p.classification = static_cast<uint8_t>(x & 31);
      uint64_t bits =
          static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32 | static_cast<uint32_t>(y);
      std::memcpy(&p.gps_time, &bits, 8);
      p.rgb = {static_cast<uint16_t>(x), static_cast<uint16_t>(y), static_cast<uint16_t>(x + y)};
      for (size_t b = 0; b < 29; b++) p.wavepacket[b] = static_cast<uint8_t>((x >> (b % 4)) ^ y);
      p.extra_bytes = {static_cast<uint8_t>(x), static_cast<uint8_t>(y)};
      points.push_back(p);
    }
  }
  for (uint16_t version = 1; version <= 2; version++) {
    for (uint8_t format = 0; format <= 5; format++) {
      const Case c{format, 2, version, 50000};
      SCOPED_TRACE(case_name(c));
      expect_round_trip(c, encode_fixture_points(points, format, 2));
    }
  }
}

TEST(ItemCodersRoundTrip, AChunkDecodesWithoutItsPredecessors) {
  // Decoding may begin at any chunk with coders that never saw an earlier one
  // (whose on-demand models therefore do not exist yet).
  for (uint16_t version = 1; version <= 2; version++) {
    const uint8_t format = 5;
    const std::vector<LASitem> items = legacy_items(format, 4, version);
    const std::vector<uint8_t> records =
        encode_fixture_points(scene_points(format, 4, 3), format, 4);
    const uint32_t size = record_size(items);
    const uint32_t chunk = 500;
    const ChunkedPoints stream = compress_records(items, records, chunk);
    ASSERT_GE(stream.chunk_starts.size(), 4u);
    const std::vector<uint8_t> all =
        decompress_records(items, stream, records.size() / size, chunk);
    for (size_t first : {size_t(1), size_t(3)}) {
      const std::vector<uint8_t> part = decompress_records(items, stream, chunk, chunk, first);
      EXPECT_EQ(0, std::memcmp(part.data(), all.data() + first * chunk * size, chunk * size))
          << "version " << version << " chunk " << first;
    }
  }
}

TEST(ItemCodersRoundTrip, ScenesCompressWell) {
  // Realistic points shrink to a fraction of their raw size; version 2 does
  // better than version 1 on multi-return data.
  const std::vector<uint8_t> records = encode_fixture_points(scene_points(1, 0, 5), 1, 0);
  size_t sizes[3] = {records.size(), 0, 0};
  for (uint16_t version = 1; version <= 2; version++) {
    sizes[version] = compress_records(legacy_items(1, 0, version), records, 50000).bytes.size();
  }
  EXPECT_LT(sizes[1], sizes[0] / 3);
  EXPECT_LT(sizes[2], sizes[1]);
  std::printf("raw %zu, version 1 %zu, version 2 %zu bytes\n", sizes[0], sizes[1], sizes[2]);
}

}  // namespace
