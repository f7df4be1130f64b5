// EPSG codes: the frequent ones known without any file, all others looked up in the tables
// pcs.csv, gcs.csv and vertcs.csv beside the program (each look-up reads its table from the
// start; nothing is cached).

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "geo/geo_wkt_system.hpp"
#include "geo/las_geo_projector.hpp"
#include "platform/process.hpp"
#include "platform/run_messages.hpp"

namespace {

// --- units ---

bool is_angle_unit(int unit) {
  return unit == 9102 || unit == 9105 || unit == 9110;
}

bool is_length_unit(int unit) {
  return unit == 9001 || unit == 9002 || unit == 9003;
}

// DDD.MMSSsss: degrees, then two digits of minutes and the seconds with their decimals.
double sexagesimal_to_degrees(double x) {
  if (x > 0) {
    const double d = std::floor(x);
    const double t = std::floor((x - d) * 100 * 100000 + 0.5);
    const double m = std::floor(t / 100000);
    const double s = std::floor((t / 100000 - m) * 100 * 100000 + 0.5) / 100000;
    return d + m / 60 + s / 3600;
  }
  const double d = std::ceil(x);
  const double t = std::floor((d - x) * 100 * 100000 + 0.5);
  const double m = std::floor(t / 100000);
  const double s = std::floor((t / 100000 - m) * 100 * 100000 + 0.5) / 100000;
  return d - (m / 60 + s / 3600);
}

// --- table files ---

// Names the folder that was searched, and how the tables get there.
void print_missing_table(const std::string& folder, const char* file) {
  std::fprintf(stderr,
               "ERROR: cannot open '%s' file. maybe your Mirvelox distribution\n"
               "       has no %s/%s file. 'cmake --install' puts the\n"
               "       EPSG tables into zuze/geo beside the installed programs.\n",
               file, folder.c_str(), file);
}

// One whole line, however long, with its line end; false at the end of the file.
bool read_line(std::FILE* file, std::string& line) {
  line.clear();
  char chunk[2048];
  while (std::fgets(chunk, sizeof(chunk), file)) {
    line += chunk;
    if (!line.empty() && line.back() == '\n') return true;
  }
  return !line.empty();
}

bool line_has_code(const std::string& line, long code) {
  int first;
  return std::sscanf(line.c_str(), "%d,", &first) == 1 && first == code;
}

// The fields of a table line. A field that begins with a double quote runs to the next one (no
// escapes) and ends at the comma after it; any other field ends at the next comma.
std::vector<std::string> split_fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t end = line.find_last_not_of("\r\n");
  end = end == std::string::npos ? 0 : end + 1;
  size_t at = 0;
  for (;;) {
    size_t comma;
    if (at < end && line[at] == '"') {
      const size_t close = line.find('"', at + 1);
      const size_t stop = close == std::string::npos || close > end ? end : close;
      fields.push_back(line.substr(at + 1, stop - at - 1));
      comma = line.find(',', stop);
    } else {
      comma = line.find(',', at);
      const size_t stop = comma == std::string::npos || comma > end ? end : comma;
      fields.push_back(line.substr(at, stop - at));
    }
    if (comma == std::string::npos || comma >= end) break;
    at = comma + 1;
  }
  return fields;
}

bool int_field(const std::vector<std::string>& fields, size_t index, int* value) {
  return index < fields.size() && std::sscanf(fields[index].c_str(), "%d", value) == 1;
}

bool double_field(const std::vector<std::string>& fields, size_t index, double* value) {
  return index < fields.size() && std::sscanf(fields[index].c_str(), "%lf", value) == 1;
}

// --- parameters of projected systems ---

enum class ValueKind { Angle, Length, Scale };

struct ParameterRole {
  int code;
  int other_code;  // a second code that serves the same role, or 0
  ValueKind kind;
};

