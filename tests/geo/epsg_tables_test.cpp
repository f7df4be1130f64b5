// EPSG codes: built-in codes, unit conversions, and the three tables, both small hand-made ones
// and the ones the build generated.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "arg_vector.hpp"
#include "geo/las_geo_projector.hpp"
#include "hand_tables.hpp"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

TEST(EpsgUnits, AnglesToDegrees) {
  const struct {
    double value;
    int unit;
    double degrees;
  } cases[] = {
      {45.5, 9102, 45.5},
      {100, 9105, 90},  // grads
      {-50, 9105, -45},
      {46.48, 9110, 46.8},  // 46 deg 48 min
      {10.3, 9110, 10.5},
      {46.570866, 9110, 46 + 57 / 60.0 + 8.66 / 3600},
      {7.26225, 9110, 7 + 26 / 60.0 + 22.5 / 3600},
      {-79.0, 9110, -79},
      {-0.3020, 9110, -(30 / 60.0 + 20 / 3600.0)},
      {-122.3, 9110, -122.5},
      {0.0, 9110, 0},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(angle_to_degrees(c.value, c.unit), c.degrees, 1e-12) << c.value << " " << c.unit;
  }
}

TEST(EpsgUnits, LengthsToMeters) {
  const struct {
    double value;
    int unit;
    double meters;
  } cases[] = {{1000, 9001, 1000},
               {1000, 9002, 304.8},
               {1000, 9003, 304.8006096012},
               {2000000, 9003, 609601.2192024}};
  for (const auto& c : cases) {
    EXPECT_NEAR(length_to_meters(c.value, c.unit), c.meters, 1e-9) << c.value << " " << c.unit;
  }
}

TEST(EpsgUnits, UnknownUnitsAreReportedAndGiveZero) {
  CaptureStderr();
  EXPECT_EQ(angle_to_degrees(12, 9122), 0.0);
  EXPECT_EQ(length_to_meters(12, 9005), 0.0);
  EXPECT_EQ(GetCapturedStderr(), "ERROR: unit 9122 not known\nERROR: unit 9005 not known\n");
}

TEST(EpsgEllipsoids, CodesMapToTheBuiltInTable) {
  const int cases[][2] = {{7001, 1},  {7002, 16}, {7003, 2},  {7004, 3},  {7005, 3},  {7006, 4},
                          {7046, 4},  {7008, 5},  {7009, 5},  {7010, 6},  {7014, 6},  {7034, 6},
                          {7015, 7},  {7017, 7},  {7018, 17}, {7019, 11}, {7020, 12}, {7021, 24},
                          {7022, 14}, {7023, 14}, {7024, 15}, {7030, 23}, {7043, 22}, {7048, -1},
                          {7007, -1}, {0, -1}};
  for (const auto& c : cases) EXPECT_EQ(ellipsoid_id_from_epsg(c[0]), c[1]) << c[0];
}

// Built-in codes need no table (the hand-made folder is empty).
TEST(EpsgBuiltIn, UtmAndMgaRanges) {
  HandTables tables;
  ASSERT_TRUE(tables.ok());
  const struct {
    uint16_t code;
    int gcs;
    int zone;
    bool northern;
    const char* description;
  } cases[] = {
      {32632, 4326, 32, true, "WGS 84 / UTM 32N"},
      {32760, 4326, 60, false, "WGS 84 / UTM 60S"},
      {28355, 4283, 55, false, "GDA94 / MGA 55S"},
      {7855, 7844, 55, false, "GDA2020 / MGA 55S"},
      {3158, 4617, 14, true, "NAD83(CSRS) / UTM 14N"},
      {3157, 4617, 10, true, "NAD83(CSRS) / UTM 10N"},
      {26915, 4269, 15, true, "NAD83 / UTM 15N"},
      {25832, 4258, 32, true, "ETRS89 / UTM 32N"},
      {29185, 4291, 25, false, "SAD69 / UTM 25S"},
      {32401, 4324, 1, true, "WGS 72BE / UTM 1N"},
      {26703, 4267, 3, true, "NAD27 / UTM 3N"},
  };
  for (const auto& c : cases) {
    LASgeoProjector geo;
    std::string description;
    ASSERT_TRUE(geo.set_epsg_code(c.code, &description, true)) << c.code;
    EXPECT_EQ(description, c.description);
    const ProjectionRecord* p = geo.get_projection(true);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->kind, ProjectionKind::UTM);
    EXPECT_EQ(p->utm_zone, c.zone);
    EXPECT_EQ(p->utm_northern, c.northern);
    EXPECT_EQ(p->epsg_code, c.code);
    EXPECT_EQ(p->gcs_code, c.gcs);
    EXPECT_EQ(geo.get_gcs_code(), c.gcs);
    EXPECT_FALSE(geo.horizontal_units_set(true)) << "UTM codes leave the units alone";
  }
}

