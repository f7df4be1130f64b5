#ifndef POINTLIB_IO_FORMATS_LAS_READER_SHP_HPP
#define POINTLIB_IO_FORMATS_LAS_READER_SHP_HPP

#include <cstdint>
#include <cstdio>
#include <vector>

#include "io/formats/side_reader.hpp"

// The points of an ESRI shapefile main file (.shp, also an archive read
// through its decompressor) whose shapes are points or multipoints, with or
// without Z and M: every vertex is one point with X, Y and Z. Records are
// walked by their content length, so null shapes, records without M values
// and records of another shape type keep the reading in step. The count and
// the box come from a first pass over every record while opening.
class LASreaderSHP : public LASreaderSide {
 public:
  LASreaderSHP();
  ~LASreaderSHP() override;

  bool open(const char* file_name);
  // The same file again before its first record.
  bool reopen(const char* file_name);

  int format_code() const override { return LASformatCode::shp; }
  bool seek_point(int64_t) override { return false; }
  ByteStreamIn* input_stream() const override { return nullptr; }
  void close_input(bool close_stream = true) override;
  // A record that contradicts its own length, or a decompressor that failed:
  // the points ended early.
  bool failed() const override { return corrupt || input.failed() || ended_short(); }
  bool open_name(const char* file_name) override { return open(file_name); }
  bool reopen_name(const char* file_name) override { return reopen(file_name); }

  int32_t get_shape_type() const { return shape_type; }

 protected:
  bool read_one_point() override;

 private:
  enum class Record { read, end, corrupt };

  void clean();
  bool read_main_header();
  // The next record that holds vertices, its vertices in `vertices`.
  Record read_record();
  Record read_vertices(int32_t type, int64_t length, int32_t number);
  bool read_bytes(uint8_t* bytes, size_t n);
  bool skip_bytes(int64_t n);

  LASsideInput input;
  int32_t shape_type = 0;
  int32_t records = 0;  // read in this pass
  bool corrupt = false;
  bool cut_short = false;
  // x, y, z of each vertex of the current record.
  std::vector<double> vertices;
  size_t vertex_count = 0;
  size_t vertex_next = 0;
};

using LASreaderSHPrescale = LASsideRescale<LASreaderSHP>;
using LASreaderSHPreoffset = LASsideReoffset<LASreaderSHP>;
using LASreaderSHPrescalereoffset = LASsideRescaleReoffset<LASreaderSHP>;

#endif  // POINTLIB_IO_FORMATS_LAS_READER_SHP_HPP
