// What the version 2 item coders put into the stream, read back symbol by
// symbol with fresh models, and the writer's choices.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "compress/item_bytes.hpp"
#include "compress/item_gpstime11_v2.hpp"
#include "compress/item_point10_v2.hpp"
#include "compress/item_rgb12_v2.hpp"
#include "compress/residual_coder.hpp"
#include "item_chunk_driver.hpp"

namespace {

LASitem item(LASitemType type, uint16_t size) {
  LASitem i;
  i.type = type;
  i.size = size;
  i.version = 2;
  return i;
}

std::vector<uint8_t> point10(int32_t x, int32_t y, int32_t z, uint16_t intensity,
                             uint8_t return_byte, uint8_t classification = 1, uint8_t scan = 0,
                             uint8_t user = 0, uint16_t source = 0) {
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

ChunkedPoints round_trip(const LASitem& it, const std::vector<uint8_t>& records) {
  const std::vector<LASitem> items = {it};
  const ChunkedPoints stream = compress_records(items, records, 50000);
  EXPECT_EQ(decompress_records(items, stream, records.size() / it.size, 50000), records);
  return stream;
}

uint8_t return_byte(int r, int n) {
  return static_cast<uint8_t>(r | (n << 3));
}

TEST(ItemCodersV2, ReturnClassAndLevel) {
  struct Row {
    int r, n;
    uint8_t return_class, level;
  };
  const Row rows[] = {
      {1, 1, 0, 0},  {1, 2, 1, 1}, {2, 2, 2, 0},  {1, 3, 3, 2},  {3, 3, 5, 0},
      {4, 4, 9, 0},  {1, 4, 6, 3}, {5, 5, 14, 0}, {7, 7, 15, 0}, {0, 0, 15, 0},
      {0, 1, 14, 1}, {7, 0, 8, 7}, {0, 7, 8, 7},  {6, 5, 14, 1}, {3, 6, 12, 3},
  };
  for (const Row& row : rows) {
    const uint8_t b = return_byte(row.r, row.n);
    EXPECT_EQ(Point10V2::return_class(b), row.return_class) << row.r << " of " << row.n;
    EXPECT_EQ(Point10V2::return_level(b), row.level) << row.r << " of " << row.n;
    // The flags above bit 5 play no part.
    EXPECT_EQ(Point10V2::return_class(b | 0xC0), row.return_class);
  }
  EXPECT_TRUE(Point10V2::classes_symmetric());
}

TEST(ItemCodersV2, ReaderForgetsTheFirstIntensity) {
  // The second point repeats the first but for intensity 0 (and X): the
  // writer compares with the last intensity of the class, reset to 0, and
  // codes "nothing changed"; the reader must deliver 0, not 500.
  const std::vector<uint8_t> a = point10(100, 200, 300, 500, return_byte(1, 1), 2, 5, 6, 7);
  const std::vector<uint8_t> b = point10(101, 200, 300, 0, return_byte(1, 1), 2, 5, 6, 7);
  const std::vector<uint8_t> c = point10(102, 200, 300, 0, return_byte(1, 1), 2, 5, 6, 7);
  const std::vector<uint8_t> e = point10(103, 200, 300, 500, return_byte(1, 1), 2, 5, 6, 7);
  const ChunkedPoints stream = round_trip(item(LASitem::POINT10, 20), join_records({a, b, c, e}));
  FirstChunkDecoder d(stream, 20);
  std::unique_ptr<SymbolModel> changed = d.model(64);
  ResidualCoder intensity(&d.dec, 16, 4), dx(&d.dec, 32, 2), dy(&d.dec, 32, 22), z(&d.dec, 32, 20);
  for (ResidualCoder* r : {&intensity, &dx, &dy, &z}) r->prepare_decode();
  EXPECT_EQ(d.dec.get_symbol(changed.get()), 0u);
  // A single return: the odd contexts.
  EXPECT_EQ(dx.decode(0, 1), 1);
  EXPECT_EQ(dy.decode(0, 1 + (dx.k() & ~1u)), 0);
  EXPECT_EQ(z.decode(0, 1), 300);  // last Z of level 0 starts at 0
  EXPECT_EQ(d.dec.get_symbol(changed.get()), 0u);
  dx.decode(1, 1);
  dy.decode(0, 1 + (dx.k() & ~1u));
  z.decode(300, 1 + ((dx.k() + dy.k()) / 2 & ~1u));
  // 500 differs from the last intensity of class 0: bit 16 and the value.
  EXPECT_EQ(d.dec.get_symbol(changed.get()), 16u);
  EXPECT_EQ(intensity.decode(0, 0), 500);
}

TEST(ItemCodersV2, ChangedFieldsInOrder) {
  const std::vector<uint8_t> a = point10(0, 0, 0, 0, return_byte(1, 2), 1, 10, 5, 7);
  // Second of two (class 2, level 0), scan direction flag set.
  const std::vector<uint8_t> b = point10(0, 0, 0, 40, return_byte(2, 2) | 0x40, 2, 8, 6, 9);
  const ChunkedPoints stream = round_trip(item(LASitem::POINT10, 20), join_records({a, b}));
  FirstChunkDecoder d(stream, 20);
  ResidualCoder intensity(&d.dec, 16, 4), source(&d.dec, 16, 1);
  intensity.prepare_decode();
  source.prepare_decode();
  EXPECT_EQ(d.symbol(64), 63u);
  EXPECT_EQ(d.symbol(256), static_cast<uint32_t>(return_byte(2, 2) | 0x40));
  EXPECT_EQ(intensity.decode(0, 2), 40);  // class 2: context 2
  EXPECT_EQ(d.symbol(256), 2u);
  EXPECT_EQ(d.symbol(256), 254u);  // scan angle 8 - 10 folded
  EXPECT_EQ(d.symbol(256), 6u);
  EXPECT_EQ(source.decode(7, 0), 9);
}

TEST(ItemCodersV2, GpsMultiplierChoice) {
  struct Row {
    int32_t d, p, m;
  };
  const Row rows[] = {
      {10, 10, 1},         {15, 10, 2},          {14, 10, 1},     {-15, 10, -2},
      {-14, 10, -1},       {4994, 10, 499},      {4995, 10, 500}, {-94, 10, -9},
      {-95, 10, -10},      {4, 10, 0},           {-4, 10, 0},     {INT32_MAX, 1, 501},
      {INT32_MIN, 1, -11}, {INT32_MIN, -1, 501},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(Gpstime11V2::multiplier(r.d, r.p), r.m) << r.d << " / " << r.p;
  }
}

TEST(ItemCodersV2, GpsMultiplierSymbols) {
  const uint64_t t = 0x41C0000000000000ull;
  const std::vector<uint64_t> times = {t,        t + 10,   t + 5005,     t + 4910,
                                       t + 4880, t + 4880, t + 4890 + 0, t + 4890 + 2};
  std::vector<std::vector<uint8_t>> items;
  for (uint64_t v : times) items.push_back(bytes_of(v));
  const ChunkedPoints stream = round_trip(item(LASitem::GPSTIME11, 8), join_records(items));
  FirstChunkDecoder d(stream, 8);
  std::unique_ptr<SymbolModel> zero = d.model(6);
  std::unique_ptr<SymbolModel> multi = d.model(516);
  ResidualCoder ic(&d.dec, 32, 9);
  ic.prepare_decode();
  EXPECT_EQ(d.dec.get_symbol(zero.get()), 1u);
  EXPECT_EQ(ic.decode(0, 0), 10);
  // 4995 / 10 = 499.5: symbol 500, prediction 5000, context 4.
  EXPECT_EQ(d.dec.get_symbol(multi.get()), 500u);
  EXPECT_EQ(ic.decode(5000, 4), 4995);
  // -95 / 10 = -9.5: symbol 510, prediction -100, context 6.
  EXPECT_EQ(d.dec.get_symbol(multi.get()), 510u);
  EXPECT_EQ(ic.decode(-100, 6), -95);
  // -30 / 10: symbol 503, prediction -30, context 5.
  EXPECT_EQ(d.dec.get_symbol(multi.get()), 503u);
  EXPECT_EQ(ic.decode(-30, 5), -30);
  // Unchanged: 511.
  EXPECT_EQ(d.dec.get_symbol(multi.get()), 511u);
  // 10 / 10: symbol 1, prediction p, context 1.
  EXPECT_EQ(d.dec.get_symbol(multi.get()), 1u);
  EXPECT_EQ(ic.decode(10, 1), 10);
  // 2 / 10 = 0.2: symbol 0, prediction 0, context 7.
  EXPECT_EQ(d.dec.get_symbol(multi.get()), 0u);
  EXPECT_EQ(ic.decode(0, 7), 2);
}

TEST(ItemCodersV2, GpsFifthSequenceReusesTheSlots) {
  // Five time bases far apart: each opens a sequence with a full time, the
  // fifth overwrites slot 0 (the slot after the one used last), the sixth
  // slot 1; then a time near the third base switches to slot 2.
  const uint64_t base = 0x4100000000000000ull;
  uint64_t b[5];
  for (int i = 0; i < 5; i++) b[i] = base + (static_cast<uint64_t>(i) << 40);
  const std::vector<uint64_t> times = {b[0], b[1], b[2], b[3], b[4], b[0] + 1, b[2] + 1};
  std::vector<std::vector<uint8_t>> items;
  for (uint64_t v : times) items.push_back(bytes_of(v));
  const ChunkedPoints stream = round_trip(item(LASitem::GPSTIME11, 8), join_records(items));
  FirstChunkDecoder d(stream, 8);
  std::unique_ptr<SymbolModel> zero = d.model(6);
  ResidualCoder ic(&d.dec, 32, 9);
  ic.prepare_decode();
  for (int i = 1; i <= 5; i++) {
    SCOPED_TRACE(i);
    EXPECT_EQ(d.dec.get_symbol(zero.get()), 2u);
    const uint64_t previous = times[i - 1];
    EXPECT_EQ(ic.decode(static_cast<int32_t>(previous >> 32), 8),
              static_cast<int32_t>(times[i] >> 32));
    EXPECT_EQ(d.dec.get_raw_u32(), static_cast<uint32_t>(times[i]));
  }
  // Current slot 1 (b0 + 1); b2 is in slot 2, one ahead: symbol 3, then a
  // difference of 1 there.
  EXPECT_EQ(d.dec.get_symbol(zero.get()), 3u);
  EXPECT_EQ(d.dec.get_symbol(zero.get()), 1u);
  EXPECT_EQ(ic.decode(0, 0), 1);
}

TEST(ItemCodersV2, GpsAlternatingSequences) {
  // Two interleaved sequences (two scanners whose clocks differ by more than
  // the 32-bit range): after the second is opened, each point costs a switch
  // and a small difference.
  const uint64_t a = 0x41A0000000000000ull;
  const uint64_t b = a + (1ull << 36);
  std::vector<std::vector<uint8_t>> items;
  for (int i = 0; i < 40; i++) {
    const uint64_t v = (i % 2 ? b : a) + static_cast<uint64_t>(i / 2) * 1000;
    items.push_back(bytes_of(v));
  }
  const ChunkedPoints stream = round_trip(item(LASitem::GPSTIME11, 8), join_records(items));
  FirstChunkDecoder d(stream, 8);
  std::unique_ptr<SymbolModel> zero = d.model(6);
  std::unique_ptr<SymbolModel> multi = d.model(516);
  ResidualCoder ic(&d.dec, 32, 9);
  ic.prepare_decode();
  EXPECT_EQ(d.dec.get_symbol(zero.get()), 2u);  // b opens slot 1
  ic.decode(static_cast<int32_t>(a >> 32), 8);
  d.dec.get_raw_u32();
  EXPECT_EQ(d.dec.get_symbol(zero.get()), 5u);  // to slot 0, three ahead
  EXPECT_EQ(d.dec.get_symbol(zero.get()), 1u);
  EXPECT_EQ(ic.decode(0, 0), 1000);
  // Slot 0 now has a difference: the switch comes from the multiplier model.
  EXPECT_EQ(d.dec.get_symbol(multi.get()), 513u);  // to slot 1, one ahead
  EXPECT_EQ(d.dec.get_symbol(zero.get()), 1u);
  EXPECT_EQ(ic.decode(0, 0), 1000);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(d.dec.get_symbol(multi.get()), 515u);  // to slot 0, three ahead
    EXPECT_EQ(d.dec.get_symbol(multi.get()), 1u);
    EXPECT_EQ(ic.decode(1000, 1), 1000);
    EXPECT_EQ(d.dec.get_symbol(multi.get()), 513u);  // to slot 1
    EXPECT_EQ(d.dec.get_symbol(multi.get()), 1u);
    EXPECT_EQ(ic.decode(1000, 1), 1000);
  }
}

TEST(ItemCodersV2, RgbGreyCostsRedOnly) {
  const uint16_t a[3] = {100, 100, 100};
  const uint16_t b[3] = {0x1234, 0x1234, 0x1234};
  const uint16_t c[3] = {0x1234, 0x1235, 0x1234};
  const ChunkedPoints stream =
      round_trip(item(LASitem::RGB12, 6), join_records({bytes_of(a), bytes_of(b), bytes_of(c)}));
  FirstChunkDecoder d(stream, 6);
  std::unique_ptr<SymbolModel> used = d.model(128);
  EXPECT_EQ(d.dec.get_symbol(used.get()), 0x3Fu);  // all bytes changed, grey
  EXPECT_EQ(d.symbol(256), static_cast<uint8_t>(0x34 - 100));
  EXPECT_EQ(d.symbol(256), 0x12u);
  EXPECT_EQ(d.dec.get_symbol(used.get()), 64u + 4u);  // green low, not grey
  EXPECT_EQ(d.symbol(256), 1u);                       // 0x35 against 0x34 + 0
}

TEST(ItemCodersV2, RgbPredictionClampAndOrder) {
  // Green low predicted clamp(0xF0 + 32) = 255, blue low clamp(5 + 23) = 28,
  // green high 0 + 2 = 2, blue high 0 + (2 + 3) / 2 = 2; coded in the order
  // red low, red high, green low, blue low, green high, blue high.
  const uint16_t a[3] = {0x0010, 0x00F0, 0x0005};
  const uint16_t b[3] = {0x0230, 0x03FF, 0x0100};
  // Falling red: green low predicted clamp(3 - 0x30) = 0, blue low
  // clamp(0 + (-0x2D + 1) / 2) = 0.
  const uint16_t c[3] = {0x0200, 0x0300, 0x0103};
  const ChunkedPoints stream =
      round_trip(item(LASitem::RGB12, 6), join_records({bytes_of(a), bytes_of(b), bytes_of(c)}));
  FirstChunkDecoder d(stream, 6);
  std::unique_ptr<SymbolModel> used = d.model(128);
  EXPECT_EQ(d.dec.get_symbol(used.get()), 127u);
  const uint32_t expected[6] = {
      0x20, 2, 0, static_cast<uint8_t>(0 - 28), 1, static_cast<uint8_t>(1 - 2)};
  for (uint32_t e : expected) EXPECT_EQ(d.symbol(256), e);
  // c: red low 0x30 -> 0x00 (dl -48), green low 0xFF -> 0x00 against
  // clamp(0xFF - 48) = 207, blue low 0x00 -> 0x03 against
  // clamp(0 + (-48 - 255) / 2) = 0; no high byte changes.
  EXPECT_EQ(d.dec.get_symbol(used.get()), 64u + 1 + 4 + 16);
  EXPECT_EQ(d.symbol(256), static_cast<uint8_t>(0 - 0x30));
  EXPECT_EQ(d.symbol(256), static_cast<uint8_t>(0 - 207));
  EXPECT_EQ(d.symbol(256), 3u);
  EXPECT_EQ(Rgb12V2::clamp(-5), 0);
  EXPECT_EQ(Rgb12V2::clamp(300), 255);
  EXPECT_EQ(Rgb12V2::clamp(17), 17);
}

TEST(ItemCodersV2, BytesAsFoldedDifferences) {
  const std::vector<uint8_t> a = {1, 200, 7};
  const std::vector<uint8_t> b = {3, 10, 7};
  const std::vector<LASitem> items = {item(LASitem::BYTE, 3)};
  const ChunkedPoints stream = round_trip(items[0], join_records({a, b}));
  FirstChunkDecoder d(stream, 3);
  EXPECT_EQ(d.symbol(256), 2u);
  EXPECT_EQ(d.symbol(256), static_cast<uint8_t>(10 - 200));
  EXPECT_EQ(d.symbol(256), 0u);
}

TEST(ItemCodersV2, CorruptStreamThrowsOrDiffers) {
  const std::vector<LASitem> items = legacy_items(3, 2, 2);
  const std::vector<uint8_t> records =
      encode_fixture_points(fixture_random_points(10, 200, 3, 2), 3, 2);
  const ChunkedPoints stream = compress_records(items, records, 50000);
  for (size_t at = 40; at < stream.bytes.size(); at += 89) {
    ChunkedPoints damaged = stream;
    damaged.bytes[at] ^= 0xA5;
    try {
      EXPECT_EQ(decompress_records(items, damaged, 200, 50000).size(), records.size());
    } catch (int e) {
      EXPECT_TRUE(e == 4711 || e == -1) << e;
    }
  }
}

TEST(ItemCodersV2, GpsSecondSwitchInOneItemIsCorrupt) {
  // A writer switches sequence at most once per time; a stream that switches
  // again (here: symbol 3 twice) is refused instead of looping.
  ByteStreamOutArrayLE out;
  const uint64_t t0 = 0x41B0000000000000ull;
  out.write_bytes(reinterpret_cast<const uint8_t*>(&t0), 8);
  {
    IntervalEncoder enc;
    std::unique_ptr<SymbolModel> zero = enc.new_symbol_model(6);
    zero->reset();
    enc.start(&out);
    enc.put_symbol(zero.get(), 3);
    enc.put_symbol(zero.get(), 3);
    enc.put_symbol(zero.get(), 1);
    enc.finish();
  }
  ChunkedPoints stream;
  stream.bytes.assign(out.get_data(), out.get_data() + out.get_size());
  stream.chunk_starts = {0};
  try {
    decompress_records({item(LASitem::GPSTIME11, 8)}, stream, 2, 50000);
    FAIL() << "no exception";
  } catch (int e) {
    EXPECT_EQ(e, 4711);
  }
}

}  // namespace
