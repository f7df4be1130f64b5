#ifndef POINTLIB_GEO_GEO_WKT_SYSTEM_HPP
#define POINTLIB_GEO_GEO_WKT_SYSTEM_HPP

// A coordinate system as the OGC well-known text of a LAS 1.4 header spells it (the layout that
// GDAL writes): the parts are gathered from the EPSG tables or the projector's own parameters,
// and one function writes the text. A code of 0 writes no AUTHORITY.

#include <cstdint>
#include <string>
#include <vector>

struct WktGeographicSystem {
  std::string name = "unknown";
  int code = 0;
  std::string datum = "unknown";
  int datum_code = 0;
  std::string ellipsoid;
  int ellipsoid_code = 0;
  double semi_major_axis = 0.0;     // metres
  double inverse_flattening = 0.0;  // 0 for a sphere
  std::string meridian = "Greenwich";
  int meridian_code = 8901;
  double meridian_longitude = 0.0;  // degrees east of Greenwich
};

struct WktParameter {
  const char* name;
  double value;  // angles in degrees, lengths in the linear unit of the system
};

struct WktProjectedSystem {
  std::string name;
  int code = 0;
  WktGeographicSystem geographic;
  const char* method = nullptr;
  std::vector<WktParameter> parameters;
  uint16_t unit = 9001;  // EPSG code: metre, foot or US survey foot
};

struct WktVerticalSystem {
  std::string name = "unknown";
  int code = 0;
  std::string datum = "unknown";
  uint16_t unit = 9001;
};

// Longitude and latitude in this order unless `latitude_first`.
std::string wkt_geographic_text(const WktGeographicSystem& system, bool latitude_first = false);
std::string wkt_geocentric_text(const WktGeographicSystem& system, int code);
std::string wkt_projected_text(const WktProjectedSystem& system);
// `horizontal` as the first half of a compound system whose second half is `vertical`.
std::string wkt_compound_text(const std::string& name, const std::string& horizontal,
                              const WktVerticalSystem& vertical);

// The factor to metres of a linear unit code written into texts; 0 for other codes.
double wkt_unit_factor(uint16_t unit);

#endif
