#include "io/formats/las_writers_text.hpp"

#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstring>

#include "core/las_header.hpp"
#include "io/formats/side_writer.hpp"
#include "platform/file_identity.hpp"
#include "platform/run_messages.hpp"

namespace {

// Text output goes through a larger stdio buffer than the default: lines are
// short and many.
constexpr size_t kTextBufferSize = 262144;

template <typename T>
void append_integer(std::string& out, T value) {
  char buffer[24];
  const auto r = std::to_chars(buffer, buffer + sizeof(buffer), value);
  out.append(buffer, r.ptr);
}

constexpr double kPowersOfTen[10] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

// "%.<decimals>f" (1 to 9 decimals) of a value that lies within a thousandth
// of its last decimal of a number with that many decimals, as quantized
// coordinates and times do: the digits are those of that number, which the
// integer formatting gives far faster than the general one. False (nothing
// appended) for any other value, or one so large that the closeness cannot be
// told in double precision.
bool append_fixed_exact(std::string& out, double value, int decimals) {
  const double unit = kPowersOfTen[decimals];
  const double scaled = value * unit;
  if (!(std::fabs(scaled) < 1e12)) return false;
  const double nearest = std::round(scaled);
  if (std::fabs(scaled - nearest) > 1e-3) return false;
  const uint64_t digits = static_cast<uint64_t>(std::fabs(nearest));
  char buffer[32];
  char* end = buffer + sizeof(buffer);
  char* p = end;
  uint64_t v = digits;
  for (int k = 0; k < decimals; k++) {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  *--p = '.';
  do {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  // printf keeps the sign of a negative value that rounds to zero ("-0.00").
  if (std::signbit(value)) *--p = '-';
  out.append(p, end);
  return true;
}

void append_fixed(std::string& out, double value, int decimals) {
  if (decimals >= 1 && decimals <= 9 && append_fixed_exact(out, value, decimals)) return;
  // Wide enough for the largest double in fixed notation with 15 decimals.
  char buffer[400];
  const auto r =
      std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed, decimals);
  if (r.ec == std::errc()) out.append(buffer, r.ptr);
}

// "%.<decimals>f" with trailing zeros and then a trailing point removed.
void append_fixed_trimmed(std::string& out, double value, int decimals) {
  const size_t start = out.size();
  append_fixed(out, value, decimals);
  if (out.find('.', start) == std::string::npos) return;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
}

// "%.<digits>g".
void append_general_digits(std::string& out, double value, int digits) {
  char buffer[64];
  const auto r =
      std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, digits);
  if (r.ec == std::errc()) out.append(buffer, r.ptr);
}

// "%g", or as many more significant digits as it takes for the text to read
// back as the same value (9 at most for single, 17 for double precision): a
// text copy must not round away what the binary value holds.
void append_general(std::string& out, double value, bool single) {
  char buffer[64];
  const int most = single ? 9 : 17;
  for (int digits = 6;; digits++) {
    const auto r =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, digits);
    if (r.ec != std::errc()) return;
    bool exact = digits >= most;
    if (!exact) {
      if (single) {
        float back = 0.0f;
        exact = std::from_chars(buffer, r.ptr, back).ec == std::errc() &&
                back == static_cast<float>(value);
      } else {
        double back = 0.0;
        exact = std::from_chars(buffer, r.ptr, back).ec == std::errc() && back == value;
      }
    }
    if (exact) {
      out.append(buffer, r.ptr);
      return;
    }
  }
}

struct Separator {
  const char* name;
  char character;
};

const Separator kSeparators[] = {
    {"comma", ','},     {"tab", '\t'},   {"dot", '.'},   {"period", '.'}, {"colon", ':'},
    {"semicolon", ';'}, {"hyphen", '-'}, {"minus", '-'}, {"space", ' '},
};

