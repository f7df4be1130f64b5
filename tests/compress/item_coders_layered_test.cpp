#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "compress/item_coder_factory.hpp"
#include "compress/item_point14_v3.hpp"
#include "compress/item_rgb14_v3.hpp"
#include "las_fixture.hpp"
#include "layered_chunk_driver.hpp"
#include "scene.hpp"

namespace {

constexpr uint32_t kAllLayers = 0xFFFFFFFFu;

// Scanner channels, returns and GPS times a scanner makes: channels
// alternating point by point, every (n, r) pair of 0 to 15 in turn, GPS
// times that step evenly with jumps forward and back.
std::vector<FixturePoint> scanner_points(uint64_t seed, size_t count, uint8_t format,
                                         uint16_t extra, uint32_t channels) {
  std::vector<FixturePoint> points = fixture_random_points(seed, count, format, extra);
  double t = 300000.0;
  for (size_t i = 0; i < points.size(); i++) {
    FixturePoint& p = points[i];
    p.scanner_channel = static_cast<uint8_t>((i % channels) * (4 / channels) % 4);
    p.number_of_returns = static_cast<uint8_t>((i / 16) % 16);
    p.return_number = static_cast<uint8_t>(i % 16);
    if (i % 3) t += 0.00001;
    if (i % 500 == 250) t += 1.0e5;  // a jump past 32 bits of the double's pattern
    if (i % 500 == 400) t -= 1.0e5;  // and back to the earlier sequence
    p.gps_time = (i % 7 == 0) ? t + 0.5 : t;
    p.X = static_cast<int32_t>(i * 13) + (p.X % 1000);
    p.Y = static_cast<int32_t>(i * 7) + (p.Y % 1000);
    p.classification = static_cast<uint8_t>(i % 5 == 0 ? p.classification : 2);
  }
  return points;
}

struct RoundTripRow {
  const char* name;
  uint8_t format;
  uint16_t extra;
  uint32_t channels;
  uint32_t chunk_size;
  size_t count;
};

const RoundTripRow kRoundTrips[] = {
    {"format 6, one channel", 6, 0, 1, 1000, 2600},
    {"format 6, two channels", 6, 0, 2, 1000, 2600},
    {"format 7, four channels", 7, 0, 4, 700, 2600},
    {"format 8, two channels", 8, 0, 2, 1000, 2600},
    {"format 9, four channels", 9, 0, 4, 1000, 2600},
    {"format 10 with 20 extra bytes", 10, 20, 4, 900, 2600},
    {"format 6 with 3 extra bytes", 6, 3, 2, 1000, 2600},
    {"tiny chunks", 8, 2, 4, 3, 200},
    {"chunks of one point", 7, 1, 2, 1, 50},
};

}  // namespace

TEST(LayeredItemTables, ReturnMapIsSymmetricAndLevelsAreDistances) {
  for (int n = 0; n < 16; n++) {
    for (int r = 0; r < 16; r++) {
      EXPECT_EQ(return_map_table[n][r], return_map_table[r][n]) << n << " " << r;
      EXPECT_LE(return_map_table[n][r], 5);
      EXPECT_EQ(return_level_table[n][r], std::min(std::abs(n - r), 7)) << n << " " << r;
    }
  }
  EXPECT_EQ(return_map_table[0][6], 3);
  EXPECT_EQ(return_map_table[2][11], 3);
  EXPECT_EQ(return_map_table[15][14], 5);
}

TEST(LayeredItemCoders, RoundTripEveryFormatAndVersion) {
  for (const RoundTripRow& row : kRoundTrips) {
    for (uint16_t version : {3, 4}) {
      SCOPED_TRACE(std::string(row.name) + " v" + std::to_string(version));
      const std::vector<LASitem> items = layered_items(row.format, row.extra, version);
      const std::vector<LayeredPoint> points = layered_points(
          scanner_points(row.format * 31 + version, row.count, row.format, row.extra, row.channels),
          row.format, row.extra);
      const LayeredStream stream = compress_layered(items, points, row.chunk_size);
      expect_same(decompress_layered(items, stream, points.size(), row.chunk_size, kAllLayers),
                  points, row.format);
    }
  }
}

