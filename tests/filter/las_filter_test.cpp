// The filter as a list: first rejection counts, growth, restart, and a
// generated point set against a brute-force selection.

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>

#include "filter/criteria_return.hpp"
#include "filter_test_point.hpp"
#include "platform/crt_random.hpp"

namespace {

TEST(LASfilter, EmptyFilterKeepsEveryPointAndWritesNothing) {
  LASfilter filter;
  TestPoint p;
  EXPECT_FALSE(filter.rejects(&p.point));
  char buffer[4] = {'x', 'y', 'z', 0};
  EXPECT_EQ(filter.write_options_text(buffer), 0);
  EXPECT_STREQ(buffer, "xyz");
}

TEST(LASfilter, OnlyTheFirstRejectingCriterionCounts) {
  LASfilter filter;
  ASSERT_TRUE(parse_filter(filter, "-keep_class 2 -keep_intensity 0 10"));
  TestPoint both;  // class 0, intensity 20: both reject
  both.intensity(20);
  TestPoint second;
  second.cls(2).intensity(20);
  EXPECT_TRUE(filter.rejects(&both.point));
  EXPECT_TRUE(filter.rejects(&both.point));
  EXPECT_TRUE(filter.rejects(&second.point));
  EXPECT_EQ(filter.counter(0), 2);
  EXPECT_EQ(filter.counter(1), 1);
}

TEST(LASfilter, SeventeenthCriterionGrowsTheArrays) {
  LASfilter filter;
  for (int k = 0; k < 16; k++) filter.append_criterion(new LAScriterionDropFirstReturn());
  EXPECT_EQ(filter.capacity(), 16u);
  TestPoint first;
  first.rn(1, 1);
  EXPECT_TRUE(filter.rejects(&first.point));
  filter.append_criterion(new LAScriterionKeepFirstReturn());
  EXPECT_EQ(filter.capacity(), 32u);
  EXPECT_EQ(filter.count(), 17u);
  EXPECT_EQ(filter.counter(0), 1);
  EXPECT_EQ(filter.counter(16), 0);
  EXPECT_STREQ(filter.criterion(15)->option_name(), "drop_first");
  EXPECT_STREQ(filter.criterion(16)->option_name(), "keep_first");
  filter.remove_all();
  EXPECT_EQ(filter.count(), 0u);
  EXPECT_EQ(filter.capacity(), 0u);
}

TEST(LASfilter, WritesEachCriterionInListOrder) {
  LASfilter filter;
  ASSERT_TRUE(parse_filter(filter, "-keep_class 2 -drop_z_below 10"));
  EXPECT_EQ(filter_text(filter), "-keep_class 2 -drop_z_below 10.000000 ");
  EXPECT_EQ(filter.needed_fields_mask(), 3u);
}

std::string random_selection(LASfilter& filter, int points) {
  std::string kept;
  for (int k = 0; k < points; k++) {
    TestPoint p;
    kept += filter.rejects(&p.point) ? 'd' : 'k';
  }
  return kept;
}

TEST(LASfilter, RestartRepeatsTheRandomSelection) {
  LASfilter filter;
  ASSERT_TRUE(parse_filter(filter, "-keep_random_fraction 0.5 4711"));
  filter.restart_all();
  const std::string first = random_selection(filter, 200);
  crt_srand(99);  // other users of the generator in between
  crt_rand();
  filter.restart_all();
  EXPECT_EQ(random_selection(filter, 200), first);
  const size_t kept = std::count(first.begin(), first.end(), 'k');
  EXPECT_GT(kept, 60u);
  EXPECT_LT(kept, 140u);
  // without restart the sequence runs on
  EXPECT_NE(random_selection(filter, 200), first);
  // the same seed in a combinator is restarted too
  LASfilter combined;
  ASSERT_TRUE(parse_filter(combined, "-keep_first -keep_random_fraction 0.5 4711 -filter_or"));
  combined.restart_all();
  std::string via_combination;
  for (int k = 0; k < 200; k++) {
    TestPoint p;
    via_combination += combined.rejects(&p.point) ? 'd' : 'k';
  }
  EXPECT_EQ(via_combination, first);
}

// A deterministic point set with every field varied.
std::vector<TestPoint> generated_points(int n) {
  std::vector<TestPoint> points(n);
  uint32_t s = 12345;
  auto next = [&s](uint32_t range) {
    s = s * 1103515245u + 12345u;
    return (s >> 8) % range;
  };
  for (TestPoint& p : points) {
    p.xyz(next(800) * 0.125, next(800) * 0.125, next(400) * 0.125 - 10);
    const int n_returns = 1 + next(5);
    p.rn(1 + next(n_returns), n_returns);
    p.cls(next(10)).intensity(next(1000)).angle(int(next(61)) - 30).user(next(256));
    p.source(next(8)).time(next(1000) * 0.01);
    if (next(10) == 0) p.withheld();
  }
  return points;
}

TEST(LASfilter, GeneratedPointsMatchABruteForceSelection) {
  const std::vector<TestPoint> points = generated_points(5000);
  LASfilter filter;
  ASSERT_TRUE(parse_filter(
      filter,
      "-keep_xy 10 10 90 90 -drop_class 7 -keep_intensity 100 900 -keep_point_source 1 3 "
      "-keep_every_nth 2 -drop_withheld -keep_random_fraction 0.5 1234 -thin_with_grid 4 "
      "-drop_scan_angle_between -5 5 -thin_points_with_time 0.02"));
  ASSERT_EQ(filter.count(), 10u);
  filter.restart_all();

  // the same selection, criterion by criterion, stateful ones over the survivors only
  int64_t drops[10] = {};
  uint32_t nth = 1;
  uint32_t seed = 1234;
  std::set<std::pair<int64_t, int64_t>> cells;
  std::set<int64_t> slots;
  std::string expected, got;
  for (const TestPoint& tp : points) {
    const LASpoint& q = tp.point;
    const double x = q.X * 0.125, y = q.Y * 0.125;
    int rejected = -1;
    if (!(x >= 10 && x < 90 && y >= 10 && y < 90)) {
      rejected = 0;
    } else if (q.get_classification() == 7) {
      rejected = 1;
    } else if (q.intensity < 100 || q.intensity > 900) {
      rejected = 2;
    } else if (q.point_source_ID != 1 && q.point_source_ID != 3) {
      rejected = 3;
    } else if (nth++ != 2) {
      rejected = 4;
    } else {
      nth = 1;
      if (q.get_withheld_flag()) {
        rejected = 5;
      } else {
        crt_srand(seed);
        const int r = crt_rand();
        seed = uint32_t(r);
        if (float(r) / 32767.0f > 0.5f) {
          rejected = 6;
        } else if (!cells.insert({int64_t(std::floor(x / 4)), int64_t(std::floor(y / 4))}).second) {
          rejected = 7;
        } else if (q.scan_angle_rank >= -5 && q.scan_angle_rank <= 5) {
          rejected = 8;
        } else if (!slots.insert(int64_t(std::floor(q.gps_time / 0.02))).second) {
          rejected = 9;
        }
      }
    }
    if (rejected >= 0) drops[rejected]++;
    expected += rejected >= 0 ? 'd' : 'k';
    got += filter.rejects(&q) ? 'd' : 'k';
  }
  EXPECT_EQ(got, expected);
  for (uint32_t i = 0; i < 10; i++) {
    EXPECT_EQ(filter.counter(i), drops[i]) << filter.criterion(i)->option_name();
    EXPECT_GT(drops[i], 0) << i;  // every criterion had its say
  }
  EXPECT_GT(std::count(got.begin(), got.end(), 'k'), 10);
}

}  // namespace