const char* const kParseHelp[] = {
    "       'x' : the x coordinate\n",
    "       'y' : the y coordinate\n",
    "       'z' : the z coordinate\n",
    "       't' : the gps time\n",
    "       'R' : the red channel of the RGB field\n",
    "       'G' : the green channel of the RGB field\n",
    "       'B' : the blue channel of the RGB field\n",
    "       'I' : the NIR channel of LAS 1.4 point types 8 and 10\n",
    "       's' : a string or a number that we don't care about\n",
    "       'i' : the intensity\n",
    "       'a' : the scan angle\n",
    "       'n' : the number of returns of that given pulse\n",
    "       'r' : the number of the return\n",
    "       'c' : the classification\n",
    "       'u' : the user data\n",
    "       'p' : the point source ID\n",
    "       'e' : the edge of flight line flag\n",
    "       'd' : the direction of scan flag\n",
    "       'h' : the withheld flag\n",
    "       'k' : the keypoint flag\n",
    "       'g' : the synthetic flag\n",
    "       'o' : the overlap flag\n",
    "       'l' : the scanner channel\n",
    "       'M' : the index of the point\n",
    "       'w' : the wavepacket descriptor index\n",
    "       'W' : all wavepacket attributes\n",
    "       'X' : the unscaled and unoffset integer x coordinate\n",
    "       'Y' : the unscaled and unoffset integer y coordinate\n",
    "       'Z' : the unscaled and unoffset integer z coordinate\n",
};

// 'm' (the point's index from 0) is taken although the help does not show it.
constexpr const char* kLetters = "BGIMRWXYZacdeghiklmnoprstuwxyz";

const LASvlrRecord* find_dialect_record(const LASheader& header, uint16_t record_id) {
  return header.find_vlr("Mirvelox", record_id);
}

// The parse string kept in a PTS or PTX record: the NUL-terminated text of at
// most 16 bytes at payload byte 16.
std::string dialect_parse_string(const LASvlrRecord& record) {
  const char* text = reinterpret_cast<const char*>(record.data.get() + 16);
  return std::string(text, strnlen(text, 16));
}

double payload_f64(const LASvlrRecord& record, size_t at) {
  double v;
  std::memcpy(&v, record.data.get() + at, 8);
  return v;
}

int64_t payload_i64(const LASvlrRecord& record, size_t at) {
  int64_t v;
  std::memcpy(&v, record.data.get() + at, 8);
  return v;
}

bool is_pts_parse_string(const std::string& parse) {
  return parse == "xyz" || parse == "xyzi" || parse == "xyziRGB" || parse == "xyzRGB";
}

}  // namespace

// ---------------------------------------------------------------------------
// text output

LAStextOutput::~LAStextOutput() {
  if (file && own) std::fclose(file);
}

bool LAStextOutput::open(const char* file_name) {
  if (file_name == nullptr) {
    std::fprintf(stderr, "ERROR: file name pointer is zero\n");
    return false;
  }
  file = std::fopen(file_name, "w");
  if (file == nullptr) {
    std::fprintf(stderr, "ERROR: cannot open file '%s'\n", file_name);
    return false;
  }
  std::setvbuf(file, nullptr, _IOFBF, kTextBufferSize);
  own = true;
  write_failed = false;
  bytes = 0;
  name = file_name;
  return true;
}

bool LAStextOutput::adopt(FILE* stream) {
  if (stream == nullptr) {
    std::fprintf(stderr, "ERROR: file pointer is zero\n");
    return false;
  }
  file = stream;
  own = false;
  write_failed = false;
  bytes = 0;
  name = stream == stdout ? "stdout" : "stream";
  return true;
}

bool LAStextOutput::kept(bool started) {
  if (!started) discard();
  return started;
}

void LAStextOutput::report_failure() {
  if (!write_failed) {
    std::fprintf(stderr, "ERROR: cannot write to '%s': %s\n", name.c_str(), std::strerror(errno));
  }
  write_failed = true;
}

bool LAStextOutput::write(const char* text, size_t size) {
  if (write_failed || file == nullptr) return false;
  errno = 0;
  if (std::fwrite(text, 1, size, file) != size) {
    report_failure();
    return false;
  }
  bytes += static_cast<int64_t>(size);
  return true;
}

bool LAStextOutput::write(const char* text) {
  return write(text, std::strlen(text));
}

