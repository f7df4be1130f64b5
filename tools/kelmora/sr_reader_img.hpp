#ifndef KELMORA_SR_READER_IMG_HPP
#define KELMORA_SR_READER_IMG_HPP

#include <cstdint>
#include <vector>

#include "sr_reader.hpp"

// Erdas Imagine rasters, read block by block through GDAL restricted to its
// HFA driver. data_type holds the Imagine pixel type code: 3 u8, 4 s8, 5 u16,
// 6 s16, 7 u32, 8 s32, 9 f32, 10 f64.
class SRreader_img : public SRreader {
 public:
  SRreader_img() = default;
  ~SRreader_img() override;

  bool open(const char* file_name);
  bool read_value() override;
  void close(bool close_file = true) override;

  int type() const { return data_type; }
  int block_width() const { return block_x; }
  int block_height() const { return block_y; }
  bool has_nodata() const { return nodata_present; }

 private:
  bool load_block_row();
  void release();

  void* dataset = nullptr;  // GDALDatasetH
  void* band1 = nullptr;    // GDALRasterBandH
  int data_type = 0;
  int sample_bytes = 0;
  int block_x = 0;
  int block_y = 0;
  int blocks_across = 0;
  std::vector<uint8_t> blocks;  // the blocks of the current block row, side by side
  int32_t block_row = -1;
  int32_t col = 0;
  int32_t rows_read = 0;
  bool nodata_present = false;
  double nodata_double = 0.0;
};

#endif
