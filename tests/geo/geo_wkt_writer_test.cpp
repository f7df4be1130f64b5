// Well-known text out: every system the projector can write as keys also as text, naming the
// same system, units and parameters when our own reader takes it back, with and without its
// code; a few texts computed by hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "arg_vector.hpp"
#include "epsg_table_codes.hpp"
#include "geo/las_geo_projector.hpp"
#include "geo_same_system.hpp"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// A projector that finds the generated tables beside the test program, set from these options.
struct Projector {
  explicit Projector(const std::vector<std::string>& words = {}) {
    ArgVector args(words);
    ok = geo.parse(args.argc(), args.argv());
  }
  LASgeoProjector geo;
  bool ok = false;
};

// Square brackets that close as they open, never below the outermost element.
bool balanced(const std::string& text) {
  int depth = 0;
  for (const char c : text) {
    depth += c == '[' ? 1 : c == ']' ? -1 : 0;
    if (depth < 0) return false;
  }
  return depth == 0;
}

std::string epsg(int code) {
  return "AUTHORITY[\"EPSG\",\"" + std::to_string(code) + "\"]";
}

// The text without the authority that closes its projected system.
std::string without_code(const std::string& text, int code) {
  const std::string authority = "," + epsg(code) + "]";
  const size_t at = text.rfind(authority);
  if (at == std::string::npos || at + authority.size() != text.size()) return std::string();
  return text.substr(0, at) + "]";
}

// The kinds whose parameters the reader takes from a text without a code.
bool reader_knows(int method) {
  return method == 9807 || method == 9802 || method == 9822;
}

TEST(WktWriter, EveryAcceptedCodeWritesTheSystemOfItsKeys) {
  int accepted = 0, read_without_code = 0;
  for (const EpsgTableCode& c : epsg_candidate_codes(LASgeoProjector::table_folder("prog"))) {
    Projector written;
    CaptureStderr();
    const bool ok = written.geo.set_epsg_code(uint16_t(c.code), nullptr, true);
    const std::string warnings = GetCapturedStderr();
    if (!ok) continue;
    accepted++;
    std::vector<GeoKeyEntry> keys;
    std::vector<double> doubles;
    ASSERT_TRUE(written.geo.get_geo_keys_from_projection(keys, doubles, true)) << c.code;
    std::string text;
    CaptureStderr();
    ASSERT_TRUE(written.geo.get_ogc_wkt_from_projection(text, true)) << c.code;
    EXPECT_EQ(GetCapturedStderr(), "") << c.code;
    EXPECT_TRUE(balanced(text)) << text;
    const std::string closing = epsg(c.code) + "]";
    ASSERT_GE(text.size(), closing.size());
    EXPECT_EQ(text.substr(text.size() - closing.size()), closing) << text;
    if (c.code == 4326 || c.code == 4978) continue;  // no projection to read back
    EXPECT_NE(text.find(epsg(written.geo.get_gcs_code()) + "]"), std::string::npos) << text;

    Projector from_keys;
    CaptureStderr();
    from_keys.geo.set_projection_from_geo_keys(int(keys.size()), keys.data(), nullptr,
                                               doubles.data(), int(doubles.size()), nullptr, true);
    Projector from_text;
    EXPECT_TRUE(from_text.geo.set_projection_from_ogc_wkt(text.c_str(), nullptr)) << text;
    GetCapturedStderr();
    expect_same_system(from_keys.geo, from_text.geo, true, text);

    // Without its code the text still gives the units, and all parameters where the reader
    // knows the projection.
    const std::string bare = without_code(text, c.code);
    ASSERT_NE(bare, "") << text;
    Projector from_bare;
    CaptureStderr();
    const bool read = from_bare.geo.set_projection_from_ogc_wkt(bare.c_str(), nullptr);
    GetCapturedStderr();
    EXPECT_EQ(from_bare.geo.get_horizontal_unit_epsg(true),
              from_keys.geo.get_horizontal_unit_epsg(true))
        << bare;
    // The built-in zones are transverse Mercator whatever the table's row.
    const bool zone = from_keys.geo.get_projection(true)->kind == ProjectionKind::UTM;
    if (zone || (reader_knows(c.method) && c.method != 0)) {
      EXPECT_TRUE(read) << bare;
      expect_same_system(from_keys.geo, from_bare.geo, false, bare);
      read_without_code++;
    }
  }
  EXPECT_GT(accepted, 4000);
  EXPECT_GT(read_without_code, 3000);
  std::printf("%d accepted codes as text, %d read back without their code\n", accepted,
              read_without_code);
}

