#ifndef POINTLIB_IO_FORMATS_LAS_WRITERS_BINARY_HPP
#define POINTLIB_IO_FORMATS_LAS_WRITERS_BINARY_HPP

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/las_writer.hpp"

class ByteStreamOut;

// The writers of binary side formats: Terrasolid BIN and ATM QFIT. Both write
// through a byte stream over a file they open by name (with a stdio buffer of
// the caller's size), over a FILE handed over (standard output), or over a
// stream handed over.

// What the two share: the file and the stream and how they end. A file that
// the writer opened and could not start is removed again.
class LASwriterBinarySide : public LASwriter {
 public:
  ~LASwriterBinarySide() override;

  bool close_chunk() override { return false; }
  bool rewrite_header(const LASheader*, bool, bool) override { return true; }

  // Whether closing deletes the stream (true unless a caller keeps it).
  void set_delete_stream(bool value) { delete_stream = value; }

 protected:
  // A stream over the file opened by name ("wb", with full buffering of
  // `io_buffer_size` bytes; only a warning when that cannot be set), or over
  // a FILE handed over; null after the message.
  ByteStreamOut* named_stream(const char* file_name, uint32_t io_buffer_size);
  static ByteStreamOut* cfile_stream(FILE* file);
  // The stream to write to and the header to write from; false after the
  // message when either is null.
  bool take_stream(ByteStreamOut* out, const LASheader* header);
  // Before the header is written: the header's quantization and count, and
  // the stream's position.
  void begin_points(const LASheader& header);
  // After a failed open: forgets the stream (deleting it when owned) and
  // removes a file opened by name.
  void abandon();
  // Deletes the stream and closes an own file: the bytes written, or -1 when
  // a write, the flush or the close failed; the points written become the
  // count.
  int64_t finish();
  // One "ERROR: ..." line naming the output and the reason; the output is failed.
  void fail_write();

  ByteStreamOut* stream = nullptr;
  FILE* file = nullptr;  // only when opened by name
  std::string file_name;
  bool delete_stream = true;
  int64_t start_position = 0;  // of the header in the stream
  bool write_failed = false;
  bool time_warned = false;
};

// Terrasolid BIN: a 56-byte header, then per point a 16-byte record (version
// 20010712) or a 20-byte record (20020715), each followed by a time word when
// the points have GPS time and a colour word when they have RGB.
class LASwriterBIN : public LASwriterBinarySide {
 public:
  LASwriterBIN() = default;
  ~LASwriterBIN() override;

  // A version text containing "ts16" chooses the 20-byte records.
  bool open_file(const char* file_name, const LASheader* header, const char* version,
                 uint32_t io_buffer_size = 262144);
  bool open_cfile(FILE* file, const LASheader* header, const char* version);
  bool open_stream(ByteStreamOut* stream, const LASheader* header, const char* version);

  // False when the record cannot be written, or a coordinate does not fit
  // the file's 32-bit integers.
  bool write_one_point(const LASpoint* point) override;
  // With `update_npoints`, puts the number of points written into the header.
  int64_t close_output(bool update_npoints = true) override;

 private:
  bool start(ByteStreamOut* stream, const LASheader* header, const char* version);
  bool to_integer(double coordinate, double origin, char axis, int32_t* out);

  int32_t version = 20010712;
  int32_t units = 100;
  double origin[3] = {0.0, 0.0, 0.0};
  bool with_time = false;
  bool with_colour = false;
};

// ATM QFIT: records of 10, 12 or 14 32-bit words with time in milliseconds,
// latitude and longitude in millionths of a degree and elevation in
// millimetres. The points must lie in longitude and latitude.
class LASwriterQFIT : public LASwriterBinarySide {
 public:
  LASwriterQFIT() = default;
  ~LASwriterQFIT() override;

  // version: the record length 40, 48 or 56; 0 chooses 48 when the header
  // has a "pulse width" attribute, else 40.
  bool open_file(const char* file_name, const LASheader* header, int32_t version,
                 uint32_t io_buffer_size = 65536);
  bool open_cfile(FILE* file, const LASheader* header, int32_t version);
  bool open_stream(ByteStreamOut* stream, const LASheader* header, int32_t version);

  bool write_one_point(const LASpoint* point) override;
  int64_t close_output(bool update_npoints = true) override;

 private:
  bool start(ByteStreamOut* stream, const LASheader* header, int32_t version);
  bool word_of(double value, double unit, const char* what, int32_t* out);

  const LASheader* header = nullptr;
  int32_t record_length = 40;
  bool raw_coordinates = false;
  int32_t scan_azimuth_start = -1;
  int32_t pitch_start = -1;
  int32_t roll_start = -1;
  int32_t pulse_width_start = -1;
};

#endif  // POINTLIB_IO_FORMATS_LAS_WRITERS_BINARY_HPP
