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

}  // namespace

int LAScriterionThinWithGrid::write_option_text(char* buffer) const {
  int n = option_text_name(buffer, option_name());
  return n + option_text_float(buffer + n, std::fabs(spacing));
}

bool LAScriterionThinWithGrid::rejects(const LASpoint* point) {
  const int64_t row = grid_floor(filter_field::y(point) / spacing);
  const int64_t col = grid_floor(filter_field::x(point) / spacing);
  // Arithmetic shifts floor towards minus infinity, as the cells do.
  const BlockKey key = {row >> 6, col >> 6};
  if (last_block == nullptr || !(key == last_key)) {
    last_block = &blocks.try_emplace(key).first->second;
    last_key = key;
  }
  uint64_t& word = (*last_block)[static_cast<size_t>(row & 63)];
  const uint64_t bit = uint64_t{1} << (col & 63);
  if (word & bit) return true;
  word |= bit;
  return false;
}

void LAScriterionThinWithGrid::restart() {
  blocks.clear();
  last_block = nullptr;
}