TEST(LayeredItemCoders, RoundTripSceneAndRandomPoints) {
  Scene scene = make_scene(SceneParams{});
  SceneLasOptions options;
  options.point_data_format = 6;
  const std::vector<LayeredPoint> scene_points =
      layered_points(scene_fixture_points(scene, options), 6, 0);
  ASSERT_GT(scene_points.size(), 1000u);
  for (uint16_t version : {3, 4}) {
    const std::vector<LASitem> items = layered_items(6, 0, version);
    const LayeredStream stream = compress_layered(items, scene_points, 50000);
    expect_same(decompress_layered(items, stream, scene_points.size(), 50000, kAllLayers),
                scene_points, 6);
    EXPECT_LT(stream.bytes.size(), scene_points.size() * 30 / 2);
  }
  const std::vector<LayeredPoint> random =
      layered_points(fixture_random_points(7, 3000, 10, 5), 10, 5);
  const std::vector<LASitem> items = layered_items(10, 5, 3);
  const LayeredStream stream = compress_layered(items, random, 1000);
  expect_same(decompress_layered(items, stream, random.size(), 1000, kAllLayers), random, 10);
}

namespace {

// What a reader with `mask` must hand out: the full decode's fields where
// the mask asks for them, the chunk's first point's elsewhere.
LayeredPoint masked(const LayeredPoint& full, const LayeredPoint& first, uint32_t mask) {
  LayeredPoint e = full;
  LASpointData& p = e.data;
  const LASpointData& f = first.data;
  if (!(mask & 1)) p.Z = f.Z;
  if (!(mask & 2)) {
    p.extended_classification = f.extended_classification;
    p.class_byte = static_cast<uint8_t>((p.class_byte & 0xE0) | (f.class_byte & 0x1F));
  }
  if (!(mask & 4)) {
    p.return_byte = static_cast<uint8_t>((p.return_byte & 0x3F) | (f.return_byte & 0xC0));
    p.extended_flags_byte =
        static_cast<uint8_t>((p.extended_flags_byte & 0x0F) | (f.extended_flags_byte & 0xF0));
    p.class_byte = static_cast<uint8_t>((p.class_byte & 0x1F) | (f.class_byte & 0xE0));
  }
  if (!(mask & 8)) p.intensity = f.intensity;
  if (!(mask & 16)) {
    p.extended_scan_angle = f.extended_scan_angle;
    p.scan_angle_rank = f.scan_angle_rank;
  }
  if (!(mask & 32)) p.user_data = f.user_data;
  if (!(mask & 64)) p.point_source_ID = f.point_source_ID;
  if (!(mask & 128)) p.gps_time = f.gps_time;
  if (!(mask & 256)) std::memcpy(p.rgb, f.rgb, 6);
  if (!(mask & 512)) p.rgb[3] = f.rgb[3];
  if (!(mask & 1024)) p.wavepacket = f.wavepacket;
  for (size_t i = 0; i < e.extra.size() && i < 16; i++) {
    if (!((mask >> (16 + i)) & 1)) e.extra[i] = first.extra[i];
  }
  return e;
}

struct MaskRow {
  const char* name;
  uint32_t mask;
};

const MaskRow kMasks[] = {
    {"nothing but XY", 0},
    {"Z only", 1},
    {"extra bytes only", 0xFFFF0000u},
    {"RGB without NIR", 0x100},
    {"all point fields and NIR", 0x2FF},
    {"classification, flags and GPS time", 0x86},
    {"wave packet and extra byte 0", 0x10400},
    {"intensity, scan angle, user data, point source", 0x78},
};

}  // namespace

TEST(LayeredItemCoders, RequestMaskGivesRequestedFieldsAndFirstPointElsewhere) {
  const uint32_t chunk = 800;
  for (uint16_t version : {3, 4}) {
    const std::vector<LASitem> items = layered_items(10, 20, version);
    const std::vector<LayeredPoint> points =
        layered_points(scanner_points(99 + version, 2000, 10, 20, 2), 10, 20);
    const LayeredStream stream = compress_layered(items, points, chunk);
    const std::vector<LayeredPoint> full =
        decompress_layered(items, stream, points.size(), chunk, kAllLayers);
    for (const MaskRow& row : kMasks) {
      SCOPED_TRACE(std::string(row.name) + " v" + std::to_string(version));
      const std::vector<LayeredPoint> got =
          decompress_layered(items, stream, points.size(), chunk, row.mask);
      std::vector<LayeredPoint> want;
      for (size_t i = 0; i < full.size(); i++) {
        want.push_back(masked(full[i], full[i - i % chunk], row.mask));
      }
      expect_same(got, want, 10);
    }
  }
}

