#include "io/las_quadtree.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "fixture_random.hpp"
#include "lax_brute_force.hpp"
#include "lax_writer.hpp"

namespace {

// The quadtree section alone: the .lax bytes after "LASX" and its version.
std::vector<uint8_t> quadtree_bytes(const LaxContent& c) {
  std::vector<uint8_t> bytes = write_lax(c);
  return std::vector<uint8_t>(bytes.begin() + 8, bytes.end());
}

LaxContent small_tree(uint32_t levels) {
  LaxContent c;
  c.levels = levels;
  c.min_x = 0.0f;
  c.max_x = 64.0f;
  c.min_y = 0.0f;
  c.max_y = 64.0f;
  return c;
}

std::vector<uint32_t> cells_found(LASquadtree& tree) {
  std::vector<uint32_t> cells;
  if (!tree.get_intersected_cells()) return cells;
  while (tree.has_more_cells()) cells.push_back(tree.current_cell);
  return cells;
}

std::vector<uint32_t> run_query(LASquadtree& tree, const AreaQuery& q) {
  switch (q.kind) {
    case AreaQuery::RECTANGLE:
      tree.intersect_rectangle(q.min_x, q.min_y, q.max_x, q.max_y);
      break;
    case AreaQuery::TILE:
      tree.intersect_tile(q.ll_x, q.ll_y, q.size);
      break;
    case AreaQuery::CIRCLE:
      tree.intersect_circle(q.center_x, q.center_y, q.radius);
      break;
  }
  return cells_found(tree);
}

bool read_tree(LASquadtree& tree, const std::vector<uint8_t>& bytes) {
  ByteStreamInArrayLE stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  return tree.read(&stream);
}

AreaQuery rectangle(double min_x, double min_y, double max_x, double max_y) {
  AreaQuery q{};
  q.kind = AreaQuery::RECTANGLE;
  q.min_x = min_x;
  q.min_y = min_y;
  q.max_x = max_x;
  q.max_y = max_y;
  return q;
}

AreaQuery tile(float ll_x, float ll_y, float size) {
  AreaQuery q{};
  q.kind = AreaQuery::TILE;
  q.ll_x = ll_x;
  q.ll_y = ll_y;
  q.size = size;
  return q;
}

AreaQuery circle(double x, double y, double r) {
  AreaQuery q{};
  q.kind = AreaQuery::CIRCLE;
  q.center_x = x;
  q.center_y = y;
  q.radius = r;
  return q;
}

// Coordinates on a grid of quarter units around the root [0, 64], so that
// query edges fall on cell edges and midpoints often.
double grid_value(FixtureRandom& rng) {
  return static_cast<double>(rng.below(74 * 4)) / 4 - 5;
}

AreaQuery random_query(FixtureRandom& rng) {
  const int kind = static_cast<int>(rng.below(3));
  if (kind == 0) {
    double x0 = grid_value(rng), x1 = grid_value(rng), y0 = grid_value(rng), y1 = grid_value(rng);
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    if (rng.below(4) == 0) x1 = x0;  // degenerate: a line or a point
    return rectangle(x0, y0, x1, y1);
  }
  if (kind == 1) {
    return tile(static_cast<float>(grid_value(rng)), static_cast<float>(grid_value(rng)),
                static_cast<float>(rng.below(40 * 4)) / 4);
  }
  return circle(grid_value(rng), grid_value(rng), static_cast<double>(rng.below(30 * 4)) / 4);
}

}  // namespace

TEST(LASquadtree, LevelOffsets) {
  const uint32_t expected[24] = {0,          1,          5,          21,         85,
                                 341,        1365,       5461,       21845,      87381,
                                 349525,     1398101,    5592405,    22369621,   89478485,
                                 357913941,  1431655765, 1431655765, 1431655765, 1431655765,
                                 1431655765, 1431655765, 1431655765, 1431655765};
  LASquadtree tree;
  for (int i = 0; i < 24; i++) EXPECT_EQ(tree.level_offset[i], expected[i]) << i;
  for (uint32_t l = 0; l <= 15; l++) EXPECT_EQ(tree.level_offset[l], lax_level_offset(l)) << l;
}

TEST(LASquadtree, CellNumbers) {
  struct Case {
    uint32_t cell;
    uint32_t level;
    uint32_t level_index;
  };
  const Case cases[] = {{0, 0, 0},   {1, 1, 0},  {4, 1, 3},          {5, 2, 0},
                        {20, 2, 15}, {21, 3, 0}, {357913941, 15, 0}, {1431655764, 15, 1073741823}};
  LASquadtree tree;
  for (const Case& c : cases) {
    EXPECT_EQ(tree.get_level(c.cell), c.level) << c.cell;
    EXPECT_EQ(tree.get_level_index(c.cell, c.level), c.level_index) << c.cell;
    EXPECT_EQ(tree.get_cell_index(c.level_index, c.level), c.cell) << c.cell;
  }
}

