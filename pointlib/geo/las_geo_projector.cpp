// The projector's model: units of both sides, their queries, and the setters of projections
// and of the ellipsoid.

#include "geo/las_geo_projector.hpp"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

void describe(std::string* description, const char* format, ...) {
  if (!description) return;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  *description = text;
}

// Descriptions hold at most 255 characters.
std::string cut_description(const std::string& text) {
  return text.size() > 255 ? text.substr(0, 255) : text;
}

}  // namespace

LASgeoProjector::LASgeoProjector() {
  set_gcs(4326);
}

// --- units ---

bool LASgeoProjector::set_units(bool source, bool horizontal, double source_factor,
                                double target_factor) {
  if (horizontal) {
    (source ? source_h_factor_ : target_h_factor_) = source ? source_factor : target_factor;
    (source ? source_h_set_ : target_h_set_) = true;
  } else {
    (source ? source_v_factor_ : target_v_factor_) = source ? source_factor : target_factor;
    (source ? source_v_set_ : target_v_set_) = true;
  }
  return source;
}

bool LASgeoProjector::set_horizontal_meter(bool source) {
  return set_units(source, true, 1.0, 1.0);
}
bool LASgeoProjector::set_horizontal_feet(bool source) {
  return set_units(source, true, FEET_TO_METERS, METERS_TO_FEET);
}
bool LASgeoProjector::set_horizontal_survey_feet(bool source) {
  return set_units(source, true, SURVEY_FEET_TO_METERS, METERS_TO_SURVEY_FEET);
}
bool LASgeoProjector::set_vertical_meter(bool source) {
  return set_units(source, false, 1.0, 1.0);
}
bool LASgeoProjector::set_vertical_feet(bool source) {
  return set_units(source, false, FEET_TO_METERS, METERS_TO_FEET);
}
bool LASgeoProjector::set_vertical_survey_feet(bool source) {
  return set_units(source, false, SURVEY_FEET_TO_METERS, METERS_TO_SURVEY_FEET);
}

bool LASgeoProjector::set_unit_code(int code, bool source, bool horizontal) {
  using Setter = bool (LASgeoProjector::*)(bool);
  static const struct {
    int code;
    Setter horizontal, vertical;
  } kUnits[] = {
      {EPSG_UNIT_METRE, &LASgeoProjector::set_horizontal_meter,
       &LASgeoProjector::set_vertical_meter},
      {EPSG_UNIT_FOOT, &LASgeoProjector::set_horizontal_feet, &LASgeoProjector::set_vertical_feet},
      {EPSG_UNIT_SURVEY_FOOT, &LASgeoProjector::set_horizontal_survey_feet,
       &LASgeoProjector::set_vertical_survey_feet},
  };
  for (const auto& unit : kUnits) {
    if (unit.code != code) continue;
    (this->*(horizontal ? unit.horizontal : unit.vertical))(source);
    return true;
  }
  return false;
}

void LASgeoProjector::reset_horizontal_units(bool source) {
  (source ? source_h_set_ : target_h_set_) = false;
  (source ? source_h_factor_ : target_h_factor_) = 1.0;
}

void LASgeoProjector::reset_vertical_units(bool source) {
  (source ? source_v_set_ : target_v_set_) = false;
  (source ? source_v_factor_ : target_v_factor_) = 1.0;
}

void LASgeoProjector::reset_projection(bool source) {
  (source ? source_projection_ : target_projection_).reset();
}

namespace {

uint16_t unit_epsg(double factor, bool source) {
  if (factor == 1.0) return EPSG_UNIT_METRE;
  if (factor == (source ? FEET_TO_METERS : METERS_TO_FEET)) return EPSG_UNIT_FOOT;
  return EPSG_UNIT_SURVEY_FOOT;
}

}  // namespace

uint16_t LASgeoProjector::get_horizontal_unit_epsg(bool source) const {
  const ProjectionRecord* projection = get_projection(source);
  if (projection && projection->is_geographic()) return EPSG_UNIT_DEGREES;
  return unit_epsg(horizontal_factor(source), source);
}

uint16_t LASgeoProjector::get_vertical_unit_epsg(bool source) const {
  return unit_epsg(vertical_factor(source), source);
}

// --- projections ---

