#include "tin/predicates.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "exact_integer.hpp"

namespace {

class Predicates : public ::testing::Test {
 protected:
  void SetUp() override { exactinit(); }
};

struct OrientCase {
  const char* name;
  double a[2], b[2], c[2];
  int expected;  // worked out by hand; also checked against exact integers
};

TEST_F(Predicates, BoundsFollowFromEpsilon) {
  const PredicateBounds& b = predicate_bounds();
  EXPECT_EQ(b.epsilon, std::ldexp(1.0, -53));
  EXPECT_EQ(b.splitter, std::ldexp(1.0, 27) + 1.0);
  EXPECT_EQ(b.ccwerrboundA, (3.0 + 16.0 * b.epsilon) * b.epsilon);
  EXPECT_EQ(b.iccerrboundA, (10.0 + 96.0 * b.epsilon) * b.epsilon);
}

TEST_F(Predicates, OrientationTable) {
  const double u = std::ldexp(1.0, -48);  // one unit in the last place of 24
  const double big = std::ldexp(1.0, 30);
  const double tiny = std::ldexp(1.0, -40);
  const OrientCase cases[] = {
      {"counter-clockwise", {0, 0}, {1, 0}, {0, 1}, 1},
      {"clockwise", {0, 0}, {0, 1}, {1, 0}, -1},
      {"collinear dyadic", {0.5, 0.5}, {12, 12}, {24, 24}, 0},
      {"collinear repeated point", {3, 7}, {3, 7}, {-5, 2}, 0},
      {"one ulp above the line", {0.5, 0.5}, {12, 12}, {24, 24 + u}, 1},
      {"one ulp below the line", {0.5, 0.5}, {12, 12}, {24, 24 - u}, -1},
      {"collinear with inexact differences", {-tiny, -tiny}, {3, 3}, {big, big}, 0},
      {"inexact differences, just left",
       {-tiny, -tiny + std::ldexp(1.0, -93)},
       {3, 3},
       {big, big},
       1},
      {"inexact differences, just right",
       {-tiny, -tiny - std::ldexp(1.0, -92)},
       {3, 3},
       {big, big},
       -1},
      {"f32 far from origin collinear",
       {512000.0, 5300000.0},
       {512000.5, 5300001.0},
       {512001.0, 5300002.0},
       0},
      {"f32 far from origin off by 1/2",
       {512000.0, 5300000.0},
       {512000.5, 5300001.0},
       {512001.0, 5300002.5},
       1},
  };
  for (const OrientCase& c : cases) {
    EXPECT_EQ(sign_of(orient2d(c.a, c.b, c.c)), c.expected) << c.name;
    EXPECT_EQ(exact_orient_sign(c.a, c.b, c.c), c.expected) << c.name << " (reference)";
  }
}

// The classic near-collinear sweep: a point moved by single ulps around
// (0.5, 0.5) against a line through (12, 12) and (24, 24). Plain double
// evaluation gets many of these wrong.
TEST_F(Predicates, OrientationUlpGridMatchesExactSigns) {
  const double b[2] = {12, 12};
  const double c[2] = {24, 24};
  int wrong_naive = 0;
  for (int i = 0; i < 128; ++i) {
    for (int j = 0; j < 128; ++j) {
      const double a[2] = {0.5 + i * std::ldexp(1.0, -53), 0.5 + j * std::ldexp(1.0, -53)};
      const int exact = exact_orient_sign(a, b, c);
      ASSERT_EQ(sign_of(orient2d(a, b, c)), exact) << i << " " << j;
      const double naive = (a[0] - c[0]) * (b[1] - c[1]) - (a[1] - c[1]) * (b[0] - c[0]);
      wrong_naive += sign_of(naive) != exact;
    }
  }
  EXPECT_GT(wrong_naive, 0);  // the sweep does reach the hard cases
}

// f32 coordinates far from the origin, as the ground tool has them: points
// on a line through two f32 points, moved by single f32 ulps.
TEST_F(Predicates, OrientationOfF32PointsFarFromOrigin) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> coord(400000.0f, 600000.0f);
  for (int n = 0; n < 2000; ++n) {
    const float ax = coord(rng), ay = coord(rng);
    const float dx = static_cast<float>(static_cast<int>(rng() % 64) - 32) * 0.25f;
    const float dy = static_cast<float>(static_cast<int>(rng() % 64) - 32) * 0.25f;
    const int k = static_cast<int>(rng() % 5) + 1;
    float cx = ax + k * dx, cy = ay + k * dy;
    const int nudge = static_cast<int>(rng() % 3) - 1;
    if (nudge) cy = std::nextafter(cy, nudge > 0 ? 1e9f : -1e9f);
    const double a[2] = {ax, ay}, b[2] = {ax + dx, ay + dy}, c[2] = {cx, cy};
    ASSERT_EQ(sign_of(orient2d(a, b, c)), exact_orient_sign(a, b, c)) << n;
  }
}