TEST(LayeredItemCoders, ConstantFieldsCostNoBytes) {
  std::vector<FixturePoint> fixture = fixture_random_points(5, 500, 6, 0);
  for (size_t i = 0; i < fixture.size(); i++) {
    fixture[i] = fixture[0];
    fixture[i].X += static_cast<int32_t>(i * 3);
    fixture[i].Y -= static_cast<int32_t>(i * 2);
  }
  const std::vector<LASitem> items = layered_items(6, 0, 3);
  const std::vector<LayeredPoint> points = layered_points(fixture, 6, 0);
  const LayeredStream stream = compress_layered(items, points, 500);
  const std::vector<uint32_t> counts = chunk_layer_counts(items, stream, 0, 9);
  EXPECT_GT(counts[kLayerChannelReturnsXY], 0u);
  EXPECT_GT(counts[kLayerZ], 0u);
  for (uint32_t layer = kLayerClassification; layer < kPoint14Layers; layer++) {
    EXPECT_EQ(counts[layer], 0u) << layer;
  }
  expect_same(decompress_layered(items, stream, points.size(), 500, kAllLayers), points, 6);
  expect_same(decompress_layered(items, stream, points.size(), 500, 0), points, 6);
}

TEST(LayeredItemCoders, SecondChunkWithShorterLayersRoundTrips) {
  // The first chunk varies every field, the second almost none: the layer
  // streams are reused from position 0, so the second chunk's counts must
  // come from the position, not from what the first chunk left in the stream.
  std::vector<FixturePoint> fixture = scanner_points(11, 2000, 8, 4, 4);
  for (size_t i = 1000; i < fixture.size(); i++) {
    FixturePoint keep = fixture[1000];
    keep.X = fixture[i].X;
    keep.Y = fixture[i].Y;
    keep.Z = fixture[1000].Z + static_cast<int32_t>(i % 2);
    keep.intensity = static_cast<uint16_t>(fixture[1000].intensity + i % 3);
    fixture[i] = keep;
  }
  for (uint16_t version : {3, 4}) {
    const std::vector<LASitem> items = layered_items(8, 4, version);
    const std::vector<LayeredPoint> points = layered_points(fixture, 8, 4);
    const LayeredStream stream = compress_layered(items, points, 1000);
    const std::vector<uint32_t> first = chunk_layer_counts(items, stream, 0, 9 + 2 + 4);
    const std::vector<uint32_t> second = chunk_layer_counts(items, stream, 1, 9 + 2 + 4);
    for (size_t layer = 0; layer < first.size(); layer++) {
      EXPECT_LT(second[layer], first[layer]) << layer;
    }
    expect_same(decompress_layered(items, stream, points.size(), 1000, kAllLayers), points, 8);
    // The second chunk alone, by coders that saw no first chunk.
    const std::vector<LayeredPoint> tail(points.begin() + 1000, points.end());
    expect_same(decompress_layered(items, stream, 1000, 1000, kAllLayers, 1), tail, 8);
  }
}

TEST(LayeredItemCoders, FirstPointWithDisagreeingLegacyCopiesKeepsTheChunkDecodable) {
  // The chunk's first point carries legacy class 5 and withheld, extended
  // class 40 and no flags: the raw record brings back class 5 and withheld.
  // Every point has extended class 40 and no flags, so a writer that seeded
  // from the extended copies would see nothing change and store no class or
  // flags at all, and the reader would hand out class 5 and withheld.
  std::vector<FixturePoint> fixture = scanner_points(21, 600, 6, 0, 1);
  for (FixturePoint& p : fixture) {
    p.classification = 40;
    p.synthetic_flag = p.keypoint_flag = p.withheld_flag = p.overlap_flag = false;
  }
  const std::vector<LASitem> items = layered_items(6, 0, 3);
  std::vector<LayeredPoint> points = layered_points(fixture, 6, 0);
  LASpointData& first = points[0].data;
  first.class_byte = static_cast<uint8_t>(5 | 0x80);
  first.extended_classification = 40;
  first.extended_flags_byte = static_cast<uint8_t>(first.extended_flags_byte & 0x0F);
  const LayeredStream stream = compress_layered(items, points, 1000);
  const std::vector<LayeredPoint> got =
      decompress_layered(items, stream, points.size(), 1000, kAllLayers);
  EXPECT_EQ(got[0].data.extended_classification, 5);
  EXPECT_EQ(got[0].data.extended_flags_byte >> 4, 4);
  const std::vector<LayeredPoint> rest(got.begin() + 1, got.end());
  const std::vector<LayeredPoint> want(points.begin() + 1, points.end());
  expect_same(rest, want, 6);
}

