#include "filter/criteria_thinning.hpp"

#include <cmath>
#include <cstdio>

#include "platform/crt_random.hpp"

int LAScriterionKeepRandomFraction::write_option_text(char* buffer) const {
  int n = option_text_name(buffer, option_name());
  n += option_text_float(buffer + n, fraction);
  // a seed other than the default is written too, so that the text selects
  // the same points again
  if (initial_seed != 0) n += option_text_int(buffer + n, initial_seed);
  return n;
}

bool LAScriterionKeepRandomFraction::rejects(const LASpoint*) {
  crt_srand(seed);
  const int r = crt_rand();
  seed = static_cast<uint32_t>(r);
  return static_cast<float>(r) / 32767.0f > fraction;
}

namespace {

// floor towards minus infinity, kept inside 64 bits for absurd coordinates
int64_t grid_floor(double v) {
  const double f = std::floor(v);
  if (!(f > -4.0e18)) return -4000000000000000000LL;
  if (f > 4.0e18) return 4000000000000000000LL;
  return static_cast<int64_t>(f);
}

// Spreads neighbouring blocks over the whole table.
size_t block_hash(int64_t column, int64_t row) {
  uint64_t h = uint64_t(column) * 0x9E3779B97F4A7C15ull ^ uint64_t(row);
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ull;
  h ^= h >> 32;
  return size_t(h);
}

}  // namespace

int LAScriterionThinWithGrid::write_option_text(char* buffer) const {
  int n = option_text_name(buffer, option_name());
  return n + option_text_float(buffer + n, spacing);
}

bool LAScriterionThinWithGrid::rejects(const LASpoint* point) {
  const int64_t row = grid_floor(filter_field::y(point) / spacing);
  const int64_t column = grid_floor(filter_field::x(point) / spacing);
  // Arithmetic shifts and masks floor negative numbers too.
  Block& block = find_block(column >> 3, row >> 3);
  const uint64_t bit = uint64_t(1) << (((row & 7) << 3) | (column & 7));
  if (block.cells & bit) return true;
  block.cells |= bit;
  return false;
}

LAScriterionThinWithGrid::Block& LAScriterionThinWithGrid::find_block(int64_t column, int64_t row) {
  if (last < blocks.size()) {
    Block& b = blocks[last];
    if (b.cells && b.column == column && b.row == row) return b;
  }
  if (2 * (used + 1) > blocks.size()) grow();
  const size_t mask = blocks.size() - 1;
  for (size_t i = block_hash(column, row) & mask;; i = (i + 1) & mask) {
    Block& b = blocks[i];
    if (!b.cells) {
      // Taken by the caller, which sets a bit at once.
      b.column = column;
      b.row = row;
      used++;
      last = i;
      return b;
    }
    if (b.column == column && b.row == row) {
      last = i;
      return b;
    }
  }
}

void LAScriterionThinWithGrid::grow() {
  std::vector<Block> old;
  old.swap(blocks);
  blocks.assign(old.empty() ? 1024 : 2 * old.size(), Block{0, 0, 0});
  const size_t mask = blocks.size() - 1;
  for (const Block& b : old) {
    if (!b.cells) continue;
    size_t i = block_hash(b.column, b.row) & mask;
    while (blocks[i].cells) i = (i + 1) & mask;
    blocks[i] = b;
  }
  last = blocks.size();
}

void LAScriterionThinWithGrid::restart() {
  blocks = std::vector<Block>();
  used = 0;
  last = 0;
}