TEST(EpsgBuiltIn, GeographicGeocentricAndTheTwoGrids) {
  HandTables tables;
  ASSERT_TRUE(tables.ok());
  LASgeoProjector geo;
  std::string d;
  ASSERT_TRUE(geo.set_epsg_code(4326, &d, true));
  EXPECT_EQ(geo.get_projection(true)->kind, ProjectionKind::LongLat);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9000);
  ASSERT_TRUE(geo.set_epsg_code(4978, &d, false));
  EXPECT_EQ(geo.get_projection(false)->kind, ProjectionKind::ECEF);
  EXPECT_EQ(geo.get_projection(false)->epsg_code, 4978);

  geo.set_horizontal_feet(true);
  ASSERT_TRUE(geo.set_epsg_code(21781, &d, true));
  EXPECT_EQ(d, "CH1903");
  const ProjectionRecord* p = geo.get_projection(true);
  EXPECT_EQ(p->description, "CH1903 / LV03");
  EXPECT_EQ(p->kind, ProjectionKind::TransverseMercator);
  EXPECT_EQ(p->false_easting, 600000);
  EXPECT_EQ(p->latitude, 46.95240555555556);
  EXPECT_STREQ(geo.get_ellipsoid_name(), "Bessel 1841");
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9001);

  ASSERT_TRUE(geo.set_epsg_code(23700, &d, true));
  EXPECT_EQ(d, "HD72");
  EXPECT_EQ(geo.get_projection(true)->scale, 0.99993);
  EXPECT_STREQ(geo.get_ellipsoid_name(), "GRS 1967");
}

TEST(EpsgBuiltIn, KnownGeographicSystemsAndVerticalDatums) {
  HandTables tables;
  ASSERT_TRUE(tables.ok());
  LASgeoProjector geo;
  std::string d;
  ASSERT_TRUE(geo.set_gcs(4277, &d));
  EXPECT_EQ(d, "OSGB1936");
  EXPECT_STREQ(geo.get_ellipsoid_name(), "Airy");
  ASSERT_TRUE(geo.set_gcs(4759, &d));
  EXPECT_EQ(d, "NAD83(NSRS2007)");
  ASSERT_TRUE(geo.set_VerticalCSTypeGeoKey(5103, &d));
  EXPECT_EQ(d, "North American Vertical Datum 1988");
  ASSERT_TRUE(geo.set_VerticalCSTypeGeoKey(5050, &d));
  EXPECT_EQ(d, "Some Ellipsoid Vertical Datum");
  EXPECT_EQ(geo.get_vertical_code(), 5050);
  EXPECT_FALSE(geo.vertical_units_set(true));
}

TEST(EpsgTables, MissingTablesAreReportedEachTime) {
  HandTables tables;
  ASSERT_TRUE(tables.ok());
  LASgeoProjector geo;
  for (int k = 0; k < 2; k++) {
    CaptureStderr();
    EXPECT_FALSE(geo.set_epsg_code(26941, nullptr, true));
    const std::string err = GetCapturedStderr();
    // Without a program name the folder searched is zuze/geo below the current one.
    EXPECT_EQ(err,
              "ERROR: cannot open 'pcs.csv' file. maybe your Mirvelox distribution\n"
              "       has no ./zuze/geo/pcs.csv file. 'cmake --install' puts the\n"
              "       EPSG tables into zuze/geo beside the installed programs.\n");
  }
  CaptureStderr();
  EXPECT_FALSE(geo.set_gcs(4619));
  EXPECT_FALSE(geo.set_VerticalCSTypeGeoKey(5703, nullptr));
  const std::string err = GetCapturedStderr();
  EXPECT_NE(err.find("ERROR: cannot open 'gcs.csv' file."), std::string::npos);
  EXPECT_NE(err.find(" has no ./zuze/geo/vertcs.csv file."), std::string::npos);
  EXPECT_EQ(LASgeoProjector::open_csv(nullptr, true, false), nullptr);
}

class HandTablesTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tables.ok());
    tables.write("gcs.csv",
                 "4150,\"CH1903+\",6150,\"CH1903+\",8901,6422,7004\n"
                 "4289,\"Amersfoort\",6289,\"Amersfoort\",8901,6422,7004\n"
                 "4901,\"ATF (Paris)\",6901,\"Ancienne Triangulation, Francaise\",8903,6403,7027\n"
                 "4902,\"NDG (Paris)\",6902,\"Nord de Guerre (Paris)\",8903,6403,7048\n"
                 "4619,\"SWEREF99\",6619,\"SWEREF99\",8901,6422,\n"
                 "4619,\"SWEREF99, second row\",6619,\"SWEREF99\",8901,6422,7019\n"
                 "4999,\"bad datum\",x,\"d\",8901,6422,7019\n"
                 "4998,\"A geographic system with a name far longer than twenty-seven\",1,\"d\","
                 "8901,6422,7030\n");
    tables.write("vertcs.csv",
                 "5703,\"NAVD88 height\",5103,\"North American Vertical Datum 1988\",9001,6499\n"
                 "6360,\"NAVD88 height (ftUS)\",5103,\"North American Vertical Datum 1988\",9003,"
                 "6497\n"
                 "5754,\"Poolbeg height (ft(Br36))\",5152,\"Poolbeg\",9095,6496\n"
                 "5755,\"unreadable\",5152,\"Poolbeg\",x,6496\n");
  }

  // Looks `code` up in a pcs.csv of these lines; the messages go to `err`.
  bool look_up(const std::string& lines, uint16_t code, std::string* err = nullptr) {
    tables.write("pcs.csv", lines);
    std::string description;
    CaptureStderr();
    const bool ok = geo.set_epsg_code(code, &description, true);
    const std::string messages = GetCapturedStderr();
    if (err) *err = messages;
    if (ok) {
      EXPECT_EQ(description, geo.get_projection(true)->description);
    }
    return ok;
  }

  HandTables tables;
  LASgeoProjector geo;
};

// Hotine variant B lists easting and northing at the centre (8816, 8817) after the angles and
// the scale; values are taken by their parameter codes, in whatever order a row gives them.
TEST_F(HandTablesTest, HotineValuesAreTakenByParameterCode) {
  const std::string ascending =
      "2056,\"CH1903+ / LV95\",9001,4150,19950,9815,0,4400,7,8811,46.570866,9110,8812,7.26225,"
      "9110,8813,90.0,9110,8814,90.0,9110,8815,1.0,9201,8816,2600000.0,9001,8817,1200000.0,9001\n";
  const std::string shuffled =
      "2056,\"CH1903+ / LV95\",9001,4150,19950,9815,0,4400,7,8817,1200000.0,9001,8815,1.0,9201,"
      "8811,46.570866,9110,8816,2600000.0,9001,8814,90.0,9110,8812,7.26225,9110,8813,90.0,9110\n";
  const std::string variant_a =
      "2056,\"CH1903+ / LV95\",9001,4150,19950,9812,0,4400,7,8806,2600000.0,9001,8807,1200000.0,"
      "9001,8811,46.570866,9110,8812,7.26225,9110,8813,90.0,9110,8814,90.0,9110,8815,1.0,9201\n";
  for (const std::string& row : {ascending, shuffled, variant_a}) {
    ASSERT_TRUE(look_up(row, 2056)) << row;
    const ProjectionRecord* p = geo.get_projection(true);
    EXPECT_EQ(p->kind, ProjectionKind::HotineObliqueMercator);
    EXPECT_EQ(p->description, "CH1903+ / LV95");
    EXPECT_EQ(p->false_easting, 2600000.0);
    EXPECT_EQ(p->false_northing, 1200000.0);
    EXPECT_NEAR(p->latitude, 46.9524055555, 1e-9);
    EXPECT_NEAR(p->longitude, 7.4395833333, 1e-9);
    EXPECT_EQ(p->azimuth, 90.0);
    EXPECT_EQ(p->angle, 90.0);
    EXPECT_EQ(p->scale, 1.0);
    EXPECT_EQ(p->epsg_code, 2056);
    EXPECT_EQ(geo.get_gcs_code(), 4150);
    EXPECT_STREQ(geo.get_gcs_name(), "CH1903+");
    EXPECT_STREQ(geo.get_ellipsoid_name(), "Bessel 1841");
  }
}

