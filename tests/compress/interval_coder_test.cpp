#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/interval_models.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes encode(const std::function<void(IntervalEncoder&)>& code) {
  ByteStreamOutArrayLE out;
  IntervalEncoder encoder;
  EXPECT_TRUE(encoder.start(&out));
  code(encoder);
  EXPECT_TRUE(encoder.finish());
  return Bytes(out.get_data(), out.get_data() + out.get_size());
}

int thrown_by(const std::function<void()>& f) {
  try {
    f();
  } catch (int e) {
    return e;
  }
  return 0;
}

}  // namespace

// Byte fixtures worked out by hand from the coder's arithmetic.
TEST(IntervalCoder, HandComputedFixtures) {
  struct Case {
    const char* name;
    std::function<void(IntervalEncoder&)> encode;
    Bytes expected;
    std::function<void(IntervalDecoder&)> check;
  };
  const Case cases[] = {
      // finish: base += 2^24, length = 2^23, one renormalisation emits 01,
      // then two zero bytes and a third because length was above 2^25.
      {"empty", [](IntervalEncoder&) {}, {0x01, 0x00, 0x00, 0x00}, [](IntervalDecoder&) {}},
      // x = 4096 * (0xFFFFFFFF >> 13) = 0x7FFFF000; a 0 keeps base 0.
      {"bit 0",
       [](IntervalEncoder& e) {
         BitModel m;
         e.put_bit(&m, 0);
       },
       {0x01, 0x00, 0x00, 0x00},
       [](IntervalDecoder& d) {
         BitModel m;
         EXPECT_EQ(d.get_bit(&m), 0u);
       }},
      // A 1 moves base to 0x7FFFF000; finish adds 2^24: 0x80FFF000 -> byte 80.
      {"bit 1",
       [](IntervalEncoder& e) {
         BitModel m;
         e.put_bit(&m, 1);
       },
       {0x80, 0x00, 0x00, 0x00},
       [](IntervalDecoder& d) {
         BitModel m;
         EXPECT_EQ(d.get_bit(&m), 1u);
       }},
      // 4 symbols: distribution 0, 8192, 16384, 24576; l = 0x1FFFF.
      // Symbol 3 (the last): base = 24576 * 0x1FFFF = 0xBFFFA000 -> C0 at finish.
      {"last symbol of 4",
       [](IntervalEncoder& e) {
         SymbolModel m(4, true);
         ASSERT_EQ(m.reset(), 0);
         e.put_symbol(&m, 3);
       },
       {0xC0, 0x00, 0x00, 0x00},
       [](IntervalDecoder& d) {
         SymbolModel m(4, false);
         ASSERT_EQ(m.reset(), 0);
         EXPECT_EQ(d.get_symbol(&m), 3u);
       }},
      // Raw 8 bits 0xAB: base = 0xAB * 0x00FFFFFF = 0xAAFFFF55, emits AA; the
      // finish's 2^24 wraps base and carries into it: AB, then 00 and 3 zeros.
      {"raw byte with carry at finish",
       [](IntervalEncoder& e) { e.put_raw_bits(8, 0xAB); },
       {0xAB, 0x00, 0x00, 0x00, 0x00},
       [](IntervalDecoder& d) { EXPECT_EQ(d.get_raw_bits(8), 0xABu); }},
  };
  for (const Case& c : cases) {
    const Bytes bytes = encode(c.encode);
    EXPECT_EQ(bytes, c.expected) << c.name;
    ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
    IntervalDecoder decoder;
    ASSERT_TRUE(decoder.start(&in));
    c.check(decoder);
  }
}

TEST(IntervalCoder, MissingStreamIsRefused) {
  IntervalEncoder encoder;
  EXPECT_FALSE(encoder.start(nullptr));
  IntervalDecoder decoder;
  EXPECT_FALSE(decoder.start(nullptr));
}