TEST(LayeredItemCoders, VersionsThreeAndFourAreDifferentStreams) {
  // Colours of their own per channel, channels 1 and 3 alternating.
  std::vector<FixturePoint> fixture = fixture_random_points(31, 400, 7, 0);
  for (size_t i = 0; i < fixture.size(); i++) {
    fixture[i].scanner_channel = static_cast<uint8_t>(i % 2 ? 3 : 1);
    const uint16_t base = static_cast<uint16_t>(i % 2 ? 60000 : 1000);
    fixture[i].rgb = {base, static_cast<uint16_t>(base + 7), static_cast<uint16_t>(base + i)};
  }
  const std::vector<LayeredPoint> points = layered_points(fixture, 7, 0);
  const std::vector<LASitem> v3 = layered_items(7, 0, 3);
  const std::vector<LASitem> v4 = layered_items(7, 0, 4);
  const LayeredStream s3 = compress_layered(v3, points, 1000);
  const LayeredStream s4 = compress_layered(v4, points, 1000);
  EXPECT_LT(s4.bytes.size(), s3.bytes.size());  // v4 predicts each colour from its own channel
  expect_same(decompress_layered(v3, s3, points.size(), 1000, kAllLayers), points, 7);
  expect_same(decompress_layered(v4, s4, points.size(), 1000, kAllLayers), points, 7);
  // Read with the other version's rules, the colours go wrong.
  bool differs = false;
  try {
    const std::vector<LayeredPoint> wrong =
        decompress_layered(v3, s4, points.size(), 1000, kAllLayers);
    for (size_t i = 0; i < points.size() && !differs; i++) {
      differs = std::memcmp(wrong[i].data.rgb, points[i].data.rgb, 6) != 0;
    }
  } catch (int) {
    differs = true;
  }
  EXPECT_TRUE(differs);
}

TEST(LayeredItemCoders, GpsTimeSequencesAndOddBitPatterns) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> times = {
      1000.0, 1000.0,  1000.25,   1000.5,  1000.75, 1001.0, 1001.0,  // steady step, repeats
      -0.0,   0.0,     -0.0,      nan,     nan,     1.0e9,  5.0,     // sign of zero, NaN, jumps
      1000.0, 1.0e9,   1.0e9 + 1, 1001.25, 1001.0,  1000.5, 999.0,   900.0,  1.0e-300, 1.0e300,
      1001.5, 1001.75, 1002.0,    1002.25, 1002.5,  1010.0, 1002.75, 1002.5, 1002.25,  1003.0};
  // Multipliers of 0 (a small step after a large one), 500 and more, -10 and
  // less, each met often enough to become the new reference difference.
  std::vector<double> steps_and_extremes;
  double t = 1000.0;
  const double s = 1.0 / 1048576.0;
  for (double step :
       {s,           s / 8,       s / 8,       s / 8,       s / 8,       s / 8,   s / 8,
        600 * s / 8, 600 * s / 8, 600 * s / 8, 600 * s / 8, 600 * s / 8, -20 * s, -20 * s,
        -20 * s,     -20 * s,     -20 * s,     3 * s,       -2 * s,      4 * s}) {
    t += step;
    steps_and_extremes.push_back(t);
  }
  times.insert(times.end(), steps_and_extremes.begin(), steps_and_extremes.end());
  std::vector<FixturePoint> fixture = fixture_random_points(41, times.size() * 3, 6, 0);
  for (size_t i = 0; i < fixture.size(); i++) {
    fixture[i].gps_time = times[i % times.size()];
    // One channel for the first pass, so that the steps meet one sequence.
    fixture[i].scanner_channel = static_cast<uint8_t>(i < times.size() ? 0 : (i / 5) % 4);
  }
  for (uint16_t version : {3, 4}) {
    const std::vector<LASitem> items = layered_items(6, 0, version);
    const std::vector<LayeredPoint> points = layered_points(fixture, 6, 0);
    const LayeredStream stream = compress_layered(items, points, 1000);
    expect_same(decompress_layered(items, stream, points.size(), 1000, kAllLayers), points, 6);
  }
}

TEST(LayeredItemCoders, LegacyFieldsDerivedFromExtendedOnes) {
  struct Row {
    uint8_t n, r, cls;
    int16_t angle;
    uint8_t legacy_n, legacy_r, legacy_cls;
    int8_t rank;
  };
  const Row rows[] = {
      {9, 8, 3, 30000, 7, 6, 3, 127},  {9, 9, 40, -30000, 7, 7, 0, -128},
      {10, 3, 31, 83, 7, 3, 31, 0},    {5, 2, 32, 84, 5, 2, 0, 1},
      {15, 15, 255, -84, 7, 7, 0, -1}, {3, 9, 0, 250, 3, 1, 0, 2},
  };
  std::vector<FixturePoint> fixture = fixture_random_points(51, 1 + std::size(rows), 6, 0);
  for (size_t i = 0; i < std::size(rows); i++) {
    FixturePoint& p = fixture[i + 1];
    p.number_of_returns = rows[i].n;
    p.return_number = rows[i].r;
    p.classification = rows[i].cls;
    p.extended_scan_angle = rows[i].angle;
  }
  const std::vector<LASitem> items = layered_items(6, 0, 3);
  const std::vector<LayeredPoint> points = layered_points(fixture, 6, 0);
  const LayeredStream stream = compress_layered(items, points, 1000);
  const std::vector<LayeredPoint> got =
      decompress_layered(items, stream, points.size(), 1000, kAllLayers);
  for (size_t i = 0; i < std::size(rows); i++) {
    const LASpointData& p = got[i + 1].data;
    EXPECT_EQ((p.return_byte >> 3) & 7, rows[i].legacy_n) << i;
    EXPECT_EQ(p.return_byte & 7, rows[i].legacy_r) << i;
    EXPECT_EQ(p.class_byte & 31, rows[i].legacy_cls) << i;
    EXPECT_EQ(p.scan_angle_rank, rows[i].rank) << i;
  }
  expect_same(got, points, 6);
}

