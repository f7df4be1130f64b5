#ifndef POINTLIB_GEO_GEO_STATE_PLANES_HPP
#define POINTLIB_GEO_GEO_STATE_PLANES_HPP

// The built-in US state-plane zones of NAD27 and NAD83: a zone name selects an EPSG code; the
// other columns serve only the listing shown after a bad zone name. Distances in metres (the
// NAD27 zones' round foot values converted), angles in degrees.

#include <cstdint>

struct StatePlaneLambert {
  int32_t epsg_code;
  const char* zone;  // null ends the table
  double false_easting, false_northing, origin_latitude, central_meridian, parallel_1, parallel_2;
};

struct StatePlaneTransverseMercator {
  int32_t epsg_code;
  const char* zone;  // null ends the table
  double false_easting, false_northing, origin_latitude, central_meridian, scale_factor;
};

extern const StatePlaneLambert kNad27Lambert[];
extern const StatePlaneLambert kNad83Lambert[];
extern const StatePlaneTransverseMercator kNad27TransverseMercator[];
extern const StatePlaneTransverseMercator kNad83TransverseMercator[];

// Whether the zone lies in the Lambert table of its datum (else the transverse Mercator one)
// and its EPSG code; 0 when neither table has the zone.
struct StatePlaneZone {
  int32_t epsg_code = 0;
  bool lambert = false;
};
StatePlaneZone find_state_plane(bool nad83, const char* zone);

// Every row of the datum's Lambert table, then of its transverse Mercator table, one line each
// on standard error.
void print_state_planes(bool nad83);

#endif
