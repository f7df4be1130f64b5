#ifndef POINTLIB_CORE_LAS_READER_HPP
#define POINTLIB_CORE_LAS_READER_HPP

#include <cstdint>

#include "core/las_header.hpp"
#include "core/las_point.hpp"

class ByteStreamIn;
class LASindex;
class LASfilter;
class LAStransform;
class LASignore;

// Codes of LASreader::format_code (0 on the output side means "not chosen").
struct LASformatCode {
  enum : int {
    none = 0,
    las = 1,
    vpk = 2,
    bin = 3,
    qfit = 4,
    wrl = 5,
    txt = 6,
    shp = 7,
    ply = 8,
    asc = 9,
    bil = 10
  };
};

// Base of every point source. Reading the next point goes through one member
// function pointer chosen from what is attached, so a plain read costs one
// indirect call and each stage adds one wrapper: area test innermost, then
// filter, then transform.
class LASreader {
 public:
  LASheader header;
  LASpoint point;
  int64_t npoints = 0;
  int64_t p_count = 0;

  // Area of interest: 0 none, 1 tile, 2 circle, 3 rectangle.
  static constexpr int32_t kInsideNone = 0, kInsideTile = 1, kInsideCircle = 2,
                           kInsideRectangle = 3;
  int32_t inside = kInsideNone;
  float t_ll_x = 0, t_ll_y = 0, t_size = 0, t_ur_x = 0, t_ur_y = 0;
  double c_center_x = 0, c_center_y = 0, c_radius = 0, c_radius_squared = 0;
  double r_min_x = 0, r_min_y = 0, r_max_x = 0, r_max_y = 0;
  double orig_min_x = 0, orig_min_y = 0, orig_max_x = 0, orig_max_y = 0;

  LASreader();
  virtual ~LASreader();
  LASreader(const LASreader&) = delete;
  LASreader& operator=(const LASreader&) = delete;

  // The next point through area test, filter and transform; false at the end.
  bool read_point() { return (this->*read_point_fn)(); }

  virtual int format_code() const = 0;
  virtual bool applies_layers() const { return false; }
  virtual void attach_filter(LASfilter* f);
  virtual void attach_transform(LAStransform* t);
  virtual bool limit_none();
  virtual bool limit_to_tile(float ll_x, float ll_y, float size);
  virtual bool limit_to_circle(double center_x, double center_y, double radius);
  virtual bool limit_to_rectangle(double min_x, double min_y, double max_x, double max_y);
  virtual bool seek_point(int64_t index) = 0;
  virtual ByteStreamIn* input_stream() const = 0;
  virtual void close_input(bool close_stream = true) = 0;
  // True once the reader could not deliver every point it should (a file or
  // a stream it could not read) or could not pass its points on (a side
  // output); it has printed its "ERROR: ..." line. A tool must then not
  // present what it made of the points as a complete result.
  virtual bool failed() const { return ended_short(); }
  // True once the input ended before the points its header counts (a cut file, a count larger
  // than the file holds, a partial last record); the reader has printed its warning. Every
  // reader decides this through end_short(), and its failed() says so: a run must not take what
  // it made of a short input for a whole result. It stays set, as the input stays short.
  bool ended_short() const { return short_end; }

  // Snaps the header's bounding box to the quantization grid; a bound whose
  // sign would flip stays as it is, with a warning.
  void quantize_header_bounds();

  // Takes ownership of a spatial index (null removes it).
  void set_index(LASindex* new_index);
  LASindex* get_index() const { return index; }
  LASfilter* get_filter() const { return filter; }
  LAStransform* get_transform() const { return transform; }
  // The ignore rules are only kept for the tools; they take no part in reading.
  void set_ignore(LASignore* new_ignore) { ignore = new_ignore; }
  LASignore* get_ignore() const { return ignore; }
  // Filter, transform and ignore rules at once, so that no road forgets one.
  void attach_rules(LASfilter* f, LAStransform* t, LASignore* i) {
    attach_filter(f);
    attach_transform(t);
    set_ignore(i);
  }

  // Area tests on the current point's coordinates.
  bool point_inside_tile() const {
    const double x = point.get_x(), y = point.get_y();
    return t_ll_x <= x && x < t_ur_x && t_ll_y <= y && y < t_ur_y;
  }
  bool point_inside_circle() const {
    const double dx = c_center_x - point.get_x(), dy = c_center_y - point.get_y();
    return dx * dx + dy * dy < c_radius_squared;
  }
  bool point_inside_rectangle() const {
    const double x = point.get_x(), y = point.get_y();
    return r_min_x <= x && x < r_max_x && r_min_y <= y && y < r_max_y;
  }

 protected:
  // Reads the next point with no area, filter or transform; counts p_count.
  virtual bool read_one_point() = 0;
  // For a reader that hands its filter or transform on to the readers it
  // reads from: it answers for them without applying them a second time.
  void record_filter(LASfilter* f) { filter = f; }
  void record_transform(LAStransform* t) { transform = t; }
  // The one way a reader reports an input that ends before its header's count: prints the
  // formatted warning and marks the input as short.
  void end_short(const char* format, ...) __attribute__((format(printf, 2, 3)));

  using ReadStep = bool (LASreader::*)();

 private:
  bool read_plain() { return read_one_point(); }
  bool read_none() { return false; }
  bool read_tile();
  bool read_circle();
  bool read_rectangle();
  bool read_tile_indexed();
  bool read_circle_indexed();
  bool read_rectangle_indexed();
  bool read_filtered();
  bool read_transformed();
  bool read_filtered_transformed();
  // Saves the file's box (once per area) and puts the area's box in its place.
  void replace_bounds(double min_x, double min_y, double max_x, double max_y);
  // read_inner = the area step; read_point = the filter/transform wrapper or
  // the area step itself.
  void choose_read_chain();

  LASindex* index = nullptr;
  LASfilter* filter = nullptr;
  LAStransform* transform = nullptr;
  LASignore* ignore = nullptr;
  bool short_end = false;
  ReadStep read_point_fn;
  ReadStep read_inner = nullptr;
  ReadStep area_step;
};

#endif  // POINTLIB_CORE_LAS_READER_HPP
