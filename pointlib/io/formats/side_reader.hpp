#ifndef POINTLIB_IO_FORMATS_SIDE_READER_HPP
#define POINTLIB_IO_FORMATS_SIDE_READER_HPP

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

#endif  // POINTLIB_IO_FORMATS_SIDE_READER_HPP
