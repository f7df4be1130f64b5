#ifndef POINTLIB_COMPRESS_INTERVAL_ENCODER_HPP
#define POINTLIB_COMPRESS_INTERVAL_ENCODER_HPP

#include <cstdint>
#include <memory>

#include "compress/interval_models.hpp"
#include "core/byte_stream_out.hpp"

// Adaptive arithmetic (interval) encoder over 32-bit integers. All arithmetic
// is unsigned with wrap-around on purpose: a sum that wraps is a carry into
// the bytes already emitted.
//
// Output collects in a ring of two 4096-byte halves; a half goes to the
// stream just before the write position enters it again, so the 4096 bytes
// behind the write position always stay in memory for a carry to reach.
class IntervalEncoder {
 public:
  IntervalEncoder();
  IntervalEncoder(const IntervalEncoder&) = delete;
  IntervalEncoder& operator=(const IntervalEncoder&) = delete;

  // False when the stream is missing.
  bool start(ByteStreamOut* stream);
  // Writes the tail and forgets the stream. False when any write to the
  // stream since start() failed.
  bool finish();

  std::unique_ptr<BitModel> new_bit_model() const { return std::make_unique<BitModel>(); }
  std::unique_ptr<SymbolModel> new_symbol_model(uint32_t symbols) const {
    return std::make_unique<SymbolModel>(symbols, true);
  }
  static void reset_bit_model(BitModel* m) { m->reset(); }
  static int reset_symbol_model(SymbolModel* m) { return m->reset(); }

  inline void put_bit(BitModel* m, uint32_t bit);
  inline void put_symbol(SymbolModel* m, uint32_t symbol);
  // 1 to 32 bits of value (bits above num_bits must be zero).
  inline void put_raw_bits(uint32_t num_bits, uint32_t value);
  inline void put_raw_u16(uint32_t value);
  void put_raw_u32(uint32_t value) {
    put_raw_u16(value & 0xFFFFu);
    put_raw_u16(value >> 16);
  }
  void put_raw_u64(uint64_t value) {
    put_raw_u32(static_cast<uint32_t>(value));
    put_raw_u32(static_cast<uint32_t>(value >> 32));
  }

  ByteStreamOut* get_stream() const { return stream; }

 private:
  static constexpr uint32_t kHalf = 4096;

  inline void add_to_base(uint32_t x);
  inline void emit_bytes();
  void write_half();
  void propagate_carry();

  ByteStreamOut* stream = nullptr;
  std::unique_ptr<uint8_t[]> buffer;
  uint8_t* end_buffer;
  uint8_t* out_byte;
  uint8_t* end_byte;  // the flush boundary
  uint32_t base = 0;
  uint32_t length = 0;
  bool write_failed = false;
};

inline void IntervalEncoder::add_to_base(uint32_t x) {
  const uint32_t before = base;
  base += x;
  if (base < before) propagate_carry();
}

inline void IntervalEncoder::emit_bytes() {
  do {
    *out_byte++ = static_cast<uint8_t>(base >> 24);
    if (out_byte == end_byte) write_half();
    base <<= 8;
    length <<= 8;
  } while (length < kIntervalMinLength);
}

inline void IntervalEncoder::put_bit(BitModel* m, uint32_t bit) {
  const uint32_t x = m->bit_0_prob * (length >> kBitModelLengthShift);
  if (bit == 0) {
    length = x;
    ++m->bit_0_count;
  } else {
    add_to_base(x);
    length -= x;
  }
  if (length < kIntervalMinLength) emit_bytes();
  if (--m->bits_until_update == 0) m->update();
}

inline void IntervalEncoder::put_symbol(SymbolModel* m, uint32_t symbol) {
  uint32_t x;
  if (symbol == m->last_symbol) {
    x = m->distribution[symbol] * (length >> kSymbolModelLengthShift);
    add_to_base(x);
    length -= x;
  } else {
    length >>= kSymbolModelLengthShift;
    x = m->distribution[symbol] * length;
    add_to_base(x);
    length = m->distribution[symbol + 1] * length - x;
  }
  if (length < kIntervalMinLength) emit_bytes();
  ++m->symbol_count[symbol];
  if (--m->symbols_until_update == 0) m->update();
}

inline void IntervalEncoder::put_raw_bits(uint32_t num_bits, uint32_t value) {
  if (num_bits >= 20) {
    put_raw_u16(value & 0xFFFFu);
    value >>= 16;
    num_bits -= 16;
  }
  length >>= num_bits;
  add_to_base(value * length);
  if (length < kIntervalMinLength) emit_bytes();
}

inline void IntervalEncoder::put_raw_u16(uint32_t value) {
  length >>= 16;
  add_to_base(value * length);
  if (length < kIntervalMinLength) emit_bytes();
}

#endif