TEST(LayeredItemCoders, WavePacketOffsetKinds) {
  std::vector<FixturePoint> fixture = fixture_random_points(61, 64, 9, 0);
  uint64_t offset = 1000;
  uint32_t size = 256;
  for (size_t i = 0; i < fixture.size(); i++) {
    switch (i % 4) {
      case 0:
        break;  // same offset
      case 1:
        offset += size;
        break;  // next packet
      case 2:
        offset += 77777;
        break;  // a 32-bit step
      case 3:
        offset += 0x123456789ull;
        break;  // beyond 32 bits
    }
    size = static_cast<uint32_t>(200 + i);
    std::memcpy(fixture[i].wavepacket.data() + 1, &offset, 8);
    std::memcpy(fixture[i].wavepacket.data() + 9, &size, 4);
  }
  for (uint16_t version : {3, 4}) {
    const std::vector<LASitem> items = layered_items(9, 0, version);
    const std::vector<LayeredPoint> points = layered_points(fixture, 9, 0);
    const LayeredStream stream = compress_layered(items, points, 1000);
    expect_same(decompress_layered(items, stream, points.size(), 1000, kAllLayers), points, 9);
  }
}

TEST(LayeredItemCoders, LayerCountsBeyondTheDataFailTheChunk) {
  const std::vector<LASitem> items = layered_items(6, 0, 3);
  const std::vector<LayeredPoint> points =
      layered_points(fixture_random_points(71, 50, 6, 0), 6, 0);
  LayeredStream stream = compress_layered(items, points, 1000);
  // The Z count, as large as a u32 goes.
  const size_t at = stream.chunk_starts[0] + layered_record_size(items) + 4 + 4;
  std::memset(stream.bytes.data() + at, 0xFF, 4);
  EXPECT_THROW(decompress_layered(items, stream, points.size(), 1000, kAllLayers), int);
}

TEST(LayeredItemCoders, FactoryVersions) {
  struct Row {
    LASitem::Type type;
    uint16_t size;
    uint16_t version;
    bool reader;
    bool writer;
  };
  const Row rows[] = {
      {LASitem::POINT14, 30, 2, true, false},       {LASitem::POINT14, 30, 3, true, true},
      {LASitem::POINT14, 30, 4, true, true},        {LASitem::POINT14, 30, 5, false, false},
      {LASitem::RGB14, 6, 2, true, false},          {LASitem::RGBNIR14, 8, 4, true, true},
      {LASitem::WAVEPACKET14, 29, 2, false, false}, {LASitem::WAVEPACKET14, 29, 3, true, true},
      {LASitem::BYTE14, 7, 3, true, true},          {LASitem::BYTE14, 7, 1, false, false},
  };
  IntervalDecoder dec;
  IntervalEncoder enc;
  const LASitemCoderFactory& factory = LASitemCoderFactory::standard();
  for (const Row& r : rows) {
    LASitem item;
    item.type = r.type;
    item.size = r.size;
    item.version = r.version;
    EXPECT_EQ(factory.make_reader(item, &dec, kAllLayers) != nullptr, r.reader)
        << item.type << " v" << r.version;
    EXPECT_EQ(factory.make_writer(item, &enc) != nullptr, r.writer)
        << item.type << " v" << r.version;
  }
}

