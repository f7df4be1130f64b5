#include "grid/las_cell_grid.hpp"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/las_point.hpp"
#include "platform/process.hpp"

namespace {

// A fresh directory for temporary tile files; it must be empty again when the test ends.
class TempDir {
 public:
  TempDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/cellgridXXXXXX";
    path_ = mkdtemp(&pattern[0]) ? pattern : "";
    EXPECT_FALSE(path_.empty());
  }
  ~TempDir() {
    EXPECT_EQ(entries(), std::vector<std::string>{}) << "files left in " << path_;
    for (const std::string& name : entries()) unlink((path_ + "/" + name).c_str());
    rmdir(path_.c_str());
  }
  const std::string& path() const { return path_; }
  std::string prefix() const { return path_ + "/taemp"; }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path_.c_str())) {
      while (dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      closedir(dir);
    }
    return names;
  }

 private:
  std::string path_;
};

int32_t floor_div(int64_t v, int64_t d) {
  return int32_t(v >= 0 ? v / d : -((-v + d - 1) / d));
}

// Distinct per-cell values, so that a cell read from the wrong place shows.
int32_t pattern_z(int32_t c, int32_t r) {
  uint32_t h = uint32_t(c) * 2654435761u ^ (uint32_t(r) * 40503u + 0x9E3779B9u);
  h ^= h >> 15;
  return int32_t(h);
}
int32_t pattern_index(int32_t c, int32_t r) {
  return int32_t(uint32_t(c) * 1000003u + uint32_t(r));
}

LAScellPoint point_z(int32_t z) {
  LAScellPoint p;
  p.Z = z;
  return p;
}

constexpr uint32_t kIndexTileBytes = 81252;  // 40,000 + 40,000 + 1,252

TEST(CellGrid, DefaultsAndTileLayout) {
  LAScellGrid grid;
  EXPECT_STREQ(grid.get_cell_type_name(), "elevation lowest");
  int32_t bounds[4] = {1, 1, 1, 1};
  grid.get_cell_bounds(bounds[0], bounds[1], bounds[2], bounds[3]);
  EXPECT_EQ(bounds[0] | bounds[1] | bounds[2] | bounds[3], 0);
  int32_t value = 0;
  EXPECT_FALSE(grid.get(0, 0, value));
  EXPECT_EQ(grid.get_tile_count(), 0u);
  EXPECT_FALSE(grid.set_cell_type("no such type"));
  ASSERT_TRUE(grid.set_cell_type("lowest elevation index"));
  ASSERT_TRUE(grid.add(5, 5, point_z(1)));
  EXPECT_EQ(grid.get_tile_bytes(), kIndexTileBytes);
  EXPECT_EQ(grid.get_max_buffers(), 6607u);       // 0x20000000 / 81,252
  EXPECT_FALSE(grid.set_cell_type("occupancy"));  // the layout is fixed by the first add
  EXPECT_FALSE(grid.set_memory_budget(1));
  EXPECT_STREQ(grid.get_cell_type_name(), "elevation lowest index");
}

TEST(CellGrid, TempFileNames) {
  LAScellGrid grid;
  const std::string pid = std::to_string(current_process_id());
  EXPECT_EQ(grid.get_temp_file_name(0), "taemp" + pid + ".0.tmp");
  EXPECT_EQ(grid.get_temp_file_name(12), "taemp" + pid + ".12.tmp");
  grid.set_name_prefix("/some/where/tile");
  EXPECT_EQ(grid.get_temp_file_name(3), "/some/where/tile" + pid + ".3.tmp");
}

