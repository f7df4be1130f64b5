// The projection options: what each word sets, what it consumes, and its messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arg_vector.hpp"
#include "geo/las_geo_projector.hpp"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using Words = std::vector<std::string>;

struct Parsed {
  bool ok;
  Words left;
  std::string err;
};

Parsed parse(LASgeoProjector& geo, const Words& words) {
  ArgVector args(words);
  CaptureStderr();
  const bool ok = geo.parse(args.argc(), args.argv());
  return {ok, args.left(), GetCapturedStderr()};
}

TEST(GeoOptions, DatumsSetTheGeographicSystemAndEllipsoid) {
  const struct {
    const char* word;
    int gcs;
    const char* ellipsoid;
  } cases[] = {
      {"-wgs84", 4326, "WGS-84"},        {"-wgs72", 4322, "WGS-72"},
      {"-nad27", 4267, "Clarke 1866"},   {"-nad83", 4269, "GRS 1980"},
      {"-nad83_2011", 6318, "GRS 1980"}, {"-nad83_harn", 4152, "GRS 1980"},
      {"-nad83_csrs", 4617, "GRS 1980"}, {"-nad83_pa11", 6322, "GRS 1980"},
      {"-gda94", 4283, "GRS 1980"},      {"-gda2020", 7844, "GRS 1980"},
      {"-etrs89", 4258, "GRS 1980"},     {"-osgb1936", 4277, "Airy"},
  };
  for (const auto& c : cases) {
    LASgeoProjector geo;
    geo.set_ellipsoid(14);
    const Parsed r = parse(geo, {c.word, "-keep"});
    EXPECT_TRUE(r.ok) << c.word;
    EXPECT_EQ(r.left, Words{"-keep"}) << c.word;
    EXPECT_EQ(geo.get_gcs_code(), c.gcs) << c.word;
    EXPECT_STREQ(geo.get_ellipsoid_name(), c.ellipsoid) << c.word;
  }
}

TEST(GeoOptions, EllipsoidsAndTheirMessages) {
  LASgeoProjector geo;
  Parsed r = parse(geo, {"-v", "-grs80", "-ellipsoid", "3", "-wgs84", "-wgs72"});
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.left, Words{"-v"});
  EXPECT_EQ(r.err,
            "using ellipsoid '11 - GRS 1980 (6.37814e+06 0.00669438)'\n"
            "using ellipsoid ' 3 - Bessel 1841 (6.3774e+06 0.00667437)'\n"
            "using datum 'WGS 84' with ellipsoid 'WGS-84'\n"
            "using ellipsoid 'WGS 72'\n");
  EXPECT_EQ(geo.get_gcs_code(), 4322);

  r = parse(geo, {"-ellipsoid", "25"});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err.find("ERROR: ellipsoid with id 25 is unknown. use one of those: \n"
                       "   1 - Airy (6.37756e+06 0.00667054)\n"),
            0u);
  EXPECT_NE(r.err.find("  24 - Indonesian National 1974 (6.37816e+06 0.00669461)\n"),
            std::string::npos);
  r = parse(geo, {"-ellipsoid"});
  EXPECT_EQ(r.err, "ERROR: '-ellipsoid' needs 1 argument: ellipsoid_id\n");
}

TEST(GeoOptions, VerticalDatumsSetOnlyTheCode) {
  const struct {
    const char* word;
    int code;
    int geoid;
  } cases[] = {
      {"-vertical_navd88", 5103, 0},
      {"-vertical_navd88_geoid12b", 5103, 1145103},
      {"-vertical_navd88_geoid12a", 5103, 1135103},
      {"-vertical_navd88_geoid12", 5103, 1125103},
      {"-vertical_navd88_geoid96", 5103, 965103},
      {"-vertical_wgs84", 5030, 0},
      {"-vertical_ngvd29", 5102, 0},
      {"-vertical_navd29", 5102, 0},
      {"-vertical_cgvd2013", 6647, 0},
      {"-vertical_evrf2007", 5215, 0},
      {"-vertical_cgvd28", 5114, 0},
      {"-vertical_dvr90", 5206, 0},
      {"-vertical_nn2000", 5941, 0},
      {"-vertical_nn54", 5776, 0},
      {"-vertical_dhhn92", 5783, 0},
      {"-vertical_dhhn2016", 7837, 0},
      {"-vertical_nzvd2016", 7839, 0},
  };
  for (const auto& c : cases) {
    LASgeoProjector geo;
    geo.set_vertical_feet(true);
    const Parsed r = parse(geo, {c.word});
    EXPECT_TRUE(r.ok && r.left.empty()) << c.word;
    EXPECT_EQ(geo.get_vertical_code(), c.code) << c.word;
    EXPECT_EQ(geo.get_geoid_code(), c.geoid) << c.word;
    EXPECT_EQ(geo.get_vertical_unit_epsg(true), 9002) << c.word;
  }
  LASgeoProjector geo;
  const Parsed r =
      parse(geo, {"-vertical_navd88_geoid09", "-vertical_navd88_geoid77", "-vertical_xyz"});
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.err, "WARNING: unknown specialization of NAVD88 '_geoid77'\n");
  EXPECT_EQ(r.left, Words{"-vertical_xyz"});
  EXPECT_EQ(geo.get_geoid_code(), 1095103);
}

