// The transform's option parser: one table row per option word.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "filter/las_transform.hpp"
#include "filter/operations_colour.hpp"
#include "filter/operations_coordinates.hpp"
#include "filter/operations_fields.hpp"
#include "filter/operations_files.hpp"
#include "filter/operations_registers.hpp"
#include "filter/option_args.hpp"

namespace {

constexpr uint32_t U8_MAX = 255;
constexpr uint32_t U16_MAX = 65535;

// One pass of the parser over an argument vector.
struct Walk : OptionWalk {
  LAStransform* transform;
};

// The arguments as read, one per letter of the row's kinds.
struct Value {
  double lf = 0.0;
  float f = 0.0f;
  int32_t d = 0;
  uint32_t u = 0;
  const char* s = nullptr;
};

struct TransformOption;
using Maker = bool (*)(Walk&, const TransformOption&, const Value*);

// An option word, the kinds of its arguments (l "%lf", f "%f", d "%d",
// u "%u", s a word taken as it is), its "needs" text for missing arguments,
// the names of its arguments for "but '...' is no valid <name>" separated by
// '|' (a name that begins with "ERROR" is a whole message taking the option
// word and the entry), the change flags it sets, and the maker that checks
// the values and appends the operation.
struct TransformOption {
  const char* word;
  const char* kinds;
  const char* needs;
  const char* labels;
  int32_t flags;
  Maker make;
};

// Appends the operation, sets the row's change flags and blanks the word and
// its arguments so that the parsers behind this one do not see them.
bool put(Walk& w, const TransformOption& o, LASoperation* operation) {
  w.transform->append_operation(operation);
  w.transform->change_flags |= o.flags;
  blank_arguments(w.argv, w.i, w.next);
  return true;
}

// A file argument is taken verbatim, except that one pair of double quotes
// around it is removed: the option text writes file names quoted, and that
// text must read back.
const char* file_argument(char* entry) {
  const size_t n = strlen(entry);
  if (n >= 2 && entry[0] == '"' && entry[n - 1] == '"') {
    entry[n - 1] = 0;
    return entry + 1;
  }
  return entry;
}

bool read_args(Walk& w, const TransformOption& o, Value* v) {
  const int n = static_cast<int>(strlen(o.kinds));
  if (w.i + n >= w.argc) return option_fail("ERROR: '%s' %s\n", w.word(), o.needs);
  for (int k = 0; k < n; k++) {
    char* entry = w.argv[w.i + 1 + k];
    int ok = 1;
    switch (o.kinds[k]) {
      case 'l':
        ok = sscanf(entry, "%lf", &v[k].lf);
        break;
      case 'f':
        ok = sscanf(entry, "%f", &v[k].f);
        break;
      case 'd':
        ok = sscanf(entry, "%d", &v[k].d);
        break;
      case 'u':
        ok = sscanf(entry, "%u", &v[k].u);
        break;
      default:
        v[k].s = entry;
        break;
    }
    if (ok != 1) {
      char label[160];
      nth_list_word(o.labels, '|', k, label, sizeof(label));
      if (strncmp(label, "ERROR", 5) == 0) return option_fail(label, w.word(), entry);
      return option_fail("ERROR: '%s' %s but '%s' is no valid %s\n", w.word(), o.needs, entry,
                         label);
    }
  }
  w.next = w.i + n + 1;
  return true;
}

bool register_ok(const Walk& w, uint32_t index) {
  if (index <= 15) return true;
  return option_fail("ERROR: '%s' index of register %u is out of valid [0,15] range\n", w.word(),
                     index);
}

// Map and text files must exist when the option is parsed.
bool file_ok(const Walk& w, const char* file_name, const char* message) {
  FILE* file = fopen(file_name, "r");
  if (file == nullptr) return option_fail(message, w.word(), file_name);
  fclose(file);
  return true;
}

// A comma-separated list of numbers in one word; every item must be a whole
// number text. Returns the count, or -1 for a malformed list or one longer
// than `max`.
int comma_list(const char* text, double* values, int max) {
  int n = 0;
  const char* c = text;
  for (;;) {
    char* end;
    const double value = strtod(c, &end);
    if (end == c || n == max) return -1;
    values[n++] = value;
    if (*end == 0) return n;
    if (*end != ',') return -1;
    c = end + 1;
  }
}

// Flags of the three-axis options: the axes whose value is not `neutral`.
template <typename T>
int32_t axis_flags(T x, T y, T z, T neutral) {
  return (x != neutral ? TRANSFORM_CHANGES_X : 0) | (y != neutral ? TRANSFORM_CHANGES_Y : 0) |
         (z != neutral ? TRANSFORM_CHANGES_Z : 0);
}

// Class, colour and value checks shared by several rows.
bool at_most(uint32_t value, uint32_t max, const char* message) {
  return value <= max ? true : option_fail(message, value, max);
}

#define MAKE(...)                                                         \
  []([[maybe_unused]] Walk& w, [[maybe_unused]] const TransformOption& o, \
     [[maybe_unused]] const Value* v) -> bool { __VA_ARGS__ }

template <typename C>
bool bare(Walk& w, const TransformOption& o, const Value*) {
  return put(w, o, new C());
}

bool rotate(Walk& w, const TransformOption& o, const Value* v,
            LASoperation* (*make)(const Value*)) {
  if (v[0].lf == 0.0) {
    return option_fail(
        "ERROR: '%s' needs 3 arguments: angle rot_center_x rot_center_y but %g is no valid "
        "angle\n",
        w.word(), v[0].lf);
  }
  return put(w, o, make(v));
}

template <typename C>
bool map_file(Walk& w, const TransformOption& o, const Value* v) {
  const char* name = file_argument(const_cast<char*>(v[0].s));
  if (!file_ok(w, name, "ERROR: '%s' needs text file with map but '%s' cannot be opened\n")) {
    return false;
  }
  return put(w, o, new C(name));
}

template <uint32_t BAND, bool DIVIDED>
bool multiply(Walk& w, const TransformOption& o, const Value* v) {
  if (v[0].f == 0.0f) {
    return option_fail(DIVIDED
                           ? "ERROR: '%s' needs 1 argument: scale but '%g' is no valid divisor\n"
                           : "ERROR: '%s' needs 1 argument: scale but '%g' is no valid scale\n",
                       w.word(), static_cast<double>(v[0].f));
  }
  const float scale = DIVIDED ? 1.0f / v[0].f : v[0].f;
  return put(w, o, new LASoperationMultiplyScaledIntensityIntoRGB(BAND, scale));
}

// clang-format off
const char kSetClassNeeds[] = "needs 1 argument: classification";
const char kFlagRefused[] = "ERROR: cannot set %s because value %u is larger than 1\n";

bool set_flag(Walk& w, const TransformOption& o, const Value* v, const char* what,
              LASoperation* operation) {
  if (v[0].u > 1) {
    delete operation;
    return option_fail(kFlagRefused, what, v[0].u);
  }
  return put(w, o, operation);
}

#define FLAG(WORD, CLASS, WHAT)                                                           \
  {WORD, "u", "needs 1 argument: value", "flag", 0,                                      \
   MAKE(return set_flag(w, o, v, WHAT, new CLASS(uint8_t(v[0].u & 1)));)}

#define CHANGE_FROM_TO(WORD, CLASS, WHAT, MAX)                                              \
  {WORD, "uu", "needs 2 arguments: from_value to_value", "from_value|to_value", 0,         \
   MAKE(if (!at_most(v[0].u, MAX, "ERROR: cannot change " WHAT                              \
                                  " because from_value %u is larger than %u\n") ||         \
            !at_most(v[1].u, MAX, "ERROR: cannot change " WHAT                              \
                                  " because to_value %u is larger than %u\n")) return false; \
        return put(w, o, new CLASS(uint8_t(v[0].u), uint8_t(v[1].u)));)}

#define SET_RETURN(WORD, CLASS, NAME, MAX)                                                  \
  {WORD, "u", "needs 1 argument: " NAME, NAME, 0,                                           \
   MAKE(if (!at_most(v[0].u, MAX, "ERROR: cannot set " NAME " because %u is larger than %u\n")) \
          return false;                                                                     \
        return put(w, o, new CLASS(uint8_t(v[0].u)));)}

#define REGISTER_TO(WORD, CLASS, FLAGS, NEEDS, LABEL)                                       \
  {WORD, "u", NEEDS, LABEL, FLAGS,                                                          \
   MAKE(if (!register_ok(w, v[0].u)) return false;                                          \
        return put(w, o, new CLASS(w.transform->registers, v[0].u));)}

#define BAND_REGISTER(WORD, CLASS, BAND)                                                    \
  {WORD, "u", "needs 1 argument: index", "index", 0,                                        \
   MAKE(if (!register_ok(w, v[0].u)) return false;                                          \
        return put(w, o, new CLASS(w.transform->registers, BAND, v[0].u));)}

#define ATTRIBUTE_TO(WORD, CLASS, FLAGS, NEEDS, LABEL)                                      \
  {WORD, "u", NEEDS, LABEL, FLAGS, MAKE(return put(w, o, new CLASS(v[0].u));)}

#define MULTIPLY(BAND_WORD, BAND, FLAGS)                                                    \
  {"-multiply_scaled_intensity_into_RGB_" BAND_WORD, "f", "needs 1 argument: scale",        \
   "scale", FLAGS, multiply<BAND, false>},                                                  \
  {"-multiply_divided_intensity_into_RGB_" BAND_WORD, "f", "needs 1 argument: divisor ",    \
   "ERROR: '%s' needs 1 argument: scale but '%s' is no valid divisor\n", FLAGS,             \
   multiply<BAND, true>}

const TransformOption kTransformOptions[] = {
  // --- coordinates
  {"-translate_x", "l", "needs 1 argument: offset", "number", TRANSFORM_CHANGES_X,
   MAKE(return put(w, o, new LASoperationTranslateX(v[0].lf));)},
  {"-translate_y", "l", "needs 1 argument: offset", "number", TRANSFORM_CHANGES_Y,
   MAKE(return put(w, o, new LASoperationTranslateY(v[0].lf));)},
  {"-translate_z", "l", "needs 1 argument: offset", "number", TRANSFORM_CHANGES_Z,
   MAKE(return put(w, o, new LASoperationTranslateZ(v[0].lf));)},
  {"-translate_xyz", "lll", "needs 3 arguments: offset_x offset_y offset_z", "number|number|number", 0,
   MAKE(w.transform->change_flags |= axis_flags(v[0].lf, v[1].lf, v[2].lf, 0.0);
        return put(w, o, new LASoperationTranslateXYZ(v[0].lf, v[1].lf, v[2].lf));)},
  {"-translate_then_scale_x", "ll", "needs 2 arguments: offset scale", "number|number",
   TRANSFORM_CHANGES_X, MAKE(return put(w, o, new LASoperationTranslateThenScaleX(v[0].lf, v[1].lf));)},
  {"-translate_then_scale_y", "ll", "needs 2 arguments: offset scale", "number|number",
   TRANSFORM_CHANGES_Y, MAKE(return put(w, o, new LASoperationTranslateThenScaleY(v[0].lf, v[1].lf));)},
  {"-translate_then_scale_z", "ll", "needs 2 arguments: offset scale", "number|number",
   TRANSFORM_CHANGES_Z, MAKE(return put(w, o, new LASoperationTranslateThenScaleZ(v[0].lf, v[1].lf));)},
  {"-scale_x", "l", "needs 1 argument: scale",
   "ERROR: '%s' needs 1 argument: scale_x but '%s' is no valid number\n", 0,
   MAKE(if (v[0].lf != 1.0) w.transform->change_flags |= TRANSFORM_CHANGES_X;
        return put(w, o, new LASoperationScaleX(v[0].lf));)},
  {"-scale_y", "l", "needs 1 argument: scale",
   "ERROR: '%s' needs 1 argument: scale_y but '%s' is no valid number\n", 0,
   MAKE(if (v[0].lf != 1.0) w.transform->change_flags |= TRANSFORM_CHANGES_Y;
        return put(w, o, new LASoperationScaleY(v[0].lf));)},
  {"-scale_z", "l", "needs 1 argument: scale",
   "ERROR: '%s' needs 1 argument: scale_z but '%s' is no valid number\n", 0,
   MAKE(if (v[0].lf != 1.0) w.transform->change_flags |= TRANSFORM_CHANGES_Z;
        return put(w, o, new LASoperationScaleZ(v[0].lf));)},
  {"-scale_xyz", "lll", "needs 3 arguments: scale_x scale_y scale_z", "number|number|number", 0,
   MAKE(w.transform->change_flags |= axis_flags(v[0].lf, v[1].lf, v[2].lf, 1.0);
        return put(w, o, new LASoperationScaleXYZ(v[0].lf, v[1].lf, v[2].lf));)},
  {"-rotate_xy", "lll", "needs 3 arguments: angle rot_center_x rot_center_y",
   "angle|rot_center_x|rot_center_y", TRANSFORM_CHANGES_X | TRANSFORM_CHANGES_Y,
   MAKE(return rotate(w, o, v, [](const Value* a) -> LASoperation* {
          return new LASoperationRotateXY(a[0].lf, a[1].lf, a[2].lf); });)},
  {"-rotate_xz", "lll", "needs 3 arguments: angle rot_center_x rot_center_z",
   "angle|rot_center_x|rot_center_z", TRANSFORM_CHANGES_X | TRANSFORM_CHANGES_Z,
   MAKE(return rotate(w, o, v, [](const Value* a) -> LASoperation* {
          return new LASoperationRotateXZ(a[0].lf, a[1].lf, a[2].lf); });)},
  {"-rotate_yz", "lll", "needs 3 arguments: angle rot_center_y rot_center_z",
   "angle|rot_center_y|rot_center_z", TRANSFORM_CHANGES_Y | TRANSFORM_CHANGES_Z,
   MAKE(return rotate(w, o, v, [](const Value* a) -> LASoperation* {
          return new LASoperationRotateYZ(a[0].lf, a[1].lf, a[2].lf); });)},
  {"-transform_affine", "s", "needs 1 argument: 4 comma separated parameters", "", 0,
   MAKE(double p[4];
        if (comma_list(v[0].s, p, 4) != 4)
          return option_fail("ERROR: '%s' needs 4 comma separated parameters as argument\n", w.word());
        return put(w, o, new LASoperationTransformAffine(p[0], p[1], p[2], p[3]));)},
  {"-transform_helmert", "s", "needs 1 argument: 3 or 7 comma separated parameters", "", 0,
   MAKE(double p[7];
        const int n = comma_list(v[0].s, p, 7);
        if (n == 3) return put(w, o, new LASoperationTranslateXYZ(p[0], p[1], p[2]));
        if (n == 7) return put(w, o, new LASoperationTransformHelmert(p));
        return option_fail("ERROR: '%s' needs 3 or 7 comma separated parameters as argument\n", w.word());)},
  {"-clamp_z", "ll", "needs 2 arguments: below above", "below value|above value",
   TRANSFORM_CHANGES_Z, MAKE(return put(w, o, new LASoperationClampZ(v[0].lf, v[1].lf));)},
  {"-clamp_z_below", "l", "needs 1 argument: below", "below value", TRANSFORM_CHANGES_Z,
   MAKE(return put(w, o, new LASoperationClampZbelow(v[0].lf));)},
  {"-clamp_z_above", "l", "needs 1 argument: above", "above value", TRANSFORM_CHANGES_Z,
   MAKE(return put(w, o, new LASoperationClampZabove(v[0].lf));)},
  ATTRIBUTE_TO("-copy_attribute_into_x", LASoperationCopyAttributeIntoX, TRANSFORM_CHANGES_X,
               "needs 1 argument: index of attribute", "index"),
  ATTRIBUTE_TO("-copy_attribute_into_y", LASoperationCopyAttributeIntoY, TRANSFORM_CHANGES_Y,
               "needs 1 argument: index of attribute", "index"),
  ATTRIBUTE_TO("-copy_attribute_into_z", LASoperationCopyAttributeIntoZ, TRANSFORM_CHANGES_Z,
               "needs 1 argument: index of attribute", "index"),
  ATTRIBUTE_TO("-add_attribute_to_z", LASoperationAddAttributeToZ, TRANSFORM_CHANGES_Z,
               "needs 1 argument: index", "index"),
  {"-add_scaled_attribute_to_z", "uf", "needs 2 arguments: index scale", "index|scale",
   TRANSFORM_CHANGES_Z,
   MAKE(if (v[1].f == 0.0f)
          return option_fail("ERROR: '%s' needs 2 arguments: index scale but '%g' is no valid scale\n",
                      w.word(), double(v[1].f));
        return put(w, o, new LASoperationAddScaledAttributeToZ(v[0].u, v[1].f));)},
  {"-copy_intensity_into_z", "", "", "", TRANSFORM_CHANGES_Z, bare<LASoperationCopyIntensityIntoZ>},
  {"-copy_user_data_into_z", "", "", "", 0, bare<LASoperationCopyUserDataIntoZ>},
  {"-switch_x_y", "", "", "", 0, bare<LASoperationSwitchXY>},
  {"-switch_x_z", "", "", "", 0, bare<LASoperationSwitchXZ>},
  {"-switch_y_z", "", "", "", 0, bare<LASoperationSwitchYZ>},

  // --- raw integers
  {"-translate_raw_x", "d", "needs 1 argument: raw_offset", "raw_offset", TRANSFORM_CHANGES_X,
   MAKE(return put(w, o, new LASoperationTranslateRawX(v[0].d));)},
  {"-translate_raw_y", "d", "needs 1 argument: raw_offset", "raw_offset", TRANSFORM_CHANGES_Y,
   MAKE(return put(w, o, new LASoperationTranslateRawY(v[0].d));)},
  {"-translate_raw_z", "d", "needs 1 argument: raw_offset", "raw_offset", TRANSFORM_CHANGES_Z,
   MAKE(return put(w, o, new LASoperationTranslateRawZ(v[0].d));)},
  {"-translate_raw_xyz", "ddd", "needs 3 arguments: raw_offset_x raw_offset_y raw_offset_z",
   "raw_offset_x|raw_offset_y|raw_offset_z", 0,
   MAKE(w.transform->change_flags |= axis_flags(v[0].d, v[1].d, v[2].d, 0);
        return put(w, o, new LASoperationTranslateRawXYZ(v[0].d, v[1].d, v[2].d));)},
  {"-translate_raw_xy_at_random", "dd", "needs 2 arguments: max_raw_offset_x max_raw_offset_y",
   "max_raw_offset_x|max_raw_offset_y", 0,
   MAKE(w.transform->change_flags |= axis_flags(v[0].d, v[1].d, 0, 0);
        return put(w, o, new LASoperationTranslateRawXYatRandom(v[0].d, v[1].d));)},
  {"-clamp_raw_z", "dd", "needs 2 arguments: below above", "below value|above value",
   TRANSFORM_CHANGES_Z, MAKE(return put(w, o, new LASoperationClampRawZ(v[0].d, v[1].d));)},

  // --- intensity
  {"-set_intensity", "u", "needs 1 argument: value", "value", 0,
   MAKE(if (!at_most(v[0].u, U16_MAX, "ERROR: cannot set intensity because value of %u is larger than %u\n"))
          return false;
        return put(w, o, new LASoperationSetIntensity(uint16_t(v[0].u)));)},
  {"-scale_intensity", "f", "needs 1 argument: scale", "number", 0,
   MAKE(return put(w, o, new LASoperationScaleIntensity(v[0].f));)},
  {"-translate_intensity", "f", "needs 1 argument: offset", "offset", 0,
   MAKE(return put(w, o, new LASoperationTranslateIntensity(v[0].f));)},
  {"-translate_then_scale_intensity", "ff", "needs 2 arguments: offset scale", "offset|scale", 0,
   MAKE(return put(w, o, new LASoperationTranslateThenScaleIntensity(v[0].f, v[1].f));)},
  {"-clamp_intensity", "uu", "needs 2 arguments: below above", "below value|above value", 0,
   MAKE(if (!at_most(v[0].u, U16_MAX, "ERROR: cannot clamp intensity because below value of %u is larger than %u\n") ||
            !at_most(v[1].u, U16_MAX, "ERROR: cannot clamp intensity because above value of %u is larger than %u\n"))
          return false;
        return put(w, o, new LASoperationClampIntensity(uint16_t(v[0].u), uint16_t(v[1].u)));)},
  {"-clamp_intensity_below", "u", "needs 1 argument: below", "below value", 0,
   MAKE(if (!at_most(v[0].u, U16_MAX, "ERROR: cannot clamp intensity because below value of %u is larger than %u\n"))
          return false;
        return put(w, o, new LASoperationClampIntensityBelow(uint16_t(v[0].u)));)},
  {"-clamp_intensity_above", "u", "needs 1 argument: above", "above value", 0,
   MAKE(if (!at_most(v[0].u, U16_MAX, "ERROR: cannot clamp intensity because above value of %u is larger than %u\n"))
          return false;
        return put(w, o, new LASoperationClampIntensityAbove(uint16_t(v[0].u)));)},
  {"-map_intensity", "s", "needs 1 argument: map_file_name.txt", "", 0,
   map_file<LASoperationMapIntensity>},
  ATTRIBUTE_TO("-copy_attribute_into_intensity", LASoperationCopyAttributeIntoIntensity, 0,
               "needs 1 argument: index", "index"),
  {"-bin_gps_time_into_intensity", "l", "needs 1 argument: bin_size", "bin_size", 0,
   MAKE(if (!(v[0].lf > 0.0)) return option_fail("ERROR: %f is no valid bin_size for '%s'\n", v[0].lf, w.word());
        return put(w, o, new LASoperationBinGpsTimeIntoIntensity(v[0].lf));)},
  {"-copy_RGB_into_intensity", "", "", "", 0, bare<LASoperationCopyRGBintoIntensity>},
  {"-copy_R_into_intensity", "", "", "", 0, bare<LASoperationCopyRintoIntensity>},
  {"-copy_G_into_intensity", "", "", "", 0, bare<LASoperationCopyGintoIntensity>},
  {"-copy_B_into_intensity", "", "", "", 0, bare<LASoperationCopyBintoIntensity>},
  {"-copy_NIR_into_intensity", "", "", "", 0, bare<LASoperationCopyNIRintoIntensity>},

  // --- scan angle
  {"-set_scan_angle", "f", "needs 1 argument: value",
   "ERROR: '%s' needs 1 argument: value but '%s' is not valid\n", 0,
   MAKE(if (v[0].f < -180.0f)
          return option_fail("ERROR: cannot set scan angle because value %g is smaller than -180\n", double(v[0].f));
        if (v[0].f > 180.0f)
          return option_fail("ERROR: cannot set scan angle rank because value %g is larger than 180\n", double(v[0].f));
        return put(w, o, new LASoperationSetScanAngle(v[0].f));)},
  {"-scale_scan_angle", "f", "needs 1 argument: scale", "number", 0,
   MAKE(return put(w, o, new LASoperationScaleScanAngle(v[0].f));)},
  {"-translate_scan_angle", "f", "needs 1 argument: offset", "offset", 0,
   MAKE(return put(w, o, new LASoperationTranslateScanAngle(v[0].f));)},
  {"-translate_then_scale_scan_angle", "ff", "needs 2 arguments: offset scale", "offset|scale", 0,
   MAKE(return put(w, o, new LASoperationTranslateThenScaleScanAngle(v[0].f, v[1].f));)},

  // --- classification and flags ("-set_classification..." and
  // "-set_extended_classification..." also match as prefixes, see below)
  {"-set_classification", "u", kSetClassNeeds, "classification", 0,
   MAKE(if (v[0].u > U8_MAX)
          return option_fail("ERROR: cannot set classification because classification of %u is larger than 255\n", v[0].u);
        return put(w, o, new LASoperationSetClassification(uint8_t(v[0].u)));)},
  CHANGE_FROM_TO("-change_classification_from_to", LASoperationChangeClassificationFromTo, "classification", U8_MAX),
  CHANGE_FROM_TO("-change_class_from_to", LASoperationChangeClassificationFromTo, "classification", U8_MAX),
  CHANGE_FROM_TO("-change_extended_classification_from_to", LASoperationChangeClassificationFromTo, "classification", U8_MAX),
  CHANGE_FROM_TO("-change_extended_class_from_to", LASoperationChangeClassificationFromTo, "classification", U8_MAX),
  {"-classify_z_below_as", "lu", "needs 2 arguments: z_value classification",
   "z_value|classification", 0,
   MAKE(if (v[1].u > U8_MAX)
          return option_fail("ERROR: cannot classify z_value because classification of %u is larger than 255\n", v[1].u);
        return put(w, o, new LASoperationClassifyZbelowAs(v[0].lf, uint8_t(v[1].u)));)},
  {"-classify_z_above_as", "lu", "needs 2 arguments: z_value classification",
   "z_value|classification", 0,
   MAKE(if (v[1].u > U8_MAX)
          return option_fail("ERROR: cannot classify z_value because classification of %u is larger than 255\n", v[1].u);
        return put(w, o, new LASoperationClassifyZaboveAs(v[0].lf, uint8_t(v[1].u)));)},
  {"-classify_z_between_as", "llu", "needs 3 arguments: z_min z_max classification",
   "z_min|z_max|classification", 0,
   MAKE(if (v[2].u > U8_MAX)
          return option_fail("ERROR: cannot classify z_value because classification of %u is larger than 255\n", v[2].u);
        return put(w, o, new LASoperationClassifyZbetweenAs(v[0].lf, v[1].lf, uint8_t(v[2].u)));)},
  {"-classify_intensity_below_as", "uu", "needs 2 arguments: value classification",
   "value|classification", 0,
   MAKE(if (!at_most(v[0].u, U16_MAX, "ERROR: cannot classify intensity because value of %u is larger than %u\n"))
          return false;
        if (v[1].u > U8_MAX)
          return option_fail("ERROR: cannot classify intensity because classification of %u is larger than 255\n", v[1].u);
        return put(w, o, new LASoperationClassifyIntensityBelowAs(uint16_t(v[0].u), uint8_t(v[1].u)));)},
  {"-classify_intensity_above_as", "uu", "needs 2 arguments: value classification",
   "value|classification", 0,
   MAKE(if (!at_most(v[0].u, U16_MAX, "ERROR: cannot classify intensity because value of %u is larger than %u\n"))
          return false;
        if (v[1].u > U8_MAX)
          return option_fail("ERROR: cannot classify intensity because classification of %u is larger than 255\n", v[1].u);
        return put(w, o, new LASoperationClassifyIntensityAboveAs(uint16_t(v[0].u), uint8_t(v[1].u)));)},
  {"-classify_intensity_between_as", "uuu",
   "needs 3 arguments: min_value max_value classification", "min_value|max_value|classification", 0,
   MAKE(if (!at_most(v[0].u, U16_MAX, "ERROR: cannot classify intensity because min_value of %u is larger than %u\n") ||
            !at_most(v[1].u, U16_MAX, "ERROR: cannot classify intensity because max_value of %u is larger than %u\n"))
          return false;
        if (v[2].u > U8_MAX)
          return option_fail("ERROR: cannot classify intensity because classification of %u is larger than 255\n", v[2].u);
        return put(w, o, new LASoperationClassifyIntensityBetweenAs(uint16_t(v[0].u), uint16_t(v[1].u), uint8_t(v[2].u)));)},
  {"-classify_attribute_below_as", "ulu",
   "needs 3 arguments: attribute_index value classification", "attribute_index|value|classification", 0,
   MAKE(if (v[2].u > U8_MAX)
          return option_fail("ERROR: cannot classify attribute below because classification of %u is larger than 255\n", v[2].u);
        return put(w, o, new LASoperationClassifyAttributeBelowAs(v[0].u, v[1].lf, uint8_t(v[2].u)));)},
  {"-classify_attribute_above_as", "ulu",
   "needs 3 arguments: attribute_index value classification", "attribute_index|value|classification", 0,
   MAKE(if (v[2].u > U8_MAX)
          return option_fail("ERROR: cannot classify attribute above because classification of %u is larger than 255\n", v[2].u);
        return put(w, o, new LASoperationClassifyAttributeAboveAs(v[0].u, v[1].lf, uint8_t(v[2].u)));)},
  {"-classify_attribute_between_as", "ullu",
   "needs 4 arguments: attribute_index min max classification", "attribute_index|min|max|classification", 0,
   MAKE(if (v[3].u > U8_MAX)
          return option_fail("ERROR: cannot classify attribute between because classification of %u is larger than 255\n", v[3].u);
        return put(w, o, new LASoperationClassifyAttributeBetweenAs(v[0].u, v[1].lf, v[2].lf, uint8_t(v[3].u)));)},
  {"-copy_intensity_into_classification", "", "", "", 0, bare<LASoperationCopyIntensityIntoClassification>},
  {"-copy_user_data_into_classification", "", "", "", 0, bare<LASoperationCopyUserDataIntoClassification>},
  {"-move_ancient_to_extended_classification", "", "", "", 0, bare<LASoperationMoveAncientToExtendedClassification>},
  FLAG("-set_withheld_flag", LASoperationSetWithheldFlag, "withheld flag"),
  FLAG("-set_synthetic_flag", LASoperationSetSyntheticFlag, "synthetic flag"),
  FLAG("-set_keypoint_flag", LASoperationSetKeypointFlag, "keypoint flag"),
  FLAG("-set_overlap_flag", LASoperationSetExtendedOverlapFlag, "overlap flag"),
  FLAG("-set_extended_overlap_flag", LASoperationSetExtendedOverlapFlag, "overlap flag"),
  FLAG("-set_scan_direction_flag", LASoperationSetScanDirectionFlag, "scan direction flag"),
  FLAG("-set_edge_of_flight_line", LASoperationSetEdgeOfFlightLine, "edge of flight line"),
  {"-set_scanner_channel", "u", "needs 1 argument: value", "value", 0,
   MAKE(if (v[0].u > 3) return option_fail("ERROR: cannot set scanner channel because value %u is larger than 3\n", v[0].u);
        return put(w, o, new LASoperationSetExtendedScannerChannel(uint8_t(v[0].u)));)},
  {"-set_extended_scanner_channel", "u", "needs 1 argument: value", "value", 0,
   MAKE(if (v[0].u > 3) return option_fail("ERROR: cannot set scanner channel because value %u is larger than 3\n", v[0].u);
        return put(w, o, new LASoperationSetExtendedScannerChannel(uint8_t(v[0].u)));)},

  // --- returns
  {"-repair_zero_returns", "", "", "", 0, bare<LASoperationRepairZeroReturns>},
  SET_RETURN("-set_return_number", LASoperationSetReturnNumber, "return_number", 7),
  SET_RETURN("-set_number_of_returns", LASoperationSetNumberOfReturns, "number_of_returns", 7),
  SET_RETURN("-set_extended_return_number", LASoperationSetExtendedReturnNumber, "extended_return_number", 15),
  {"-set_extended_number_of_returns", "u", "needs 1 argument: extended_number_of_returns",
   "extended_return_number", 0,
   MAKE(if (v[0].u > 15)
          return option_fail("ERROR: cannot set extended_number_of_returns because %u is larger than 15\n", v[0].u);
        return put(w, o, new LASoperationSetExtendedNumberOfReturns(uint8_t(v[0].u)));)},
  CHANGE_FROM_TO("-change_return_number_from_to", LASoperationChangeReturnNumberFromTo, "return_number", 7),
  CHANGE_FROM_TO("-change_number_of_returns_from_to", LASoperationChangeNumberOfReturnsFromTo, "number_of_returns", 7),
  CHANGE_FROM_TO("-change_extended_return_number_from_to", LASoperationChangeExtendedReturnNumberFromTo, "extended_return_number", 15),
  CHANGE_FROM_TO("-change_extended_number_of_returns_from_to", LASoperationChangeExtendedNumberOfReturnsFromTo, "extended_number_of_returns", 15),

  // --- user data and scanner channel
  {"-set_user_data", "u", "needs 1 argument: value", "value", 0,
   MAKE(if (v[0].u > U8_MAX)
          return option_fail("ERROR: cannot set user data because value %u is larger than %d\n", v[0].u, 255);
        return put(w, o, new LASoperationSetUserData(uint8_t(v[0].u)));)},
  {"-scale_user_data", "f", "needs 1 argument: scale", "number", 0,
   MAKE(return put(w, o, new LASoperationScaleUserData(v[0].f));)},
  // a value out of range is refused as not valid, there being no own text
  {"-change_user_data_from_to", "uu", "needs 2 arguments: from_value to_value", "from_value|to_value", 0,
   MAKE(for (int k = 0; k < 2; k++) {
          if (v[k].u > U8_MAX)
            return option_fail("ERROR: '%s' needs 2 arguments: from_value to_value but '%s' is no valid %s\n",
                        w.word(), w.arg(1 + k), k ? "to_value" : "from_value");
        }
        return put(w, o, new LASoperationChangeUserDataFromTo(uint8_t(v[0].u), uint8_t(v[1].u)));)},
  {"-map_user_data", "s", "needs 1 argument: map_file_name.txt", "", 0,
   map_file<LASoperationMapUserData>},
  ATTRIBUTE_TO("-copy_attribute_into_user_data", LASoperationCopyAttributeIntoUserData, 0,
               "needs 1 argument: index", "index"),
  {"-add_scaled_attribute_to_user_data", "uf", "needs 2 arguments: index scale", "index|scale", 0,
   MAKE(return put(w, o, new LASoperationAddScaledAttributeToUserData(v[0].u, v[1].f));)},
  {"-copy_classification_into_user_data", "", "", "", 0, bare<LASoperationCopyClassificationIntoUserData>},
  {"-copy_scanner_channel_into_user_data", "", "", "", 0, bare<LASoperationCopyScannerChannelIntoUserData>},
  {"-copy_user_data_into_scanner_channel", "", "", "", 0, bare<LASoperationCopyUserDataIntoScannerChannel>},

  // --- point source ID ("-set_point_source..." also matches as a prefix)
  {"-set_point_source", "u", "need 1 argument: psid",
   "ERROR: '%s' needs 1 argument: value but '%s' is no valid value\n", 0,
   MAKE(if (v[0].u > U16_MAX)
          return option_fail("ERROR: cannot set point source ID because value %u is larger than %d\n", v[0].u, 65535);
        return put(w, o, new LASoperationSetPointSource(uint16_t(v[0].u)));)},
  {"-change_point_source_from_to", "uu", "needs 2 arguments: from_value to_value", "from_value|to_value", 0,
   MAKE(for (int k = 0; k < 2; k++) {
          if (v[k].u > U16_MAX)
            return option_fail("ERROR: '%s' needs 2 arguments: from_value to_value but '%s' is no valid %s\n",
                        w.word(), w.arg(1 + k), k ? "to_value" : "from_value");
        }
        return put(w, o, new LASoperationChangePointSourceFromTo(uint16_t(v[0].u), uint16_t(v[1].u)));)},
  {"-map_point_source", "s", "needs 1 argument: map_file_name.txt", "", 0,
   map_file<LASoperationMapPointSource>},
  ATTRIBUTE_TO("-copy_attribute_into_point_source", LASoperationCopyAttributeIntoPointSource, 0,
               "needs 1 argument: index", "index"),
  {"-copy_classification_into_point_source", "", "", "", 0, bare<LASoperationCopyClassificationIntoPointSource>},
  {"-copy_user_data_into_point_source", "", "", "", 0, bare<LASoperationCopyUserDataIntoPointSource>},
  {"-copy_scanner_channel_into_point_source", "", "", "", 0, bare<LASoperationCopyScannerChannelIntoPointSource>},
  {"-merge_scanner_channel_into_point_source", "", "", "", 0, bare<LASoperationMergeScannerChannelIntoPointSource>},
  {"-split_scanner_channel_from_point_source", "", "", "", 0, bare<LASoperationSplitScannerChannelFromPointSource>},
  {"-bin_Z_into_point_source", "u", "needs 1 argument: bin_size", "bin_size", 0,
   MAKE(if (v[0].u == 0) return option_fail("ERROR: %u is no valid bin_size for '%s'\n", v[0].u, w.word());
        return put(w, o, new LASoperationBinZintoPointSource(int32_t(v[0].u)));)},
  {"-bin_abs_scan_angle_into_point_source", "f", "needs 1 argument: bin_size", "bin_size", 0,
   MAKE(if (!(v[0].f > 0.0f)) return option_fail("ERROR: %g is no valid bin_size for '%s'\n", double(v[0].f), w.word());
        return put(w, o, new LASoperationBinAbsScanAngleIntoPointSource(v[0].f));)},
  {"-bin_gps_time_into_point_source", "l", "needs 1 argument: bin_size", "bin_size", 0,
   MAKE(if (!(v[0].lf > 0.0)) return option_fail("ERROR: %f is no valid bin_size for '%s'\n", v[0].lf, w.word());
        return put(w, o, new LASoperationBinGpsTimeIntoPointSource(v[0].lf));)},

  // --- GPS time
  {"-set_gps_time", "l", "needs 1 argument: gps_time", "gps_time", 0,
   MAKE(return put(w, o, new LASoperationSetGpsTime(v[0].lf));)},
  {"-translate_gps_time", "l", "needs 1 argument: offset", "offset", 0,
   MAKE(return put(w, o, new LASoperationTranslateGpsTime(v[0].lf));)},
  {"-adjusted_to_week", "", "", "", 0, bare<LASoperationConvertAdjustedGpsToWeek>},
  {"-week_to_adjusted", "u", "needs 1 argument: week", "week", 0,
   MAKE(return put(w, o, new LASoperationConvertWeekToAdjustedGps(v[0].u));)},

  // --- colours
  {"-set_RGB", "uuu", "needs 3 arguments: R G B", "R|G|B", 0,
   MAKE(if (!at_most(v[0].u, U16_MAX, "ERROR: cannot set RGB because R is %u, which is larger than %u\n") ||
            !at_most(v[1].u, U16_MAX, "ERROR: cannot set RGB because G is %u, which is larger than %u\n") ||
            !at_most(v[2].u, U16_MAX, "ERROR: cannot set RGB because B is %u, which is larger than %u\n"))
          return false;
        return put(w, o, new LASoperationSetRGB(uint16_t(v[0].u), uint16_t(v[1].u), uint16_t(v[2].u)));)},
  {"-set_RGB_of_class", "uuuu", "needs 4 arguments: classification R G B", "classification|R|G|B", 0,
   MAKE(if (!at_most(v[0].u, U8_MAX, "ERROR: cannot set RGB because classification is %u, which is larger than %u\n") ||
            !at_most(v[1].u, U16_MAX, "ERROR: cannot set RGB because R is %u, which is larger than %u\n") ||
            !at_most(v[2].u, U16_MAX, "ERROR: cannot set RGB because G is %u, which is larger than %u\n") ||
            !at_most(v[3].u, U16_MAX, "ERROR: cannot set RGB because B is %u, which is larger than %u\n"))
          return false;
        const uint8_t c = uint8_t(v[0].u);
        const uint16_t r = uint16_t(v[1].u), g = uint16_t(v[2].u), b = uint16_t(v[3].u);
        if (c <= 31) return put(w, o, new LASoperationSetRGBofClass(c, r, g, b));
        return put(w, o, new LASoperationSetRGBofExtendedClass(c, r, g, b));)},
  {"-set_NIR", "u", "need 1 argument: value",
   "ERROR: '%s' needs 1 argument: value but '%s' is no valid value\n", 0,
   MAKE(if (!at_most(v[0].u, U16_MAX, "ERROR: cannot set NIR because value is %u, which is larger than %u\n"))
          return false;
        return put(w, o, new LASoperationSetNIR(uint16_t(v[0].u)));)},
  {"-scale_RGB", "fff", "needs 3 arguments: scale_R scale_G scale_B", "number|number|number", 0,
   MAKE(return put(w, o, new LASoperationScaleRGB(v[0].f, v[1].f, v[2].f));)},
  {"-scale_rgb", "fff", "needs 3 arguments: scale_R scale_G scale_B", "number|number|number", 0,
   MAKE(return put(w, o, new LASoperationScaleRGB(v[0].f, v[1].f, v[2].f));)},
  {"-scale_RGB_down", "", "", "", 0, bare<LASoperationScaleRGBdown>},
  {"-scale_rgb_down", "", "", "", 0, bare<LASoperationScaleRGBdown>},
  {"-scale_RGB_up", "", "", "", 0, bare<LASoperationScaleRGBup>},
  {"-scale_rgb_up", "", "", "", 0, bare<LASoperationScaleRGBup>},
  {"-scale_RGB_to_8bit", "", "", "", 0, bare<LASoperationScaleRGBto8bit>},
  {"-scale_rgb_to_8bit", "", "", "", 0, bare<LASoperationScaleRGBto8bit>},
  {"-scale_RGB_to_16bit", "", "", "", 0, bare<LASoperationScaleRGBto16bit>},
  {"-scale_rgb_to_16bit", "", "", "", 0, bare<LASoperationScaleRGBto16bit>},
  {"-scale_NIR", "f", "needs 1 argument: scale_NIR", "number", 0,
   MAKE(return put(w, o, new LASoperationScaleNIR(v[0].f));)},
  {"-scale_nir", "f", "needs 1 argument: scale_NIR", "number", 0,
   MAKE(return put(w, o, new LASoperationScaleNIR(v[0].f));)},
  {"-scale_NIR_down", "", "", "", 0, bare<LASoperationScaleNIRdown>},
  {"-scale_nir_down", "", "", "", 0, bare<LASoperationScaleNIRdown>},
  {"-scale_NIR_up", "", "", "", 0, bare<LASoperationScaleNIRup>},
  {"-scale_nir_up", "", "", "", 0, bare<LASoperationScaleNIRup>},
  {"-scale_NIR_to_8bit", "", "", "", 0, bare<LASoperationScaleNIRto8bit>},
  {"-scale_nir_to_8bit", "", "", "", 0, bare<LASoperationScaleNIRto8bit>},
  {"-scale_NIR_to_16bit", "", "", "", 0, bare<LASoperationScaleNIRto16bit>},
  {"-scale_nir_to_16bit", "", "", "", 0, bare<LASoperationScaleNIRto16bit>},
  {"-switch_R_G", "", "", "", 0, bare<LASoperationSwitchRG>},
  {"-switch_R_B", "", "", "", 0, bare<LASoperationSwitchRB>},
  {"-switch_G_B", "", "", "", 0, bare<LASoperationSwitchGB>},
  // The spelling the usage text shows.
  {"-switch_B_G", "", "", "", 0, bare<LASoperationSwitchGB>},
  {"-switch_RGBI_into_CIR", "", "", "", 0, bare<LASoperationSwitchRGBItoCIR>},
  {"-switch_RGB_intensity_into_CIR", "", "", "", 0, bare<LASoperationSwitchRGBIntensitytoCIR>},
  {"-copy_R_into_NIR", "", "", "", 0, bare<LASoperationCopyRintoNIR>},
  {"-copy_G_into_NIR", "", "", "", 0, bare<LASoperationCopyGintoNIR>},
  {"-copy_B_into_NIR", "", "", "", 0, bare<LASoperationCopyBintoNIR>},
  {"-copy_intensity_into_NIR", "", "", "", 0, bare<LASoperationCopyIntensityIntoNIR>},
  MULTIPLY("red", 0, TRANSFORM_CHANGES_RGB),
  MULTIPLY("green", 1, TRANSFORM_CHANGES_RGB),
  MULTIPLY("blue", 2, TRANSFORM_CHANGES_RGB),
  MULTIPLY("nir", 3, TRANSFORM_CHANGES_NIR),
  {"-copy_attribute_into_R", "u", "needs 1 argument: index", "index", 0,
   MAKE(return put(w, o, new LASoperationCopyAttributeIntoRGBNIR(0, v[0].u));)},
  {"-copy_attribute_into_G", "u", "needs 1 argument: index", "index", 0,
   MAKE(return put(w, o, new LASoperationCopyAttributeIntoRGBNIR(1, v[0].u));)},
  {"-copy_attribute_into_B", "u", "needs 1 argument: index", "index", 0,
   MAKE(return put(w, o, new LASoperationCopyAttributeIntoRGBNIR(2, v[0].u));)},
  {"-copy_attribute_into_NIR", "u", "needs 1 argument: index", "index", 0,
   MAKE(return put(w, o, new LASoperationCopyAttributeIntoRGBNIR(3, v[0].u));)},
  {"-copy_attribute_into_I", "u", "needs 1 argument: index", "index", 0,
   MAKE(return put(w, o, new LASoperationCopyAttributeIntoRGBNIR(3, v[0].u));)},
  {"-map_attribute_into_RGB", "us", "needs 2 arguments: attribute_index map_file_name.txt",
   "attribute_index", 0,
   MAKE(const char* name = file_argument(const_cast<char*>(v[1].s));
        if (!file_ok(w, name, "ERROR: '%s' needs text file with attribute values but '%s' cannot be opened\n"))
          return false;
        return put(w, o, new LASoperationMapAttributeIntoRGB(v[0].u, name));)},

  // --- registers
  {"-set_register", "ul", "needs 2 arguments: index value", "index|value", 0,
   MAKE(if (!register_ok(w, v[0].u)) return false;
        return put(w, o, new LASoperationSetRegister(w.transform->registers, v[0].u, v[1].lf));)},
  {"-scale_register", "uf", "needs 2 arguments: index scale", "index|scale", 0,
   MAKE(if (!register_ok(w, v[0].u)) return false;
        return put(w, o, new LASoperationScaleRegister(w.transform->registers, v[0].u, v[1].f));)},
  {"-translate_register", "ul", "needs 2 arguments: index offset", "index|offset", 0,
   MAKE(if (!register_ok(w, v[0].u)) return false;
        return put(w, o, new LASoperationTranslateRegister(w.transform->registers, v[0].u, v[1].lf));)},
#define REGISTER_ARITHMETIC(WORD, CLASS)                                                     \
  {WORD, "uuu", "needs 3 arguments: input1 input2 output", "input1|input2|input3", 0,        \
   MAKE(static const char* const names[3] = {"input1", "input2", "output"};                  \
        for (int k = 0; k < 3; k++) {                                                        \
          if (v[k].u > 15)                                                                   \
            return option_fail("ERROR: '%s' needs 3 arguments: input1 input2 output but %u is "     \
                        "out-of-range for %s\n", w.word(), v[k].u, names[k]);                \
        }                                                                                    \
        return put(w, o, new CLASS(w.transform->registers, v[0].u, v[1].u, v[2].u));)}
  REGISTER_ARITHMETIC("-add_registers", LASoperationAddRegisters),
  REGISTER_ARITHMETIC("-subtract_registers", LASoperationSubtractRegisters),
  REGISTER_ARITHMETIC("-multiply_registers", LASoperationMultiplyRegisters),
  REGISTER_ARITHMETIC("-divide_registers", LASoperationDivideRegisters),
  REGISTER_TO("-copy_intensity_into_register", LASoperationCopyIntensityIntoRegister, 0,
              "needs 1 argument: index", "index"),
  REGISTER_TO("-copy_user_data_into_register", LASoperationCopyUserDataIntoRegister, 0,
              "needs 1 argument: index", "index"),
  REGISTER_TO("-copy_point_source_into_register", LASoperationCopyPointSourceIntoRegister, 0,
              "needs 1 argument: index", "index"),
  BAND_REGISTER("-copy_R_into_register", LASoperationCopyRBGNIRintoRegister, 0),
  BAND_REGISTER("-copy_G_into_register", LASoperationCopyRBGNIRintoRegister, 1),
  BAND_REGISTER("-copy_B_into_register", LASoperationCopyRBGNIRintoRegister, 2),
  BAND_REGISTER("-copy_NIR_into_register", LASoperationCopyRBGNIRintoRegister, 3),
  {"-copy_attribute_into_register", "uu", "needs 2 arguments: index of attribute, index of register",
   "ERROR: '%s' 1st of 2 arguments index of attribute '%s' is no valid index\n|"
   "ERROR: '%s' 2nd of 2 arguments index of register '%s' is no valid index\n", 0,
   MAKE(if (v[1].u > 15)
          return option_fail("ERROR: '%s' 2nd of 2 arguments index of register %u is out of valid [0,15] range\n",
                      w.word(), v[1].u);
        return put(w, o, new LASoperationCopyAttributeIntoRegister(w.transform->registers, v[0].u, v[1].u));)},
  REGISTER_TO("-copy_register_into_x", LASoperationCopyRegisterIntoX, TRANSFORM_CHANGES_X,
              "needs 1 argument: index of register", "index"),
  REGISTER_TO("-copy_register_into_y", LASoperationCopyRegisterIntoY, TRANSFORM_CHANGES_Y,
              "needs 1 argument: index of register", "index"),
  REGISTER_TO("-copy_register_into_z", LASoperationCopyRegisterIntoZ, TRANSFORM_CHANGES_Z,
              "needs 1 argument: index of register", "index"),
  REGISTER_TO("-copy_register_into_intensity", LASoperationCopyRegisterIntoIntensity, 0,
              "needs 1 argument: index", "index"),
  REGISTER_TO("-copy_register_into_point_source", LASoperationCopyRegisterIntoPointSource, 0,
              "needs 1 argument: index", "index"),
  REGISTER_TO("-copy_register_into_user_data", LASoperationCopyRegisterIntoUserData, 0,
              "needs 1 argument: index", "index"),
  BAND_REGISTER("-copy_register_into_R", LASoperationCopyRegisterIntoRGBNIR, 0),
  BAND_REGISTER("-copy_register_into_G", LASoperationCopyRegisterIntoRGBNIR, 1),
  BAND_REGISTER("-copy_register_into_B", LASoperationCopyRegisterIntoRGBNIR, 2),
  BAND_REGISTER("-copy_register_into_NIR", LASoperationCopyRegisterIntoRGBNIR, 3),
  BAND_REGISTER("-copy_register_into_I", LASoperationCopyRegisterIntoRGBNIR, 3),
  {"-copy_register_into_attribute", "uu", "needs 2 arguments: index of register, index of attribute",
   "ERROR: '%s' 1st of 2 arguments index of register '%s' is no valid index\n|"
   "ERROR: '%s' 2nd of 2 arguments index of attribute '%s' is no valid index\n", 0,
   MAKE(if (v[0].u > 15)
          return option_fail("ERROR: '%s' 1st of 2 arguments index of register %u is out of valid [0,15] range\n",
                      w.word(), v[0].u);
        return put(w, o, new LASoperationCopyRegisterIntoAttribute(w.transform->registers, v[0].u, v[1].u));)},

  // --- extra-bytes attributes
  {"-set_attribute", "ul", "needs 2 arguments: index value", "index|value", 0,
   MAKE(return put(w, o, new LASoperationSetAttribute(v[0].u, v[1].lf));)},
  {"-scale_attribute", "uf", "needs 2 arguments: index scale", "index|scale", 0,
   MAKE(return put(w, o, new LASoperationScaleAttribute(v[0].u, v[1].f));)},
  {"-translate_attribute", "ul", "needs 2 arguments: index offset", "index|offset", 0,
   MAKE(return put(w, o, new LASoperationTranslateAttribute(v[0].u, v[1].lf));)},
  ATTRIBUTE_TO("-copy_user_data_into_attribute", LASoperationCopyUserDataIntoAttribute, 0,
               "needs 1 argument: index", "index"),
  ATTRIBUTE_TO("-copy_intensity_into_attribute", LASoperationCopyIntensityIntoAttribute, 0,
               "needs 1 argument: index", "index"),
  ATTRIBUTE_TO("-copy_z_into_attribute", LASoperationCopyZIntoAttribute, 0,
               "needs 1 argument: index", "index"),
  {"-load_attribute_from_text", "us", "needs 2 arguments: attribute_index attribute_file_name.txt",
   "attribute_index", 0,
   MAKE(const char* name = file_argument(const_cast<char*>(v[1].s));
        if (!file_ok(w, name, "ERROR: cannot '%s' needs text file with map but '%s' cannot be opened\n"))
          return false;
        return put(w, o, new LASoperationLoadAttributeFromText(v[0].u, name));)},

  // --- wave packet
  {"-flip_waveform_direction", "", "", "", 0, bare<LASoperationFlipWaveformDirection>},

  // --- no operation: the filter handed to the transform limits it
  {"-filtered_transform", "", "", "", 0,
   MAKE(w.transform->is_filtered = 1; blank_arguments(w.argv, w.i, w.next); return true;)},
};
// clang-format on

const TransformOption* find_option(const char* word) {
  if (const TransformOption* row = find_option_row(kTransformOptions, word)) return row;
  // the words that are matched by their beginning alone
  if (strncmp(word, "-set_classification", 19) == 0 ||
      strncmp(word, "-set_extended_classification", 28) == 0) {
    return find_option_row(kTransformOptions, "-set_classification");
  }
  if (strncmp(word, "-set_point_source", 17) == 0) {
    return find_option_row(kTransformOptions, "-set_point_source");
  }
  return nullptr;
}

}  // namespace