TEST_F(HandTablesTest, EveryMethodSetsItsProjection) {
  const struct {
    const char* row;
    ProjectionKind kind;
    double false_easting, latitude, longitude, parallel_1, parallel_2, scale;
  } cases[] = {
      {"27700,\"OSGB36 / British National Grid\",9001,4277,19916,9807,0,4400,5,8801,49.0,9102,"
       "8802,-2.0,9102,8805,0.9996012717,9201,8806,400000.0,9001,8807,-100000.0,9001\n",
       ProjectionKind::TransverseMercator, 400000, 49, -2, 0, 0, 0.9996012717},
      {"2264,\"NAD83 / North Carolina (ftUS)\",9003,4269,15346,9802,0,4497,6,8821,33.45,9110,"
       "8822,-79.0,9110,8823,36.1,9110,8824,34.2,9110,8826,2000000.0,9003,8827,0.0,9003\n",
       ProjectionKind::LambertConformalConic, 609601.2192024, 33.75, -79, 36 + 1 / 6.0,
       34 + 1 / 3.0, 1},
      {"5070,\"NAD83 / Conus Albers\",9001,4269,5068,9822,0,4499,6,8821,23.0,9102,8822,-96.0,"
       "9102,8823,29.5,9102,8824,45.5,9102,8826,0.0,9001,8827,0.0,9001\n",
       ProjectionKind::AlbersEqualAreaConic, 0, 23, -96, 29.5, 45.5, 1},
      {"28992,\"Amersfoort / RD New\",9001,4289,19914,9809,0,4499,5,8801,52.0922178,9110,8802,"
       "5.23155,9110,8805,0.9999079,9201,8806,155000.0,9001,8807,463000.0,9001\n",
       ProjectionKind::ObliqueStereographic, 155000, 52 + 9 / 60.0 + 22.178 / 3600,
       5 + 23 / 60.0 + 15.5 / 3600, 0, 0, 0.9999079},
  };
  for (const auto& c : cases) {
    const uint16_t code = uint16_t(std::atoi(c.row));
    ASSERT_TRUE(look_up(c.row, code)) << c.row;
    const ProjectionRecord* p = geo.get_projection(true);
    EXPECT_EQ(p->kind, c.kind) << code;
    EXPECT_NEAR(p->false_easting, c.false_easting, 1e-6) << code;
    EXPECT_NEAR(p->latitude, c.latitude, 1e-9) << code;
    EXPECT_NEAR(p->longitude, c.longitude, 1e-9) << code;
    if (c.kind == ProjectionKind::LambertConformalConic ||
        c.kind == ProjectionKind::AlbersEqualAreaConic) {
      EXPECT_NEAR(p->parallel_1, c.parallel_1, 1e-9) << code;
      EXPECT_NEAR(p->parallel_2, c.parallel_2, 1e-9) << code;
    } else {
      EXPECT_EQ(p->scale, c.scale) << code;
    }
    EXPECT_EQ(p->epsg_code, code);
  }
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9001);
  ASSERT_TRUE(look_up(cases[1].row, 2264));
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9003);
}

TEST_F(HandTablesTest, LambertWithOneParallelIgnoresItsScale) {
  std::string err;
  ASSERT_TRUE(
      look_up("27572,\"NTF (Paris) / Lambert zone II\",9001,4289,18082,9801,0,4499,5,8801,"
              "46.48,9110,8802,0.0,9102,8805,0.99987742,9201,8806,600000.0,9001,8807,"
              "2200000.0,9001\n",
              27572, &err));
  const ProjectionRecord* p = geo.get_projection(true);
  EXPECT_EQ(p->kind, ProjectionKind::LambertConformalConic);
  EXPECT_NEAR(p->latitude, 46.8, 1e-12);
  EXPECT_EQ(p->parallel_1, p->latitude);
  EXPECT_EQ(p->parallel_2, p->latitude);
  EXPECT_EQ(err,
            "\nWARNING: current implementation for Lambert Conic Conformal (1SP) ignores scale "
            "factor 0.99987742 and uses 1.0 instead\n");
}

