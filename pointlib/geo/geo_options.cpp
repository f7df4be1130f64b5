// The projection options of the command line: one table row per option word.

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "filter/option_args.hpp"
#include "geo/geo_state_planes.hpp"
#include "geo/las_geo_projector.hpp"
#include "platform/run_messages.hpp"

struct GeoOption;

// One pass of the parser over an argument vector.
struct GeoOptionWalk : OptionWalk {
  LASgeoProjector* geo;
  bool verbose = false;

  void set_vertical_code(uint16_t code) { geo->vertical_code_ = code; }
  void set_geoid_code(int32_t code) { geo->geoid_code_ = code; }
  // An ellipsoid chosen on its own: a geographic system on another ellipsoid no longer holds,
  // so the written keys name the ellipsoid's own system (or a user-defined one).
  bool set_ellipsoid(int id, std::string* description) {
    const int before = geo->ellipsoid_.id;
    if (!geo->set_ellipsoid(id, description)) return false;
    if (id != before) {
      geo->gcs_code_ = -1;
      geo->gcs_name_.clear();
    }
    return true;
  }
};

namespace {

using Take = bool (*)(GeoOptionWalk&, const GeoOption&);

}  // namespace

// An option word, the number of entries it reads behind it with their names for the message
// that a missing one prints, the side it sets, a code that some options carry, and the maker.
struct GeoOption {
  const char* word;
  int arguments;
  const char* names;
  bool source;
  int code;
  Take take;
};