bool LAStransform::take_arguments(int argc, char** argv) {
  Walk w{{argc, argv}, this};
  for (int i = 1; i < argc; i++) {
    const char* word = argv[i];
    if (word[0] == 0) continue;
    if (is_help_word(word)) {
      print_help();
      return true;
    }
    const TransformOption* option = find_option(word);
    if (option == nullptr) continue;
    w.i = i;
    w.next = i + 1;
    Value values[8];
    if (!read_args(w, *option, values)) return false;
    if (!option->make(w, *option, values)) return false;
    i = w.next - 1;
  }
  return true;
}

void LAStransform::print_help() const {
  static const char* const kLines[] = {
      "Transform coordinates.\n",
      "  -translate_x -2.5\n",
      "  -scale_z 0.3048\n",
      "  -rotate_xy 15.0 620000 4100000 (angle + origin)\n",
      "  -translate_xyz 0.5 0.5 0\n",
      "  -translate_then_scale_y -0.5 1.001\n",
      "  -transform_helmert -199.87,74.79,246.62\n",
      "  -transform_helmert 598.1,73.7,418.2,0.202,0.045,-2.455,6.7\n",
      "  -transform_affine 0.9999652,0.903571,171.67,736.26\n",
      "  -switch_x_y -switch_x_z -switch_y_z\n",
      "  -clamp_z_below 70.5\n",
      "  -clamp_z 70.5 72.5\n",
      "  -copy_attribute_into_z 0\n",
      "  -add_attribute_to_z 1\n",
      "  -add_scaled_attribute_to_z 1 -1.2\n",
      "  -copy_intensity_into_z\n",
      "  -copy_user_data_into_z\n",
      "Transform raw xyz integers.\n",
      "  -translate_raw_z 20\n",
      "  -translate_raw_xyz 1 1 0\n",
      "  -translate_raw_xy_at_random 2 2\n",
      "  -clamp_raw_z 500 800\n",
      "Transform intensity.\n",
      "  -set_intensity 0\n",
      "  -scale_intensity 2.5\n",
      "  -translate_intensity 50\n",
      "  -translate_then_scale_intensity 0.5 3.1\n",
      "  -clamp_intensity 0 255\n",
      "  -clamp_intensity_above 255\n",
      "  -map_intensity map_file.txt\n",
      "  -copy_RGB_into_intensity\n",
      "  -copy_NIR_into_intensity\n",
      "  -copy_attribute_into_intensity 0\n",
      "  -bin_gps_time_into_intensity 0.5\n",
      "Transform scan_angle.\n",
      "  -set_scan_angle 0.0\n",
      "  -scale_scan_angle 1.944445\n",
      "  -translate_scan_angle -5\n",
      "  -translate_then_scale_scan_angle -0.5 2.1\n",
      "Change the return number or return count of points.\n",
      "  -repair_zero_returns\n",
      "  -set_return_number 1\n",
      "  -set_extended_return_number 10\n",
      "  -change_return_number_from_to 2 1\n",
      "  -change_extended_return_number_from_to 2 8\n",
      "  -set_number_of_returns 2\n",
      "  -set_extended_number_of_returns 15\n",
      "  -change_number_of_returns_from_to 0 2\n",
      "  -change_extended_number_of_returns_from_to 8 10\n",
      "Modify the classification.\n",
      "  -set_classification 2\n",
      "  -set_extended_classification 41\n",
      "  -change_classification_from_to 2 4\n",
      "  -classify_z_below_as -5.0 7\n",
      "  -classify_z_above_as 70.0 7\n",
      "  -classify_z_between_as 2.0 5.0 4\n",
      "  -classify_intensity_above_as 200 9\n",
      "  -classify_intensity_below_as 30 11 \n",
      "  -classify_intensity_between_as 500 900 15\n",
      "  -classify_attribute_below_as 0 -5.0 7\n",
      "  -classify_attribute_above_as 1 70.0 7\n",
      "  -classify_attribute_between_as 1 2.0 5.0 4\n",
      "  -change_extended_classification_from_to 6 46\n",
      "  -move_ancient_to_extended_classification\n",
      "  -copy_user_data_into_classification\n",
      "Change the flags.\n",
      "  -set_withheld_flag 0\n",
      "  -set_synthetic_flag 1\n",
      "  -set_keypoint_flag 0\n",
      "  -set_overlap_flag 1\n",
      "Modify the extended scanner channel.\n",
      "  -set_scanner_channel 2\n",
      "  -copy_user_data_into_scanner_channel\n",
      "Modify the user data.\n",
      "  -set_user_data 0\n",
      "  -scale_user_data 1.5\n",
      "  -change_user_data_from_to 23 26\n",
      "  -map_user_data map_file.txt\n",
      "  -copy_scanner_channel_into_user_data\n",
      "  -copy_attribute_into_user_data 1\n",
      "  -add_scaled_attribute_to_user_data 0 10.0\n",
      "Modify the point source ID.\n",
      "  -set_point_source 500\n",
      "  -change_point_source_from_to 1023 1024\n",
      "  -map_point_source map_file.txt\n",
      "  -copy_user_data_into_point_source\n",
      "  -copy_scanner_channel_into_point_source\n",
      "  -copy_attribute_into_point_source 0\n",
      "  -merge_scanner_channel_into_point_source\n",
      "  -split_scanner_channel_from_point_source\n",
      "  -bin_Z_into_point_source 200\n",
      "  -bin_abs_scan_angle_into_point_source 2\n",
      "  -bin_gps_time_into_point_source 5.0\n",
      "Transform gps_time.\n",
      "  -set_gps_time 113556962.005715\n",
      "  -translate_gps_time 40.50\n",
      "  -adjusted_to_week\n",
      "  -week_to_adjusted 1671\n",
      "Transform RGB/NIR colors.\n",
      "  -set_RGB 255 0 127\n",
      "  -set_RGB_of_class 9 0 0 255\n",
      "  -scale_RGB 2 4 2\n",
      "  -scale_RGB_down (by 256)\n",
      "  -scale_RGB_up (by 256)\n",
      "  -scale_RGB_to_8bit (only scales down 16 bit values)\n",
      "  -scale_RGB_to_16bit (only scales up 8 bit values)\n",
      "  -set_NIR 65535\n",
      "  -scale_NIR 2\n",
      "  -scale_NIR_down (by 256)\n",
      "  -scale_NIR_up (by 256)\n",
      "  -scale_NIR_to_8bit (only scales down 16 bit values)\n",
      "  -scale_NIR_to_16bit (only scales up 8 bit values)\n",
      "  -switch_R_G -switch_R_B -switch_B_G\n",
      "  -copy_R_into_NIR -copy_R_into_intensity\n",
      "  -copy_G_into_NIR -copy_G_into_intensity\n",
      "  -copy_B_into_NIR -copy_B_into_intensity\n",
      "  -copy_intensity_into_NIR\n",
      "  -switch_RGBI_into_CIR\n",
      "  -switch_RGB_intensity_into_CIR\n",
      "Transform attributes in \"Extra Bytes\".\n",
      "  -scale_attribute 0 1.5\n",
      "  -translate_attribute 1 0.2\n",
      "  -copy_user_data_into_attribute 0\n",
      "  -copy_z_into_attribute 0\n",
      "  -map_attribute_into_RGB 0 map_height_to_RGB.txt\n",
      "Transform using \"LASregisters\".\n",
      "  -copy_attribute_into_register 0 0\n",
      "  -scale_register 0 1.5\n",
      "  -translate_register 1 10.7\n",
      "  -add_registers 0 1 3\n",
      "  -multiply_registers 0 1 2\n",
      "  -copy_intensity_into_register 0\n",
      "  -copy_R_into_register 1\n",
      "  -copy_G_into_register 2\n",
      "  -copy_B_into_register 3\n",
      "  -copy_NIR_into_register 4\n",
      "  -copy_register_into_intensity 1\n",
  };
  for (const char* line : kLines) fputs(line, stderr);
}
