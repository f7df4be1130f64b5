#ifndef POINTLIB_IO_LAS_READER_BUFFERED_HPP
#define POINTLIB_IO_LAS_READER_BUFFERED_HPP

#include <cstdint>
#include <memory>
#include <vector>

#include "core/las_reader.hpp"
#include "io/las_input_options.hpp"

// Puts the counts and bounds kept in the header's original-counts record back
// and drops the record; false without one.
bool las_restore_original(LASheader* header);
// The same with the counts and bounds of `original`.
void las_put_back_original(LASheader* header, const LASoriginalVlr& original);

// Delivers the points of one main file followed by buffer points: the points
// of neighbouring files within the buffer size of the main file's box. The
// buffer points are read once, at open, into blocks of memory and replayed
// after the main file's points on every pass.
class LASreaderBuffered : public LASreader {
 public:
  static constexpr uint32_t points_per_buffer = 10000;

  LASreaderBuffered();
  ~LASreaderBuffered() override;

  void set_buffer_size(float size) { buffer_size = size; }
  // Each of these goes to both option holders.
  void set_scale_factor(const double* xyz);
  void set_offset(const double* xyz);
  void set_parse_string(const char* text);
  void set_skip_lines(uint32_t lines);
  void set_populate_header(bool flag);
  void set_translate_intensity(float v);
  void set_scale_intensity(float v);
  void set_translate_scan_angle(float v);
  void set_scale_scan_angle(float v);

  // False, with a message, for a null or unreadable name.
  bool set_file_name(const char* name);
  bool add_neighbor_file_name(const char* name);

  bool open();
  bool reopen();
  // Forgets the buffer points and puts the main file's counts and bounds back;
  // false when there were no neighbours to take buffer points from.
  bool remove_buffer();

  int format_code() const override { return inner ? inner->format_code() : 0; }
  bool applies_layers() const override { return false; }
  // Handed to the inner reader and both option holders; the buffered reader
  // itself neither filters nor transforms (its sources already did).
  void attach_filter(LASfilter* f) override;
  void attach_transform(LAStransform* t) override;
  // Recorded and shown in the header's box; the points are not limited.
  bool limit_to_tile(float ll_x, float ll_y, float size) override;
  bool limit_to_circle(double center_x, double center_y, double radius) override;
  bool limit_to_rectangle(double min_x, double min_y, double max_x, double max_y) override;
  bool seek_point(int64_t) override { return false; }
  ByteStreamIn* input_stream() const override { return nullptr; }
  void close_input(bool close_stream = true) override;
  bool failed() const override { return inner && inner->failed(); }

  uint32_t get_buffered_points() const { return buffered_points; }
  // Points of the main file delivered in this pass (before the buffer points).
  int64_t get_main_points() const { return main_points; }
  uint32_t get_block_count() const { return static_cast<uint32_t>(blocks.size()); }
  bool get_rescale() const { return rescale; }
  bool get_reoffset() const { return reoffset; }

 protected:
  bool read_one_point() override;

 private:
  // One setting given to the main file's options and the neighbours' alike.
  template <class Value>
  void to_both(void (LASinputOptions::*set)(Value), Value value) {
    (main_options.*set)(value);
    (neighbor_options.*set)(value);
  }
  // Gives the filter and transform this reader answers for to the main
  // file's reader and to both option holders.
  void hand_on_rules();
  void copy_point_to_buffer();
  // Counts a buffer point by its return number in the header's counts by return.
  void count_return(const LASpoint& buffer_point);
  bool copy_point_from_buffer();
  void clean_buffer();
  // Brings X, Y and Z from `from`'s quantization into the header's.
  void requantize(const LASscaler& from);

  std::vector<std::unique_ptr<uint8_t[]>> blocks;
  uint8_t* current_block = nullptr;
  uint32_t buffered_points = 0;
  uint32_t next_buffered_point = 0;
  int64_t main_points = 0;
  // The main file's counts and bounds while buffer points are counted in the header.
  LASoriginalVlr original;
  bool has_original = false;
  size_t record_size = 0;  // bytes of one stored point
  LASinputOptions main_options;
  LASinputOptions neighbor_options;
  std::unique_ptr<LASreader> inner;
  float buffer_size = 0.0f;
  bool point_type_change = false;
  bool point_size_change = false;
  bool rescale = false;
  bool reoffset = false;
  // The quantization the main points and the buffer points arrive in; they
  // differ from the header's only when the fit check changed it.
  LASscaler main_quantization;
  LASscaler buffer_quantization;
  bool requantize_main = false;
  bool requantize_buffer = false;
};

#endif  // POINTLIB_IO_LAS_READER_BUFFERED_HPP