// The tables' definition in the layout GDAL writes, computed by hand from the rows of 32632 and
// 4326 (the datum has the name the registry gives it).
TEST(WktWriter, TextOfAUtmZone) {
  Projector p({"-epsg", "32632"});
  ASSERT_TRUE(p.ok);
  std::string text;
  ASSERT_TRUE(p.geo.get_ogc_wkt_from_projection(text, true));
  EXPECT_EQ(text,
            "PROJCS[\"WGS 84 / UTM zone 32N\",GEOGCS[\"WGS 84\",DATUM[\"World Geodetic System "
            "1984 ensemble\",SPHEROID[\"WGS 84\",6378137,298.257223563,AUTHORITY[\"EPSG\","
            "\"7030\"]],AUTHORITY[\"EPSG\",\"6326\"]],PRIMEM[\"Greenwich\",0,AUTHORITY[\"EPSG\","
            "\"8901\"]],UNIT[\"degree\",0.0174532925199433,AUTHORITY[\"EPSG\",\"9122\"]],"
            "AUTHORITY[\"EPSG\",\"4326\"]],PROJECTION[\"Transverse_Mercator\"],"
            "PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",9],"
            "PARAMETER[\"scale_factor\",0.9996],PARAMETER[\"false_easting\",500000],"
            "PARAMETER[\"false_northing\",0],UNIT[\"metre\",1,AUTHORITY[\"EPSG\",\"9001\"]],"
            "AXIS[\"Easting\",EAST],AXIS[\"Northing\",NORTH],AUTHORITY[\"EPSG\",\"32632\"]]");
}

// Projections given by their parameters, with and without a vertical system: the text names
// what the keys name, read back by our reader.
TEST(WktWriter, ParameterProjectionsWriteTheSystemOfTheirKeys) {
  const struct {
    std::vector<std::string> words;
    const char* contains;
    bool same_code = true;
  } cases[] = {
      {{"-tm", "1500000", "0", "feet", "47", "-120.833333", "0.99996"},
       "PARAMETER[\"false_easting\",1500000],PARAMETER[\"false_northing\",0],"
       "UNIT[\"foot\",0.3048,"},
      {{"-lcc", "609601.22", "0", "meter", "33.75", "-79", "34.3333333", "36.1666667"},
       "PROJECTION[\"Lambert_Conformal_Conic_2SP\"],PARAMETER[\"standard_parallel_1\","
       "34.3333333]"},
      {{"-aeac", "0", "0", "survey_feet", "23", "-96", "29.5", "45.5"},
       "PROJECTION[\"Albers_Conic_Equal_Area\"]"},
      {{"-ellipsoid", "8", "-tm", "500000", "0", "m", "0", "9", "0.9996"},
       "GEOGCS[\"unknown\",DATUM[\"unknown\",SPHEROID[\"Fischer 1960 (Mercury)\",6378166,298.3]]"},
      // A zone in other units than its code's is another system, which the code does not name.
      {{"-utm", "32N", "-feet"},
       "PARAMETER[\"false_easting\",1640419.94750656],PARAMETER[\"false_northing\",0],"
       "UNIT[\"foot\",0.3048,AUTHORITY[\"EPSG\",\"9002\"]],AXIS[\"Easting\",EAST],"
       "AXIS[\"Northing\",NORTH]]",
       false},
      {{"-sp83", "CA_I", "-vertical_epsg", "6360"},
       "VERT_CS[\"NAVD88 height (ftUS)\",VERT_DATUM[\"North American Vertical Datum 1988\","
       "2005],UNIT[\"US survey foot\",0.304800609601219,AUTHORITY[\"EPSG\",\"9003\"]],"
       "AXIS[\"Gravity-related height\",UP],AUTHORITY[\"EPSG\",\"6360\"]]]"},
      {{"-epsg", "2264", "-elevation_feet"},
       "VERT_CS[\"unknown\",VERT_DATUM[\"unknown\",2005],UNIT[\"foot\",0.3048,"},
  };
  for (const auto& c : cases) {
    const std::string what = c.words[0] + " " + c.words[1];
    CaptureStderr();
    Projector written(c.words);
    GetCapturedStderr();
    ASSERT_TRUE(written.ok) << what;
    std::vector<GeoKeyEntry> keys;
    std::vector<double> doubles;
    ASSERT_TRUE(written.geo.get_geo_keys_from_projection(keys, doubles, true)) << what;
    std::string text;
    ASSERT_TRUE(written.geo.get_ogc_wkt_from_projection(text, true)) << what;
    EXPECT_TRUE(balanced(text)) << text;
    EXPECT_NE(text.find(c.contains), std::string::npos) << text;

    Projector from_keys;
    Projector from_text;
    CaptureStderr();
    from_keys.geo.set_projection_from_geo_keys(int(keys.size()), keys.data(), nullptr,
                                               doubles.data(), int(doubles.size()), nullptr, true);
    EXPECT_TRUE(from_text.geo.set_projection_from_ogc_wkt(text.c_str(), nullptr)) << text;
    GetCapturedStderr();
    // Keys without a code come back as the generic kind; a text without one likewise.
    expect_same_system(from_keys.geo, from_text.geo, c.same_code, text);
  }
}