TEST(IntervalCoder, StartWithoutValueReadsNothing) {
  const Bytes bytes = encode([](IntervalEncoder& e) { e.put_raw_u16(0x1234); });
  ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
  IntervalDecoder decoder;
  ASSERT_TRUE(decoder.start(&in, false));
  EXPECT_EQ(in.position(), 0);
  decoder.read_initial_value();
  EXPECT_EQ(in.position(), 4);
  EXPECT_EQ(decoder.get_raw_u16(), 0x1234u);
}

// Wide raw values go as 16-bit pieces, low first, so they produce exactly the
// bytes of the pieces coded one by one.
TEST(IntervalCoder, RawValuesSplitLowFirst) {
  struct Case {
    const char* name;
    std::function<void(IntervalEncoder&)> whole;
    std::function<void(IntervalEncoder&)> pieces;
  };
  const Case cases[] = {
      {"32 bits", [](IntervalEncoder& e) { e.put_raw_bits(32, 0x12345678u); },
       [](IntervalEncoder& e) {
         e.put_raw_u16(0x5678);
         e.put_raw_u16(0x1234);
       }},
      {"20 bits", [](IntervalEncoder& e) { e.put_raw_bits(20, 0xABCDEu); },
       [](IntervalEncoder& e) {
         e.put_raw_u16(0xBCDE);
         e.put_raw_bits(4, 0xA);
       }},
      {"19 bits stay whole", [](IntervalEncoder& e) { e.put_raw_bits(19, 0x7FFFFu); },
       [](IntervalEncoder& e) {
         // length >>= 19 once: not the same as 16 + 3.
         e.put_raw_bits(19, 0x7FFFFu);
       }},
      {"u32", [](IntervalEncoder& e) { e.put_raw_u32(0xDEADBEEFu); },
       [](IntervalEncoder& e) {
         e.put_raw_u16(0xBEEF);
         e.put_raw_u16(0xDEAD);
       }},
      {"u64", [](IntervalEncoder& e) { e.put_raw_u64(0x0123456789ABCDEFull); },
       [](IntervalEncoder& e) {
         e.put_raw_u32(0x89ABCDEFu);
         e.put_raw_u32(0x01234567u);
       }},
  };
  for (const Case& c : cases) EXPECT_EQ(encode(c.whole), encode(c.pieces)) << c.name;

  const Bytes bytes = encode([](IntervalEncoder& e) {
    e.put_raw_bits(32, 0x12345678u);
    e.put_raw_u64(0x0123456789ABCDEFull);
    e.put_raw_bits(31, 0x7FFFFFFFu);
  });
  ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
  IntervalDecoder d;
  ASSERT_TRUE(d.start(&in));
  EXPECT_EQ(d.get_raw_bits(32), 0x12345678u);
  EXPECT_EQ(d.get_raw_u64(), 0x0123456789ABCDEFull);
  EXPECT_EQ(d.get_raw_bits(31), 0x7FFFFFFFu);
}

// A raw value at or beyond 2^n can only come from corrupt data.
TEST(IntervalCoder, RawValueOutOfRangeThrows4711) {
  struct Case {
    Bytes bytes;
    std::function<void(IntervalDecoder&)> read;
    int thrown;
  };
  const Case cases[] = {
      // value 0xFFFF0000 / (0xFFFFFFFF >> 16) = 0x10000
      {{0xFF, 0xFF, 0x00, 0x00, 0, 0}, [](IntervalDecoder& d) { d.get_raw_u16(); }, 4711},
      {{0xFF, 0xFE, 0xFF, 0xFF, 0, 0}, [](IntervalDecoder& d) { d.get_raw_u16(); }, 0},
      // value 0xFFFFFFFF / 0x00FFFFFF = 0x100
      {{0xFF, 0xFF, 0xFF, 0xFF, 0, 0}, [](IntervalDecoder& d) { d.get_raw_bits(8); }, 4711},
      {{0xFF, 0xFF, 0x00, 0x00, 0, 0, 0, 0}, [](IntervalDecoder& d) { d.get_raw_bits(32); }, 4711},
      {{0xFF, 0xFF, 0x00, 0x00, 0, 0, 0, 0}, [](IntervalDecoder& d) { d.get_raw_u32(); }, 4711},
      // The stream ends before the value: the stream's -1 passes through.
      {{0x12, 0x34}, [](IntervalDecoder&) {}, -1},
  };
  for (const Case& c : cases) {
    ByteStreamInArrayLE in(c.bytes.data(), static_cast<int64_t>(c.bytes.size()));
    IntervalDecoder d;
    EXPECT_EQ(thrown_by([&] {
                d.start(&in);
                c.read(d);
              }),
              c.thrown);
  }
}