// Point records go in through the same rules, field by field.
TEST(CellGrid, AddsPointRecords) {
  LASscaler scaler;
  scaler.x_scale_factor = 0.5;
  scaler.y_scale_factor = 0.25;
  scaler.z_scale_factor = 0.125;
  scaler.x_offset = 100.0;
  struct Case {
    const char* keyword;
    int32_t selector;
    int32_t expected;
  };
  const Case cases[] = {
      {"elevation", 0, -77},
      {"intensity", 0, 4321},
      {"return_type", 0, 2},  // return 3 of 3
      {"number_returns_max", 0, 3},
      {"classification_variety", 0, 1},
      {"classification_quotient_6_", 0, 255},
      {"scan_angle", 0, -12},
      {"user_data", 0, 200},
      {"point_source", 0, 777},
      {"rgb", 0, 0x112233},
      {"xyz_random", 0, 21},
      {"xyz_random", 1, -40},
  };
  LASpoint point;
  point.quantizer = &scaler;
  point.X = 21;
  point.Y = -40;
  point.Z = -77;
  point.intensity = 4321;
  point.set_return_number(3);
  point.set_number_of_returns(3);
  point.set_classification(6);
  point.set_synthetic_flag(1);
  point.scan_angle_rank = -12;
  point.user_data = 200;
  point.point_source_ID = 777;
  point.rgb[0] = 0x0111;
  point.rgb[1] = 0x0222;
  point.rgb[2] = 0x0333;
  for (const Case& c : cases) {
    LAScellGrid grid;
    ASSERT_TRUE(grid.set_cell_type(c.keyword));
    ASSERT_TRUE(grid.add(-3, 4, point));
    int32_t value = 0;
    ASSERT_TRUE(grid.get(-3, 4, value, c.selector)) << c.keyword;
    EXPECT_EQ(value, c.expected) << c.keyword;
  }
  const LAScellPoint p = make_cell_point(point);
  EXPECT_DOUBLE_EQ(p.get_x(), 110.5);
  EXPECT_DOUBLE_EQ(p.get_y(), -10.0);
  EXPECT_DOUBLE_EQ(p.get_z(), -9.625);
}

TEST(CellGrid, GetInAbsentTileCreatesNothing) {
  LAScellGrid grid;
  ASSERT_TRUE(grid.add(0, 0, point_z(9)));
  int32_t value = 0;
  for (int i = 0; i < 2; ++i) {  // the second time from the remembered absent tile
    EXPECT_FALSE(grid.get(1000, 1000, value));
    EXPECT_EQ(grid.get_tile_count(), 1u);
  }
  EXPECT_FALSE(grid.get(1, 0, value));  // existing tile, empty cell
  ASSERT_TRUE(grid.get(0, 0, value));
  EXPECT_EQ(value, 9);
  ASSERT_TRUE(grid.add(1000, 1000, point_z(4)));  // the remembered tile can still be made
  ASSERT_TRUE(grid.get(1000, 1000, value));
  EXPECT_EQ(value, 4);
}

// Cells left of and below zero (from jittered points or points outside the header's bounds)
// land in their own tiles; none overwrites another cell.
TEST(CellGrid, NegativeColumnsAndRows) {
  struct Cell {
    int32_t column, row;
  };
  const Cell cells[] = {{5, 5},         {-1, -1},  {99, 99},       {0, 0},
                        {-100, -100},   {-101, 0}, {0, -101},      {-1, 99},
                        {100, 100},     {-99, -1}, {INT32_MIN, 7}, {INT32_MIN, INT32_MIN},
                        {INT32_MAX, -1}};
  LAScellGrid grid;
  ASSERT_TRUE(grid.set_cell_type("lowest elevation index"));
  int i = 0;
  for (const Cell& c : cells) {
    grid.set_current_index(i++);
    ASSERT_TRUE(grid.add(c.column, c.row, point_z(pattern_z(c.column, c.row))));
  }
  i = 0;
  for (const Cell& c : cells) {
    int32_t z = 0, index = 0;
    ASSERT_TRUE(grid.get(c.column, c.row, z, 0)) << c.column << "/" << c.row;
    ASSERT_TRUE(grid.get(c.column, c.row, index, 1));
    EXPECT_EQ(z, pattern_z(c.column, c.row)) << c.column << "/" << c.row;
    EXPECT_EQ(index, i++) << c.column << "/" << c.row;
  }
  // tiles: (0,0) (-1,-1) (-2,0) (0,-2) (-1,0) (1,1) (-21474837,0) (-21474837,-21474837)
  // (21474836,-1)
  EXPECT_EQ(grid.get_tile_count(), 9u);
  int32_t bounds[4];
  grid.get_cell_bounds(bounds[0], bounds[1], bounds[2], bounds[3]);
  EXPECT_EQ(bounds[0], INT32_MIN);
  EXPECT_EQ(bounds[1], INT32_MIN);
  EXPECT_EQ(bounds[2], INT32_MAX);
  EXPECT_EQ(bounds[3], 100);
  // The same tiles listed by their first cell, in column order, then row order; the outermost
  // tiles begin beyond the 32-bit range.
  const std::vector<std::pair<int64_t, int64_t>> expected = {{-2147483700, -2147483700},
                                                             {-2147483700, 0},
                                                             {-200, 0},
                                                             {-100, -100},
                                                             {-100, 0},
                                                             {0, -200},
                                                             {0, 0},
                                                             {100, 100},
                                                             {2147483600, -100}};
  std::vector<std::pair<int64_t, int64_t>> listed;
  for (const LAScellTileOrigin& t : grid.get_tiles()) listed.push_back({t.column, t.row});
  EXPECT_EQ(listed, expected);
}

