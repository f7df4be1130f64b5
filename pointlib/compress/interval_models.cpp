#include "compress/interval_models.hpp"

#include <new>

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
      // 3 table bits up to 32 symbols, one more per doubling.
      uint32_t table_bits = 3;
      while (symbols > (1u << (table_bits + 2))) ++table_bits;
      table_size = 1u << table_bits;
      table_shift = kSymbolModelLengthShift - table_bits;
    }
    const uint32_t table_entries = table_size ? table_size + 2 : 0;
    storage.reset(new (std::nothrow) uint32_t[2 * symbols + table_entries]);
    if (!storage) return -1;
    distribution = storage.get();
    symbol_count = distribution + symbols;
    decoder_table = table_size ? symbol_count + symbols : nullptr;
  }
  total_count = 0;
  update_cycle = symbols;
  for (uint32_t k = 0; k < symbols; k++) symbol_count[k] = 1;
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
  if (compress || table_size == 0) {
    for (uint32_t k = 0; k < symbols; k++) {
      distribution[k] = (scale * sum) >> (31 - kSymbolModelLengthShift);
      sum += symbol_count[k];
    }
  } else {
    uint32_t s = 0;
    for (uint32_t k = 0; k < symbols; k++) {
      distribution[k] = (scale * sum) >> (31 - kSymbolModelLengthShift);
      sum += symbol_count[k];
      const uint32_t w = distribution[k] >> table_shift;
      while (s < w) decoder_table[++s] = k - 1;
    }
    decoder_table[0] = 0;
    while (s <= table_size) decoder_table[++s] = symbols - 1;
  }
  update_cycle = (5 * update_cycle) >> 2;
  const uint32_t max_cycle = (symbols + 6) << 3;
  if (update_cycle > max_cycle) update_cycle = max_cycle;
  symbols_until_update = update_cycle;
}