TEST_F(HandTablesTest, RowsThatCannotBeUsedFailWithTheirMessage) {
  const std::string tm_row_start = "7000,\"T\",9001,4150,1,9807,0,4400,5,";
  const struct {
    std::string lines;
    uint16_t code;
    std::string message;
  } cases[] = {
      {"7001,\"other\",9001,4150,1,9807,0,4400,0\n", 7000,
       "EPSG code 7000 not found in 'pcs.csv' file\n"},
      {"7000,\"T\",x,4150,1,9807,0\n", 7000,
       "failed to scan units, gcs, and transform from '7000,\"T\",x,4150,1,9807,0\n'"},
      {"7000,\"T\",9036,4150,1,9807,0,4400,0\n", 7000,
       "set_ProjLinearUnitsGeoKey: look-up for 9036 not implemented\n"
       "units 9036 of EPSG code 7000 not implemented.\n"},
      {"7000,\"T\",9001,4777,1,9807,0,4400,0\n", 7000,
       "GCS 4777 of EPSG code 7000 not implemented.\n"},
      {"7000,\"T\",9001,4150,1,9820,0,4400,0\n", 7000,
       "transform 9820 of EPSG code 7000 not implemented.\n"},
      // a value missing
      {tm_row_start + "8801,0.0,9102,8802,9.0,9102,8805,1.0,9201,8806,500000.0,9001\n", 7000,
       "failed to scan TM parameters from '" + tm_row_start +
           "8801,0.0,9102,8802,9.0,9102,8805,1.0,9201,8806,500000.0,9001\n'\n"},
      // a distance in a unit that is not known would become 0
      {tm_row_start + "8801,0.0,9102,8802,9.0,9102,8805,1.0,9201,8806,500000.0,9005,8807,0,9001\n",
       7000,
       "ERROR: unit 9005 not known\nfailed to scan TM parameters from '" + tm_row_start +
           "8801,0.0,9102,8802,9.0,9102,8805,1.0,9201,8806,500000.0,9005,8807,0,9001\n'\n"},
      {tm_row_start + "8801,north,9102,8802,9.0,9102,8805,1.0,9201,8806,0,9001,8807,0,9001\n", 7000,
       "failed to scan TM parameters from '" + tm_row_start +
           "8801,north,9102,8802,9.0,9102,8805,1.0,9201,8806,0,9001,8807,0,9001\n'\n"},
  };
  for (const auto& c : cases) {
    std::string err;
    EXPECT_FALSE(look_up(c.lines, c.code, &err)) << c.lines;
    EXPECT_EQ(err, c.message) << c.lines;
  }
}

TEST_F(HandTablesTest, NamesMayHoldCommasAndLinesMayBeLong) {
  ASSERT_TRUE(
      look_up("7000,\"A, B / C\",9001,4150,1,9807,0,4400,5,8801,0.0,9102,8802,9.0,9102,"
              "8805,1.0,9201,8806,500000.0,9001,8807,0.0,9001\n",
              7000));
  EXPECT_EQ(geo.get_projection(true)->description, "A, B / C");
  // A line longer than any read buffer: its rest is no line of its own, even where it would
  // read as one.
  std::string long_line = "7001,\"" + std::string(2041, 'x');
  ASSERT_EQ(long_line.size(), 2047u);
  long_line +=
      "7000,\"fake\",9001,4150,1,9807,0,4400,5,8801,0.0,9102,8802,9.0,9102,8805,1.0,"
      "9201,8806,500000.0,9001,8807,0.0,9001\"\n";
  std::string err;
  EXPECT_FALSE(look_up(long_line, 7000, &err));
  EXPECT_EQ(err, "EPSG code 7000 not found in 'pcs.csv' file\n");
}

TEST_F(HandTablesTest, GeographicSystems) {
  std::string d;
  ASSERT_TRUE(geo.set_gcs(4289, &d));
  EXPECT_EQ(d, "Amersfoort");
  EXPECT_EQ(geo.get_gcs_code(), 4289);
  EXPECT_STREQ(geo.get_ellipsoid_name(), "Bessel 1841");
  // The first row has no readable ellipsoid, the second one is taken.
  ASSERT_TRUE(geo.set_gcs(4619, &d));
  EXPECT_EQ(d, "SWEREF99, second row");
  EXPECT_STREQ(geo.get_ellipsoid_name(), "GRS 1980");
  ASSERT_TRUE(geo.set_gcs(4998, &d));
  EXPECT_EQ(std::string(geo.get_gcs_name()),
            "A geographic system with a name far longer than twenty-seven");

  CaptureStderr();
  EXPECT_FALSE(geo.set_gcs(4902, &d));
  EXPECT_EQ(GetCapturedStderr(),
            "ERROR: ellipsoid with EPSG code 7048 for 'NDG (Paris)' not supported\n");
  for (int code : {4999, 4111}) {
    CaptureStderr();
    EXPECT_FALSE(geo.set_gcs(code, &d));
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(d, "unknown");
  }
}

