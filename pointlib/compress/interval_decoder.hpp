#ifndef POINTLIB_COMPRESS_INTERVAL_DECODER_HPP
#define POINTLIB_COMPRESS_INTERVAL_DECODER_HPP

#include <cstdint>
#include <memory>

#include "compress/interval_models.hpp"
#include "core/byte_stream_in.hpp"

// The decoding twin of IntervalEncoder. Arithmetic is unsigned 32-bit with
// wrap-around. Corrupt data throws the int 4711 where it shows (a raw value
// out of range, a value outside the interval); the end of the stream throws
// the stream's -1. A decoder told to note its failures throws neither: it
// keeps the first for its caller and decodes on, garbage but within bounds
// (from no stream once its own has ended).
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
  // For a caller that decodes several streams in an order of its own but
  // must fail as if it had decoded them one after the other: it throws the
  // noted failure once the values before it are done.
  void note_failures() { noting = true; }
  // The first failure since start(), -1 or 4711; 0 for none.
  int noted_failure() const { return noted; }

  std::unique_ptr<BitModel> new_bit_model() const { return std::make_unique<BitModel>(); }
  // Models built for a decoder carry a table of slices of the range and
  // room for the search window.
  std::unique_ptr<SymbolModel> new_symbol_model(uint32_t symbols) const {
    return std::make_unique<SymbolModel>(symbols, false);
  }
  static void reset_bit_model(BitModel* m) { m->reset(); }
  static int reset_symbol_model(SymbolModel* m) { return m->reset(); }

  PL_CODER_INLINE uint32_t get_bit(BitModel* m) { return decode_bit(iv, m); }
  PL_CODER_INLINE uint32_t get_symbol(SymbolModel* m) { return decode_symbol(iv, m); }
  // The same for a model that mostly gives one symbol: its interval is
  // checked first, without the division.
  PL_CODER_INLINE uint32_t get_likely_symbol(SymbolModel* m) { return decode_likely(iv, m); }
  // 1 to 32 bits.
  PL_CODER_INLINE uint32_t get_raw_bits(uint32_t num_bits) { return decode_raw_bits(iv, num_bits); }
  PL_CODER_INLINE uint32_t get_raw_u16() { return decode_raw_u16(iv); }
  uint32_t get_raw_u32() { return decode_raw_u32(iv); }
  uint64_t get_raw_u64() { return decode_raw_u64(iv); }

  class Run;

  // The stream being decoded; an empty one when the decoder has none.
  ByteStreamIn* get_stream() const { return stream; }

 private:
  // The interval: value lies in [0, length).
  struct Interval {
    uint32_t value;
    uint32_t length;
  };

  // The decoding steps work on an interval that is either the decoder's own
  // or a Run's copy of it, always inlined so that a Run's copy never leaves
  // registers; the rare slow paths take and give it by value.
  PL_CODER_INLINE uint32_t decode_bit(Interval& iv, BitModel* m);
  PL_CODER_INLINE uint32_t decode_symbol(Interval& iv, SymbolModel* m);
  PL_CODER_INLINE uint32_t decode_likely(Interval& iv, SymbolModel* m);
  PL_CODER_INLINE uint32_t decode_raw_bits(Interval& iv, uint32_t num_bits);
  PL_CODER_INLINE uint32_t decode_raw_below_20(Interval& iv, uint32_t num_bits);
  PL_CODER_INLINE uint32_t decode_raw_u16(Interval& iv);
  PL_CODER_INLINE uint32_t decode_raw_u32(Interval& iv) {
    const uint32_t low = decode_raw_u16(iv);
    return low | (decode_raw_u16(iv) << 16);
  }
  PL_CODER_INLINE uint64_t decode_raw_u64(Interval& iv) {
    const uint64_t low = decode_raw_u32(iv);
    return low | (static_cast<uint64_t>(decode_raw_u32(iv)) << 32);
  }
  // kBytes (2 or 3) is the most bytes that can be due: 2 after a bit or a
  // symbol (the length is at least 2^9), 3 after up to 19 raw bits.
  template <uint32_t kBytes>
  PL_CODER_INLINE void set_interval(Interval& iv, uint32_t v, uint32_t len);
  // Byte by byte from the stream, for when its window runs dry. A throw from
  // the stream stops the decoder (noted, the stopped interval is returned).
  __attribute__((noinline)) Interval renormalised(uint32_t v, uint32_t len);
  static inline uint32_t search_slice(const SymbolModel* m, uint32_t t, uint32_t d);
  static inline uint32_t count_at_most(const uint32_t* entries, uint32_t d);
  // The rare cases: d of 2^15 or more (the last symbol's sliver of the
  // interval, or corrupt data) and models built without the search padding.
  uint32_t find_symbol(SymbolModel* m, uint32_t d);
  void stop();
  // Throws the code, or notes it.
  __attribute__((cold)) void fail(int code);

  ByteStreamInArrayLE none;
  ByteStreamIn* stream = &none;
  Interval iv = {0, 0xFFFFFFFFu};
  bool noting = false;
  int noted = 0;
};