// The values each method needs, looked up by their parameter codes, so that the order in which
// a row lists them does not matter. The Hotine variant B gives easting and northing at the
// projection centre where variant A has false easting and northing.
constexpr ParameterRole kOriginScaleRoles[] = {{8801, 0, ValueKind::Angle},
                                               {8802, 0, ValueKind::Angle},
                                               {8805, 0, ValueKind::Scale},
                                               {8806, 0, ValueKind::Length},
                                               {8807, 0, ValueKind::Length}};
constexpr ParameterRole kConicRoles[] = {
    {8821, 0, ValueKind::Angle}, {8822, 0, ValueKind::Angle},  {8823, 0, ValueKind::Angle},
    {8824, 0, ValueKind::Angle}, {8826, 0, ValueKind::Length}, {8827, 0, ValueKind::Length}};
constexpr ParameterRole kHotineRoles[] = {
    {8806, 8816, ValueKind::Length}, {8807, 8817, ValueKind::Length}, {8811, 0, ValueKind::Angle},
    {8812, 0, ValueKind::Angle},     {8813, 0, ValueKind::Angle},     {8814, 0, ValueKind::Angle},
    {8815, 0, ValueKind::Scale}};
constexpr int kMostValues = 7;

// Where a value of the method stands in well-known text: the parameter's name there and the
// index of the value among the method's roles.
struct WktSlot {
  const char* name;
  int value;
};
constexpr WktSlot kOriginScaleSlots[] = {{"latitude_of_origin", 0},
                                         {"central_meridian", 1},
                                         {"scale_factor", 2},
                                         {"false_easting", 3},
                                         {"false_northing", 4}};
constexpr WktSlot kLambertSlots[] = {{"standard_parallel_1", 2}, {"standard_parallel_2", 3},
                                     {"latitude_of_origin", 0},  {"central_meridian", 1},
                                     {"false_easting", 4},       {"false_northing", 5}};
constexpr WktSlot kAlbersSlots[] = {{"standard_parallel_1", 2}, {"standard_parallel_2", 3},
                                    {"latitude_of_center", 0},  {"longitude_of_center", 1},
                                    {"false_easting", 4},       {"false_northing", 5}};
constexpr WktSlot kHotineSlots[] = {
    {"latitude_of_center", 2},   {"longitude_of_center", 3}, {"azimuth", 4},
    {"rectified_grid_angle", 5}, {"scale_factor", 6},        {"false_easting", 0},
    {"false_northing", 1}};

struct MethodRow {
  int method;
  const char* scan_message;
  const ParameterRole* roles;
  int count;
  const char* wkt_name;  // the projection's name in well-known text
  const WktSlot* slots;  // one for each role
};

template <size_t N, size_t M>
constexpr MethodRow method_row(int code, const char* scan_message, const ParameterRole (&roles)[N],
                               const char* wkt_name, const WktSlot (&slots)[M]) {
  static_assert(N == M, "every value of a method goes into its text");
  return MethodRow{code, scan_message, roles, int(N), wkt_name, slots};
}

const MethodRow kMethods[] = {
    method_row(9807, "failed to scan TM parameters from '%s'\n", kOriginScaleRoles,
               "Transverse_Mercator", kOriginScaleSlots),
    method_row(9801, "failed to scan LCC(1SP) parameters from '%s'\n", kOriginScaleRoles,
               "Lambert_Conformal_Conic_1SP", kOriginScaleSlots),
    method_row(9802, "failed to scan LCC(2SP) parameters from '%s'\n", kConicRoles,
               "Lambert_Conformal_Conic_2SP", kLambertSlots),
    method_row(9822, "failed to scan AEAC parameters from '%s'\n", kConicRoles,
               "Albers_Conic_Equal_Area", kAlbersSlots),
    method_row(9809, "failed to scan OS parameters from '%s'\n", kOriginScaleRoles,
               "Oblique_Stereographic", kOriginScaleSlots),
    method_row(9812, "failed to scan HOM parameters from '%s'\n", kHotineRoles,
               "Hotine_Oblique_Mercator", kHotineSlots),
    // Variant B: easting and northing at the projection centre.
    method_row(9815, "failed to scan HOM parameters from '%s'\n", kHotineRoles,
               "Hotine_Oblique_Mercator_Azimuth_Center", kHotineSlots),
};

