#include "io/las_interval.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "lax_writer.hpp"

namespace {

using Runs = std::vector<std::pair<uint32_t, uint32_t>>;

// The interval section alone: the .lax bytes from "LASV" on.
std::vector<uint8_t> interval_bytes(const LaxContent& c) {
  std::vector<uint8_t> bytes = write_lax(c);
  const size_t lasv = c.with_lasq ? 52 : 44;
  return std::vector<uint8_t>(bytes.begin() + lasv, bytes.end());
}

bool read_intervals(LASinterval& interval, const std::vector<uint8_t>& bytes) {
  ByteStreamInArrayLE stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  return interval.read(&stream);
}

Runs delivered(LASinterval& interval) {
  Runs runs;
  while (interval.has_intervals()) runs.push_back({interval.start, interval.end});
  return runs;
}

LaxCell cell(int32_t index, uint32_t npoints, Runs runs) {
  LaxCell c;
  c.index = index;
  c.npoints = npoints;
  c.intervals = std::move(runs);
  return c;
}

}  // namespace

TEST(LASinterval, MergesSelectedCells) {
  struct Case {
    const char* what;
    std::vector<LaxCell> cells;
    Runs merged;
    uint32_t full;
    uint32_t total;
  };
  const Case cases[] = {
      {"gap of 1001 stays",
       {cell(1, 100, {{0, 99}}), cell(2, 100, {{1100, 1199}})},
       {{0, 99}, {1100, 1199}},
       200,
       200},
      {"gap of 1000 joins",
       {cell(1, 100, {{0, 99}}), cell(2, 101, {{1099, 1199}})},
       {{0, 1199}},
       201,
       1200},
      {"contained run changes nothing",
       {cell(1, 501, {{0, 500}}), cell(2, 101, {{100, 200}})},
       {{0, 500}},
       602,
       501},
      {"overlapping runs extend",
       {cell(1, 10, {{0, 50}}), cell(2, 10, {{40, 60}})},
       {{0, 60}},
       20,
       61},
      {"runs of several cells interleave",
       {cell(7, 3, {{5000, 5000}, {9000, 9001}}), cell(3, 2, {{0, 1}, {7000, 7000}}),
        cell(9, 1, {{2001, 2001}})},
       {{0, 1}, {2001, 2001}, {5000, 5000}, {7000, 7000}, {9000, 9001}},
       6,
       7},
      {"single cell stays in file order and unjoined",
       {cell(4, 4, {{600, 601}, {0, 0}, {2, 2}})},
       {{600, 601}, {0, 0}, {2, 2}},
       4,
       4},
      // Point numbers far apart must not be joined by a wrapped difference.
      {"gap beyond 2^31 stays",
       {cell(1, 1, {{10, 10}}), cell(2, 1, {{3000000000u, 3000000000u}})},
       {{10, 10}, {3000000000u, 3000000000u}},
       2,
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LaxContent content;
    content.cells = c.cells;
    LASinterval interval(1000);
    ASSERT_TRUE(read_intervals(interval, interval_bytes(content)));
    for (const LaxCell& k : c.cells) {
      ASSERT_TRUE(interval.get_cell(k.index));
      ASSERT_TRUE(interval.add_current_cell_to_merge_cell_set());
    }
    ASSERT_TRUE(interval.merge());
    interval.clear_merge_cell_set();
    EXPECT_EQ(interval.full, c.full);
    EXPECT_EQ(interval.total, c.total);
    EXPECT_EQ(delivered(interval), c.merged);
    // The cells keep their own runs.
    ASSERT_TRUE(interval.get_cell(c.cells[0].index));
    EXPECT_EQ(delivered(interval), c.cells[0].intervals);
  }
}

TEST(LASinterval, MergeWithoutCellsOrRuns) {
  LaxContent content;
  content.cells = {cell(1, 0, {}), cell(2, 0, {}), cell(3, 5, {{0, 4}})};
  LASinterval interval;
  ASSERT_TRUE(read_intervals(interval, interval_bytes(content)));
  EXPECT_FALSE(interval.merge());
  EXPECT_FALSE(interval.has_intervals());
  ASSERT_TRUE(interval.get_cell(1));
  EXPECT_EQ(interval.total, 0u);
  EXPECT_FALSE(interval.has_intervals());  // a cell stored without runs reads nothing
  interval.add_current_cell_to_merge_cell_set();
  EXPECT_FALSE(interval.merge());
  interval.get_cell(2);
  interval.add_current_cell_to_merge_cell_set();
  EXPECT_FALSE(interval.merge());
  interval.get_cell(3);
  interval.add_current_cell_to_merge_cell_set();
  EXPECT_TRUE(interval.merge());
  EXPECT_EQ(delivered(interval), (Runs{{0, 4}}));
  EXPECT_FALSE(interval.get_cell(4));
  EXPECT_FALSE(interval.add_current_cell_to_merge_cell_set());
  EXPECT_FALSE(interval.has_intervals());
}

TEST(LASinterval, WalkIsAscendingAndFirstOfADuplicateWins) {
  LaxContent content;
  content.cells = {cell(20, 2, {{5, 6}}), cell(INT32_MIN, 1, {{9, 9}}), cell(3, 1, {{1, 1}}),
                   cell(20, 7, {{100, 106}}), cell(-1, 1, {{2, 2}})};
  LASinterval interval;
  ASSERT_TRUE(read_intervals(interval, interval_bytes(content)));
  EXPECT_EQ(interval.get_number_of_cells(), 4u);
  std::vector<std::pair<int32_t, uint32_t>> walk;
  interval.get_cells();
  while (interval.has_cells()) walk.push_back({interval.index, interval.full});
  EXPECT_EQ(walk,
            (std::vector<std::pair<int32_t, uint32_t>>{{INT32_MIN, 1}, {-1, 1}, {3, 1}, {20, 2}}));
  ASSERT_TRUE(interval.get_cell(20));
  EXPECT_EQ(interval.total, 2u);
  EXPECT_EQ(delivered(interval), (Runs{{5, 6}}));
  // A second walk starts again from the first cell.
  interval.get_cells();
  ASSERT_TRUE(interval.has_cells());
  EXPECT_EQ(interval.index, INT32_MIN);
}

TEST(LASinterval, ReadFailuresAndCountsBeyondTheData) {
  LaxContent content;
  content.cells = {cell(5, 3, {{0, 1}, {7, 7}})};
  const std::vector<uint8_t> bytes = interval_bytes(content);  // 12 + 12 + 16 bytes
  struct Case {
    std::vector<uint8_t> bytes;
    std::string message;
  };
  std::vector<Case> cases = {
      {std::vector<uint8_t>(bytes.begin(), bytes.begin() + 3),
       "ERROR (LASinterval): reading signature\n"},
      {std::vector<uint8_t>(bytes.begin(), bytes.begin() + 6),
       "ERROR (LASinterval): reading version\n"},
      {std::vector<uint8_t>(bytes.begin(), bytes.begin() + 10),
       "ERROR (LASinterval): reading number of cells\n"},
  };
  std::vector<uint8_t> wrong = bytes;
  wrong[3] = 'X';
  cases.push_back({wrong, "ERROR (LASinterval): wrong signature LASX instead of 'LASV'\n"});

  LaxContent hostile = content;
  hostile.stored_cell_count = 0xFFFFFFFFu;
  cases.push_back({interval_bytes(hostile),
                   "ERROR (LASinterval): 4294967295 cells cannot fit in the 28 bytes left\n"});
  hostile.stored_cell_count = 3;  // 3 * 12 > 28
  cases.push_back(
      {interval_bytes(hostile), "ERROR (LASinterval): 3 cells cannot fit in the 28 bytes left\n"});
  hostile = content;
  hostile.cells[0].stored_interval_count = 0x20000000u;
  cases.push_back({interval_bytes(hostile),
                   "ERROR (LASinterval): 536870912 intervals of cell 5 cannot fit in the 16 bytes "
                   "left\n"});
  hostile.cells[0].stored_interval_count = 3;
  cases.push_back({interval_bytes(hostile),
                   "ERROR (LASinterval): 3 intervals of cell 5 cannot fit in the 16 bytes left\n"});
  for (const Case& c : cases) {
    LASinterval interval;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(read_intervals(interval, c.bytes));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
  }
}

TEST(LASinterval, TruncatedCellsOnAStreamThatCannotTellItsSize) {
  LaxContent content;
  content.cells = {cell(5, 3, {{0, 1}, {7, 7}})};
  const std::vector<uint8_t> bytes = interval_bytes(content);
  struct Case {
    size_t length;
    std::string message;
  };
  const Case cases[] = {
      {14, "ERROR (LASinterval): reading cell index\n"},
      {18, "ERROR (LASinterval): reading number of intervals in cell\n"},
      {22, "ERROR (LASinterval): reading number of points in cell\n"},
      {26, "ERROR (LASinterval): reading start 0 of interval\n"},
      {30, "ERROR (LASinterval): reading end 0 of interval\n"},
      {38, "ERROR (LASinterval): reading end 0 of interval\n"},
  };
  for (const Case& c : cases) {
    // Over a pipe the counts cannot be checked ahead; the reads fail instead.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], bytes.data(), c.length), static_cast<ssize_t>(c.length));
    close(fds[1]);
    FILE* file = fdopen(fds[0], "rb");
    ASSERT_NE(file, nullptr);
    ByteStreamInFileLE stream(file);
    ASSERT_FALSE(stream.can_seek());
    LASinterval interval;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(interval.read(&stream));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.length;
    fclose(file);
  }
}
