// OGC well-known text: a scanner that looks for a few keywords, counts square brackets and
// reads numbers after commas; not a full parser of the grammar.

#include <cmath>
#include <cstdio>
#include <cstring>

#include "geo/las_geo_projector.hpp"

namespace {

bool begins(const char* at, const char* word) {
  return std::strncmp(at, word, std::strlen(word)) == 0;
}

// Behind an AUTHORITY word: the number of the next "EPSG" authority (past its comma and the
// quote that opens the number). Null when there is none; else where the scan goes on.
const char* read_epsg_authority(const char* at, int* code) {
  const char* epsg = std::strstr(at, "\"EPSG\"");
  if (!epsg) return nullptr;
  const char* comma = std::strchr(epsg + 6, ',');
  if (!comma) return nullptr;
  const char* quote = std::strchr(comma + 1, '"');
  if (!quote) return nullptr;
  if (std::sscanf(quote + 1, "%d", code) != 1) return nullptr;
  return quote + 1;
}

// One character on, counting the square brackets passed.
void step(const char*& at, int& depth) {
  if (*at == '[') depth++;
  if (*at == ']') depth--;
  at++;
}

bool near(double value, double target, double tolerance) {
  return std::fabs(value - target) <= tolerance;
}

// Looks up `lower`, then `capitalised`, the two spellings that texts use.
bool parameter(const char* text, const char* lower, const char* capitalised, double* value) {
  return wkt_parameter_value(text, lower, value) || wkt_parameter_value(text, capitalised, value);
}

}  // namespace

bool wkt_parameter_value(const char* text, const char* name, double* value) {
  const char* at = std::strstr(text, name);
  if (!at) return false;
  for (at += std::strlen(name); *at && *at != '[' && *at != ']'; at++) {
    if (*at == ',' && std::sscanf(at + 1, "%lf", value) == 1) return true;
  }
  return false;
}

bool wkt_unit_value(const char* text, double* value) {
  return wkt_parameter_value(text, "UNIT[", value);
}

void LASgeoProjector::set_wkt_horizontal_unit(double factor) {
  if (factor == 1.0) {
    set_horizontal_meter(true);
  } else if (near(factor, 0.3048006096012192, 1e-9)) {
    set_horizontal_survey_feet(true);
  } else if (near(factor, FEET_TO_METERS, 1e-6)) {
    set_horizontal_feet(true);
  }
}

void LASgeoProjector::read_wkt_vertical(const char* at) {
  vertical_code_ = 0;
  // The datum's authority names the system, as the vertical codes of older GeoTIFF keys do;
  // a text whose datum has none names it by the system's own authority. A unit's authority
  // names only the unit.
  int own = -1;
  int datum = -1;
  bool in_datum = false;
  int depth = 1;
  while (*at && depth > 0) {
    if (depth == 1 && *at == ',') in_datum = begins(at + 1, "VERT_DATUM[");
    if ((depth == 1 || (depth == 2 && in_datum)) && begins(at, "AUTHORITY")) {
      int code;
      const char* next = read_epsg_authority(at + 9, &code);
      if (next) {
        (depth == 1 ? own : datum) = code;
        depth++;  // the authority's opening bracket lies behind the scan
        at = next;
        continue;
      }
      at += 9;
      continue;
    }
    if (depth == 1 && begins(at, "UNIT[")) {
      const char* comma = std::strchr(at + 5, ',');
      if (!comma) break;
      double factor;
      if (std::sscanf(comma + 1, "%lf", &factor) == 1) {
        if (factor == 1.0) {
          set_vertical_meter(true);
        } else if (near(factor, 0.3048006096012192, 1e-9)) {
          set_vertical_survey_feet(true);
        } else {
          set_vertical_feet(true);
        }
      }
      // Inside the unit's brackets, so that its authority is not the system's.
      depth = 2;
      in_datum = false;
      at = comma + 1;
      continue;
    }
    step(at, depth);
  }
  const int code = datum >= 0 ? datum : own;
  // Vertical codes are 16-bit; a larger number names no system.
  if (code >= 0 && code <= 65535) vertical_code_ = uint16_t(code);
}

bool LASgeoProjector::set_projection_from_ogc_wkt(const char* text, std::string* description) {
  if (!text) return false;
  if (const char* vertical = std::strstr(text, "VERT_CS[")) read_wkt_vertical(vertical + 8);

  const char* projected = std::strstr(text, "PROJCS[");
  if (!projected) return false;

  // The projected system's own UNIT names its units whatever the projection, so that even a
  // projection read no further (or a code the tables do not know) gives the right units.
  int depth = 1;
  double unit = 1.0;
  for (const char* at = projected + 7; *at && depth > 0;) {
    if (depth == 1 && begins(at, "UNIT[") && wkt_unit_value(at, &unit)) {
      set_wkt_horizontal_unit(unit);
    }
    if (depth == 1 && begins(at, "AUTHORITY")) {
      int code;
      if (read_epsg_authority(at + 9, &code)) {
        if (code < 0 || code > 65535) {
          std::fprintf(stderr, "EPSG code %d not found in 'pcs.csv' file\n", code);
          return false;
        }
        return set_epsg_code(uint16_t(code), description, true);
      }
      at += 9;
      continue;
    }
    step(at, depth);
  }

  const char* projection = std::strstr(projected, "PROJECTION[");
  if (!projection) return false;
  const char* name = nullptr;
  depth = 1;
  for (const char* at = projection + 11; *at && depth > 0; at++) {
    if (*at == '[') depth++;
    if (*at == ']') depth--;
    if (depth == 1 && *at == '"') {
      name = at + 1;
      break;
    }
  }
  if (!name) return false;

  enum { kLambert, kTransverseMercator, kAlbers } kind;
  if (begins(name, "Lambert_Conformal_Conic")) {
    kind = kLambert;
  } else if (begins(name, "Transverse_Mercator")) {
    kind = kTransverseMercator;
  } else if (begins(name, "Albers_Conic_Equal_Area")) {
    kind = kAlbers;
  } else {
    return false;
  }

  double false_easting, false_northing, latitude, longitude, third, fourth = 0.0;
  if (!parameter(name, "false_easting", "False_Easting", &false_easting) ||
      !parameter(name, "false_northing", "False_Northing", &false_northing)) {
    return false;
  }
  if (kind == kAlbers) {
    if (!parameter(name, "latitude_of_center", "Latitude_Of_Center", &latitude) ||
        !parameter(name, "longitude_of_center", "Longitude_Of_Center", &longitude)) {
      return false;
    }
  } else if (!parameter(name, "latitude_of_origin", "Latitude_Of_Origin", &latitude) ||
             !parameter(name, "central_meridian", "Central_Meridian", &longitude)) {
    return false;
  }
  if (kind == kTransverseMercator) {
    if (!parameter(name, "scale_factor", "Scale_Factor", &third)) return false;
  } else if (!parameter(name, "standard_parallel_1", "Standard_Parallel_1", &third) ||
             !parameter(name, "standard_parallel_2", "Standard_Parallel_2", &fourth)) {
    return false;
  }

  false_easting *= unit;
  false_northing *= unit;

  if (kind == kLambert) {
    set_lcc_projection(false_easting, false_northing, latitude, longitude, third, fourth, nullptr,
                       true);
  } else if (kind == kTransverseMercator) {
    set_tm_projection(false_easting, false_northing, latitude, longitude, third, nullptr, true);
  } else {
    set_aeac_projection(false_easting, false_northing, latitude, longitude, third, fourth, nullptr,
                        true);
  }
  if (description) *description = get_projection(true)->description;
  return true;
}
