#ifndef POINTLIB_IO_FORMATS_LAS_READER_ASC_HPP
#define POINTLIB_IO_FORMATS_LAS_READER_ASC_HPP

#include <cstdint>
#include <string>

#include "io/formats/side_raster.hpp"

// ESRI ASCII grids (.asc, also an archive read through its decompressor):
// every cell that holds a value is one point at the cell's centre, the rows
// from the northernmost down, west to east in each. The cells are read as a
// stream of words, whatever the lines, so no line is held whole.
class LASreaderASC : public LASreaderRaster {
 public:
  LASreaderASC();
  ~LASreaderASC() override;

  // With `comma_not_point` decimal commas are read as points.
  bool open(const char* file_name, bool comma_not_point);
  // The same file again at its first cell.
  bool reopen(const char* file_name);
  void set_comma_not_point(bool flag) { comma = flag; }

  int format_code() const override { return LASformatCode::asc; }
  void close_input(bool close_stream = true) override;
  // The decompressor of an archive failed: the cells ended early.
  bool failed() const override { return input.failed() || ended_short(); }
  bool open_name(const char* file_name) override { return open(file_name, comma); }
  bool reopen_name(const char* file_name) override { return reopen(file_name); }

 protected:
  bool read_one_point() override;

 private:
  static constexpr size_t kWordSize = 128;

  void clean();
  bool read_header();
  // One header line into `line`: its first kLineKept characters and the
  // rest of the word they end in; *more tells that the line goes on in the
  // input.
  bool read_header_line(std::string* line, bool* more);
  void skip_line();
  // Whether a line that is no header line begins the cells; `more` tells
  // that the line went on beyond what was kept of it.
  bool is_first_data_line(const std::string& line, bool more) const;
  // The next blank-separated word of the cells; false at the end.
  bool read_word(char* word);
  // A cell: false when it is no height (nodata, not a number).
  bool read_cell(const char* word, double* value);

  LASsideInput input;
  bool comma = false;
  int64_t line_count = 0;  // up to and including the first data line
  double xllcenter = 2e307;
  double yllcenter = 2e307;
  float cellsize = 0.0f;
  LASrasterNodata nodata;
  // The first data line as the header pass read it, taken before the input.
  std::string first_line;
  size_t first_line_pos = 0;
  bool warned_word = false;
};

using LASreaderASCrescale = LASsideRescale<LASreaderASC>;
using LASreaderASCreoffset = LASsideReoffset<LASreaderASC>;
using LASreaderASCrescalereoffset = LASsideRescaleReoffset<LASreaderASC>;

#endif  // POINTLIB_IO_FORMATS_LAS_READER_ASC_HPP