void LASgeoProjector::set_projection(std::unique_ptr<ProjectionRecord> projection, bool source) {
  (source ? source_projection_ : target_projection_) = std::move(projection);
}

ProjectionRecord& LASgeoProjector::new_projection(ProjectionKind kind, bool source) {
  auto projection = std::make_unique<ProjectionRecord>();
  projection->kind = kind;
  ProjectionRecord& record = *projection;
  set_projection(std::move(projection), source);
  return record;
}

void LASgeoProjector::finish_projection(ProjectionRecord& projection, std::string* description,
                                        const char* name) {
  projection.description =
      cut_description(name ? name : default_projection_description(projection.kind));
  compute_projection_constants(projection, ellipsoid_);
  if (description) *description = projection.description;
}

void LASgeoProjector::set_utm_projection(int zone, bool northern, std::string* description,
                                         bool source, const char* name, bool mga) {
  ProjectionRecord& p = new_projection(ProjectionKind::UTM, source);
  p.utm_zone = zone;
  p.utm_band = ' ';
  p.utm_northern = northern;
  p.utm_meridian = 6 * zone - 183;
  if (name) {
    p.description = cut_description(name);
  } else {
    char text[300];
    std::snprintf(text, sizeof(text), "%s / %s %d%s", gcs_name_.c_str(), mga ? "MGA" : "UTM", zone,
                  northern ? "N" : "S");
    p.description = cut_description(text);
  }
  if (description) *description = p.description;
}

bool LASgeoProjector::set_utm_zone(const char* zone_text, std::string* description, bool source,
                                   const char* name, bool mga) {
  if (zone_text[0] < '0' || zone_text[0] > '9') return false;
  char* end = nullptr;
  const unsigned long zone = std::strtoul(zone_text, &end, 10);
  const char band = *end;
  if (band < 'C' || band > 'X') return false;
  // Zones outside 1 to 60 do not exist, and their codes would name other systems.
  if (zone < 1 || zone > 60) return false;
  const bool northern = band >= 'N';
  ProjectionRecord& p = new_projection(ProjectionKind::UTM, source);
  p.utm_zone = int32_t(zone);
  p.utm_band = band;
  p.utm_northern = northern;
  p.utm_meridian = 6 * p.utm_zone - 183;
  if (name) {
    p.description = cut_description(name);
  } else {
    char text[64];
    std::snprintf(text, sizeof(text), "%s zone %d%s", mga ? "MGA" : "UTM", p.utm_zone,
                  northern ? "N" : "S");
    p.description = text;
  }
  if (description) *description = p.description;
  return true;
}

void LASgeoProjector::set_target_utm_auto(std::string* description, const char* name) {
  ProjectionRecord& p = new_projection(ProjectionKind::UTM, false);
  p.utm_zone = -1;
  p.description = cut_description(name ? name : "auto select");
  if (description) *description = "auto select";
}

ProjectionRecord& LASgeoProjector::placed_projection(ProjectionKind kind, bool source,
                                                     double false_easting, double false_northing,
                                                     double latitude, double longitude) {
  ProjectionRecord& p = new_projection(kind, source);
  p.false_easting = false_easting;
  p.false_northing = false_northing;
  p.latitude = latitude;
  p.longitude = longitude;
  return p;
}

void LASgeoProjector::set_conic_projection(ProjectionKind kind, double false_easting,
                                           double false_northing, double latitude, double longitude,
                                           double parallel_1, double parallel_2,
                                           std::string* description, bool source,
                                           const char* name) {
  ProjectionRecord& p =
      placed_projection(kind, source, false_easting, false_northing, latitude, longitude);
  p.parallel_1 = parallel_1;
  p.parallel_2 = parallel_2;
  finish_projection(p, nullptr, name);
  describe(description,
           kind == ProjectionKind::LambertConformalConic
               ? "false east/north: %g/%g [m], origin lat/ meridian long: %g/%g, parallel "
                 "1st/2nd: %g/%g"
               : "false east/north: %g/%g [m], center lat/long: %g/%g, parallel 1st/2nd: %g/%g",
           false_easting, false_northing, latitude, longitude, parallel_1, parallel_2);
}

