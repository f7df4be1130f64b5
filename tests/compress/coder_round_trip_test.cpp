#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/residual_coder.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

// A plain twin of the encoder that keeps its whole output in one vector, so a
// carry can walk back as far as it likes. It tells how often a carry ran
// across a multiple of 8192 bytes, i.e. across the start of the encoder's ring.
class ReferenceEncoder {
 public:
  void put_bit(BitModel* m, uint32_t bit) {
    const uint32_t x = m->bit_0_prob * (length >> kBitModelLengthShift);
    if (bit == 0) {
      length = x;
      ++m->bit_0_count;
    } else {
      add(x);
      length -= x;
    }
    if (length < kIntervalMinLength) renorm();
    if (--m->bits_until_update == 0) m->update();
  }
  void put_symbol(SymbolModel* m, uint32_t s) {
    const uint32_t l = length >> kSymbolModelLengthShift;
    const uint32_t x = m->distribution[s] * l;
    add(x);
    length = s == m->last_symbol ? length - x : m->distribution[s + 1] * l - x;
    if (length < kIntervalMinLength) renorm();
    ++m->symbol_count[s];
    if (--m->symbols_until_update == 0) m->update();
  }
  void put_raw_bits(uint32_t n, uint32_t v) {
    if (n >= 20) {
      put_raw_bits(16, v & 0xFFFF);
      v >>= 16;
      n -= 16;
    }
    length >>= n;
    add(v * length);
    if (length < kIntervalMinLength) renorm();
  }
  Bytes finish() {
    const bool another = length > 2 * kIntervalMinLength;
    add(another ? kIntervalMinLength : kIntervalMinLength >> 1);
    length = another ? kIntervalMinLength >> 1 : kIntervalMinLength >> 9;
    renorm();
    out.insert(out.end(), another ? 3 : 2, 0);
    return out;
  }
  uint32_t get_base() const { return base; }
  uint32_t get_length() const { return length; }
  size_t size() const { return out.size(); }
  int ring_start_crossings = 0;
  int carries = 0;

 private:
  void add(uint32_t x) {
    const uint32_t before = base;
    base += x;
    if (base >= before) return;
    carries++;
    size_t p = out.size() - 1;
    while (out[p] == 0xFF) {
      out[p] = 0;
      if (p % 8192 == 0) ring_start_crossings++;
      p--;
    }
    out[p]++;
  }
  void renorm() {
    do {
      out.push_back(static_cast<uint8_t>(base >> 24));
      base <<= 8;
      length <<= 8;
    } while (length < kIntervalMinLength);
  }
  Bytes out;
  uint32_t base = 0;
  uint32_t length = 0xFFFFFFFFu;
};

// One coding step of the random script.
struct Op {
  enum Kind { kBit, kSymbol, kRawBits, kRawU16, kRawU32, kRawU64, kResidual } kind;
  uint32_t model;  // which model or residual coder
  uint32_t width;  // raw bits
  uint64_t value;  // bit, symbol, raw value, or residual real value
  int32_t prediction;
  uint32_t context;
};

constexpr uint32_t kSymbolSizes[] = {2, 3, 16, 17, 40, 256, 1000, 2048};
constexpr uint32_t kNumSymbolModels = sizeof(kSymbolSizes) / sizeof(kSymbolSizes[0]);
constexpr uint32_t kNumBitModels = 3;
struct ResidualSetup {
  uint32_t bits;
  uint32_t contexts;
};
constexpr ResidualSetup kResiduals[] = {{16, 1}, {32, 2}, {8, 4}, {24, 1}, {0, 1}, {31, 3}};
constexpr uint32_t kNumResiduals = sizeof(kResiduals) / sizeof(kResiduals[0]);

uint32_t mask(uint32_t width) {
  return width == 32 ? 0xFFFFFFFFu : (1u << width) - 1u;
}

