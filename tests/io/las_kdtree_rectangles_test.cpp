#include "io/las_kdtree_rectangles.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

struct Rect {
  double min_x, min_y, max_x, max_y;
};

bool brute_overlap(const Rect& r, const Rect& q) {
  return !(r.min_x > q.max_x || r.min_y > q.max_y || q.min_x > r.max_x || q.min_y > r.max_y);
}

std::vector<uint32_t> query(LASkdtreeRectangles& tree, const Rect& q) {
  std::vector<uint32_t> found;
  EXPECT_TRUE(tree.find_overlaps(q.min_x, q.min_y, q.max_x, q.max_y));
  if (!tree.restart_overlaps()) return found;
  uint32_t index;
  while (tree.next_overlap(index)) found.push_back(index);
  return found;
}

std::vector<uint32_t> brute(const std::vector<Rect>& rects, const Rect& q) {
  std::vector<uint32_t> found;
  for (uint32_t i = 0; i < rects.size(); i++) {
    if (rects[i].min_x <= rects[i].max_x && brute_overlap(rects[i], q)) found.push_back(i);
  }
  return found;
}

void build(LASkdtreeRectangles& tree, const std::vector<Rect>& rects) {
  tree.reset();
  for (const Rect& r : rects) tree.add_rectangle(r.min_x, r.min_y, r.max_x, r.max_y);
  ASSERT_TRUE(tree.build_tree());
}

// Coordinates on a coarse integer grid make duplicates and touching edges
// common; queries include single points and lines.
Rect random_rect(std::mt19937& rng, int grid, int max_size) {
  std::uniform_int_distribution<int> pos(0, grid);
  std::uniform_int_distribution<int> size(0, max_size);
  Rect r;
  r.min_x = pos(rng);
  r.min_y = pos(rng);
  r.max_x = r.min_x + size(rng);
  r.max_y = r.min_y + size(rng);
  return r;
}

}  // namespace

TEST(LASkdtreeRectangles, RandomQueriesMatchBruteForceInAscendingOrder) {
  struct Case {
    unsigned seed;
    int count;
    int grid;
    int max_size;
    int duplicates;  // copies of the first rectangle appended at random places
  };
  const Case cases[] = {
      {1, 0, 10, 3, 0},    {2, 1, 10, 3, 0},      {3, 4, 10, 3, 0},    {4, 5, 10, 3, 0},
      {5, 60, 20, 4, 0},   {6, 300, 100, 6, 0},   {7, 300, 30, 30, 0}, {8, 200, 50, 0, 0},
      {9, 150, 40, 5, 20}, {10, 1000, 200, 8, 5},
  };
  for (const Case& c : cases) {
    std::mt19937 rng(c.seed);
    std::vector<Rect> rects;
    for (int i = 0; i < c.count; i++) rects.push_back(random_rect(rng, c.grid, c.max_size));
    for (int i = 0; i < c.duplicates && !rects.empty(); i++) {
      rects.insert(rects.begin() + rng() % rects.size(), rects[0]);
    }
    LASkdtreeRectangles tree;
    build(tree, rects);
    ASSERT_TRUE(tree.is_built());
    for (int k = 0; k < 300; k++) {
      const Rect q = random_rect(rng, c.grid + 4, c.max_size + 2);
      const Rect shifted{q.min_x - 2, q.min_y - 2, q.max_x - 2, q.max_y - 2};
      EXPECT_EQ(query(tree, shifted), brute(rects, shifted)) << "seed " << c.seed << " q " << k;
    }
    // Queries exactly on every rectangle's own edges and corners.
    for (const Rect& r : rects) {
      const Rect edges[] = {{r.max_x, r.min_y, r.max_x + 1, r.max_y},
                            {r.min_x - 1, r.min_y, r.min_x, r.max_y},
                            {r.max_x, r.max_y, r.max_x + 3, r.max_y + 3},
                            {r.min_x - 3, r.min_y - 3, r.min_x, r.min_y}};
      for (const Rect& q : edges) EXPECT_EQ(query(tree, q), brute(rects, q)) << c.seed;
    }
  }
}

TEST(LASkdtreeRectangles, FourOrFewerMakeALeafRoot) {
  LASkdtreeRectangles tree;
  build(tree, {{0, 0, 1, 1}, {5, 5, 6, 6}, {2, 0, 3, 1}, {9, 9, 10, 10}});
  EXPECT_EQ(tree.get_number_of_nodes(), 1u);
  build(tree, {{0, 0, 1, 1}, {5, 5, 6, 6}, {2, 0, 3, 1}, {9, 9, 10, 10}, {4, 4, 4, 4}});
  EXPECT_GT(tree.get_number_of_nodes(), 1u);
}

