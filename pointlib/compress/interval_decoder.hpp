#ifndef POINTLIB_COMPRESS_INTERVAL_DECODER_HPP
#define POINTLIB_COMPRESS_INTERVAL_DECODER_HPP

#include <cstdint>
#include <memory>

#include "compress/interval_models.hpp"
#include "core/byte_stream_in.hpp"

// The decoding twin of IntervalEncoder. Arithmetic is unsigned 32-bit with
// wrap-around. Corrupt data throws the int 4711 where it shows (a raw value
// out of range, a value outside the interval); the end of the stream throws
// the stream's -1.
//
// Corrupt files reach the decoder in every state: before it was started, after
// it was finished, after a throw from the middle of a symbol. In each of them
// it has a stream (an empty one, which throws -1 at the first byte wanted) and
// an interval of at least the minimum length, so that no call can divide by
// zero or read through a null stream.
class IntervalDecoder {
 public:
  IntervalDecoder() = default;
  IntervalDecoder(const IntervalDecoder&) = delete;
  IntervalDecoder& operator=(const IntervalDecoder&) = delete;

  // False when the stream is missing. With read_value the first 4 bytes are
  // taken as the value, most significant first.
  bool start(ByteStreamIn* stream, bool read_value = true);
  // Reads the first 4 bytes as the value; for a decoder started without.
  void read_initial_value();
  // Lets go of the stream; until the next start the decoder reads from none.
  void finish() { stop(); }

  std::unique_ptr<BitModel> new_bit_model() const { return std::make_unique<BitModel>(); }
  // Models of more than 16 symbols get a decoder table.
  std::unique_ptr<SymbolModel> new_symbol_model(uint32_t symbols) const {
    return std::make_unique<SymbolModel>(symbols, false);
  }
  static void reset_bit_model(BitModel* m) { m->reset(); }
  static int reset_symbol_model(SymbolModel* m) { return m->reset(); }

  inline uint32_t get_bit(BitModel* m);
  inline uint32_t get_symbol(SymbolModel* m);
  // 1 to 32 bits.
  inline uint32_t get_raw_bits(uint32_t num_bits);
  inline uint32_t get_raw_u16();
  uint32_t get_raw_u32() {
    const uint32_t low = get_raw_u16();
    return low | (get_raw_u16() << 16);
  }
  uint64_t get_raw_u64() {
    const uint64_t low = get_raw_u32();
    return low | (static_cast<uint64_t>(get_raw_u32()) << 32);
  }

  // The stream being decoded; an empty one when the decoder has none.
  ByteStreamIn* get_stream() const { return stream; }

 private:
  inline void renormalise();
  void stop();

  ByteStreamInArrayLE none;
  ByteStreamIn* stream = &none;
  uint32_t value = 0;
  uint32_t length = 0xFFFFFFFFu;
};

inline void IntervalDecoder::renormalise() {
  // A throw from the stream would leave the interval below its minimum
  // length: the decoder lets go of the stream before it passes the throw on.
  try {
    do {
      value = (value << 8) | static_cast<uint32_t>(stream->read_byte());
      length <<= 8;
    } while (length < kIntervalMinLength);
  } catch (...) {
    stop();
    throw;
  }
}

inline uint32_t IntervalDecoder::get_bit(BitModel* m) {
  const uint32_t x = m->bit_0_prob * (length >> kBitModelLengthShift);
  const uint32_t bit = value >= x;
  if (bit == 0) {
    length = x;
    ++m->bit_0_count;
  } else {
    value -= x;
    length -= x;
  }
  if (length < kIntervalMinLength) renormalise();
  if (--m->bits_until_update == 0) m->update();
  return bit;
}

inline uint32_t IntervalDecoder::get_symbol(SymbolModel* m) {
  uint32_t symbol;
  uint32_t x;
  uint32_t y = length;
  if (m->decoder_table) {
    length >>= kSymbolModelLengthShift;
    const uint32_t d = value / length;
    const uint32_t t = d >> m->table_shift;
    // While the value stays inside the interval t cannot pass table_size;
    // beyond it the data is corrupt and the table would be overrun.
    if (t > m->table_size) throw 4711;
    symbol = m->decoder_table[t];
    uint32_t n = m->decoder_table[t + 1] + 1;
    while (n > symbol + 1) {
      const uint32_t k = (symbol + n) >> 1;
      if (m->distribution[k] > d) {
        n = k;
      } else {
        symbol = k;
      }
    }
    x = m->distribution[symbol] * length;
    if (symbol != m->last_symbol) y = m->distribution[symbol + 1] * length;
  } else {
    x = symbol = 0;
    length >>= kSymbolModelLengthShift;
    uint32_t n = m->symbols;
    uint32_t k = n >> 1;
    do {
      const uint32_t z = length * m->distribution[k];
      if (z > value) {
        n = k;
        y = z;
      } else {
        symbol = k;
        x = z;
      }
    } while ((k = (symbol + n) >> 1) != symbol);
  }
  value -= x;
  length = y - x;
  if (length < kIntervalMinLength) renormalise();
  ++m->symbol_count[symbol];
  if (--m->symbols_until_update == 0) m->update();
  return symbol;
}

inline uint32_t IntervalDecoder::get_raw_bits(uint32_t num_bits) {
  if (num_bits >= 20) {
    const uint32_t low = get_raw_u16();
    return low | (get_raw_bits(num_bits - 16) << 16);
  }
  length >>= num_bits;
  const uint32_t q = value / length;
  value -= q * length;
  if (length < kIntervalMinLength) renormalise();
  if (q >= (1u << num_bits)) throw 4711;
  return q;
}

inline uint32_t IntervalDecoder::get_raw_u16() {
  length >>= 16;
  const uint32_t q = value / length;
  value -= q * length;
  if (length < kIntervalMinLength) renormalise();
  if (q >= (1u << 16)) throw 4711;
  return q;
}

#endif
