#ifndef POINTLIB_IO_FORMATS_LAS_READER_BIL_HPP
#define POINTLIB_IO_FORMATS_LAS_READER_BIL_HPP

#include <cstdint>
#include <string>

#include "io/formats/ehdr_header.hpp"
#include "io/formats/side_raster.hpp"

// BIL rasters: the cells of band 1 of a .bil file, laid out as the .hdr beside
// it says (band-interleaved by line or by pixel, or band-sequential, after
// SKIPBYTES), placed by an optional .blw world file. Every cell that holds a
// value is one point at the cell's centre, the rows from the top down, west
// to east in each.
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
  // The header's cell types, layouts and sizes this reader can take; false
  // after an error.
  bool check_cells(const char* file_name);
  // The cell at column c of row r of band 1, the cells being read in order;
  // false when the data end.
  bool read_cell(int64_t c, int64_t r, float* value);

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
  EHdrLayout layout = EHdrLayout::bil;
  std::string unknown_layout;
  int64_t skipbytes = -1;
  int64_t bandrowbytes = -1;
  int64_t totalrowbytes = -1;
  EHdrBand1 band1;
  // Bytes between two cells of a row, and from a row's last cell to the
  // next row's first.
  uint64_t cell_gap = 0;
  uint64_t row_gap = 0;
};

using LASreaderBILrescale = LASsideRescale<LASreaderBIL>;
using LASreaderBILreoffset = LASsideReoffset<LASreaderBIL>;
using LASreaderBILrescalereoffset = LASsideRescaleReoffset<LASreaderBIL>;

#endif  // POINTLIB_IO_FORMATS_LAS_READER_BIL_HPP
