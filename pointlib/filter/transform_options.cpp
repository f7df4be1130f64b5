// The transform's option parser: one table row per option word.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

#include "filter/las_transform.hpp"
#include "filter/operations_attributes.hpp"
#include "filter/operations_colour.hpp"
#include "filter/operations_coordinates.hpp"
#include "filter/operations_fields.hpp"
#include "filter/operations_files.hpp"
#include "filter/operations_registers.hpp"
#include "filter/operations_wavepacket.hpp"
#include "filter/option_args.hpp"

namespace {

constexpr uint32_t U8_MAX = 255;
constexpr uint32_t U16_MAX = 65535;
constexpr int32_t X = TRANSFORM_CHANGES_X;
constexpr int32_t Y = TRANSFORM_CHANGES_Y;
constexpr int32_t Z = TRANSFORM_CHANGES_Z;
constexpr int32_t RGB = TRANSFORM_CHANGES_RGB;
constexpr int32_t NIR = TRANSFORM_CHANGES_NIR;

// One pass of the parser over an argument vector.
struct Walk : OptionWalk {
  LAStransform* transform;
};

// One argument as read, by the letter of its kind (l "%lf", f "%f", d "%d",
// u "%u", s a word taken as it is). It converts to the parameter type of the
// operation it is handed to as the C++ conversion of the value read does.
struct Value {
  char kind = 0;
  double lf = 0.0;
  float f = 0.0f;
  int32_t d = 0;
  uint32_t u = 0;
  const char* s = nullptr;