TEST(IntervalCoder, SymbolModelSizesAndTables) {
  struct Case {
    uint32_t symbols;
    bool compress;
    int reset;
    uint32_t table_size;
    uint32_t table_shift;
  };
  const Case cases[] = {
      {1, false, -1, 0, 0},      {2, false, 0, 4, 13},    {16, false, 0, 32, 10},
      {17, false, 0, 64, 9},     {32, false, 0, 64, 9},   {33, false, 0, 128, 8},
      {64, false, 0, 128, 8},    {65, false, 0, 256, 7},  {256, false, 0, 512, 6},
      {2048, false, 0, 1024, 5}, {2049, false, -1, 0, 0}, {2048, true, 0, 0, 0},
      {17, true, 0, 0, 0},       {0, false, -1, 0, 0},
  };
  for (const Case& c : cases) {
    SymbolModel m(c.symbols, c.compress);
    EXPECT_EQ(m.reset(), c.reset) << c.symbols;
    EXPECT_EQ(m.table_size, c.table_size) << c.symbols;
    if (c.table_size) {
      EXPECT_EQ(m.table_shift, c.table_shift) << c.symbols;
    }
    EXPECT_EQ(m.decoder_table != nullptr, c.table_size != 0) << c.symbols;
  }
}

// Every slice entry, read off the distribution slice by slice: the symbol a
// in which the slice starts, where a starts, where a and a + 1 end, and the
// crowded mark when a + 2 starts inside the slice too. Counts from flat to
// one symbol taking nearly all, so runs of narrow symbols start no slice.
TEST(IntervalCoder, DecoderTableHoldsEachSlicesSymbols) {
  std::mt19937 rng(11);
  for (uint32_t symbols : {2u, 3u, 5u, 16u, 17u, 33u, 128u, 256u, 511u, 2048u}) {
    for (int trial = 0; trial < 40; trial++) {
      SymbolModel m(symbols, false);
      ASSERT_EQ(m.reset(), 0);
      const uint32_t wide = rng() % symbols;
      const uint32_t spread = std::min(1u << (rng() % 12), 1 + 12000 / symbols);
      uint32_t sum = 0;
      for (uint32_t k = 0; k < symbols; k++) {
        m.symbol_count[k] = 1 + rng() % spread + (k == wide && trial % 2 ? 20000 / symbols : 0);
        sum += m.symbol_count[k];
      }
      ASSERT_LE(sum, kSymbolModelMaxCount);
      m.total_count = 0;
      m.update_cycle = sum;
      m.update();
      m.fill_decoder_table();
      const auto end_of = [&](uint32_t k) {
        return k >= m.last_symbol ? kSymbolModelMaxCount : m.distribution[k + 1];
      };
      uint32_t a = 0;
      for (uint32_t i = 0; i < m.table_size; i++) {
        const uint32_t start = i << m.table_shift;
        while (a < m.last_symbol && m.distribution[a + 1] <= start) a++;
        const uint64_t crowded = end_of(a + 1) < ((i + 1) << m.table_shift) ? kSliceCrowded : 0;
        const uint64_t expected = (uint64_t{end_of(a)} << kSliceEndShift) |
                                  (uint64_t{end_of(a + 1)} << kSliceNextEndShift) |
                                  (uint64_t{m.distribution[a]} << kSliceStartShift) | crowded | a;
        ASSERT_EQ(m.decoder_table[i], expected) << symbols << " " << trial << " slice " << i;
      }
      EXPECT_EQ(m.decoder_table[m.table_size], kSliceCrowded | m.last_symbol);
      EXPECT_EQ(m.decoder_table[m.table_size + 1], kSliceCrowded | m.last_symbol);
    }
  }
}