// Mostly random steps, with runs of raw 0xFF bytes that leave 0xFF bytes in
// the output for a later carry to run through.
std::vector<Op> make_script(uint32_t seed, size_t count, bool with_residuals) {
  std::mt19937 rng(seed);
  std::vector<Op> ops;
  while (ops.size() < count) {
    const uint32_t pick = rng() % (with_residuals ? 8 : 7);
    Op op{};
    switch (pick) {
      case 0:
        op.kind = Op::kBit;
        op.model = rng() % kNumBitModels;
        op.value = (rng() % 8) < (op.model + 1) ? 1 : 0;
        break;
      case 1:
        op.kind = Op::kSymbol;
        op.model = rng() % kNumSymbolModels;
        {
          const bool narrow = rng() % 2;
          op.value = rng() % (narrow ? 1 + kSymbolSizes[op.model] / 5 : kSymbolSizes[op.model]);
        }
        break;
      case 2:
        op.kind = Op::kRawBits;
        op.width = 1 + rng() % 32;
        op.value = rng() & mask(op.width);
        break;
      case 3:
        op.kind = Op::kRawU16;
        op.value = rng() & 0xFFFF;
        break;
      case 4:
        op.kind = Op::kRawU32;
        op.value = rng();
        break;
      case 5:
        op.kind = Op::kRawU64;
        op.value = uint64_t{rng()} << 32;
        op.value |= rng();
        break;
      case 6: {
        const uint32_t run = 4 + rng() % 40;
        for (uint32_t i = 0; i < run; i++) ops.push_back(Op{Op::kRawBits, 0, 8, 0xFF, 0, 0});
        ops.push_back(Op{Op::kRawU16, 0, 16, 0xFFFF, 0, 0});
        continue;
      }
      default: {
        op.kind = Op::kResidual;
        op.model = rng() % kNumResiduals;
        op.context = rng() % kResiduals[op.model].contexts;
        // Small residuals mostly, some anywhere, some at the extremes.
        op.prediction = static_cast<int32_t>(rng());
        const uint32_t r = rng() % 10;
        const uint32_t delta = r < 6 ? rng() % 64 : r < 9 ? rng() : 0x80000000u;
        op.value = static_cast<uint32_t>(op.prediction) + delta - (r < 6 ? 32 : 0);
        const uint32_t bits = kResiduals[op.model].bits;
        if (bits >= 1 && bits <= 31) {
          // The decoder gives back the value modulo 2^bits, sign-free.
          op.prediction = static_cast<int32_t>(static_cast<uint32_t>(op.prediction) & mask(bits));
          op.value &= mask(bits);
        }
        break;
      }
    }
    ops.push_back(op);
  }
  return ops;
}

struct EncoderModels {
  explicit EncoderModels(IntervalEncoder* e) {
    for (uint32_t i = 0; i < kNumBitModels; i++) bits.push_back(e->new_bit_model());
    for (uint32_t s : kSymbolSizes) {
      symbols.push_back(e->new_symbol_model(s));
      symbols.back()->reset();
    }
    for (const ResidualSetup& r : kResiduals) {
      residuals.push_back(std::make_unique<ResidualCoder>(e, r.bits, r.contexts, 8, 0));
      residuals.back()->prepare_encode();
    }
  }
  std::vector<std::unique_ptr<BitModel>> bits;
  std::vector<std::unique_ptr<SymbolModel>> symbols;
  std::vector<std::unique_ptr<ResidualCoder>> residuals;
};

struct DecoderModels {
  explicit DecoderModels(IntervalDecoder* d) {
    for (uint32_t i = 0; i < kNumBitModels; i++) bits.push_back(d->new_bit_model());
    for (uint32_t s : kSymbolSizes) {
      symbols.push_back(d->new_symbol_model(s));
      symbols.back()->reset();
    }
    for (const ResidualSetup& r : kResiduals) {
      residuals.push_back(std::make_unique<ResidualCoder>(d, r.bits, r.contexts, 8, 0));
      residuals.back()->prepare_decode();
    }
  }
  std::vector<std::unique_ptr<BitModel>> bits;
  std::vector<std::unique_ptr<SymbolModel>> symbols;
  std::vector<std::unique_ptr<ResidualCoder>> residuals;
};

Bytes encode_script(const std::vector<Op>& ops) {
  ByteStreamOutArrayLE out;
  IntervalEncoder e;
  EXPECT_TRUE(e.start(&out));
  EncoderModels m(&e);
  for (const Op& op : ops) {
    switch (op.kind) {
      case Op::kBit:
        e.put_bit(m.bits[op.model].get(), static_cast<uint32_t>(op.value));
        break;
      case Op::kSymbol:
        e.put_symbol(m.symbols[op.model].get(), static_cast<uint32_t>(op.value));
        break;
      case Op::kRawBits:
        e.put_raw_bits(op.width, static_cast<uint32_t>(op.value));
        break;
      case Op::kRawU16:
        e.put_raw_u16(static_cast<uint32_t>(op.value));
        break;
      case Op::kRawU32:
        e.put_raw_u32(static_cast<uint32_t>(op.value));
        break;
      case Op::kRawU64:
        e.put_raw_u64(op.value);
        break;
      case Op::kResidual:
        m.residuals[op.model]->encode(op.prediction, static_cast<int32_t>(op.value), op.context);
        break;
    }
  }
  EXPECT_TRUE(e.finish());
  return Bytes(out.get_data(), out.get_data() + out.get_size());
}

void decode_script(const std::vector<Op>& ops, const Bytes& bytes) {
  ByteStreamInArrayLE in(bytes.data(), static_cast<int64_t>(bytes.size()));
  IntervalDecoder d;
  ASSERT_TRUE(d.start(&in));
  DecoderModels m(&d);
  for (size_t i = 0; i < ops.size(); i++) {
    const Op& op = ops[i];
    uint64_t got = 0;
    switch (op.kind) {
      case Op::kBit:
        got = d.get_bit(m.bits[op.model].get());
        break;
      case Op::kSymbol:
        got = d.get_symbol(m.symbols[op.model].get());
        break;
      case Op::kRawBits:
        got = d.get_raw_bits(op.width);
        break;
      case Op::kRawU16:
        got = d.get_raw_u16();
        break;
      case Op::kRawU32:
        got = d.get_raw_u32();
        break;
      case Op::kRawU64:
        got = d.get_raw_u64();
        break;
      case Op::kResidual:
        got = static_cast<uint32_t>(m.residuals[op.model]->decode(op.prediction, op.context));
        break;
    }
    ASSERT_EQ(got, op.value) << "step " << i << " kind " << op.kind;
  }
}

}  // namespace

