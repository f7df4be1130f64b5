#ifndef KELMORA_SR_READER_PNG_HPP
#define KELMORA_SR_READER_PNG_HPP

#include <cstdint>
#include <cstdio>
#include <vector>

#include "sr_reader.hpp"

struct png_struct_def;
struct png_info_def;

// PNG rasters through libpng, georeferenced by a ".pgw" world file. The nodata
// is the transparent grey of a tRNS chunk; without one, nodata keeps -9999,
// which no 8- or 16-bit sample can hold.
class SRreader_png : public SRreader {
 public:
  SRreader_png() = default;
  ~SRreader_png() override;

  bool open(const char* file_name);
  bool read_value() override;
  void close(bool close_file = true) override;

  bool interlaced() const { return is_interlaced; }

 private:
  // libpng reports its errors by longjmp; each of these sets its own jump
  // point, so an error in any of them returns false to the caller.
  bool read_header();
  bool read_next_row();
  bool read_whole_image();
  void release();

  FILE* file = nullptr;
  png_struct_def* png = nullptr;
  png_info_def* info = nullptr;
  bool is_interlaced = false;
  int channels = 1;
  size_t row_bytes = 0;
  std::vector<uint8_t> rows;  // one row, or every row of an interlaced image
  const uint8_t* row_data = nullptr;
  int32_t col = 0;
  int32_t rows_read = 0;
};

#endif
