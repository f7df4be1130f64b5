#ifndef KELMORA_SR_READER_BIL_HPP
#define KELMORA_SR_READER_BIL_HPP

#include <cstdint>
#include <cstdio>
#include <vector>

#include "io/formats/ehdr_header.hpp"
#include "sr_reader.hpp"

// Band 1 of a BIL raster of raw samples (band-interleaved by line or by pixel,
// or band-sequential), described by the ".hdr" text file beside it (the
// raster's name with its last three characters "hdr").
class SRreader_bil : public SRreader {
 public:
  SRreader_bil() = default;
  ~SRreader_bil() override;

  bool open(const char* file_name);
  bool read_value() override;
  void close(bool close_file = true) override;

  bool big_endian() const { return is_big_endian; }
  double nodata_value() const { return nodata_double; }

 private:
  FILE* file = nullptr;
  EHdrBand1 band1;
  std::vector<uint8_t> row;  // band 1's cells of one row, with what lies between them
  int32_t col = 0;
  int32_t rows_read = 0;
  bool is_big_endian = false;
  double nodata_double = -9999.0;
  float nodata_float = -9999.0f;
  bool nodata_fits_float = true;
};

#endif