namespace {

// A decoder over one POINT14 layer of the first chunk, for reading what the
// writer coded symbol by symbol with fresh models (as every chunk starts).
struct Point14LayerReader {
  Point14LayerReader(const std::vector<LASitem>& items, const LayeredStream& stream, uint32_t layer)
      : in(stream.bytes.data(), static_cast<int64_t>(stream.bytes.size())) {
    const std::vector<uint32_t> counts = chunk_layer_counts(items, stream, 0, kPoint14Layers);
    size_t at = stream.chunk_starts[0] + layered_record_size(items) + 4 + 4 * kPoint14Layers;
    for (uint32_t i = 0; i < layer; i++) at += counts[i];
    in.seek_to(static_cast<int64_t>(at));
    dec.start(&in);
  }
  std::unique_ptr<SymbolModel> model(uint32_t symbols) {
    std::unique_ptr<SymbolModel> m = dec.new_symbol_model(symbols);
    m->reset();
    return m;
  }
  ByteStreamInArrayLE in;
  IntervalDecoder dec;
};

}  // namespace

TEST(LayeredItemCoders, AlternatingChannelsCodeChannelSymbolOne) {
  // Channels 0, 2, 0: each switch is coded with bit 6 of the change mask and
  // channel symbol 1 ((2 - 0 - 1) mod 4 and (0 - 2 - 1) mod 4), each with the
  // fresh models of the channel it leaves.
  std::vector<FixturePoint> fixture = fixture_random_points(81, 3, 6, 0);
  for (size_t i = 0; i < 3; i++) {
    fixture[i] = fixture[0];
    fixture[i].number_of_returns = fixture[i].return_number = 1;
    fixture[i].scanner_channel = static_cast<uint8_t>(i == 1 ? 2 : 0);
    fixture[i].X = 1000 + static_cast<int32_t>(i) * 40;
    fixture[i].Y = 5000 - static_cast<int32_t>(i) * 3;
  }
  const std::vector<LASitem> items = layered_items(6, 0, 3);
  const LayeredStream stream = compress_layered(items, layered_points(fixture, 6, 0), 1000);
  Point14LayerReader r(items, stream, kLayerChannelReturnsXY);
  for (int point = 1; point < 3; point++) {
    SCOPED_TRACE(point);
    EXPECT_EQ(r.dec.get_symbol(r.model(128).get()), 1u << 6);
    EXPECT_EQ(r.dec.get_symbol(r.model(3).get()), 1u);
    ResidualCoder x(&r.dec, 32, 2);
    ResidualCoder y(&r.dec, 32, 22);
    x.prepare_decode();
    y.prepare_decode();
    // Channel 2 starts from channel 0's point; channel 0 predicts from its own.
    const int32_t want_dx = point == 1 ? 40 : 80;
    const int32_t want_dy = point == 1 ? -3 : -6;
    EXPECT_EQ(x.decode(0, 1), want_dx);
    const uint32_t k = x.k();
    EXPECT_EQ(y.decode(0, 1 + (k < 20 ? k & ~1u : 20u)), want_dy);
  }
}

TEST(LayeredItemCoders, GpsSymbolsForStepsJumpsAndSequenceSwitches) {
  // Steps of 2^-20 near 1000 are 2^23 units of the double's bit pattern.
  const double s = 1.0 / 1048576.0;
  const double times[] = {1000.0,         1000.0 + s, 1000.0 + 2 * s,
                          1000.0 + 3 * s, 5.0e8,      1000.0 + 4 * s};
  std::vector<FixturePoint> fixture = fixture_random_points(91, 6, 6, 0);
  for (size_t i = 0; i < 6; i++) {
    const FixturePoint keep = fixture[0];
    fixture[i] = keep;
    fixture[i].X += static_cast<int32_t>(i);
    fixture[i].gps_time = times[i];
  }
  const std::vector<LASitem> items = layered_items(6, 0, 3);
  const LayeredStream stream = compress_layered(items, layered_points(fixture, 6, 0), 1000);
  Point14LayerReader r(items, stream, kLayerGpsTime);
  std::unique_ptr<SymbolModel> zero_difference = r.model(5);
  std::unique_ptr<SymbolModel> multiplier = r.model(515);
  ResidualCoder gps(&r.dec, 32, 9);
  gps.prepare_decode();
  auto bits = [](double t) {
    uint64_t b;
    std::memcpy(&b, &t, 8);
    return b;
  };
  const int32_t step = static_cast<int32_t>(bits(times[1]) - bits(times[0]));
  ASSERT_EQ(step, 1 << 23);
  EXPECT_EQ(r.dec.get_symbol(zero_difference.get()), 0u);  // the first difference
  EXPECT_EQ(gps.decode(0, 0), step);
  for (int i = 0; i < 2; i++) {
    EXPECT_EQ(r.dec.get_symbol(multiplier.get()), 1u);  // once the step
    EXPECT_EQ(gps.decode(step, 1), step);
  }
  EXPECT_EQ(r.dec.get_symbol(multiplier.get()), 511u);  // a new sequence
  EXPECT_EQ(static_cast<uint32_t>(gps.decode(static_cast<int32_t>(bits(times[3]) >> 32), 8)),
            static_cast<uint32_t>(bits(5.0e8) >> 32));
  EXPECT_EQ(r.dec.get_raw_u32(), static_cast<uint32_t>(bits(5.0e8)));
  // Back to sequence 0, three on from sequence 1, then its step once more.
  EXPECT_EQ(r.dec.get_symbol(zero_difference.get()), 4u);
  EXPECT_EQ(r.dec.get_symbol(multiplier.get()), 1u);
  EXPECT_EQ(gps.decode(step, 1), step);
}

