#include "ground_projection.hpp"

#include <cstdio>
#include <string>

#include "geo/geo_header_records.hpp"
#include "geo/las_geo_projector.hpp"

namespace {

bool is_feet(uint16_t unit) {
  return int16_t(unit) > EPSG_UNIT_METRE;
}

}  // namespace

bool ground_take_command_line_projection(LASgeoProjector& geo, GroundSettings& s) {
  s.horizontal_units_given = geo.horizontal_units_set(true);
  s.vertical_units_given = geo.vertical_units_set(true);
  if (s.horizontal_units_given) s.horizontal_feet = is_feet(geo.get_horizontal_unit_epsg(true));
  if (s.vertical_units_given) s.vertical_feet = is_feet(geo.get_vertical_unit_epsg(true));
  s.projection_given = geo.has_projection(true);
  s.geo_keys.clear();
  s.geo_doubles.clear();
  s.geo_wkt.clear();
  if (s.projection_given && !geo.get_geo_keys_from_projection(s.geo_keys, s.geo_doubles, true)) {
    s.geo_keys.clear();
    s.geo_doubles.clear();
    std::fprintf(stderr, "ERROR: the projection given cannot be written into an output header\n");
    return false;
  }
  if (s.projection_given) geo.get_ogc_wkt_from_projection(s.geo_wkt, true);
  return true;
}

void ground_file_units(LASgeoProjector& geo, const GroundSettings& s, const LASheader& header,
                       bool* horizontal_feet, bool* vertical_feet) {
  if (s.horizontal_units_given && s.vertical_units_given) return;
  const std::string wkt = header_ogc_wkt(header);
  if (!wkt.empty()) geo.set_projection_from_ogc_wkt(wkt.c_str(), nullptr);
  const int keys = header_geo_key_count(header);
  if (!geo.has_projection(true) && keys > 0) {
    geo.set_projection_from_geo_keys(keys, header.vlr_geo_key_entries, header.vlr_geo_ascii_params,
                                     header.vlr_geo_double_params, header_geo_double_count(header),
                                     nullptr, true);
  }
  if (!s.horizontal_units_given) *horizontal_feet = is_feet(geo.get_horizontal_unit_epsg(true));
  if (!s.vertical_units_given) *vertical_feet = is_feet(geo.get_vertical_unit_epsg(true));
}

bool ground_file_in_degrees(const LASgeoProjector& geo, const GroundSettings& s) {
  return !s.horizontal_units_given && geo.get_horizontal_unit_epsg(true) == EPSG_UNIT_DEGREES;
}

void ground_forget_file_units(LASgeoProjector& geo, const GroundSettings& s) {
  if (!s.horizontal_units_given) geo.reset_horizontal_units(true);
  if (!s.vertical_units_given) geo.reset_vertical_units(true);
  if (!s.projection_given) geo.reset_projection(true);
}
