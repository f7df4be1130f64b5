#include "compress/interval_models.hpp"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Above every distribution value (all below 2^15) in a signed comparison too.
constexpr uint32_t kNoDistribution = 0x7FFFFFFFu;
constexpr uint32_t kTableRun = 4;
constexpr uint32_t kDecoderTableMaxBits = 10;
// A symbol is likely when it holds this share of the counts.
constexpr uint64_t kLikelyNumerator = 7;
constexpr uint64_t kLikelyDenominator = 8;

}  // namespace

void BitModel::update() {
  bit_count += update_cycle;
  if (bit_count > kBitModelMaxCount) {
    bit_count = (bit_count + 1) >> 1;
    bit_0_count = (bit_0_count + 1) >> 1;
    // Keeps a sliver of probability for the 1.
    if (bit_0_count == bit_count) ++bit_count;
  }
  const uint32_t scale = 0x80000000u / bit_count;
  bit_0_prob = (bit_0_count * scale) >> (31 - kBitModelLengthShift);
  update_cycle = (5 * update_cycle) >> 2;
  if (update_cycle > 64) update_cycle = 64;
  bits_until_update = update_cycle;
}

SymbolModel::SymbolModel(uint32_t symbols, bool compress)
    : symbols(symbols), last_symbol(symbols - 1), compress(compress) {}

int SymbolModel::reset() {
  if (!storage) {
    if (symbols < 2 || symbols > 2048) return -1;
    if (!compress && symbols > 16) {
      // Past the range by more than one slice of a table of 3 bits up to 32
      // symbols, one more per doubling, d is refused as corrupt: the readers
      // have always reported such data at that point.
      uint32_t table_bits = 3;
      while (symbols > (1u << (table_bits + 2))) ++table_bits;
      corrupt_above = kSymbolModelMaxCount + (kSymbolModelMaxCount >> table_bits) - 1;
    }
    if (!compress) {
      // Two slices per symbol, up to 1024: few slices hold the starts of
      // two more symbols, and refilling the table after an update stays cheap.
      uint32_t table_bits = 1;
      while (symbols > (1u << (table_bits - 1)) && table_bits < kDecoderTableMaxBits) ++table_bits;
      table_size = 1u << table_bits;
      table_shift = kSymbolModelLengthShift - table_bits;
    }
    const uint32_t padding = compress ? 0 : kSymbolSearchWindow;
    storage.reset(new (std::nothrow) uint32_t[2 * symbols + padding]);
    if (!storage) return -1;
    distribution = storage.get();
    for (uint32_t k = 0; k < padding; k++) distribution[symbols + k] = kNoDistribution;
    symbol_count = distribution + symbols + padding;
    if (table_size) {
      table_storage.reset(new (std::nothrow) uint64_t[table_size + 2 + kTableRun]);
      if (!table_storage) return -1;
      decoder_table = table_storage.get();
    }
  }
  total_count = 0;
  update_cycle = symbols;
  for (uint32_t k = 0; k < symbols; k++) symbol_count[k] = 1;
  // A model's table is built when it is first used: most models of a wide
  // residual coder are reset at every chunk and never used.
  table_limit = 0;
  update();
  update_cycle = symbols_until_update = (symbols + 6) >> 1;
  return 0;
}

void SymbolModel::update() {
  total_count += update_cycle;
  if (total_count > kSymbolModelMaxCount) {
    total_count = 0;
    for (uint32_t n = 0; n < symbols; n++) {
      symbol_count[n] = (symbol_count[n] + 1) >> 1;
      total_count += symbol_count[n];
    }
  }
  const uint32_t scale = 0x80000000u / total_count;
  uint32_t sum = 0;
  for (uint32_t k = 0; k < symbols; k++) {
    distribution[k] = (scale * sum) >> (31 - kSymbolModelLengthShift);
    sum += symbol_count[k];
  }
  if (table_limit) fill_decoder_table();
  if (likely_tracked) find_likely_symbol();
  update_cycle = (5 * update_cycle) >> 2;
  const uint32_t max_cycle = (symbols + 6) << 3;
  if (update_cycle > max_cycle) update_cycle = max_cycle;
  symbols_until_update = update_cycle;
}

void SymbolModel::find_likely_symbol() {
  uint32_t best = 0;
  for (uint32_t k = 1; k < symbols; k++) {
    if (symbol_count[k] > symbol_count[best]) best = k;
  }
  likely_symbol = best;
  likely_start = likely_end = likely_rest_mask = 0;
  if (uint64_t{symbol_count[best]} * kLikelyDenominator >=
      uint64_t{total_count} * kLikelyNumerator) {
    likely_start = distribution[best];
    likely_end = best == last_symbol ? kSymbolModelMaxCount : distribution[best + 1];
    likely_rest_mask = best == last_symbol ? kSymbolModelMaxCount - 1 : 0;
  }
}

void SymbolModel::fill_decoder_table() {
  // The slices j to w start inside symbol k. Every symbol writes runs of
  // kTableRun entries, past its own slices into the next symbol's, which
  // overwrites them in turn: whole stores in place of a loop whose length is
  // hard to guess, two entries to a store. The fields are read once: the
  // table's stores could otherwise be any of them for all the compiler knows.
  using Pair = uint64_t __attribute__((vector_size(16)));
  const uint32_t* dist = distribution;
  uint64_t* table = decoder_table;
  const uint32_t shift = table_shift;
  const uint32_t count = symbols;
  uint32_t j = 0;
  for (uint32_t k = 0; k < count; k++) {
    // The padding above the last distribution value ends the last symbols
    // at 2^15.
    const uint32_t end = std::min(dist[k + 1], kSymbolModelMaxCount);
    if ((j << shift) >= end) continue;
    const uint32_t next_end = std::min(dist[k + 2], kSymbolModelMaxCount);
    const uint64_t entry = (uint64_t{end} << kSliceEndShift) |
                           (uint64_t{next_end} << kSliceNextEndShift) |
                           (uint64_t{dist[k]} << kSliceStartShift) | k;
    const Pair pair = {entry, entry};
    const uint32_t w = (end - 1) >> shift;
    for (uint32_t i = j; i <= w; i += kTableRun) {
      for (uint32_t r = 0; r < kTableRun; r += 2) std::memcpy(table + i + r, &pair, sizeof pair);
    }
    if (next_end < ((w + 1) << shift)) table[w] |= kSliceCrowded;
    j = w + 1;
  }
  // Past the last slice: the bound of a search in the last one.
  table[table_size] = table[table_size + 1] = kSliceCrowded | last_symbol;
  table_limit = kSymbolModelMaxCount;
}