namespace {

// A layer of the first chunk cut after `at` bytes, or garbled from `at` on.
struct LayerDamage {
  uint32_t layer;
  bool cut;
  size_t at;
};

LayeredStream damage_layers(const std::vector<LASitem>& items, const LayeredStream& stream,
                            const std::vector<LayerDamage>& damages) {
  const std::vector<uint32_t> counts = chunk_layer_counts(items, stream, 0, kPoint14Layers);
  const size_t head = stream.chunk_starts[0] + layered_record_size(items) + 4;
  std::vector<std::vector<uint8_t>> bytes;
  size_t at = head + 4 * kPoint14Layers;
  for (uint32_t count : counts) {
    bytes.emplace_back(stream.bytes.begin() + at, stream.bytes.begin() + at + count);
    at += count;
  }
  for (const LayerDamage& d : damages) {
    std::vector<uint8_t>& b = bytes[d.layer];
    if (d.cut) {
      b.resize(d.at);
    } else {
      for (size_t i = d.at; i < b.size(); i++) b[i] ^= static_cast<uint8_t>(0x5A + i * 7);
    }
  }
  LayeredStream damaged;
  damaged.bytes.assign(stream.bytes.begin(), stream.bytes.begin() + head);
  for (const std::vector<uint8_t>& b : bytes) {
    const uint32_t count = static_cast<uint32_t>(b.size());
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&count);
    damaged.bytes.insert(damaged.bytes.end(), p, p + 4);
  }
  for (const std::vector<uint8_t>& b : bytes)
    damaged.bytes.insert(damaged.bytes.end(), b.begin(), b.end());
  damaged.chunk_starts = {0};
  return damaged;
}

}  // namespace

TEST(LayeredItemCoders, TwoLayersFailingInOnePointFailAsTheFieldDecodedFirst) {
  // Each row damages two layers that, each alone, fail in the same point with
  // different throws; the reader decodes some layers ahead of fields that come
  // before them, and must still throw what the field-by-field order met
  // first (the reader goes on after 4711 but not after -1). Results of the
  // field-by-field reader.
  struct Row {
    const char* name;
    LayerDamage a;
    LayerDamage b;
    size_t point;
    int code;
  };
  const Row rows[] = {
      {"X before intensity",
       {kLayerChannelReturnsXY, false, 1208},
       {kLayerIntensity, true, 289},
       130,
       4711},
      {"intensity before Y",
       {kLayerChannelReturnsXY, false, 116},
       {kLayerIntensity, true, 54},
       24,
       -1},
      {"X before scan angle",
       {kLayerChannelReturnsXY, false, 564},
       {kLayerScanAngle, true, 136},
       60,
       4711},
      {"Y before Z", {kLayerChannelReturnsXY, false, 19}, {kLayerZ, true, 211}, 68, 4711},
      {"Z through damaged contexts",
       {kLayerChannelReturnsXY, false, 443},
       {kLayerZ, true, 367},
       122,
       -1},
      {"GPS time before scan angle",
       {kLayerScanAngle, true, 49},
       {kLayerGpsTime, false, 129},
       21,
       4711},
      {"GPS time before Z", {kLayerZ, true, 109}, {kLayerGpsTime, false, 158}, 35, 4711},
  };
  const std::vector<LASitem> items = layered_items(6, 0, 3);
  const std::vector<LayeredPoint> points =
      layered_points(fixture_random_points(71, 300, 6, 0), 6, 0);
  const LayeredStream stream = compress_layered(items, points, 1000);
  // The point whose read throws (the fewest points that fail), and the throw.
  auto failure = [&](const std::vector<LayerDamage>& damages) {
    const LayeredStream damaged = damage_layers(items, stream, damages);
    size_t good = 1;
    size_t bad = points.size() + 1;
    int code = 0;
    while (bad - good > 1) {
      const size_t n = (good + bad) / 2;
      try {
        decompress_layered(items, damaged, n, 1000, kAllLayers);
        good = n;
      } catch (int thrown) {
        bad = n;
        code = thrown;
      }
    }
    return std::make_pair(bad - 1, code);
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto alone_a = failure({row.a});
    const auto alone_b = failure({row.b});
    ASSERT_EQ(alone_a.first, row.point);
    ASSERT_EQ(alone_b.first, row.point);
    ASSERT_NE(alone_a.second, alone_b.second);
    EXPECT_EQ(failure({row.a, row.b}), std::make_pair(row.point, row.code));
  }
}