// A stretch of decoding, typically one item of one point, with the interval
// held in a local copy. Callers store into byte arrays between symbols, and a
// byte store may alias anything, so the decoder's own interval would go
// through memory before every symbol; the copy stays in registers. commit()
// hands it back at the end. A throw skips the commit and leaves the decoder
// as it was before the stretch (or stopped), valid, and a chunk that threw is
// never decoded on.
class IntervalDecoder::Run {
 public:
  explicit Run(IntervalDecoder& dec) : dec(dec), iv(dec.iv) {}
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;
  void commit() { dec.iv = iv; }
  IntervalDecoder& decoder() const { return dec; }

  PL_CODER_INLINE uint32_t get_bit(BitModel* m) { return dec.decode_bit(iv, m); }
  PL_CODER_INLINE uint32_t get_symbol(SymbolModel* m) { return dec.decode_symbol(iv, m); }
  PL_CODER_INLINE uint32_t get_likely_symbol(SymbolModel* m) { return dec.decode_likely(iv, m); }
  PL_CODER_INLINE uint32_t get_raw_bits(uint32_t num_bits) {
    return dec.decode_raw_bits(iv, num_bits);
  }
  PL_CODER_INLINE uint32_t get_raw_u16() { return dec.decode_raw_u16(iv); }
  PL_CODER_INLINE uint32_t get_raw_u32() { return dec.decode_raw_u32(iv); }
  PL_CODER_INLINE uint64_t get_raw_u64() { return dec.decode_raw_u64(iv); }

 private:
  IntervalDecoder& dec;
  Interval iv;
};

// Stores a new value and length, renormalised. Whether bytes are due is a
// coin toss that a branch would often guess wrong, and only once the long
// chain of dependent steps before it is done; with the bytes at hand in
// memory they are taken without a branch.
template <uint32_t kBytes>
PL_CODER_INLINE void IntervalDecoder::set_interval(Interval& iv, uint32_t v, uint32_t len) {
  static_assert(kBytes == 2 || kBytes == 3, "two or three bytes");
  constexpr uint32_t kBits = 8 * kBytes;
  if (__builtin_expect(stream->window_size() >= int64_t{kBytes}, 1)) {
    const uint8_t* p = stream->window();
    // One byte due below 2^24, another below 2^16, a third below 2^8: 8 bits
    // of shift per byte, read off the leading zeros (len is not 0) in fewer
    // dependent steps than comparisons take.
    const uint32_t shift = static_cast<uint32_t>(__builtin_clz(len)) & 24u;
    uint32_t bytes = (uint32_t{p[0]} << 8) | p[1];
    if (kBytes == 3) bytes = (bytes << 8) | p[2];
    // The value with the bytes appended, shifted by the bytes due and back.
    const uint64_t all = (uint64_t{v} << kBits) | bytes;
    iv.value = static_cast<uint32_t>((all << shift) >> kBits);
    iv.length = len << shift;
    stream->skip_window(shift >> 3);
  } else if (len < kIntervalMinLength) {
    iv = renormalised(v, len);
  } else {
    iv.value = v;
    iv.length = len;
  }
}

PL_CODER_INLINE uint32_t IntervalDecoder::decode_bit(Interval& iv, BitModel* m) {
  const uint32_t x = m->bit_0_prob * (iv.length >> kBitModelLengthShift);
  const uint32_t v = iv.value;
  const uint32_t bit = v >= x;
  uint32_t new_value = v;
  uint32_t new_length;
  if (bit == 0) {
    new_length = x;
    ++m->bit_0_count;
  } else {
    new_value = v - x;
    new_length = iv.length - x;
  }
  if (--m->bits_until_update == 0) m->update();
  if (new_length < kIntervalMinLength) {
    set_interval<2>(iv, new_value, new_length);
  } else {
    iv.value = new_value;
    iv.length = new_length;
  }
  return bit;
}

