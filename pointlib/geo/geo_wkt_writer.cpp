// OGC well-known text out: a side's coordinate system as the text of a LAS 1.4 header, naming
// the same system, units and parameters as the GeoKeys written beside it.

#include <cstdio>

#include "geo/geo_wkt_system.hpp"
#include "geo/las_geo_projector.hpp"

namespace {

// 15 significant digits, as texts usually carry them: values converted from grads, sexagesimal
// degrees or feet keep their round form (52 grads are 46.8 degrees, not 46.800000000000004).
std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof(text), "%.15g", value);
  return text;
}

// Names go between double quotes and must not open or close an element: a bracket in a name
// would end the element for every reader that counts them. Trailing blanks of the built-in
// names are no part of them.
std::string quoted(const std::string& name) {
  std::string text = "\"";
  const size_t end = name.find_last_not_of(' ');
  for (const char c : name.substr(0, end == std::string::npos ? 0 : end + 1)) {
    text += c == '"' ? '\'' : c == '[' ? '(' : c == ']' ? ')' : c;
  }
  return text + "\"";
}

std::string authority(int code) {
  return code > 0 ? ",AUTHORITY[\"EPSG\",\"" + std::to_string(code) + "\"]" : std::string();
}

struct UnitRow {
  uint16_t code;
  const char* name;
  const char* factor_text;  // as texts carry it; the survey foot as 1200/3937 to 15 digits
  double factor;
};
const UnitRow kUnits[] = {
    {EPSG_UNIT_METRE, "metre", "1", 1.0},
    {EPSG_UNIT_FOOT, "foot", "0.3048", FEET_TO_METERS},
    {EPSG_UNIT_SURVEY_FOOT, "US survey foot", "0.304800609601219", SURVEY_FEET_TO_METERS},
};

const UnitRow* unit_row(uint16_t code) {
  for (const UnitRow& row : kUnits) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

std::string linear_unit(uint16_t code) {
  const UnitRow* row = unit_row(code);
  if (!row) row = &kUnits[0];
  return std::string("UNIT[") + quoted(row->name) + "," + row->factor_text + authority(row->code) +
         "]";
}

std::string geographic_body(const WktGeographicSystem& g) {
  std::string text = "DATUM[" + quoted(g.datum) + ",SPHEROID[" + quoted(g.ellipsoid) + "," +
                     number(g.semi_major_axis) + "," + number(g.inverse_flattening) +
                     authority(g.ellipsoid_code) + "]" + authority(g.datum_code) + "],";
  text += "PRIMEM[" + quoted(g.meridian) + "," + number(g.meridian_longitude) +
          authority(g.meridian_code) + "]";
  return text;
}

}  // namespace

double wkt_unit_factor(uint16_t unit) {
  const UnitRow* row = unit_row(unit);
  return row ? row->factor : 0.0;
}

std::string wkt_geographic_text(const WktGeographicSystem& g, bool latitude_first) {
  std::string text = "GEOGCS[" + quoted(g.name) + "," + geographic_body(g) +
                     ",UNIT[\"degree\",0.0174532925199433,AUTHORITY[\"EPSG\",\"9122\"]]";
  if (latitude_first) text += ",AXIS[\"Latitude\",NORTH],AXIS[\"Longitude\",EAST]";
  return text + authority(g.code) + "]";
}

std::string wkt_geocentric_text(const WktGeographicSystem& g, int code) {
  return "GEOCCS[" + quoted(g.name) + "," + geographic_body(g) + "," +
         linear_unit(EPSG_UNIT_METRE) +
         ",AXIS[\"Geocentric X\",OTHER],AXIS[\"Geocentric Y\",OTHER],AXIS[\"Geocentric Z\",NORTH]" +
         authority(code) + "]";
}

std::string wkt_projected_text(const WktProjectedSystem& p) {
  std::string text = "PROJCS[" + quoted(p.name) + "," + wkt_geographic_text(p.geographic) +
                     ",PROJECTION[" + quoted(p.method) + "]";
  for (const WktParameter& parameter : p.parameters) {
    text += ",PARAMETER[" + quoted(parameter.name) + "," + number(parameter.value) + "]";
  }
  text += "," + linear_unit(p.unit) + ",AXIS[\"Easting\",EAST],AXIS[\"Northing\",NORTH]";
  return text + authority(p.code) + "]";
}

std::string wkt_compound_text(const std::string& name, const std::string& horizontal,
                              const WktVerticalSystem& v) {
  // A datum of type 2005 is a geoid model's, the usual kind for heights of point clouds. The
  // datum goes without its code: readers take a datum's code for the system's.
  return "COMPD_CS[" + quoted(name) + "," + horizontal + ",VERT_CS[" + quoted(v.name) +
         ",VERT_DATUM[" + quoted(v.datum) + ",2005]," + linear_unit(v.unit) +
         ",AXIS[\"Gravity-related height\",UP]" + authority(v.code) + "]]";
}

