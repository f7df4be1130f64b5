#ifndef POINTLIB_IO_FORMATS_TEXT_PARSE_HPP
#define POINTLIB_IO_FORMATS_TEXT_PARSE_HPP

#include <cstdint>

class LASattributeTable;
class LASpoint;

// What the values of one line of point text hold, letter by letter: the
// parse-string vocabulary shared by the text reader, the PLY reader's ASCII
// body and the text writer.
struct LAStextFields {
  // Point format of the reader: below 6 the 3-bit legacy return fields are
  // set, from 6 on the 4-bit extended ones.
  uint8_t point_type = 0;
  // A translation of 0 and a scale of 1 mean none.
  float translate_intensity = 0.0f;
  float scale_intensity = 1.0f;
  float translate_scan_angle = 0.0f;
  float scale_scan_angle = 1.0f;
  // The header's extra-bytes attributes; pre_scales and pre_offsets hold one
  // value per attribute (null: 1.0 and 0.0).
  const LASattributeTable* attributes = nullptr;
  const double* pre_scales = nullptr;
  const double* pre_offsets = nullptr;
  // Silences the warnings about values out of range (a pass that only counts
  // and measures the points, which the reading pass warns about again).
  bool quiet = false;
};

// Checks a parse string at open: every letter known, every attribute digit or
// "(N)" described in `attributes`. False after an "ERROR: ..." message (the
// unknown letter also lists the valid ones).
bool text_check_parse_string(const char* parse_string, const LASattributeTable& attributes);

// Parses one line (no line end) into the point: x, y and z into its
// coordinate triple, the other letters into their fields; fields that no
// letter names keep their values. Out-of-range values are stored clamped or
// masked with a warning. False when the line does not parse (too few tokens,
// a value that does not scan, a coordinate that is no finite number, an
// attribute that cannot be stored). When
// `end` is given it receives where the last value read ended.
bool text_parse_line(const char* line, const char* parse_string, const LAStextFields& fields,
                     LASpoint* point, const char** end = nullptr);

// Stores an intensity after the translation and scale: 0 below 0, rounded
// (low 16 bits) above, with a warning outside 0..65535.
void text_store_intensity(float value, const LAStextFields& fields, LASpoint* point);

// Stores a parsed value of attribute `index` into the point's extra bytes by
// the attribute's data type, after its pre_scale and pre_offset; false when
// it cannot (no such attribute, a 64-bit integer type).
bool text_store_attribute(int32_t index, double value, const LAStextFields& fields,
                          LASpoint* point);

#endif  // POINTLIB_IO_FORMATS_TEXT_PARSE_HPP
