#ifndef POINTLIB_COMPRESS_INTERVAL_MODELS_HPP
#define POINTLIB_COMPRESS_INTERVAL_MODELS_HPP

#include <cstdint>
#include <memory>

// Adaptive models of the interval coder. Every constant, rounding and update
// moment here is part of the compressed file format: encoder and decoder must
// adapt identically, so change nothing without changing the format.

// For the per-value coding steps that the compiler would otherwise leave as
// calls inside the item coders' per-point code.
#if defined(__GNUC__)
#define PL_CODER_INLINE inline __attribute__((always_inline))
#else
#define PL_CODER_INLINE inline
#endif

// Renormalisation keeps the interval length at 2^24 or more.
constexpr uint32_t kIntervalMinLength = 0x01000000u;
// Bit probabilities are scaled to 2^13, symbol distributions to 2^15.
constexpr uint32_t kBitModelLengthShift = 13;
constexpr uint32_t kBitModelMaxCount = 1u << kBitModelLengthShift;
constexpr uint32_t kSymbolModelLengthShift = 15;
constexpr uint32_t kSymbolModelMaxCount = 1u << kSymbolModelLengthShift;
// A decoder looks a symbol up among this many distribution entries at once
// (no branch per entry), after its table has narrowed the choice.
constexpr uint32_t kSymbolSearchWindow = 16;

class BitModel {
 public:
  BitModel() { reset(); }
  void reset() {
    update_cycle = bits_until_update = 4;
    bit_0_prob = 1u << (kBitModelLengthShift - 1);
    bit_0_count = 1;
    bit_count = 2;
  }
  // Rescales the probability; called when bits_until_update reaches 0.
  void update();

  uint32_t update_cycle;
  uint32_t bits_until_update;
  uint32_t bit_0_prob;
  uint32_t bit_0_count;
  uint32_t bit_count;
};

// A decoder's slice entry: the slice's first symbol a (bits 0-15), where a
// starts (bits 16-30), where a and a + 1 end (bits 48-63 and 32-47; 2^15 for
// the end of the last symbol, whose interval ends with the coder's). Any d in
// the slice below a's end is a, else a + 1, unless the slice is crowded (bit
// 31): it holds the start of a + 2 as well.
constexpr uint32_t kSliceSymbolMask = 0xFFFFu;
constexpr uint32_t kSliceStartShift = 16;
constexpr uint32_t kSliceNextEndShift = 32;
constexpr uint32_t kSliceEndShift = 48;
constexpr uint64_t kSliceCrowded = 0x80000000u;

class SymbolModel {
 public:
  // compress: built for the encoder, which never needs a decoder table.
  SymbolModel(uint32_t symbols, bool compress);
  // Sets every count to 1 and the initial distribution. The first call sizes
  // the arrays; a model of fewer than 2 or more than 2048 symbols is refused
  // with -1 (and must not be used). 0 otherwise.
  int reset();
  // Rescales the distribution (and decoder table); called when
  // symbols_until_update reaches 0.
  void update();
  // Builds the decoder table from the distribution; opens the table lookup.
  void fill_decoder_table();
  // Finds the likely symbol from the counts; a decoder's, after an update.
  void find_likely_symbol();

  // For a decoder, followed by kSymbolSearchWindow entries above any
  // distribution value, so a search window may run past the last symbol.
  uint32_t* distribution = nullptr;
  uint32_t* symbol_count = nullptr;
  // The entries of the slices of the 15-bit range, table_size + 2 of them
  // (null for an encoder's model).
  uint64_t* decoder_table = nullptr;
  uint32_t total_count = 0;
  uint32_t update_cycle = 0;
  uint32_t symbols_until_update = 0;
  uint32_t symbols;
  uint32_t last_symbol;
  uint32_t table_size = 0;
  uint32_t table_shift = 0;
  // A decoder looks d = value / (length >> 15) up in the table below this
  // (0 while the table is not built, and for an encoder's model) ...
  uint32_t table_limit = 0;
  // ... and d above this is corrupt data.
  uint32_t corrupt_above = 0xFFFFFFFFu;
  // For a decoder: the symbol that nearly every value has taken, where it
  // starts and ends, and the low bits of the length that the last symbol's
  // interval ends with; an empty range while no symbol stands out that far.
  uint32_t likely_symbol = 0;
  uint32_t likely_start = 0;
  uint32_t likely_end = 0;
  uint32_t likely_rest_mask = 0;
  // Set by the first look for a likely symbol: only such models pay for
  // finding it at every update.
  bool likely_tracked = false;
  bool compress;

 private:
  // The distribution and the counts in one allocation; the table in another.
  std::unique_ptr<uint32_t[]> storage;
  std::unique_ptr<uint64_t[]> table_storage;
};

#endif