namespace {

const char* side_word(bool source) {
  return source ? "projection" : "target projection";
}

// --- datums, ellipsoids and vertical datums ---

bool take_ellipsoid(GeoOptionWalk& w, const GeoOption&) {
  const int id = std::atoi(w.arg(1));
  std::string description;
  if (!w.set_ellipsoid(id, &description)) {
    std::fprintf(stderr, "ERROR: ellipsoid with id %d is unknown. use one of those: \n", id);
    EllipsoidRecord ellipsoid;
    for (int k = 1; k <= ELLIPSOID_COUNT; k++) {
      ellipsoid_from_id(k, &ellipsoid);
      std::fprintf(stderr, "  %2d - %s (%g %g)\n", k, ellipsoid.name, ellipsoid.a, ellipsoid.e2);
    }
    return false;
  }
  if (w.verbose) print_note("using ellipsoid '%s'\n", description.c_str());
  return true;
}

bool take_grs80(GeoOptionWalk& w, const GeoOption&) {
  std::string description;
  w.set_ellipsoid(11, &description);
  if (w.verbose) print_note("using ellipsoid '%s'\n", description.c_str());
  return true;
}

bool take_wgs72(GeoOptionWalk& w, const GeoOption& o) {
  w.geo->set_gcs(o.code);
  if (w.verbose) print_note("using ellipsoid '%s'\n", w.geo->get_gcs_name());
  return true;
}

bool take_datum(GeoOptionWalk& w, const GeoOption& o) {
  w.geo->set_gcs(o.code);
  if (w.verbose) {
    print_note("using datum '%s' with ellipsoid '%s'\n", w.geo->get_gcs_name(),
               w.geo->get_ellipsoid_name());
  }
  return true;
}

bool take_vertical(GeoOptionWalk& w, const GeoOption& o) {
  w.set_vertical_code(uint16_t(o.code));
  return true;
}

// The argument of an EPSG option: a number up to 32767, all of the argument. A number too
// large for any integer is refused as text: read modulo a word it would name another code.
bool read_epsg_argument(GeoOptionWalk& w, unsigned* code) {
  const char* text = w.arg(1);
  const char* end = text + std::strlen(text);
  unsigned long long value = 0;
  const std::from_chars_result read = std::from_chars(text, end, value);
  if (read.ec != std::errc() || read.ptr != end) {
    std::fprintf(stderr, "ERROR: '%s' needs 1 argument: EPSG code but '%s' is not a valid code\n",
                 w.word(), text);
    return false;
  }
  if (value > 32767) {
    std::fprintf(stderr, "ERROR: '%s' needs 1 argument: EPSG code but %llu is not a valid code\n",
                 w.word(), value);
    return false;
  }
  *code = unsigned(value);
  return true;
}

bool take_vertical_epsg(GeoOptionWalk& w, const GeoOption&) {
  unsigned code;
  if (!read_epsg_argument(w, &code)) return false;
  std::string description;
  if (!w.geo->set_VerticalCSTypeGeoKey(int(code), &description)) {
    std::fprintf(stderr, "ERROR: unknown vertical EPSG code in '%s %s'.\n", w.word(), w.arg(1));
    return false;
  }
  if (w.verbose) print_note("using vertical EPSG code %d\n", int(code));
  return true;
}

// --- projections ---

void say_projection(const GeoOptionWalk& w, const GeoOption& o, const std::string& description) {
  if (w.verbose) print_note("using %s '%s'\n", side_word(o.source), description.c_str());
}

// The projections without parameters.
template <void (LASgeoProjector::*Set)(std::string*, bool)>
bool take_plain_projection(GeoOptionWalk& w, const GeoOption& o) {
  std::string description;
  (w.geo->*Set)(&description, o.source);
  say_projection(w, o, description);
  return true;
}

bool take_ecef(GeoOptionWalk& w, const GeoOption& o) {
  std::string description;
  w.geo->set_ecef_projection(&description, o.source);
  say_projection(w, o, description);
  return true;
}

// Rewrites the short hemisphere forms in place ("32north" and "10n" become "32U" and "10U",
// "55south" and "56s" become "55L" and "56L"), so that the zone text always ends in a band.
void rewrite_utm_zone(char* zone) {
  if (zone[0] == '\0') return;
  for (int k = 1; k <= 2; k++) {
    if (zone[k] == 'n' || zone[k] == 's') {
      zone[k] = zone[k] == 'n' ? 'U' : 'L';
      zone[k + 1] = '\0';
      return;
    }
    if (zone[k] == '\0') return;
  }
}

bool take_utm(GeoOptionWalk& w, const GeoOption& o) {
  char* zone = w.argv[w.i + 1];
  std::string description;
  if (!o.source && std::strcmp(zone, "auto") == 0) {
    w.geo->set_target_utm_auto(&description);
    if (w.verbose) print_note("using target projection UTM '%s'\n", description.c_str());
    return true;
  }
  rewrite_utm_zone(zone);
  if (!w.geo->set_utm_zone(zone, &description, o.source)) {
    std::fprintf(stderr,
                 "ERROR: utm zone '%s' is unknown. use '32north', '55south', '10n', '56s', "
                 "'17U', or '49L'\n",
                 zone);
    return false;
  }
  if (w.verbose) {
    print_note("using %s UTM '%s'\n", side_word(o.source), description.c_str());
  }
  return true;
}

bool take_epsg(GeoOptionWalk& w, const GeoOption& o) {
  unsigned code;
  if (!read_epsg_argument(w, &code)) return false;
  std::string description;
  if (!w.geo->set_epsg_code(uint16_t(code), &description, o.source)) {
    std::fprintf(stderr, "ERROR: unknown EPSG code in '%s %s'.\n", w.word(), w.arg(1));
    return false;
  }
  if (w.verbose) print_note("using %s EPSG code %d\n", side_word(o.source), int(code));
  return true;
}

bool take_state_plane(GeoOptionWalk& w, const GeoOption& o) {
  const bool nad83 = o.code == 83;
  const StatePlaneZone zone = find_state_plane(nad83, w.arg(1));
  std::string description;
  if (zone.epsg_code == 0 ||
      !w.geo->set_epsg_code(uint16_t(zone.epsg_code), &description, o.source)) {
    std::fprintf(stderr, "ERROR: bad state code in '%s %s'.\n", w.word(), w.arg(1));
    print_state_planes(nad83);
    return false;
  }
  if (w.verbose) {
    print_note("using %s '%s' (NAD%d %s) '%s'\n", o.source ? "state plane" : "target state plane",
               w.arg(1), o.code, zone.lambert ? "LCC" : "TM", description.c_str());
  }
  return true;
}

// The unit word of the projections given by their parameters: sets the side's horizontal
// units and gives the factor that takes its false easting and northing to metres.
bool take_unit_word(GeoOptionWalk& w, bool source, const char* unit, double* factor) {
  if (std::strcmp(unit, "survey_feet") == 0 || std::strcmp(unit, "surveyfeet") == 0) {
    w.geo->set_horizontal_survey_feet(source);
    *factor = SURVEY_FEET_TO_METERS;
  } else if (std::strcmp(unit, "feet") == 0 || std::strcmp(unit, "ft") == 0) {
    w.geo->set_horizontal_feet(source);
    *factor = FEET_TO_METERS;
  } else if (std::strcmp(unit, "meter") == 0 || std::strcmp(unit, "m") == 0) {
    w.geo->set_horizontal_meter(source);
    *factor = 1.0;
  } else {
    return false;
  }
  return true;
}

bool wrong_conic_options(const char* name, const char* word) {
  std::fprintf(stderr,
               "ERROR: wrong options for '%s'. use like shown in these examples:\n"
               "  %s 609601.22 0 meter 33.75 -79 34.33333 36.16666\n"
               "  %s 1640416.666667 0 survey_feet 47.000000 -120.833333 47.5 48.733333\n"
               "  %s 1500000 0 feet 47.000000 -120.833333 47.5 48.733333\n",
               name, word, word, word);
  return false;
}

bool wrong_tm_options(const char* word) {
  std::fprintf(stderr,
               "ERROR: wrong options for '%s'. use like shown in these examples:\n"
               "  %s 500000 0 meter 0 -93 0.99996\n"
               "  %s 1500000 0 feet 47 -120.833333 0.99996\n"
               "  %s 1640416.666667 0 survey_feet 47 -120.833333 0.99996\n",
               word, word, word, word);
  return false;
}

bool read_double(const char* text, double* value) {
  return std::sscanf(text, "%lf", value) == 1;
}

// "-lcc" and "-aeac": false easting, false northing, unit word and four angles. A false easting
// or northing that is no number is refused like a wrong unit word.
bool take_conic(GeoOptionWalk& w, const GeoOption& o, bool albers) {
  const char* name = albers ? "-aeac" : "-lcc";
  double false_easting, false_northing, factor;
  if (!read_double(w.arg(1), &false_easting) || !read_double(w.arg(2), &false_northing) ||
      !take_unit_word(w, o.source, w.arg(3), &factor)) {
    return wrong_conic_options(name, w.word());
  }
  const double latitude = std::atof(w.arg(4));
  const double longitude = std::atof(w.arg(5));
  const double parallel_1 = std::atof(w.arg(6));
  const double parallel_2 = std::atof(w.arg(7));
  std::string description;
  if (albers) {
    w.geo->set_aeac_projection(false_easting * factor, false_northing * factor, latitude, longitude,
                               parallel_1, parallel_2, &description, o.source);
  } else {
    w.geo->set_lcc_projection(false_easting * factor, false_northing * factor, latitude, longitude,
                              parallel_1, parallel_2, &description, o.source);
  }
  if (w.verbose) {
    print_note("using %s %s '%s'\n", albers ? "AEAC" : "LCC", side_word(o.source),
               description.c_str());
  }
  return true;
}

bool take_lcc(GeoOptionWalk& w, const GeoOption& o) {
  return take_conic(w, o, false);
}

bool take_aeac(GeoOptionWalk& w, const GeoOption& o) {
  return take_conic(w, o, true);
}

bool take_tm(GeoOptionWalk& w, const GeoOption& o) {
  double false_easting, false_northing, factor, latitude, longitude, scale;
  if (!read_double(w.arg(1), &false_easting) || !read_double(w.arg(2), &false_northing) ||
      !take_unit_word(w, o.source, w.arg(3), &factor) || !read_double(w.arg(4), &latitude) ||
      !read_double(w.arg(5), &longitude) || !read_double(w.arg(6), &scale)) {
    return wrong_tm_options(w.word());
  }
  std::string description;
  w.geo->set_tm_projection(false_easting * factor, false_northing * factor, latitude, longitude,
                           scale, &description, o.source);
  if (w.verbose) {
    print_note("using TM %s '%s'\n", side_word(o.source), description.c_str());
  }
  return true;
}

// --- units and precisions ---

// The options that set the side's unit.
template <bool (LASgeoProjector::*Set)(bool)>
bool take_unit(GeoOptionWalk& w, const GeoOption& o) {
  (w.geo->*Set)(o.source);
  return true;
}

// The options that set a precision of the target.
template <void (LASgeoProjector::*Set)(double)>
bool take_precision(GeoOptionWalk& w, const GeoOption&) {
  (w.geo->*Set)(std::atof(w.arg(1)));
  return true;
}

using G = LASgeoProjector;

constexpr bool S = true;   // the source side
constexpr bool T = false;  // the target side

const char* const kLccNames =
    "7 arguments: false_easting false_northing unit latitude_of_origin central_meridian "
    "parallel_1 parallel_2";
const char* const kAeacNames =
    "7 arguments: false_easting false_northing unit latitude_of_center longitude_of_center "
    "parallel_1 parallel_2";
const char* const kTmNames =
    "6 arguments: false_easting false_northing unit latitude_of_origin central_meridian "
    "scale_factor";

const GeoOption kGeoOptions[] = {
    {"-ellipsoid", 1, "1 argument: ellipsoid_id", S, 0, take_ellipsoid},
    {"-wgs72", 0, nullptr, S, 4322, take_wgs72},
    {"-wgs84", 0, nullptr, S, 4326, take_datum},
    {"-grs80", 0, nullptr, S, 0, take_grs80},
    {"-nad27", 0, nullptr, S, 4267, take_datum},
    {"-nad83", 0, nullptr, S, 4269, take_datum},
    {"-nad83_2011", 0, nullptr, S, 6318, take_datum},
    {"-nad83_harn", 0, nullptr, S, 4152, take_datum},
    {"-nad83_csrs", 0, nullptr, S, 4617, take_datum},
    {"-nad83_pa11", 0, nullptr, S, 6322, take_datum},
    {"-gda94", 0, nullptr, S, 4283, take_datum},
    {"-gda2020", 0, nullptr, S, 7844, take_datum},
    {"-etrs89", 0, nullptr, S, 4258, take_datum},
    {"-osgb1936", 0, nullptr, S, 4277, take_datum},
    {"-vertical_wgs84", 0, nullptr, S, 5030, take_vertical},
    {"-vertical_ngvd29", 0, nullptr, S, 5102, take_vertical},
    {"-vertical_navd29", 0, nullptr, S, 5102, take_vertical},
    {"-vertical_cgvd2013", 0, nullptr, S, 6647, take_vertical},
    {"-vertical_evrf2007", 0, nullptr, S, 5215, take_vertical},
    {"-vertical_cgvd28", 0, nullptr, S, 5114, take_vertical},
    {"-vertical_dvr90", 0, nullptr, S, 5206, take_vertical},
    {"-vertical_nn2000", 0, nullptr, S, 5941, take_vertical},
    {"-vertical_nn54", 0, nullptr, S, 5776, take_vertical},
    {"-vertical_dhhn92", 0, nullptr, S, 5783, take_vertical},
    {"-vertical_dhhn2016", 0, nullptr, S, 7837, take_vertical},
    {"-vertical_nzvd2016", 0, nullptr, S, 7839, take_vertical},
    {"-vertical_epsg", 1, "1 argument: EPSG code", S, 0, take_vertical_epsg},
    {"-latlong", 0, nullptr, S, 0, take_plain_projection<&G::set_latlong_projection>},
    {"-target_latlong", 0, nullptr, T, 0, take_plain_projection<&G::set_latlong_projection>},
    {"-longlat", 0, nullptr, S, 0, take_plain_projection<&G::set_longlat_projection>},
    {"-target_longlat", 0, nullptr, T, 0, take_plain_projection<&G::set_longlat_projection>},
    {"-ecef", 0, nullptr, S, 0, take_ecef},
    {"-target_ecef", 0, nullptr, T, 0, take_ecef},
    {"-utm", 1, "1 argument: zone", S, 0, take_utm},
    {"-target_utm", 1, "1 argument: zone", T, 0, take_utm},
    {"-epsg", 1, "1 argument: EPSG code", S, 0, take_epsg},
    {"-target_epsg", 1, "1 argument: EPSG code", T, 0, take_epsg},
    {"-lcc", 7, kLccNames, S, 0, take_lcc},
    {"-target_lcc", 7, kLccNames, T, 0, take_lcc},
    {"-sp83", 1, "1 argument: state_zone", S, 83, take_state_plane},
    {"-target_sp83", 1, "1 argument: state_zone", T, 83, take_state_plane},
    {"-sp27", 1, "1 argument: state_zone", S, 27, take_state_plane},
    {"-target_sp27", 1, "1 argument: state_zone", T, 27, take_state_plane},
    {"-tm", 6, kTmNames, S, 0, take_tm},
    {"-transverse_mercator", 6, kTmNames, S, 0, take_tm},
    {"-target_tm", 6, kTmNames, T, 0, take_tm},
    {"-aeac", 7, kAeacNames, S, 0, take_aeac},
    {"-target_aeac", 7, kAeacNames, T, 0, take_aeac},
    {"-surveyfeet", 0, nullptr, S, 0, take_unit<&G::set_horizontal_survey_feet>},
    {"-survey_feet", 0, nullptr, S, 0, take_unit<&G::set_horizontal_survey_feet>},
    {"-target_surveyfeet", 0, nullptr, T, 0, take_unit<&G::set_horizontal_survey_feet>},
    {"-target_survey_feet", 0, nullptr, T, 0, take_unit<&G::set_horizontal_survey_feet>},
    {"-feet", 0, nullptr, S, 0, take_unit<&G::set_horizontal_feet>},
    {"-target_feet", 0, nullptr, T, 0, take_unit<&G::set_horizontal_feet>},
    {"-meter", 0, nullptr, S, 0, take_unit<&G::set_horizontal_meter>},
    {"-target_meter", 0, nullptr, T, 0, take_unit<&G::set_horizontal_meter>},
    {"-elevation_surveyfeet", 0, nullptr, S, 0, take_unit<&G::set_vertical_survey_feet>},
    {"-elevation_survey_feet", 0, nullptr, S, 0, take_unit<&G::set_vertical_survey_feet>},
    {"-target_elevation_surveyfeet", 0, nullptr, T, 0, take_unit<&G::set_vertical_survey_feet>},
    {"-target_elevation_survey_feet", 0, nullptr, T, 0, take_unit<&G::set_vertical_survey_feet>},
    {"-elevation_feet", 0, nullptr, S, 0, take_unit<&G::set_vertical_feet>},
    {"-target_elevation_feet", 0, nullptr, T, 0, take_unit<&G::set_vertical_feet>},
    {"-elevation_meter", 0, nullptr, S, 0, take_unit<&G::set_vertical_meter>},
    {"-target_elevation_meter", 0, nullptr, T, 0, take_unit<&G::set_vertical_meter>},
    {"-target_precision", 1, "1 argument: precision", T, 0,
     take_precision<&G::set_target_precision>},
    {"-target_elevation_precision", 1, "1 argument: precision", T, 0,
     take_precision<&G::set_target_elevation_precision>},
};

bool starts_with(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The geoid model behind "-vertical_navd88": the model number times 10000 plus 5103, with
// 12, 12A and 12B numbered 112, 113 and 114. Null rest: no geoid.
bool navd88_geoid(const char* rest, int32_t* code) {
  static const struct {
    const char* suffix;
    int32_t code;
  } kGeoids[] = {{"", 0},
                 {"_geoid12b", 1145103},
                 {"_geoid12a", 1135103},
                 {"_geoid12", 1125103},
                 {"_geoid09", 1095103},
                 {"_geoid06", 1065103},
                 {"_geoid03", 1035103},
                 {"_geoid99", 995103},
                 {"_geoid96", 965103}};
  for (const auto& geoid : kGeoids) {
    if (std::strcmp(rest, geoid.suffix) == 0) {
      *code = geoid.code;
      return true;
    }
  }
  return false;
}

}  // namespace

bool LASgeoProjector::parse(int argc, char** argv) {
  if (argc > 0 && argv[0]) {
    program_name_ = argv[0];
    has_program_name_ = true;
  }
  GeoOptionWalk w;
  w.argc = argc;
  w.argv = argv;
  w.geo = this;
  for (w.i = 1; w.i < argc; w.i++) {
    const char* word = argv[w.i];
    if (word[0] == '\0') continue;
    if (is_help_word(word)) return true;
    if (std::strcmp(word, "-v") == 0 || std::strcmp(word, "-verbose") == 0) {
      w.verbose = true;
      continue;
    }
    if (const GeoOption* option = find_option_row(kGeoOptions, word)) {
      if (w.i + option->arguments >= argc) {
        std::fprintf(stderr, "ERROR: '%s' needs %s\n", word, option->names);
        return false;
      }
      if (!option->take(w, *option)) return false;
      blank_arguments(argv, w.i, w.i + option->arguments + 1);
      w.i += option->arguments;
      continue;
    }
    if (starts_with(word, "-vertical_navd88")) {
      const char* rest = word + 16;
      int32_t geoid = geoid_code_;
      if (!navd88_geoid(rest, &geoid)) {
        print_note("WARNING: unknown specialization of NAVD88 '%s'\n", rest);
      }
      vertical_code_ = 5103;
      geoid_code_ = geoid;
      blank_arguments(argv, w.i, w.i + 1);
      continue;
    }
    if (starts_with(word, "-nad83")) {
      std::fprintf(stderr,
                   "ERROR: unknown datum '%s'. use '-nad83', '-nad83_2011', '-nad83_harn', "
                   "'-nad83_csrs' or '-nad83_pa11'\n",
                   word);
      return false;
    }
  }
  return true;
}
