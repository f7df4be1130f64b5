#ifndef POINTLIB_IO_FORMATS_LAS_READER_QFIT_HPP
#define POINTLIB_IO_FORMATS_LAS_READER_QFIT_HPP

#include <cstdint>

#include "io/formats/side_reader.hpp"

// ATM QFIT files: records of 40, 48 or 56 bytes of 32-bit words in either
// byte order, longitude and latitude in millionths of a degree and elevation
// in millimetres, read as point format 1 with scan azimuth, pitch, roll and
// (48-byte records) pulse width as extra-bytes attributes. The header's box
// comes from one pass over every point while opening.
class LASreaderQFIT : public LASreaderSideStream {
 public:
  bool open_file(const char* file_name);
  // Reads from the stream, which the reader then owns.
  bool open(ByteStreamIn* stream);
  // The same file again at its first record; the header stays.
  bool reopen(const char* file_name);

  int format_code() const override { return LASformatCode::qfit; }
  bool seek_point(int64_t index) override;
  bool open_name(const char* file_name) override { return open_file(file_name); }
  bool reopen_name(const char* file_name) override { return reopen(file_name); }

  int32_t get_record_size() const { return record_size; }
  bool is_big_endian() const { return big_endian; }

 protected:
  bool read_one_point() override;

 private:
  bool read_layout();
  bool add_attributes();
  bool scan_points();
  bool decode_next();

  int32_t record_size = 0;
  bool big_endian = false;
  int64_t first_record = 0;
  // Bytes of a last record that the file cuts short.
  int64_t partial_record = 0;
  int32_t start_azimuth = -1;
  int32_t start_pitch = -1;
  int32_t start_roll = -1;
  int32_t start_pulse_width = -1;
  uint8_t record[56] = {};
};

using LASreaderQFITrescale = LASsideRescale<LASreaderQFIT>;
using LASreaderQFITreoffset = LASsideReoffset<LASreaderQFIT>;
using LASreaderQFITrescalereoffset = LASsideRescaleReoffset<LASreaderQFIT>;

#endif  // POINTLIB_IO_FORMATS_LAS_READER_QFIT_HPP
