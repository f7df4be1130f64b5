// What the version 1 item coders put into the stream, read back symbol by
// symbol with fresh models, and the writer's choices.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "compress/item_bytes.hpp"
#include "compress/item_gpstime11_v1.hpp"
#include "compress/item_wavepacket13_v1.hpp"
#include "compress/residual_coder.hpp"
#include "item_chunk_driver.hpp"

namespace {

LASitem item(LASitemType type, uint16_t size, uint16_t version = 1) {
  LASitem i;
  i.type = type;
  i.size = size;
  i.version = version;
  return i;
}

std::vector<uint8_t> point10(int32_t x, int32_t y, int32_t z, uint16_t intensity = 0,
                             uint8_t return_byte = 0x09, uint8_t classification = 1,
                             uint8_t scan = 0, uint8_t user = 0, uint16_t source = 0) {
  std::vector<uint8_t> b(20);
  item_store(b.data(), 0, x);
  item_store(b.data(), 4, y);
  item_store(b.data(), 8, z);
  item_store(b.data(), 12, intensity);
  b[14] = return_byte;
  b[15] = classification;
  b[16] = scan;
  b[17] = user;
  item_store(b.data(), 18, source);
  return b;
}

// Round trip of one-item records, returning the compressed stream.
ChunkedPoints round_trip(const LASitem& it, const std::vector<uint8_t>& records) {
  const std::vector<LASitem> items = {it};
  const ChunkedPoints stream = compress_records(items, records, 50000);
  EXPECT_EQ(decompress_records(items, stream, records.size() / it.size, 50000), records);
  return stream;
}

TEST(ItemCodersV1, GpsMultiplierChoice) {
  struct Row {
    int32_t d, p;
    uint32_t m;
  };
  const Row rows[] = {
      {10, 10, 1},         {5, 10, 1},                          // 0.5 + 0.5 = 1
      {4, 10, 0},          {-5, 10, 0},          {-30, 10, 0},  // every negative ratio: 0
      {24, 10, 2},         {25, 10, 3},          {5084, 10, 508},
      {5085, 10, 509},  // 508.5 and beyond: 509
      {INT32_MAX, 1, 509}, {INT32_MIN, -1, 509}, {INT32_MIN, 1, 0},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(Gpstime11V1::multiplier(r.d, r.p), r.m) << r.d << " / " << r.p;
  }
}

TEST(ItemCodersV1, GpsTimeSymbols) {
  const uint64_t t0 = 0x41D0000000000000ull;
  const uint64_t t1 = t0 + (1ull << 40);  // does not fit 32 bits
  const std::vector<uint64_t> times = {t0,       t0,       t1,       t1 + 100,
                                       t1 + 200, t1 + 150, t1 + 150, t1 + (1ull << 33)};
  std::vector<std::vector<uint8_t>> items;
  for (uint64_t t : times) items.push_back(bytes_of(t));
  const ChunkedPoints stream = round_trip(item(LASitem::GPSTIME11, 8), join_records(items));

  FirstChunkDecoder d(stream, 8);
  std::unique_ptr<SymbolModel> zero = d.model(3);
  std::unique_ptr<SymbolModel> multi = d.model(512);
  ResidualCoder ic(&d.dec, 32, 6);
  ic.prepare_decode();
  // Equal time, no previous difference: symbol 0 alone.
  EXPECT_EQ(d.dec.get_symbol(zero.get()), 0u);
  // A jump beyond 32 bits: symbol 2 and the raw time.
  EXPECT_EQ(d.dec.get_symbol(zero.get()), 2u);
  EXPECT_EQ(d.dec.get_raw_u64(), t1);
  // The first difference: symbol 1, then 100 against 0 in context 0.
  EXPECT_EQ(d.dec.get_symbol(zero.get()), 1u);
  EXPECT_EQ(ic.decode(0, 0), 100);
  // The same difference again: multiplier 1, prediction p, context 1.
  EXPECT_EQ(d.dec.get_symbol(multi.get()), 1u);
  EXPECT_EQ(ic.decode(100, 1), 100);
  // Going back in time: multiplier 0, prediction p / 4 = 25, context 2.
  EXPECT_EQ(d.dec.get_symbol(multi.get()), 0u);
  EXPECT_EQ(ic.decode(25, 2), -50);
  // Unchanged with a previous difference: 511 alone.
  EXPECT_EQ(d.dec.get_symbol(multi.get()), 511u);
  // A large jump with a previous difference: 510 and the raw time.
  EXPECT_EQ(d.dec.get_symbol(multi.get()), 510u);
  EXPECT_EQ(d.dec.get_raw_u64(), t1 + (1ull << 33));
}

TEST(ItemCodersV1, GpsPreviousDifferenceAfterExtremes) {
  // Multiplier 0 four times in a row moves the previous difference to the
  // last of them; 509 alike; equal times and raw jumps leave it alone.
  std::vector<uint64_t> times = {1000, 1010, 1010, 1000, 990, 980, 970, 960};
  uint64_t t = 960;
  for (int i = 0; i < 6; i++) times.push_back(t += 100000);
  times.push_back(t += 1ull << 35);
  times.push_back(t += 7);
  std::vector<std::vector<uint8_t>> items;
  for (uint64_t v : times) items.push_back(bytes_of(v));
  round_trip(item(LASitem::GPSTIME11, 8), join_records(items));
}

TEST(ItemCodersV1, Point10OnlyCoordinatesChange) {
  const std::vector<uint8_t> a = point10(1000, 2000, 300, 77, 0x12, 2, 250, 9, 4);
  const std::vector<uint8_t> b = point10(1010, 1995, 310, 77, 0x12, 2, 250, 9, 4);
  const ChunkedPoints stream = round_trip(item(LASitem::POINT10, 20), join_records({a, b}));

  FirstChunkDecoder d(stream, 20);
  ResidualCoder dx(&d.dec, 32, 1), dy(&d.dec, 32, 20), z(&d.dec, 32, 20);
  dx.prepare_decode();
  dy.prepare_decode();
  z.prepare_decode();
  EXPECT_EQ(dx.decode(0, 0), 10);
  const uint32_t kx = dx.k();
  EXPECT_EQ(kx, 4u);
  EXPECT_EQ(dy.decode(0, kx), -5);
  const uint32_t k = (kx + dy.k()) / 2;
  EXPECT_EQ(z.decode(300, k), 310);
  EXPECT_EQ(d.symbol(64), 0u);
}

TEST(ItemCodersV1, Point10ChangedFieldsInOrder) {
  const std::vector<uint8_t> a = point10(0, 0, 0, 100, 0x09, 1, 10, 5, 7);
  const std::vector<uint8_t> b = point10(0, 0, 0, 90, 0x12, 2, 12, 6, 8);
  const ChunkedPoints stream = round_trip(item(LASitem::POINT10, 20), join_records({a, b}));

  FirstChunkDecoder d(stream, 20);
  ResidualCoder dx(&d.dec, 32, 1), dy(&d.dec, 32, 20), z(&d.dec, 32, 20);
  ResidualCoder intensity(&d.dec, 16, 1), scan(&d.dec, 8, 2), source(&d.dec, 16, 1);
  for (ResidualCoder* c : {&dx, &dy, &z, &intensity, &scan, &source}) c->prepare_decode();
  EXPECT_EQ(dx.decode(0, 0), 0);
  EXPECT_EQ(dy.decode(0, 0), 0);
  EXPECT_EQ(z.decode(0, 0), 0);
  EXPECT_EQ(d.symbol(64), 63u);
  EXPECT_EQ(intensity.decode(100, 0), 90);
  EXPECT_EQ(d.symbol(256), 0x12u);    // a new model for the previous return byte 0x09
  EXPECT_EQ(d.symbol(256), 2u);       // and for the previous classification 1
  EXPECT_EQ(scan.decode(10, 1), 12);  // k = 0 < 3: context 1
  EXPECT_EQ(d.symbol(256), 6u);
  EXPECT_EQ(source.decode(7, 0), 8);
}

TEST(ItemCodersV1, Rgb12ChangedBytes) {
  const uint16_t a[3] = {0x1020, 0x3040, 0x5060};
  const uint16_t b[3] = {0x1020, 0x3340, 0x5060};  // green high only
  const ChunkedPoints stream =
      round_trip(item(LASitem::RGB12, 6), join_records({bytes_of(a), bytes_of(b)}));
  FirstChunkDecoder d(stream, 6);
  ResidualCoder ic(&d.dec, 8, 6);
  ic.prepare_decode();
  EXPECT_EQ(d.symbol(64), 8u);
  EXPECT_EQ(ic.decode(0x30, 3), 0x33);
}

std::vector<uint8_t> wavepacket(uint8_t index, uint64_t offset, uint32_t size, float location,
                                float xt, float yt, float zt) {
  std::vector<uint8_t> b(29);
  b[0] = index;
  item_store(b.data(), 1, offset);
  item_store(b.data(), 9, size);
  item_store(b.data(), 13, location);
  item_store(b.data(), 17, xt);
  item_store(b.data(), 21, yt);
  item_store(b.data(), 25, zt);
  return b;
}

int32_t pattern(float f) {
  int32_t i;
  std::memcpy(&i, &f, 4);
  return i;
}

TEST(ItemCodersV1, WavepacketOffsetKinds) {
  struct Row {
    uint64_t offset, last;
    uint32_t last_size;
    uint32_t kind;
  };
  const Row rows[] = {
      {500, 500, 64, 0},                          // the same packet
      {564, 500, 64, 1},                          // the next packet
      {600, 500, 64, 2},                          // a gap
      {400, 500, 64, 2},                          // backwards
      {500 + (1ull << 31), 500, 64, 3},           // beyond 32 bits
      {500 - (1ull << 31), 500, 64, 2},           // exactly -2^31 fits
      {500 - (1ull << 31), 500, 0x80000000u, 2},  // never "next packet" backwards
      {500 + 0x7FFFFFFFull, 500, 0x7FFFFFFFu, 1},
      {0, 0xFFFFFFFFFFFFFFFFull, 1, 1},  // wraps to 0
  };
  for (const Row& r : rows) {
    EXPECT_EQ(Wavepacket13V1::offset_kind(r.offset, r.last, r.last_size), r.kind)
        << r.offset << " after " << r.last << " size " << r.last_size;
  }
}

TEST(ItemCodersV1, WavepacketNextPacketCostsOnlyItsKind) {
  const std::vector<uint8_t> a = wavepacket(1, 1000, 64, 2.5f, 0.1f, 0.2f, 0.3f);
  const std::vector<uint8_t> b = wavepacket(1, 1064, 64, 2.5f, 0.1f, 0.2f, 0.3f);
  const std::vector<uint8_t> c = wavepacket(2, 1200, 80, 3.5f, 0.1f, 0.2f, -0.3f);
  const std::vector<uint8_t> e = wavepacket(2, 1200 + (1ull << 40), 80, 3.5f, 0.1f, 0.2f, -0.3f);
  const ChunkedPoints stream =
      round_trip(item(LASitem::WAVEPACKET13, 29), join_records({a, b, c, e}));
  FirstChunkDecoder d(stream, 29);
  std::unique_ptr<SymbolModel> index = d.model(256);
  std::unique_ptr<SymbolModel> kinds[4] = {d.model(4), d.model(4), d.model(4), d.model(4)};
  ResidualCoder offset(&d.dec, 32, 1), size(&d.dec, 32, 1), location(&d.dec, 32, 1),
      xyz(&d.dec, 32, 3);
  for (ResidualCoder* r : {&offset, &size, &location, &xyz}) r->prepare_decode();
  // b: kind 1 and no offset difference.
  EXPECT_EQ(d.dec.get_symbol(index.get()), 1u);
  EXPECT_EQ(d.dec.get_symbol(kinds[0].get()), 1u);
  EXPECT_EQ(size.decode(64, 0), 64);
  EXPECT_EQ(location.decode(pattern(2.5f), 0), pattern(2.5f));
  EXPECT_EQ(xyz.decode(pattern(0.1f), 0), pattern(0.1f));
  EXPECT_EQ(xyz.decode(pattern(0.2f), 1), pattern(0.2f));
  EXPECT_EQ(xyz.decode(pattern(0.3f), 2), pattern(0.3f));
  // c: kind 2 (model chosen by kind 1), difference 136 against 0.
  EXPECT_EQ(d.dec.get_symbol(index.get()), 2u);
  EXPECT_EQ(d.dec.get_symbol(kinds[1].get()), 2u);
  EXPECT_EQ(offset.decode(0, 0), 136);
  EXPECT_EQ(size.decode(64, 0), 80);
  EXPECT_EQ(location.decode(pattern(2.5f), 0), pattern(3.5f));
  EXPECT_EQ(xyz.decode(pattern(0.1f), 0), pattern(0.1f));
  EXPECT_EQ(xyz.decode(pattern(0.2f), 1), pattern(0.2f));
  EXPECT_EQ(xyz.decode(pattern(0.3f), 2), pattern(-0.3f));
  // e: kind 3 and the raw offset.
  EXPECT_EQ(d.dec.get_symbol(index.get()), 2u);
  EXPECT_EQ(d.dec.get_symbol(kinds[2].get()), 3u);
  EXPECT_EQ(d.dec.get_raw_u64(), 1200 + (1ull << 40));
}

TEST(ItemCodersV1, OnDemandModelsAcrossChunks) {
  // Return bytes, classes and user data that change in every chunk; the
  // models made in the first chunk are reused (reset) in later ones, and a
  // later chunk read alone gives the same points.
  std::vector<std::vector<uint8_t>> points;
  for (int i = 0; i < 60; i++) {
    points.push_back(point10(i, -i, i * i, 0, static_cast<uint8_t>(0x09 + (i % 3) * 8),
                             static_cast<uint8_t>(i % 4), 0, static_cast<uint8_t>(i % 5)));
  }
  const std::vector<uint8_t> records = join_records(points);
  const std::vector<LASitem> items = {item(LASitem::POINT10, 20)};
  const ChunkedPoints stream = compress_records(items, records, 7);
  EXPECT_EQ(decompress_records(items, stream, 60, 7), records);
  const std::vector<uint8_t> tail = decompress_records(items, stream, 7, 7, 4);
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), records.begin() + 4 * 7 * 20));
}

TEST(ItemCodersV1, CorruptStreamThrowsOrDiffers) {
  // Damaged bytes never crash the coders: the decoder either throws or
  // delivers other points.
  const std::vector<LASitem> items = legacy_items(5, 2, 1);
  std::vector<FixturePoint> points = fixture_random_points(9, 200, 5, 2);
  const std::vector<uint8_t> records = encode_fixture_points(points, 5, 2);
  const ChunkedPoints stream = compress_records(items, records, 50000);
  for (size_t at = 70; at < stream.bytes.size(); at += 97) {
    ChunkedPoints damaged = stream;
    damaged.bytes[at] ^= 0x5A;
    try {
      const std::vector<uint8_t> back = decompress_records(items, damaged, 200, 50000);
      EXPECT_EQ(back.size(), records.size());
    } catch (int e) {
      EXPECT_TRUE(e == 4711 || e == -1) << e;
    }
  }
}

}  // namespace