TEST(LASquadtree, ReadsBothLayouts) {
  LaxContent c = small_tree(5);
  c.min_x = -12.5f;
  c.max_x = 1000.25f;
  c.min_y = 3.0f;
  c.max_y = 7e6f;
  c.level_index = 77;
  c.implicit_levels = 99;
  for (bool with_lasq : {true, false}) {
    c.with_lasq = with_lasq;
    LASquadtree tree;
    ASSERT_TRUE(read_tree(tree, quadtree_bytes(c))) << with_lasq;
    EXPECT_EQ(tree.levels, 5u);
    EXPECT_EQ(tree.min_x, -12.5f);
    EXPECT_EQ(tree.max_x, 1000.25f);
    EXPECT_EQ(tree.min_y, 3.0f);
    EXPECT_EQ(tree.max_y, 7e6f);
  }
}

TEST(LASquadtree, ReadFailuresNameTheirField) {
  LaxContent c = small_tree(3);
  const std::vector<uint8_t> full = quadtree_bytes(c);  // 44 bytes up to max_y
  c.with_lasq = false;
  const std::vector<uint8_t> old_layout = quadtree_bytes(c);
  struct Case {
    const std::vector<uint8_t>* bytes;
    size_t length;
    std::string message;
  };
  const Case cases[] = {
      {&full, 2, "ERROR (LASquadtree): reading LASspatial signature\n"},
      {&full, 6, "ERROR (LASquadtree): reading LASspatial type\n"},
      {&full, 10, "ERROR (LASquadtree): reading signature\n"},
      {&full, 14, "ERROR (LASquadtree): reading version\n"},
      {&full, 18, "ERROR (LASquadtree): reading levels\n"},
      {&full, 22, "ERROR (LASquadtree): reading level_index\n"},
      {&full, 26, "ERROR (LASquadtree): reading implicit_levels\n"},
      {&full, 30, "ERROR (LASquadtree): reading min_x\n"},
      {&full, 34, "ERROR (LASquadtree): reading max_x\n"},
      {&full, 38, "ERROR (LASquadtree): reading min_y\n"},
      {&full, 42, "ERROR (LASquadtree): reading max_y\n"},
      {&old_layout, 14, "ERROR (LASquadtree): reading level_index\n"},
      {&old_layout, 34, "ERROR (LASquadtree): reading max_y\n"},
  };
  for (const Case& k : cases) {
    std::vector<uint8_t> cut(k.bytes->begin(), k.bytes->begin() + k.length);
    LASquadtree tree;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(read_tree(tree, cut));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), k.message) << k.length;
  }
}

TEST(LASquadtree, RefusesWrongSignatureTypeAndLevelCount) {
  struct Case {
    const char* signature;
    uint32_t type;
    bool with_lasq;
    uint32_t levels;
    bool ok;
    std::string message;
  };
  const Case cases[] = {
      {"LASS", 0, true, 15, true, ""},
      {"LASS", 0, false, 15, true, ""},
      {"LASS", 0, true, 16, false,
       "ERROR (LASquadtree): 16 levels are more than the 15 that cells can number\n"},
      {"LASS", 0, false, 0xFFFFFFFF, false,
       "ERROR (LASquadtree): 4294967295 levels are more than the 15 that cells can number\n"},
      {"LASS", 1, true, 3, false, "ERROR (LASquadtree): unknown LASspatial type 1\n"},
      {"LASZ", 0, true, 3, false,
       "ERROR (LASquadtree): wrong LASspatial signature LASZ instead of 'LASS'\n"},
  };
  for (const Case& k : cases) {
    LaxContent c = small_tree(k.levels);
    std::copy(k.signature, k.signature + 4, c.spatial_signature);
    c.spatial_type = k.type;
    c.with_lasq = k.with_lasq;
    LASquadtree tree;
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_tree(tree, quadtree_bytes(c)), k.ok) << k.levels;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), k.message);
  }
}

TEST(LASquadtree, ManageCellMarksExactlyTheAncestors) {
  LASquadtree tree;
  tree.levels = 3;
  EXPECT_TRUE(tree.manage_cell(0));
  EXPECT_FALSE(tree.is_subdivided(0));
  // Registered in ascending order, as the index does: an ancestor is always
  // registered before its descendants set its bit again.
  LASquadtree ordered;
  ordered.levels = 3;
  for (uint32_t cell : {1u, 6u, 17u, 27u, 84u}) EXPECT_TRUE(ordered.manage_cell(cell)) << cell;
  // 6 is level 2 under cell 1; 17 level 2 under cell 4; 27 level 3 under 6;
  // 84 the last cell of level 3, under 20 and 4.
  for (uint32_t cell = 0; cell < 85; cell++) {
    const bool ancestor = cell == 0 || cell == 1 || cell == 4 || cell == 6 || cell == 20;
    EXPECT_EQ(ordered.is_subdivided(cell), ancestor) << cell;
  }
  // Cells past the finest level of a 3-level tree do not exist.
  EXPECT_FALSE(ordered.manage_cell(85));
  EXPECT_FALSE(ordered.manage_cell(0xFFFFFFFFu));
  EXPECT_FALSE(ordered.is_subdivided(85));
}