int64_t LAStextOutput::close() {
  if (file == nullptr) return -1;
  // Buffered writes fail late: a full disk may show only when the buffer is
  // flushed or the file closed.
  errno = 0;
  if (!write_failed && (std::fflush(file) != 0 || std::ferror(file))) report_failure();
  if (own) {
    errno = 0;
    if (std::fclose(file) != 0) report_failure();
  }
  file = nullptr;
  own = false;
  return write_failed ? -1 : bytes;
}

void LAStextOutput::discard() {
  if (file && own) {
    std::fclose(file);
    remove_regular_file(name.c_str());
  }
  file = nullptr;
  own = false;
}

// ---------------------------------------------------------------------------
// coordinate form

int text_coordinate_decimals(double scale) {
  static const double kScales[] = {0.1,      0.01,      0.001,      0.0001,     0.00001,
                                   0.000001, 0.0000001, 0.00000001, 0.000000001};
  for (int k = 0; k < 9; k++) {
    if (scale == kScales[k]) return k + 1;
  }
  return -1;
}

void text_coordinate_decimals(const LASheader& header, int decimals[3]) {
  decimals[0] = text_coordinate_decimals(header.x_scale_factor);
  decimals[1] = text_coordinate_decimals(header.y_scale_factor);
  decimals[2] = text_coordinate_decimals(header.z_scale_factor);
}

void text_append_coordinate(std::string& out, double value, int decimals) {
  if (decimals > 0) {
    append_fixed(out, value, decimals);
  } else {
    append_fixed_trimmed(out, value, 15);
  }
}

// ---------------------------------------------------------------------------
// LASwriterTXT

LASwriterTXT::~LASwriterTXT() {
  if (output.is_open()) close_output(true);
}

bool LASwriterTXT::open_file(const char* file_name, const LASheader* h, const char* parse,
                             const char* separator_text) {
  return output.open(file_name) && output.kept(start(h, parse, separator_text));
}

bool LASwriterTXT::open_cfile(FILE* file, const LASheader* h, const char* parse,
                              const char* separator_text) {
  return output.adopt(file) && output.kept(start(h, parse, separator_text));
}

bool LASwriterTXT::start(const LASheader* h, const char* parse, const char* separator_text) {
  if (!side_header_given(h)) return false;
  header = h;
  has_parse_string = parse != nullptr;
  parse_string = parse ? parse : "";
  separator = ' ';
  separator_name = "space";
  if (separator_text) {
    bool known = false;
    for (const Separator& s : kSeparators) {
      if (std::strcmp(separator_text, s.name) == 0) {
        separator = s.character;
        known = true;
        break;
      }
    }
    if (!known) {
      std::fprintf(stderr, "ERROR: unknown seperator '%s'\n", separator_text);
      return false;
    }
    separator_name = separator_text;
  }
  if (pts) {
    if (!write_pts_start(parse)) return false;
  } else if (ptx) {
    if (!write_ptx_start(parse)) return false;
  }
  if (!has_parse_string) {
    switch (header->point_data_format) {
      case 1:
      case 4:
        parse_string = "xyzt";
        break;
      case 2:
        parse_string = "xyzRGB";
        break;
      case 3:
      case 5:
        parse_string = "xyztRGB";
        break;
      default:
        parse_string = "xyz";
        break;
    }
    has_parse_string = true;
  }
  if (parse_string.empty()) {
    // Lines without a value could not be told apart or read back.
    std::fprintf(stderr, "ERROR: the parse string is empty\n");
    return false;
  }
  if (!check_parse_string()) return false;
  text_coordinate_decimals(*header, decimals);
  side_begin_points(this, *header);
  return !output.failed();
}

bool LASwriterTXT::write_point_count() {
  char text[48];
  if (header->version_minor >= 4) {
    std::snprintf(text, sizeof(text), "%" PRIu64 "       \n",
                  header->extended_number_of_point_records);
  } else {
    std::snprintf(text, sizeof(text), "%u       \n", header->number_of_point_records);
  }
  return output.write(text);
}

