#ifndef KELMORA_SR_READER_TIF_HPP
#define KELMORA_SR_READER_TIF_HPP

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sr_reader.hpp"

struct tiff;
struct gtiff;

// TIFF and GeoTIFF rasters through libtiff and libgeotiff: tiled or striped,
// georeferenced by tie point and pixel scale or by a ".tfw" world file, nodata
// from GDAL's ASCII tag 42113.
class SRreader_tif : public SRreader {
 public:
  SRreader_tif();
  ~SRreader_tif() override;

  bool open(const char* file_name);
  bool read_value() override;
  void close(bool close_file = true) override;

  float float_nodata() const { return nodata_float; }
  bool tiled() const { return is_tiled; }
  uint32_t rows_per_strip() const { return strip_rows; }

 private:
  bool load_row();  // makes the current row available in band
  void release();

  tiff* tif = nullptr;
  gtiff* gtif = nullptr;
  bool is_tiled = false;
  bool is_planar_separate = false;
  bool is_ycbcr = false;
  uint32_t tile_width = 0;
  uint32_t tile_length = 0;
  uint32_t strip_rows = 1;
  int sample_format = 1;
  size_t pixel_bytes = 0;       // bytes of one pixel in a decoded row
  std::vector<uint8_t> buffer;  // one strip or tile as decoded
  std::vector<uint8_t> band;    // full-width rows of the current tile row or strip
  uint32_t band_first_row = 0;
  uint32_t band_rows = 0;  // rows held in band
  const uint8_t* row_data = nullptr;
  int32_t col = 0;
  int32_t rows_read = 0;
  float nodata_float = -32767.0f;
};

#endif
