#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/residual_coder.hpp"
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

}  // namespace

TEST(ResidualCoder, DerivedRanges) {
  struct Case {
    uint32_t bits;
    uint32_t range;
    uint32_t residual_bits;
    uint32_t residual_range;
    int32_t min;
    int32_t max;
  };
  const Case cases[] = {
      {16, 0, 16, 65536, -32768, 32767},
      {1, 0, 1, 2, -1, 0},
      {31, 0, 31, 0x80000000u, -1073741824, 1073741823},
      {32, 0, 32, 0, INT32_MIN, INT32_MAX},
      {0, 0, 32, 0, INT32_MIN, INT32_MAX},
      {40, 0, 32, 0, INT32_MIN, INT32_MAX},
      {16, 5, 3, 5, -2, 2},
      {16, 4, 2, 4, -2, 1},
      {16, 360, 9, 360, -180, 179},
      {16, 0xFFFFFFFFu, 32, 0xFFFFFFFFu, -2147483647, 2147483647},
  };
  IntervalEncoder e;
  for (const Case& c : cases) {
    ResidualCoder r(&e, c.bits, 1, 8, c.range);
    EXPECT_EQ(r.get_residual_bits(), c.residual_bits) << c.bits << " " << c.range;
    EXPECT_EQ(r.get_residual_range(), c.residual_range) << c.bits << " " << c.range;
    EXPECT_EQ(r.get_residual_min(), c.min) << c.bits << " " << c.range;
    EXPECT_EQ(r.get_residual_max(), c.max) << c.bits << " " << c.range;
  }
}

// Each residual is coded as its length class k with the context's model, then
// class 0 as one bit, classes up to 8 as one symbol of 2^k, wider classes as
// the high 8 bits and the rest raw. The rows give what must be coded; the
// bytes must equal those of coding exactly that with fresh models.
TEST(ResidualCoder, CasesCodeAsDocumented) {
  constexpr int32_t kMin = INT32_MIN;
  constexpr int32_t kMax = INT32_MAX;
  struct Case {
    uint32_t bits;
    int32_t prediction;
    int32_t real;
    uint32_t k;
    uint32_t v;       // bit (class 0) or symbol of the class model
    uint32_t e;       // raw bits after the symbol
    uint32_t low;     // their value
    int32_t decoded;  // what decoding gives back
  };
  const Case cases[] = {
      // 16-bit wrap: -65535 becomes 1 (class 0), and 65535 + 1 wraps back to 0.
      {16, 65535, 0, 0, 1, 0, 0, 0},
      {16, 0, 65535, 1, 0, 0, 0, 65535},  // -1: class 1, v = -1 + 1
      {16, 100, 100, 0, 0, 0, 0, 100},
      {16, 0, 32767, 15, 32766 >> 7, 7, 32766 & 127, 32767},
      {16, 0, 32768, 16, 32767 >> 8, 8, 255, 32768},     // wraps to -32768: class 16
      {32, 0, 5, 3, 4, 0, 0, 5},                         // m = 4
      {32, 0, -5, 3, 2, 0, 0, -5},                       // v = -5 + 7
      {32, 0, 4096, 12, 4095 >> 4, 4, 4095 & 15, 4096},  // class 12: 8 high bits, 4 raw
      {32, 0, -4095, 12, 0, 4, 0, -4095},
      // +-2^31: the whole 32-bit circle.
      {32, 0, kMin, 32, 0, 0, 0, kMin},    // class 32 codes nothing more
      {32, -1, kMax, 32, 0, 0, 0, kMax},   // kMax - (-1) wraps to -2^31
      {32, kMax, kMin, 0, 1, 0, 0, kMin},  // +1 across the wrap
      {32, kMin, kMax, 1, 0, 0, 0, kMax},  // -1 across the wrap
      {32, 0, kMax, 31, (0x7FFFFFFEu) >> 23, 23, 0x7FFFFFFEu & 0x7FFFFF, kMax},
      {32, 0, kMin + 1, 31, 0, 23, 0, kMin + 1},
      {32, 1, kMin, 31, 0x7FFFFFFEu >> 23, 23, 0x7FFFFE, kMin},  // wraps to 2^31 - 1
  };
  for (const Case& c : cases) {
    const uint32_t residual_bits = c.bits == 32 ? 32 : c.bits;
    const Bytes got = encode([&](IntervalEncoder& e) {
      ResidualCoder r(&e, c.bits, 1, 8, 0);
      r.prepare_encode();
      r.encode(c.prediction, c.real, 0);
      EXPECT_EQ(r.k(), c.k) << c.prediction << " " << c.real;
    });
    const Bytes expected = encode([&](IntervalEncoder& e) {
      SymbolModel length_model(residual_bits + 1, true);
      ASSERT_EQ(length_model.reset(), 0);
      e.put_symbol(&length_model, c.k);
      if (c.k == 0) {
        BitModel bit;
        e.put_bit(&bit, c.v);
      } else if (c.k < 32) {
        SymbolModel class_model(1u << (c.k < 8 ? c.k : 8), true);
        ASSERT_EQ(class_model.reset(), 0);
        e.put_symbol(&class_model, c.v);
        if (c.e) e.put_raw_bits(c.e, c.low);
      }
    });
    EXPECT_EQ(got, expected) << c.bits << " " << c.prediction << " " << c.real;

    ByteStreamInArrayLE in(got.data(), static_cast<int64_t>(got.size()));
    IntervalDecoder d;
    ASSERT_TRUE(d.start(&in));
    ResidualCoder r(&d, c.bits, 1, 8, 0);
    r.prepare_decode();
    EXPECT_EQ(r.decode(c.prediction, 0), c.decoded) << c.bits << " " << c.prediction;
    EXPECT_EQ(r.k(), c.k);
  }
}

// Contexts have their own length models; prepare resets every model so each
// chunk decodes on its own.
TEST(ResidualCoder, ContextsAndChunkResets) {
  const std::vector<int32_t> reals = {3, -700, 70000, 1, 0, -1, 123456789, -42};
  ByteStreamOutArrayLE out;
  IntervalEncoder e;
  ResidualCoder enc(&e, 32, 3, 8, 0);
  std::vector<int64_t> chunk_starts;
  for (int chunk = 0; chunk < 3; chunk++) {
    chunk_starts.push_back(out.position());
    ASSERT_TRUE(e.start(&out));
    enc.prepare_encode();
    for (size_t i = 0; i < reals.size(); i++) enc.encode(10, reals[i], i % 3);
    ASSERT_TRUE(e.finish());
  }
  // Decode the chunks in reverse order: each stands alone.
  IntervalDecoder d;
  ResidualCoder dec(&d, 32, 3, 8, 0);
  for (int chunk = 2; chunk >= 0; chunk--) {
    ByteStreamInArrayLE in(out.get_data(), out.get_size());
    ASSERT_TRUE(in.seek_to(chunk_starts[chunk]));
    ASSERT_TRUE(d.start(&in));
    dec.prepare_decode();
    for (size_t i = 0; i < reals.size(); i++) EXPECT_EQ(dec.decode(10, i % 3), reals[i]);
  }
}
