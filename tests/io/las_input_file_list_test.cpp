#include "io/las_input_file_list.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "temp_dir.hpp"

namespace {

std::vector<std::string> names(const LASinputFileList& list) {
  std::vector<std::string> result;
  for (uint32_t i = 0; i < list.get_file_name_number(); i++)
    result.push_back(list.get_file_name(i));
  return result;
}

std::vector<uint32_t> overlaps(LASkdtreeRectangles* tree, double min_x, double min_y, double max_x,
                               double max_y) {
  std::vector<uint32_t> found;
  if (!tree->is_built()) tree->build_tree();
  tree->find_overlaps(min_x, min_y, max_x, max_y);
  uint32_t index;
  if (tree->restart_overlaps()) {
    while (tree->next_overlap(index)) found.push_back(index);
  }
  return found;
}

}  // namespace

TEST(LASinputFileList, ListLinesInEachForm) {
  TempDir dir;
  const std::string existing = dir.file("c.las");
  struct Case {
    std::string line;
    bool added;
    std::string name;
    bool with_ID;
    uint32_t ID;
    bool with_bounds;
    int64_t npoints;
    double min_x, min_y, max_x, max_y;
  };
  const Case cases[] = {
      {"7,1000,0.0,0.0,10.0,10.0, tile a.las\n", true, "tile a.las", true, 7, true, 1000, 0, 0, 10,
       10},
      {"7,1000,0.0,0.0,10.0,10.0, tile a.las\r\n", true, "tile a.las", true, 7, true, 1000, 0, 0,
       10, 10},
      {"12,-5,1.5,-2.25,3e3,4e3,\tb,c.las \t\r\n", true, "b,c.las", true, 12, true, -5, 1.5, -2.25,
       3000, 4000},
      {"3,b.las\n", true, "b.las", true, 3, false, 0, 0, 0, 0, 0},
      {"3,  b.las\r\n", true, "b.las", true, 3, false, 0, 0, 0, 0, 0},
      {existing + "\r\n", true, existing, false, 0, false, 0, 0, 0, 0, 0},
      {existing + "  \t\n", true, existing, false, 0, false, 0, 0, 0, 0, 0},
      {dir.path + "/missing.las\n", true, dir.path + "/missing.las", false, 0, false, 0, 0, 0, 0, 0},
      {"7,1000,0.0,0.0,10.0,10.0\n", false, "", false, 0, false, 0, 0, 0, 0, 0},
      {"\r\n", false, "", false, 0, false, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string list_name = dir.file("list.txt", c.line);
    LASinputFileList list;
    EXPECT_EQ(list.load_list_file(list_name.c_str(), false), 1);
    ASSERT_EQ(list.get_file_name_number(), c.added ? 1u : 0u);
    if (!c.added) continue;
    EXPECT_EQ(std::string(list.get_file_name(0)), c.name);
    EXPECT_EQ(list.has_file_names_ID(), c.with_ID);
    EXPECT_EQ(list.get_file_name_ID(0), c.ID);
    EXPECT_EQ(list.has_file_names_bounds(), c.with_bounds);
    EXPECT_EQ(list.get_kdtree_rectangles() != nullptr, c.with_bounds);
    double min_x, min_y, max_x, max_y;
    EXPECT_EQ(list.get_file_name_bounds(0, min_x, min_y, max_x, max_y), c.with_bounds);
    if (c.with_bounds) {
      EXPECT_EQ(list.get_file_name_npoints(0), c.npoints);
      EXPECT_EQ(min_x, c.min_x);
      EXPECT_EQ(min_y, c.min_y);
      EXPECT_EQ(max_x, c.max_x);
      EXPECT_EQ(max_y, c.max_y);
    }
  }
}

TEST(LASinputFileList, CrlfListWithBoundsGivesNamesAndNeighbours) {
  TempDir dir;
  // A 3 x 3 layout of 100 m tiles, written on the other platform.
  std::string text;
  std::vector<std::string> expected;
  for (int row = 0; row < 3; row++) {
    for (int col = 0; col < 3; col++) {
      const std::string name = "tile_" + std::to_string(col) + "_" + std::to_string(row) + ".las";
      text += std::to_string(row * 3 + col + 100) + ",5000," + std::to_string(col * 100) + "," +
              std::to_string(row * 100) + "," + std::to_string(col * 100 + 99.99) + "," +
              std::to_string(row * 100 + 99.99) + "," + name + "\r\n";
      expected.push_back(name);
    }
  }
  const std::string list_name = dir.file("tiles.txt", text);
  LASinputFileList list;
  ASSERT_EQ(list.load_list_file(list_name.c_str(), true), 1);
  EXPECT_EQ(names(list), expected);
  for (uint32_t i = 0; i < 9; i++) EXPECT_EQ(list.get_file_name_ID(i), 100 + i);

  // The centre tile widened by a buffer of 5 finds all nine; the corner tile
  // (0, 0) its three neighbours and itself.
  struct Case {
    uint32_t tile;
    double buffer;
    std::vector<uint32_t> found;
  };
  const Case cases[] = {
      {4, 5.0, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {0, 5.0, {0, 1, 3, 4}},
      {0, 0.0, {0}},
      {8, 0.01, {4, 5, 7, 8}},
  };
  for (const Case& c : cases) {
    double min_x, min_y, max_x, max_y;
    ASSERT_TRUE(list.get_file_name_bounds(c.tile, min_x, min_y, max_x, max_y));
    EXPECT_EQ(overlaps(list.get_kdtree_rectangles(), min_x - c.buffer, min_y - c.buffer,
                       max_x + c.buffer, max_y + c.buffer),
              c.found)
        << c.tile;
  }

  // The same list as neighbours: IDs are dropped, bounds are kept.
  LASinputFileList neighbors;
  ASSERT_EQ(neighbors.load_neighbor_list_file(list_name.c_str(), true), 1);
  ASSERT_EQ(neighbors.get_neighbor_file_name_number(), 9u);
  EXPECT_EQ(std::string(neighbors.get_neighbor_file_name(5)), "tile_2_1.las");
  EXPECT_EQ(neighbors.get_neighbor_file_name_npoints(5), 5000);
  EXPECT_EQ(overlaps(neighbors.get_neighbor_kdtree_rectangles(), 150, 150, 250, 250),
            (std::vector<uint32_t>{4, 5, 7, 8}));
}

TEST(LASinputFileList, MixedFormsKeepEveryArrayInStepWithDefaults) {
  TempDir dir;
  const std::string a = dir.file("a.las");
  const std::string list_name = dir.file(
      "mixed.txt", a + "\n5,b.las\n6,10,0,0,1,1,c.las\n" + a + "\n7,20,2,2,3,3,d.las\n8,e.las\n");
  LASinputFileList list;
  ASSERT_EQ(list.add_file_name("first.las", false), 1);
  ASSERT_EQ(list.load_list_file(list_name.c_str(), false), 1);
  ASSERT_EQ(list.add_file_name("last.las", false), 1);
  EXPECT_EQ(names(list), (std::vector<std::string>{"first.las", a, "b.las", "c.las", a, "d.las",
                                                   "e.las", "last.las"}));
  EXPECT_TRUE(list.has_file_names_ID());
  EXPECT_TRUE(list.has_file_names_bounds());
  const uint32_t ids[] = {0, 0, 5, 6, 0, 7, 8, 0};
  const bool bounded[] = {false, false, false, true, false, true, false, false};
  for (uint32_t i = 0; i < 8; i++) {
    EXPECT_EQ(list.get_file_name_ID(i), ids[i]) << i;
    double min_x, min_y, max_x, max_y;
    EXPECT_EQ(list.get_file_name_bounds(i, min_x, min_y, max_x, max_y), bounded[i]) << i;
    EXPECT_EQ(list.get_file_name_npoints(i), i == 3 ? 10 : i == 5 ? 20 : 0) << i;
  }
  // Tree numbers are list positions, even with names before the first bounds.
  LASkdtreeRectangles* tree = list.get_kdtree_rectangles();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->get_number_of_rectangles(), 8u);
  EXPECT_EQ(overlaps(tree, -100, -100, 100, 100), (std::vector<uint32_t>{3, 5}));
  EXPECT_EQ(overlaps(tree, 2.5, 2.5, 2.5, 2.5), (std::vector<uint32_t>{5}));
  EXPECT_EQ(tree->min_x, 0.0);
  EXPECT_EQ(tree->max_x, 3.0);
}

TEST(LASinputFileList, UniqueAndCapacity) {
  LASinputFileList list;
  EXPECT_EQ(list.get_file_name_allocated(), 0u);
  EXPECT_EQ(list.add_file_name("x.las", true), 1);
  EXPECT_EQ(list.add_file_name("x.las", true), 0);
  EXPECT_EQ(list.add_file_name_with_ID("x.las", 3, true), 0);
  EXPECT_EQ(list.add_file_name("x.las", false), 1);
  EXPECT_EQ(list.get_file_name_number(), 2u);
  EXPECT_EQ(list.get_file_name_allocated(), 16u);
  for (int i = 2; i < 16; i++) list.add_file_name(("n" + std::to_string(i)).c_str(), false);
  EXPECT_EQ(list.get_file_name_allocated(), 16u);
  list.add_file_name("seventeenth.las", false);
  EXPECT_EQ(list.get_file_name_number(), 17u);
  EXPECT_EQ(list.get_file_name_allocated(), 32u);
  EXPECT_EQ(list.add_file_name(nullptr, false), 0);

  LASinputFileList neighbors;
  EXPECT_EQ(neighbors.add_neighbor_file_name("n.las", false), 1);
  EXPECT_EQ(neighbors.add_neighbor_file_name("n.las", false), 1);
  EXPECT_EQ(neighbors.add_neighbor_file_name("n.las", true), 0);
  EXPECT_EQ(neighbors.get_neighbor_file_name_number(), 2u);
  EXPECT_EQ(neighbors.get_neighbor_file_name_allocated(), 16u);
  EXPECT_EQ(neighbors.get_file_name_number(), 0u);
}

TEST(LASinputFileList, WildcardsExpandOnlyStarAndQuestionMark) {
  TempDir dir;
  dir.file("b.las");
  dir.file("a.las");
  dir.file("a.txt");
  dir.file("x[1].las");
  dir.file("q\\r.las");
  mkdir((dir.path + "/sub.las").c_str(), 0700);
  struct Case {
    std::string pattern;  // relative to the directory
    std::vector<std::string> found;
    size_t neighbours;  // the same names as neighbours
  };
  const Case cases[] = {
      {"*.las", {"a.las", "b.las", "q\\r.las", "sub.las", "x[1].las"}, 5},
      {"?.las", {"a.las", "b.las"}, 2},
      {"a.*", {"a.las", "a.txt"}, 2},
      {"x[1].las", {"x[1].las"}, 1},
      {"x[1]*", {"x[1].las"}, 1},
      // A plain name is kept even when missing, so that opening it fails loudly.
      {"x1.las", {"x1.las"}, 1},
      {"q\\r.las", {"q\\r.las"}, 1},
      {"q\\*", {"q\\r.las"}, 1},
      {"*.laz", {}, 0},
      {"sub.las", {"sub.las"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    // With the directory part, and alone from inside the directory.
    LASinputFileList with_dir;
    EXPECT_EQ(with_dir.add_file_names_wildcard((dir.path + "/" + c.pattern).c_str(), false),
              c.found.empty() ? 0 : 1);
    std::vector<std::string> expected;
    for (const std::string& f : c.found) expected.push_back(dir.path + "/" + f);
    EXPECT_EQ(names(with_dir), expected);

    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    LASinputFileList bare;
    bare.add_file_names_wildcard(c.pattern.c_str(), false);
    LASinputFileList neighbors;
    neighbors.add_neighbor_file_names_wildcard(c.pattern.c_str(), true);
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(names(bare), c.found);
    EXPECT_EQ(neighbors.get_neighbor_file_name_number(), c.neighbours);
  }
  // A name added twice through patterns with `unique` stays once.
  LASinputFileList list;
  EXPECT_EQ(list.add_file_names_wildcard((dir.path + "/a.*").c_str(), true), 1);
  EXPECT_EQ(list.add_file_names_wildcard((dir.path + "/?.las").c_str(), true), 1);
  EXPECT_EQ(list.add_file_names_wildcard((dir.path + "/a.las").c_str(), true), 0);
  EXPECT_EQ(list.get_file_name_number(), 3u);
}

TEST(LASinputFileList, WildcardPathsLongerThan512Bytes) {
  TempDir dir;
  std::string deep = dir.path;
  for (int i = 0; i < 6; i++) {
    deep += "/" + std::string(120, static_cast<char>('a' + i));
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  ASSERT_GT(deep.size(), 700u);
  FILE* f = fopen((deep + "/tile.las").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fclose(f);
  LASinputFileList list;
  EXPECT_EQ(list.add_file_names_wildcard((deep + "/*.las").c_str(), false), 1);
  EXPECT_EQ(names(list), std::vector<std::string>{deep + "/tile.las"});
}

TEST(LASinputFileList, LongLinesAreOneName) {
  TempDir dir;
  const std::string long_name = std::string(3000, 'n') + ".las";
  const std::string list_name = dir.file("long.txt", "1," + long_name + "\r\n2,short.las");
  LASinputFileList list;
  ASSERT_EQ(list.load_list_file(list_name.c_str(), false), 1);
  EXPECT_EQ(names(list), (std::vector<std::string>{long_name, "short.las"}));
}

TEST(LASinputFileList, MissingListFile) {
  LASinputFileList list;
  testing::internal::CaptureStderr();
  EXPECT_EQ(list.load_list_file("/nonexistent/list.txt", false), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: cannot open '/nonexistent/list.txt'\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(list.load_neighbor_list_file("/nonexistent/n.txt", false), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: cannot open '/nonexistent/n.txt'\n");
  EXPECT_EQ(list.get_file_name_allocated(), 0u);
}

TEST(LASinputFileList, NeighbourListLinesWithoutBoundsAreTakenUnchanged) {
  TempDir dir;
  const std::string list_name =
      dir.file("n.txt", "3,b.las\r\n*.las\n4,1,0,0,1,1, c.las\r\n*.las\n");
  LASinputFileList list;
  ASSERT_EQ(list.load_neighbor_list_file(list_name.c_str(), true), 1);
  ASSERT_EQ(list.get_neighbor_file_name_number(), 4u);
  EXPECT_EQ(std::string(list.get_neighbor_file_name(0)), "3,b.las");
  EXPECT_EQ(std::string(list.get_neighbor_file_name(1)), "*.las");
  EXPECT_EQ(std::string(list.get_neighbor_file_name(2)), "c.las");
  EXPECT_EQ(std::string(list.get_neighbor_file_name(3)), "*.las");
  EXPECT_TRUE(list.has_neighbor_file_names_bounds());
  EXPECT_EQ(overlaps(list.get_neighbor_kdtree_rectangles(), 0, 0, 5, 5), std::vector<uint32_t>{2});
}