bool LASwriterTXT::write_pts_start(const char* parse) {
  const LASvlrRecord* pts_record = find_dialect_record(*header, 2000);
  const LASvlrRecord* ptx_record = find_dialect_record(*header, 2001);
  const bool wants_original = parse == nullptr || std::strcmp(parse, "original") == 0;
  if (pts_record == nullptr && ptx_record == nullptr) {
    print_note("WARNING: found no VLR with PTS or PTX info.\n");
  } else if (wants_original) {
    const LASvlrRecord* source = nullptr;
    if (pts_record && pts_record->record_length_after_header >= 32) {
      source = pts_record;
    } else if (ptx_record && ptx_record->record_length_after_header >= 32) {
      source = ptx_record;
    }
    if (source) {
      parse_string = dialect_parse_string(*source);
      has_parse_string = true;
    } else if (pts_record) {
      print_note("WARNING: found VLR for PTS with wrong payload size of %d.\n",
                 pts_record->record_length_after_header);
    } else {
      print_note("WARNING: found VLR for PTX with wrong payload size of %d.\n",
                 ptx_record->record_length_after_header);
    }
  }
  drop_unmet_original(parse);
  if (!write_point_count()) return false;
  warn_dialect_form("PTS");
  return true;
}

bool LASwriterTXT::write_ptx_start(const char* parse) {
  const LASvlrRecord* record = find_dialect_record(*header, 2001);
  const bool wants_original = parse == nullptr || std::strcmp(parse, "original") == 0;
  if (record && record->record_length_after_header == 272) {
    if (wants_original) {
      parse_string = dialect_parse_string(*record);
      has_parse_string = true;
    }
    std::string lines;
    append_integer(lines, static_cast<uint32_t>(payload_i64(*record, 32)));
    lines += "     \n";
    append_integer(lines, static_cast<uint32_t>(payload_i64(*record, 40)));
    lines += "     \n";
    // Translation and the three rotation rows, then the four transformation
    // rows: the scanner's position must survive the copy, so each value gets
    // the digits it needs.
    size_t at = 48;
    for (int row = 0; row < 8; row++) {
      const int values = row < 4 ? 3 : 4;
      for (int k = 0; k < values; k++, at += 8) {
        if (k) lines += ' ';
        append_general(lines, payload_f64(*record, at), false);
      }
      lines += '\n';
    }
    if (!output.write(lines)) return false;
  } else {
    if (record == nullptr) {
      print_note("WARNING: found no VLR with PTX info.\n");
    } else {
      print_note("WARNING: found VLR for PTX with wrong payload size of %d.\n",
                 record->record_length_after_header);
    }
    print_note("         outputting PTS instead ...\n");
    drop_unmet_original(parse);
    if (!write_point_count()) return false;
    // The file is PTS now, so its intensities take the PTS form too.
    pts = true;
    ptx = false;
  }
  warn_dialect_form("PTX");
  return true;
}

void LASwriterTXT::drop_unmet_original(const char* parse) {
  if (parse != nullptr && parse_string == "original") {
    has_parse_string = false;
    parse_string.clear();
  }
}

void LASwriterTXT::warn_dialect_form(const char* dialect) const {
  if (has_parse_string && !is_pts_parse_string(parse_string)) {
    print_note(
        "WARNING: the parse string for %s should be 'xyz', 'xyzi', 'xyziRGB', or "
        "'xyzRGB'\n",
        dialect);
  }
  if (separator != ' ') {
    print_note("WARNING: the separator for %s should be 'space' not '%s'\n", dialect,
               separator_name.c_str());
  }
}

bool LASwriterTXT::check_parse_string() {
  for (const char c : parse_string) {
    if (c >= '0' && c <= '9') {
      const int n = c - '0';
      if (n >= header->number_attributes) {
        std::fprintf(stderr, "ERROR: extra bytes attribute '%d' does not exist.\n", n);
        return false;
      }
      attribute_starts[n] = header->attribute_starts[static_cast<size_t>(n)];
    } else if (c == '\0' || std::strchr(kLetters, c) == nullptr) {
      std::fprintf(stderr, "ERROR: unknown symbol '%c' in parse string. valid are\n", c);
      for (const char* help : kParseHelp) std::fprintf(stderr, "%s", help);
      return false;
    }
  }
  return true;
}

bool LASwriterTXT::write_one_point(const LASpoint* point) {
  p_count++;
  line.clear();
  bool first = true;
  for (const char letter : parse_string) {
    if (!first) line += separator;
    first = false;
    append_field(letter, *point);
  }
  line += '\n';
  return output.write(line);
}

