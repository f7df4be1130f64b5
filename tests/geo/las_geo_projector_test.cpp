// The projector's model: units of both sides and what callers read from them.
#include <gtest/gtest.h>

#include <string>

#include "geo/las_geo_projector.hpp"

namespace {

TEST(GeoProjectorUnits, FreshObject) {
  LASgeoProjector geo;
  for (bool source : {true, false}) {
    EXPECT_EQ(geo.get_horizontal_unit_epsg(source), EPSG_UNIT_METRE);
    EXPECT_EQ(geo.get_vertical_unit_epsg(source), EPSG_UNIT_METRE);
    EXPECT_FALSE(geo.has_projection(source));
    EXPECT_FALSE(geo.horizontal_units_set(source));
    EXPECT_FALSE(geo.vertical_units_set(source));
  }
  EXPECT_EQ(geo.get_gcs_code(), 4326);
  EXPECT_STREQ(geo.get_gcs_name(), "WGS 84");
  EXPECT_STREQ(geo.get_ellipsoid_name(), "WGS-84");
  EXPECT_EQ(geo.get_vertical_code(), 0);
  EXPECT_EQ(geo.get_geoid_code(), 0);
  EXPECT_EQ(geo.get_target_precision(), 0.0);
}

// Each setter on each side: the factor it stores, the code read back, and that the other side
// and the other dimension stay untouched.
TEST(GeoProjectorUnits, SettersStoreTheirFactorsAndCodes) {
  using Setter = bool (LASgeoProjector::*)(bool);
  const struct {
    Setter set;
    bool horizontal;
    bool source;
    double factor;
    uint16_t code;
  } cases[] = {
      {&LASgeoProjector::set_horizontal_meter, true, true, 1.0, 9001},
      {&LASgeoProjector::set_horizontal_feet, true, true, 0.3048, 9002},
      {&LASgeoProjector::set_horizontal_feet, true, false, 3.280839895013123, 9002},
      {&LASgeoProjector::set_horizontal_survey_feet, true, true, 0.3048006096012, 9003},
      {&LASgeoProjector::set_horizontal_survey_feet, true, false, 3.28083333333354, 9003},
      {&LASgeoProjector::set_vertical_meter, false, false, 1.0, 9001},
      {&LASgeoProjector::set_vertical_feet, false, true, 0.3048, 9002},
      {&LASgeoProjector::set_vertical_feet, false, false, 3.280839895013123, 9002},
      {&LASgeoProjector::set_vertical_survey_feet, false, true, 0.3048006096012, 9003},
      {&LASgeoProjector::set_vertical_survey_feet, false, false, 3.28083333333354, 9003},
  };
  for (const auto& c : cases) {
    LASgeoProjector geo;
    EXPECT_EQ((geo.*c.set)(c.source), c.source);
    const bool s = c.source;
    if (c.horizontal) {
      EXPECT_EQ(geo.horizontal_factor(s), c.factor);
      EXPECT_EQ(geo.get_horizontal_unit_epsg(s), c.code);
      EXPECT_TRUE(geo.horizontal_units_set(s));
      EXPECT_FALSE(geo.vertical_units_set(s));
      EXPECT_EQ(geo.get_vertical_unit_epsg(s), 9001);
    } else {
      EXPECT_EQ(geo.vertical_factor(s), c.factor);
      EXPECT_EQ(geo.get_vertical_unit_epsg(s), c.code);
      EXPECT_TRUE(geo.vertical_units_set(s));
      EXPECT_FALSE(geo.horizontal_units_set(s));
    }
    EXPECT_FALSE(geo.horizontal_units_set(!s) || geo.vertical_units_set(!s));
    EXPECT_EQ(geo.get_horizontal_unit_epsg(!s), 9001);
  }
}

TEST(GeoProjectorUnits, FeetFactorOfTheOtherSideReadsAsSurveyFeet) {
  // The code compares exactly with the side's own foot factor; anything else is survey feet.
  LASgeoProjector geo;
  geo.set_horizontal_feet(false);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(false), 9002);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9001);
}

TEST(GeoProjectorUnits, GeographicSidesReportDegrees) {
  LASgeoProjector geo;
  geo.set_horizontal_feet(true);
  geo.set_longlat_projection(nullptr, true);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9000);
  geo.set_latlong_projection(nullptr, true);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9000);
  geo.set_ecef_projection(nullptr, true);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9002);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(false), 9001);
}

TEST(GeoProjectorUnits, ResetsGiveBackMetresAndClearTheFlags) {
  LASgeoProjector geo;
  geo.set_horizontal_survey_feet(true);
  geo.set_vertical_feet(true);
  geo.set_horizontal_feet(false);
  geo.reset_horizontal_units(true);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9001);
  EXPECT_FALSE(geo.horizontal_units_set(true));
  EXPECT_TRUE(geo.vertical_units_set(true));
  EXPECT_EQ(geo.get_horizontal_unit_epsg(false), 9002);
  geo.reset_vertical_units(true);
  EXPECT_EQ(geo.get_vertical_unit_epsg(true), 9001);
  EXPECT_FALSE(geo.vertical_units_set(true));
}

TEST(GeoProjectorProjections, ASecondProjectionReplacesTheFirst) {
  LASgeoProjector geo;
  geo.set_lcc_projection(1, 2, 3, 4, 5, 6, nullptr, true);
  geo.set_tm_projection(1, 2, 3, 4, 1, nullptr, true);
  EXPECT_EQ(geo.get_projection(true)->kind, ProjectionKind::TransverseMercator);
  EXPECT_FALSE(geo.has_projection(false));
  geo.reset_projection(true);
  EXPECT_FALSE(geo.has_projection(true));
  geo.reset_projection(true);  // nothing to reset
  EXPECT_FALSE(geo.has_projection(true));
}

}  // namespace