TEST(LASkdtreeRectangles, IdenticalRectanglesStopAfterFourFutileSplits) {
  const std::vector<Rect> same(10, Rect{0, 0, 1, 1});
  LASkdtreeRectangles tree;
  build(tree, same);
  // Four levels of splits that separate nothing: 16 leaves of all ten.
  EXPECT_EQ(tree.get_number_of_nodes(), 31u);
  EXPECT_EQ(tree.get_largest_leaf(), 10u);
  const std::vector<uint32_t> all = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(query(tree, {0.5, 0.5, 0.5, 0.5}), all);
  EXPECT_EQ(query(tree, {1, 1, 2, 2}), all);
  EXPECT_EQ(query(tree, {1.001, 0, 2, 2}), std::vector<uint32_t>{});
}

TEST(LASkdtreeRectangles, SpanningRectangleReportedOnceFromEitherSide) {
  std::vector<Rect> rects;
  for (int i = 0; i < 8; i++) rects.push_back({double(i), 0, double(i) + 0.5, 1});
  rects.push_back({3.2, 0, 4.6, 1});  // spans the first split at 3.75
  LASkdtreeRectangles tree;
  build(tree, rects);
  EXPECT_EQ(query(tree, {3.6, 0.5, 3.7, 0.5}), (std::vector<uint32_t>{8}));
  EXPECT_EQ(query(tree, {4.1, 0.5, 4.1, 0.5}), (std::vector<uint32_t>{4, 8}));
  EXPECT_EQ(query(tree, {0, 0, 8, 1}), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(LASkdtreeRectangles, EntriesWithoutBoundsKeepTheirNumberButAreNeverFound) {
  std::vector<Rect> rects = {{2e307, 2e307, -2e307, -2e307}};
  for (int i = 0; i < 9; i++) rects.push_back({double(i), double(i), i + 1.0, i + 1.0});
  rects.push_back({2e307, 2e307, -2e307, -2e307});
  LASkdtreeRectangles tree;
  build(tree, rects);
  EXPECT_EQ(tree.min_x, 0.0);
  EXPECT_EQ(tree.max_x, 9.0);
  EXPECT_EQ(query(tree, {-1e300, -1e300, 1e300, 1e300}),
            (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(query(tree, {2.5, 2.5, 2.5, 2.5}), (std::vector<uint32_t>{3}));
}

TEST(LASkdtreeRectangles, LifecycleWithoutBuildAndAfterReset) {
  LASkdtreeRectangles tree;
  EXPECT_FALSE(tree.is_built());
  EXPECT_FALSE(tree.find_overlaps(0, 0, 1, 1));
  EXPECT_FALSE(tree.restart_overlaps());
  uint32_t index = 77;
  EXPECT_FALSE(tree.next_overlap(index));
  EXPECT_EQ(index, 77u);

  tree.reset();
  EXPECT_EQ(tree.min_x, 2e307);
  EXPECT_EQ(tree.max_y, -2e307);
  tree.add_rectangle(0, 0, 1, 1);
  ASSERT_TRUE(tree.build_tree());
  EXPECT_EQ(query(tree, {5, 5, 6, 6}), std::vector<uint32_t>{});
  EXPECT_FALSE(tree.restart_overlaps());
  // Adding after a build asks for a new build.
  tree.add_rectangle(5, 5, 6, 6);
  EXPECT_FALSE(tree.is_built());
  ASSERT_TRUE(tree.build_tree());
  EXPECT_EQ(query(tree, {5, 5, 6, 6}), std::vector<uint32_t>{1});
  tree.reset();
  EXPECT_FALSE(tree.is_built());
  EXPECT_EQ(tree.get_number_of_rectangles(), 0u);
}

TEST(LASkdtreeRectangles, TileGridsAndOverlappingStripsStaySmall) {
  // A grid of 50 x 50 touching 100 m tiles: leaves of at most 4 tiles.
  std::vector<Rect> tiles;
  for (int row = 0; row < 50; row++) {
    for (int col = 0; col < 50; col++) {
      tiles.push_back({col * 100.0, row * 100.0, col * 100.0 + 100, row * 100.0 + 100});
    }
  }
  LASkdtreeRectangles tree;
  build(tree, tiles);
  EXPECT_LE(tree.get_largest_leaf(), 4u);
  EXPECT_EQ(query(tree, {150, 150, 150, 150}), (std::vector<uint32_t>{51}));
  EXPECT_EQ(query(tree, {200, 200, 200, 200}), (std::vector<uint32_t>{51, 52, 101, 102}));

  // 1000 long strips that overlap each other, as flight lines do: the tree
  // stays small and exact.
  std::mt19937 rng(7);
  std::vector<Rect> strips;
  for (int i = 0; i < 1000; i++) {
    const double x = rng() % 1000, y = rng() % 1000;
    strips.push_back({x, y, x + 50 + rng() % 1000, y + 20});
  }
  build(tree, strips);
  EXPECT_LT(tree.get_number_of_nodes(), 1000000u);
  for (int k = 0; k < 50; k++) {
    const Rect q = random_rect(rng, 2000, 100);
    EXPECT_EQ(query(tree, q), brute(strips, q)) << k;
  }
}
