#ifndef POINTLIB_FILTER_CRITERIA_THINNING_HPP
#define POINTLIB_FILTER_CRITERIA_THINNING_HPP

#include <vector>

#include "filter/las_criterion.hpp"

// Every n-th point; the counter runs on across files (restart leaves it).
class LAScriterionKeepEveryNth final : public LAScriterionParams<uint32_t, 1> {
 public:
  explicit LAScriterionKeepEveryNth(uint32_t n) : LAScriterionParams(n) {}
  const char* option_name() const override { return "keep_every_nth"; }
  bool rejects(const LASpoint*) override {
    if (counter == p[0]) {
      counter = 1;
      return false;
    }
    counter++;
    return true;
  }

 private:
  uint32_t counter = 1;
};

class LAScriterionDropEveryNth final : public LAScriterionParams<uint32_t, 1> {
 public:
  explicit LAScriterionDropEveryNth(uint32_t n) : LAScriterionParams(n) {}
  const char* option_name() const override { return "drop_every_nth"; }
  bool rejects(const LASpoint*) override {
    if (counter == p[0]) {
      counter = 1;
      return true;
    }
    counter++;
    return false;
  }

 private:
  uint32_t counter = 1;
};

// Keeps a random fraction of the points. The generator is re-seeded with the
// previous draw for every point and the seed goes back to its start value per
// file, so every file sees the same sequence whatever else draws numbers.
class LAScriterionKeepRandomFraction final : public LAScriterion {
 public:
  explicit LAScriterionKeepRandomFraction(float fraction, uint32_t seed = 0)
      : initial_seed(seed), seed(seed), fraction(fraction) {}
  const char* option_name() const override { return "keep_random_fraction"; }
  int write_option_text(char* buffer) const override;
  bool rejects(const LASpoint* point) override;
  void restart() override { seed = initial_seed; }

 private:
  uint32_t initial_seed, seed;
  float fraction;
};

// Keeps the first point of every square cell of a grid. The grid is anchored
// at the first point of a file: rows are counted from its row, and cells of a
// row from the column of the first point that reached the row, so that four
// quarters of bit rows grow outwards from where the data lies.
class LAScriterionThinWithGrid final : public LAScriterion {
 public:
  explicit LAScriterionThinWithGrid(float spacing) : spacing(-spacing) {}
  const char* option_name() const override { return "thin_with_grid"; }
  int write_option_text(char* buffer) const override;
  bool rejects(const LASpoint* point) override;
  void restart() override;

 private:
  struct Quarter {
    // Row sizes are the rows' own lengths (32-bit words), so a row is not
    // limited to the 65535 words of a 16-bit count.
    std::vector<std::vector<uint32_t>> rows;
  };
  struct Half {
    Quarter left, right;
    std::vector<int64_t> anchor_columns;  // sized with the right quarter
  };
  float spacing;  // negative until the first point of a file
  int64_t anchor_row = 0;
  Half below, above;
};

#endif  // POINTLIB_FILTER_CRITERIA_THINNING_HPP
