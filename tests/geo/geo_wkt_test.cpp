// Well-known text fixtures, written by hand in the OGC and the ESRI styles.
#include <gtest/gtest.h>

#include <string>

#include "geo/las_geo_projector.hpp"
#include "hand_tables.hpp"
#include "wkt_fixtures.hpp"

namespace {

TEST(WktReader, OwnAuthorityDecidesAndParametersAreNotRead) {
  HandTables tables;  // 26915 is a built-in code: no table is read
  LASgeoProjector geo;
  std::string d;
  ASSERT_TRUE(geo.set_projection_from_ogc_wkt(kUtmWithAuthority, &d));
  EXPECT_EQ(d, "NAD83 / UTM 15N");
  const ProjectionRecord* p = geo.get_projection(true);
  EXPECT_EQ(p->kind, ProjectionKind::UTM);
  EXPECT_EQ(p->utm_zone, 15);
  EXPECT_EQ(p->epsg_code, 26915);
}

// A text without authority in US survey feet: the distances become metres and the units are
// those of the text.
TEST(WktReader, EsriStyleInSurveyFeet) {
  LASgeoProjector geo;
  ASSERT_TRUE(geo.set_projection_from_ogc_wkt(kEsriLambertInSurveyFeet, nullptr));
  const ProjectionRecord* p = geo.get_projection(true);
  EXPECT_EQ(p->kind, ProjectionKind::LambertConformalConic);
  EXPECT_EQ(p->description, "Lambert Conformal Conic");
  EXPECT_EQ(p->false_easting, 1640416.667 * 0.3048006096012192);
  EXPECT_NEAR(p->false_easting, 500000.0001, 1e-4);
  EXPECT_EQ(p->latitude, 45.33333333333334);
  EXPECT_EQ(p->longitude, -120.5);
  EXPECT_EQ(p->parallel_1, 45.83333333333334);
  EXPECT_EQ(p->parallel_2, 47.33333333333334);
  EXPECT_TRUE(geo.horizontal_units_set(true));
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), EPSG_UNIT_SURVEY_FOOT);
  EXPECT_FALSE(geo.vertical_units_set(true));
}

// The UNIT of the projected system names the units whatever the projection, also where the
// reader takes no parameters (and so sets no projection) or the authority's code is unknown.
TEST(WktReader, UnitsOfEveryProjection) {
  HandTables tables;  // empty: no code is known from a table
  const std::string unknown_code =
      std::string(kEsriDoubleStereographicInFeet)
          .insert(std::string(kEsriDoubleStereographicInFeet).size() - 1,
                  ",AUTHORITY[\"EPSG\",\"5588\"]");
  const struct {
    const char* name;
    std::string text;
    bool projection;
    uint16_t unit;
  } cases[] = {
      {"Hotine, feet", kEsriHotineInFeet, false, EPSG_UNIT_FOOT},
      {"Hotine, US survey feet", kEsriHotineInSurveyFeet, false, EPSG_UNIT_SURVEY_FOOT},
      {"double stereographic", kEsriDoubleStereographicInFeet, false, EPSG_UNIT_FOOT},
      {"Lambert, one parallel", kEsriLambertOneParallelInFeet, false, EPSG_UNIT_FOOT},
      {"unknown authority", unknown_code, false, EPSG_UNIT_FOOT},
      {"Lambert, two parallels", kEsriLambertInSurveyFeet, true, EPSG_UNIT_SURVEY_FOOT},
      {"Albers, metres", kAlbers, true, EPSG_UNIT_METRE},
  };
  for (const auto& c : cases) {
    LASgeoProjector geo;
    testing::internal::CaptureStderr();
    EXPECT_EQ(geo.set_projection_from_ogc_wkt(c.text.c_str(), nullptr), c.projection) << c.name;
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(geo.has_projection(true), c.projection) << c.name;
    EXPECT_TRUE(geo.horizontal_units_set(true)) << c.name;
    EXPECT_EQ(geo.get_horizontal_unit_epsg(true), c.unit) << c.name;
    EXPECT_FALSE(geo.vertical_units_set(true)) << c.name;
  }
}

TEST(WktReader, CompoundTextWithVerticalSystem) {
  LASgeoProjector geo;
  ASSERT_TRUE(geo.set_projection_from_ogc_wkt(kLambert2spInFeetWithVertical, nullptr));
  const ProjectionRecord* p = geo.get_projection(true);
  EXPECT_EQ(p->kind, ProjectionKind::LambertConformalConic);  // matched by its prefix
  EXPECT_EQ(p->false_easting, 1500000 * 0.3048);
  EXPECT_EQ(p->false_northing, 1000000 * 0.3048);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), EPSG_UNIT_FOOT);
  EXPECT_EQ(geo.get_vertical_code(), 5103);
  EXPECT_EQ(geo.get_vertical_unit_epsg(true), EPSG_UNIT_SURVEY_FOOT);
}