TEST(LASquadtree, SingleRootCell) {
  LASquadtree tree;
  ASSERT_TRUE(read_tree(tree, quadtree_bytes(small_tree(4))));
  ASSERT_TRUE(tree.manage_cell(0));
  EXPECT_FALSE(tree.is_subdivided(0));
  EXPECT_EQ(run_query(tree, rectangle(1, 1, 2, 2)), std::vector<uint32_t>{0});
  EXPECT_EQ(run_query(tree, tile(60, 60, 10)), std::vector<uint32_t>{0});
  EXPECT_EQ(run_query(tree, circle(-1, -1, 1.5)), std::vector<uint32_t>{0});
  EXPECT_EQ(run_query(tree, rectangle(70, 1, 80, 2)), std::vector<uint32_t>{});
  EXPECT_FALSE(tree.get_intersected_cells());
}

TEST(LASquadtree, UnregisteredTreeReportsTheFinestLevelInDescentOrder) {
  LASquadtree tree;
  ASSERT_TRUE(read_tree(tree, quadtree_bytes(small_tree(2))));
  std::vector<uint32_t> all;
  for (uint32_t cell = 5; cell <= 20; cell++) all.push_back(cell);
  EXPECT_EQ(run_query(tree, rectangle(-1, -1, 100, 100)), all);
  EXPECT_EQ(tree.intersect_rectangle(-1, -1, 100, 100), 16u);
  // The lower-left quarter: cells 5..8, plus nothing across the midpoint.
  EXPECT_EQ(run_query(tree, rectangle(0, 0, 32, 32)), (std::vector<uint32_t>{5, 6, 7, 8}));
}

TEST(LASquadtree, BoundaryRules) {
  LASquadtree tree;
  ASSERT_TRUE(read_tree(tree, quadtree_bytes(small_tree(1))));
  struct Case {
    const char* what;
    AreaQuery query;
    std::vector<uint32_t> cells;
  };
  const Case cases[] = {
      {"max x on the root's min x", rectangle(-10, 0, 0, 64), {}},
      {"min x on the root's max x", rectangle(64, 0, 70, 64), {2, 4}},
      {"max y on the root's min y", rectangle(0, -5, 64, 0), {}},
      {"min y on the root's max y", rectangle(0, 64, 64, 70), {3, 4}},
      {"lower edge on the midpoint", rectangle(32, 32, 40, 40), {4}},
      {"upper edge on the midpoint", rectangle(10, 10, 32, 32), {1}},
      {"a point on the midpoint", rectangle(32, 32, 32, 32), {1}},
      {"tile ending on the midpoint", tile(0, 0, 32), {1}},
      {"tile starting on the midpoint", tile(32, 0, 5), {2}},
      // Distance from (-3, -4) to the corner (0, 0) is exactly 5.
      {"circle touching the root corner", circle(-3, -4, 5), {}},
      {"circle just past the corner", circle(-3, -4, 5.001), {1}},
      // From (35, 36) the lower-left cell's corner (32, 32) is 5 away.
      {"circle touching a cell corner", circle(35, 36, 5), {2, 3, 4}},
      {"circle touching a cell edge", circle(36, 10, 4), {2}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run_query(tree, c.query), c.cells) << c.what;
  }
}

TEST(LASquadtree, RandomAreasMatchBruteForce) {
  struct Case {
    uint64_t seed;
    uint32_t levels;
    uint32_t points;
    uint32_t per_cell;
    bool register_cells;
  };
  const Case cases[] = {
      {1, 0, 10, 5, true},    {2, 3, 0, 5, false},     {3, 3, 400, 8, true},
      {4, 6, 2000, 10, true}, {5, 4, 300, 1000, true}, {6, 5, 1500, 3, true},
  };
  for (const Case& c : cases) {
    FixtureRandom rng(c.seed);
    std::vector<LaxPoint> points;
    for (uint32_t i = 0; i < c.points; i++) {
      // Clustered in part, so that the tree is deeper in some places.
      if (i % 3 == 0) {
        points.push_back({rng.uniform(40, 48), rng.uniform(8, 12)});
      } else {
        points.push_back({rng.uniform(0, 64), rng.uniform(0, 64)});
      }
    }
    const LaxContent content = build_lax(points, 0.0f, 64.0f, 0.0f, 64.0f, c.levels, c.per_cell);
    LASquadtree tree;
    ASSERT_TRUE(read_tree(tree, quadtree_bytes(content)));
    if (c.register_cells) {
      for (const LaxCell& cell : content.cells) {
        ASSERT_TRUE(tree.manage_cell(static_cast<uint32_t>(cell.index)));
      }
    }
    for (int k = 0; k < 400; k++) {
      const AreaQuery q = random_query(rng);
      const std::vector<uint32_t> expected = brute_force_cells(content, q, c.register_cells);
      ASSERT_EQ(run_query(tree, q), expected) << "seed " << c.seed << " query " << k;
    }
  }
}
