#include "io/formats/parsed_reader.hpp"
#include "platform/run_messages.hpp"

#include <cinttypes>
#include <cstdio>

int32_t LASreaderParsed::take_point_type(uint8_t requested_type, const char* parse) {
  const uint8_t format = requested_type == 0 ? side_format_for_parse_string(parse) : requested_type;
  const int32_t length = side_base_record_length(format);
  if (length == 0) return 0;
  point_type = format;
  fields.point_type = format;
  header.point_data_format = format;
  return length;
}

bool LASreaderParsed::add_pending_attributes() {
  if (!pending.add_to_header(&header)) return false;
  fields.attributes = &header;
  fields.pre_scales = pending.pre_scales;
  fields.pre_offsets = pending.pre_offsets;
  return true;
}

bool LASreaderParsed::next_parsed_line(const char* parse) {
  bool cut = false;
  while (lines_left != 0 && input.read_line(line, &cut)) {
    if (lines_left > 0) lines_left--;
    const char* end = nullptr;
    // The last value of a cut line may itself be cut.
    if (text_parse_line(line, parse, fields, &point, &end) && !(cut && *end == '\0')) return true;
    print_note("WARNING: cannot parse '%s' with '%s'. skipping ...\n", line, parse);
  }
  return false;
}

bool LASreaderParsed::quantize_point() {
  const int64_t X = header.get_X64(point.coordinates[0]);
  const int64_t Y = header.get_Y64(point.coordinates[1]);
  const int64_t Z = header.get_Z64(point.coordinates[2]);
  if (LASscaler::fits32(X) && LASscaler::fits32(Y) && LASscaler::fits32(Z)) {
    point.X = static_cast<int32_t>(X);
    point.Y = static_cast<int32_t>(Y);
    point.Z = static_cast<int32_t>(Z);
    return true;
  }
  print_note(
      "WARNING: point %g %g %g cannot be held by 32-bit integers with scale factors %g %g "
      "%g and offsets %g %g %g. skipping ...\n",
      point.coordinates[0], point.coordinates[1], point.coordinates[2], header.x_scale_factor,
      header.y_scale_factor, header.z_scale_factor, header.x_offset, header.y_offset,
      header.z_offset);
  return false;
}

bool LASreaderParsed::apply_variant() {
  const LASscaler own = header;
  variant.replace(&header);
  // Without a populate pass the box is only the first point's: points that
  // cannot be held are skipped as they come.
  return !populated_header || side_quantization_holds(header, own);
}

char LASreaderParsed::missing_coordinate(const std::string& parse) {
  for (char c : {'x', 'y', 'z'}) {
    if (parse.find(c) == std::string::npos) return c;
  }
  return 0;
}

bool LASreaderParsed::read_up_to(int64_t index) {
  while (p_count < index) {
    if (!read_one_point()) return false;
  }
  p_count = index;
  return true;
}

void LASreaderParsed::warn_end_of_file(int64_t read, int64_t stated) {
  end_short("WARNING: end-of-file after %" PRId64 " of %" PRId64 " points\n", read,
               stated);
}