// The ring buffer changes nothing: the encoder's bytes equal those of a
// linear twin, on a script long enough to wrap the ring several times. Near
// every multiple of 4096 output bytes the script steers the twin's interval so
// that it keeps straddling a byte boundary (which emits 0xFF bytes) and then
// steps over it, so carries run through 0xFF bytes across both halves of the
// ring and across its start.
TEST(IntervalCoderRoundTrip, RingBufferMatchesLinearOutput) {
  std::vector<Op> script = make_script(2024, 60000, false);
  ReferenceEncoder ref;
  std::vector<std::unique_ptr<BitModel>> bits;
  std::vector<std::unique_ptr<SymbolModel>> symbols;
  for (uint32_t i = 0; i < kNumBitModels; i++) bits.push_back(std::make_unique<BitModel>());
  for (uint32_t s : kSymbolSizes) {
    symbols.push_back(std::make_unique<SymbolModel>(s, true));
    symbols.back()->reset();
  }
  auto apply = [&](const Op& op) {
    switch (op.kind) {
      case Op::kBit:
        ref.put_bit(bits[op.model].get(), static_cast<uint32_t>(op.value));
        break;
      case Op::kSymbol:
        ref.put_symbol(symbols[op.model].get(), static_cast<uint32_t>(op.value));
        break;
      case Op::kRawBits:
        ref.put_raw_bits(op.width, static_cast<uint32_t>(op.value));
        break;
      case Op::kRawU16:
        ref.put_raw_bits(16, static_cast<uint32_t>(op.value));
        break;
      case Op::kRawU32:
        ref.put_raw_bits(16, static_cast<uint32_t>(op.value & 0xFFFF));
        ref.put_raw_bits(16, static_cast<uint32_t>(op.value >> 16));
        break;
      case Op::kRawU64:
        for (int i = 0; i < 4; i++) {
          ref.put_raw_bits(16, static_cast<uint32_t>((op.value >> (16 * i)) & 0xFFFF));
        }
        break;
      case Op::kResidual:
        break;
    }
  };
  std::vector<Op> ops;
  size_t ring_mark = 4096;
  for (const Op& op : script) {
    ops.push_back(op);
    apply(op);
    if (ref.size() + 12 < ring_mark) continue;
    const size_t mark = ring_mark;
    ring_mark += 4096;
    if (ref.size() >= mark) continue;  // too late for this mark
    // Raw 8-bit values whose sub-interval holds the next multiple of 2^24
    // above base: each emits a byte and keeps the boundary inside.
    while (ref.size() < mark + 12) {
      const uint64_t base = ref.get_base();
      const uint64_t l = ref.get_length() >> 8;
      const uint64_t boundary = ((base >> 24) + 1) << 24;
      uint64_t v = (boundary - base) / l;
      if (v > 255) v = 255;
      ops.push_back(Op{Op::kRawBits, 0, 8, v, 0, 0});
      apply(ops.back());
    }
    // The top of the interval lies beyond the boundary: carry.
    ops.push_back(Op{Op::kRawBits, 0, 8, 255, 0, 0});
    apply(ops.back());
  }
  const Bytes expected = ref.finish();
  const Bytes bytes = encode_script(ops);
  EXPECT_GT(bytes.size(), 4u * 8192u);
  EXPECT_GT(ref.carries, 100);
  EXPECT_GT(ref.ring_start_crossings, 0) << "the script no longer carries across the ring start";
  ASSERT_EQ(bytes.size(), expected.size());
  EXPECT_TRUE(bytes == expected);
  decode_script(ops, bytes);
}

// Bits, symbols, raw values of every width and residuals of several widths
// and contexts, interleaved, come back exactly.
TEST(IntervalCoderRoundTrip, MixedScriptsComeBack) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    const std::vector<Op> ops = make_script(seed, 40000, true);
    const Bytes bytes = encode_script(ops);
    EXPECT_GT(bytes.size(), 8192u);
    decode_script(ops, bytes);
  }
}

// An encoder started again on another stream begins afresh.
TEST(IntervalCoderRoundTrip, EncoderRestarts) {
  ByteStreamOutArrayLE first;
  ByteStreamOutArrayLE second;
  IntervalEncoder e;
  ASSERT_TRUE(e.start(&first));
  for (uint32_t i = 0; i < 5000; i++) e.put_raw_u32(i * 2654435761u);
  ASSERT_TRUE(e.finish());
  ASSERT_TRUE(e.start(&second));
  ASSERT_TRUE(e.finish());
  EXPECT_EQ(Bytes(second.get_data(), second.get_data() + second.get_size()),
            (Bytes{0x01, 0x00, 0x00, 0x00}));
}