TEST(CellGrid, NearAndFarTileMaps) {
  struct Case {
    int32_t column, row;  // added after (0, 0), which fixes the origin tile
    bool near;
  };
  const Case cases[] = {
      {3276799, 0, true}, {3276800, 0, false},  {-3276800, 0, true},  {-3276801, 0, false},
      {0, 3276799, true}, {0, -3276801, false}, {-1, -3276800, true}, {INT32_MAX, INT32_MIN, false},
  };
  for (const Case& c : cases) {
    LAScellGrid grid;
    ASSERT_TRUE(grid.add(0, 0, point_z(1)));
    ASSERT_TRUE(grid.add(c.column, c.row, point_z(2)));
    EXPECT_EQ(grid.get_near_tile_count(), c.near ? 2u : 1u) << c.column << "/" << c.row;
    EXPECT_EQ(grid.get_far_tile_count(), c.near ? 0u : 1u) << c.column << "/" << c.row;
    int32_t value = 0;
    ASSERT_TRUE(grid.get(c.column, c.row, value));
    EXPECT_EQ(value, 2);
    ASSERT_TRUE(grid.get(0, 0, value));
    EXPECT_EQ(value, 1);
  }
}

// With room for one tile, every switch pages; a tile read back and left unchanged is not
// written again.
TEST(CellGrid, UnchangedTilesAreNotRewritten) {
  enum Op { ADD, GET };
  struct Step {
    Op op;
    int32_t column;
    uint64_t writes, reads;  // totals after the step
  };
  const Step steps[] = {
      {ADD, 0, 0, 0},                      // A made
      {ADD, 100, 1, 0},                    // B made, A written
      {GET, 0, 2, 1},                      // B written, A read
      {GET, 100, 2, 2},                    // A unchanged, B read
      {GET, 0, 2, 3},                      // B unchanged, A read
      {ADD, 1, 2, 3},                      // A changed in memory
      {GET, 150, 3, 4},                    // A written again into its slot, B read
      {GET, 1, 3, 5},   {ADD, 200, 3, 5},  // C made, A unchanged since read
      {GET, 100, 4, 6},                    // C written
  };
  TempDir dir;
  {
    LAScellGrid grid;
    grid.set_name_prefix(dir.prefix().c_str());
    ASSERT_TRUE(grid.set_memory_budget(kIndexTileBytes));
    ASSERT_TRUE(grid.set_cell_type("lowest elevation index"));
    int n = 0;
    for (const Step& s : steps) {
      int32_t value = 0;
      if (s.op == ADD) {
        grid.set_current_index(s.column);
        ASSERT_TRUE(grid.add(s.column, 0, point_z(-s.column)));
      } else {
        EXPECT_TRUE(grid.get(s.column - s.column % 100, 0, value, 1)) << n;
        EXPECT_EQ(value, s.column - s.column % 100) << n;
      }
      EXPECT_EQ(grid.get_write_count(), s.writes) << "step " << n;
      EXPECT_EQ(grid.get_read_count(), s.reads) << "step " << n;
      ++n;
    }
    EXPECT_EQ(grid.get_buffer_count(), 1u);
    EXPECT_EQ(grid.get_temp_file_count(), 1u);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{});  // unlinked while in use
  }
}

