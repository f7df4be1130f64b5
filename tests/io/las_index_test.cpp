#include "io/las_index.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "fixture_random.hpp"
#include "lax_brute_force.hpp"
#include "lax_writer.hpp"
#include "temp_dir.hpp"

namespace {

using Runs = std::vector<std::pair<uint32_t, uint32_t>>;

// Stands in for a point reader: it counts the points read and seeks by
// setting the count, as a LAS reader does.
struct CountingReader {
  int64_t npoints = 0;
  int64_t p_count = 0;
  std::vector<int64_t> seeks;
  bool seek_point(int64_t index) {
    seeks.push_back(index);
    p_count = index;
    return true;
  }
  bool read_one_point() {
    if (p_count >= npoints) return false;
    p_count++;
    return true;
  }
};

// The indexed read, as the reader does it: a point that cannot be read is
// passed over. Gives the numbers of all points read through the index.
std::vector<int64_t> read_through(LASindex& index, CountingReader& reader) {
  std::vector<int64_t> read;
  while (index.seek_next_interval(&reader)) {
    const int64_t number = reader.p_count;
    if (reader.read_one_point()) read.push_back(number);
  }
  return read;
}

bool read_index(LASindex& index, const LaxContent& content) {
  const std::vector<uint8_t> bytes = write_lax(content);
  ByteStreamInArrayLE stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  return index.read_from_stream(&stream);
}

bool select(LASindex& index, const AreaQuery& q) {
  switch (q.kind) {
    case AreaQuery::RECTANGLE:
      return index.select_rectangle(q.min_x, q.min_y, q.max_x, q.max_y);
    case AreaQuery::TILE:
      return index.select_tile(q.ll_x, q.ll_y, q.size);
    case AreaQuery::CIRCLE:
      return index.select_circle(q.center_x, q.center_y, q.radius);
  }
  return false;
}

// The area tests of a reader: lower and left edges inside, upper and right
// edges and the circle's rim outside.
bool point_inside(const AreaQuery& q, const LaxPoint& p) {
  switch (q.kind) {
    case AreaQuery::RECTANGLE:
      return q.min_x <= p.x && p.x < q.max_x && q.min_y <= p.y && p.y < q.max_y;
    case AreaQuery::TILE: {
      const float ur_x = q.ll_x + q.size, ur_y = q.ll_y + q.size;
      return q.ll_x <= p.x && p.x < ur_x && q.ll_y <= p.y && p.y < ur_y;
    }
    case AreaQuery::CIRCLE: {
      const double dx = q.center_x - p.x, dy = q.center_y - p.y;
      return dx * dx + dy * dy < q.radius * q.radius;
    }
  }
  return false;
}

LaxCell cell(int32_t index, uint32_t npoints, Runs runs) {
  LaxCell c;
  c.index = index;
  c.npoints = npoints;
  c.intervals = std::move(runs);
  return c;
}

LaxContent tree(uint32_t levels, std::vector<LaxCell> cells) {
  LaxContent c;
  c.levels = levels;
  c.min_x = 0.0f;
  c.max_x = 100.0f;
  c.min_y = 0.0f;
  c.max_y = 100.0f;
  c.cells = std::move(cells);
  return c;
}

}  // namespace

TEST(LASindex, IndexNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"points.las", "points.lax"},
      {"TILE.LAS", "TILE.LAX"},
      {"points.vpk", "points.lax"},
      {"TILE.VPK", "TILE.LAX"},
      {"points.txt", "points.lax"},
      {"dir.las/x.VPK", "dir.las/x.lax"},
      {"ab", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(LASindex::get_index_name(c.first), c.second) << c.first;
  EXPECT_EQ(LASindex::get_index_name(nullptr), "");
}