TEST(IntervalCoder, ModelsStartAsDocumented) {
  BitModel b;
  EXPECT_EQ(b.update_cycle, 4u);
  EXPECT_EQ(b.bits_until_update, 4u);
  EXPECT_EQ(b.bit_0_prob, 4096u);
  EXPECT_EQ(b.bit_0_count, 1u);
  EXPECT_EQ(b.bit_count, 2u);
  SymbolModel s(5, true);
  ASSERT_EQ(s.reset(), 0);
  // Counts 1, total 5: scale = 2^31 / 5; distribution = scale * k >> 16.
  const uint32_t scale = 0x80000000u / 5;
  for (uint32_t k = 0; k < 5; k++) EXPECT_EQ(s.distribution[k], (scale * k) >> 16);
  EXPECT_EQ(s.update_cycle, 5u);  // (5 + 6) >> 1
  EXPECT_EQ(s.symbols_until_update, 5u);
}

// The decoder table only replaces the bisection: a model with a table and the
// same model without one decode the same symbols from the same bytes, and
// both give back what was coded. Skewed towards the first symbols, slices hold
// many symbol starts; towards the last, the last symbol's interval (which ends
// with the coder's, not at 2^15) fills most of the table.
TEST(IntervalCoder, TableAndBisectionDecodeAlike) {
  for (bool towards_last : {false, true}) {
    for (uint32_t symbols : {2u, 3u, 16u, 17u, 32u, 33u, 100u, 256u, 2048u}) {
      std::mt19937 rng(symbols);
      std::vector<uint32_t> coded(20000);
      for (uint32_t& s : coded) {
        const uint32_t r = rng() % symbols;
        s = (rng() & 3) ? r % (1 + symbols / 8) : r;
        if (towards_last) s = symbols - 1 - s;
      }
      const Bytes bytes = encode([&](IntervalEncoder& e) {
        SymbolModel m(symbols, true);
        ASSERT_EQ(m.reset(), 0);
        for (uint32_t s : coded) e.put_symbol(&m, s);
      });
      for (bool with_table : {false, true}) {
        ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
        IntervalDecoder d;
        ASSERT_TRUE(d.start(&in));
        // A model built for the encoder carries no table, so the decoder bisects.
        SymbolModel m(symbols, !with_table);
        ASSERT_EQ(m.reset(), 0);
        EXPECT_EQ(m.decoder_table != nullptr, with_table) << symbols;
        for (size_t i = 0; i < coded.size(); i++) {
          ASSERT_EQ(d.get_symbol(&m), coded[i])
              << symbols << " " << with_table << " " << towards_last << " " << i;
        }
      }
    }
  }
}

// Checking the likely symbol's interval first only saves the division: from
// the same bytes it gives the symbols, and the throws, that get_symbol gives.
// The likely symbol is the first, one in the middle or the last (whose
// interval ends with the coder's); the bytes are coded data, or garbage that
// leaves the value outside every interval.
TEST(IntervalCoder, LikelySymbolDecodesAsTheDivision) {
  for (uint32_t symbols : {2u, 4u, 33u, 256u}) {
    for (uint32_t likely : {0u, symbols / 2, symbols - 1}) {
      for (bool garbage : {false, true}) {
        std::mt19937 rng(symbols * 7 + likely);
        Bytes bytes;
        if (garbage) {
          bytes.resize(4000);
          for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng() % 3 ? 0xFF : rng());
        } else {
          bytes = encode([&](IntervalEncoder& e) {
            SymbolModel m(symbols, true);
            ASSERT_EQ(m.reset(), 0);
            for (int i = 0; i < 20000; i++) e.put_symbol(&m, rng() % 50 ? likely : rng() % symbols);
          });
        }
        std::vector<uint32_t> decoded[2];
        int thrown[2];
        for (int with_likely = 0; with_likely < 2; with_likely++) {
          ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
          IntervalDecoder d;
          ASSERT_TRUE(d.start(&in));
          SymbolModel m(symbols, false);
          ASSERT_EQ(m.reset(), 0);
          thrown[with_likely] = thrown_by([&] {
            for (int i = 0; i < 20000; i++) {
              decoded[with_likely].push_back(with_likely ? d.get_likely_symbol(&m)
                                                         : d.get_symbol(&m));
            }
          });
        }
        EXPECT_EQ(decoded[0], decoded[1]) << symbols << " " << likely << " " << garbage;
        EXPECT_EQ(thrown[0], thrown[1]) << symbols << " " << likely << " " << garbage;
      }
    }
  }
}

