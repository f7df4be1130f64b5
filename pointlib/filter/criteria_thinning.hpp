#ifndef POINTLIB_FILTER_CRITERIA_THINNING_HPP
#define POINTLIB_FILTER_CRITERIA_THINNING_HPP

#include <cstdint>
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

// Keeps the first point of every square cell of a grid. The cells seen are kept as bits in
// blocks of 8 x 8 cells, found by a hash of the block's column and row, so that memory follows
// the cells that hold points: a point far from the others costs one block, not the extent
// between them.
class LAScriterionThinWithGrid final : public LAScriterion {
 public:
  explicit LAScriterionThinWithGrid(float spacing) : spacing(spacing) {}
  const char* option_name() const override { return "thin_with_grid"; }
  int write_option_text(char* buffer) const override;
  bool rejects(const LASpoint* point) override;
  void restart() override;

 private:
  struct Block {
    int64_t column, row;  // of the block: the cells' column and row divided by 8, floored
    uint64_t cells;       // one bit per cell seen; 0 marks a free slot
  };
  // The block's slot, taking a free one for a new block (and growing the table).
  Block& find_block(int64_t column, int64_t row);
  void grow();

  float spacing;
  std::vector<Block> blocks;  // open addressing, a power of two long, at most half full
  size_t used = 0;
  size_t last = 0;  // slot of the last block met: points come in runs through one block
};

#endif  // POINTLIB_FILTER_CRITERIA_THINNING_HPP
