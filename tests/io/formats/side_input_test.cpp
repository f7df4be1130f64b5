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

// The one choice of quantization for a box of points: the preferred scale
// factor where it holds the box, else the first coarser decimal one; what is
// requested stays, or the box is refused.
TEST(SideInput, QuantizationHoldsTheBoxOrIsRefused) {
  struct Case {
    const char* name;
    double min, max;    // of x; y and z hold 0..1
    double preferred;   // of x
    double rescale;     // 0: none requested
    bool reoffset;      // to 0
    double scale;       // expected of x, when held
    double offset;      // expected of x, when held
    const char* error;  // when refused
  };
  const Case cases[] = {
      {"degrees", -179.9, 179.9, 1e-7, 0, false, 1e-7, 0.0, nullptr},
      {"local metres as degrees", -300.0, 300.0, 1e-7, 0, false, 1e-6, 0.0, nullptr},
      {"plus minus 360", -359.9, 359.9, 1e-7, 0, false, 1e-6, 0.0, nullptr},
      {"3e7 alone", 3e7, 3e7, 0.01, 0, false, 0.01, 3e7, nullptr},
      {"plus minus 3e7", -3e7, 3e7, 0.01, 0, false, 0.1, 0.0, nullptr},
      {"UTM", 4.83e6, 4.84e6, 0.01, 0, false, 0.01, 4800000.0, nullptr},
      {"UTM reoffset 0", 4.83e6, 4.84e6, 0.01, 0, true, 0.01, 0.0, nullptr},
      {"UTM millimetres reoffset 0", 4.83e6, 4.84e6, 0.001, 0, true, 0.01, 0.0, nullptr},
      {"UTM rescale 0.001", 4.83e6, 4.84e6, 0.01, 0.001, false, 0.001, 4830000.0, nullptr},
      {"UTM rescale 0.001 reoffset 0", 4.83e6, 4.84e6, 0.01, 0.001, true, 0, 0,
       "ERROR: rescaling from 0.01 to 0.001 and reoffsetting from 4.8e+06 to 0 causes LAS "
       "integer overflow for min_x\n"},
      {"plus minus 3e7 rescale 0.01", -3e7, 3e7, 0.01, 0.01, false, 0, 0,
       "ERROR: rescaling from 0.1 to 0.01 causes LAS integer overflow for min_x\n"},
      {"beyond a quantum of 1", -3e9, 3e9, 0.01, 0, false, 0, 0,
       "ERROR: min_x = -3e+09 cannot be held by a 32-bit integer at a scale factor of 1\n"},
  };
  for (const Case& c : cases) {
    LASheader h;
    h.min_x = c.min;
    h.max_x = c.max;
    h.min_y = h.min_z = 0.0;
    h.max_y = h.max_z = 1.0;
    LASrequestedQuantizer requested;
    const double rescale[3] = {c.rescale, 0.0, 0.0};
    const double zero[3] = {0.0, 0.0, 0.0};
    if (c.rescale != 0) requested.set_scale_factor(rescale);
    if (c.reoffset) requested.set_offset(zero);
    const double preferred[3] = {c.preferred, 0.01, 0.01};
    testing::internal::CaptureStderr();
    const bool held = side_fit_quantization(&h, preferred, requested);
    const std::string err = testing::internal::GetCapturedStderr();
    if (c.error) {
      EXPECT_FALSE(held) << c.name;
      EXPECT_EQ(err, c.error) << c.name;
      continue;
    }
    ASSERT_TRUE(held) << c.name << err;
    EXPECT_EQ(h.x_scale_factor, c.scale) << c.name;
    EXPECT_EQ(h.x_offset, c.offset) << c.name;
    EXPECT_EQ(h.y_scale_factor, 0.01) << c.name;
    const double xyz[2][3] = {{c.min, 0.0, 0.0}, {c.max, 1.0, 1.0}};
    EXPECT_TRUE(side_coordinates_fit(h, xyz[0]) && side_coordinates_fit(h, xyz[1])) << c.name;
  }
}

}  // namespace