// Garbage never makes the decoder read outside its models: it decodes
// something, or throws 4711 or the stream's -1.
TEST(IntervalCoder, GarbageNeverOverrunsTheDecoderTable) {
  std::mt19937 rng(7);
  int thrown_4711 = 0;
  for (int trial = 0; trial < 300; trial++) {
    Bytes garbage(48);
    for (uint8_t& b : garbage) b = static_cast<uint8_t>(rng() % 3 ? 0xFF : rng());
    ByteStreamInArrayLE in(garbage.data(), static_cast<int64_t>(garbage.size()));
    IntervalDecoder d;
    SymbolModel big(2048, false);
    SymbolModel small(17, false);
    BitModel bit;
    ASSERT_EQ(big.reset(), 0);
    ASSERT_EQ(small.reset(), 0);
    const int e = thrown_by([&] {
      for (int i = 0; i < 1000; i++) {
        d.start(&in);
        for (int j = 0; j < 8; j++) {
          EXPECT_LT(d.get_symbol(&big), 2048u);
          d.get_bit(&bit);
          EXPECT_LT(d.get_symbol(&small), 17u);
        }
      }
    });
    EXPECT_TRUE(e == -1 || e == 4711) << e;
    if (e == 4711) thrown_4711++;
  }
  EXPECT_GT(thrown_4711, 0);
}

// Corrupt files reach a decoder before it is started, after it is finished and
// after a throw from the middle of a symbol (the data ended there). In every
// one of these states each call returns a value in range or throws the end of
// the data; none divides by zero or reads through a missing stream.
TEST(IntervalCoder, EveryStateAGarbageFileLeavesIsSafe) {
  const Bytes garbage = {0xFF, 0xFF, 0xFF, 0xF0, 0x00, 0x13};
  struct State {
    const char* name;
    std::function<void(IntervalDecoder&, ByteStreamInArrayLE&)> reach;
  };
  const State states[] = {
      {"never started", [](IntervalDecoder&, ByteStreamInArrayLE&) {}},
      {"finished",
       [](IntervalDecoder& d, ByteStreamInArrayLE& in) {
         ASSERT_TRUE(d.start(&in));
         d.finish();
       }},
      {"started without its value",
       [](IntervalDecoder& d, ByteStreamInArrayLE& in) { ASSERT_TRUE(d.start(&in, false)); }},
      {"stopped inside a symbol",
       [](IntervalDecoder& d, ByteStreamInArrayLE& in) {
         ASSERT_TRUE(d.start(&in));
         SymbolModel m(200, false);
         m.reset();
         EXPECT_EQ(thrown_by([&] {
                     for (;;) d.get_symbol(&m);
                   }),
                   -1);
       }},
  };
  using Call = std::function<uint32_t(IntervalDecoder&)>;
  const std::pair<const char*, Call> calls[] = {
      {"big symbol model",
       [](IntervalDecoder& d) {
         SymbolModel m(300, false);
         m.reset();
         return d.get_symbol(&m) < 300 ? 0u : 1u;
       }},
      {"small symbol model",
       [](IntervalDecoder& d) {
         SymbolModel m(5, false);
         m.reset();
         return d.get_symbol(&m) < 5 ? 0u : 1u;
       }},
      {"bit",
       [](IntervalDecoder& d) {
         BitModel m;
         return d.get_bit(&m) < 2 ? 0u : 1u;
       }},
      {"raw bits", [](IntervalDecoder& d) { return d.get_raw_bits(13) < (1u << 13) ? 0u : 1u; }},
      {"raw u16", [](IntervalDecoder& d) { return d.get_raw_u16() < (1u << 16) ? 0u : 1u; }},
  };
  for (const State& state : states) {
    for (const auto& [call_name, call] : calls) {
      SCOPED_TRACE(std::string(state.name) + ", " + call_name);
      ByteStreamInArrayLE in(garbage.data(), static_cast<int64_t>(garbage.size()));
      IntervalDecoder decoder;
      state.reach(decoder, in);
      ASSERT_NE(decoder.get_stream(), nullptr);
      // Enough calls to need more bytes than there are.
      const int e = thrown_by([&] {
        for (int k = 0; k < 64; k++) ASSERT_EQ(call(decoder), 0u);
      });
      EXPECT_TRUE(e == -1 || e == 4711) << e;
    }
  }
}