struct PatternCase {
  const char* name;
  int32_t column, row;  // lowest cell of the 1000 x 1000 pattern
  bool origin_first;    // (0, 0) added first, so that the pattern lies far from the origin
};

void PrintTo(const PatternCase& p, std::ostream* os) {
  *os << p.name;
}

class CellGridPattern : public ::testing::TestWithParam<PatternCase> {};

// A 1000 x 1000 pattern under a budget of four tiles reads back exactly, each tile is
// written once, and no temporary file remains.
TEST_P(CellGridPattern, PagesUnderSmallBudget) {
  const PatternCase& p = GetParam();
  constexpr int32_t kSide = 1000;
  const int64_t c0 = p.column, r0 = p.row;
  const int64_t c1 = c0 + kSide - 1, r1 = r0 + kSide - 1;
  const int32_t tx0 = floor_div(c0, 100), tx1 = floor_div(c1, 100);
  const int32_t ty0 = floor_div(r0, 100), ty1 = floor_div(r1, 100);
  const uint32_t pattern_tiles = uint32_t((tx1 - tx0 + 1) * (ty1 - ty0 + 1));

  TempDir dir;
  {
    LAScellGrid grid;
    grid.set_name_prefix(dir.prefix().c_str());
    ASSERT_TRUE(grid.set_memory_budget(4 * kIndexTileBytes + 100));
    ASSERT_TRUE(grid.set_cell_type("lowest elevation index"));
    if (p.origin_first) {
      ASSERT_TRUE(grid.add(0, 0, point_z(0)));
    }

    // Tile by tile, so that each tile is paged out once while writing.
    auto for_each_cell = [&](auto&& f) {
      for (int32_t ty = ty0; ty <= ty1; ++ty) {
        for (int32_t tx = tx0; tx <= tx1; ++tx) {
          const int64_t cl = std::max<int64_t>(c0, int64_t(tx) * 100);
          const int64_t ch = std::min<int64_t>(c1, int64_t(tx) * 100 + 99);
          const int64_t rl = std::max<int64_t>(r0, int64_t(ty) * 100);
          const int64_t rh = std::min<int64_t>(r1, int64_t(ty) * 100 + 99);
          for (int64_t r = rl; r <= rh; ++r) {
            for (int64_t c = cl; c <= ch; ++c) f(int32_t(c), int32_t(r));
          }
        }
      }
    };
    bool ok = true;
    for_each_cell([&](int32_t c, int32_t r) {
      grid.set_current_index(pattern_index(c, r));
      ok &= grid.add(c, r, point_z(pattern_z(c, r)));
    });
    ASSERT_TRUE(ok);
    const uint32_t tiles = pattern_tiles + (p.origin_first ? 1 : 0);
    ASSERT_EQ(grid.get_tile_count(), tiles);
    EXPECT_EQ(grid.get_buffer_count(), 4u);
    EXPECT_EQ(grid.get_far_tile_count(), p.origin_first ? pattern_tiles : 0u);
    EXPECT_EQ(grid.get_write_count(), tiles - 4);

    int32_t bounds[4];
    grid.get_cell_bounds(bounds[0], bounds[1], bounds[2], bounds[3]);
    EXPECT_EQ(bounds[0], p.origin_first ? std::min<int32_t>(0, p.column) : p.column);
    EXPECT_EQ(bounds[1], p.origin_first ? std::min<int32_t>(0, p.row) : p.row);
    EXPECT_EQ(bounds[2], p.origin_first ? std::max<int64_t>(0, c1) : c1);
    EXPECT_EQ(bounds[3], p.origin_first ? std::max<int64_t>(0, r1) : r1);

    uint64_t mismatches = 0;
    for_each_cell([&](int32_t c, int32_t r) {
      int32_t z = 0, index = 0;
      if (!grid.get(c, r, z, 0) || !grid.get(c, r, index, 1) || z != pattern_z(c, r) ||
          index != pattern_index(c, r)) {
        ++mismatches;
      }
    });
    EXPECT_EQ(mismatches, 0u);
    // The four tiles still in memory were written when the reading began; every other
    // eviction found its tile unchanged.
    EXPECT_EQ(grid.get_write_count(), tiles);
    EXPECT_EQ(grid.get_read_count(), pattern_tiles);

    // Touching tiles in a cycle longer than the budget reads them back but writes nothing.
    for (int round = 0; round < 2; ++round) {
      for (int32_t tx = tx0; tx <= tx1; ++tx) {
        const int32_t c = int32_t(std::max<int64_t>(c0, int64_t(tx) * 100));
        int32_t z = 0;
        ASSERT_TRUE(grid.get(c, int32_t(r0), z));
        EXPECT_EQ(z, pattern_z(c, int32_t(r0)));
      }
    }
    EXPECT_EQ(grid.get_write_count(), tiles);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, CellGridPattern,
    ::testing::Values(PatternCase{"at_zero", 0, 0, false},
                      PatternCase{"around_zero", -500, -500, false},
                      PatternCase{"far_corner", INT32_MAX - 999, INT32_MIN, true},
                      PatternCase{"other_far_corner", INT32_MIN + 37, INT32_MAX - 999, true}),
    [](const ::testing::TestParamInfo<PatternCase>& info) { return info.param.name; });

TEST(CellGrid, SeveralTemporaryFiles) {
  TempDir dir;
  {
    LAScellGrid grid;
    grid.set_name_prefix(dir.prefix().c_str());
    ASSERT_TRUE(grid.set_cell_type("counter_4bit"));  // 5,000 bytes per tile
    ASSERT_TRUE(grid.set_memory_budget(2 * 5000));
    ASSERT_TRUE(grid.set_temp_file_limit(3 * 5000 + 4999));  // three slots per file
    for (int32_t t = 0; t < 20; ++t) {
      for (int32_t n = 0; n <= t % 16; ++n)
        ASSERT_TRUE(grid.add(t * 100 - 1000, 3 * t, point_z(0)));
    }
    EXPECT_EQ(grid.get_temp_file_count(), 6u);  // 18 tiles written
    for (int round = 0; round < 2; ++round) {
      for (int32_t t = 19; t >= 0; --t) {
        int32_t count = 0;
        ASSERT_TRUE(grid.get(t * 100 - 1000, 3 * t, count));
        EXPECT_EQ(count, std::min(t % 16 + 1, 15)) << t;
      }
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{});
  }
}

// Without a prefix the files lie in the current folder.
TEST(CellGrid, DefaultNamesInCurrentFolder) {
  TempDir dir;
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof(saved)), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  {
    LAScellGrid grid;
    ASSERT_TRUE(grid.set_cell_type("occupancy"));
    ASSERT_TRUE(grid.set_memory_budget(1));  // below one tile: still one buffer
    for (int32_t t = 0; t < 5; ++t) ASSERT_TRUE(grid.add(t * 100, 0, point_z(0)));
    EXPECT_EQ(grid.get_max_buffers(), 1u);
    EXPECT_EQ(grid.get_write_count(), 4u);
    for (int32_t t = 0; t < 5; ++t) {
      int32_t v = 0;
      EXPECT_TRUE(grid.get(t * 100, 0, v));
      EXPECT_FALSE(grid.get(t * 100 + 1, 0, v));
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{});
  }
  ASSERT_EQ(chdir(saved), 0);
}