TEST(LASindex, LoadsTheIndexBesideAPointFile) {
  TempDir dir;
  const std::string points = dir.path + "/points.las";
  LASindex index;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(index.load_for(points.c_str()));  // no .lax: silent
  EXPECT_FALSE(index.load_for("ab"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  ASSERT_TRUE(write_lax_file(dir.path + "/points.lax", tree(1, {cell(1, 5, {{0, 4}})})));
  EXPECT_TRUE(index.load_for(points.c_str()));
  ASSERT_NE(index.get_quadtree(), nullptr);
  EXPECT_EQ(index.get_quadtree()->levels, 1u);
  EXPECT_EQ(index.get_interval()->get_number_of_cells(), 1u);

  std::vector<uint8_t> broken = write_lax(tree(1, {cell(1, 5, {{0, 4}})}));
  broken.resize(broken.size() - 2);
  FILE* f = fopen((dir.path + "/points.lax").c_str(), "wb");
  fwrite(broken.data(), 1, broken.size(), f);
  fclose(f);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(index.load_for(points.c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR (LASinterval): 1 intervals of cell 1 cannot fit in the 6 bytes left\n"
            "ERROR (LASindex): reading LASinterval\n"
            "ERROR (LASindex): cannot read '" +
                dir.path + "/points.lax'\n");
  EXPECT_FALSE(index.read_from_file(nullptr));
}

TEST(LASindex, RefusedFiles) {
  struct Case {
    const char* what;
    LaxContent content;
    size_t cut;  // bytes to drop from the end (0: none)
    std::string message;
  };
  LaxContent wrong_type = tree(2, {cell(5, 1, {{0, 0}})});
  wrong_type.spatial_type = 1;
  LaxContent hostile_levels = tree(40, {cell(5, 1, {{0, 0}})});
  LaxContent hostile_cells = tree(2, {cell(5, 1, {{0, 0}})});
  hostile_cells.stored_cell_count = 200000000;
  LaxContent hostile_intervals = tree(2, {cell(5, 1, {{0, 0}})});
  hostile_intervals.cells[0].stored_interval_count = 0xFFFFFFF0u;
  const std::vector<Case> cases = {
      {"spatial type", wrong_type, 0,
       "ERROR (LASquadtree): unknown LASspatial type 1\n"
       "ERROR (LASindex): cannot read LASspatial (LASquadtree)\n"},
      {"levels", hostile_levels, 0,
       "ERROR (LASquadtree): 40 levels are more than the 15 that cells can number\n"
       "ERROR (LASindex): cannot read LASspatial (LASquadtree)\n"},
      {"cell count", hostile_cells, 0,
       "ERROR (LASinterval): 200000000 cells cannot fit in the 20 bytes left\n"
       "ERROR (LASindex): reading LASinterval\n"},
      {"interval count", hostile_intervals, 0,
       "ERROR (LASinterval): 4294967280 intervals of cell 5 cannot fit in the 8 bytes left\n"
       "ERROR (LASindex): reading LASinterval\n"},
      {"cell below the finest level", tree(2, {cell(21, 1, {{0, 0}})}), 0,
       "ERROR (LASindex): cell 21 lies outside a quadtree of 2 levels\n"},
      {"negative cell", tree(2, {cell(-7, 1, {{0, 0}})}), 0,
       "ERROR (LASindex): cell -7 lies outside a quadtree of 2 levels\n"},
      {"no version", tree(2, {}), 57, "ERROR (LASindex): reading version\n"},
      {"no signature", tree(2, {}), 62, "ERROR (LASindex): reading signature\n"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = write_lax(c.content);
    bytes.resize(bytes.size() - c.cut);
    ByteStreamInArrayLE stream(bytes.data(), static_cast<int64_t>(bytes.size()));
    LASindex index;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(index.read_from_stream(&stream)) << c.what;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.what;
  }
  std::vector<uint8_t> bytes = write_lax(tree(2, {}));
  bytes[3] = 'Z';
  ByteStreamInArrayLE stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  LASindex index;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(index.read_from_stream(&stream));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR (LASindex): wrong signature LASZ instead of 'LASX'\n");
}

TEST(LASindex, OlderLayoutReadsTheSame) {
  for (bool with_lasq : {true, false}) {
    LaxContent content = tree(1, {cell(1, 100, {{0, 99}}), cell(4, 100, {{100, 199}})});
    content.with_lasq = with_lasq;
    LASindex index;
    ASSERT_TRUE(read_index(index, content)) << with_lasq;
    EXPECT_EQ(index.get_quadtree()->levels, 1u);
    EXPECT_EQ(index.get_quadtree()->max_y, 100.0f);
    ASSERT_TRUE(index.select_rectangle(60, 60, 70, 70));
    CountingReader reader;
    reader.npoints = 200;
    std::vector<int64_t> expected;
    for (int64_t i = 100; i < 200; i++) expected.push_back(i);
    EXPECT_EQ(read_through(index, reader), expected);
  }
}

TEST(LASindex, MergedIntervalsAreReadPointByPoint) {
  struct Case {
    const char* what;
    std::vector<LaxCell> cells;
    std::vector<int64_t> seeks;
    size_t points_read;
  };
  // Level 1: cell 1 lower left, 2 lower right, 3 upper left, 4 upper right.
  const Case cases[] = {
      {"gap of 501 is read through",
       {cell(1, 100, {{0, 99}}), cell(2, 100, {{600, 699}})},
       {0},
       700},
      {"gap of 1101 is skipped",
       {cell(1, 100, {{0, 99}}), cell(2, 100, {{1200, 1299}})},
       {0, 1200},
       200},
      {"one-point intervals", {cell(1, 1, {{5, 5}}), cell(2, 1, {{3000, 3000}})}, {5, 3000}, 2},
      {"single cell unjoined", {cell(1, 2, {{50, 50}, {10, 10}})}, {50, 10}, 2},
  };
  for (const Case& c : cases) {
    LASindex index;
    ASSERT_TRUE(read_index(index, tree(1, c.cells))) << c.what;
    ASSERT_TRUE(index.select_rectangle(0, 0, 100, 40)) << c.what;
    CountingReader reader;
    reader.npoints = 5000;
    const std::vector<int64_t> read = read_through(index, reader);
    EXPECT_EQ(reader.seeks, c.seeks) << c.what;
    EXPECT_EQ(read.size(), c.points_read) << c.what;
    EXPECT_EQ(std::set<int64_t>(read.begin(), read.end()).size(), read.size()) << c.what;
    EXPECT_FALSE(index.seek_next_interval(&reader));
  }
}

TEST(LASindex, SelectionsThatFindNothing) {
  LASindex empty;
  CountingReader reader;
  EXPECT_FALSE(empty.select_rectangle(0, 0, 1, 1));
  EXPECT_FALSE(empty.seek_next_interval(&reader));

  LASindex index;
  ASSERT_TRUE(read_index(index, tree(1, {cell(1, 100, {{0, 99}})})));
  // Misses the bounding box: nothing on a freshly read index.
  EXPECT_FALSE(index.select_rectangle(200, 200, 300, 300));
  EXPECT_FALSE(index.seek_next_interval(&reader));
  // Reaches only a cell without points.
  EXPECT_FALSE(index.select_circle(75, 75, 5));
  EXPECT_FALSE(index.seek_next_interval(&reader));
  // After a selection that found points, one that finds none leaves nothing.
  ASSERT_TRUE(index.select_tile(10, 10, 5));
  EXPECT_FALSE(index.select_tile(500, 500, 5));
  EXPECT_FALSE(index.seek_next_interval(&reader));
  EXPECT_TRUE(reader.seeks.empty());

  // An index without cells selects nothing, whatever its depth.
  LASindex no_cells;
  ASSERT_TRUE(read_index(no_cells, tree(15, {})));
  EXPECT_FALSE(no_cells.select_rectangle(-1, -1, 101, 101));
  EXPECT_FALSE(no_cells.seek_next_interval(&reader));
}

TEST(LASindex, RunsPastTheLastPointEnd) {
  LASindex index;
  ASSERT_TRUE(read_index(index, tree(1, {cell(1, 100, {{0, 99}}), cell(2, 100, {{5000, 5099}}),
                                         cell(3, 1, {{30, 30}})})));
  ASSERT_TRUE(index.select_rectangle(0, 0, 100, 100));
  CountingReader reader;
  reader.npoints = 50;
  std::vector<int64_t> expected;
  for (int64_t i = 0; i < 50; i++) expected.push_back(i);
  EXPECT_EQ(read_through(index, reader), expected);
  EXPECT_EQ(reader.seeks, (std::vector<int64_t>{0, 5000}));
}

TEST(LASindex, CorruptRunsEndAfterTheirFirstPoint) {
  LASindex index;
  ASSERT_TRUE(read_index(index, tree(0, {cell(0, 2, {{40, 10}, {60, 61}})})));
  ASSERT_TRUE(index.select_rectangle(0, 0, 1, 1));
  CountingReader reader;
  reader.npoints = 100;
  EXPECT_EQ(read_through(index, reader), (std::vector<int64_t>{40, 60, 61}));
}

// Random points in file order, an index built from them, and random areas:
// the index must select exactly the cells that the brute force says, merge
// their runs as the threshold asks, and let the reader see every point inside
// the area.
TEST(LASindex, RandomAreasSelectExactlyTheBruteForceCells) {
  struct Case {
    uint64_t seed;
    uint32_t levels;
    uint32_t points;
    uint32_t per_cell;
    bool sorted;  // points in spatial order make long runs, random order short ones
  };
  const Case cases[] = {
      {11, 5, 20000, 400, true}, {12, 4, 6000, 100, false}, {13, 8, 8000, 30, true},
      {14, 0, 500, 1000, false}, {15, 6, 10000, 50, false},
  };
  for (const Case& c : cases) {
    FixtureRandom rng(c.seed);
    std::vector<LaxPoint> points;
    for (uint32_t i = 0; i < c.points; i++) {
      points.push_back({rng.uniform(0, 100), rng.uniform(0, 100)});
      if (i % 50 == 0) points.back().x = 100.0;  // on the root's upper edge
    }
    if (c.sorted) {
      // Row by row in strips of 10 units, as a scan would deliver them.
      std::sort(points.begin(), points.end(), [](const LaxPoint& a, const LaxPoint& b) {
        const int sa = static_cast<int>(a.y / 10), sb = static_cast<int>(b.y / 10);
        return sa != sb ? sa < sb : a.x < b.x;
      });
    }
    const LaxContent content = build_lax(points, 0.0f, 100.0f, 0.0f, 100.0f, c.levels, c.per_cell);
    LASindex index;
    ASSERT_TRUE(read_index(index, content));
    for (int k = 0; k < 150; k++) {
      AreaQuery q{};
      q.kind = static_cast<AreaQuery::Kind>(rng.below(3));
      const double a = rng.below(110 * 4) / 4.0 - 5, b = rng.below(110 * 4) / 4.0 - 5;
      const double w = rng.below(60 * 4) / 4.0, h = rng.below(60 * 4) / 4.0;
      q.min_x = a;
      q.min_y = b;
      q.max_x = a + w;
      q.max_y = b + h;
      q.ll_x = static_cast<float>(a);
      q.ll_y = static_cast<float>(b);
      q.size = static_cast<float>(w);
      q.center_x = a;
      q.center_y = b;
      q.radius = w / 2;
      SCOPED_TRACE("seed " + std::to_string(c.seed) + " query " + std::to_string(k));

      // Brute force: the cells the area reaches, their runs, and the merge.
      std::set<uint32_t> cells_with_points;
      for (const LaxCell& cell : content.cells) cells_with_points.insert(cell.index);
      std::vector<uint32_t> selected;
      for (uint32_t cell : brute_force_cells(content, q, true)) {
        if (cells_with_points.count(cell)) selected.push_back(cell);
      }
      std::vector<bool> in_cells(points.size(), false);
      Runs single_cell_runs;
      for (const LaxCell& cell : content.cells) {
        if (std::find(selected.begin(), selected.end(), cell.index) == selected.end()) continue;
        single_cell_runs = cell.intervals;
        for (const auto& run : cell.intervals) {
          for (uint32_t i = run.first; i <= run.second; i++) in_cells[i] = true;
        }
      }

      const bool any = select(index, q);
      ASSERT_EQ(any, !selected.empty());
      Runs merged;
      while (index.enter_next_interval()) merged.push_back({index.start, index.end});
      ASSERT_TRUE(select(index, q) == any);  // again, to read through it below

      if (selected.size() == 1) {
        EXPECT_EQ(merged, single_cell_runs);
      } else {
        // Sorted, separated by gaps above 1000, starting and ending on points
        // of the cells, with no uncovered stretch of 1000 or more inside, and
        // covering every point of the cells.
        std::vector<bool> covered(points.size(), false);
        for (size_t r = 0; r < merged.size(); r++) {
          const uint32_t s = merged[r].first, e = merged[r].second;
          ASSERT_LE(s, e);
          ASSERT_TRUE(in_cells[s] && in_cells[e]);
          if (r > 0) {
            ASSERT_GT(static_cast<int64_t>(s) - merged[r - 1].second, 1000);
          }
          uint32_t gap = 0;
          for (uint32_t i = s; i <= e; i++) {
            covered[i] = true;
            gap = in_cells[i] ? 0 : gap + 1;
            ASSERT_LT(gap, 1000u);
          }
        }
        for (size_t i = 0; i < points.size(); i++) {
          if (in_cells[i]) {
            ASSERT_TRUE(covered[i]) << i;
          }
        }
      }

      // Every point inside the area is among the points read.
      CountingReader reader;
      reader.npoints = static_cast<int64_t>(points.size());
      const std::vector<int64_t> read = read_through(index, reader);
      std::vector<bool> was_read(points.size(), false);
      for (int64_t i : read) {
        ASSERT_FALSE(was_read[i]) << "read twice: " << i;
        was_read[i] = true;
      }
      for (size_t i = 0; i < points.size(); i++) {
        if (point_inside(q, points[i])) {
          ASSERT_TRUE(was_read[i]) << "missed point " << i;
        }
      }
    }
  }
}