  template <typename T, typename = std::enable_if_t<std::is_arithmetic_v<T>>>
  operator T() const {
    switch (kind) {
      case 'l':
        return static_cast<T>(lf);
      case 'f':
        return static_cast<T>(f);
      case 'd':
        return static_cast<T>(d);
      default:
        return static_cast<T>(u);
    }
  }
  double number() const { return *this; }
};

// How a bound refuses a larger value.
enum class Refusal : uint8_t {
  value_and_max,   // the message takes the value and the bound
  word_and_value,  // the message takes the option word and the value
  not_valid,       // "... but '<entry>' is no valid <label>", as an unreadable entry
};

// An upper bound on one unsigned argument.
struct Bound {
  int8_t arg = -1;  // -1: no bound
  Refusal refusal = Refusal::value_and_max;
  uint32_t max = 0;
  const char* message = nullptr;
};

// Up to four bounds of a row, checked in order.
struct Bounds {
  Bound list[4];
};

constexpr Bound at_most(int8_t arg, uint32_t max, const char* message) {
  return {arg, Refusal::value_and_max, max, message};
}
constexpr Bound register_index(int8_t arg, const char* message) {
  return {arg, Refusal::word_and_value, 15, message};
}
constexpr Bound valid_up_to(int8_t arg, uint32_t max) {
  return {arg, Refusal::not_valid, max, nullptr};
}

struct TransformOption;
using Maker = bool (*)(Walk&, const TransformOption&, const Value*);

// An option word, the kinds of its arguments, its "needs" text for missing
// arguments, the names of its arguments for "but '...' is no valid <name>"
// separated by '|' (a name that begins with "ERROR" is a whole message taking
// the option word and the entry), the change flags it sets, the maker that
// appends the operation, and the bounds checked before it is made.
struct TransformOption {
  const char* word;
  const char* kinds;
  const char* needs;
  const char* labels;
  int32_t flags;
  Maker make;
  Bounds bounds = {};
  bool by_prefix = false;  // also taken for every word that begins with it
};

// Another word for an option: the row of `twin` serves it.
struct TransformAlias {
  const char* word;
  const char* twin;
  bool by_prefix = false;  // also taken for every word that begins with it
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
const char* file_argument(const char* entry) {
  char* text = const_cast<char*>(entry);
  const size_t n = strlen(text);
  if (n >= 2 && text[0] == '"' && text[n - 1] == '"') {
    text[n - 1] = 0;
    return text + 1;
  }
  return text;
}

bool refuse_unreadable(const Walk& w, const TransformOption& o, int k) {
  char label[160];
  nth_list_word(o.labels, '|', k, label, sizeof(label));
  if (strncmp(label, "ERROR", 5) == 0) return option_fail(label, w.word(), w.arg(k + 1));
  return option_fail("ERROR: '%s' %s but '%s' is no valid %s\n", w.word(), o.needs, w.arg(k + 1),
                     label);
}

bool read_args(Walk& w, const TransformOption& o, Value* v) {
  const int n = static_cast<int>(strlen(o.kinds));
  if (w.i + n >= w.argc) return option_fail("ERROR: '%s' %s\n", w.word(), o.needs);
  for (int k = 0; k < n; k++) {
    const char* entry = w.arg(k + 1);
    v[k].kind = o.kinds[k];
    bool ok = true;
    switch (o.kinds[k]) {
      case 'l':
        ok = scan_entry(entry, &v[k].lf);
        break;
      case 'f':
        ok = scan_entry(entry, &v[k].f);
        break;
      case 'd':
        ok = scan_entry(entry, &v[k].d);
        break;
      case 'u':
        ok = scan_entry(entry, &v[k].u);
        break;
      default:
        v[k].s = entry;
        break;
    }
    if (!ok) return refuse_unreadable(w, o, k);
  }
  w.next = w.i + n + 1;
  return true;
}

bool within_bounds(const Walk& w, const TransformOption& o, const Value* v) {
  for (const Bound& b : o.bounds.list) {
    if (b.arg < 0 || v[b.arg].u <= b.max) continue;
    switch (b.refusal) {
      case Refusal::value_and_max:
        return option_fail(b.message, v[b.arg].u, b.max);
      case Refusal::word_and_value:
        return option_fail(b.message, w.word(), v[b.arg].u);
      case Refusal::not_valid:
        return refuse_unreadable(w, o, b.arg);
    }
  }
  return true;
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

// --- makers

template <typename C, typename... Leading, size_t... I>
LASoperation* construct(const Value* v, std::index_sequence<I...>, Leading... leading) {
  return new C(leading..., v[I]...);
}

// The operation made from the arguments in order.
template <typename C>
bool plain(Walk& w, const TransformOption& o, const Value* v) {
  return put(w, o, construct<C>(v, std::make_index_sequence<C::kParameters>()));
}

// The same behind the transform's registers.
template <typename C>
bool registers(Walk& w, const TransformOption& o, const Value* v) {
  return put(w, o,
             construct<C>(v, std::make_index_sequence<C::kParameters>(), w.transform->registers));
}

// One colour band of a family that names the band in its word.
template <typename C, uint32_t BAND>
bool band(Walk& w, const TransformOption& o, const Value* v) {
  return put(w, o, new C(BAND, v[0]));
}

template <typename C, uint32_t BAND>
bool band_registers(Walk& w, const TransformOption& o, const Value* v) {
  return put(w, o, new C(w.transform->registers, BAND, v[0]));
}

// The coordinate options whose flags name only the axes they change: argument
// k changes the k-th axis of AXES unless its value is NEUTRAL.
template <typename C, int NEUTRAL, int32_t... AXES>
bool axes(Walk& w, const TransformOption& o, const Value* v) {
  const int32_t flags[] = {AXES...};
  for (size_t k = 0; k < sizeof...(AXES); k++) {
    if (v[k].number() != NEUTRAL) w.transform->change_flags |= flags[k];
  }
  return plain<C>(w, o, v);
}

template <typename C>
bool rotate(Walk& w, const TransformOption& o, const Value* v) {
  if (v[0].lf == 0.0) {
    return option_fail(
        "ERROR: '%s' needs 3 arguments: angle rot_center_x rot_center_y but %g is no valid "
        "angle\n",
        w.word(), v[0].lf);
  }
  return plain<C>(w, o, v);
}

bool transform_affine(Walk& w, const TransformOption& o, const Value* v) {
  double p[4];
  if (comma_list(v[0].s, p, 4) != 4) {
    return option_fail("ERROR: '%s' needs 4 comma separated parameters as argument\n", w.word());
  }
  return put(w, o, new LASoperationTransformAffine(p[0], p[1], p[2], p[3]));
}

// Three parameters are a plain translation.
bool transform_helmert(Walk& w, const TransformOption& o, const Value* v) {
  double p[7];
  const int n = comma_list(v[0].s, p, 7);
  if (n == 3) return put(w, o, new LASoperationTranslateXYZ(p[0], p[1], p[2]));
  if (n == 7) return put(w, o, new LASoperationTransformHelmert(p));
  return option_fail("ERROR: '%s' needs 3 or 7 comma separated parameters as argument\n", w.word());
}

bool add_scaled_attribute_to_z(Walk& w, const TransformOption& o, const Value* v) {
  if (v[1].f == 0.0f) {
    return option_fail("ERROR: '%s' needs 2 arguments: index scale but '%g' is no valid scale\n",
                       w.word(), static_cast<double>(v[1].f));
  }
  return plain<LASoperationAddScaledAttributeToZ>(w, o, v);
}

bool set_scan_angle(Walk& w, const TransformOption& o, const Value* v) {
  if (v[0].f < -180.0f) {
    return option_fail("ERROR: cannot set scan angle because value %g is smaller than -180\n",
                       static_cast<double>(v[0].f));
  }
  if (v[0].f > 180.0f) {
    return option_fail("ERROR: cannot set scan angle rank because value %g is larger than 180\n",
                       static_cast<double>(v[0].f));
  }
  return plain<LASoperationSetScanAngle>(w, o, v);
}

// A bin size must be positive.
template <typename C>
bool bin_size(Walk& w, const TransformOption& o, const Value* v) {
  const Value& b = v[0];
  if (b.kind == 'l' && !(b.lf > 0.0)) {
    return option_fail("ERROR: %f is no valid bin_size for '%s'\n", b.lf, w.word());
  }
  if (b.kind == 'f' && !(b.f > 0.0f)) {
    return option_fail("ERROR: %g is no valid bin_size for '%s'\n", static_cast<double>(b.f),
                       w.word());
  }
  if (b.kind == 'u' && b.u == 0) {
    return option_fail("ERROR: %u is no valid bin_size for '%s'\n", b.u, w.word());
  }
  return plain<C>(w, o, v);
}

// Classes below 32 are legacy classes; above they live in the extended class.
bool set_RGB_of_class(Walk& w, const TransformOption& o, const Value* v) {
  if (v[0].u <= 31) return plain<LASoperationSetRGBofClass>(w, o, v);
  return plain<LASoperationSetRGBofExtendedClass>(w, o, v);
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

template <typename C>
bool map_file(Walk& w, const TransformOption& o, const Value* v) {
  const char* name = file_argument(v[0].s);
  if (!file_ok(w, name, "ERROR: '%s' needs text file with map but '%s' cannot be opened\n")) {
    return false;
  }
  return put(w, o, new C(name));
}

bool map_attribute_into_RGB(Walk& w, const TransformOption& o, const Value* v) {
  const char* name = file_argument(v[1].s);
  if (!file_ok(w, name,
               "ERROR: '%s' needs text file with attribute values but '%s' cannot be opened\n")) {
    return false;
  }
  return put(w, o, new LASoperationMapAttributeIntoRGB(v[0].u, name));
}

bool load_attribute_from_text(Walk& w, const TransformOption& o, const Value* v) {
  const char* name = file_argument(v[1].s);
  if (!file_ok(w, name,
               "ERROR: cannot '%s' needs text file with map but '%s' cannot be opened\n")) {
    return false;
  }
  return put(w, o, new LASoperationLoadAttributeFromText(v[0].u, name));
}

// No operation: the filter handed to the transform limits it.
bool filtered_transform(Walk& w, const TransformOption&, const Value*) {
  w.transform->is_filtered = 1;
  blank_arguments(w.argv, w.i, w.next);
  return true;
}

// Messages that several rows share.
const char kRegisterRange[] = "ERROR: '%s' index of register %u is out of valid [0,15] range\n";
const char kClampBelow[] =
    "ERROR: cannot clamp intensity because below value of %u is larger than %u\n";
const char kClampAbove[] =
    "ERROR: cannot clamp intensity because above value of %u is larger than %u\n";
const char kClassifyZ[] =
    "ERROR: cannot classify z_value because classification of %u is larger than 255\n";
const char kClassifyIntensity[] =
    "ERROR: cannot classify intensity because classification of %u is larger than 255\n";
const char kClassifyIntensityValue[] =
    "ERROR: cannot classify intensity because value of %u is larger than %u\n";
const char kChangeClassFrom[] =
    "ERROR: cannot change classification because from_value %u is larger than %u\n";
const char kChangeClassTo[] =
    "ERROR: cannot change classification because to_value %u is larger than %u\n";
const char kRgbR[] = "ERROR: cannot set RGB because R is %u, which is larger than %u\n";
const char kRgbG[] = "ERROR: cannot set RGB because G is %u, which is larger than %u\n";
const char kRgbB[] = "ERROR: cannot set RGB because B is %u, which is larger than %u\n";
const char kInput1[] =
    "ERROR: '%s' needs 3 arguments: input1 input2 output but %u is out-of-range for input1\n";
const char kInput2[] =
    "ERROR: '%s' needs 3 arguments: input1 input2 output but %u is out-of-range for input2\n";
const char kOutput[] =
    "ERROR: '%s' needs 3 arguments: input1 input2 output but %u is out-of-range for output\n";
const char kDivisor[] = "ERROR: '%s' needs 1 argument: scale but '%s' is no valid divisor\n";

// clang-format off
const TransformOption kTransformOptions[] = {
  // --- coordinates
  {"-translate_x", "l", "needs 1 argument: offset", "number", X, plain<LASoperationTranslateX>},
  {"-translate_y", "l", "needs 1 argument: offset", "number", Y, plain<LASoperationTranslateY>},
  {"-translate_z", "l", "needs 1 argument: offset", "number", Z, plain<LASoperationTranslateZ>},
  {"-translate_xyz", "lll", "needs 3 arguments: offset_x offset_y offset_z", "number|number|number", 0,
   axes<LASoperationTranslateXYZ, 0, X, Y, Z>},
  {"-translate_then_scale_x", "ll", "needs 2 arguments: offset scale", "number|number", X,
   plain<LASoperationTranslateThenScaleX>},
  {"-translate_then_scale_y", "ll", "needs 2 arguments: offset scale", "number|number", Y,
   plain<LASoperationTranslateThenScaleY>},
  {"-translate_then_scale_z", "ll", "needs 2 arguments: offset scale", "number|number", Z,
   plain<LASoperationTranslateThenScaleZ>},
  {"-scale_x", "l", "needs 1 argument: scale",
   "ERROR: '%s' needs 1 argument: scale_x but '%s' is no valid number\n", 0, axes<LASoperationScaleX, 1, X>},
  {"-scale_y", "l", "needs 1 argument: scale",
   "ERROR: '%s' needs 1 argument: scale_y but '%s' is no valid number\n", 0, axes<LASoperationScaleY, 1, Y>},
  {"-scale_z", "l", "needs 1 argument: scale",
   "ERROR: '%s' needs 1 argument: scale_z but '%s' is no valid number\n", 0, axes<LASoperationScaleZ, 1, Z>},
  {"-scale_xyz", "lll", "needs 3 arguments: scale_x scale_y scale_z", "number|number|number", 0,
   axes<LASoperationScaleXYZ, 1, X, Y, Z>},
  {"-rotate_xy", "lll", "needs 3 arguments: angle rot_center_x rot_center_y",
   "angle|rot_center_x|rot_center_y", X | Y, rotate<LASoperationRotateXY>},
  {"-rotate_xz", "lll", "needs 3 arguments: angle rot_center_x rot_center_z",
   "angle|rot_center_x|rot_center_z", X | Z, rotate<LASoperationRotateXZ>},
  {"-rotate_yz", "lll", "needs 3 arguments: angle rot_center_y rot_center_z",
   "angle|rot_center_y|rot_center_z", Y | Z, rotate<LASoperationRotateYZ>},
  {"-transform_affine", "s", "needs 1 argument: 4 comma separated parameters", "", 0, transform_affine},
  {"-transform_helmert", "s", "needs 1 argument: 3 or 7 comma separated parameters", "", 0,
   transform_helmert},
  {"-clamp_z", "ll", "needs 2 arguments: below above", "below value|above value", Z,
   plain<LASoperationClampZ>},
  {"-clamp_z_below", "l", "needs 1 argument: below", "below value", Z, plain<LASoperationClampZbelow>},
  {"-clamp_z_above", "l", "needs 1 argument: above", "above value", Z, plain<LASoperationClampZabove>},
  {"-copy_attribute_into_x", "u", "needs 1 argument: index of attribute", "index", X,
   plain<LASoperationCopyAttributeIntoX>},
  {"-copy_attribute_into_y", "u", "needs 1 argument: index of attribute", "index", Y,
   plain<LASoperationCopyAttributeIntoY>},
  {"-copy_attribute_into_z", "u", "needs 1 argument: index of attribute", "index", Z,
   plain<LASoperationCopyAttributeIntoZ>},
  {"-add_attribute_to_z", "u", "needs 1 argument: index", "index", Z, plain<LASoperationAddAttributeToZ>},
  {"-add_scaled_attribute_to_z", "uf", "needs 2 arguments: index scale", "index|scale", Z,
   add_scaled_attribute_to_z},
  {"-copy_intensity_into_z", "", "", "", Z, plain<LASoperationCopyIntensityIntoZ>},
  {"-copy_user_data_into_z", "", "", "", 0, plain<LASoperationCopyUserDataIntoZ>},
  {"-switch_x_y", "", "", "", 0, plain<LASoperationSwitchXY>},
  {"-switch_x_z", "", "", "", 0, plain<LASoperationSwitchXZ>},
  {"-switch_y_z", "", "", "", 0, plain<LASoperationSwitchYZ>},

  // --- raw integers
  {"-translate_raw_x", "d", "needs 1 argument: raw_offset", "raw_offset", X, plain<LASoperationTranslateRawX>},
  {"-translate_raw_y", "d", "needs 1 argument: raw_offset", "raw_offset", Y, plain<LASoperationTranslateRawY>},
  {"-translate_raw_z", "d", "needs 1 argument: raw_offset", "raw_offset", Z, plain<LASoperationTranslateRawZ>},
  {"-translate_raw_xyz", "ddd", "needs 3 arguments: raw_offset_x raw_offset_y raw_offset_z",
   "raw_offset_x|raw_offset_y|raw_offset_z", 0, axes<LASoperationTranslateRawXYZ, 0, X, Y, Z>},
  {"-translate_raw_xy_at_random", "dd", "needs 2 arguments: max_raw_offset_x max_raw_offset_y",
   "max_raw_offset_x|max_raw_offset_y", 0, axes<LASoperationTranslateRawXYatRandom, 0, X, Y>},
  {"-clamp_raw_z", "dd", "needs 2 arguments: below above", "below value|above value", Z,
   plain<LASoperationClampRawZ>},

  // --- intensity
  {"-set_intensity", "u", "needs 1 argument: value", "value", 0, plain<LASoperationSetIntensity>,
   {at_most(0, U16_MAX, "ERROR: cannot set intensity because value of %u is larger than %u\n")}},
  {"-scale_intensity", "f", "needs 1 argument: scale", "number", 0, plain<LASoperationScaleIntensity>},
  {"-translate_intensity", "f", "needs 1 argument: offset", "offset", 0,
   plain<LASoperationTranslateIntensity>},
  {"-translate_then_scale_intensity", "ff", "needs 2 arguments: offset scale", "offset|scale", 0,
   plain<LASoperationTranslateThenScaleIntensity>},
  {"-clamp_intensity", "uu", "needs 2 arguments: below above", "below value|above value", 0,
   plain<LASoperationClampIntensity>, {at_most(0, U16_MAX, kClampBelow), at_most(1, U16_MAX, kClampAbove)}},
  {"-clamp_intensity_below", "u", "needs 1 argument: below", "below value", 0,
   plain<LASoperationClampIntensityBelow>, {at_most(0, U16_MAX, kClampBelow)}},
  {"-clamp_intensity_above", "u", "needs 1 argument: above", "above value", 0,
   plain<LASoperationClampIntensityAbove>, {at_most(0, U16_MAX, kClampAbove)}},
  {"-map_intensity", "s", "needs 1 argument: map_file_name.txt", "", 0, map_file<LASoperationMapIntensity>},
  {"-copy_attribute_into_intensity", "u", "needs 1 argument: index", "index", 0,
   plain<LASoperationCopyAttributeIntoIntensity>},
  {"-bin_gps_time_into_intensity", "l", "needs 1 argument: bin_size", "bin_size", 0,
   bin_size<LASoperationBinGpsTimeIntoIntensity>},
  {"-copy_RGB_into_intensity", "", "", "", 0, plain<LASoperationCopyRGBintoIntensity>},
  {"-copy_R_into_intensity", "", "", "", 0, plain<LASoperationCopyRintoIntensity>},
  {"-copy_G_into_intensity", "", "", "", 0, plain<LASoperationCopyGintoIntensity>},
  {"-copy_B_into_intensity", "", "", "", 0, plain<LASoperationCopyBintoIntensity>},
  {"-copy_NIR_into_intensity", "", "", "", 0, plain<LASoperationCopyNIRintoIntensity>},

  // --- scan angle
  {"-set_scan_angle", "f", "needs 1 argument: value",
   "ERROR: '%s' needs 1 argument: value but '%s' is not valid\n", 0, set_scan_angle},
  {"-scale_scan_angle", "f", "needs 1 argument: scale", "number", 0, plain<LASoperationScaleScanAngle>},
  {"-translate_scan_angle", "f", "needs 1 argument: offset", "offset", 0,
   plain<LASoperationTranslateScanAngle>},
  {"-translate_then_scale_scan_angle", "ff", "needs 2 arguments: offset scale", "offset|scale", 0,
   plain<LASoperationTranslateThenScaleScanAngle>},

  // --- classification and flags
  {"-set_classification", "u", "needs 1 argument: classification", "classification", 0,
   plain<LASoperationSetClassification>,
   {at_most(0, U8_MAX, "ERROR: cannot set classification because classification of %u is larger than 255\n")},
   true},
  {"-change_classification_from_to", "uu", "needs 2 arguments: from_value to_value", "from_value|to_value", 0,
   plain<LASoperationChangeClassificationFromTo>,
   {at_most(0, U8_MAX, kChangeClassFrom), at_most(1, U8_MAX, kChangeClassTo)}},
  {"-classify_z_below_as", "lu", "needs 2 arguments: z_value classification", "z_value|classification", 0,
   plain<LASoperationClassifyZbelowAs>, {at_most(1, U8_MAX, kClassifyZ)}},
  {"-classify_z_above_as", "lu", "needs 2 arguments: z_value classification", "z_value|classification", 0,
   plain<LASoperationClassifyZaboveAs>, {at_most(1, U8_MAX, kClassifyZ)}},
  {"-classify_z_between_as", "llu", "needs 3 arguments: z_min z_max classification",
   "z_min|z_max|classification", 0, plain<LASoperationClassifyZbetweenAs>, {at_most(2, U8_MAX, kClassifyZ)}},
  {"-classify_intensity_below_as", "uu", "needs 2 arguments: value classification", "value|classification", 0,
   plain<LASoperationClassifyIntensityBelowAs>,
   {at_most(0, U16_MAX, kClassifyIntensityValue), at_most(1, U8_MAX, kClassifyIntensity)}},
  {"-classify_intensity_above_as", "uu", "needs 2 arguments: value classification", "value|classification", 0,
   plain<LASoperationClassifyIntensityAboveAs>,
   {at_most(0, U16_MAX, kClassifyIntensityValue), at_most(1, U8_MAX, kClassifyIntensity)}},
  {"-classify_intensity_between_as", "uuu", "needs 3 arguments: min_value max_value classification",
   "min_value|max_value|classification", 0, plain<LASoperationClassifyIntensityBetweenAs>,
   {at_most(0, U16_MAX, "ERROR: cannot classify intensity because min_value of %u is larger than %u\n"),
    at_most(1, U16_MAX, "ERROR: cannot classify intensity because max_value of %u is larger than %u\n"),
    at_most(2, U8_MAX, kClassifyIntensity)}},
  {"-classify_attribute_below_as", "ulu", "needs 3 arguments: attribute_index value classification",
   "attribute_index|value|classification", 0, plain<LASoperationClassifyAttributeBelowAs>,
   {at_most(2, U8_MAX, "ERROR: cannot classify attribute below because classification of %u is larger than 255\n")}},
  {"-classify_attribute_above_as", "ulu", "needs 3 arguments: attribute_index value classification",
   "attribute_index|value|classification", 0, plain<LASoperationClassifyAttributeAboveAs>,
   {at_most(2, U8_MAX, "ERROR: cannot classify attribute above because classification of %u is larger than 255\n")}},
  {"-classify_attribute_between_as", "ullu", "needs 4 arguments: attribute_index min max classification",
   "attribute_index|min|max|classification", 0, plain<LASoperationClassifyAttributeBetweenAs>,
   {at_most(3, U8_MAX, "ERROR: cannot classify attribute between because classification of %u is larger than 255\n")}},
  {"-copy_intensity_into_classification", "", "", "", 0, plain<LASoperationCopyIntensityIntoClassification>},
  {"-copy_user_data_into_classification", "", "", "", 0, plain<LASoperationCopyUserDataIntoClassification>},
  {"-move_ancient_to_extended_classification", "", "", "", 0,
   plain<LASoperationMoveAncientToExtendedClassification>},
  {"-set_withheld_flag", "u", "needs 1 argument: value", "flag", 0, plain<LASoperationSetWithheldFlag>,
   {at_most(0, 1, "ERROR: cannot set withheld flag because value %u is larger than 1\n")}},
  {"-set_synthetic_flag", "u", "needs 1 argument: value", "flag", 0, plain<LASoperationSetSyntheticFlag>,
   {at_most(0, 1, "ERROR: cannot set synthetic flag because value %u is larger than 1\n")}},
  {"-set_keypoint_flag", "u", "needs 1 argument: value", "flag", 0, plain<LASoperationSetKeypointFlag>,
   {at_most(0, 1, "ERROR: cannot set keypoint flag because value %u is larger than 1\n")}},
  {"-set_overlap_flag", "u", "needs 1 argument: value", "flag", 0, plain<LASoperationSetExtendedOverlapFlag>,
   {at_most(0, 1, "ERROR: cannot set overlap flag because value %u is larger than 1\n")}},
  {"-set_scan_direction_flag", "u", "needs 1 argument: value", "flag", 0, plain<LASoperationSetScanDirectionFlag>,
   {at_most(0, 1, "ERROR: cannot set scan direction flag because value %u is larger than 1\n")}},
  {"-set_edge_of_flight_line", "u", "needs 1 argument: value", "flag", 0, plain<LASoperationSetEdgeOfFlightLine>,
   {at_most(0, 1, "ERROR: cannot set edge of flight line because value %u is larger than 1\n")}},
  {"-set_scanner_channel", "u", "needs 1 argument: value", "value", 0,
   plain<LASoperationSetExtendedScannerChannel>,
   {at_most(0, 3, "ERROR: cannot set scanner channel because value %u is larger than 3\n")}},

  // --- returns
  {"-repair_zero_returns", "", "", "", 0, plain<LASoperationRepairZeroReturns>},
  {"-set_return_number", "u", "needs 1 argument: return_number", "return_number", 0,
   plain<LASoperationSetReturnNumber>,
   {at_most(0, 7, "ERROR: cannot set return_number because %u is larger than %u\n")}},
  {"-set_number_of_returns", "u", "needs 1 argument: number_of_returns", "number_of_returns", 0,
   plain<LASoperationSetNumberOfReturns>,
   {at_most(0, 7, "ERROR: cannot set number_of_returns because %u is larger than %u\n")}},
  {"-set_extended_return_number", "u", "needs 1 argument: extended_return_number", "extended_return_number", 0,
   plain<LASoperationSetExtendedReturnNumber>,
   {at_most(0, 15, "ERROR: cannot set extended_return_number because %u is larger than %u\n")}},
  {"-set_extended_number_of_returns", "u", "needs 1 argument: extended_number_of_returns",
   "extended_return_number", 0, plain<LASoperationSetExtendedNumberOfReturns>,
   {at_most(0, 15, "ERROR: cannot set extended_number_of_returns because %u is larger than 15\n")}},
  {"-change_return_number_from_to", "uu", "needs 2 arguments: from_value to_value", "from_value|to_value", 0,
   plain<LASoperationChangeReturnNumberFromTo>,
   {at_most(0, 7, "ERROR: cannot change return_number because from_value %u is larger than %u\n"),
    at_most(1, 7, "ERROR: cannot change return_number because to_value %u is larger than %u\n")}},
  {"-change_number_of_returns_from_to", "uu", "needs 2 arguments: from_value to_value", "from_value|to_value", 0,
   plain<LASoperationChangeNumberOfReturnsFromTo>,
   {at_most(0, 7, "ERROR: cannot change number_of_returns because from_value %u is larger than %u\n"),
    at_most(1, 7, "ERROR: cannot change number_of_returns because to_value %u is larger than %u\n")}},
  {"-change_extended_return_number_from_to", "uu", "needs 2 arguments: from_value to_value",
   "from_value|to_value", 0, plain<LASoperationChangeExtendedReturnNumberFromTo>,
   {at_most(0, 15, "ERROR: cannot change extended_return_number because from_value %u is larger than %u\n"),
    at_most(1, 15, "ERROR: cannot change extended_return_number because to_value %u is larger than %u\n")}},
  {"-change_extended_number_of_returns_from_to", "uu", "needs 2 arguments: from_value to_value",
   "from_value|to_value", 0, plain<LASoperationChangeExtendedNumberOfReturnsFromTo>,
   {at_most(0, 15, "ERROR: cannot change extended_number_of_returns because from_value %u is larger than %u\n"),
    at_most(1, 15, "ERROR: cannot change extended_number_of_returns because to_value %u is larger than %u\n")}},

  // --- user data and scanner channel
  {"-set_user_data", "u", "needs 1 argument: value", "value", 0, plain<LASoperationSetUserData>,
   {at_most(0, U8_MAX, "ERROR: cannot set user data because value %u is larger than %d\n")}},
  {"-scale_user_data", "f", "needs 1 argument: scale", "number", 0, plain<LASoperationScaleUserData>},
  // a value out of range is refused as not valid, there being no own text
  {"-change_user_data_from_to", "uu", "needs 2 arguments: from_value to_value", "from_value|to_value", 0,
   plain<LASoperationChangeUserDataFromTo>, {valid_up_to(0, U8_MAX), valid_up_to(1, U8_MAX)}},
  {"-map_user_data", "s", "needs 1 argument: map_file_name.txt", "", 0, map_file<LASoperationMapUserData>},
  {"-copy_attribute_into_user_data", "u", "needs 1 argument: index", "index", 0,
   plain<LASoperationCopyAttributeIntoUserData>},
  {"-add_scaled_attribute_to_user_data", "uf", "needs 2 arguments: index scale", "index|scale", 0,
   plain<LASoperationAddScaledAttributeToUserData>},
  {"-copy_classification_into_user_data", "", "", "", 0, plain<LASoperationCopyClassificationIntoUserData>},
  {"-copy_scanner_channel_into_user_data", "", "", "", 0, plain<LASoperationCopyScannerChannelIntoUserData>},
  {"-copy_user_data_into_scanner_channel", "", "", "", 0, plain<LASoperationCopyUserDataIntoScannerChannel>},

  // --- point source ID
  {"-set_point_source", "u", "need 1 argument: psid",
   "ERROR: '%s' needs 1 argument: value but '%s' is no valid value\n", 0, plain<LASoperationSetPointSource>,
   {at_most(0, U16_MAX, "ERROR: cannot set point source ID because value %u is larger than %d\n")}, true},
  {"-change_point_source_from_to", "uu", "needs 2 arguments: from_value to_value", "from_value|to_value", 0,
   plain<LASoperationChangePointSourceFromTo>, {valid_up_to(0, U16_MAX), valid_up_to(1, U16_MAX)}},
  {"-map_point_source", "s", "needs 1 argument: map_file_name.txt", "", 0, map_file<LASoperationMapPointSource>},
  {"-copy_attribute_into_point_source", "u", "needs 1 argument: index", "index", 0,
   plain<LASoperationCopyAttributeIntoPointSource>},
  {"-copy_classification_into_point_source", "", "", "", 0, plain<LASoperationCopyClassificationIntoPointSource>},
  {"-copy_user_data_into_point_source", "", "", "", 0, plain<LASoperationCopyUserDataIntoPointSource>},
  {"-copy_scanner_channel_into_point_source", "", "", "", 0,
   plain<LASoperationCopyScannerChannelIntoPointSource>},
  {"-merge_scanner_channel_into_point_source", "", "", "", 0,
   plain<LASoperationMergeScannerChannelIntoPointSource>},
  {"-split_scanner_channel_from_point_source", "", "", "", 0,
   plain<LASoperationSplitScannerChannelFromPointSource>},
  {"-bin_Z_into_point_source", "u", "needs 1 argument: bin_size", "bin_size", 0,
   bin_size<LASoperationBinZintoPointSource>},
  {"-bin_abs_scan_angle_into_point_source", "f", "needs 1 argument: bin_size", "bin_size", 0,
   bin_size<LASoperationBinAbsScanAngleIntoPointSource>},
  {"-bin_gps_time_into_point_source", "l", "needs 1 argument: bin_size", "bin_size", 0,
   bin_size<LASoperationBinGpsTimeIntoPointSource>},

  // --- GPS time
  {"-set_gps_time", "l", "needs 1 argument: gps_time", "gps_time", 0, plain<LASoperationSetGpsTime>},
  {"-translate_gps_time", "l", "needs 1 argument: offset", "offset", 0, plain<LASoperationTranslateGpsTime>},
  {"-adjusted_to_week", "", "", "", 0, plain<LASoperationConvertAdjustedGpsToWeek>},
  {"-week_to_adjusted", "u", "needs 1 argument: week", "week", 0, plain<LASoperationConvertWeekToAdjustedGps>},

  // --- colours
  {"-set_RGB", "uuu", "needs 3 arguments: R G B", "R|G|B", 0, plain<LASoperationSetRGB>,
   {at_most(0, U16_MAX, kRgbR), at_most(1, U16_MAX, kRgbG), at_most(2, U16_MAX, kRgbB)}},
  {"-set_RGB_of_class", "uuuu", "needs 4 arguments: classification R G B", "classification|R|G|B", 0,
   set_RGB_of_class,
   {at_most(0, U8_MAX, "ERROR: cannot set RGB because classification is %u, which is larger than %u\n"),
    at_most(1, U16_MAX, kRgbR), at_most(2, U16_MAX, kRgbG), at_most(3, U16_MAX, kRgbB)}},
  {"-set_NIR", "u", "need 1 argument: value",
   "ERROR: '%s' needs 1 argument: value but '%s' is no valid value\n", 0, plain<LASoperationSetNIR>,
   {at_most(0, U16_MAX, "ERROR: cannot set NIR because value is %u, which is larger than %u\n")}},
  {"-scale_RGB", "fff", "needs 3 arguments: scale_R scale_G scale_B", "number|number|number", 0,
   plain<LASoperationScaleRGB>},
  {"-scale_RGB_down", "", "", "", 0, plain<LASoperationScaleRGBdown>},
  {"-scale_RGB_up", "", "", "", 0, plain<LASoperationScaleRGBup>},
  {"-scale_RGB_to_8bit", "", "", "", 0, plain<LASoperationScaleRGBto8bit>},
  {"-scale_RGB_to_16bit", "", "", "", 0, plain<LASoperationScaleRGBto16bit>},
  {"-scale_NIR", "f", "needs 1 argument: scale_NIR", "number", 0, plain<LASoperationScaleNIR>},
  {"-scale_NIR_down", "", "", "", 0, plain<LASoperationScaleNIRdown>},
  {"-scale_NIR_up", "", "", "", 0, plain<LASoperationScaleNIRup>},
  {"-scale_NIR_to_8bit", "", "", "", 0, plain<LASoperationScaleNIRto8bit>},
  {"-scale_NIR_to_16bit", "", "", "", 0, plain<LASoperationScaleNIRto16bit>},
  {"-switch_R_G", "", "", "", 0, plain<LASoperationSwitchRG>},
  {"-switch_R_B", "", "", "", 0, plain<LASoperationSwitchRB>},
  {"-switch_G_B", "", "", "", 0, plain<LASoperationSwitchGB>},
  {"-switch_RGBI_into_CIR", "", "", "", 0, plain<LASoperationSwitchRGBItoCIR>},
  {"-switch_RGB_intensity_into_CIR", "", "", "", 0, plain<LASoperationSwitchRGBIntensitytoCIR>},
  {"-copy_R_into_NIR", "", "", "", 0, plain<LASoperationCopyRintoNIR>},
  {"-copy_G_into_NIR", "", "", "", 0, plain<LASoperationCopyGintoNIR>},
  {"-copy_B_into_NIR", "", "", "", 0, plain<LASoperationCopyBintoNIR>},
  {"-copy_intensity_into_NIR", "", "", "", 0, plain<LASoperationCopyIntensityIntoNIR>},
  {"-multiply_scaled_intensity_into_RGB_red", "f", "needs 1 argument: scale", "scale", RGB, multiply<0, false>},
  {"-multiply_scaled_intensity_into_RGB_green", "f", "needs 1 argument: scale", "scale", RGB, multiply<1, false>},
  {"-multiply_scaled_intensity_into_RGB_blue", "f", "needs 1 argument: scale", "scale", RGB, multiply<2, false>},
  {"-multiply_scaled_intensity_into_RGB_nir", "f", "needs 1 argument: scale", "scale", NIR, multiply<3, false>},
  {"-multiply_divided_intensity_into_RGB_red", "f", "needs 1 argument: divisor ", kDivisor, RGB, multiply<0, true>},
  {"-multiply_divided_intensity_into_RGB_green", "f", "needs 1 argument: divisor ", kDivisor, RGB, multiply<1, true>},
  {"-multiply_divided_intensity_into_RGB_blue", "f", "needs 1 argument: divisor ", kDivisor, RGB, multiply<2, true>},
  {"-multiply_divided_intensity_into_RGB_nir", "f", "needs 1 argument: divisor ", kDivisor, NIR, multiply<3, true>},
  {"-copy_attribute_into_R", "u", "needs 1 argument: index", "index", 0, band<LASoperationCopyAttributeIntoRGBNIR, 0>},
  {"-copy_attribute_into_G", "u", "needs 1 argument: index", "index", 0, band<LASoperationCopyAttributeIntoRGBNIR, 1>},
  {"-copy_attribute_into_B", "u", "needs 1 argument: index", "index", 0, band<LASoperationCopyAttributeIntoRGBNIR, 2>},
  {"-copy_attribute_into_NIR", "u", "needs 1 argument: index", "index", 0, band<LASoperationCopyAttributeIntoRGBNIR, 3>},
  {"-map_attribute_into_RGB", "us", "needs 2 arguments: attribute_index map_file_name.txt", "attribute_index", 0,
   map_attribute_into_RGB},

  // --- registers
  {"-set_register", "ul", "needs 2 arguments: index value", "index|value", 0,
   registers<LASoperationSetRegister>, {register_index(0, kRegisterRange)}},
  {"-scale_register", "uf", "needs 2 arguments: index scale", "index|scale", 0,
   registers<LASoperationScaleRegister>, {register_index(0, kRegisterRange)}},
  {"-translate_register", "ul", "needs 2 arguments: index offset", "index|offset", 0,
   registers<LASoperationTranslateRegister>, {register_index(0, kRegisterRange)}},
  {"-add_registers", "uuu", "needs 3 arguments: input1 input2 output", "input1|input2|input3", 0,
   registers<LASoperationAddRegisters>, {register_index(0, kInput1), register_index(1, kInput2), register_index(2, kOutput)}},
  {"-subtract_registers", "uuu", "needs 3 arguments: input1 input2 output", "input1|input2|input3", 0,
   registers<LASoperationSubtractRegisters>, {register_index(0, kInput1), register_index(1, kInput2), register_index(2, kOutput)}},
  {"-multiply_registers", "uuu", "needs 3 arguments: input1 input2 output", "input1|input2|input3", 0,
   registers<LASoperationMultiplyRegisters>, {register_index(0, kInput1), register_index(1, kInput2), register_index(2, kOutput)}},
  {"-divide_registers", "uuu", "needs 3 arguments: input1 input2 output", "input1|input2|input3", 0,
   registers<LASoperationDivideRegisters>, {register_index(0, kInput1), register_index(1, kInput2), register_index(2, kOutput)}},
  {"-copy_intensity_into_register", "u", "needs 1 argument: index", "index", 0,
   registers<LASoperationCopyIntensityIntoRegister>, {register_index(0, kRegisterRange)}},
  {"-copy_user_data_into_register", "u", "needs 1 argument: index", "index", 0,
   registers<LASoperationCopyUserDataIntoRegister>, {register_index(0, kRegisterRange)}},
  {"-copy_point_source_into_register", "u", "needs 1 argument: index", "index", 0,
   registers<LASoperationCopyPointSourceIntoRegister>, {register_index(0, kRegisterRange)}},
  {"-copy_R_into_register", "u", "needs 1 argument: index", "index", 0,
   band_registers<LASoperationCopyRBGNIRintoRegister, 0>, {register_index(0, kRegisterRange)}},
  {"-copy_G_into_register", "u", "needs 1 argument: index", "index", 0,
   band_registers<LASoperationCopyRBGNIRintoRegister, 1>, {register_index(0, kRegisterRange)}},
  {"-copy_B_into_register", "u", "needs 1 argument: index", "index", 0,
   band_registers<LASoperationCopyRBGNIRintoRegister, 2>, {register_index(0, kRegisterRange)}},
  {"-copy_NIR_into_register", "u", "needs 1 argument: index", "index", 0,
   band_registers<LASoperationCopyRBGNIRintoRegister, 3>, {register_index(0, kRegisterRange)}},
  {"-copy_attribute_into_register", "uu", "needs 2 arguments: index of attribute, index of register",
   "ERROR: '%s' 1st of 2 arguments index of attribute '%s' is no valid index\n|"
   "ERROR: '%s' 2nd of 2 arguments index of register '%s' is no valid index\n", 0,
   registers<LASoperationCopyAttributeIntoRegister>,
   {register_index(1, "ERROR: '%s' 2nd of 2 arguments index of register %u is out of valid [0,15] range\n")}},
  {"-copy_register_into_x", "u", "needs 1 argument: index of register", "index", X,
   registers<LASoperationCopyRegisterIntoX>, {register_index(0, kRegisterRange)}},
  {"-copy_register_into_y", "u", "needs 1 argument: index of register", "index", Y,
   registers<LASoperationCopyRegisterIntoY>, {register_index(0, kRegisterRange)}},
  {"-copy_register_into_z", "u", "needs 1 argument: index of register", "index", Z,
   registers<LASoperationCopyRegisterIntoZ>, {register_index(0, kRegisterRange)}},
  {"-copy_register_into_intensity", "u", "needs 1 argument: index", "index", 0,
   registers<LASoperationCopyRegisterIntoIntensity>, {register_index(0, kRegisterRange)}},
  {"-copy_register_into_point_source", "u", "needs 1 argument: index", "index", 0,
   registers<LASoperationCopyRegisterIntoPointSource>, {register_index(0, kRegisterRange)}},
  {"-copy_register_into_user_data", "u", "needs 1 argument: index", "index", 0,
   registers<LASoperationCopyRegisterIntoUserData>, {register_index(0, kRegisterRange)}},
  {"-copy_register_into_R", "u", "needs 1 argument: index", "index", 0,
   band_registers<LASoperationCopyRegisterIntoRGBNIR, 0>, {register_index(0, kRegisterRange)}},
  {"-copy_register_into_G", "u", "needs 1 argument: index", "index", 0,
   band_registers<LASoperationCopyRegisterIntoRGBNIR, 1>, {register_index(0, kRegisterRange)}},
  {"-copy_register_into_B", "u", "needs 1 argument: index", "index", 0,
   band_registers<LASoperationCopyRegisterIntoRGBNIR, 2>, {register_index(0, kRegisterRange)}},
  {"-copy_register_into_NIR", "u", "needs 1 argument: index", "index", 0,
   band_registers<LASoperationCopyRegisterIntoRGBNIR, 3>, {register_index(0, kRegisterRange)}},
  {"-copy_register_into_attribute", "uu", "needs 2 arguments: index of register, index of attribute",
   "ERROR: '%s' 1st of 2 arguments index of register '%s' is no valid index\n|"
   "ERROR: '%s' 2nd of 2 arguments index of attribute '%s' is no valid index\n", 0,
   registers<LASoperationCopyRegisterIntoAttribute>,
   {register_index(0, "ERROR: '%s' 1st of 2 arguments index of register %u is out of valid [0,15] range\n")}},

  // --- extra-bytes attributes
  {"-set_attribute", "ul", "needs 2 arguments: index value", "index|value", 0, plain<LASoperationSetAttribute>},
  {"-scale_attribute", "uf", "needs 2 arguments: index scale", "index|scale", 0, plain<LASoperationScaleAttribute>},
  {"-translate_attribute", "ul", "needs 2 arguments: index offset", "index|offset", 0,
   plain<LASoperationTranslateAttribute>},
  {"-copy_user_data_into_attribute", "u", "needs 1 argument: index", "index", 0,
   plain<LASoperationCopyUserDataIntoAttribute>},
  {"-copy_intensity_into_attribute", "u", "needs 1 argument: index", "index", 0,
   plain<LASoperationCopyIntensityIntoAttribute>},
  {"-copy_z_into_attribute", "u", "needs 1 argument: index", "index", 0, plain<LASoperationCopyZIntoAttribute>},
  {"-load_attribute_from_text", "us", "needs 2 arguments: attribute_index attribute_file_name.txt",
   "attribute_index", 0, load_attribute_from_text},

  // --- wave packet
  {"-flip_waveform_direction", "", "", "", 0, plain<LASoperationFlipWaveformDirection>},

  {"-filtered_transform", "", "", "", 0, filtered_transform},
};

// Other words for the options above.
const TransformAlias kTransformAliases[] = {
  {"-set_extended_classification", "-set_classification", true},
  {"-change_class_from_to", "-change_classification_from_to"},
  {"-change_extended_classification_from_to", "-change_classification_from_to"},
  {"-change_extended_class_from_to", "-change_classification_from_to"},
  {"-set_extended_overlap_flag", "-set_overlap_flag"},
  {"-set_extended_scanner_channel", "-set_scanner_channel"},
  {"-scale_rgb", "-scale_RGB"},
  {"-scale_rgb_down", "-scale_RGB_down"},
  {"-scale_rgb_up", "-scale_RGB_up"},
  {"-scale_rgb_to_8bit", "-scale_RGB_to_8bit"},
  {"-scale_rgb_to_16bit", "-scale_RGB_to_16bit"},
  {"-scale_nir", "-scale_NIR"},
  {"-scale_nir_down", "-scale_NIR_down"},
  {"-scale_nir_up", "-scale_NIR_up"},
  {"-scale_nir_to_8bit", "-scale_NIR_to_8bit"},
  {"-scale_nir_to_16bit", "-scale_NIR_to_16bit"},
  {"-copy_attribute_into_I", "-copy_attribute_into_NIR"},
  {"-copy_register_into_I", "-copy_register_into_NIR"},
  // the spelling the usage text shows
  {"-switch_B_G", "-switch_G_B"},
};
// clang-format on

// The row of a word: its own, its twin's, or that of a word it begins with.
const TransformOption* find_option(const char* word) {
  if (const TransformOption* row = find_option_row(kTransformOptions, word)) return row;
  if (const TransformAlias* alias = find_option_row(kTransformAliases, word)) {
    return find_option_row(kTransformOptions, alias->twin);
  }
  for (const TransformOption& row : kTransformOptions) {
    if (row.by_prefix && strncmp(word, row.word, strlen(row.word)) == 0) return &row;
  }
  for (const TransformAlias& alias : kTransformAliases) {
    if (alias.by_prefix && strncmp(word, alias.word, strlen(alias.word)) == 0) {
      return find_option_row(kTransformOptions, alias.twin);
    }
  }
  return nullptr;
}

}  // namespace

bool LAStransform::take_arguments(int argc, char** argv) {
  Walk w{{argc, argv}, this};
  const OptionWalkEnd end = walk_option_words(w, [](Walk& walk) {
    const TransformOption* option = find_option(walk.word());
    if (option == nullptr) return true;
    Value values[8];
    return read_args(walk, *option, values) && within_bounds(walk, *option, values) &&
           option->make(walk, *option, values);
  });
  if (end == OptionWalkEnd::help) print_help();
  return end != OptionWalkEnd::failed;
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