TEST(CellGrid, TemporaryFileThatCannotBeOpened) {
  TempDir dir;
  LAScellGrid grid;
  grid.set_name_prefix((dir.path() + "/missing/taemp").c_str());
  ASSERT_TRUE(grid.set_memory_budget(kIndexTileBytes));
  ASSERT_TRUE(grid.set_cell_type("lowest elevation index"));
  ASSERT_TRUE(grid.add(0, 0, point_z(7)));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(grid.add(100, 0, point_z(8)));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("ERROR: cannot open temporary file '" + dir.path() + "/missing/taemp"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("ERROR: cannot get tile (100/0)\n"), std::string::npos) << err;
  int32_t value = 0;
  ASSERT_TRUE(grid.get(0, 0, value));  // kept in memory, not lost
  EXPECT_EQ(value, 7);
  EXPECT_FALSE(grid.get(100, 0, value));
  EXPECT_EQ(grid.get_tile_count(), 1u);
  int32_t bounds[4];
  grid.get_cell_bounds(bounds[0], bounds[1], bounds[2], bounds[3]);
  EXPECT_EQ(bounds[2], 0);  // a failed add does not widen the bounds
}

// The file size limit makes the second tile's write fail part-way. Runs in a child process.
void write_past_file_size_limit(const std::string& prefix) {
  signal(SIGXFSZ, SIG_IGN);
  LAScellGrid grid;
  grid.set_name_prefix(prefix.c_str());
  grid.set_memory_budget(kIndexTileBytes);
  grid.set_cell_type("lowest elevation index");
  rlimit limit;
  limit.rlim_cur = limit.rlim_max = kIndexTileBytes + 1000;
  setrlimit(RLIMIT_FSIZE, &limit);
  bool ok = grid.add(0, 0, point_z(1)) && grid.add(100, 0, point_z(2));
  ok = ok && !grid.add(200, 0, point_z(3));  // tile 100 cannot be saved
  int32_t v = 0;
  ok = ok && grid.get(100, 0, v) && v == 2;  // and stays in memory
  ok = ok && !grid.get(0, 0, v);             // paging tile 0 in needs the same eviction
  ok = ok && grid.get_write_count() == 1;
  exit(ok ? 0 : 1);
}