void LASwriterTXT::append_intensity(const LASpoint& point) {
  if (pts) {
    append_integer(line, int32_t{point.intensity} - 2048);
  } else if (ptx) {
    const float value = point.intensity * 0.00024420026f;
    append_fixed_trimmed(line, value, 3);
  } else {
    append_integer(line, point.intensity);
  }
}

void LASwriterTXT::append_field(char letter, const LASpoint& point) {
  // Points of the extended formats keep their return numbers, class, flags
  // and scan angle in the extended fields, which are wider than the legacy
  // ones; writing the legacy ones would cut them.
  const bool extended = point.is_extended_point();
  switch (letter) {
    case 'x':
      return text_append_coordinate(line, header->get_x(point.X), decimals[0]);
    case 'y':
      return text_append_coordinate(line, header->get_y(point.Y), decimals[1]);
    case 'z':
      return text_append_coordinate(line, header->get_z(point.Z), decimals[2]);
    case 'X':
      return append_integer(line, point.X);
    case 'Y':
      return append_integer(line, point.Y);
    case 'Z':
      return append_integer(line, point.Z);
    case 't':
      return append_fixed(line, point.gps_time, 6);
    case 'i':
      return append_intensity(point);
    case 'a':
      if (extended) return append_fixed_trimmed(line, point.extended_scan_angle * 0.006, 3);
      return append_integer(line, int32_t{point.scan_angle_rank});
    case 'r':
      return append_integer(
          line, extended ? point.get_extended_return_number() : point.get_return_number());
    case 'n':
      return append_integer(
          line, extended ? point.get_extended_number_of_returns() : point.get_number_of_returns());
    case 'c':
      return append_integer(
          line, extended ? point.get_extended_classification() : point.get_classification());
    case 'u':
      return append_integer(line, point.user_data);
    case 'p':
      return append_integer(line, point.point_source_ID);
    case 'e':
      return append_integer(line, point.get_edge_of_flight_line());
    case 'd':
      return append_integer(line, point.get_scan_direction_flag());
    case 'h':
      return append_integer(
          line, extended ? point.get_extended_withheld_flag() : point.get_withheld_flag());
    case 'k':
      return append_integer(
          line, extended ? point.get_extended_keypoint_flag() : point.get_keypoint_flag());
    case 'g':
      return append_integer(
          line, extended ? point.get_extended_synthetic_flag() : point.get_synthetic_flag());
    case 'o':
      return append_integer(line, point.get_extended_overlap_flag());
    case 'l':
      return append_integer(line, point.get_extended_scanner_channel());
    case 'w':
      return append_integer(line, point.wavepacket.get_index());
    case 'W': {
      const LASwaveformPacket& w = point.wavepacket;
      append_integer(line, w.get_index());
      line += separator;
      append_integer(line, w.get_offset());
      line += separator;
      append_integer(line, w.get_size());
      line += separator;
      append_general_digits(line, w.get_location(), 6);
      line += separator;
      append_general_digits(line, w.get_xt(), 15);
      line += separator;
      append_general_digits(line, w.get_yt(), 15);
      line += separator;
      append_general_digits(line, w.get_zt(), 15);
      return;
    }
    case 'R':
    case 'G':
    case 'B':
    case 'I': {
      const int channel = letter == 'R' ? 0 : letter == 'G' ? 1 : letter == 'B' ? 2 : 3;
      if (scale_rgb == 1.0f) return append_integer(line, point.rgb[channel]);
      return append_fixed(line, point.rgb[channel] * scale_rgb, 2);
    }
    case 'M':
      return append_integer(line, p_count);
    case 'm':
      return append_integer(line, p_count - 1);
    case 's':
      return;
    default:
      if (letter >= '0' && letter <= '9') append_attribute(letter - '0', point);
      return;
  }
}