const MethodRow* find_method(int code) {
  for (const MethodRow& row : kMethods) {
    if (row.method == code) return &row;
  }
  return nullptr;
}

// Reads the row's parameter groups (from field 10 on: parameter code, value, unit) into the
// method's values in degrees, metres and plain numbers. False when a value is missing or
// unreadable; an unknown unit prints its message and also fails, rather than set a projection
// from a zero.
bool read_method_values(const std::vector<std::string>& fields, const MethodRow& method,
                        double* values) {
  bool found[kMostValues] = {};
  for (size_t at = 9; at + 1 < fields.size(); at += 3) {
    int code;
    if (!int_field(fields, at, &code)) return false;
    for (int k = 0; k < method.count; k++) {
      const ParameterRole& role = method.roles[k];
      if (found[k] || (code != role.code && (role.other_code == 0 || code != role.other_code))) {
        continue;
      }
      double value;
      if (!double_field(fields, at + 1, &value)) return false;
      int unit = 0;
      if (role.kind == ValueKind::Angle) {
        if (!int_field(fields, at + 2, &unit)) return false;
        values[k] = angle_to_degrees(value, unit);
        if (!is_angle_unit(unit)) return false;
      } else if (role.kind == ValueKind::Length) {
        if (!int_field(fields, at + 2, &unit)) return false;
        values[k] = length_to_meters(value, unit);
        if (!is_length_unit(unit)) return false;
      } else {
        values[k] = value;
      }
      found[k] = true;
    }
  }
  for (int k = 0; k < method.count; k++) {
    if (!found[k]) return false;
  }
  return true;
}

// --- built-in codes ---

struct UtmRange {
  int first, last;
  int gcs;
  int zone_offset;  // zone = code - zone_offset
  bool northern;
  bool mga;
};

const UtmRange kUtmRanges[] = {
    {32601, 32660, 4326, 32600, true, false}, {32701, 32760, 4326, 32700, false, false},
    {25828, 25838, 4258, 25800, true, false}, {26903, 26923, 4269, 26900, true, false},
    {3154, 3157, 4617, 3147, true, false},    {3158, 3160, 4617, 3144, true, false},
    {7846, 7859, 7844, 7800, false, true},    {28348, 28358, 4283, 28300, false, true},
    {29118, 29122, 4291, 29100, true, false}, {29177, 29185, 4291, 29160, false, false},
    {32201, 32260, 4322, 32200, true, false}, {32301, 32360, 4322, 32300, false, false},
    {32401, 32460, 4324, 32400, true, false}, {32501, 32560, 4324, 32500, false, false},
    {26703, 26723, 4267, 26700, true, false},
};

struct KnownGcs {
  int code;
  int ellipsoid;
  const char* name;
};

const KnownGcs kKnownGcs[] = {
    {4326, 23, "WGS 84"},          {4258, 11, "ETRS89"},
    {4269, 11, "NAD83"},           {4283, 11, "GDA94"},
    {7844, 11, "GDA2020"},         {4322, 22, "WGS 72"},
    {4152, 11, "NAD83(HARN)"},     {4617, 11, "NAD83(CSRS)"},
    {6322, 11, "NAD83(PA11)"},     {6318, 11, "NAD83(2011)"},
    {4167, 11, "NZGD2000"},        {4267, 5, "NAD27"},
    {4759, 11, "NAD83(NSRS2007)"}, {4324, 22, "WGS 72BE"},
    {4291, 10, "SAD69"},           {4237, 10, "HD72"},
    {4149, 3, "CH1903"},           {4277, 1, "OSGB1936"},
};

// Transverse Mercator systems in metres; the description is the geographic system's name.
struct KnownTransverseMercator {
  int code;
  int gcs;
  double false_easting, false_northing, origin_latitude, central_meridian, scale;
  const char* name;
};

