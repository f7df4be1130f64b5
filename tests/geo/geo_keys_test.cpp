// GeoTIFF keys: key lists read into the projector and written from it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geo/las_geo_projector.hpp"
#include "hand_tables.hpp"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

GeoKeyEntry key(uint16_t id, uint16_t value) {
  return GeoKeyEntry{id, 0, 1, value};
}
GeoKeyEntry parameter(uint16_t id, uint16_t index) {
  return GeoKeyEntry{id, 34736, 1, index};
}

bool read_keys(LASgeoProjector& geo, const std::vector<GeoKeyEntry>& keys,
               const std::vector<double>& doubles = {}, std::string* description = nullptr) {
  return geo.set_projection_from_geo_keys(int(keys.size()), keys.data(), nullptr,
                                          doubles.empty() ? nullptr : doubles.data(),
                                          int(doubles.size()), description, true);
}

std::vector<std::vector<uint16_t>> as_rows(const std::vector<GeoKeyEntry>& keys) {
  std::vector<std::vector<uint16_t>> rows;
  for (const GeoKeyEntry& k : keys) {
    rows.push_back({k.key_id, k.tiff_tag_location, k.count, k.value_offset});
  }
  return rows;
}

TEST(GeoKeysIn, UtmByProjectedCode) {
  LASgeoProjector geo;
  std::string d;
  ASSERT_TRUE(read_keys(geo, {key(1024, 1), key(3072, 32611)}, {}, &d));
  EXPECT_EQ(d, "WGS 84 / UTM 11N");
  const ProjectionRecord* p = geo.get_projection(true);
  EXPECT_EQ(p->kind, ProjectionKind::UTM);
  EXPECT_EQ(p->utm_zone, 11);
  EXPECT_TRUE(p->utm_northern);
  EXPECT_FALSE(geo.horizontal_units_set(true));
}

TEST(GeoKeysIn, UserDefinedLambertInFeet) {
  LASgeoProjector geo;
  const std::vector<double> doubles = {47.5, 48.7333, -120.8333, 47.0, 1640416.667, 100.0};
  std::string d;
  ASSERT_TRUE(
      read_keys(geo,
                {key(1024, 1), key(3072, 32767), key(3075, 8), key(3076, 9002), parameter(3078, 0),
                 parameter(3079, 1), parameter(3088, 2), parameter(3081, 3), parameter(3082, 4),
                 parameter(3083, 5), key(4099, 9002)},
                doubles, &d));
  EXPECT_EQ(d, "generic lambert conformal conic");
  const ProjectionRecord* p = geo.get_projection(true);
  EXPECT_EQ(p->kind, ProjectionKind::LambertConformalConic);
  EXPECT_EQ(p->false_easting, 1640416.667 * 0.3048);
  EXPECT_EQ(p->false_northing, 100.0 * 0.3048);
  EXPECT_EQ(p->parallel_1, 47.5);
  EXPECT_EQ(p->longitude, -120.8333);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9002);
  EXPECT_EQ(geo.get_vertical_unit_epsg(true), 9002);
}

// The Lambert central meridian: 3088, else 3080, else 3084; a 3088 of exactly 0 gives way to
// 3080 when there is one.
TEST(GeoKeysIn, LambertMeridianFallbacks) {
  const struct {
    std::vector<uint16_t> meridian_keys;
    double meridian;
  } cases[] = {
      {{3088, 3080, 3084}, 10.0},
      {{3080, 3084}, 20.0},
      {{3084}, 30.0},
  };
  for (const auto& c : cases) {
    std::vector<GeoKeyEntry> keys = {key(1024, 1),       key(3072, 32767),   key(3075, 8),
                                     parameter(3078, 0), parameter(3079, 0), parameter(3081, 0),
                                     parameter(3082, 0), parameter(3083, 0)};
    const std::vector<double> doubles = {0.0, 10.0, 20.0, 30.0};
    for (uint16_t k : c.meridian_keys) {
      keys.push_back(parameter(k, uint16_t(k == 3088 ? 1 : k == 3080 ? 2 : 3)));
    }
    LASgeoProjector geo;
    ASSERT_TRUE(read_keys(geo, keys, doubles));
    EXPECT_EQ(geo.get_projection(true)->longitude, c.meridian);
  }
  LASgeoProjector geo;
  ASSERT_TRUE(
      read_keys(geo,
                {key(3075, 8), parameter(3078, 1), parameter(3079, 1), parameter(3081, 1),
                 parameter(3082, 1), parameter(3083, 1), parameter(3088, 0), parameter(3080, 2)},
                {0.0, 40.0, -5.0}));
  EXPECT_EQ(geo.get_projection(true)->longitude, -5.0);
}

