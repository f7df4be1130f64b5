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
  const double px = filter_field::x(point), py = filter_field::y(point);
  if (spacing < 0) {
    spacing = -spacing;
    anchor_row = grid_floor(py / spacing);
  }
  const int64_t row = grid_floor(py / spacing) - anchor_row;
  const int64_t col = grid_floor(px / spacing);
  Half& half = row < 0 ? below : above;
  const size_t index = static_cast<size_t>(row < 0 ? -row - 1 : row);

  const bool started = index < half.right.rows.size() && !half.right.rows[index].empty();
  Quarter* quarter = &half.right;
  int64_t offset = 0;
  if (started) {
    offset = col - half.anchor_columns[index];
    if (offset < 0) {
      quarter = &half.left;
      offset = -offset - 1;
    }
  }
  if (index >= quarter->rows.size()) {
    const size_t rows = (index / 1024 + 1) * 1024;
    quarter->rows.resize(rows);
    if (quarter == &half.right) half.anchor_columns.resize(rows, 0);
  }
  if (!started) half.anchor_columns[index] = col;

  std::vector<uint32_t>& bits = quarter->rows[index];
  const size_t word = static_cast<size_t>(offset / 32);
  if (word >= bits.size()) bits.resize((word / 256) * 256 + 256, 0u);
  const uint32_t bit = 1u << (offset % 32);
  if (bits[word] & bit) return true;
  bits[word] |= bit;
  return false;
}

void LAScriterionThinWithGrid::restart() {
  if (spacing > 0) spacing = -spacing;
  below = Half();
  above = Half();
}
