#ifndef POINTLIB_GEO_LAS_GEO_PROJECTOR_HPP
#define POINTLIB_GEO_LAS_GEO_PROJECTOR_HPP

// What the system knows about the coordinate reference of the points: a geographic system
// (datum and ellipsoid), a projection and horizontal and vertical units for each of two sides,
// a vertical datum, and the GeoTIFF keys last read from a file. The source side describes the
// input's coordinates, the target side those an output is meant to have; every per-side
// operation takes `source` (true) or the target (false). Filled from the command line, a
// file's GeoTIFF keys or its well-known text, and from EPSG codes, partly through the tables
// pcs.csv, gcs.csv and vertcs.csv in zuze/geo beside the program. It converts no coordinates.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/las_header.hpp"
#include "geo/geo_projection.hpp"

struct WktGeographicSystem;
struct WktProjectedSystem;
struct WktVerticalSystem;

// One GeoTIFF key entry as the GeoKey directory record stores it.
using GeoKeyEntry = LASvlrKeyEntry;

// EPSG unit codes as callers read them: above 9001 means feet, 9000 degrees.
enum : uint16_t {
  EPSG_UNIT_DEGREES = 9000,
  EPSG_UNIT_METRE = 9001,
  EPSG_UNIT_FOOT = 9002,
  EPSG_UNIT_SURVEY_FOOT = 9003,
};

// The factors of the unit setters: source factors take the unit to metres, target factors
// metres to the unit. The survey foot is the 13-digit value, not 1200/3937, because stored
// unit codes are told apart by exact comparison.
constexpr double FEET_TO_METERS = 0.3048;
constexpr double METERS_TO_FEET = 3.280839895013123;
constexpr double SURVEY_FEET_TO_METERS = 0.3048006096012;
constexpr double METERS_TO_SURVEY_FEET = 3.28083333333354;

class LASgeoProjector {
 public:
  LASgeoProjector();
  ~LASgeoProjector() = default;
  LASgeoProjector(const LASgeoProjector&) = delete;
  LASgeoProjector& operator=(const LASgeoProjector&) = delete;

  // --- units and queries ---
  bool set_horizontal_meter(bool source);
  bool set_horizontal_feet(bool source);
  bool set_horizontal_survey_feet(bool source);
  bool set_vertical_meter(bool source);
  bool set_vertical_feet(bool source);
  bool set_vertical_survey_feet(bool source);
  void reset_horizontal_units(bool source);
  void reset_vertical_units(bool source);
  void reset_projection(bool source);

  bool horizontal_units_set(bool source) const { return source ? source_h_set_ : target_h_set_; }
  bool vertical_units_set(bool source) const { return source ? source_v_set_ : target_v_set_; }
  bool has_projection(bool source) const { return get_projection(source) != nullptr; }
  const ProjectionRecord* get_projection(bool source) const {
    return source ? source_projection_.get() : target_projection_.get();
  }
  const char* get_ellipsoid_name() const { return ellipsoid_.name; }
  const EllipsoidRecord& get_ellipsoid() const { return ellipsoid_; }
  // 9000 for a longitude/latitude side, else 9001, 9002 or 9003 by the side's factor.
  uint16_t get_horizontal_unit_epsg(bool source) const;
  uint16_t get_vertical_unit_epsg(bool source) const;
  double horizontal_factor(bool source) const {
    return source ? source_h_factor_ : target_h_factor_;
  }
  double vertical_factor(bool source) const { return source ? source_v_factor_ : target_v_factor_; }

  void set_target_precision(double value) { target_precision_ = value; }
  void set_target_elevation_precision(double value) { target_elevation_precision_ = value; }
  double get_target_precision() const { return target_precision_; }
  double get_target_elevation_precision() const { return target_elevation_precision_; }

  int32_t get_gcs_code() const { return gcs_code_; }
  const char* get_gcs_name() const { return gcs_name_.c_str(); }
  uint16_t get_vertical_code() const { return vertical_code_; }
  int32_t get_geoid_code() const { return geoid_code_; }