void LASwriterTXT::append_attribute(int index, const LASpoint& point) {
  const LASattributeDescriptor& d = header->attributes[static_cast<size_t>(index)];
  const int32_t start = attribute_starts[index];
  const int32_t size = d.byte_size();
  // A header whose attributes do not fit the points handed over: nothing to read.
  if (!point.extra_bytes || start < 0 || size <= 0 || start + size > point.extra_bytes_number) {
    return;
  }
  const uint8_t type = d.data_type;
  if (type == 0 || type == 7 || type == 8 || type > 10) {
    print_note("WARNING: attribute %d not (yet) implemented.\n", index);
    return;
  }
  // The value with the descriptor's scale and offset, each where its bit says so.
  const double number = d.value_as_double(point.extra_bytes.get() + start);
  const bool scaled =
      d.options & (LASattributeDescriptor::kScaleBit | LASattributeDescriptor::kOffsetBit);
  if (scaled || type >= 9) return append_general(line, number, !scaled && type == 9);
  append_integer(line, static_cast<int64_t>(number));
}

int64_t LASwriterTXT::close_output(bool) {
  const int64_t bytes = output.close();
  side_end_points(this);
  return bytes;
}

// ---------------------------------------------------------------------------
// LASwriterWRL

LASwriterWRL::~LASwriterWRL() {
  if (output.is_open()) close_output(true);
}

bool LASwriterWRL::open_file(const char* file_name, const LASheader* h, const char* parse) {
  return output.open(file_name) && output.kept(start(h, parse));
}

bool LASwriterWRL::open_cfile(FILE* file, const LASheader* h, const char* parse) {
  return output.adopt(file) && output.kept(start(h, parse));
}

bool LASwriterWRL::start(const LASheader* h, const char* parse) {
  if (!side_header_given(h)) return false;
  header = h;
  const bool asked = parse == nullptr || std::strstr(parse, "RGB") != nullptr;
  with_colours = asked && side_format_has_rgb(header->point_data_format);
  if (asked && parse != nullptr && !with_colours) {
    print_note("WARNING: points do not have RGB colors\n");
  }
  colours.clear();
  if (with_colours) colours.reserve(3 * 1024);
  text_coordinate_decimals(*header, decimals);
  side_begin_points(this, *header);
  output.write("Shape {\n");
  if (!with_colours) {
    output.write(
        "\tappearance Appearance {\n"
        "\t\tmaterial Material {\n"
        "\t\t\temissiveColor .5 .2 .7\n"
        "\t\t}\n"
        "\t}\n");
  }
  return output.write(
      "\tgeometry PointSet {\n"
      "\t\tcoord Coordinate {\n"
      "\t\t\tpoint [\n");
}

bool LASwriterWRL::write_one_point(const LASpoint* point) {
  line.clear();
  text_append_coordinate(line, header->get_x(point->X), decimals[0]);
  line += ' ';
  text_append_coordinate(line, header->get_y(point->Y), decimals[1]);
  line += ' ';
  text_append_coordinate(line, header->get_z(point->Z), decimals[2]);
  line += '\n';
  if (with_colours) {
    for (int k = 0; k < 3; k++) {
      const uint16_t c = point->rgb[k];
      colours.push_back(static_cast<uint8_t>(c > 255 ? c >> 8 : c));
    }
  }
  p_count++;
  return output.write(line);
}

int64_t LASwriterWRL::close_output(bool) {
  if (!output.is_open()) return -1;
  output.write("\t\t\t]\n\t\t}\n");
  if (with_colours) {
    output.write("\t\tcolor Color {\n\t\t\tcolor [\n");
    // A channel is one of 256 bytes: each is formatted once.
    std::vector<std::string> channel(256);
    for (size_t c = 0; c < 256; c++) append_fixed(channel[c], c * 0.003921569f, 2);
    for (size_t i = 0; i + 2 < colours.size() && !output.failed(); i += 3) {
      line.clear();
      line += channel[colours[i]];
      line += ' ';
      line += channel[colours[i + 1]];
      line += ' ';
      line += channel[colours[i + 2]];
      line += '\n';
      output.write(line);
    }
    output.write("\t\t\t]\n\t\t}\n");
  }
  output.write("\t}\n}\n");
  const int64_t bytes = output.close();
  colours.clear();
  colours.shrink_to_fit();
  side_end_points(this);
  return bytes;
}