TEST(WktWriter, GeographicAndGeocentricTexts) {
  const struct {
    std::vector<std::string> words;
    const char* text;
  } cases[] = {
      {{"-longlat"}, "GEOGCS[\"WGS 84\",DATUM[\"World Geodetic System 1984 ensemble\","},
      {{"-latlong"},
       "AXIS[\"Latitude\",NORTH],AXIS[\"Longitude\",EAST],AUTHORITY[\"EPSG\","
       "\"4326\"]]"},
      {{"-ecef"}, "GEOCCS[\"WGS 84\","},
      {{"-nad83", "-longlat", "-vertical_epsg", "5703"},
       "COMPD_CS[\"NAD83 + NAVD88 height\",GEOGCS[\"NAD83\","},
  };
  for (const auto& c : cases) {
    CaptureStderr();
    Projector p(c.words);
    GetCapturedStderr();
    ASSERT_TRUE(p.ok) << c.words[0];
    std::string text;
    ASSERT_TRUE(p.geo.get_ogc_wkt_from_projection(text, true)) << c.words[0];
    EXPECT_TRUE(balanced(text)) << text;
    EXPECT_NE(text.find(c.text), std::string::npos) << text;
  }
  // No projection: no text.
  Projector none({"-epsg", "32632"});
  none.geo.set_no_projection(nullptr, true);
  std::string text = "x";
  EXPECT_FALSE(none.geo.get_ogc_wkt_from_projection(text, true));
  EXPECT_EQ(text, "");
}

// A vertical system is named by its datum's code, else by its own; the unit's code names no
// system (a datum without code used to leave the scan at the unit and the code at 0).
TEST(WktReader, VerticalCodeFromDatumOrSystemNeverFromUnit) {
  const struct {
    const char* text;
    int code;
  } cases[] = {
      {"VERT_CS[\"NAVD88 height (ftUS)\",VERT_DATUM[\"North American Vertical Datum 1988\",2005],"
       "UNIT[\"US survey foot\",0.304800609601219,AUTHORITY[\"EPSG\",\"9003\"]],"
       "AXIS[\"Up\",UP],AUTHORITY[\"EPSG\",\"6360\"]]",
       6360},
      {"VERT_CS[\"h\",VERT_DATUM[\"d\",2005,AUTHORITY[\"EPSG\",\"5103\"]],UNIT[\"m\",1,"
       "AUTHORITY[\"EPSG\",\"9001\"]],AUTHORITY[\"EPSG\",\"5703\"]]",
       5103},
      {"VERT_CS[\"h\",VERT_DATUM[\"d\",2005],UNIT[\"m\",1,AUTHORITY[\"EPSG\",\"9001\"]]]", 0},
  };
  for (const auto& c : cases) {
    LASgeoProjector geo;
    EXPECT_FALSE(geo.set_projection_from_ogc_wkt(c.text, nullptr));
    EXPECT_EQ(geo.get_vertical_code(), c.code) << c.text;
  }
}

}  // namespace