namespace {

// Hands out its bytes one call at a time and never through the window, as a
// stream over a pipe may: every renormalisation takes the byte-by-byte path.
class WindowlessStream : public ByteStreamIn {
 public:
  explicit WindowlessStream(Bytes bytes) : bytes(std::move(bytes)) {}
  int read_byte() override {
    if (at == bytes.size()) throw -1;
    return bytes[at++];
  }
  void read_bytes(uint8_t* out, uint32_t n) override {
    for (uint32_t k = 0; k < n; k++) out[k] = static_cast<uint8_t>(read_byte());
  }
  bool can_seek() const override { return false; }
  int64_t position() const override { return static_cast<int64_t>(at); }
  bool seek_to(int64_t) override { return false; }
  bool seek_to_end(int64_t) override { return false; }

 private:
  Bytes bytes;
  size_t at = 0;
};

// One step of a mixed sequence: a bit, a symbol of one of three models, a
// likely symbol, or raw bits of every width from 1 to 32.
struct Step {
  uint32_t kind;  // 0 bit, 1..3 symbol model, 4 likely, 5 raw bits
  uint32_t width;
  uint32_t value;
};

std::vector<Step> mixed_steps(uint32_t seed, size_t count) {
  std::mt19937 rng(seed);
  const uint32_t symbols[4] = {0, 3, 40, 300};
  std::vector<Step> steps;
  for (size_t i = 0; i < count; i++) {
    Step s{static_cast<uint32_t>(rng() % 6), 0, 0};
    if (s.kind == 0) s.value = rng() % 7 == 0;
    if (s.kind >= 1 && s.kind <= 3) s.value = rng() % symbols[s.kind];
    if (s.kind == 4) s.value = rng() % 9 == 0 ? rng() % 12 : 5;
    if (s.kind == 5) {
      s.width = 1 + static_cast<uint32_t>(i % 32);
      s.value = static_cast<uint32_t>(rng()) & (s.width == 32 ? ~0u : (1u << s.width) - 1);
    }
    steps.push_back(s);
  }
  return steps;
}

struct StepModels {
  explicit StepModels(bool compress)
      : symbol{SymbolModel(3, compress), SymbolModel(40, compress), SymbolModel(300, compress)},
        likely(12, compress) {
    bit.reset();
    for (SymbolModel& m : symbol) m.reset();
    likely.reset();
  }
  BitModel bit;
  SymbolModel symbol[3];
  SymbolModel likely;
};

template <class Dec>
uint32_t decode_step(Dec& d, StepModels& m, const Step& s) {
  switch (s.kind) {
    case 0:
      return d.get_bit(&m.bit);
    case 4:
      return d.get_likely_symbol(&m.likely);
    case 5:
      return d.get_raw_bits(s.width);
    default:
      return d.get_symbol(&m.symbol[s.kind - 1]);
  }
}

}  // namespace