namespace {

// One colour point of an RGB layer made by hand: the changed-bits symbol, the
// differences it calls for and the colour the reader must make of them.
struct ColourRow {
  const char* name;
  uint32_t sym;
  uint32_t diff[6];
  uint16_t rgb[3];
};

// The reader decodes the differences of red's bytes, then green's and blue's
// low bytes, then their high bytes; the ones of green and blue only for a
// colour that is not grey (bit 6).
void put_colour(IntervalEncoder& enc, SymbolModel* byte_used, SymbolModel* const* diff,
                const ColourRow& row) {
  enc.put_symbol(byte_used, row.sym);
  for (uint32_t k : {0u, 1u, 2u, 4u, 3u, 5u}) {
    if ((row.sym >> k) & 1u && (k < 2 || row.sym & 64u)) enc.put_symbol(diff[k], row.diff[k]);
  }
}

}  // namespace

TEST(LayeredItemCoders, ColourFromChangedBitsAndPredictedBytes) {
  // Starting from (0x1020, 0x3040, 0x5060). Symbol 0 after a colour that is
  // not grey is no writer's: a reader still makes the colour grey.
  const ColourRow rows[] = {
      {"unchanged colour", 64, {}, {0x1020, 0x3040, 0x5060}},
      {"grey without a change", 0, {}, {0x1020, 0x1020, 0x1020}},
      {"grey again", 0, {}, {0x1020, 0x1020, 0x1020}},
      {"grey, red's low byte", 1, {0x10}, {0x1030, 0x1030, 0x1030}},
      {"green and blue low bytes from red's",
       4 | 16 | 64,
       {0, 0, 0xF0, 0, 0},
       {0x1030, 0x1020, 0x1028}},
      {"high bytes, wrapping", 2 | 8 | 32 | 64, {0, 0xF0, 0, 5, 0, 0}, {0x0030, 0x0520, 0x0328}},
      {"prediction clamped at 0", 1 | 4 | 64, {0xD0, 0, 3}, {0x0000, 0x0503, 0x0328}},
      {"prediction clamped at 255",
       1 | 4 | 16 | 64,
       {0xF0, 0, 0x0C, 0, 2},
       {0x00F0, 0x05FF, 0x0301}},
      {"ignored bits of a grey colour", 1 | 4 | 8 | 16 | 32, {0x22}, {0x0012, 0x0012, 0x0012}},
  };
  ByteStreamOutArrayLE layer;
  IntervalEncoder enc;
  ASSERT_TRUE(enc.start(&layer));
  std::unique_ptr<SymbolModel> byte_used = enc.new_symbol_model(128);
  byte_used->reset();
  std::unique_ptr<SymbolModel> diff_models[6];
  SymbolModel* diff[6];
  for (int k = 0; k < 6; k++) {
    diff_models[k] = enc.new_symbol_model(256);
    diff_models[k]->reset();
    diff[k] = diff_models[k].get();
  }
  for (const ColourRow& row : rows) put_colour(enc, byte_used.get(), diff, row);
  ASSERT_TRUE(enc.finish());

  // A chunk of the colour item alone: the layer's count, then its bytes.
  const uint32_t count = static_cast<uint32_t>(layer.get_size());
  std::vector<uint8_t> chunk(4);
  std::memcpy(chunk.data(), &count, 4);
  chunk.insert(chunk.end(), layer.get_data(), layer.get_data() + count);
  ByteStreamInArrayLE in(chunk.data(), static_cast<int64_t>(chunk.size()));
  IntervalDecoder dec;
  ASSERT_TRUE(dec.start(&in, false));
  LASreadItemCompressed_RGB14_v3 reader(&dec, kAllLayers);
  uint16_t rgb[3] = {0x1020, 0x3040, 0x5060};
  uint32_t context = 0;
  ASSERT_TRUE(reader.read_layer_sizes());
  ASSERT_TRUE(reader.start_chunk(reinterpret_cast<uint8_t*>(rgb), context));
  for (const ColourRow& row : rows) {
    SCOPED_TRACE(row.name);
    reader.read_item(reinterpret_cast<uint8_t*>(rgb), context);
    EXPECT_EQ(rgb[0], row.rgb[0]);
    EXPECT_EQ(rgb[1], row.rgb[1]);
    EXPECT_EQ(rgb[2], row.rgb[2]);
  }
}
