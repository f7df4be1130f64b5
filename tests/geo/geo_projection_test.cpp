// Projection records, the ellipsoid table and the state-plane tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "geo/geo_projection.hpp"
#include "geo/geo_state_planes.hpp"
#include "geo/las_geo_projector.hpp"

namespace {

TEST(Ellipsoid, OnlyIdsOneToTwentyFourExist) {
  LASgeoProjector geo;
  std::string description = "unchanged";
  EXPECT_FALSE(geo.set_ellipsoid(0, &description));
  EXPECT_FALSE(geo.set_ellipsoid(25, &description));
  EXPECT_FALSE(geo.set_ellipsoid(-1, &description));
  EXPECT_EQ(description, "unchanged");
  EXPECT_EQ(geo.get_ellipsoid().id, 23);

  ASSERT_TRUE(geo.set_ellipsoid(23, &description));
  EXPECT_EQ(description, "23 - WGS-84 (6.37814e+06 0.00669438)");
  ASSERT_TRUE(geo.set_ellipsoid(4, &description));
  EXPECT_EQ(description, " 4 - Bessel 1841 (Namibia)  (6.37748e+06 0.00667437)");
}

TEST(Ellipsoid, DerivedValues) {
  // id, a, e2: b, e'2, e and n follow from them.
  const struct {
    int id;
    double a, e2;
  } cases[] = {{11, 6378137.0, 0.0066943800229},
               {23, 6378137.0, 0.00669437999013},
               {5, 6378206.4, 0.006768658},
               {24, 6378160.0, 0.0066946091071419115}};
  for (const auto& c : cases) {
    EllipsoidRecord e;
    ASSERT_TRUE(ellipsoid_from_id(c.id, &e)) << c.id;
    EXPECT_EQ(e.a, c.a);
    EXPECT_EQ(e.e2, c.e2);
    EXPECT_DOUBLE_EQ(e.b, c.a * std::sqrt(1 - c.e2));
    EXPECT_DOUBLE_EQ(e.e2_prime, c.e2 / (1 - c.e2));
    EXPECT_DOUBLE_EQ(e.e * e.e, c.e2);
    EXPECT_NEAR(e.n, (e.a - e.b) / (e.a + e.b), 1e-15);
  }
}

TEST(ProjectionConstants, LambertWithEqualParallelsUsesTheSineOfTheParallel) {
  LASgeoProjector geo;
  geo.set_lcc_projection(0, 0, 40, -100, 45, 45, nullptr, true);
  EXPECT_DOUBLE_EQ(geo.get_projection(true)->lcc.n, std::sin(45 * DEGREES_TO_RADIANS));
  geo.set_lcc_projection(0, 0, 40, -100, 45, 46, nullptr, true);
  const double n = geo.get_projection(true)->lcc.n;
  EXPECT_GT(n, std::sin(45 * DEGREES_TO_RADIANS));
  EXPECT_LT(n, std::sin(46 * DEGREES_TO_RADIANS));
}

TEST(ProjectionConstants, AnEllipsoidChangeRecomputesLambertAndTransverseMercatorOnly) {
  LASgeoProjector geo;
  geo.set_lcc_projection(0, 0, 40, -100, 44, 46, nullptr, true);
  geo.set_tm_projection(500000, 0, 0, 9, 0.9996, nullptr, false);
  const double lcc = geo.get_projection(true)->lcc.aF;
  const double tm = geo.get_projection(false)->tm.arc[0];
  ASSERT_TRUE(geo.set_ellipsoid(5));
  EXPECT_NE(geo.get_projection(true)->lcc.aF, lcc);
  EXPECT_NE(geo.get_projection(false)->tm.arc[0], tm);

  geo.set_aeac_projection(0, 0, 23, -96, 29.5, 45.5, nullptr, true);
  const double rho0 = geo.get_projection(true)->aeac.rho0;
  ASSERT_TRUE(geo.set_ellipsoid(14));
  EXPECT_EQ(geo.get_projection(true)->aeac.rho0, rho0);
}

TEST(ProjectionConstants, TransverseMercatorArcOnWgs84) {
  LASgeoProjector geo;
  geo.set_tm_projection(500000, 0, 0, 9, 0.9996, nullptr, true);
  // The first coefficient is the meridian's mean radius over a quarter turn: close to
  // 10001965.729 m / (pi / 2).
  EXPECT_NEAR(geo.get_projection(true)->tm.arc[0] * M_PI / 2, 10001965.729, 0.01);
}

TEST(Projections, UtmDescriptions) {
  LASgeoProjector geo;
  std::string description;
  geo.set_gcs(4283);
  geo.set_utm_projection(55, false, &description, true, nullptr, true);
  EXPECT_EQ(description, "GDA94 / MGA 55S");
  EXPECT_EQ(geo.get_projection(true)->utm_meridian, 6 * 55 - 183);
  geo.set_utm_projection(32, true, &description, false, "my zone");
  EXPECT_EQ(description, "my zone");
  EXPECT_EQ(geo.get_projection(false)->description, "my zone");
}

TEST(Projections, ParameterTextsAndNames) {
  LASgeoProjector geo;
  std::string d;
  geo.set_lcc_projection(1, 2, 3, 4, 5, 6, &d, true);
  EXPECT_EQ(d, "false east/north: 1/2 [m], origin lat/ meridian long: 3/4, parallel 1st/2nd: 5/6");
  EXPECT_EQ(geo.get_projection(true)->description, "Lambert Conformal Conic");
  geo.set_tm_projection(1, 2, 3, 4, 0.5, &d, true, "named");
  EXPECT_EQ(d, "false east/north: 1/2 [m], origin lat/meridian long: 3/4, scale: 0.5");
  EXPECT_EQ(geo.get_projection(true)->description, "named");
  geo.set_aeac_projection(1, 2, 3, 4, 5, 6, &d, true);
  EXPECT_EQ(d, "false east/north: 1/2 [m], center lat/long: 3/4, parallel 1st/2nd: 5/6");
  geo.set_hom_projection(1, 2, 3, 4, 5, 6, 0.5, &d, true);
  EXPECT_EQ(d, "false east/north: 1/2 [m], center lat/long: 3/4, azimuth: 5 angle: 6 scale: 0.5");
  geo.set_os_projection(1, 2, 3, 4, 0.5, &d, true);
  EXPECT_EQ(d, "false east/north: 1/2 [m], origin lat/meridian long: 3/4, scale: 0.5");
  EXPECT_EQ(geo.get_projection(true)->description, "Oblique Stereographic");
  geo.set_no_projection(&d, true);
  EXPECT_EQ(d, "intentionally no projection");
  geo.set_ecef_projection(&d, false);
  EXPECT_EQ(d, "earth-centered earth-fixed");
  geo.set_target_utm_auto(&d);
  EXPECT_EQ(d, "auto select");
  EXPECT_EQ(geo.get_projection(false)->utm_zone, -1);
  // A long name is kept to 255 characters.
  geo.set_tm_projection(0, 0, 0, 0, 1, nullptr, true, std::string(300, 'x').c_str());
  EXPECT_EQ(geo.get_projection(true)->description.size(), 255u);
}

template <typename Row>
int rows(const Row* table) {
  int n = 0;
  while (table[n].zone) n++;
  return n;
}

TEST(StatePlanes, TablesHaveTheirRowsAndTellingValues) {
  EXPECT_EQ(rows(kNad27Lambert), 73);
  EXPECT_EQ(rows(kNad83Lambert), 67);
  EXPECT_EQ(rows(kNad27TransverseMercator), 54);
  EXPECT_EQ(rows(kNad83TransverseMercator), 54);

  const StatePlaneLambert& ak10 = kNad27Lambert[0];
  EXPECT_STREQ(ak10.zone, "AK_10");
  EXPECT_EQ(ak10.epsg_code, 26740);
  EXPECT_NEAR(ak10.false_easting, 914401.8288, 1e-4);
  EXPECT_NEAR(ak10.parallel_1, 51.83333333, 1e-8);
  EXPECT_NEAR(ak10.parallel_2, 53.83333333, 1e-8);
  const StatePlaneLambert& ca1 = kNad83Lambert[3];
  EXPECT_STREQ(ca1.zone, "CA_I");
  EXPECT_EQ(ca1.epsg_code, 26941);
  EXPECT_EQ(ca1.false_easting, 2000000);
  EXPECT_EQ(ca1.false_northing, 500000);
  EXPECT_NEAR(ca1.origin_latitude, 39.333333, 1e-6);
  EXPECT_EQ(ca1.central_meridian, -122);
  EXPECT_NEAR(kNad27TransverseMercator[0].false_easting, 152400.3048, 1e-4);
  EXPECT_EQ(kNad83TransverseMercator[0].false_easting, 200000);
  EXPECT_EQ(kNad83TransverseMercator[0].scale_factor, 0.99996);

  // NAD83 transverse Mercator codes: NAD27's plus 200, or plus 100 from 32007 on.
  for (int k = 0; k < 54; k++) {
    const int nad27 = kNad27TransverseMercator[k].epsg_code;
    EXPECT_STREQ(kNad83TransverseMercator[k].zone, kNad27TransverseMercator[k].zone);
    EXPECT_EQ(kNad83TransverseMercator[k].epsg_code, nad27 + (nad27 >= 32007 ? 100 : 200));
  }
}

TEST(StatePlanes, ZoneNamesSelectCodesLambertFirst) {
  const struct {
    bool nad83;
    const char* zone;
    int code;
    bool lambert;
  } cases[] = {
      {true, "CA_VI", 26946, true},     {true, "NY_LI", 32118, true},
      {true, "WY_WC", 32157, false},    {false, "TN", 2204, true},
      {false, "AL_E", 26729, false},    {true, "KY_N", 2205, true},
      {false, "St.Croix", 32060, true}, {true, "ca_vi", 0, false},
      {true, "CA_VII", 0, false},       {false, "", 0, false},
  };
  for (const auto& c : cases) {
    const StatePlaneZone zone = find_state_plane(c.nad83, c.zone);
    EXPECT_EQ(zone.epsg_code, c.code) << c.zone;
    if (c.code) {
      EXPECT_EQ(zone.lambert, c.lambert) << c.zone;
    }
  }
}

TEST(StatePlanes, ListingShowsEveryRowOfTheDatum) {
  testing::internal::CaptureStderr();
  print_state_planes(true);
  const std::string listing = testing::internal::GetCapturedStderr();
  size_t lines = 0;
  for (char c : listing) lines += c == '\n';
  EXPECT_EQ(lines, 67u + 54u);
  EXPECT_NE(listing.find("CA_I - false east/north: 2e+06/500000 [m], origin lat/meridian long: "
                         "39.3333/-122, parallel 1st/2nd: 40/41.6667\n"),
            std::string::npos);
  EXPECT_NE(listing.find("AL_E - false east/north: 200000/0 [m], origin lat/meridian long: "
                         "30.5/-85.8333, scale factor: 0.99996\n"),
            std::string::npos);
}

}  // namespace