TEST(GeoOptions, UnitWordsOnBothSides) {
  LASgeoProjector geo;
  Parsed r = parse(
      geo, {"-survey_feet", "-elevation_feet", "-target_meter", "-target_elevation_surveyfeet",
            "-target_precision", "0.01", "-target_elevation_precision", "0.001"});
  EXPECT_TRUE(r.ok && r.left.empty());
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9003);
  EXPECT_EQ(geo.get_vertical_unit_epsg(true), 9002);
  EXPECT_TRUE(geo.horizontal_units_set(false));
  EXPECT_EQ(geo.get_horizontal_unit_epsg(false), 9001);
  EXPECT_EQ(geo.get_vertical_unit_epsg(false), 9003);
  EXPECT_EQ(geo.get_target_precision(), 0.01);
  EXPECT_EQ(geo.get_target_elevation_precision(), 0.001);
  r = parse(geo, {"-feet", "-elevation_meter", "-target_feet", "-target_elevation_feet"});
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9002);
  EXPECT_EQ(geo.get_vertical_unit_epsg(true), 9001);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(false), 9002);
  EXPECT_EQ(geo.get_vertical_unit_epsg(false), 9002);
}

// Zone texts: the short hemisphere forms are rewritten in place to a band letter.
TEST(GeoOptions, UtmZoneTexts) {
  const struct {
    const char* zone;
    bool ok;
    int number;
    bool northern;
    const char* shown;  // the argument as the description or the message shows it
  } cases[] = {
      {"32north", true, 32, true, "UTM zone 32N"},
      {"55south", true, 55, false, "UTM zone 55S"},
      {"10n", true, 10, true, "UTM zone 10N"},
      {"56s", true, 56, false, "UTM zone 56S"},
      {"5n", true, 5, true, "UTM zone 5N"},
      {"5s", true, 5, false, "UTM zone 5S"},
      {"17U", true, 17, true, "UTM zone 17N"},
      {"49L", true, 49, false, "UTM zone 49S"},
      {"17S", true, 17, true, "UTM zone 17N"},  // band S lies north of N
      {"1C", true, 1, false, "UTM zone 1S"},
      {"60X", true, 60, true, "UTM zone 60N"},
      {"33", false, 0, false, "33"},
      {"5", false, 0, false, "5"},
      {"n", false, 0, false, "n"},
      {"", false, 0, false, ""},
      {"61N", false, 0, false, "61N"},
      {"0N", false, 0, false, "0N"},
      {"99999999999999999999N", false, 0, false, "99999999999999999999N"},
      {"32Y", false, 0, false, "32Y"},
      {"32u", false, 0, false, "32u"},
      {"auto", false, 0, false, "auto"},
      {"U", false, 0, false, "U"},
  };
  for (const auto& c : cases) {
    LASgeoProjector geo;
    const Parsed r = parse(geo, {"-v", "-utm", c.zone});
    EXPECT_EQ(r.ok, c.ok) << c.zone;
    if (c.ok) {
      const ProjectionRecord* p = geo.get_projection(true);
      ASSERT_NE(p, nullptr) << c.zone;
      EXPECT_EQ(p->utm_zone, c.number);
      EXPECT_EQ(p->utm_northern, c.northern) << c.zone;
      EXPECT_EQ(p->utm_meridian, 6 * c.number - 183);
      EXPECT_EQ(r.err, std::string("using projection UTM '") + c.shown + "'\n");
      EXPECT_EQ(r.left, Words{"-v"});
    } else {
      EXPECT_FALSE(geo.has_projection(true)) << c.zone;
      EXPECT_EQ(r.err, std::string("ERROR: utm zone '") + c.shown +
                           "' is unknown. use '32north', '55south', '10n', '56s', '17U', or "
                           "'49L'\n");
    }
  }
}