TEST(WktReader, VerticalOnlySetsTheVerticalSide) {
  LASgeoProjector geo;
  EXPECT_FALSE(geo.set_projection_from_ogc_wkt(kVerticalOnly, nullptr));
  EXPECT_EQ(geo.get_vertical_code(), 5103);
  EXPECT_EQ(geo.get_vertical_unit_epsg(true), EPSG_UNIT_SURVEY_FOOT);
  EXPECT_FALSE(geo.has_projection(true));

  const struct {
    const char* unit;
    uint16_t code;
  } units[] = {{"1", 9001}, {"1.0", 9001}, {"0.3048", 9002}, {"0.30480060960121924", 9003}};
  for (const auto& u : units) {
    const std::string text = std::string(
                                 "VERT_CS[\"h\",VERT_DATUM[\"d\",2005,AUTHORITY[\"EPSG\","
                                 "\"5215\"]],UNIT[\"u\",") +
                             u.unit + "]]";
    LASgeoProjector g;
    EXPECT_FALSE(g.set_projection_from_ogc_wkt(text.c_str(), nullptr));
    EXPECT_EQ(g.get_vertical_code(), 5215) << text;
    EXPECT_EQ(g.get_vertical_unit_epsg(true), u.code) << text;
  }
}

TEST(WktReader, GeographicAndGeocentricTextsSetNothing) {
  for (const char* text : {kGeographicOnly, kGeocentric, "", "PROJCS[", "PROJCS[\"x\""}) {
    LASgeoProjector geo;
    EXPECT_FALSE(geo.set_projection_from_ogc_wkt(text, nullptr)) << text;
    EXPECT_FALSE(geo.has_projection(true));
    EXPECT_FALSE(geo.horizontal_units_set(true));
    EXPECT_EQ(geo.get_gcs_code(), 4326);
  }
}

TEST(WktReader, AlbersAndTransverseMercatorParameters) {
  LASgeoProjector geo;
  ASSERT_TRUE(geo.set_projection_from_ogc_wkt(kAlbers, nullptr));
  const ProjectionRecord* p = geo.get_projection(true);
  EXPECT_EQ(p->kind, ProjectionKind::AlbersEqualAreaConic);
  EXPECT_EQ(p->latitude, 23);
  EXPECT_EQ(p->longitude, -96);
  EXPECT_EQ(p->parallel_2, 45.5);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), EPSG_UNIT_METRE);

  // The UTM text without its authority is read from its parameters.
  std::string text = kUtmWithAuthority;
  text.erase(text.rfind(",AUTHORITY"));
  text += "]";
  ASSERT_TRUE(geo.set_projection_from_ogc_wkt(text.c_str(), nullptr));
  p = geo.get_projection(true);
  EXPECT_EQ(p->kind, ProjectionKind::TransverseMercator);
  EXPECT_EQ(p->scale, 0.9996);
  EXPECT_EQ(p->false_easting, 500000);
  EXPECT_EQ(p->longitude, -93);
}

TEST(WktReader, MissingParameterSetsNothing) {
  std::string text = kUtmWithAuthority;
  text.erase(text.rfind(",AUTHORITY"));
  text += "]";
  text.replace(text.find("scale_factor"), 12, "scale_faktor");
  LASgeoProjector geo;
  EXPECT_FALSE(geo.set_projection_from_ogc_wkt(text.c_str(), nullptr));
  EXPECT_FALSE(geo.has_projection(true));
  std::string other = text;
  other.replace(other.find("Transverse_Mercator"), 19, "Mercator_1SP");
  EXPECT_FALSE(geo.set_projection_from_ogc_wkt(other.c_str(), nullptr));
}

// Authority numbers beyond 16 bits name no code of the tables; they are not cut to one.
TEST(WktReader, AuthorityBeyondSixteenBits) {
  HandTables tables;
  LASgeoProjector geo;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(geo.set_projection_from_ogc_wkt(
      "PROJCS[\"x\",PROJECTION[\"Transverse_Mercator\"],AUTHORITY[\"EPSG\",\"98168\"]]", nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "EPSG code 98168 not found in 'pcs.csv' file\n");
  EXPECT_FALSE(geo.has_projection(true));
}

TEST(WktScanning, ParameterValues) {
  const struct {
    const char* text;
    const char* name;
    bool found;
    double value;
  } cases[] = {
      {"PARAMETER[\"false_easting\",500000]", "false_easting", true, 500000},
      {"PARAMETER[\"false_easting\", -12.5e3 ]", "false_easting", true, -12500},
      {"PARAMETER[\"false_easting\"]", "false_easting", false, 0},
      {"PARAMETER[\"false_easting\",x,7]", "false_easting", true, 7},
      {"PARAMETER[\"a\",1]", "false_easting", false, 0},
      {"UNIT[\"Foot_US\",0.3048006096012192]", "UNIT[", true, 0.3048006096012192},
  };
  for (const auto& c : cases) {
    double value = 0;
    EXPECT_EQ(wkt_parameter_value(c.text, c.name, &value), c.found) << c.text;
    if (c.found) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
  double unit;
  EXPECT_TRUE(wkt_unit_value("X[UNIT[\"m\",1]]", &unit));
  EXPECT_EQ(unit, 1.0);
}

}  // namespace
