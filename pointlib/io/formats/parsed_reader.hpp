#ifndef POINTLIB_IO_FORMATS_PARSED_READER_HPP
#define POINTLIB_IO_FORMATS_PARSED_READER_HPP

#include <cstdint>
#include <string>

#include "core/las_reader.hpp"
#include "io/formats/side_input.hpp"
#include "io/formats/text_parse.hpp"

// Base of the text and PLY readers, whose points are filled value by value
// through the letters of a parse string: the input (a file, an archive
// through its decompressor, or a stream handed over), the line buffer, the
// conversions of the values, the attributes declared before the open, and
// the quantization asked for (chosen from during the open) and the one the
// variants ask for (put into the header after an open by name).
class LASreaderParsed : public LASreader {
 public:
  // Setters, before opening. A translation of 0 and a scale of 1 mean none.
  void set_translate_intensity(float v) { fields.translate_intensity = v; }
  void set_scale_intensity(float v) { fields.scale_intensity = v; }
  // Three doubles, copied; null removes them. A 0 keeps that axis's choice.
  void set_scale_factor(const double* xyz) { requested.set_scale_factor(xyz); }
  void set_offset(const double* xyz) { requested.set_offset(xyz); }
  // What the variants ask for: put into the header after an open by name
  // (each scale factor that is not 0, then each offset).
  void request_rescale(const double* xyz) { variant.set_scale_factor(xyz); }
  void request_reoffset(const double* xyz) { variant.set_offset(xyz); }

  ByteStreamIn* input_stream() const override { return nullptr; }
  // The decompressor of a piped input failed: the points ended early.
  bool failed() const override { return input.failed() || ended_short(); }

  bool is_piped() const { return input.piped; }
  const char* get_parse_string() const { return parse_string.c_str(); }

 protected:
  // The point format asked for, or the one the letters of `parse` need when
  // 0, as the point type, the fields' and the header's; its base record
  // length (0, changing nothing, for a format no text can fill).
  int32_t take_point_type(uint8_t requested_type, const char* parse);
  // The declared attributes into the header, and the fields pointed at them;
  // false after the message of a failed one.
  bool add_pending_attributes();
  // Reads lines until one parses with `parse`, warning about each that does
  // not; false at the end of the input or of the lines allowed.
  bool next_parsed_line(const char* parse);
  // X, Y and Z of the point from its coordinates; false, with a warning,
  // when the header's quantization cannot hold them (the point is skipped).
  bool quantize_point();
  // The variant's scale factors and offsets into the header after an open by
  // name; false, after the message, when they cannot hold the counted box.
  bool apply_variant();
  // The first of x, y and z that a parse string does not name (0: none is
  // missing); its points would sit at an invented 0.
  static char missing_coordinate(const std::string& parse);
  // Reads on until point `index` is the next; false when the points end first.
  bool read_up_to(int64_t index);
  // "WARNING: end-of-file after <read> of <stated> points"; the input is short.
  void warn_end_of_file(int64_t read, int64_t stated);

  LASsideInput input;
  LAStextFields fields;
  uint8_t point_type = 0;
  std::string parse_string;
  LASrequestedQuantizer requested;
  LASrequestedQuantizer variant;
  bool populated_header = false;
  char line[LASsideInput::kLineSize] = {};
  // Lines that may still be read as points (a PTX scan's); -1: no limit.
  int64_t lines_left = -1;
  LASpendingAttributes pending;
};

#endif  // POINTLIB_IO_FORMATS_PARSED_READER_HPP