TEST(CellGridDeathTest, TemporaryFileWriteFails) {
  TempDir dir;
  EXPECT_EXIT(write_past_file_size_limit(dir.prefix()), ::testing::ExitedWithCode(0),
              "ERROR: cannot write tile to temporary file '.*taemp[0-9]+\\.0\\.tmp'\n"
              "ERROR: cannot get tile \\(200/0\\)\n");
}

// Finds the descriptor of the grid's unlinked temporary file.
int find_deleted_temp_fd(const std::string& dir) {
  int found = -1;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(fds)) {
      char target[4096];
      const std::string link = std::string("/proc/self/fd/") + e->d_name;
      const ssize_t n = readlink(link.c_str(), target, sizeof(target) - 1);
      if (n <= 0) continue;
      target[n] = 0;
      if (std::string(target).rfind(dir + "/", 0) == 0) found = atoi(e->d_name);
    }
    closedir(fds);
  }
  return found;
}

TEST(CellGrid, TemporaryFileReadFails) {
  TempDir dir;
  LAScellGrid grid;
  grid.set_name_prefix(dir.prefix().c_str());
  ASSERT_TRUE(grid.set_memory_budget(kIndexTileBytes));
  ASSERT_TRUE(grid.set_cell_type("lowest elevation index"));
  ASSERT_TRUE(grid.add(0, 0, point_z(1)));
  ASSERT_TRUE(grid.add(100, 0, point_z(2)));  // tile 0 written
  ASSERT_TRUE(grid.add(200, 0, point_z(3)));  // tile 100 written
  int32_t v = 0;
  ASSERT_TRUE(grid.get(100, 0, v));  // tile 200 written, tile 100 read back unchanged
  const int fd = find_deleted_temp_fd(dir.path());
  if (fd < 0) GTEST_SKIP() << "no /proc/self/fd";
  ASSERT_EQ(ftruncate(fd, 100), 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(grid.get(0, 0, v));  // tile 100 leaves without a write, tile 0 is short
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("ERROR: cannot read tile from temporary file '" + dir.prefix()),
            std::string::npos)
      << err;
  // The buffer of the failed read serves the next tile.
  ASSERT_TRUE(grid.add(300, 0, point_z(4)));
  ASSERT_TRUE(grid.get(300, 0, v));
  EXPECT_EQ(v, 4);
  EXPECT_EQ(grid.get_buffer_count(), 1u);
  EXPECT_EQ(grid.get_write_count(), 3u);
}

}  // namespace