struct CircleCase {
  const char* name;
  double a[2], b[2], c[2], d[2];
  int expected;
};

TEST_F(Predicates, InCircleTable) {
  const double far = 1048576.0;  // 2^20: large offsets keep these exact in f32
  const double u = std::ldexp(1.0, -47);
  const CircleCase cases[] = {
      {"inside", {0, 0}, {4, 0}, {0, 4}, {1, 1}, 1},
      {"outside", {0, 0}, {4, 0}, {0, 4}, {5, 5}, -1},
      {"clockwise triangle flips", {0, 0}, {0, 4}, {4, 0}, {1, 1}, -1},
      {"square corners cocircular", {0, 0}, {1, 0}, {1, 1}, {0, 1}, 0},
      {"pythagorean radius 5", {5, 0}, {3, 4}, {-4, 3}, {0, -5}, 0},
      {"pythagorean radius 25", {24, 7}, {7, 24}, {-20, 15}, {15, -20}, 0},
      {"pythagorean radius 65 far away",
       {far + 63, far + 16},
       {far + 33, far + 56},
       {far - 39, far + 52},
       {far + 25, far - 60},
       0},
      {"pythagorean radius 65, one f32 ulp in",
       {far + 63, far + 16},
       {far + 33, far + 56},
       {far - 39, far + 52},
       {far + 25, far - 59.875},
       1},
      {"pythagorean radius 65, one f32 ulp out",
       {far + 63, far + 16},
       {far + 33, far + 56},
       {far - 39, far + 52},
       {far + 25, far - 60.125},
       -1},
      {"unit square shifted by one ulp of 16", {16, 16}, {17, 16}, {17, 17}, {16, 17 + u}, -1},
      {"dyadic circle, point on it", {0.5, 0}, {0, 0.5}, {-0.5, 0}, {0, -0.5}, 0},
  };
  for (const CircleCase& c : cases) {
    EXPECT_EQ(sign_of(incircle(c.a, c.b, c.c, c.d)), c.expected) << c.name;
    EXPECT_EQ(exact_incircle_sign(c.a, c.b, c.c, c.d), c.expected) << c.name << " (reference)";
  }
}

// Every Pythagorean point of radius 65 against three others, on and next to
// the circle, far from the origin in f32.
TEST_F(Predicates, InCircleOfPythagoreanPointsMatchesExactSigns) {
  const int pts[][2] = {{65, 0},   {63, 16},   {60, 25},   {56, 33},  {52, 39},  {39, 52},
                        {33, 56},  {25, 60},   {16, 63},   {0, 65},   {-16, 63}, {-33, 56},
                        {-52, 39}, {-60, -25}, {-63, -16}, {25, -60}, {39, -52}, {56, -33}};
  const int n = sizeof(pts) / sizeof(pts[0]);
  const float base_x = 700123.0f, base_y = 4500007.0f;
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      for (int k = j + 1; k < n; ++k) {
        for (int m = 0; m < n; m += 3) {
          for (int nudge = -1; nudge <= 1; ++nudge) {
            auto at = [&](int q, double* out) {
              out[0] = static_cast<float>(base_x + pts[q][0]);
              out[1] = static_cast<float>(base_y + pts[q][1]);
            };
            double a[2], b[2], c[2], d[2];
            at(i, a), at(j, b), at(k, c), at(m, d);
            d[0] = std::nextafter(static_cast<float>(d[0]), nudge > 0 ? 1e9f : -1e9f);
            if (nudge == 0) at(m, d);
            ASSERT_EQ(sign_of(incircle(a, b, c, d)), exact_incircle_sign(a, b, c, d))
                << i << " " << j << " " << k << " " << m << " " << nudge;
          }
        }
      }
    }
  }
}

