#ifndef POINTLIB_IO_FORMATS_LAS_READER_BIL_HPP
#define POINTLIB_IO_FORMATS_LAS_READER_BIL_HPP

#include <cstdint>

#include "io/formats/side_raster.hpp"

// BIL rasters: the cells of a .bil file described by the .hdr beside it and
// placed by an optional .blw world file. Every cell that holds a value is one
// point at the cell's centre, the rows from the top down, west to east in
// each.
class LASreaderBIL : public LASreaderRaster {
 public:
  LASreaderBIL();
  ~LASreaderBIL() override;

  bool open(const char* file_name);
  // The cells again from the first.
  bool reopen(const char* file_name);
  // The two side files of the .bil named; true when read in full.
  bool read_hdr(const char* file_name);
  bool read_blw(const char* file_name);

  int format_code() const override { return LASformatCode::bil; }
  bool open_name(const char* file_name) override { return open(file_name); }
  bool reopen_name(const char* file_name) override { return reopen(file_name); }

  bool is_big_endian() const { return big_endian; }

 protected:
  bool read_one_point() override;

 private:
  void clean();
  // The next cell; false when the data end.
  bool read_cell(float* value);

  int32_t nbands = 0;
  int32_t nbits = 0;
  double ulxcenter = 2e307;
  double ulycenter = 2e307;
  float xdim = 0.0f;
  float ydim = 0.0f;
  float nodata = -9999.0f;
  bool floats = false;
  bool signed_ints = false;
  bool big_endian = false;
};

using LASreaderBILrescale = LASsideRescale<LASreaderBIL>;
using LASreaderBILreoffset = LASsideReoffset<LASreaderBIL>;
using LASreaderBILrescalereoffset = LASsideRescaleReoffset<LASreaderBIL>;

#endif  // POINTLIB_IO_FORMATS_LAS_READER_BIL_HPP
