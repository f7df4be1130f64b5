#include "ground/seed_cells.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "fixture_random.hpp"

namespace {

// The lowest point of every cell as a plain map finds it: lowest z, the earlier index on ties.
std::vector<SeedCell> expected_cells(const std::vector<SeedCell>& points) {
  std::map<std::pair<int32_t, int32_t>, SeedCell> lowest;
  for (const SeedCell& p : points) {
    auto it = lowest.find({p.column, p.row});
    if (it == lowest.end()) {
      lowest.emplace(std::make_pair(p.column, p.row), p);
    } else if (p.z < it->second.z) {
      it->second = p;
    }
  }
  std::vector<SeedCell> cells;
  for (const auto& entry : lowest) cells.push_back(entry.second);
  return cells;
}

std::vector<SeedCell> visited(SeedCells& cells) {
  std::vector<SeedCell> out;
  cells.visit([&](const SeedCell& c) { out.push_back(c); });
  return out;
}

void expect_same(const std::vector<SeedCell>& got, const std::vector<SeedCell>& want,
                 const char* what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < got.size(); i++) {
    EXPECT_EQ(got[i].column, want[i].column) << what << " cell " << i;
    EXPECT_EQ(got[i].row, want[i].row) << what << " cell " << i;
    EXPECT_EQ(got[i].z, want[i].z) << what << " cell " << i;
    EXPECT_EQ(got[i].index, want[i].index) << what << " cell " << i;
  }
}

// Points in index order over `spread` cells square around `origin`, z from few values so that
// ties are common.
std::vector<SeedCell> points_over(uint32_t count, int64_t origin, int64_t spread, uint64_t seed) {
  FixtureRandom random(seed);
  std::vector<SeedCell> points;
  for (uint32_t i = 0; i < count; i++) {
    const int32_t column = int32_t(origin + random.range(0, spread - 1));
    const int32_t row = int32_t(origin + random.range(0, spread - 1));
    points.push_back(SeedCell{column, row, int32_t(random.range(-3, 3)), i});
  }
  return points;
}

TEST(SeedCells, KeepTheLowestPointOfEveryCellInColumnThenRowOrder) {
  struct Row {
    const char* what;
    uint32_t count;
    int64_t origin, spread;
    bool in_grid;  // whether the cells fill their tiles enough to move into a grid
  };
  const Row rows[] = {
      {"compact", 200000, -150, 300, true},
      {"sparse over a wide extent", 20000, -1000000000, 2000000000, false},
      {"at the ends of the range", 5000, INT32_MIN, 40, false},
      {"few points", 7, 0, 3, false},
  };
  for (const Row& row : rows) {
    const std::vector<SeedCell> points = points_over(row.count, row.origin, row.spread, 5);
    SeedCells cells;
    for (const SeedCell& p : points) ASSERT_TRUE(cells.add(p.column, p.row, p.z, p.index));
    expect_same(visited(cells), expected_cells(points), row.what);
    EXPECT_EQ(cells.in_grid(), row.in_grid) << row.what;
  }
}

// Cells a kilometre apart hold a few dozen bytes each, not a tile of 10,000 cells.
TEST(SeedCells, SparseCellsHoldBytesByTheirPoints) {
  SeedCells cells;
  const uint32_t count = 50000;
  for (uint32_t i = 0; i < count; i++) {
    ASSERT_TRUE(cells.add(int32_t(i % 250) * 1000, int32_t(i / 250) * 1000, 0, i));
  }
  EXPECT_FALSE(cells.in_grid());
  EXPECT_LE(cells.held_bytes(), size_t(count) * 64);
  EXPECT_EQ(visited(cells).size(), count);
}

}  // namespace