// Readers decode a point's fields through a Run, which keeps the interval in
// a copy of its own; spread over Runs of any length, committed one after the
// other, a sequence must decode as through the decoder itself, from memory
// and from a stream without a window alike.
TEST(IntervalCoder, RunsDecodeAsTheDecoder) {
  const std::vector<Step> steps = mixed_steps(7, 6000);
  StepModels encode_models(true);
  const Bytes bytes = encode([&](IntervalEncoder& e) {
    for (const Step& s : steps) {
      if (s.kind == 0) e.put_bit(&encode_models.bit, s.value);
      if (s.kind >= 1 && s.kind <= 3) e.put_symbol(&encode_models.symbol[s.kind - 1], s.value);
      if (s.kind == 4) e.put_symbol(&encode_models.likely, s.value);
      if (s.kind == 5) e.put_raw_bits(s.width, s.value);
    }
  });
  for (const bool windowless : {false, true}) {
    for (const size_t run_length : {size_t{0}, size_t{1}, size_t{7}, size_t{1000}}) {
      SCOPED_TRACE(std::string(windowless ? "windowless" : "memory") + ", runs of " +
                   std::to_string(run_length));
      ByteStreamInArrayLE memory(bytes.data(), static_cast<int64_t>(bytes.size()));
      WindowlessStream pipe(bytes);
      IntervalDecoder decoder;
      ASSERT_TRUE(decoder.start(windowless ? static_cast<ByteStreamIn*>(&pipe) : &memory));
      StepModels models(false);
      size_t i = 0;
      while (i < steps.size()) {
        if (run_length == 0) {
          ASSERT_EQ(decode_step(decoder, models, steps[i]), steps[i].value) << "step " << i;
          i++;
          continue;
        }
        IntervalDecoder::Run run(decoder);
        for (size_t k = 0; k < run_length && i < steps.size(); k++, i++) {
          ASSERT_EQ(decode_step(run, models, steps[i]), steps[i].value) << "step " << i;
        }
        run.commit();
      }
    }
  }
}

// A throw from the middle of a Run skips its commit: the decoder is left as
// it was before the Run, or stopped, and every later call still returns a
// value in range or throws; none hangs or reads out of bounds.
TEST(IntervalCoder, RunThatThrowsLeavesTheDecoderSafe) {
  const std::vector<Step> steps = mixed_steps(11, 400);
  StepModels encode_models(true);
  Bytes bytes = encode([&](IntervalEncoder& e) {
    for (const Step& s : steps) {
      if (s.kind == 0) e.put_bit(&encode_models.bit, s.value);
      if (s.kind >= 1 && s.kind <= 3) e.put_symbol(&encode_models.symbol[s.kind - 1], s.value);
      if (s.kind == 4) e.put_symbol(&encode_models.likely, s.value);
      if (s.kind == 5) e.put_raw_bits(s.width, s.value);
    }
  });
  for (const size_t cut : {size_t{5}, bytes.size() / 2, bytes.size() - 3}) {
    for (const bool windowless : {false, true}) {
      SCOPED_TRACE("cut at " + std::to_string(cut) + (windowless ? ", windowless" : ""));
      const Bytes part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
      ByteStreamInArrayLE memory(part.data(), static_cast<int64_t>(part.size()));
      WindowlessStream pipe(part);
      IntervalDecoder decoder;
      ASSERT_TRUE(decoder.start(windowless ? static_cast<ByteStreamIn*>(&pipe) : &memory));
      StepModels models(false);
      const int first = thrown_by([&] {
        for (size_t i = 0; i < steps.size();) {
          IntervalDecoder::Run run(decoder);
          for (size_t k = 0; k < 16 && i < steps.size(); k++, i++)
            decode_step(run, models, steps[i]);
          run.commit();
        }
      });
      EXPECT_EQ(first, -1);
      for (const Step& s : steps) {
        const int e = thrown_by([&] {
          IntervalDecoder::Run run(decoder);
          const uint32_t v = decode_step(run, models, s);
          run.commit();
          if (s.kind == 5 && s.width < 32) {
            EXPECT_LT(v, 1u << s.width);
          }
        });
        EXPECT_TRUE(e == 0 || e == -1 || e == 4711) << e;
      }
    }
  }
}
