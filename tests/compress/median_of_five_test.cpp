#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "compress/median_of_five.hpp"

namespace {

struct Case {
  const char* name;
  std::vector<int32_t> added;
  std::array<int32_t, 5> values;  // after the last value
  bool high;
  int32_t median;
};

// Worked by hand from the insertion rule. The last rows show that it is not
// a median of the last five values: after 0, 10, 20, 30, 5, 1 the last five
// are 10, 20, 30, 5, 1 with median 10, but the rule gives 5, since the 10
// added first has already left the top.
const Case kCases[] = {
    {"reset", {}, {0, 0, 0, 0, 0}, true, 0},
    {"one above", {10}, {0, 0, 0, 0, 10}, false, 0},
    {"two above", {10, 20}, {0, 0, 0, 10, 20}, false, 0},
    {"three above", {10, 20, 30}, {0, 0, 10, 20, 30}, false, 10},
    {"then one below the median", {10, 20, 30, 5}, {0, 5, 10, 20, 30}, true, 10},
    {"then a lower one", {10, 20, 30, 5, 1}, {0, 1, 5, 10, 20}, true, 5},
    {"negative values", {-4, -8, -2}, {-8, -4, -2, 0, 0}, true, -2},
    {"between w0 and w1 when high", {-4, -8, -2, -6}, {-8, -6, -4, -2, 0}, true, -4},
    {"equal to the median replaces the top", {0}, {0, 0, 0, 0, 0}, false, 0},
    {"between w3 and w4 when low", {10, 20, 15}, {0, 0, 10, 15, 20}, false, 10},
    {"above all when low", {10, 20, 30, 40}, {0, 10, 20, 30, 40}, false, 20},
    {"extremes", {INT32_MIN, INT32_MAX, INT32_MIN}, {INT32_MIN, 0, 0, 0, INT32_MAX}, true, 0},
};

TEST(MedianOfFive, HandComputedSequences) {
  for (const Case& c : kCases) {
    MedianOfFive m;
    for (int32_t v : c.added) m.add(v);
    SCOPED_TRACE(c.name);
    for (int i = 0; i < 5; i++) EXPECT_EQ(m.values[i], c.values[i]) << "value " << i;
    EXPECT_EQ(m.high, c.high);
    EXPECT_EQ(m.get(), c.median);
  }
}

TEST(MedianOfFive, StaysSortedAndInitResets) {
  MedianOfFive m;
  uint32_t s = 12345;
  for (int i = 0; i < 10000; i++) {
    s = s * 1103515245u + 12345u;
    m.add(static_cast<int32_t>(s >> 8) % 1000 - 500);
    for (int k = 0; k < 4; k++) ASSERT_LE(m.values[k], m.values[k + 1]);
  }
  m.init();
  for (int32_t v : m.values) EXPECT_EQ(v, 0);
  EXPECT_TRUE(m.high);
}

}  // namespace