// The symbol is the last one whose distribution value is at most
// value / (length >> 15); the division is the one step the encoder does not
// share. d's slice in the table names its symbol, or one of two; only a
// slice crowded with symbol starts is searched, one window of entries at a
// time without a branch per entry.
PL_CODER_INLINE uint32_t IntervalDecoder::decode_symbol(Interval& iv, SymbolModel* m) {
  const uint32_t y_last = iv.length;
  const uint32_t l = y_last >> kSymbolModelLengthShift;
  const uint32_t v = iv.value;
  const uint32_t d = v / l;
  uint32_t symbol;
  uint32_t x;
  uint32_t new_length;
  const uint32_t t = d >> m->table_shift;
  if (__builtin_expect(d < m->table_limit, 1) &&
      __builtin_expect((m->decoder_table[t] & kSliceCrowded) == 0, 1)) {
    // The slice holds a and perhaps the start of a + 1: one comparison
    // chooses, without a branch, between the two candidates' intervals.
    const uint64_t entry = m->decoder_table[t];
    const uint32_t end = static_cast<uint32_t>(entry >> kSliceEndShift);
    const uint32_t next_end = static_cast<uint32_t>(entry >> kSliceNextEndShift) & 0xFFFFu;
    const uint32_t start = static_cast<uint32_t>(entry >> kSliceStartShift) & 0x7FFFu;
    // An end of 2^15 is the coder's: the length's low bits are added back.
    const uint32_t rest = y_last & (kSymbolModelMaxCount - 1);
    const uint32_t end_x = end * l + ((0u - (end >> kSymbolModelLengthShift)) & rest);
    const uint32_t next_end_x =
        next_end * l + ((0u - (next_end >> kSymbolModelLengthShift)) & rest);
    const uint32_t next = d >= end ? 1u : 0u;
    symbol = (static_cast<uint32_t>(entry) & kSliceSymbolMask) + next;
    x = next ? end_x : start * l;
    new_length = (next ? next_end_x : end_x) - x;
  } else {
    symbol = d < m->table_limit ? search_slice(m, t, d) : find_symbol(m, d);
    x = m->distribution[symbol] * l;
    const uint32_t y = symbol == m->last_symbol ? y_last : m->distribution[symbol + 1] * l;
    new_length = y - x;
  }
  // The counts first: through the decoder's own interval, a store to a plain
  // count could be the interval for all the compiler knows.
  ++m->symbol_count[symbol];
  if (--m->symbols_until_update == 0) m->update();
  set_interval<2>(iv, v - x, new_length);
  return symbol;
}

// value lies in the likely symbol's interval exactly when d would lie in its
// range of the distribution; the check needs two products of l, which do not
// wait for a division, and the choice is a branch that the skew makes easy
// to guess.
PL_CODER_INLINE uint32_t IntervalDecoder::decode_likely(Interval& iv, SymbolModel* m) {
  const uint32_t y_last = iv.length;
  const uint32_t l = y_last >> kSymbolModelLengthShift;
  const uint32_t x = m->likely_start * l;
  const uint32_t y = m->likely_end * l + (y_last & m->likely_rest_mask);
  const uint32_t v = iv.value;
  if (__builtin_expect(v - x < y - x, 1)) {
    const uint32_t symbol = m->likely_symbol;
    ++m->symbol_count[symbol];
    if (--m->symbols_until_update == 0) m->update();
    // A likely symbol keeps most of the interval: bytes are due only after
    // many of them, and a branch guesses that well.
    if (__builtin_expect(y - x >= kIntervalMinLength, 1)) {
      iv.value = v - x;
      iv.length = y - x;
    } else {
      set_interval<2>(iv, v - x, y - x);
    }
    return symbol;
  }
  m->likely_tracked = true;
  return decode_symbol(iv, m);
}

PL_CODER_INLINE uint32_t IntervalDecoder::search_slice(const SymbolModel* m, uint32_t t,
                                                       uint32_t d) {
  uint32_t first = static_cast<uint32_t>(m->decoder_table[t]) & kSliceSymbolMask;
  uint32_t last = static_cast<uint32_t>(m->decoder_table[t + 1]) & kSliceSymbolMask;
  // A slice crowded with rare symbols: halve it down to one window.
  while (last - first > kSymbolSearchWindow) {
    const uint32_t k = (first + last + 1) >> 1;
    if (m->distribution[k] > d) {
      last = k - 1;
    } else {
      first = k;
    }
  }
  return first + count_at_most(m->distribution + first + 1, d);
}

inline uint32_t IntervalDecoder::count_at_most(const uint32_t* entries, uint32_t d) {
  // Signed on purpose: every entry and d are below 2^31, and the compiler
  // turns a signed count into a few vector compares.
  const int32_t limit = static_cast<int32_t>(d);
  uint32_t count = 0;
  for (uint32_t k = 0; k < kSymbolSearchWindow; k++) {
    count += static_cast<int32_t>(entries[k]) <= limit ? 1u : 0u;
  }
  return count;
}

PL_CODER_INLINE uint32_t IntervalDecoder::decode_raw_bits(Interval& iv, uint32_t num_bits) {
  if (num_bits >= 20) {
    const uint32_t low = decode_raw_u16(iv);
    return low | (decode_raw_below_20(iv, num_bits - 16) << 16);
  }
  return decode_raw_below_20(iv, num_bits);
}

PL_CODER_INLINE uint32_t IntervalDecoder::decode_raw_below_20(Interval& iv, uint32_t num_bits) {
  const uint32_t len = iv.length >> num_bits;
  const uint32_t q = iv.value / len;
  set_interval<3>(iv, iv.value - q * len, len);
  if (q >= (1u << num_bits)) fail(4711);
  return q;
}

PL_CODER_INLINE uint32_t IntervalDecoder::decode_raw_u16(Interval& iv) {
  return decode_raw_below_20(iv, 16);
}

#endif
