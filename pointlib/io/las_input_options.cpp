#include "io/las_input_options.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/las_reader_las.hpp"
#include "filter/las_filter.hpp"
#include "filter/las_ignore.hpp"
#include "filter/las_transform.hpp"
#include "filter/option_args.hpp"
#include "io/formats/las_reader_ply.hpp"
#include "io/formats/las_reader_txt.hpp"
#include "io/formats/side_readers.hpp"
#include "io/las_index.hpp"
#include "io/las_input_formats.hpp"
#include "io/las_kdtree_rectangles.hpp"
#include "io/las_reader_buffered.hpp"
#include "io/las_reader_merged.hpp"
#include "io/las_reader_stored.hpp"
#include "platform/file_identity.hpp"
#include "platform/run_messages.hpp"

namespace {

bool starts_with(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

LASinputOptions::LASinputOptions() {
  for (int k = 0; k < kMaxAttributes; k++) {
    attribute_scales[k] = 1.0;
    attribute_offsets[k] = 0.0;
    attribute_pre_scales[k] = 1.0;
    attribute_pre_offsets[k] = 0.0;
    attribute_no_datas[k] = 2e307;
  }
}

LASinputOptions::~LASinputOptions() {
  delete filter;
  delete transform;
  delete ignore;
}

// ---------------------------------------------------------------------------
// setters

void LASinputOptions::set_parse_string(const char* text) {
  parse_string_set = text != nullptr;
  parse_string = text ? text : "";
}

void LASinputOptions::set_inside_circle(double center_x, double center_y, double radius) {
  inside_circle[0] = center_x;
  inside_circle[1] = center_y;
  inside_circle[2] = radius;
  inside_circle_set = true;
}

void LASinputOptions::set_inside_rectangle(double min_x, double min_y, double max_x, double max_y) {
  inside_rectangle[0] = min_x;
  inside_rectangle[1] = min_y;
  inside_rectangle[2] = max_x;
  inside_rectangle[3] = max_y;
  inside_rectangle_set = true;
}

void LASinputOptions::set_inside_tile(float ll_x, float ll_y, float size) {
  inside_tile[0] = ll_x;
  inside_tile[1] = ll_y;
  inside_tile[2] = size;
  inside_tile_set = true;
}

void LASinputOptions::set_filter(LASfilter* f) {
  if (f != filter) delete filter;
  filter = f;
}

void LASinputOptions::set_transform(LAStransform* t) {
  if (t != transform) delete transform;
  transform = t;
}

void LASinputOptions::set_files_are_flightlines(int32_t start) {
  files_are_flightlines = start;
  if (start >= 65536) {
    print_note("WARNING: files_are_flightlines start value %d is too large\n", start);
  } else if (start + files_are_flightlines_index > 65535) {
    print_note("WARNING: files_are_flightlines start value %d plus index %d is too large\n", start,
               files_are_flightlines_index);
  }
}

void LASinputOptions::set_files_are_flightlines_index(int32_t index) {
  files_are_flightlines_index = index - 1;
  if (index >= 65536) {
    print_note("WARNING: files_are_flightlines_index index value %d is too large\n", index);
  } else if (index + files_are_flightlines > 65535) {
    print_note("WARNING: files_are_flightlines start value %d plus index %d is too large\n",
               files_are_flightlines, index);
  }
}

void LASinputOptions::add_attribute(uint32_t data_type, const char* name, const char* description,
                                    double scale, double offset_value, double pre_scale,
                                    double pre_offset, double no_data) {
  if (data_type < 1 || data_type > 10) {
    print_note("WARNING: attribute data type %d not supported. ignoring attribute '%s'.\n",
               static_cast<int>(data_type), name ? name : "");
    return;
  }
  if (number_attributes >= kMaxAttributes) {
    print_note("WARNING: at most %d attributes can be added. ignoring attribute '%s'.\n",
               kMaxAttributes, name ? name : "");
    return;
  }
  const int k = number_attributes++;
  attribute_data_types[k] = data_type;
  attribute_names[k] = name ? name : "";
  attribute_descriptions[k] = description ? description : "";
  attribute_scales[k] = scale;
  attribute_offsets[k] = offset_value;
  attribute_pre_scales[k] = pre_scale;
  attribute_pre_offsets[k] = pre_offset;
  attribute_no_datas[k] = no_data;
}

void LASinputOptions::complete_scale_factor(const double* requested, const double* current,
                                            double* out) {
  for (int k = 0; k < 3; k++) out[k] = requested[k] != 0.0 ? requested[k] : current[k];
}

// ---------------------------------------------------------------------------
// queries

bool LASinputOptions::has_more_input() const {
  return file_name_current < get_file_name_number() || use_stdin;
}

const char* LASinputOptions::current_name() const {
  if (has_file_name) return file_name.c_str();
  if (get_file_name_number() > 0) return get_file_name(0);
  return nullptr;
}

bool LASinputOptions::uses_buffering() const {
  return buffer_size > 0.0f && (get_file_name_number() > 1 || get_neighbor_file_name_number() > 0);
}

void LASinputOptions::print_help() const {
  static const char* const kLines[] = {
      "Supported LAS Inputs\n",
      "  -i lidar.las\n",
      "  -i lidar.vpk\n",
      "  -i lidar1.las lidar2.las lidar3.las -merged\n",
      "  -i *.las - merged\n",
      "  -i flight0??.vpk flight1??.vpk\n",
      "  -i terrasolid.bin\n",
      "  -i esri.shp\n",
      "  -i nasa.qi\n",
      "  -i lidar.txt -iparse xyzti -iskip 2 (on-the-fly from ASCII)\n",
      "  -i lidar.txt -iparse xyzi -itranslate_intensity 1024\n",
      "  -lof file_list.txt\n",
      "  -stdin (pipe from stdin)\n",
      "  -rescale 0.01 0.01 0.001\n",
      "  -rescale_xy 0.01 0.01\n",
      "  -rescale_z 0.01\n",
      "  -reoffset 600000 4000000 0\n",
      "Fast AOI Queries for LAS/VPK with spatial indexing LAX files\n",
      "  -inside min_x min_y max_x max_y\n",
      "  -inside_tile ll_x ll_y size\n",
      "  -inside_circle center_x center_y radius\n",
  };
  for (const char* line : kLines) std::fputs(line, stderr);
}

// ---------------------------------------------------------------------------
// option parsing

namespace {

using InputOption = OptionRow<LASinputOptions>;

// Reads arguments 1..n of the option into v in order. An entry that does not
// parse prints `bad` with the option word, the entry and the argument's name
// (from the blank-separated `names`); with `zero`, a value of 0 prints it with
// the option word, the value and the name. Each argument is checked in full
// before the next is read.
template <typename T>
bool read_numbers(const OptionWalk& w, int n, T* v, const char* names, const char* bad,
                  const char* zero = nullptr) {
  for (int k = 0; k < n; k++) {
    char name[32];
    nth_list_word(names, ' ', k, name, sizeof(name));
    if (!scan_entry(w.arg(k + 1), &v[k])) return option_fail(bad, w.word(), w.arg(k + 1), name);
    if (zero && v[k] == 0) return option_fail(zero, w.word(), v[k], name);
  }
  return true;
}

bool starts_option(const char* entry) {
  return entry[0] == '-';
}

// A run of names up to the first empty entry or the next option, at least one.
template <int (LASinputFileList::*ADD)(const char*, bool)>
bool name_run(LASinputOptions& o, OptionWalk& w, const InputOption& row, bool unique) {
  if (w.arg(1)[0] == '\0' || starts_option(w.arg(1))) {
    return option_fail("ERROR: '%s' needs %s\n", w.word(), row.needs);
  }
  int k = w.i + 1;
  while (k < w.argc && w.argv[k][0] != '\0' && !starts_option(w.argv[k])) {
    (o.*ADD)(w.argv[k], unique);
    w.argv[k][0] = '\0';
    k++;
  }
  w.next = k;
  return true;
}

bool inputs(LASinputOptions& o, OptionWalk& w, const InputOption& row) {
  return name_run<&LASinputFileList::add_file_names_wildcard>(o, w, row, o.unique);
}

// Neighbours are never held to the "-unique" rule.
bool neighbors(LASinputOptions& o, OptionWalk& w, const InputOption& row) {
  return name_run<&LASinputFileList::add_neighbor_file_names_wildcard>(o, w, row, false);
}

bool list_of_files(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  if (o.load_list_file(w.arg(1), o.unique)) return true;
  return option_fail("ERROR: cannot load list of files '%s'\n", w.arg(1));
}

bool neighbor_list_of_files(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  if (o.load_neighbor_list_file(w.arg(1), o.unique)) return true;
  return option_fail("ERROR: cannot load neighbor list of files '%s'\n", w.arg(1));
}

// Three numbers of which the last, a size or a radius, must be positive.
template <typename T>
bool read_area(const OptionWalk& w, T* v, const char* names, const char* bad,
               const char* not_positive) {
  if (!read_numbers(w, 3, v, names, bad)) return false;
  if (v[2] <= 0) return option_fail(not_positive, w.word(), v[2]);
  return true;
}

bool inside_tile(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  float v[3];
  if (!read_area(w, v, "ll_x ll_y size",
                 "ERROR: '%s' needs 3 arguments: ll_x ll_y size, but '%s' is not a valid %s.\n",
                 "ERROR: '%s' needs 3 arguments: ll_x ll_y size, but %f is not valid a size.\n")) {
    return false;
  }
  o.set_inside_tile(v[0], v[1], v[2]);
  return true;
}

bool inside_circle(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  double v[3];
  if (!read_area(w, v, "center_x center_y radius",
                 "ERROR: '%s' needs 3 arguments: center_x center_y radius, but '%s' is not a "
                 "valid %s.\n",
                 "ERROR: '%s' needs 3 arguments: center_x center_y radius, but %lf is not valid a "
                 "radius.\n")) {
    return false;
  }
  o.set_inside_circle(v[0], v[1], v[2]);
  return true;
}

bool inside_rectangle(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  double v[4];
  if (!read_numbers(w, 4, v, "min_x min_y max_x max_y",
                    "ERROR: '%s' needs 4 arguments: min_x min_y max_x max_y, but '%s' is not a "
                    "valid %s.\n")) {
    return false;
  }
  for (int axis = 0; axis < 2; axis++) {
    if (v[axis] >= v[axis + 2]) {
      return option_fail(
          "ERROR: '%s' needs 4 arguments: min_x min_y max_x max_y, but %lf / %lf are not a valid "
          "%s pair.\n",
          w.word(), v[axis], v[axis + 2], axis == 0 ? "min_x / max_x" : "min_y / max_y");
    }
  }
  o.set_inside_rectangle(v[0], v[1], v[2], v[3]);
  return true;
}

// Optional numbers after data_type, name and description: scale, offset,
// pre_scale, pre_offset and no_data, each only while the one before was
// taken. A zero scale is never a scale; a zero offset must be written as "0"
// or "0.0" so that a following option word does not read as one.
bool added_attribute(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  double values[5] = {1.0, 0.0, 1.0, 0.0, 2e307};
  int taken = 0;
  for (int k = 0; k < 5 && w.next + k < w.argc; k++) {
    const char* entry = w.argv[w.next + k];
    const double v = std::atof(entry);
    const bool is_scale = k == 0 || k == 2;
    const bool explicit_zero = std::strcmp(entry, "0") == 0 || std::strcmp(entry, "0.0") == 0;
    if (v == 0.0 && (is_scale || !explicit_zero)) break;
    values[k] = v;
    taken++;
  }
  o.add_attribute(static_cast<uint32_t>(std::atoi(w.arg(1))), w.arg(2), w.arg(3), values[0],
                  values[1], values[2], values[3], values[4]);
  w.next += taken;
  return true;
}

bool parse_string(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  o.set_parse_string(w.arg(1));
  return true;
}

bool skip_lines(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  uint32_t v;
  if (!read_numbers(w, 1, &v, "",
                    "ERROR: '%s' needs 1 argument: number_of_lines but '%s' is not a valid "
                    "number.\n",
                    "ERROR: '%s' needs 1 argument: number_of_lines but %u is not valid.\n")) {
    return false;
  }
  o.set_skip_lines(v);
  return true;
}

bool io_ibuffer(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  uint32_t v;
  if (!read_numbers(w, 1, &v, "",
                    "ERROR: '%s' needs 1 argument: size but '%s' is not a valid size.\n",
                    "ERROR: '%s' needs 1 argument: size but %u is not valid.\n")) {
    return false;
  }
  o.set_io_ibuffer_size(v);
  return true;
}

// The "-itranslate_..." and "-iscale_..." options: one float that is not 0.
template <void (LASinputOptions::*SET)(float)>
bool translation(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  float v;
  if (!read_numbers(w, 1, &v, "",
                    "ERROR: '%s' needs 1 argument: translation but '%s' is not valid.\n",
                    "ERROR: '%s' needs 1 argument: translation but %f is not valid.\n")) {
    return false;
  }
  (o.*SET)(v);
  return true;
}

template <void (LASinputOptions::*SET)(float)>
bool scale(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  float v;
  if (!read_numbers(w, 1, &v, "", "ERROR: '%s' needs 1 argument: scale but '%s' is not valid.\n",
                    "ERROR: '%s' needs 1 argument: scale but %f is not valid.\n")) {
    return false;
  }
  (o.*SET)(v);
  return true;
}

// A factor of 0 keeps that axis as read.
bool rescale(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  double v[3];
  if (!read_numbers(w, 3, v, "rescale_x rescale_y rescale_z",
                    "ERROR: '%s' needs 3 arguments: rescale_x rescale_y rescale_z, but '%s' is not "
                    "a valid %s",
                    "ERROR: '%s' needs 3 arguments: rescale_x rescale_y rescale_z, but %lf is not "
                    "a valid %s")) {
    return false;
  }
  o.set_scale_factor(v);
  return true;
}

bool rescale_xy(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  double v[3] = {0.0, 0.0, 0.0};
  if (!read_numbers(
          w, 2, v, "rescale_x rescale_y",
          "ERROR: '%s' needs 3 arguments: rescale_x rescale_y, but '%s' is not a valid %s",
          "ERROR: '%s' needs 3 arguments: rescale_x rescale_y, but %lf is not a valid "
          "%s")) {
    return false;
  }
  o.set_scale_factor(v);
  return true;
}

bool rescale_z(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  double v[3] = {0.0, 0.0, 0.0};
  if (!read_numbers(w, 1, &v[2], "rescale_z",
                    "ERROR: '%s' needs 1 argument: rescale_z, but '%s' is not a valid %s",
                    "ERROR: '%s' needs 1 argument: rescale_z, but %lf is not a valid %s")) {
    return false;
  }
  o.set_scale_factor(v);
  return true;
}

bool reoffset(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  double v[3];
  if (!read_numbers(w, 3, v, "reoffset_x reoffset_y reoffset_z",
                    "ERROR: '%s' needs 3 arguments: reoffset_x, reoffset_y, reoffset_z, but '%s' "
                    "is not a valid %s")) {
    return false;
  }
  o.set_offset(v);
  return true;
}

bool buffered(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  float v;
  if (!read_numbers(w, 1, &v, "",
                    "ERROR: '%s' needs 1 argument: buffer_size. but '%s' is not a valid "
                    "buffer_size")) {
    return false;
  }
  if (v <= 0.0f) {
    return option_fail("ERROR: '%s' needs 1 argument: buffer_size, but %f is not valid", w.word(),
                       v);
  }
  o.set_buffer_size(v);
  return true;
}

bool temp_files(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  o.set_temp_file_base(w.arg(1));
  return true;
}

// An optional start follows when the next entry begins with '1'..'9'.
bool files_are_flightlines(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  if (w.next < w.argc && w.argv[w.next][0] >= '1' && w.argv[w.next][0] <= '9') {
    o.set_files_are_flightlines(std::atoi(w.argv[w.next]));
    w.next++;
  } else {
    o.set_files_are_flightlines(1);
  }
  return true;
}

bool faf_index(LASinputOptions& o, OptionWalk& w, const InputOption&) {
  o.set_files_are_flightlines_index(std::atoi(w.arg(1)));
  return true;
}

template <bool LASinputOptions::*FLAG, bool VALUE>
bool flag(LASinputOptions& o, OptionWalk&, const InputOption&) {
  o.*FLAG = VALUE;
  return true;
}

// Text input with the point layout of the PTS or PTX format.
template <bool LASinputOptions::*FORM>
bool text_form(LASinputOptions& o, OptionWalk&, const InputOption&) {
  o.itxt = true;
  o.*FORM = true;
  return true;
}

using O = LASinputOptions;

// clang-format off
const InputOption kInputOptions[] = {
  // inputs
  {"-i", 1, "at least 1 argument: file_name or wild_card", inputs},
  {"-lof", 1, "1 argument: list_of_files", list_of_files},
  {"-stdin", 0, nullptr, flag<&O::use_stdin, true>},
  {"-unique", 0, nullptr, flag<&O::unique, true>},
  {"-merged", 0, nullptr, flag<&O::merged, true>},
  {"-buffered", 1, "1 argument: buffer_size", buffered},
  {"-neighbors", 1, "at least 1 argument: file_name or wild_card", neighbors},
  {"-neighbors_lof", 1, "at least 1 argument: file_name", neighbor_list_of_files},
  {"-temp_files", 1, "1 argument: base name", temp_files},
  {"-stored", 0, nullptr, flag<&O::stored, true>},
  {"-pipe_on", 0, nullptr, flag<&O::pipe_on, true>},
  {"-populate", 0, nullptr, flag<&O::populate_header, true>},
  {"-do_not_populate", 0, nullptr, flag<&O::populate_header, false>},
  {"-io_ibuffer", 1, "1 argument: size", io_ibuffer},
  // areas of interest
  {"-inside_tile", 3, "3 arguments: ll_x ll_y size", inside_tile},
  {"-inside_circle", 3, "3 arguments: center_x center_y radius", inside_circle},
  {"-inside", 4, "4 arguments: min_x min_y max_x max_y", inside_rectangle},
  {"-inside_rectangle", 4, "4 arguments: min_x min_y max_x max_y", inside_rectangle},
  // re-quantizing and flightlines
  {"-rescale", 3, "3 arguments: rescale_x rescale_y rescale_z", rescale},
  {"-rescale_xy", 2, "2 argument: rescale_x rescale_y", rescale_xy},
  {"-rescale_z", 1, "1 argument: rescale_z", rescale_z},
  {"-reoffset", 3, "3 arguments: reoffset_x, reoffset_y, reoffset_z", reoffset},
  {"-auto_reoffset", 0, nullptr, flag<&O::auto_reoffset, true>},
  {"-files_are_flightlines", 0, nullptr, files_are_flightlines},
  {"-faf", 0, nullptr, files_are_flightlines},
  {"-faf_index", 1, "1 argument: index", faf_index},
  {"-apply_file_source_ID", 0, nullptr, flag<&O::apply_file_source_ID, true>},
  // text, PLY and grid inputs
  {"-itxt", 0, nullptr, flag<&O::itxt, true>},
  {"-ipts", 0, nullptr, text_form<&O::ipts>},
  {"-iptx", 0, nullptr, text_form<&O::iptx>},
  {"-iparse", 1, "1 argument: string", parse_string},
  {"-iskip", 1, "1 argument: number_of_lines", skip_lines},
  {"-iadd_extra", 3, "3 arguments: data_type name description", added_attribute},
  {"-iadd_attribute", 3, "3 arguments: data_type name description", added_attribute},
  {"-itranslate_intensity", 1, "1 argument: translation", translation<&O::set_translate_intensity>},
  {"-iscale_intensity", 1, "1 argument: scale", scale<&O::set_scale_intensity>},
  {"-itranslate_scan_angle", 1, "1 argument: translation", translation<&O::set_translate_scan_angle>},
  {"-iscale_scan_angle", 1, "1 argument: scale", scale<&O::set_scale_scan_angle>},
  {"-comma_not_point", 0, nullptr, flag<&O::comma_not_point, true>},
};
// clang-format on

}  // namespace

int LASinputOptions::take_arguments(int argc, char** argv, bool allow_ignore) {
  const OptionWalkEnd end = walk_option_rows(kInputOptions, *this, argc, argv, [&](int& i) {
    const char* word = argv[i];
    if (starts_with(word, "-ignore_")) {
      if (!allow_ignore) {
        return option_fail("ERROR: this tool does not process '-ignore_xxxx' options\n");
      }
      if (ignore == nullptr) ignore = new LASignore();
      if (ignore->take_argument(i, argc, argv)) return true;
      delete ignore;
      ignore = nullptr;
      return false;
    }
    if (starts_with(word, "-inside")) {
      return option_fail("ERROR: unknown '-inside' option '%s'\n", word);
    }
    return true;
  });
  if (end == OptionWalkEnd::help) {
    LASfilter().print_help();
    LAStransform().print_help();
    LASignore().print_help();
    print_help();
    return 1;
  }
  if (end == OptionWalkEnd::failed) return 0;
  return finish_arguments(argc, argv) ? 1 : 0;
}

bool LASinputOptions::finish_arguments(int argc, char** argv) {
  if (get_neighbor_file_name_number() > 0) {
    if (get_file_name_number() > 1) {
      std::fprintf(stderr,
                   "ERROR: neighbors only supported for one buffered input file, not for %d\n",
                   static_cast<int>(get_file_name_number()));
      return false;
    }
    if (buffer_size == 0.0f) {
      std::fprintf(stderr,
                   "ERROR: neighbors only make sense when used with '-buffered 50' or similar\n");
      return false;
    }
  }

  if (filter) {
    filter->remove_all();
  } else {
    filter = new LASfilter();
  }
  if (!filter->take_arguments(argc, argv)) {
    delete filter;
    filter = nullptr;
    return false;
  }
  if (filter->count() == 0) {
    delete filter;
    filter = nullptr;
  }

  if (transform) {
    transform->remove_all();
  } else {
    transform = new LAStransform();
  }
  if (!transform->take_arguments(argc, argv)) {
    delete transform;
    transform = nullptr;
    return false;
  }
  if (transform->num_operations() == 0) {
    if (transform->is_filtered) {
      print_note("WARNING: no LAStransform specified. '-filtered_transform' has no effect.\n");
    }
    delete transform;
    transform = nullptr;
  } else if (transform->is_filtered) {
    if (filter) {
      transform->attach_filter(filter);
      filter = nullptr;
    } else {
      print_note("WARNING: no LASfilter specified. '-filtered_transform' has no effect.\n");
    }
  }
  if (files_are_flightlines || apply_file_source_ID) {
    if (transform == nullptr) transform = new LAStransform();
    transform->set_source_id_operation(0);
  }
  return true;
}

// ---------------------------------------------------------------------------
// opening

LASreader* LASinputOptions::make_las_reader(bool with_auto_reoffset) const {
  const double* s = requested.get_scale_factor();
  const double* o = requested.get_offset();
  const bool automatic = with_auto_reoffset && auto_reoffset;
  if (s && o) return new LASreaderLASrescalereoffset(s[0], s[1], s[2], o[0], o[1], o[2]);
  if (s && automatic) return new LASreaderLASrescalereoffset(s[0], s[1], s[2]);
  if (s) return new LASreaderLASrescale(s[0], s[1], s[2], true);
  if (o) return new LASreaderLASreoffset(o[0], o[1], o[2]);
  if (automatic) return new LASreaderLASreoffset();
  return new LASreaderLAS();
}

void LASinputOptions::stamp_source_id(uint16_t id) {
  if (transform) transform->set_source_id_operation(id);
}

void LASinputOptions::attach_all(LASreader* reader) const {
  reader->attach_rules(filter, transform, ignore);
}

void LASinputOptions::apply_one_area(LASreader* reader) const {
  if (inside_rectangle_set) {
    reader->limit_to_rectangle(inside_rectangle[0], inside_rectangle[1], inside_rectangle[2],
                               inside_rectangle[3]);
  } else if (inside_tile_set) {
    reader->limit_to_tile(inside_tile[0], inside_tile[1], inside_tile[2]);
  } else if (inside_circle_set) {
    reader->limit_to_circle(inside_circle[0], inside_circle[1], inside_circle[2]);
  }
}

void LASinputOptions::reapply_area(LASreader* reader) const {
  if (!has_area_limit()) return;
  reader->limit_none();
  apply_one_area(reader);
}

void LASinputOptions::apply_every_area(LASreader* reader) const {
  if (inside_tile_set) reader->limit_to_tile(inside_tile[0], inside_tile[1], inside_tile[2]);
  if (inside_circle_set) {
    reader->limit_to_circle(inside_circle[0], inside_circle[1], inside_circle[2]);
  }
  if (inside_rectangle_set) {
    reader->limit_to_rectangle(inside_rectangle[0], inside_rectangle[1], inside_rectangle[2],
                               inside_rectangle[3]);
  }
}

LASreader* LASinputOptions::open_next_reader(const char* name, bool reset_index) {
  if (transform) transform->restart_all();
  if (filter) filter->restart_all();
  stamped_source_ID = -1;

  if (file_name_allocated == 0 && name == nullptr) {
    if (!use_stdin) return nullptr;
    use_stdin = false;
    populate_header = true;
    return open_stdin();
  }

  use_stdin = false;
  const uint32_t listed = get_file_name_number();
  if (name == nullptr && file_name_current >= listed) return nullptr;

  if (name == nullptr && merged && (listed > 1 || has_file_names_ID())) {
    return open_merged();
  }
  if (buffer_size > 0.0f && (listed > 1 || get_neighbor_file_name_number() > 0)) {
    return open_buffered(name, reset_index);
  }

  if (name) {
    file_name = name;
    if (reset_index) file_name_current = 0;
  } else {
    file_name = get_file_name(file_name_current);
    file_name_current++;
  }
  has_file_name = true;
  // The k-th input (from 0) gets start + k with the default index of -1,
  // wrapping at 16 bits.
  const uint16_t flightline =
      static_cast<uint16_t>(static_cast<uint32_t>(files_are_flightlines) +
                            static_cast<uint32_t>(files_are_flightlines_index) + file_name_current);
  if (files_are_flightlines) stamp_source_id(flightline);
  LASreader* reader = open_single(flightline, files_are_flightlines != 0);
  if (reader == nullptr) return nullptr;
  return wrap(reader, las_input_format_name(las_input_format_of(file_name.c_str())).word, "");
}

LASreaderTXT* LASinputOptions::make_txt_reader() const {
  LASreaderTXT* reader = new LASreaderTXT();
  if (ipts) {
    reader->set_pts(true);
  } else if (iptx) {
    reader->set_ptx(true);
  }
  configure_parsed(reader);
  if (translate_scan_angle != 0.0f) reader->set_translate_scan_angle(translate_scan_angle);
  if (scale_scan_angle != 1.0f) reader->set_scale_scan_angle(scale_scan_angle);
  for (int k = 0; k < number_attributes; k++) {
    reader->add_attribute(static_cast<int32_t>(attribute_data_types[k]), attribute_names[k].c_str(),
                          attribute_descriptions[k].c_str(), attribute_scales[k],
                          attribute_offsets[k], attribute_pre_scales[k], attribute_pre_offsets[k],
                          attribute_no_datas[k]);
  }
  return reader;
}

LASreaderPLY* LASinputOptions::make_ply_reader() const {
  LASreaderPLY* reader = new LASreaderPLY();
  configure_parsed(reader);
  return reader;
}

void LASinputOptions::configure_parsed(LASreaderParsed* reader) const {
  if (translate_intensity != 0.0f) reader->set_translate_intensity(translate_intensity);
  if (scale_intensity != 1.0f) reader->set_scale_intensity(scale_intensity);
  reader->set_scale_factor(get_scale_factor());
  reader->set_offset(get_offset());
}

LASreader* LASinputOptions::open_text_or_ply(LASinputFormat format) {
  const char* name = file_name.c_str();
  if (format == LASinputFormat::ply) {
    LASreaderPLY* ply = make_ply_reader();
    if (!ply->open_file(name, point_type, populate_header)) {
      std::fprintf(stderr, "ERROR: cannot open lasreaderply with file name '%s'\n", name);
      delete ply;
      return nullptr;
    }
    return ply;
  }
  LASreaderTXT* txt = make_txt_reader();
  if (!txt->open_file(name, point_type, get_parse_string(), static_cast<int32_t>(skip_lines),
                      populate_header)) {
    std::fprintf(stderr, "ERROR: cannot open lasreadertxt with file name '%s'\n", name);
    delete txt;
    return nullptr;
  }
  return txt;
}

LASreader* LASinputOptions::open_side(LASinputFormat format) {
  const char* name = file_name.c_str();
  const char* word = las_input_format_name(format).word;
  LASreaderSide* reader = side_make_reader(word, get_scale_factor(), get_offset(), comma_not_point);
  if (!reader->open_name(name)) {
    std::fprintf(stderr, "ERROR: cannot open lasreader%s with file name '%s'\n", word, name);
    delete reader;
    return nullptr;
  }
  // Only the formats that can seek to a point use a spatial index.
  if (format == LASinputFormat::bin || format == LASinputFormat::qfit) {
    LASindex* index = new LASindex();
    if (index->load_for(name)) {
      reader->set_index(index);
    } else {
      delete index;
    }
  }
  return reader;
}

LASreader* LASinputOptions::open_single(uint16_t flightline, bool stamp) {
  const char* name = file_name.c_str();
  const LASinputFormat format = las_input_format_of(name);
  if (format != LASinputFormat::las) {
    LASreader* reader = format == LASinputFormat::txt || format == LASinputFormat::ply
                            ? open_text_or_ply(format)
                            : open_side(format);
    if (reader == nullptr) return nullptr;
    if (stamp) {
      reader->header.file_source_ID = flightline;
      stamped_source_ID = flightline;
    }
    apply_every_area(reader);
    return reader;
  }
  LASreader* reader = make_las_reader(true);
  LASreaderLAS* las = dynamic_cast<LASreaderLAS*>(reader);
  if (!las->open_file(name, static_cast<int>(io_ibuffer_size), false, item_selection)) {
    std::fprintf(stderr, "ERROR: cannot open lasreaderlas with file name '%s'\n", name);
    delete reader;
    return nullptr;
  }
  LASindex* index = new LASindex();
  if (index->load_for(name)) {
    reader->set_index(index);
  } else {
    delete index;
  }
  if (stamp) {
    reader->header.file_source_ID = flightline;
    stamped_source_ID = flightline;
  } else if (apply_file_source_ID) {
    stamp_source_id(reader->header.file_source_ID);
  }
  apply_one_area(reader);
  return reader;
}

LASreader* LASinputOptions::open_stdin() {
  if (itxt) {
    LASreaderTXT* txt = make_txt_reader();
    if (!txt->open(stdin, nullptr, point_type, get_parse_string(), static_cast<int32_t>(skip_lines),
                   false)) {
      std::fprintf(stderr, "ERROR: cannot open lasreadertxt with file name '%s'\n",
                   file_name.c_str());
      delete txt;
      return nullptr;
    }
    if (files_are_flightlines) {
      txt->header.file_source_ID = static_cast<uint16_t>(
          static_cast<uint32_t>(files_are_flightlines) +
          static_cast<uint32_t>(files_are_flightlines_index) + file_name_current);
    }
    apply_every_area(txt);
    return wrap(txt, "txt", "");
  }
  LASreader* reader = make_las_reader(false);
  LASreaderLAS* las = dynamic_cast<LASreaderLAS*>(reader);
  if (!las->open_cfile(stdin, false, 0xFFFFFFFFu)) {
    std::fprintf(stderr, "ERROR: cannot open lasreaderlas from stdin \n");
    delete reader;
    return nullptr;
  }
  apply_every_area(reader);
  return wrap(reader, "las", " from stdin");
}

LASreader* LASinputOptions::wrap(LASreader* reader, const char* inner_word,
                                 const char* pipe_suffix) {
  if (stored) {
    LASreaderStored* stored_reader = new LASreaderStored();
    if (!stored_reader->open(reader)) {
      std::fprintf(stderr, "ERROR: could not open lasreaderstored with lasreader%s\n", inner_word);
      delete stored_reader;  // and the reader it took
      return nullptr;
    }
    reader = stored_reader;
  }
  if (pipe_on) {
    LASreaderPipeOn* pipe_reader = new LASreaderPipeOn();
    if (!pipe_reader->open(reader)) {
      std::fprintf(stderr, "ERROR: cannot open lasreaderpipeon with lasreader%s%s\n", inner_word,
                   pipe_suffix);
      delete pipe_reader;
      return nullptr;
    }
    reader = pipe_reader;
  }
  attach_all(reader);
  return reader;
}

template <class Reader>
void LASinputOptions::configure_multiple(Reader* reader) const {
  reader->set_scale_factor(get_scale_factor());
  reader->set_offset(get_offset());
  reader->set_parse_string(get_parse_string());
  reader->set_skip_lines(skip_lines);
  reader->set_populate_header(populate_header);
  reader->set_translate_intensity(translate_intensity);
  reader->set_scale_intensity(scale_intensity);
  reader->set_translate_scan_angle(translate_scan_angle);
  reader->set_scale_scan_angle(scale_scan_angle);
}

LASreader* LASinputOptions::open_merged() {
  const uint32_t listed = get_file_name_number();
  LASreaderMerged* reader = new LASreaderMerged();
  configure_multiple(reader);
  reader->set_keep_lastiling(keep_tiling_record);
  reader->set_io_ibuffer_size(io_ibuffer_size);
  // A refused name (unreadable, or of another format) would be left out of the merge without a
  // trace in the result.
  bool all_added = true;
  for (uint32_t i = 0; i < listed; i++) {
    if (has_file_names_ID()) {
      all_added = reader->add_file_name_and_id(get_file_name(i), get_file_name_ID(i)) && all_added;
    } else {
      all_added = reader->add_file_name(get_file_name(i)) && all_added;
    }
  }
  file_name_current = listed;
  if (!all_added || !reader->open()) {
    std::fprintf(stderr, "ERROR: cannot open lasreadermerged with %d file names\n",
                 static_cast<int>(listed));
    delete reader;
    return nullptr;
  }
  if (files_are_flightlines) reader->set_files_are_flightlines(files_are_flightlines);
  if (apply_file_source_ID) reader->set_apply_file_source_ID(true);
  apply_every_area(reader);
  return wrap(reader, "merged", "");
}

namespace {

// A tile must not read itself as its own neighbour, however its path is
// spelled in the lists ("./a.las", an absolute path, a link).
bool names_same_input(const char* a, const char* b) {
  return std::strcmp(a, b) == 0 || paths_name_same_file(a, b);
}

}  // namespace

LASreader* LASinputOptions::open_buffered(const char* name, bool reset_index) {
  const uint32_t listed = get_file_name_number();
  const uint32_t neighbors = get_neighbor_file_name_number();
  LASreaderBuffered* reader = new LASreaderBuffered();
  reader->set_buffer_size(buffer_size);
  configure_multiple(reader);
  // A neighbour that cannot be read would leave the tile's edges without their buffer points.
  bool all_added = true;
  if (name) {
    file_name = name;
    reader->set_file_name(name);
    if (reset_index) file_name_current = 0;
    for (uint32_t i = 0; i < listed; i++) {
      if (!names_same_input(get_file_name(i), name)) {
        all_added = reader->add_neighbor_file_name(get_file_name(i)) && all_added;
      }
    }
    for (uint32_t i = 0; i < neighbors; i++) {
      if (!names_same_input(get_neighbor_file_name(i), name)) {
        all_added = reader->add_neighbor_file_name(get_neighbor_file_name(i)) && all_added;
      }
    }
  } else {
    const uint32_t current = file_name_current;
    file_name = get_file_name(current);
    reader->set_file_name(file_name.c_str());
    double box[4];
    const bool bounded = get_file_name_bounds(current, box[0], box[1], box[2], box[3]);
    const double b = buffer_size;
    LASkdtreeRectangles* tree = get_kdtree_rectangles();
    if (tree && bounded) {
      if (!tree->is_built()) tree->build_tree();
      tree->find_overlaps(box[0] - b, box[1] - b, box[2] + b, box[3] + b);
      tree->restart_overlaps();
      uint32_t index;
      while (tree->next_overlap(index)) {
        if (index != current && !names_same_input(get_file_name(index), file_name.c_str())) {
          all_added = reader->add_neighbor_file_name(get_file_name(index)) && all_added;
        }
      }
    } else {
      for (uint32_t i = 0; i < listed; i++) {
        if (i != current && !names_same_input(get_file_name(i), file_name.c_str())) {
          all_added = reader->add_neighbor_file_name(get_file_name(i)) && all_added;
        }
      }
    }
    LASkdtreeRectangles* neighbor_tree = get_neighbor_kdtree_rectangles();
    // Without bounds of the input itself the neighbour tree cannot be asked;
    // every neighbour is then read, limited to the buffer by the reader.
    if (neighbor_tree && bounded) {
      if (!neighbor_tree->is_built()) neighbor_tree->build_tree();
      neighbor_tree->find_overlaps(box[0] - b, box[1] - b, box[2] + b, box[3] + b);
      neighbor_tree->restart_overlaps();
      uint32_t index;
      while (neighbor_tree->next_overlap(index)) {
        if (!names_same_input(get_neighbor_file_name(index), file_name.c_str())) {
          all_added = reader->add_neighbor_file_name(get_neighbor_file_name(index)) && all_added;
        }
      }
    } else {
      for (uint32_t i = 0; i < neighbors; i++) {
        if (!names_same_input(get_neighbor_file_name(i), file_name.c_str())) {
          all_added = reader->add_neighbor_file_name(get_neighbor_file_name(i)) && all_added;
        }
      }
    }
    file_name_current++;
  }
  has_file_name = true;
  // The neighbours' points are read at open, through the filter and transform.
  attach_all(reader);
  if (!all_added || !reader->open()) {
    std::fprintf(stderr, "ERROR: cannot open lasreaderbuffered with %d file names\n",
                 static_cast<int>(listed + neighbors));
    delete reader;
    return nullptr;
  }
  apply_every_area(reader);
  return wrap(reader, "buffered", "");
}

int LASinputOptions::rebuild_reader(LASreader* reader, bool keep_buffer) {
  if (reader == nullptr) {
    std::fprintf(stderr, "ERROR: pointer to LASreader is NULL\n");
    return 0;
  }
  reader->close_input(true);
  if (filter) filter->restart_all();
  if (transform) transform->restart_all();
  // The pipe-on reader keeps its inner reader open; only that is reopened, and the pipe-on
  // reader follows what the reopen changed.
  LASreaderPipeOn* pipe_reader = pipe_on ? dynamic_cast<LASreaderPipeOn*>(reader) : nullptr;
  if (pipe_reader == nullptr) return reopen_reader(reader, keep_buffer, nullptr);
  pipe_reader->p_count = 0;
  LASreopenedInner what;
  if (!reopen_reader(pipe_reader->get_inner(), keep_buffer, &what)) return 0;
  pipe_reader->follow_reopened_inner(what);
  return 1;
}

int LASinputOptions::reopen_reader(LASreader* reader, bool keep_buffer, LASreopenedInner* what) {
  if (stored) {
    LASreaderStored* stored_reader = dynamic_cast<LASreaderStored*>(reader);
    if (stored_reader == nullptr || !stored_reader->reopen()) {
      std::fprintf(stderr, "ERROR: could not reopen lasreaderstored for stored input\n");
      return 0;
    }
    // A stored buffered input holds the buffer points too.
    const bool dropped = !keep_buffer && stored_reader->remove_buffer();
    if (what) *what = {true, dropped};
    return 1;
  }
  if (file_name_allocated == 0) {
    std::fprintf(stderr, "ERROR: no lasreader input specified\n");
    return 0;
  }
  // Decided by the reader itself, so that a single listed file with an ID
  // (which is merged) is reopened as merged too.
  if (LASreaderMerged* merged_reader = dynamic_cast<LASreaderMerged*>(reader)) {
    if (!merged_reader->reopen()) {
      std::fprintf(stderr, "ERROR: cannot reopen lasreadermerged\n");
      return 0;
    }
    reapply_area(reader);
    return 1;
  }
  if (LASreaderBuffered* buffered_reader = dynamic_cast<LASreaderBuffered*>(reader)) {
    if (!buffered_reader->reopen()) {
      std::fprintf(stderr, "ERROR: cannot reopen lasreaderbuffered\n");
      return 0;
    }
    reapply_area(reader);
    const bool dropped = !keep_buffer && buffered_reader->remove_buffer();
    if (what) what->buffer_dropped = dropped;
    return 1;
  }
  if (!has_file_name) return 0;
  const char* name = file_name.c_str();
  // Every input that is not LAS is opened again by the reader that read it,
  // whatever the name table of a second pass says (it has no PLY case), so
  // that the output pass reads what the first pass read.
  LASreaderPLY* ply = dynamic_cast<LASreaderPLY*>(reader);
  LASreaderTXT* txt = dynamic_cast<LASreaderTXT*>(reader);
  LASreaderSide* side = dynamic_cast<LASreaderSide*>(reader);
  if (ply || txt || side) {
    const bool reopened = ply   ? ply->open_file(name, point_type, populate_header)
                          : txt ? txt->reopen(name)
                                : side->reopen_name(name);
    if (!reopened) {
      std::fprintf(stderr, "ERROR: cannot reopen lasreader%s with file name '%s'\n",
                   las_input_format_name(las_input_format_of(name)).word, name);
      return 0;
    }
    if (stamped_source_ID >= 0)
      reader->header.file_source_ID = static_cast<uint16_t>(stamped_source_ID);
    reapply_area(reader);
    return 1;
  }
  const LASinputFormatName& format = las_input_format_name(las_input_format_to_reopen(name));
  LASreaderLAS* las = dynamic_cast<LASreaderLAS*>(reader);
  if (format.format != LASinputFormat::las || las == nullptr) {
    std::fprintf(stderr, "ERROR: cannot reopen lasreader%s with file name '%s'\n", format.word,
                 name);
    return 0;
  }
  if (!las->open_file(name, static_cast<int>(io_ibuffer_size), false, item_selection)) {
    std::fprintf(stderr, "ERROR: cannot reopen lasreaderlas with file name '%s'\n", name);
    return 0;
  }
  // The second pass sees the same header as the first.
  if (stamped_source_ID >= 0)
    reader->header.file_source_ID = static_cast<uint16_t>(stamped_source_ID);
  reapply_area(reader);
  return 1;
}