// The refining stages alone: a huge bound makes every filter fail, so the
// result comes from the exact stage. Mixed magnitudes make the coordinate
// differences inexact, which the exact stage must carry along.
TEST_F(Predicates, ExactStagesMatchReferenceOnMixedMagnitudes) {
  std::mt19937_64 rng(11);
  auto value = [&]() {
    const double mant = std::ldexp(static_cast<double>(rng() >> 11), -53) + 0.5;
    const int exp = static_cast<int>(rng() % 80) - 40;
    return (rng() & 1 ? 1 : -1) * std::ldexp(mant, exp);
  };
  for (int n = 0; n < 3000; ++n) {
    double a[2] = {value(), value()}, b[2] = {value(), value()};
    double c[2] = {value(), value()}, d[2] = {value(), value()};
    if (n % 3 == 0) {  // collinear by construction with exactly halved coordinates
      c[0] = a[0] * 0.5 + 0.0, c[1] = a[1] * 0.5;
      b[0] = 0, b[1] = 0;
    }
    const int o = exact_orient_sign(a, b, c);
    ASSERT_EQ(sign_of(orient2dadapt(a, b, c, 1e300)), o) << n;
    ASSERT_EQ(sign_of(orient2d(a, b, c)), o) << n;
    const int ic = exact_incircle_sign(a, b, c, d);
    ASSERT_EQ(sign_of(incircleadapt(a, b, c, d, 1e300)), ic) << n;
    ASSERT_EQ(sign_of(incircle(a, b, c, d)), ic) << n;
  }
}

// Degenerate on purpose while no coordinate difference fits a double: two
// equal rows make the in-circle determinant exactly zero, and the stages that
// add round-off terms must not invent a sign.
TEST_F(Predicates, DegenerateWithInexactDifferencesIsZero) {
  const double small = std::ldexp(1.0, -60), big = std::ldexp(1.0, 40);
  const double a[2] = {small, 3}, c[2] = {big, 1 + std::ldexp(1.0, -40)};
  const double d[2] = {-big, std::ldexp(1.0, -50)};
  EXPECT_EQ(exact_incircle_sign(a, a, c, d), 0);
  EXPECT_EQ(sign_of(incircle(a, a, c, d)), 0);
  EXPECT_EQ(sign_of(incircle(a, c, a, d)), 0);
  EXPECT_EQ(sign_of(incircleadapt(a, a, c, d, 1e300)), 0);
  // Cocircular far out: the circle of radius 2^40 through the axes' points.
  const double r = big;
  const double p0[2] = {r, 0}, p1[2] = {0, r}, p2[2] = {-r, 0}, p3[2] = {0, -r};
  EXPECT_EQ(sign_of(incircle(p0, p1, p2, p3)), 0);
  const double p3in[2] = {0, -r + std::ldexp(1.0, -12)};
  EXPECT_EQ(sign_of(incircle(p0, p1, p2, p3in)), 1);
  EXPECT_EQ(exact_incircle_sign(p0, p1, p2, p3in), 1);
}

TEST_F(Predicates, ExpansionArithmetic) {
  // 2^60 + 1 - 2^60 with every round-off kept: the sum must come out exactly.
  const double e[2] = {1.0, std::ldexp(1.0, 60)};
  const double f[1] = {-std::ldexp(1.0, 60)};
  double h[3];
  const int hlen = fast_expansion_sum_zeroelim(2, e, 1, f, h);
  ASSERT_EQ(hlen, 1);
  EXPECT_EQ(h[0], 1.0);
  EXPECT_EQ(estimate(hlen, h), 1.0);
  // (2^53 + 1) * 3 = 3 * 2^53 + 3 needs two doubles: the nearest double
  // 3 * 2^53 + 4 and the correction -1.
  const double g[2] = {1.0, std::ldexp(1.0, 53)};
  double p[4];
  const int plen = scale_expansion_zeroelim(2, g, 3.0, p);
  ASSERT_EQ(plen, 2);
  EXPECT_EQ(p[0], -1.0);
  EXPECT_EQ(p[1], 3.0 * std::ldexp(1.0, 53) + 4.0);
  // A zero result is one zero component.
  const double z[1] = {0.0};
  EXPECT_EQ(scale_expansion_zeroelim(1, z, 5.0, p), 1);
  EXPECT_EQ(p[0], 0.0);
}

}  // namespace
