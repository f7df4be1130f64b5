#ifndef POINTLIB_IO_LAS_READER_MERGED_HPP
#define POINTLIB_IO_LAS_READER_MERGED_HPP

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/las_reader.hpp"
#include "io/formats/side_input.hpp"
#include "io/las_input_formats.hpp"

class LASreaderLAS;
class LASreaderPLY;
class LASreaderSide;
class LASreaderTXT;

// False, with its message, for a null name or one that cannot be opened.
bool las_name_readable(const char* name);

// Presents a list of point files of one format as one input: one header that
// covers them all and one stream of points, file after file. Only one
// sub-reader exists at a time; it is reopened on each file and, when the files
// differ in scale factor or offset, replaced once by its re-quantizing variant
// so that every point arrives in the merged header's quantization.
class LASreaderMerged : public LASreader {
 public:
  LASreaderMerged();
  ~LASreaderMerged() override;

  // Setters, called before any file is added. Null removes the triple.
  void set_scale_factor(const double* xyz) { requested.set_scale_factor(xyz); }
  void set_offset(const double* xyz) { requested.set_offset(xyz); }
  void set_parse_string(const char* text);
  void set_skip_lines(uint32_t lines) { skip_lines = lines; }
  void set_populate_header(bool flag) { populate_header = flag; }
  void set_keep_lastiling(bool flag) { keep_lastiling = flag; }
  void set_translate_intensity(float v) { translate_intensity = v; }
  void set_scale_intensity(float v) { scale_intensity = v; }
  void set_translate_scan_angle(float v) { translate_scan_angle = v; }
  void set_scale_scan_angle(float v) { scale_scan_angle = v; }
  void set_io_ibuffer_size(uint32_t size) { io_ibuffer_size = size; }

  // False, with a message and the list unchanged, for a null or unreadable
  // name or a format that cannot be mixed with the list's.
  bool add_file_name(const char* name);
  bool add_file_name_and_id(const char* name, uint32_t ID);

  // Reads every file's header once, builds the merged header and decides
  // whether the points must be re-quantized.
  bool open();
  // Both after a successful open; a non-zero value clears file_source_ID.
  void set_files_are_flightlines(int32_t start);
  void set_apply_file_source_ID(bool flag);
  // Starts again from the first file; the opener puts its area back.
  bool reopen();

  int format_code() const override { return sub_format_code; }
  bool applies_layers() const override { return false; }
  // Kept here and attached to every sub-reader as it is opened.
  void attach_filter(LASfilter* f) override { record_filter(f); }
  void attach_transform(LAStransform* t) override { record_transform(t); }
  bool limit_to_tile(float ll_x, float ll_y, float size) override;
  bool limit_to_circle(double center_x, double center_y, double radius) override;
  bool limit_to_rectangle(double min_x, double min_y, double max_x, double max_y) override;
  bool seek_point(int64_t) override { return false; }
  ByteStreamIn* input_stream() const override { return nullptr; }
  void close_input(bool close_stream = true) override;
  // A file that could not be opened or read in full while reading: the
  // stream ended early or went on without its points.
  bool failed() const override;

  bool get_rescale() const { return rescale; }
  bool get_reoffset() const { return reoffset; }
  uint32_t get_file_count() const { return static_cast<uint32_t>(file_names.size()); }

 protected:
  bool read_one_point() override;

 private:
  // Makes `made` the sub-reader (with its typed view).
  void set_sub(LASreader* made);
  // The text sub-reader gets the intensity and scan-angle settings and the
  // requested quantization.
  void configure_text_sub();
  // Opens the sub-reader on a file; `header_pass` is the pass of open(),
  // which reads later LAS files header-only unless `read_in_full`. False
  // after the format's message.
  bool open_sub(const char* name, bool header_pass, bool read_in_full);
  // Replaces the sub-reader by its re-quantizing variant.
  void make_variant_sub();
  bool open_next_file();
  // Saves the header's box before the first area narrows it.
  void save_bounds();
  // A file's legacy counts added to the merged ones, its box to the box.
  void add_counts_and_box(const LASheader& h);
  void clean();

  std::unique_ptr<LASreader> sub;
  // Typed views of `sub`; at most one is set.
  LASreaderLAS* sub_las = nullptr;
  LASreaderTXT* sub_txt = nullptr;
  LASreaderPLY* sub_ply = nullptr;
  LASreaderSide* sub_side = nullptr;
  // The format of the first added file, which every other must share.
  bool has_format = false;
  LASinputFormat sub_format = LASinputFormat::las;
  int sub_format_code = 0;
  bool point_type_change = false;
  bool point_size_change = false;
  bool attribute_change = false;
  bool rescale = false;
  bool reoffset = false;
  LASrequestedQuantizer requested;
  int32_t files_are_flightlines = 0;
  bool apply_file_source_ID = false;
  float translate_intensity = 0.0f, scale_intensity = 1.0f;
  float translate_scan_angle = 0.0f, scale_scan_angle = 1.0f;
  std::string parse_string;
  bool parse_string_set = false;
  uint32_t skip_lines = 0;
  bool populate_header = false;
  bool keep_lastiling = false;
  uint32_t file_name_current = 0;
  bool lost_points = false;  // a file failed while reading
  uint32_t io_ibuffer_size = 262144;
  std::vector<std::string> file_names;
  std::vector<uint32_t> file_names_ID;  // empty unless names came with IDs
  std::vector<double> bounding_boxes;   // min_x, min_y, max_x, max_y per file
};

#endif  // POINTLIB_IO_LAS_READER_MERGED_HPP
