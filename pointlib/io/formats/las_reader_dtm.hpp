#ifndef POINTLIB_IO_FORMATS_LAS_READER_DTM_HPP
#define POINTLIB_IO_FORMATS_LAS_READER_DTM_HPP

#include <cstdint>

#include "io/formats/side_raster.hpp"

// PLANS DTM rasters ("PLANS-PC BINARY .DTM"): a 200-byte header with the
// grid, its units and its coordinate system, then the cells column by column
// from the west, each column from south to north. Every cell that is not
// -9999 is one point at the cell's centre, in that order; the coordinate
// system becomes GeoTIFF keys.
class LASreaderDTM : public LASreaderRaster {
 public:
  static constexpr int kHeaderSize = 200;

  LASreaderDTM();
  ~LASreaderDTM() override;

  bool open(const char* file_name);
  // The cells again from the first.
  bool reopen(const char* file_name);

  int format_code() const override { return LASformatCode::bil; }
  bool open_name(const char* file_name) override { return open(file_name); }
  bool reopen_name(const char* file_name) override { return reopen(file_name); }


 protected:
  bool read_one_point() override;

 private:
  void clean();
  bool read_header(const char* file_name);
  void store_geo_keys(int16_t horizontal_units, int16_t vertical_units, int16_t coordinate_system,
                      int16_t zone, int16_t horizontal_datum, int16_t vertical_datum);
  // The next cell as single precision (and, for 64-bit cells, the double);
  // false when the data end.
  bool read_cell(float* value, double* wide);

  double llx = 0.0;  // centre of the lower-left cell
  double lly = 0.0;
  float xdim = 0.0f;
  float ydim = 0.0f;
  int16_t data_type = -1;
  static constexpr float kNodata = -9999.0f;
};

using LASreaderDTMrescale = LASsideRescale<LASreaderDTM>;
using LASreaderDTMreoffset = LASsideReoffset<LASreaderDTM>;
using LASreaderDTMrescalereoffset = LASsideRescaleReoffset<LASreaderDTM>;

#endif  // POINTLIB_IO_FORMATS_LAS_READER_DTM_HPP