  // --- projections and the ellipsoid ---
  // Every setter replaces the side's projection; `description` (when not null) receives the
  // text that the verbose messages show, `name` (when not null) replaces the default one.
  void set_projection(std::unique_ptr<ProjectionRecord> projection, bool source);
  void set_utm_projection(int zone, bool northern, std::string* description, bool source,
                          const char* name = nullptr, bool mga = false);
  // A zone text of digits followed by a latitude band letter 'C' to 'X'; zones 1 to 60.
  bool set_utm_zone(const char* zone, std::string* description, bool source,
                    const char* name = nullptr, bool mga = false);
  void set_target_utm_auto(std::string* description, const char* name = nullptr);
  void set_lcc_projection(double false_easting, double false_northing, double origin_latitude,
                          double central_meridian, double parallel_1, double parallel_2,
                          std::string* description, bool source, const char* name = nullptr);
  void set_tm_projection(double false_easting, double false_northing, double origin_latitude,
                         double central_meridian, double scale, std::string* description,
                         bool source, const char* name = nullptr);
  void set_aeac_projection(double false_easting, double false_northing, double centre_latitude,
                           double centre_longitude, double parallel_1, double parallel_2,
                           std::string* description, bool source, const char* name = nullptr);
  void set_hom_projection(double false_easting, double false_northing, double centre_latitude,
                          double centre_longitude, double azimuth, double rectified_grid_angle,
                          double scale, std::string* description, bool source,
                          const char* name = nullptr);
  void set_os_projection(double false_easting, double false_northing, double origin_latitude,
                         double central_meridian, double scale, std::string* description,
                         bool source, const char* name = nullptr);
  void set_longlat_projection(std::string* description, bool source);
  void set_latlong_projection(std::string* description, bool source);
  void set_no_projection(std::string* description, bool source);
  void set_ecef_projection(std::string* description, bool source, const char* name = nullptr);
  // Ids 1 to 24; recomputes the constants of a Lambert or transverse Mercator projection on
  // either side.
  bool set_ellipsoid(int id, std::string* description = nullptr);

  // --- the command line ---
  // Reads the projection options, blanking every entry it consumes; false after an error
  // message. Stops at "-h" or "-help".
  bool parse(int argc, char** argv);

  // --- GeoTIFF keys ---
  // Sets the side's projection, datum, ellipsoid and units from a key list. `doubles` holds
  // `number_of_doubles` values; a key that points past them counts as absent.
  bool set_projection_from_geo_keys(int number_of_keys, const GeoKeyEntry* keys,
                                    const char* ascii_parameters, const double* doubles,
                                    int number_of_doubles, std::string* description, bool source);
  // The side's projection as a key list and double parameters for an output header (the
  // header adds the directory's own first entry). False when it cannot be expressed.
  bool get_geo_keys_from_projection(std::vector<GeoKeyEntry>& keys, std::vector<double>& doubles,
                                    bool source);
  bool set_ProjLinearUnitsGeoKey(int code, bool source);
  bool set_VerticalUnitsGeoKey(int code);
  bool set_ProjectedCSTypeGeoKey(int code, std::string* description, bool source);
  bool set_GTModelTypeGeoKey(int value, std::string* description);
  uint16_t get_GeographicTypeGeoKey() const;
  uint16_t get_VerticalCSTypeGeoKey() const;
  uint16_t get_ProjectedCSTypeGeoKey(bool source) const;

  // --- well-known text ---
  // Reads the vertical system and the projected system of an OGC WKT text into the source
  // side; true when a source projection was set.
  bool set_projection_from_ogc_wkt(const char* text, std::string* description);
  // The side's coordinate system as OGC well-known text naming the same system, units and
  // parameters as the keys of get_geo_keys_from_projection: the EPSG tables' definition where
  // the keys give a code, else the side's own parameters. False when it cannot be expressed.
  bool get_ogc_wkt_from_projection(std::string& wkt, bool source) const;

  // --- EPSG codes ---
  bool set_epsg_code(uint16_t code, std::string* description, bool source);
  bool set_gcs(int32_t code, std::string* description = nullptr);
  bool set_VerticalCSTypeGeoKey(int code, std::string* description);
  // Stores the code and the GCS in force in the side's projection.
  void set_projection_epsg(uint16_t code, bool source);
  // Opens pcs.csv (`projected`), vertcs.csv (`vertical`) or gcs.csv from zuze/geo beside the
  // running program, or below the current folder without a program name. Null when it cannot.
  static std::FILE* open_csv(const char* program_name, bool projected, bool vertical);
  // The folder zuze/geo that open_csv searches.
  static std::string table_folder(const char* program_name);

