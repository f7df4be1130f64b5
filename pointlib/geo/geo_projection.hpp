#ifndef POINTLIB_GEO_GEO_PROJECTION_HPP
#define POINTLIB_GEO_GEO_PROJECTION_HPP

// The records that describe one side's projection and the ellipsoid, the built-in ellipsoid
// table, and the constants each projection derives from the ellipsoid when it is set. Nothing
// here converts coordinates: the records describe them.

#include <cstdint>
#include <string>

enum class ProjectionKind : int32_t {
  UTM = 0,
  LambertConformalConic = 1,
  TransverseMercator = 2,
  LongLat = 3,
  LatLong = 4,
  ECEF = 5,
  AlbersEqualAreaConic = 6,
  HotineObliqueMercator = 7,
  ObliqueStereographic = 8,
  NoProjection = 9,
};

constexpr double DEGREES_TO_RADIANS = 0.017453292519943295;

struct EllipsoidRecord {
  int32_t id = 0;
  const char* name = "";  // from the built-in table
  double a = 0.0;         // semi-major axis in metres
  double b = 0.0;         // semi-minor axis a * sqrt(1 - e2)
  double e2 = 0.0;        // first eccentricity squared
  double inverse_flattening = 0.0;
  double e2_prime = 0.0;  // second eccentricity squared e2 / (1 - e2)
  double e = 0.0;
  double n = 0.0;  // (1 - sqrt(1 - e2)) / (1 + sqrt(1 - e2))
};

// Ids 1 to 24 of the built-in table; the ellipsoid with its derived values, or false.
bool ellipsoid_from_id(int id, EllipsoidRecord* ellipsoid);
constexpr int ELLIPSOID_COUNT = 24;

struct LambertConstants {
  double n = 0.0, aF = 0.0, rho0 = 0.0;
};
struct TransverseMercatorConstants {
  double arc[5] = {0.0, 0.0, 0.0, 0.0, 0.0};  // meridian-arc coefficients
};
struct AlbersConstants {
  double n = 0.0, C = 0.0, two_e = 0.0, rho0 = 0.0, one_minus_e2 = 0.0, a_over_n = 0.0;
};
struct HotineConstants {
  double A = 0.0, B = 0.0, E = 0.0, gamma0 = 0.0, lambda0 = 0.0;
};
struct StereographicConstants {
  double R2 = 0.0;  // 2 sqrt(1 - e2) / (1 - e2 sin^2 phi0)
  double n = 0.0, chi0 = 0.0, sin_chi0 = 0.0, cos_chi0 = 0.0, n_e_half = 0.0, c = 0.0, a_k = 0.0;
};

// One side's projection. Angles in degrees and again in radians, distances in metres. Which
// fields a kind uses: UTM the utm_ fields; Lambert and Albers false easting and northing,
// latitude and longitude (origin, or centre for Albers) and both parallels; transverse
// Mercator and oblique stereographic false easting and northing, latitude, longitude and scale;
// Hotine false easting and northing, centre latitude and longitude, azimuth, angle and scale.
struct ProjectionRecord {
  ProjectionKind kind = ProjectionKind::NoProjection;
  uint16_t epsg_code = 0;  // 0: not set from an EPSG code
  uint16_t gcs_code = 0;   // geographic system in force when the EPSG code was stored
  std::string description;

  int32_t utm_zone = 0;  // -1: chosen automatically
  char utm_band = ' ';   // ' ' when set from an EPSG code
  bool utm_northern = true;
  int32_t utm_meridian = 0;  // 6 * zone - 183

  double false_easting = 0.0;
  double false_northing = 0.0;
  double latitude = 0.0;
  double longitude = 0.0;
  double parallel_1 = 0.0;
  double parallel_2 = 0.0;
  double scale = 1.0;
  double azimuth = 0.0;
  double angle = 0.0;  // from the rectified to the skew grid

  double latitude_r = 0.0;
  double longitude_r = 0.0;
  double parallel_1_r = 0.0;
  double parallel_2_r = 0.0;
  double azimuth_r = 0.0;
  double angle_r = 0.0;

  LambertConstants lcc;
  TransverseMercatorConstants tm;
  AlbersConstants aeac;
  HotineConstants hom;
  StereographicConstants os;

  bool is_geographic() const {
    return kind == ProjectionKind::LongLat || kind == ProjectionKind::LatLong;
  }
};

// The description a kind has unless a name replaces it; empty for UTM, whose text is built
// from its zone.
const char* default_projection_description(ProjectionKind kind);

// Fills the radians from the degrees and computes the kind's constants for the ellipsoid.
void compute_projection_constants(ProjectionRecord& projection, const EllipsoidRecord& ellipsoid);

#endif