TEST(GeoOptions, AutomaticZoneOnlyForTheTarget) {
  LASgeoProjector geo;
  Parsed r = parse(geo, {"-v", "-target_utm", "auto"});
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.err, "using target projection UTM 'auto select'\n");
  EXPECT_EQ(geo.get_projection(false)->utm_zone, -1);
  EXPECT_FALSE(geo.has_projection(true));
  r = parse(geo, {"-target_utm", "33north"});
  EXPECT_EQ(geo.get_projection(false)->utm_zone, 33);
}

TEST(GeoOptions, ProjectionsGivenByTheirParameters) {
  LASgeoProjector geo;
  Parsed r = parse(
      geo, {"-lcc", "1500000", "0", "feet", "47.0", "-120.833333", "47.5", "48.733333", "-keep"});
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.left, Words{"-keep"});
  const ProjectionRecord* p = geo.get_projection(true);
  EXPECT_EQ(p->kind, ProjectionKind::LambertConformalConic);
  EXPECT_EQ(p->false_easting, 457200);
  EXPECT_EQ(p->parallel_2, 48.733333);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9002);

  r = parse(geo, {"-v", "-target_tm", "1640416.666667", "0", "survey_feet", "47", "-120.833333",
                  "0.99996"});
  EXPECT_TRUE(r.ok);
  p = geo.get_projection(false);
  EXPECT_EQ(p->kind, ProjectionKind::TransverseMercator);
  EXPECT_EQ(p->false_easting, 1640416.666667 * 0.3048006096012);
  EXPECT_EQ(p->scale, 0.99996);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(false), 9003);
  EXPECT_EQ(r.err,
            "using TM target projection 'false east/north: 500000/0 [m], origin lat/meridian "
            "long: 47/-120.833, scale: 0.99996'\n");

  r = parse(geo, {"-v", "-aeac", "0", "0", "m", "23", "-96", "29.5", "45.5", "-transverse_mercator",
                  "500000", "0", "meter", "0", "-93", "0.9996"});
  EXPECT_TRUE(r.ok && r.left == Words{"-v"});
  EXPECT_EQ(geo.get_projection(true)->kind, ProjectionKind::TransverseMercator);
  EXPECT_EQ(r.err.substr(0, 22), "using AEAC projection ");

  r = parse(geo, {"-latlong", "-target_ecef"});
  EXPECT_EQ(geo.get_projection(true)->kind, ProjectionKind::LatLong);
  EXPECT_EQ(geo.get_projection(false)->kind, ProjectionKind::ECEF);
  r = parse(geo, {"-v", "-longlat"});
  EXPECT_EQ(r.err, "using projection 'longitude/latitude'\n");
}

TEST(GeoOptions, WrongUnitWordsShowExamples) {
  LASgeoProjector geo;
  Parsed r = parse(geo, {"-target_lcc", "1", "2", "yards", "4", "5", "6", "7"});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err,
            "ERROR: wrong options for '-lcc'. use like shown in these examples:\n"
            "  -target_lcc 609601.22 0 meter 33.75 -79 34.33333 36.16666\n"
            "  -target_lcc 1640416.666667 0 survey_feet 47.000000 -120.833333 47.5 48.733333\n"
            "  -target_lcc 1500000 0 feet 47.000000 -120.833333 47.5 48.733333\n");
  r = parse(geo, {"-tm", "east", "0", "m", "0", "-93", "0.9996"});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err.find("ERROR: wrong options for '-tm'. use like shown in these examples:\n"
                       "  -tm 500000 0 meter 0 -93 0.99996\n"),
            0u);
  r = parse(geo, {"-aeac", "0", "0", "furlong", "23", "-96", "29.5", "45.5"});
  EXPECT_EQ(r.err.find("ERROR: wrong options for '-aeac'. use like shown in these examples:\n"
                       "  -aeac 609601.22 0 meter"),
            0u);
  EXPECT_FALSE(geo.has_projection(true));
}

