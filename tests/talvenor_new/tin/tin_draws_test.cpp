#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/crt_random.hpp"
#include "tin/tin.hpp"

namespace {

// Points that the TIN is built from: `lead` on one line first, then a scatter.
std::vector<float> points_with_lead(size_t n, size_t lead) {
  std::vector<float> points;
  points.reserve(3 * n);
  uint32_t state = 12345;
  for (size_t j = 0; j < n; j++) {
    state = state * 1664525u + 1013904223u;
    const float x = j < lead ? float(j) : float(state % 100000) * 0.01f;
    state = state * 1664525u + 1013904223u;
    const float y = j < lead ? 0.0f : float(state % 100000) * 0.01f + 5.0f;
    points.insert(points.end(), {x, y, 1.0f});
  }
  return points;
}

}  // namespace

// Work that knows a TIN's result without building it draws as many random values as building
// it would: the count matches the building, line full or not, whatever the first triangle waits
// for.
TEST(Tin, DrawsToAddMatchBuilding) {
  struct Row {
    size_t n, lead;
  };
  const Row rows[] = {{2, 0},     {10, 0},    {10000, 0}, {10003, 0},     {10004, 0},
                      {10260, 0}, {25000, 0}, {30000, 7}, {23000, 12000}, {500, 500}};
  for (const Row& row : rows) {
    std::vector<float> points = points_with_lead(row.n, row.lead);
    const uint64_t predicted =
        tin_draws_to_add_points(row.n, [&](size_t j) { return &points[3 * j]; });
    tin_set_point_base(points.data());
    ASSERT_TRUE(tin_init(uint32_t(row.n), false));
    const uint64_t before = crt_rand_draws();
    for (size_t j = 0; j < row.n; j++) tin_add_point(&points[3 * j]);
    tin_flush();
    EXPECT_EQ(crt_rand_draws() - before, predicted) << row.n << " " << row.lead;
  }
}