// --- the projector's side as text ---

void LASgeoProjector::wkt_geographic(WktGeographicSystem& g) const {
  g = WktGeographicSystem();
  const uint16_t code = geographic_code();
  // The table's row names datum, ellipsoid and prime meridian; without it the ellipsoid in force
  // is all that is known.
  if (code != 0 && wkt_geographic_from_table(code, g)) return;
  g.code = code;
  if (code != 0 && code == gcs_code_) g.name = gcs_name_;
  g.ellipsoid = ellipsoid_.name;
  g.semi_major_axis = ellipsoid_.a;
  g.inverse_flattening = ellipsoid_.inverse_flattening;
}

bool LASgeoProjector::wkt_projected_from_projector(const ProjectionRecord& p, bool source,
                                                   WktProjectedSystem& w) const {
  const uint16_t unit = get_horizontal_unit_epsg(source);
  const double factor = wkt_unit_factor(unit);
  if (factor == 0.0) return false;
  // Distances in the side's own units, as the keys give them.
  auto length = [&](double meters) {
    return source ? meters / source_h_factor_ : meters * target_h_factor_;
  };
  w.name = p.description;
  w.unit = unit;
  wkt_geographic(w.geographic);
  auto add = [&w](const char* name, double value) { w.parameters.push_back({name, value}); };
  switch (p.kind) {
    case ProjectionKind::UTM:
      w.method = "Transverse_Mercator";
      add("latitude_of_origin", 0.0);
      add("central_meridian", p.utm_meridian);
      add("scale_factor", 0.9996);
      add("false_easting", length(500000.0));
      add("false_northing", length(p.utm_northern ? 0.0 : 10000000.0));
      return true;
    case ProjectionKind::TransverseMercator:
    case ProjectionKind::ObliqueStereographic:
      w.method = p.kind == ProjectionKind::TransverseMercator ? "Transverse_Mercator"
                                                              : "Oblique_Stereographic";
      add("latitude_of_origin", p.latitude);
      add("central_meridian", p.longitude);
      add("scale_factor", p.scale);
      break;
    case ProjectionKind::LambertConformalConic:
      w.method = "Lambert_Conformal_Conic_2SP";
      add("standard_parallel_1", p.parallel_1);
      add("standard_parallel_2", p.parallel_2);
      add("latitude_of_origin", p.latitude);
      add("central_meridian", p.longitude);
      break;
    case ProjectionKind::AlbersEqualAreaConic:
      w.method = "Albers_Conic_Equal_Area";
      add("standard_parallel_1", p.parallel_1);
      add("standard_parallel_2", p.parallel_2);
      add("latitude_of_center", p.latitude);
      add("longitude_of_center", p.longitude);
      break;
    case ProjectionKind::HotineObliqueMercator:
      w.method = "Hotine_Oblique_Mercator";
      add("latitude_of_center", p.latitude);
      add("longitude_of_center", p.longitude);
      add("azimuth", p.azimuth);
      add("rectified_grid_angle", p.angle);
      add("scale_factor", p.scale);
      break;
    default:
      return false;
  }
  add("false_easting", length(p.false_easting));
  add("false_northing", length(p.false_northing));
  return true;
}

bool LASgeoProjector::get_ogc_wkt_from_projection(std::string& wkt, bool source) const {
  wkt.clear();
  const ProjectionRecord* p = get_projection(source);
  if (!p) return false;
  std::string horizontal;
  std::string name;
  switch (p->kind) {
    case ProjectionKind::NoProjection:
      return false;
    case ProjectionKind::ECEF: {
      WktGeographicSystem g;
      wkt_geographic(g);
      // The geocentric system has no vertical axis of its own to add.
      wkt = wkt_geocentric_text(g, g.code == 4326 ? 4978 : 0);
      return true;
    }
    case ProjectionKind::LongLat:
    case ProjectionKind::LatLong: {
      WktGeographicSystem g;
      wkt_geographic(g);
      horizontal = wkt_geographic_text(g, p->kind == ProjectionKind::LatLong);
      name = g.name;
      break;
    }
    default: {
      WktProjectedSystem w;
      const uint16_t code = get_ProjectedCSTypeGeoKey(source);
      const bool coded = code != 0 && code != 32767;
      if (!coded || !wkt_projected_from_table(code, get_horizontal_unit_epsg(source), w)) {
        w = WktProjectedSystem();
        if (!wkt_projected_from_projector(*p, source, w)) return false;
        if (coded) w.code = code;
      }
      horizontal = wkt_projected_text(w);
      name = w.name;
      break;
    }
  }
  WktVerticalSystem v;
  if (!wkt_vertical(source, v)) {
    wkt = horizontal;
    return true;
  }
  wkt = wkt_compound_text(name + " + " + v.name, horizontal, v);
  return true;
}