TEST(GeoKeysIn, UnimplementedTransformationsSetNoProjection) {
  LASgeoProjector geo;
  CaptureStderr();
  EXPECT_FALSE(read_keys(geo, {key(1024, 1), key(3075, 7), parameter(3082, 0)}, {0.0}));
  EXPECT_EQ(GetCapturedStderr(), "ProjCoordTransGeoKey: CT_Mercator not implemented\n");
  EXPECT_FALSE(geo.has_projection(true));
  CaptureStderr();
  read_keys(geo, {key(3075, 27), key(3075, 99)});
  EXPECT_EQ(GetCapturedStderr(),
            "ProjCoordTransGeoKey: CT_TransvMercator_SouthOriented not implemented\n"
            "ProjCoordTransGeoKey: look-up for 99 not implemented\n");
}

TEST(GeoKeysIn, ModelTypesDatumsAndMessages) {
  LASgeoProjector geo;
  std::string d;
  EXPECT_TRUE(read_keys(geo, {key(1024, 2), key(2048, 4267)}, {}, &d));
  EXPECT_EQ(d, "longitude/latitude");
  EXPECT_EQ(geo.get_gcs_code(), 4267);
  EXPECT_STREQ(geo.get_ellipsoid_name(), "Clarke 1866");
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9000);
  EXPECT_TRUE(read_keys(geo, {key(1024, 3), key(2048, 4022)}));
  EXPECT_EQ(geo.get_projection(true)->kind, ProjectionKind::ECEF);
  EXPECT_STREQ(geo.get_ellipsoid_name(), "International");
  EXPECT_TRUE(read_keys(geo, {key(1024, 0), key(2056, 7030)}));
  EXPECT_EQ(geo.get_projection(true)->kind, ProjectionKind::NoProjection);
  EXPECT_STREQ(geo.get_ellipsoid_name(), "WGS-84");
  EXPECT_TRUE(read_keys(geo, {key(1024, 0), key(2050, 6001)}));
  EXPECT_STREQ(geo.get_ellipsoid_name(), "Airy");

  CaptureStderr();
  EXPECT_FALSE(read_keys(geo, {key(2048, 4999), key(2050, 6999), key(2052, 9005), key(3076, 9036),
                               key(4099, 9095), key(2048, 4617), key(2050, 6326)}));
  EXPECT_EQ(GetCapturedStderr(),
            "GeographicTypeGeoKey: look-up for 4999 not implemented\n"
            "GeogGeodeticDatumGeoKey: look-up for 6999 not implemented\n"
            "GeogLinearUnitsGeoKey: look-up for 9005 not implemented\n"
            "set_ProjLinearUnitsGeoKey: look-up for 9036 not implemented\n"
            "set_VerticalUnitsGeoKey: look-up for 9095 not implemented\n");
  EXPECT_TRUE(read_keys(geo, {key(2052, 9003), key(4096, 5103)}) == false);
  EXPECT_EQ(geo.get_horizontal_unit_epsg(true), 9003);
  EXPECT_EQ(geo.get_vertical_code(), 5103);
}

TEST(GeoKeysIn, EmptyListOnlyReplacesTheStoredKeys) {
  LASgeoProjector geo;
  ASSERT_TRUE(read_keys(geo, {key(1024, 1), key(3072, 32611)}));
  EXPECT_EQ(geo.get_ProjectedCSTypeGeoKey(true), 32611);
  EXPECT_FALSE(read_keys(geo, {}));
  EXPECT_TRUE(geo.has_projection(true));
  EXPECT_EQ(geo.get_projection(true)->utm_zone, 11);
  // The stored list is now empty: the code comes from the projection itself.
  EXPECT_EQ(geo.get_ProjectedCSTypeGeoKey(true), 32611);
}

// Keys that point past the double parameters, or at another record, count as absent: no value
// is read from memory that is not the file's.
TEST(GeoKeysIn, ParameterIndicesBeyondTheDoublesAreAbsent) {
  LASgeoProjector geo;
  CaptureStderr();
  EXPECT_FALSE(read_keys(geo,
                         {key(3075, 1), parameter(3082, 0), parameter(3083, 0), parameter(3081, 0),
                          parameter(3088, 0), parameter(3092, 7)},
                         {1.0}));
  EXPECT_EQ(GetCapturedStderr(), "WARNING: GeoKey 3092 has no double parameter 7. ignoring it.\n");
  EXPECT_FALSE(geo.has_projection(true));
  CaptureStderr();
  EXPECT_FALSE(read_keys(geo, {key(3075, 1), key(3082, 0), parameter(3083, 0)}));
  EXPECT_EQ(GetCapturedStderr(),
            "WARNING: GeoKey 3082 has no double parameter 0. ignoring it.\n"
            "WARNING: GeoKey 3083 has no double parameter 0. ignoring it.\n");
}

