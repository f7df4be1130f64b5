#ifndef TESTS_SUPPORT_GEO_SAME_SYSTEM_HPP
#define TESTS_SUPPORT_GEO_SAME_SYSTEM_HPP

// Whether two projectors, one filled from a file's GeoKeys and one from its well-known text,
// describe one coordinate system: projection, parameters, units and vertical system.

#include <gtest/gtest.h>

#include <string>

#include "geo/las_geo_projector.hpp"

// A UTM zone as the transverse Mercator projection it is, so that a zone read from a code and
// the same projection read from its parameters compare alike.
inline ProjectionRecord as_parameters(const ProjectionRecord& p) {
  ProjectionRecord q = p;
  if (p.kind != ProjectionKind::UTM) return q;
  q.kind = ProjectionKind::TransverseMercator;
  q.latitude = 0.0;
  q.longitude = p.utm_meridian;
  q.scale = 0.9996;
  q.false_easting = 500000.0;
  q.false_northing = p.utm_northern ? 0.0 : 10000000.0;
  return q;
}

// What a reader of the keys and a reader of the text find must be one system.
inline void expect_same_system(const LASgeoProjector& keys, const LASgeoProjector& text,
                               bool same_code, const std::string& what) {
  ASSERT_NE(keys.get_projection(true), nullptr) << what;
  ASSERT_NE(text.get_projection(true), nullptr) << what;
  const ProjectionRecord a = as_parameters(*keys.get_projection(true));
  const ProjectionRecord b = as_parameters(*text.get_projection(true));
  EXPECT_EQ(b.kind, a.kind) << what;
  if (same_code) {
    EXPECT_EQ(b.epsg_code, a.epsg_code) << what;
  }
  EXPECT_NEAR(b.false_easting, a.false_easting, 1e-6) << what;
  EXPECT_NEAR(b.false_northing, a.false_northing, 1e-6) << what;
  EXPECT_NEAR(b.latitude, a.latitude, 1e-12) << what;
  EXPECT_NEAR(b.longitude, a.longitude, 1e-12) << what;
  EXPECT_NEAR(b.parallel_1, a.parallel_1, 1e-12) << what;
  EXPECT_NEAR(b.parallel_2, a.parallel_2, 1e-12) << what;
  EXPECT_NEAR(b.scale, a.scale, 1e-15) << what;
  EXPECT_NEAR(b.azimuth, a.azimuth, 1e-12) << what;
  EXPECT_NEAR(b.angle, a.angle, 1e-12) << what;
  EXPECT_EQ(text.get_horizontal_unit_epsg(true), keys.get_horizontal_unit_epsg(true)) << what;
  EXPECT_EQ(text.get_vertical_unit_epsg(true), keys.get_vertical_unit_epsg(true)) << what;
  EXPECT_EQ(text.get_vertical_code(), keys.get_vertical_code()) << what;
}

#endif  // TESTS_SUPPORT_GEO_SAME_SYSTEM_HPP