const KnownTransverseMercator kKnownTransverseMercator[] = {
    {21781, 4149, 600000, 200000, 46.95240555555556, 7.439583333333333, 1.0, "CH1903 / LV03"},
    {23700, 4237, 650000, 200000, 47.14439372222222, 19.04857177777778, 0.99993,
     "EOV / HD72 / Hungarian National Grid"},
};

struct KnownVertical {
  int code;
  const char* description;
};

const KnownVertical kKnownVertical[] = {
    {5030, "WGS 84 Ellipsoid"},
    {5103, "North American Vertical Datum 1988"},
    {5215, "European Vertical Reference Frame 2007"},
    {5776, "Norway Normal Null 1954"},
    {5783, "Deutsches Haupthoehennetz 1992"},
    {5941, "Norway Normal Null 2000"},
    {6647, "Canadian Geodetic Vertical Datum of 2013"},
    {7837, "Deutsches Haupthoehennetz 2016"},
    {7839, "New Zealand Vertical Datum 2016"},
    {5206, "Dansk Vertikal Reference 1990"},
    {5102, "National Geodetic Vertical Datum 1929"},
    {5114, "Canadian Geodetic Vertical Datum of 1928"},
};

// The built-in ellipsoid of an EPSG ellipsoid code.
struct EpsgEllipsoid {
  int epsg_code;
  int id;
};
const EpsgEllipsoid kEpsgEllipsoids[] = {
    {7001, 1},  {7002, 16}, {7003, 2},  {7004, 3},  {7005, 3},  {7006, 4},  {7046, 4},
    {7008, 5},  {7009, 5},  {7010, 6},  {7011, 6},  {7012, 6},  {7013, 6},  {7014, 6},
    {7034, 6},  {7015, 7},  {7016, 7},  {7017, 7},  {7018, 17}, {7019, 11}, {7020, 12},
    {7021, 24}, {7022, 14}, {7023, 14}, {7024, 15}, {7030, 23}, {7043, 22}};

const char* table_name(bool projected, bool vertical) {
  return vertical ? "vertcs.csv" : projected ? "pcs.csv" : "gcs.csv";
}

