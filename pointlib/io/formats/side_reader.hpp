#ifndef POINTLIB_IO_FORMATS_SIDE_READER_HPP
#define POINTLIB_IO_FORMATS_SIDE_READER_HPP

#include <cstdint>
#include <cstdio>
#include <memory>

#include "core/byte_stream_in.hpp"
#include "core/las_reader.hpp"
#include "io/formats/side_input.hpp"
#include "io/formats/side_variants.hpp"

// Base of the readers of the point and raster formats that the read opener
// reaches by name: Terrasolid BIN, shapefile, QFIT, ASCII grid, BIL and DTM.
// Each builds a LAS header for a file that has none.
class LASreaderSide : public LASreader {
 public:
  // Scale factors and offsets asked for (three doubles, copied; null removes
  // them). The raster readers quantize with them from the start, a 0 leaving
  // that axis to the default rule; the point readers put them into the header
  // their file's quantization gave (each scale factor that is not 0, then
  // each offset) and re-quantize every point to them.
  void set_scale_factor(const double* xyz) { requested.set_scale_factor(xyz); }
  void set_offset(const double* xyz) { requested.set_offset(xyz); }
  void request_rescale(const double* xyz) { set_scale_factor(xyz); }
  void request_reoffset(const double* xyz) { set_offset(xyz); }

  // The format's open by name, and its opening again before the first point
  // for a second pass; false after the format's message.
  virtual bool open_name(const char* file_name) = 0;
  virtual bool reopen_name(const char* file_name) = 0;

 protected:
  LASrequestedQuantizer requested;
};

// Base of the readers of a byte stream they seek in (BIN, QFIT): the file and
// the stream, and the quantization of the file's own integers, to which the
// header's differs only when other scale factors or offsets were requested;
// the points are then brought to the header's.
class LASreaderSideStream : public LASreaderSide {
 public:
  ~LASreaderSideStream() override { close_input(true); }
  ByteStreamIn* input_stream() const override { return stream.get(); }
  void close_input(bool close_stream = true) override;

 protected:
  // The named file as the reader's own stream; false after the message of
  // side_open_binary.
  bool open_stream_file(const char* file_name, const char* verb, int buffer_size);
  // A stream handed over, which the reader then owns.
  void take_stream(ByteStreamIn* given);
  // Once the header holds the file's quantization and the box of its points:
  // puts the requested scale factors and offsets in; false, after a message,
  // when the box cannot be held that way.
  bool settle_quantization();
  // Moves to record `index` of records of `size` bytes from `first`; false
  // for an index outside the points.
  bool seek_record(int64_t index, int64_t first, int64_t size);
  void set_xyz(int32_t x, int32_t y, int32_t z) {
    if (requantize) {
      point.X = header.get_X(file_quantizer.get_x(x));
      point.Y = header.get_Y(file_quantizer.get_y(y));
      point.Z = header.get_Z(file_quantizer.get_z(z));
    } else {
      point.X = x;
      point.Y = y;
      point.Z = z;
    }
  }

  FILE* file = nullptr;
  std::unique_ptr<ByteStreamIn> stream;
  LASscaler file_quantizer;
  bool requantize = false;
};

#endif  // POINTLIB_IO_FORMATS_SIDE_READER_HPP
