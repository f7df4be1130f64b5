#ifndef POINTLIB_IO_FORMATS_LAS_READER_BIN_HPP
#define POINTLIB_IO_FORMATS_LAS_READER_BIN_HPP

#include <cstdint>

#include "io/formats/side_reader.hpp"

// Terrasolid BIN files: a 56-byte header, then records of 16 or 20 bytes,
// each optionally followed by a time word and a colour word, in point
// formats 0 to 3. The header is complete when the open returns: its box and
// counts by return come from one pass over every point.
class LASreaderBIN : public LASreaderSideStream {
 public:
  static constexpr int32_t kVersion20 = 20020715;  // the 20-byte record

  bool open_file(const char* file_name);
  // Reads from the stream, which the reader then owns.
  bool open(ByteStreamIn* stream);
  // The same file again before its first point; the header stays.
  bool reopen(const char* file_name);

  int format_code() const override { return LASformatCode::bin; }
  bool seek_point(int64_t index) override;
  bool open_name(const char* file_name) override { return open_file(file_name); }
  bool reopen_name(const char* file_name) override { return reopen(file_name); }

 protected:
  bool read_one_point() override;

 private:
  bool read_header();
  // Every point once: the box and the counts by return.
  bool scan_points();
  bool decode_next();

  int32_t version = 0;
  uint32_t record_size = 16;  // with the time and colour words
  bool has_time = false;
  bool has_color = false;
  uint8_t record[28] = {};
};

using LASreaderBINrescale = LASsideRescale<LASreaderBIN>;
using LASreaderBINreoffset = LASsideReoffset<LASreaderBIN>;
using LASreaderBINrescalereoffset = LASsideRescaleReoffset<LASreaderBIN>;

#endif  // POINTLIB_IO_FORMATS_LAS_READER_BIN_HPP
