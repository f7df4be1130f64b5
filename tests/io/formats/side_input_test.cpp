// What the side-format readers share: the creation day, the default scale
// factors, requested quantization with a 0 on an axis, and the check that a
// box fits 32-bit integers.

#include <gtest/gtest.h>

#include <string>

#include "core/las_header.hpp"
#include "io/formats/side_input.hpp"

namespace {

TEST(SideInput, DayOfYearWithTheFullLeapYearRule) {
  struct Case {
    int year, month, day, expected;
  };
  const Case cases[] = {
      {2023, 1, 1, 1},     {2023, 3, 1, 60},    {2024, 3, 1, 61},    {2024, 2, 29, 60},
      {2000, 3, 1, 61},    {2100, 3, 1, 60},    {1900, 12, 31, 365}, {2000, 12, 31, 366},
      {2024, 12, 31, 366}, {2023, 12, 31, 365},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(side_day_of_year(c.year, c.month, c.day), c.expected)
        << c.year << "-" << c.month << "-" << c.day;
  }
}

TEST(SideInput, DefaultScaleFactorsAndRequestedOnes) {
  LASheader h;
  h.min_x = 12.5;
  h.max_x = 13.5;
  h.min_y = -47.0;
  h.max_y = -46.0;
  h.min_z = 100.0;
  h.max_z = 200.0;
  double scale[3];
  side_default_scale_factors(h, 0.01, 0.001, scale);
  EXPECT_EQ(scale[0], 1e-7);
  EXPECT_EQ(scale[1], 1e-7);
  EXPECT_EQ(scale[2], 0.01);
  h.max_x = 360.0;  // no longer degrees
  side_default_scale_factors(h, 0.01, 0.001, scale);
  EXPECT_EQ(scale[0], 0.01);
  EXPECT_EQ(scale[1], 0.001);

  // A 0 from "-rescale_xy" or "-rescale_z" keeps the default of that axis.
  struct Case {
    double requested[3];
    double expected[3];
  };
  const Case cases[] = {
      {{0.001, 0.001, 0.0}, {0.001, 0.001, 0.01}},
      {{0.0, 0.0, 0.0001}, {0.01, 0.001, 0.0001}},
  };
  for (const Case& c : cases) {
    LASrequestedQuantizer requested;
    requested.set_scale_factor(c.requested);
    requested.apply(&h, scale);
    EXPECT_EQ(h.x_scale_factor, c.expected[0]);
    EXPECT_EQ(h.y_scale_factor, c.expected[1]);
    EXPECT_EQ(h.z_scale_factor, c.expected[2]);
    // Offsets near the box's centre, whole multiples of 10^7 scale factors.
    EXPECT_EQ(h.z_offset, 0.0);
  }
  LASheader r;
  r.x_scale_factor = 0.5;
  LASrequestedQuantizer requested;
  const double rescale[3] = {0.0, 0.25, 0.0};
  const double reoffset[3] = {1.0, 2.0, 0.0};
  requested.set_scale_factor(rescale);
  requested.set_offset(reoffset);
  requested.replace(&r);
  EXPECT_EQ(r.x_scale_factor, 0.5);
  EXPECT_EQ(r.y_scale_factor, 0.25);
  EXPECT_EQ(r.x_offset, 1.0);
  EXPECT_EQ(r.y_offset, 2.0);
}

TEST(SideInput, BoundsThatDoNotFitAreNamed) {
  LASheader h;
  h.min_x = -21474836.48;
  h.max_x = 21474836.47;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(side_bounds_fit(h));
  h.max_y = 21474836.48;
  EXPECT_FALSE(side_bounds_fit(h));
  h.max_y = 0.0;
  h.min_z = -21474836.5;
  EXPECT_FALSE(side_bounds_fit(h));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: max_y = 2.14748e+07 does not fit a 32-bit integer with scale factor 0.01 and "
            "offset 0\n"
            "ERROR: min_z = -2.14748e+07 does not fit a 32-bit integer with scale factor 0.01 and "
            "offset 0\n");
}

}  // namespace