TEST(GeoKeysOut, ProjectedCodeWritesFourEntries) {
  HandTables tables;
  LASgeoProjector geo;
  ASSERT_TRUE(geo.set_epsg_code(32632, nullptr, true));
  std::vector<GeoKeyEntry> keys;
  std::vector<double> doubles;
  ASSERT_TRUE(geo.get_geo_keys_from_projection(keys, doubles, true));
  EXPECT_EQ(as_rows(keys),
            (std::vector<std::vector<uint16_t>>{
                {1024, 0, 1, 1}, {3072, 0, 1, 32632}, {3076, 0, 1, 9001}, {4099, 0, 1, 9001}}));
  EXPECT_TRUE(doubles.empty());
  geo.set_VerticalCSTypeGeoKey(5103, nullptr);
  geo.set_vertical_feet(true);
  ASSERT_TRUE(geo.get_geo_keys_from_projection(keys, doubles, true));
  EXPECT_EQ(as_rows(keys).back(), (std::vector<uint16_t>{4096, 0, 1, 5103}));
  EXPECT_EQ(keys.size(), 5u);
  EXPECT_EQ(keys[3].value_offset, 9002);
}

TEST(GeoKeysOut, GeographicGeocentricAndNone) {
  LASgeoProjector geo;
  std::vector<GeoKeyEntry> keys;
  std::vector<double> doubles;
  EXPECT_FALSE(geo.get_geo_keys_from_projection(keys, doubles, true));
  EXPECT_TRUE(keys.empty());
  geo.set_gcs(4269);
  geo.set_latlong_projection(nullptr, true);
  ASSERT_TRUE(geo.get_geo_keys_from_projection(keys, doubles, true));
  EXPECT_EQ(as_rows(keys), (std::vector<std::vector<uint16_t>>{
                               {1024, 0, 1, 2}, {2048, 0, 1, 4269}, {4099, 0, 1, 9001}}));
  geo.set_ecef_projection(nullptr, true);
  ASSERT_TRUE(geo.get_geo_keys_from_projection(keys, doubles, true));
  EXPECT_EQ(as_rows(keys),
            (std::vector<std::vector<uint16_t>>{{1024, 0, 1, 3}, {2048, 0, 1, 4269}}));
  geo.set_no_projection(nullptr, true);
  CaptureStderr();
  EXPECT_FALSE(geo.get_geo_keys_from_projection(keys, doubles, true));
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(GeoKeysOut, UtmCodesFromGcsAndEllipsoid) {
  const struct {
    int gcs;
    int zone;
    bool northern;
    uint16_t code;
  } cases[] = {
      {4326, 32, true, 32632},  {4326, 55, false, 32755}, {4322, 10, false, 32310},
      {4269, 17, true, 26917},  {4269, 59, true, 3372},   {4617, 11, true, 2955},
      {4617, 22, true, 3761},   {4759, 5, true, 3712},    {6318, 19, true, 6348},
      {6318, 60, true, 6329},   {4152, 15, true, 3745},   {4152, 4, true, 3750},
      {4152, 2, false, 2195},   {4258, 32, true, 25832},  {4283, 55, false, 28355},
      {7844, 46, false, 7846},  {4267, 18, true, 26718},  {4291, 20, true, 29120},
      {4291, 23, false, 29183},
  };
  for (const auto& c : cases) {
    LASgeoProjector geo;
    geo.set_gcs(c.gcs);
    geo.set_utm_projection(c.zone, c.northern, nullptr, true);
    EXPECT_EQ(geo.get_ProjectedCSTypeGeoKey(true), c.code) << c.gcs << " " << c.zone;
  }
  LASgeoProjector geo;
  geo.set_gcs(4267);
  geo.set_utm_projection(2, true, nullptr, true);
  CaptureStderr();
  EXPECT_EQ(geo.get_ProjectedCSTypeGeoKey(true), 0);
  std::vector<GeoKeyEntry> keys;
  std::vector<double> doubles;
  EXPECT_FALSE(geo.get_geo_keys_from_projection(keys, doubles, true));
  EXPECT_EQ(GetCapturedStderr(),
            "get_ProjectedCSTypeGeoKey: northern UTM zone 2 for NAD27 out-of-range\n"
            "get_ProjectedCSTypeGeoKey: northern UTM zone 2 for NAD27 out-of-range\n"
            "get_geo_keys_from_projection for generic projection not implemented\n");
  // The automatic zone has no number, hence no code.
  geo.set_target_utm_auto(nullptr);
  EXPECT_EQ(geo.get_ProjectedCSTypeGeoKey(false), 0);
}

// Every user-defined kind written and read back: the same parameters, in the side's units.
TEST(GeoKeysRoundTrip, EveryTransformationKind) {
  using Set = void (*)(LASgeoProjector&);
  const struct {
    const char* name;
    Set set;
    uint16_t transformation;
    size_t doubles;
  } cases[] = {
      {"tm",
       [](LASgeoProjector& g) {
         g.set_tm_projection(152400.3048, 10, 30.5, -85.8333, 0.99996, nullptr, true);
       },
       1, 5},
      {"lcc",
       [](LASgeoProjector& g) {
         g.set_lcc_projection(609601.2192, 20, 33.75, -79, 34.3333, 36.1667, nullptr, true);
       },
       8, 6},
      {"aeac",
       [](LASgeoProjector& g) {
         g.set_aeac_projection(30, 40, 23, -96, 29.5, 45.5, nullptr, true);
       },
       11, 6},
      {"hom",
       [](LASgeoProjector& g) {
         g.set_hom_projection(2600000, 1200000, 46.95, 7.44, 90, 89, 0.9999, nullptr, true);
       },
       3, 7},
  };
  for (const auto& c : cases) {
    for (int unit : {9001, 9002, 9003}) {
      LASgeoProjector out;
      c.set(out);
      out.set_ProjLinearUnitsGeoKey(unit, true);
      out.set_vertical_survey_feet(true);
      std::vector<GeoKeyEntry> keys;
      std::vector<double> doubles;
      ASSERT_TRUE(out.get_geo_keys_from_projection(keys, doubles, true)) << c.name;
      ASSERT_EQ(doubles.size(), c.doubles) << c.name;
      EXPECT_EQ(as_rows(keys)[2], (std::vector<uint16_t>{3075, 0, 1, c.transformation}));
      EXPECT_EQ(as_rows(keys)[3], (std::vector<uint16_t>{3076, 0, 1, uint16_t(unit)}));
      EXPECT_EQ(as_rows(keys).back(), (std::vector<uint16_t>{4099, 0, 1, 9003}));
      const ProjectionRecord& a = *out.get_projection(true);
      // False easting and northing are the last two doubles, in the side's units.
      EXPECT_EQ(doubles[c.doubles - 2], a.false_easting / out.horizontal_factor(true));

      LASgeoProjector in;
      ASSERT_TRUE(read_keys(in, keys, doubles)) << c.name;
      const ProjectionRecord& b = *in.get_projection(true);
      EXPECT_EQ(b.kind, a.kind) << c.name;
      EXPECT_NEAR(b.false_easting, a.false_easting, 1e-6) << c.name << " " << unit;
      EXPECT_NEAR(b.false_northing, a.false_northing, 1e-6) << c.name << " " << unit;
      EXPECT_EQ(b.latitude, a.latitude) << c.name;
      EXPECT_EQ(b.longitude, a.longitude) << c.name;
      EXPECT_EQ(b.parallel_1, a.parallel_1) << c.name;
      EXPECT_EQ(b.parallel_2, a.parallel_2) << c.name;
      EXPECT_EQ(b.scale, a.scale) << c.name;
      EXPECT_EQ(b.azimuth, a.azimuth) << c.name;
      EXPECT_EQ(b.angle, a.angle) << c.name;
      EXPECT_EQ(in.get_horizontal_unit_epsg(true), unit);
      EXPECT_EQ(in.get_vertical_unit_epsg(true), 9003);
      EXPECT_EQ(in.get_gcs_code(), 4326);
    }
  }
}

TEST(GeoKeysOut, TargetSideWritesItsOwnUnits) {
  LASgeoProjector geo;
  geo.set_tm_projection(500000, 0, 0, -93, 0.9996, nullptr, false);
  geo.set_horizontal_survey_feet(false);
  std::vector<GeoKeyEntry> keys;
  std::vector<double> doubles;
  ASSERT_TRUE(geo.get_geo_keys_from_projection(keys, doubles, false));
  EXPECT_EQ(doubles[3], 500000 * 3.28083333333354);
  EXPECT_EQ(keys[3].value_offset, 9003);
  EXPECT_EQ(doubles, (std::vector<double>{-93, 0, 0.9996, 500000 * 3.28083333333354, 0}));
}

TEST(GeoKeysOut, ObliqueStereographicWithoutCodeCannotBeWritten) {
  LASgeoProjector geo;
  geo.set_os_projection(155000, 463000, 52.15, 5.38, 0.9999079, nullptr, true);
  std::vector<GeoKeyEntry> keys;
  std::vector<double> doubles;
  CaptureStderr();
  EXPECT_FALSE(geo.get_geo_keys_from_projection(keys, doubles, true));
  EXPECT_EQ(GetCapturedStderr(),
            "get_geo_keys_from_projection for generic projection not implemented\n");
}

}  // namespace
