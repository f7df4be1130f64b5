#ifndef POINTLIB_IO_LAS_INPUT_OPTIONS_HPP
#define POINTLIB_IO_LAS_INPUT_OPTIONS_HPP

#include <cstdint>
#include <string>

#include "io/formats/side_input.hpp"
#include "io/las_input_file_list.hpp"
#include "io/las_input_formats.hpp"

class LASreader;
class LASreaderParsed;
class LASreaderPLY;
class LASreaderTXT;
class LASfilter;
class LAStransform;
class LASignore;
struct LASreopenedInner;

// The input side of every tool: takes the input options out of the argument
// vector, keeps the input list, and opens one ready LASreader after another
// (reader class chosen by the file name, re-quantizing variant, .lax index,
// flightline numbers, filter, transform, ignore rules and area of interest).
//
// The holder owns the filter, the transform and the ignore rules; every reader
// it opens only borrows them, so the holder must outlive its readers.
class LASinputOptions : public LASinputFileList {
 public:
  static constexpr int kMaxAttributes = 32;

  LASinputOptions();
  ~LASinputOptions() override;

  // 1 when every option it knows was understood (also after "-h"), 0 after
  // one error message. Consumed entries are blanked by writing 0 into their
  // first character; unknown ones stay for the next parser. An entry whose
  // first byte is 0x96 (an en dash) is read, and left, as beginning with '-'.
  int take_arguments(int argc, char** argv, bool allow_ignore = true);

  // Null when no input is left or after an error message. With a name that
  // name is opened (reset_index also rewinds the list); else the next entry.
  LASreader* open_next_reader(const char* file_name = nullptr, bool reset_index = false);
  // Closes the reader and opens it again on the same input with the same
  // options, for a second pass. 1 on success, 0 after a message.
  int rebuild_reader(LASreader* reader, bool keep_buffer = false);

  bool has_more_input() const;
  const char* current_name() const;
  bool uses_buffering() const;
  bool has_area_limit() const {
    return inside_tile_set || inside_circle_set || inside_rectangle_set;
  }
  bool reads_from_stdin() const { return file_name_allocated == 0 && use_stdin; }
  void print_help() const;

  void rewind_list() {
    file_name_current = 0;
    file_name.clear();
    has_file_name = false;
  }
  int append_name(const char* name, bool unique_names) {
    return add_file_names_wildcard(name, unique_names);
  }
  void set_merged(bool flag) { merged = flag; }
  void keep_in_memory(bool flag) { stored = flag; }
  void set_pipe_on(bool flag) { pipe_on = flag; }
  void set_auto_reoffset(bool flag) { auto_reoffset = flag; }
  void set_apply_file_source_ID(bool flag) { apply_file_source_ID = flag; }
  void want_header_scan(bool flag) { populate_header = flag; }
  void set_buffer_size(float size) { buffer_size = size; }
  void set_io_ibuffer_size(uint32_t size) { io_ibuffer_size = size; }
  void set_skip_lines(uint32_t lines) { skip_lines = lines; }
  void set_translate_intensity(float v) { translate_intensity = v; }
  void set_scale_intensity(float v) { scale_intensity = v; }
  void set_translate_scan_angle(float v) { translate_scan_angle = v; }
  void set_scale_scan_angle(float v) { scale_scan_angle = v; }
  void set_parse_string(const char* text);
  void set_temp_file_base(const char* name) {
    temp_file_base_set = name != nullptr;
    temp_file_base = name ? name : "";
  }
  // Three doubles; null removes them. A 0 on an axis keeps that axis as read.
  void set_scale_factor(const double* xyz) { requested.set_scale_factor(xyz); }
  void set_offset(const double* xyz) { requested.set_offset(xyz); }
  void set_inside_circle(double center_x, double center_y, double radius);
  void set_inside_rectangle(double min_x, double min_y, double max_x, double max_y);
  void set_inside_tile(float ll_x, float ll_y, float size);
  // The holder owns what it is given.
  void set_filter(LASfilter* f);
  void set_transform(LAStransform* t);
  // Lets go of the filter and the transform without deleting them, for a
  // holder that only borrows them (the buffered reader's own two).
  void forget_filter_and_transform() {
    filter = nullptr;
    transform = nullptr;
  }
  void set_files_are_flightlines(int32_t start);
  void set_files_are_flightlines_index(int32_t index);
  void add_attribute(uint32_t data_type, const char* name, const char* description,
                     double scale = 1.0, double offset = 0.0, double pre_scale = 1.0,
                     double pre_offset = 0.0, double no_data = 2e307);