// Options at the end of the vector stop with a message instead of reading past it.
TEST(GeoOptions, MissingArgumentsAtTheEnd) {
  const struct {
    Words words;
    const char* message;
  } cases[] = {
      {{"-utm"}, "ERROR: '-utm' needs 1 argument: zone\n"},
      {{"-target_utm"}, "ERROR: '-target_utm' needs 1 argument: zone\n"},
      {{"-epsg"}, "ERROR: '-epsg' needs 1 argument: EPSG code\n"},
      {{"-target_epsg"}, "ERROR: '-target_epsg' needs 1 argument: EPSG code\n"},
      {{"-vertical_epsg"}, "ERROR: '-vertical_epsg' needs 1 argument: EPSG code\n"},
      {{"-sp83"}, "ERROR: '-sp83' needs 1 argument: state_zone\n"},
      {{"-target_sp27"}, "ERROR: '-target_sp27' needs 1 argument: state_zone\n"},
      {{"-lcc", "1", "2", "m", "4", "5", "6"},
       "ERROR: '-lcc' needs 7 arguments: false_easting false_northing unit latitude_of_origin "
       "central_meridian parallel_1 parallel_2\n"},
      {{"-aeac"},
       "ERROR: '-aeac' needs 7 arguments: false_easting false_northing unit latitude_of_center "
       "longitude_of_center parallel_1 parallel_2\n"},
      {{"-tm", "1", "2", "m", "4", "5"},
       "ERROR: '-tm' needs 6 arguments: false_easting false_northing unit latitude_of_origin "
       "central_meridian scale_factor\n"},
      {{"-target_precision"}, "ERROR: '-target_precision' needs 1 argument: precision\n"},
      {{"-target_elevation_precision"},
       "ERROR: '-target_elevation_precision' needs 1 argument: precision\n"},
  };
  for (const auto& c : cases) {
    LASgeoProjector geo;
    const Parsed r = parse(geo, c.words);
    EXPECT_FALSE(r.ok) << c.words[0];
    EXPECT_EQ(r.err, c.message);
    EXPECT_FALSE(geo.has_projection(true));
  }
}

TEST(GeoOptions, EpsgArguments) {
  LASgeoProjector geo;
  Parsed r = parse(geo, {"-v", "-epsg", "32632", "-target_epsg", "28355"});
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.err, "using projection EPSG code 32632\nusing target projection EPSG code 28355\n");
  EXPECT_EQ(geo.get_projection(true)->utm_zone, 32);
  EXPECT_EQ(geo.get_projection(false)->utm_northern, false);

  const struct {
    Words words;
    const char* message;
  } failures[] = {
      {{"-epsg", "abc"},
       "ERROR: '-epsg' needs 1 argument: EPSG code but 'abc' is not a valid code\n"},
      {{"-epsg", "40000"},
       "ERROR: '-epsg' needs 1 argument: EPSG code but 40000 is not a valid code\n"},
      {{"-vertical_epsg", "99999"},
       "ERROR: '-vertical_epsg' needs 1 argument: EPSG code but 99999 is not a valid code\n"},
  };
  for (const auto& f : failures) {
    r = parse(geo, f.words);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, f.message);
  }
  r = parse(geo, {"-v", "-vertical_epsg", "5215"});
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.err, "using vertical EPSG code 5215\n");
  EXPECT_EQ(geo.get_vertical_code(), 5215);
}

// The state planes look their codes up in the tables generated beside the test program.
TEST(GeoOptions, StatePlanes) {
  LASgeoProjector geo;
  Parsed r = parse(geo, {"-v", "-sp83", "CA_I", "-target_sp27", "AL_E"});
  EXPECT_TRUE(r.ok) << r.err;
  EXPECT_EQ(r.err,
            "using state plane 'CA_I' (NAD83 LCC) 'NAD83 / California zone 1'\n"
            "using target state plane 'AL_E' (NAD27 TM) 'NAD27 / Alabama East'\n");
  EXPECT_EQ(geo.get_projection(true)->epsg_code, 26941);
  EXPECT_EQ(geo.get_projection(false)->epsg_code, 26729);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(false), 9003);

  // -v after the option: no message for it.
  r = parse(geo, {"-sp83", "CA_I", "-v"});
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.err, "");

  r = parse(geo, {"-sp83", "CA_VII"});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err.find("ERROR: bad state code in '-sp83 CA_VII'.\n"
                       "AK_10 - false east/north: 1e+06/0 [m], origin lat/meridian long: "
                       "51/-176, parallel 1st/2nd: 51.8333/53.8333\n"),
            0u);
  size_t lines = 0;
  for (char c : r.err) lines += c == '\n';
  EXPECT_EQ(lines, 1u + 67u + 54u);
}

TEST(GeoOptions, UnknownWordsAndHelp) {
  LASgeoProjector geo;
  Parsed r = parse(geo, {"-nad83_xyz"});
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.err.find("'-nad83_xyz'"), std::string::npos);

  r = parse(geo, {"-i", "a.las", "-feet", "", "-h", "-epsg", "32632", "-elevation_feet"});
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.left, (Words{"-i", "a.las", "-h", "-epsg", "32632", "-elevation_feet"}));
  EXPECT_TRUE(geo.horizontal_units_set(true));
  EXPECT_FALSE(geo.has_projection(true));
  EXPECT_FALSE(geo.vertical_units_set(true));

  // Every error leaves the options before it in effect and those after it unread.
  r = parse(geo, {"-elevation_feet", "-epsg", "x", "-target_feet"});
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(geo.vertical_units_set(true));
  EXPECT_FALSE(geo.horizontal_units_set(false));
}

}  // namespace