 private:
  // The vertical system of the text behind "VERT_CS[": its code and units.
  void read_wkt_vertical(const char* text);
  // The horizontal units of a projected system's UNIT factor (metre, foot or survey foot).
  void set_wkt_horizontal_unit(double factor);
  // get_GeographicTypeGeoKey without its message: 0 when no code is known.
  uint16_t geographic_code() const;
  bool set_units(bool source, bool horizontal, double source_factor, double target_factor);
  // The unit of an EPSG unit code (metre, foot, survey foot); false for any other code.
  bool set_unit_code(int code, bool source, bool horizontal);
  ProjectionRecord& new_projection(ProjectionKind kind, bool source);
  ProjectionRecord& placed_projection(ProjectionKind kind, bool source, double false_easting,
                                      double false_northing, double latitude, double longitude);
  void set_conic_projection(ProjectionKind kind, double false_easting, double false_northing,
                            double latitude, double longitude, double parallel_1, double parallel_2,
                            std::string* description, bool source, const char* name);
  void set_scaled_projection(ProjectionKind kind, double false_easting, double false_northing,
                             double origin_latitude, double central_meridian, double scale,
                             std::string* description, bool source, const char* name);
  void finish_projection(ProjectionRecord& projection, std::string* description, const char* name);
  std::FILE* open_table(bool projected, bool vertical) const;
  bool set_epsg_code_from_table(uint16_t code, std::string* description, bool source);
  bool set_gcs_from_table(int32_t code, std::string* description);
  bool set_vertical_from_table(int code, std::string* description);
  // Parts of well-known text: from the tables (false without a usable row) or from the side.
  std::FILE* open_table_quietly(bool projected, bool vertical) const;
  bool wkt_geographic_from_table(int code, WktGeographicSystem& geographic) const;
  bool wkt_projected_from_table(uint16_t code, uint16_t unit, WktProjectedSystem& system) const;
  void wkt_geographic(WktGeographicSystem& geographic) const;
  bool wkt_projected_from_projector(const ProjectionRecord& projection, bool source,
                                    WktProjectedSystem& system) const;
  // False when the heights need no vertical system in the text.
  bool wkt_vertical(bool source, WktVerticalSystem& vertical) const;

  std::string program_name_;
  bool has_program_name_ = false;
  std::vector<GeoKeyEntry> stored_keys_;
  const char* stored_ascii_parameters_ = nullptr;     // borrowed
  const double* stored_double_parameters_ = nullptr;  // borrowed
  int stored_double_count_ = 0;
  int32_t gcs_code_ = -1;
  std::string gcs_name_;
  EllipsoidRecord ellipsoid_;
  std::unique_ptr<ProjectionRecord> source_projection_;
  std::unique_ptr<ProjectionRecord> target_projection_;
  uint16_t vertical_code_ = 0;
  int32_t geoid_code_ = 0;
  bool source_h_set_ = false, target_h_set_ = false;
  double source_h_factor_ = 1.0, target_h_factor_ = 1.0;
  bool source_v_set_ = false, target_v_set_ = false;
  double source_v_factor_ = 1.0, target_v_factor_ = 1.0;
  double target_precision_ = 0.0;
  double target_elevation_precision_ = 0.0;

  friend struct GeoOptionWalk;
};

// Scanning helpers of the well-known text reader: the first number after a comma behind
// `name` (or "UNIT["), before the next bracket.
bool wkt_parameter_value(const char* text, const char* name, double* value);
bool wkt_unit_value(const char* text, double* value);

// EPSG unit conversions; an unknown unit prints "ERROR: unit %d not known" and gives 0.
double angle_to_degrees(double value, int unit);
double length_to_meters(double value, int unit);
// The built-in ellipsoid id of an EPSG ellipsoid code, or -1.
int ellipsoid_id_from_epsg(int code);

#endif