  LASfilter* get_filter() const { return filter; }
  LAStransform* get_transform() const { return transform; }
  LASignore* get_ignore() const { return ignore; }
  const double* get_scale_factor() const { return requested.get_scale_factor(); }
  const double* get_offset() const { return requested.get_offset(); }
  const float* get_inside_tile() const { return inside_tile_set ? inside_tile : nullptr; }
  const double* get_inside_circle() const { return inside_circle_set ? inside_circle : nullptr; }
  const double* get_inside_rectangle() const {
    return inside_rectangle_set ? inside_rectangle : nullptr;
  }
  const char* get_parse_string() const { return parse_string_set ? parse_string.c_str() : nullptr; }
  const char* get_temp_file_base() const {
    return temp_file_base_set ? temp_file_base.c_str() : nullptr;
  }
  uint32_t get_file_name_current() const { return file_name_current; }

  // Scale factors for readers that take all three at once: an axis whose
  // requested factor is 0 keeps the factor it has in `current`.
  static void complete_scale_factor(const double* requested, const double* current, double* out);

  // Options, in the order the holder declares them.
  uint32_t io_ibuffer_size = 262144;
  bool merged = false;
  bool stored = false;
  float buffer_size = 0.0f;
  bool comma_not_point = false;
  bool auto_reoffset = false;
  int32_t files_are_flightlines = 0;
  int32_t files_are_flightlines_index = -1;
  bool apply_file_source_ID = false;
  bool itxt = false, ipts = false, iptx = false;
  float translate_intensity = 0.0f;
  float scale_intensity = 1.0f;
  float translate_scan_angle = 0.0f;
  float scale_scan_angle = 1.0f;
  int32_t number_attributes = 0;
  uint32_t attribute_data_types[kMaxAttributes] = {};
  std::string attribute_names[kMaxAttributes];
  std::string attribute_descriptions[kMaxAttributes];
  double attribute_scales[kMaxAttributes];
  double attribute_offsets[kMaxAttributes];
  double attribute_pre_scales[kMaxAttributes];
  double attribute_pre_offsets[kMaxAttributes];
  double attribute_no_datas[kMaxAttributes];
  uint8_t point_type = 0;
  uint32_t skip_lines = 0;
  bool populate_header = false;
  bool keep_tiling_record = false;
  bool pipe_on = false;
  bool use_stdin = false;
  bool unique = false;
  uint32_t item_selection = 0xFFFFFFFFu;

 private:
  LASreader* make_las_reader(bool with_auto_reoffset) const;
  // Text and PLY readers with every setting of the options, not yet opened.
  LASreaderTXT* make_txt_reader() const;
  LASreaderPLY* make_ply_reader() const;
  // The intensity settings and the quantization asked for, which the text
  // and PLY readers share.
  void configure_parsed(LASreaderParsed* reader) const;
  // Opens the current file as text or PLY; null after the opener's message.
  LASreader* open_text_or_ply(LASinputFormat format);
  // Opens the current file as BIN, shapefile, ASCII grid, BIL, DTM or QFIT
  // (with its index where the format can seek); null after the opener's
  // message.
  LASreader* open_side(LASinputFormat format);
  LASreader* open_single(uint16_t flightline, bool stamp);
  LASreader* open_stdin();
  // The settings of the files a merged or buffered reader opens.
  template <class Reader>
  void configure_multiple(Reader* reader) const;
  LASreader* open_merged();
  LASreader* open_buffered(const char* name, bool reset_index);
  // Every road ends here: the reader is wrapped as -stored and -pipe_on ask,
  // and the outermost reader, the one the tool sees, is handed the filter,
  // transform and ignore rules (a wrapper hands filter and transform inward).
  LASreader* wrap(LASreader* reader, const char* inner_word, const char* pipe_suffix);
  // The second-pass reopen of a reader that is not pipe-on, or of the one inside it; `what`
  // (when given) learns what the reopen changed.
  int reopen_reader(LASreader* reader, bool keep_buffer, LASreopenedInner* what);
  void attach_all(LASreader* reader) const;
  // One area only (rectangle, else tile, else circle), as the indexed LAS
  // read serves one.
  void apply_one_area(LASreader* reader) const;
  void apply_every_area(LASreader* reader) const;
  // A second pass: the area of the first removed, then one area again.
  void reapply_area(LASreader* reader) const;
  void stamp_source_id(uint16_t id);
  bool finish_arguments(int argc, char** argv);

  std::string file_name;  // the input opened last
  bool has_file_name = false;
  uint32_t file_name_current = 0;
  std::string temp_file_base;
  bool temp_file_base_set = false;
  LASrequestedQuantizer requested;
  std::string parse_string;
  bool parse_string_set = false;
  LASfilter* filter = nullptr;
  LAStransform* transform = nullptr;
  LASignore* ignore = nullptr;
  float inside_tile[3] = {0.0f, 0.0f, 0.0f};
  bool inside_tile_set = false;
  double inside_circle[3] = {0.0, 0.0, 0.0};
  bool inside_circle_set = false;
  double inside_rectangle[4] = {0.0, 0.0, 0.0, 0.0};
  bool inside_rectangle_set = false;
  // The file source ID stamped into the header of the input opened last
  // (-1: none), stamped again when that input is re-opened.
  int32_t stamped_source_ID = -1;
};

#endif  // POINTLIB_IO_LAS_INPUT_OPTIONS_HPP