TEST_F(HandTablesTest, VerticalSystems) {
  std::string d;
  ASSERT_TRUE(geo.set_VerticalCSTypeGeoKey(6360, &d));
  EXPECT_EQ(d, "NAVD88 height (ftUS)");
  EXPECT_EQ(geo.get_vertical_code(), 6360);
  EXPECT_EQ(geo.get_vertical_unit_epsg(true), 9003);
  ASSERT_TRUE(geo.set_VerticalCSTypeGeoKey(5703, &d));
  EXPECT_EQ(geo.get_vertical_unit_epsg(true), 9001);

  const struct {
    int code;
    std::string message;
  } failures[] = {
      {5754,
       "set_VerticalUnitsGeoKey: look-up for 9095 not implemented\n"
       "units 9095 of EPSG code 5754 not implemented.\n"},
      {5755, "failed to scan units from '5755,\"unreadable\",5152,\"Poolbeg\",x,6496\n'"},
      {5999,
       "EPSG code 5999 not found in 'vertcs.csv' file\n"
       "set_VerticalCSTypeGeoKey: look-up for 5999 not implemented\n"},
  };
  for (const auto& f : failures) {
    CaptureStderr();
    EXPECT_FALSE(geo.set_VerticalCSTypeGeoKey(f.code, &d));
    EXPECT_EQ(GetCapturedStderr(), f.message);
    EXPECT_EQ(geo.get_vertical_code(), 5703) << "unchanged";
  }
}

// The tables the build generated beside the programs (the test program's folder).
class GeneratedTables : public testing::Test {
 protected:
  void SetUp() override {
    ArgVector args({});
    ASSERT_TRUE(geo.parse(args.argc(), args.argv()));
  }
  LASgeoProjector geo;
};

TEST_F(GeneratedTables, StatePlaneInSurveyFeet) {
  std::string d;
  ASSERT_TRUE(geo.set_epsg_code(2264, &d, true));
  EXPECT_EQ(d, "NAD83 / North Carolina (ftUS)");
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), EPSG_UNIT_SURVEY_FOOT);
  const ProjectionRecord* p = geo.get_projection(true);
  EXPECT_EQ(p->kind, ProjectionKind::LambertConformalConic);
  EXPECT_NEAR(p->false_easting, 609601.2192, 1e-4);
  EXPECT_NEAR(p->latitude, 33.75, 1e-9);
  EXPECT_EQ(geo.get_gcs_code(), 4269);
}

TEST_F(GeneratedTables, SwissGridOfHotineVariantB) {
  ASSERT_TRUE(geo.set_epsg_code(2056, nullptr, true));
  const ProjectionRecord* p = geo.get_projection(true);
  EXPECT_EQ(p->kind, ProjectionKind::HotineObliqueMercator);
  EXPECT_EQ(p->false_easting, 2600000.0);
  EXPECT_EQ(p->false_northing, 1200000.0);
  EXPECT_NEAR(p->latitude, 46.9524055555, 1e-9);
  EXPECT_EQ(p->scale, 1.0);
}

TEST_F(GeneratedTables, GeographicAndVerticalRows) {
  std::string d;
  ASSERT_TRUE(geo.set_gcs(4619, &d));
  EXPECT_EQ(d, "SWEREF99");
  EXPECT_STREQ(geo.get_ellipsoid_name(), "GRS 1980");
  ASSERT_TRUE(geo.set_VerticalCSTypeGeoKey(6360, &d));
  EXPECT_EQ(d, "NAVD88 height (ftUS)");
  EXPECT_EQ(geo.get_vertical_unit_epsg(true), EPSG_UNIT_SURVEY_FOOT);
}

// A withdrawn code that the registry has since given to another object (20003 is a compound
// system now) names that object, not the withdrawn projected system.
TEST_F(GeneratedTables, CodesOfOtherObjectsAreNotProjectedSystems) {
  for (const uint16_t code : {uint16_t(20003)}) {
    CaptureStderr();
    EXPECT_FALSE(geo.set_epsg_code(code, nullptr, true));
    EXPECT_EQ(GetCapturedStderr(),
              "EPSG code " + std::to_string(code) + " not found in 'pcs.csv' file\n");
    EXPECT_FALSE(geo.has_projection(true));
  }
}

TEST_F(GeneratedTables, WithdrawnStatePlaneCodesAreKept) {
  std::string d;
  ASSERT_TRUE(geo.set_epsg_code(26788, &d, true));  // NAD27 Michigan North
  EXPECT_EQ(geo.get_projection(true)->kind, ProjectionKind::LambertConformalConic);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), EPSG_UNIT_SURVEY_FOOT);
}

}  // namespace