void LASgeoProjector::set_scaled_projection(ProjectionKind kind, double false_easting,
                                            double false_northing, double origin_latitude,
                                            double central_meridian, double scale,
                                            std::string* description, bool source,
                                            const char* name) {
  ProjectionRecord& p = placed_projection(kind, source, false_easting, false_northing,
                                          origin_latitude, central_meridian);
  p.scale = scale;
  finish_projection(p, nullptr, name);
  describe(description, "false east/north: %g/%g [m], origin lat/meridian long: %g/%g, scale: %g",
           false_easting, false_northing, origin_latitude, central_meridian, scale);
}

void LASgeoProjector::set_lcc_projection(double false_easting, double false_northing,
                                         double origin_latitude, double central_meridian,
                                         double parallel_1, double parallel_2,
                                         std::string* description, bool source, const char* name) {
  set_conic_projection(ProjectionKind::LambertConformalConic, false_easting, false_northing,
                       origin_latitude, central_meridian, parallel_1, parallel_2, description,
                       source, name);
}

void LASgeoProjector::set_tm_projection(double false_easting, double false_northing,
                                        double origin_latitude, double central_meridian,
                                        double scale, std::string* description, bool source,
                                        const char* name) {
  set_scaled_projection(ProjectionKind::TransverseMercator, false_easting, false_northing,
                        origin_latitude, central_meridian, scale, description, source, name);
}

void LASgeoProjector::set_aeac_projection(double false_easting, double false_northing,
                                          double centre_latitude, double centre_longitude,
                                          double parallel_1, double parallel_2,
                                          std::string* description, bool source, const char* name) {
  set_conic_projection(ProjectionKind::AlbersEqualAreaConic, false_easting, false_northing,
                       centre_latitude, centre_longitude, parallel_1, parallel_2, description,
                       source, name);
}

void LASgeoProjector::set_hom_projection(double false_easting, double false_northing,
                                         double centre_latitude, double centre_longitude,
                                         double azimuth, double rectified_grid_angle, double scale,
                                         std::string* description, bool source, const char* name) {
  ProjectionRecord& p =
      placed_projection(ProjectionKind::HotineObliqueMercator, source, false_easting,
                        false_northing, centre_latitude, centre_longitude);
  p.azimuth = azimuth;
  p.angle = rectified_grid_angle;
  p.scale = scale;
  finish_projection(p, nullptr, name);
  describe(description,
           "false east/north: %g/%g [m], center lat/long: %g/%g, azimuth: %g angle: %g scale: %g",
           false_easting, false_northing, centre_latitude, centre_longitude, azimuth,
           rectified_grid_angle, scale);
}

void LASgeoProjector::set_os_projection(double false_easting, double false_northing,
                                        double origin_latitude, double central_meridian,
                                        double scale, std::string* description, bool source,
                                        const char* name) {
  set_scaled_projection(ProjectionKind::ObliqueStereographic, false_easting, false_northing,
                        origin_latitude, central_meridian, scale, description, source, name);
}

void LASgeoProjector::set_longlat_projection(std::string* description, bool source) {
  finish_projection(new_projection(ProjectionKind::LongLat, source), description, nullptr);
}

void LASgeoProjector::set_latlong_projection(std::string* description, bool source) {
  finish_projection(new_projection(ProjectionKind::LatLong, source), description, nullptr);
}

void LASgeoProjector::set_no_projection(std::string* description, bool source) {
  finish_projection(new_projection(ProjectionKind::NoProjection, source), description, nullptr);
}

void LASgeoProjector::set_ecef_projection(std::string* description, bool source, const char* name) {
  finish_projection(new_projection(ProjectionKind::ECEF, source), description, name);
}

bool LASgeoProjector::set_ellipsoid(int id, std::string* description) {
  if (!ellipsoid_from_id(id, &ellipsoid_)) return false;
  for (ProjectionRecord* p : {source_projection_.get(), target_projection_.get()}) {
    if (p && (p->kind == ProjectionKind::LambertConformalConic ||
              p->kind == ProjectionKind::TransverseMercator)) {
      compute_projection_constants(*p, ellipsoid_);
    }
  }
  describe(description, "%2d - %s (%g %g)", ellipsoid_.id, ellipsoid_.name, ellipsoid_.a,
           ellipsoid_.e2);
  return true;
}