// Finds the line of `code` in an open table; the file is closed by the caller.
bool find_line(std::FILE* file, long code, std::string& line) {
  while (read_line(file, line)) {
    if (line_has_code(line, code)) return true;
  }
  return false;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using TableFile = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

double angle_to_degrees(double value, int unit) {
  if (unit == 9102) return value;
  if (unit == 9105) return value * 0.9;
  if (unit == 9110) return sexagesimal_to_degrees(value);
  std::fprintf(stderr, "ERROR: unit %d not known\n", unit);
  return 0.0;
}

double length_to_meters(double value, int unit) {
  if (unit == 9001) return value;
  if (unit == 9002) return value * FEET_TO_METERS;
  if (unit == 9003) return value * SURVEY_FEET_TO_METERS;
  std::fprintf(stderr, "ERROR: unit %d not known\n", unit);
  return 0.0;
}

int ellipsoid_id_from_epsg(int code) {
  for (const EpsgEllipsoid& e : kEpsgEllipsoids) {
    if (e.epsg_code == code) return e.id;
  }
  return -1;
}

std::string LASgeoProjector::table_folder(const char* program_name) {
  std::string folder = ".";
  if (program_name) {
    std::string path;
    // Without the system's answer the program name may still carry its folder.
    if (!current_executable_path(&path)) path = program_name;
    const size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? "." : path.substr(0, slash);
  }
  return folder + "/zuze/geo";
}

std::FILE* LASgeoProjector::open_csv(const char* program_name, bool projected, bool vertical) {
  const std::string file = table_folder(program_name) + "/" + table_name(projected, vertical);
  return std::fopen(file.c_str(), "r");
}

std::FILE* LASgeoProjector::open_table(bool projected, bool vertical) const {
  const char* program = has_program_name_ ? program_name_.c_str() : nullptr;
  std::FILE* file = open_csv(program, projected, vertical);
  if (!file) print_missing_table(table_folder(program), table_name(projected, vertical));
  return file;
}

void LASgeoProjector::set_projection_epsg(uint16_t code, bool source) {
  ProjectionRecord* projection = source ? source_projection_.get() : target_projection_.get();
  if (!projection) {
    print_note("WARNING: %s not set despite geokey %d\n",
               source ? "source_projection" : "target_projection", code);
    return;
  }
  projection->epsg_code = code;
  projection->gcs_code = uint16_t(gcs_code_);
}

bool LASgeoProjector::set_epsg_code(uint16_t code, std::string* description, bool source) {
  for (const UtmRange& range : kUtmRanges) {
    if (code < range.first || code > range.last) continue;
    set_gcs(range.gcs);
    set_utm_projection(code - range.zone_offset, range.northern, description, source, nullptr,
                       range.mga);
    set_projection_epsg(code, source);
    return true;
  }
  if (code == 4326 || code == 4978) {
    set_gcs(4326);
    if (code == 4326) {
      set_longlat_projection(description, source);
    } else {
      set_ecef_projection(description, source);
    }
    set_projection_epsg(code, source);
    return true;
  }
  for (const KnownTransverseMercator& known : kKnownTransverseMercator) {
    if (known.code != code) continue;
    set_gcs(known.gcs, description);
    set_tm_projection(known.false_easting, known.false_northing, known.origin_latitude,
                      known.central_meridian, known.scale, nullptr, source, known.name);
    set_horizontal_meter(source);
    set_projection_epsg(code, source);
    return true;
  }
  return set_epsg_code_from_table(code, description, source);
}

bool LASgeoProjector::set_epsg_code_from_table(uint16_t code, std::string* description,
                                               bool source) {
  TableFile file(open_table(true, false));
  if (!file) return false;
  std::string line;
  if (!find_line(file.get(), code, line)) {
    std::fprintf(stderr, "EPSG code %d not found in 'pcs.csv' file\n", code);
    return false;
  }
  file.reset();
  const std::vector<std::string> fields = split_fields(line);
  int unit, gcs, conversion, method, flag;
  if (!int_field(fields, 2, &unit) || !int_field(fields, 3, &gcs) ||
      !int_field(fields, 4, &conversion) || !int_field(fields, 5, &method) ||
      !int_field(fields, 6, &flag)) {
    std::fprintf(stderr, "failed to scan units, gcs, and transform from '%s'", line.c_str());
    return false;
  }
  if (!set_ProjLinearUnitsGeoKey(unit, source)) {
    std::fprintf(stderr, "units %d of EPSG code %d not implemented.\n", unit, code);
    return false;
  }
  if (!set_gcs(gcs)) {
    std::fprintf(stderr, "GCS %d of EPSG code %d not implemented.\n", gcs, code);
    return false;
  }
  const MethodRow* row = find_method(method);
  if (!row) {
    std::fprintf(stderr, "transform %d of EPSG code %d not implemented.\n", method, code);
    return false;
  }
  double v[kMostValues];
  if (!read_method_values(fields, *row, v)) {
    std::fprintf(stderr, row->scan_message, line.c_str());
    return false;
  }
  const char* name = fields[1].c_str();
  switch (row->method) {
    case 9807:
      set_tm_projection(v[3], v[4], v[0], v[1], v[2], nullptr, source, name);
      break;
    case 9801:
      if (v[2] != 1.0) {
        print_note(
            "\nWARNING: current implementation for Lambert Conic Conformal (1SP) ignores "
            "scale factor %.10g and uses 1.0 instead\n",
            v[2]);
      }
      set_lcc_projection(v[3], v[4], v[0], v[1], v[0], v[0], nullptr, source, name);
      break;
    case 9802:
      set_lcc_projection(v[4], v[5], v[0], v[1], v[2], v[3], nullptr, source, name);
      break;
    case 9822:
      set_aeac_projection(v[4], v[5], v[0], v[1], v[2], v[3], nullptr, source, name);
      break;
    case 9809:
      set_os_projection(v[3], v[4], v[0], v[1], v[2], nullptr, source, name);
      break;
    default:  // 9812 and 9815, the two Hotine variants
      set_hom_projection(v[0], v[1], v[2], v[3], v[4], v[5], v[6], nullptr, source, name);
      break;
  }
  if (description) *description = get_projection(source)->description;
  set_projection_epsg(code, source);
  return true;
}

bool LASgeoProjector::set_gcs(int32_t code, std::string* description) {
  gcs_code_ = code;
  for (const KnownGcs& known : kKnownGcs) {
    if (known.code != code) continue;
    set_ellipsoid(known.ellipsoid);
    gcs_name_ = known.name;
    if (description) *description = gcs_name_;
    return true;
  }
  return set_gcs_from_table(code, description);
}

bool LASgeoProjector::set_gcs_from_table(int32_t code, std::string* description) {
  TableFile file(open_table(false, false));
  if (!file) return false;
  std::string line;
  while (find_line(file.get(), code, line)) {
    const std::vector<std::string> fields = split_fields(line);
    int datum, ellipsoid_code;
    if (!int_field(fields, 2, &datum)) break;
    // A row without a readable ellipsoid may be followed by a better one.
    if (!int_field(fields, 6, &ellipsoid_code)) continue;
    const int id = ellipsoid_id_from_epsg(ellipsoid_code);
    if (id == -1) {
      std::fprintf(stderr, "ERROR: ellipsoid with EPSG code %d for '%s' not supported\n",
                   ellipsoid_code, fields[1].c_str());
      return false;
    }
    set_ellipsoid(id);
    gcs_name_ = fields[1];
    if (description) *description = gcs_name_;
    return true;
  }
  if (description) *description = "unknown";
  return false;
}

bool LASgeoProjector::set_VerticalCSTypeGeoKey(int code, std::string* description) {
  for (const KnownVertical& known : kKnownVertical) {
    if (known.code != code) continue;
    vertical_code_ = uint16_t(code);
    if (description) *description = known.description;
    return true;
  }
  if (code >= 5000 && code <= 5099) {
    vertical_code_ = uint16_t(code);
    if (description) *description = "Some Ellipsoid Vertical Datum";
    return true;
  }
  return set_vertical_from_table(code, description);
}

bool LASgeoProjector::set_vertical_from_table(int code, std::string* description) {
  TableFile file(open_table(false, true));
  if (!file) return false;
  std::string line;
  // Vertical codes are 16-bit; a larger number names no row.
  if (code < 0 || code > 65535 || !find_line(file.get(), code, line)) {
    std::fprintf(stderr, "EPSG code %d not found in 'vertcs.csv' file\n", code);
    std::fprintf(stderr, "set_VerticalCSTypeGeoKey: look-up for %d not implemented\n", code);
    return false;
  }
  file.reset();
  const std::vector<std::string> fields = split_fields(line);
  if (description && fields.size() > 1) *description = fields[1];
  int unit, flag;
  if (!int_field(fields, 4, &unit) || !int_field(fields, 5, &flag)) {
    std::fprintf(stderr, "failed to scan units from '%s'", line.c_str());
    return false;
  }
  if (!set_VerticalUnitsGeoKey(unit)) {
    std::fprintf(stderr, "units %d of EPSG code %d not implemented.\n", unit, code);
    return false;
  }
  vertical_code_ = uint16_t(code);
  return true;
}

// --- definitions for well-known text ---

std::FILE* LASgeoProjector::open_table_quietly(bool projected, bool vertical) const {
  return open_csv(has_program_name_ ? program_name_.c_str() : nullptr, projected, vertical);
}

bool LASgeoProjector::wkt_geographic_from_table(int code, WktGeographicSystem& g) const {
  TableFile file(open_table_quietly(false, false));
  std::string line;
  if (!file || !find_line(file.get(), code, line)) return false;
  file.reset();
  const std::vector<std::string> fields = split_fields(line);
  int datum, meridian, ellipsoid, axis_unit, meridian_unit;
  double axis, flattening, longitude;
  if (!int_field(fields, 2, &datum) || !int_field(fields, 4, &meridian) ||
      !int_field(fields, 6, &ellipsoid)) {
    return false;
  }
  g = WktGeographicSystem();
  g.name = fields[1];
  g.code = code;
  g.datum = fields[3];
  g.datum_code = datum;
  g.ellipsoid_code = ellipsoid;
  if (fields.size() > 7 && double_field(fields, 8, &axis) && int_field(fields, 9, &axis_unit) &&
      is_length_unit(axis_unit) && double_field(fields, 10, &flattening)) {
    g.ellipsoid = fields[7];
    g.semi_major_axis = length_to_meters(axis, axis_unit);
    g.inverse_flattening = flattening;
  } else {
    // Tables without the ellipsoid's values: the built-in ellipsoid of its code.
    EllipsoidRecord known;
    if (!ellipsoid_from_id(ellipsoid_id_from_epsg(ellipsoid), &known)) return false;
    g.ellipsoid = known.name;
    g.semi_major_axis = known.a;
    g.inverse_flattening = known.inverse_flattening;
  }
  if (fields.size() > 11 && double_field(fields, 12, &longitude) &&
      int_field(fields, 13, &meridian_unit) && is_angle_unit(meridian_unit)) {
    g.meridian = fields[11];
    g.meridian_code = meridian;
    g.meridian_longitude = angle_to_degrees(longitude, meridian_unit);
  } else if (meridian != 8901) {
    // A meridian other than Greenwich whose longitude the table does not give.
    return false;
  }
  return true;
}

bool LASgeoProjector::wkt_projected_from_table(uint16_t code, uint16_t unit,
                                               WktProjectedSystem& w) const {
  TableFile file(open_table_quietly(true, false));
  std::string line;
  if (!file || !find_line(file.get(), code, line)) return false;
  file.reset();
  const std::vector<std::string> fields = split_fields(line);
  int row_unit, gcs, method;
  if (!int_field(fields, 2, &row_unit) || !int_field(fields, 3, &gcs) ||
      !int_field(fields, 5, &method)) {
    return false;
  }
  const MethodRow* row = find_method(method);
  const double factor = wkt_unit_factor(unit);
  double v[kMostValues];
  if (!row || factor == 0.0 || !read_method_values(fields, *row, v)) return false;
  w = WktProjectedSystem();
  w.name = fields[1];
  // Units other than the code's own make another system, which the code does not name.
  w.code = row_unit == unit ? code : 0;
  w.unit = unit;
  w.method = row->wkt_name;
  for (int k = 0; k < row->count; k++) {
    const WktSlot& slot = row->slots[k];
    const bool length = row->roles[slot.value].kind == ValueKind::Length;
    w.parameters.push_back({slot.name, length ? v[slot.value] / factor : v[slot.value]});
  }
  if (!wkt_geographic_from_table(gcs, w.geographic)) wkt_geographic(w.geographic);
  return true;
}

bool LASgeoProjector::wkt_vertical(bool source, WktVerticalSystem& v) const {
  v = WktVerticalSystem();
  v.unit = get_vertical_unit_epsg(source);
  v.code = get_VerticalCSTypeGeoKey();
  // Heights in metres of no known system need no text: that is what a reader assumes.
  if (v.code == 0) return v.unit != EPSG_UNIT_METRE;
  for (const KnownVertical& known : kKnownVertical) {
    if (known.code == v.code) v.name = v.datum = known.description;
  }
  TableFile file(open_table_quietly(false, true));
  std::string line;
  if (file && find_line(file.get(), v.code, line)) {
    const std::vector<std::string> fields = split_fields(line);
    if (fields.size() > 3) {
      v.name = fields[1];
      v.datum = fields[3];
    }
  }
  return true;
}
