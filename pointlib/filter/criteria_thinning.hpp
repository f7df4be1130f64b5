#ifndef POINTLIB_FILTER_CRITERIA_THINNING_HPP
#define POINTLIB_FILTER_CRITERIA_THINNING_HPP

#include <array>
#include <cstdint>
#include <functional>
#include <unordered_map>

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

// Keeps the first point of every square cell of a grid. The cells met so far
// are bits of square blocks of 64 by 64 cells, and only blocks that hold a
// point exist: memory follows the points, not the extent between them (two
// stray points far apart cost two blocks).
class LAScriterionThinWithGrid final : public LAScriterion {
 public:
  explicit LAScriterionThinWithGrid(float spacing) : spacing(spacing) {}
  const char* option_name() const override { return "thin_with_grid"; }
  int write_option_text(char* buffer) const override;
  bool rejects(const LASpoint* point) override;
  void restart() override;

 private:
  struct BlockKey {
    int64_t row, col;
    bool operator==(const BlockKey& o) const { return row == o.row && col == o.col; }
  };
  struct BlockHash {
    size_t operator()(const BlockKey& k) const {
      return std::hash<uint64_t>()(static_cast<uint64_t>(k.row) * 0x9E3779B97F4A7C15ull ^
                                   static_cast<uint64_t>(k.col));
    }
  };
  using Block = std::array<uint64_t, 64>;  // one word per row of the block

  float spacing;
  std::unordered_map<BlockKey, Block, BlockHash> blocks;
  // Points come in runs along the data: the block of the point before.
  BlockKey last_key = {0, 0};
  Block* last_block = nullptr;
};

#endif  // POINTLIB_FILTER_CRITERIA_THINNING_HPP
