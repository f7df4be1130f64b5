#ifndef POINTLIB_IO_FORMATS_SIDE_RASTER_HPP
#define POINTLIB_IO_FORMATS_SIDE_RASTER_HPP

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "io/formats/side_reader.hpp"

// Reads the cells of a binary raster from a C file in fixed chunks, so that
// neither the grid size nor the cell size from a header decides how much
// memory is taken.
class LASrasterCells {
 public:
  static constexpr size_t kChunkSize = 1 << 20;

  LASrasterCells() : buffer(new uint8_t[kChunkSize]) {}
  // Reads from `file` (not owned) at its position.
  void attach(FILE* file);
  // The next n (1 to 8) bytes, or null when the data end first.
  const uint8_t* take(size_t n);
  // Copies up to n bytes into `out`; the number copied (fewer at the end).
  size_t copy(uint8_t* out, size_t n);
  // Drops the next n bytes; false when the data end first.
  bool skip(uint64_t n);

 private:
  FILE* file = nullptr;
  std::unique_ptr<uint8_t[]> buffer;
  size_t pos = 0;
  size_t end = 0;
};

// Header lines of the text raster headers, "<keyword> <value>" with the
// keyword anywhere in the line: whether the line holds either spelling, and
// the value after the line's first word (false when there is none).
bool raster_line_has(const char* line, const char* a, const char* b);
bool raster_line_int(const char* line, int32_t* value);
bool raster_line_double(const char* line, double* value);
bool raster_line_word(const char* line, char* word, size_t size);

// A raster's nodata value as its cells are compared with it: both as 32-bit
// floats whenever the value fits one, since grids keep their cells in that
// width and writers print the same value with float digits in the cells and
// with few digits in the header (1e+30 and 1.0000000150474662e+30); else
// both as written.
class LASrasterNodata {
 public:
  explicit LASrasterNodata(double value = -9999.0) { set(value); }
  void set(double v) {
    value = v;
    narrow = static_cast<float>(v);
    narrow_fits = std::isfinite(narrow);
  }
  double get() const { return value; }
  bool matches(double cell) const {
    return narrow_fits ? static_cast<float>(cell) == narrow : cell == value;
  }

 private:
  double value;
  float narrow;
  bool narrow_fits;
};

// Base of the ASCII grid, BIL and DTM readers: one point per cell that holds
// a value, at the cell's centre, described by a "Raster VPK" record. Each
// counts its points and the height range in a first pass over the file while
// opening, then reads the file again for the points.
class LASreaderRaster : public LASreaderSide {
 public:
  static constexpr int kStdioBufferSize = 524288;

  ~LASreaderRaster() override { close_cells(); }
  bool seek_point(int64_t) override { return false; }
  ByteStreamIn* input_stream() const override { return nullptr; }
  // The overflow warnings, and the cells closed.
  void close_input(bool close_stream = true) override;

  int32_t get_ncols() const { return ncols; }
  int32_t get_nrows() const { return nrows; }
  int64_t get_overflows(int axis) const { return overflows[axis]; }

  // Whether a cell value can be a point's height: not the nodata value and
  // a number (a NaN or infinite cell is no height, whatever the nodata value).
  static bool is_value(float value, float nodata) {
    return value != nodata && std::isfinite(value);
  }

 protected:
  // Software, creation date, point format 0 of 20 bytes and the point laid
  // out for it.
  bool begin_header(const char* reader_name, const char* file_name);
  // The counting pass: no points and an empty height range, then one call
  // of count_cell per value cell.
  void begin_count();
  void count_cell(double z) {
    npoints++;
    if (z > header.max_z) header.max_z = z;
    if (z < header.min_z) header.min_z = z;
  }
  // After the counting pass: the point count, and the quantization every
  // reader of a box chooses (side_fit_quantization): per axis the requested
  // scale factor and offset, else from 1e-7 in degrees or the projected ones
  // given here (z 0.01) as much coarser as the cell centres and heights need;
  // then the snapped bounds. A raster of only nodata cells warns "WARNING:
  // <kind> raster contains only no data values". False, after a message,
  // when no allowed quantization holds the extent or the heights: every
  // point would be clamped.
  bool end_count(const char* kind, double projected_x, double projected_y);
  // The counting pass met the end of the data before the last cell (a file
  // cut short, or a header that promises more rows than there are): the
  // rows are placed from the header's count, so every point would be
  // shifted. The error with the position; false, to be returned.
  bool count_ended(const char* kind, const char* file_name, int64_t row, int64_t col) const;
  // Whether the open binary file holds `needed` bytes; false after an error
  // naming the grid when it does not, before any cell is read.
  bool cells_fit(const char* kind, const char* file_name, uint64_t needed) const;
  // The "Raster VPK" record of one band of 32 bits with the cell steps and
  // the lower-left corner of the lower-left cell.
  bool add_raster_record(int32_t ncols, int32_t nrows, double stepx, double stepy, double llx,
                         double lly);
  // The point's integers, quantized with the header's scale factors and
  // offsets; a coordinate beyond 32 bits is clamped and counted.
  void set_point(double x, double y, double z) {
    point.X = quantize(x, header.x_scale_factor, header.x_offset, 0);
    point.Y = quantize(y, header.y_scale_factor, header.y_offset, 1);
    point.Z = quantize(z, header.z_scale_factor, header.z_offset, 2);
  }
  // "WARNING: total of %lld integer overflows in x" (and y, z) for each
  // counter that is not 0, which is then reset.
  void report_overflows();
  void reset_overflows() { overflows[0] = overflows[1] = overflows[2] = 0; }
  // The point pass ended before the points counted: the warning, and
  // npoints becomes the points read. False, to be returned.
  bool end_of_cells();

  // "ERROR: <bound> = .. does not fit a 32-bit integer with scale factor ..
  // and offset .." for the first bound the header's quantization does not
  // hold, at the requested scale factor, else at the reader's own first one.
  void report_unheld(const double preferred[3]) const;

  // The cells of a binary raster (BIL, DTM), by name, from the first cell
  // (after `skip` header bytes); false after a message ("open" or "reopen"
  // names the failure).
  bool open_cells(const char* file_name, const char* verb, uint64_t skip);
  void close_cells();

  int32_t ncols = 0;
  int32_t nrows = 0;
  int32_t col = 0;  // of the next cell
  int32_t row = 0;
  FILE* file = nullptr;
  LASrasterCells cells;

 private:
  int32_t quantize(double c, double scale, double offset, int axis) {
    const int64_t n = las_round_i64((c - offset) / scale);
    if (!LASscaler::fits32(n)) {
      overflows[axis]++;
      return LASscaler::clamp32(n);
    }
    return static_cast<int32_t>(n);
  }

  int64_t overflows[3] = {0, 0, 0};
};

#endif  // POINTLIB_IO_FORMATS_SIDE_RASTER_HPP
