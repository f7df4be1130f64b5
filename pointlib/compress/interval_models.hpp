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

  uint32_t* distribution = nullptr;
  uint32_t* symbol_count = nullptr;
  // First symbol of each slice of the 15-bit range, table_size + 2 entries.
  uint32_t* decoder_table = nullptr;
  uint32_t total_count = 0;
  uint32_t update_cycle = 0;
  uint32_t symbols_until_update = 0;
  uint32_t symbols;
  uint32_t last_symbol;
  uint32_t table_size = 0;
  uint32_t table_shift = 0;
  bool compress;

 private:
  // The three arrays in one allocation.
  std::unique_ptr<uint32_t[]> storage;
};

#endif
