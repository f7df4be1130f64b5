#include "io/formats/las_reader_txt.hpp"
#include "platform/run_messages.hpp"

#include <cinttypes>
#include <cstring>
#include <memory>

namespace {

constexpr int64_t kMaxLegacyCount = INT64_C(4294967295);

// Version 1.2 with its 227-byte header for legacy formats and counts that
// fit, else 1.4 with 375 bytes; the records already added stay before the
// points.
void set_header_version(LASheader* h, bool v14) {
  uint32_t records = 0;
  for (const LASvlrRecord& v : h->vlrs) records += 54 + v.record_length_after_header;
  h->version_minor = v14 ? 4 : 2;
  h->header_size = v14 ? 375 : 227;
  h->offset_to_point_data = h->header_size + records;
}

void set_header_counts(LASheader* h, int64_t count, uint8_t point_type) {
  if (count < 0) count = 0;
  const bool v14 = count > kMaxLegacyCount || point_type > 5;
  set_header_version(h, v14);
  h->number_of_point_records = v14 ? 0 : static_cast<uint32_t>(count);
  h->extended_number_of_point_records = v14 ? static_cast<uint64_t>(count) : 0;
}

struct PtxLine {
  int values;
  const char* missing;
  const char* unparsed;
};
const PtxLine kPtxLines[10] = {
    {1, "ERROR: reading line with number of cols\n", "ERROR: parsing number of cols\n"},
    {1, "ERROR: reading line with number of rows\n", "ERROR: parsing number of rows\n"},
    {3, "ERROR: reading line with translation\n", "ERROR: parsing translation\n"},
    {3, "ERROR: reading line with rotation row 0\n", "ERROR: parsing rotation row 0\n"},
    {3, "ERROR: reading line with rotation row 1\n", "ERROR: parsing rotation row 1\n"},
    {3, "ERROR: reading line with rotation row 2\n", "ERROR: parsing rotation row 2\n"},
    {4, "ERROR: reading line with transformation row 0\n", "ERROR: parsing transformation row 0\n"},
    {4, "ERROR: reading line with transformation row 1\n", "ERROR: parsing transformation row 1\n"},
    {4, "ERROR: reading line with transformation row 2\n", "ERROR: parsing transformation row 2\n"},
    {4, "ERROR: reading line with transformation row 3\n", "ERROR: parsing transformation row 3\n"},
};

template <typename T>
void put(uint8_t* payload, size_t at, T value) {
  std::memcpy(payload + at, &value, sizeof(T));
}

// The first 32 bytes of the PTS and PTX records.
void put_dialect_start(uint8_t* payload, float translate, float scale, const std::string& parse) {
  put(payload, 0, translate);
  put(payload, 4, scale);
  std::strncpy(reinterpret_cast<char*>(payload + 16), parse.c_str(), 15);
}

}  // namespace

LASreaderTXT::LASreaderTXT() = default;

LASreaderTXT::~LASreaderTXT() {
  input.close();
}

void LASreaderTXT::set_pts(bool flag) {
  pts = flag;
  if (flag) {
    fields.translate_intensity = 2048.0f;
    fields.scale_intensity = 1.0f;
  }
}

void LASreaderTXT::set_ptx(bool flag) {
  ptx = flag;
  if (flag) {
    fields.translate_intensity = 0.0f;
    fields.scale_intensity = 4095.0f;
  }
}

void LASreaderTXT::add_attribute(int32_t data_type, const char* name, const char* description,
                                 double scale, double offset_value, double pre_scale,
                                 double pre_offset, double no_data) {
  pending.add(data_type, name, description, scale, offset_value, pre_scale, pre_offset, no_data);
}

bool LASreaderTXT::open_file(const char* file_name, uint8_t requested_type, const char* parse,
                             int32_t skip, bool populate_header) {
  if (!input.open_named(file_name, "r", "open")) return false;
  if (!open(input.file, file_name, requested_type, parse, skip, populate_header)) return false;
  return apply_variant();
}

bool LASreaderTXT::choose_point_type(uint8_t requested_type, const char* parse) {
  const int32_t length = take_point_type(requested_type, parse);
  if (length == 0) return false;
  header.point_data_record_length = static_cast<uint16_t>(length + header.total_attribute_size());
  return point.init_for_point_type(&header, header.point_data_format,
                                   header.point_data_record_length, &header);
}

bool LASreaderTXT::open(FILE* stream, const char* file_name, uint8_t requested_type,
                        const char* parse, int32_t skip, bool populate_header) {
  if (stream == nullptr) {
    std::fprintf(stderr, "ERROR: file pointer is zero\n");
    return false;
  }
  input.adopt(stream);
  parse_string.clear();
  populated_header = false;
  header_counted = false;
  stated_points = 0;
  header.reset();
  npoints = 0;
  p_count = 0;

  lines_left = -1;
  ptx_ended = false;

  // PTX lines carry an intensity after the coordinates.
  if (parse == nullptr) parse = ptx ? "xyzi" : "xyz";
  if (!add_pending_attributes()) return false;
  if (!text_check_parse_string(parse, header)) return false;
  if (const char c = missing_coordinate(parse)) {
    std::fprintf(stderr, "ERROR: parse string '%s' has no '%c' for the %c coordinate\n", parse, c,
                 c);
    return false;
  }
  side_header_identity(&header, "LASreaderTXT", file_name, 2019);
  if (!choose_point_type(requested_type, parse)) return false;

  parse_string = parse;
  skip_lines = skip;
  if (populate_header && file_name && !populate(file_name)) return false;

  if (!input.skip_lines(skip_lines)) {
    std::fprintf(stderr, "ERROR: could not parse any lines with '%s'\n", parse_string.c_str());
    input.close();
    return false;
  }
  if (!read_dialect_header(true, false)) return false;
  if (!pts && !ptx && !populated_header) set_header_version(&header, point_type > 5);
  if (header.number_attributes > 0) header.update_extra_bytes_vlr();
  return first_point(parse_string.c_str());
}

bool LASreaderTXT::read_dialect_header(bool record, bool announce) {
  if (pts) {
    if (!input.read_line(line)) {
      std::fprintf(stderr, "ERROR: reading PTS header for '-itps'\n");
      return false;
    }
    if (record && populated_header) {
      // counted already
    } else {
      long long count = 0;
      if (std::sscanf(line, "%lld", &count) != 1) {
        std::fprintf(stderr, "ERROR: parsing number of points for '-itps'\n");
        return false;
      }
      if (announce) print_note("PTS header states %lld points. ignoring ...\n", count);
      if (record) {
        // A stated count is not trusted as the number of points: a reader
        // that sizes memory by npoints counts them while reading instead.
        stated_points = count < 0 ? 0 : count;
        set_header_counts(&header, stated_points, point_type);
      }
    }
    if (record) {
      std::unique_ptr<uint8_t[]> payload(new uint8_t[32]());
      put_dialect_start(payload.get(), fields.translate_intensity, fields.scale_intensity,
                        parse_string);
      header.insert_vlr("Mirvelox", 2000, 32, std::move(payload));
    }
  } else if (ptx) {
    double values[2 + 3 + 9 + 16];
    double* next = values;
    int cols = 0, rows = 0;
    for (int k = 0; k < 10; k++) {
      const PtxLine& row = kPtxLines[k];
      if (!input.read_line(line)) {
        std::fprintf(stderr, "%s", row.missing);
        return false;
      }
      int scanned;
      if (k == 0) {
        scanned = std::sscanf(line, "%d", &cols);
      } else if (k == 1) {
        scanned = std::sscanf(line, "%d", &rows);
      } else if (row.values == 3) {
        scanned = std::sscanf(line, "%lf %lf %lf", next, next + 1, next + 2);
      } else {
        scanned = std::sscanf(line, "%lf %lf %lf %lf", next, next + 1, next + 2, next + 3);
      }
      if (scanned != row.values) {
        std::fprintf(stderr, "%s", row.unparsed);
        return false;
      }
      if (k >= 2) next += row.values;
    }
    const int64_t product = static_cast<int64_t>(cols) * rows;
    // The scan ends after its grid of lines: a next scan's header lines are
    // no points, and its points another scan's local coordinates.
    lines_left = product > 0 ? product : -1;
    if (announce) {
      print_note("PTX header states %d cols by %d rows aka %" PRId64 " points. ignoring ...\n",
                 cols, rows, product);
    }
    if (record) {
      if (!populated_header) {
        stated_points = product < 0 ? 0 : product;
        set_header_counts(&header, stated_points, point_type);
      }
      std::unique_ptr<uint8_t[]> payload(new uint8_t[272]());
      put_dialect_start(payload.get(), fields.translate_intensity, fields.scale_intensity,
                        parse_string);
      put(payload.get(), 32, static_cast<int64_t>(cols));
      put(payload.get(), 40, static_cast<int64_t>(rows));
      std::memcpy(payload.get() + 48, values, 28 * sizeof(double));
      header.insert_vlr("Mirvelox", 2001, 272, std::move(payload));
    }
  }
  return true;
}

bool LASreaderTXT::populate(const char* file_name) {
  if (!input.skip_lines(skip_lines) || !read_dialect_header(false, true)) {
    if (pts || ptx) return false;
  }
  int64_t count = 0;
  bool above_five = false;
  // The whole parse string, so that the box and the count are those of the
  // lines the reading pass delivers; it warns about their values itself.
  fields.quiet = true;
  while (next_parsed_line(parse_string.c_str())) {
    side_widen_bounds(&header, point, count == 0);
    count++;
    const uint8_t r =
        point_type > 5 ? point.get_extended_return_number() : point.get_return_number();
    if (r > 0) header.extended_number_of_points_by_return[r - 1]++;
    if (r > 5) above_five = true;
  }
  fields.quiet = false;
  warn_more_scans();
  if (count == 0) {
    std::fprintf(stderr, "ERROR: could not parse any lines with '%s'\n", parse_string.c_str());
    input.close();
    return false;
  }
  print_note("counted %" PRId64 " points in populate pass.\n", count);
  if (point_type < 6 && count <= kMaxLegacyCount && !above_five) {
    set_header_version(&header, false);
    header.number_of_point_records = static_cast<uint32_t>(count);
    for (int r = 0; r < 5; r++) {
      header.number_of_points_by_return[r] =
          static_cast<uint32_t>(header.extended_number_of_points_by_return[r]);
      header.extended_number_of_points_by_return[r] = 0;
    }
    header.extended_number_of_point_records = 0;
  } else {
    set_header_version(&header, true);
    header.number_of_point_records = 0;
    for (uint32_t& c : header.number_of_points_by_return) c = 0;
    header.extended_number_of_point_records = static_cast<uint64_t>(count);
  }
  npoints = count;
  // A decompressor that failed gave a short stream: the count is not the file's.
  if (!input.close()) return false;
  if (!choose_scale_and_offset()) return false;
  quantize_header_bounds();
  populated_header = true;
  if (!input.open(file_name, "r")) {
    std::fprintf(stderr, "ERROR: could not open '%s' for second pass\n", file_name);
    return false;
  }
  return true;
}

bool LASreaderTXT::choose_scale_and_offset() {
  const bool degrees = header.min_x > -360 && header.min_y > -360 && header.max_x < 360 &&
                       header.max_y < 360;
  const double preferred[3] = {degrees ? 1e-7 : 0.01, degrees ? 1e-7 : 0.01, 0.01};
  return side_fit_quantization(&header, preferred, requested);
}

void LASreaderTXT::warn_more_scans() {
  if (!ptx || lines_left != 0 || ptx_ended) return;
  ptx_ended = true;
  char rest[LASsideInput::kLineSize];
  while (input.read_line(rest)) {
    if (rest[std::strspn(rest, " \t")] == '\0') continue;
    print_note(
        "WARNING: the PTX file goes on after its first scan. reading only that scan "
        "...\n");
    return;
  }
}

bool LASreaderTXT::first_point(const char* parse) {
  if (!next_parsed_line(parse)) {
    std::fprintf(stderr, "ERROR: could not parse any lines with '%s'\n", parse);
    input.close();
    return false;
  }
  at_end = false;
  if (!populated_header && !header_counted) {
    side_widen_bounds(&header, point, true);
    if (!choose_scale_and_offset()) {
      input.close();
      return false;
    }
  }
  p_count = 0;
  return true;
}

void LASreaderTXT::finish_unpopulated() {
  if (header_counted) return;
  header_counted = true;
  quantize_header_bounds();
  if (header.version_minor < 4 && p_count <= kMaxLegacyCount) {
    header.number_of_point_records = static_cast<uint32_t>(p_count);
  } else {
    header.number_of_point_records = 0;
  }
  header.extended_number_of_point_records = static_cast<uint64_t>(p_count);
  if (header.number_attributes > 0) header.update_extra_bytes_vlr();
}

bool LASreaderTXT::read_one_point() {
  if (at_end) return false;
  if (p_count == 0 && !input.is_open()) return false;
  // The first point was parsed by the open.
  bool have = p_count == 0 || next_parsed_line(parse_string.c_str());
  while (have && !quantize_point()) have = next_parsed_line(parse_string.c_str());
  if (!have) {
    warn_more_scans();
    at_end = true;
    if (input.piped) input.close();
    if (populated_header) {
      if (p_count != npoints) warn_end_of_file(p_count, npoints);
    } else {
      if (stated_points != 0 && p_count != stated_points) warn_end_of_file(p_count, stated_points);
      npoints = p_count;
      finish_unpopulated();
    }
    return false;
  }
  p_count++;
  if (populated_header || header_counted) return true;
  const uint8_t r =
      point_type > 5 ? point.get_extended_return_number() : point.get_return_number();
  side_count_return(&header, point_type, r);
  // From the first point delivered: a first line that could not be held is no point.
  side_widen_bounds(&header, point, p_count == 1);
  return true;
}

bool LASreaderTXT::reopen(const char* file_name) {
  if (!input.open_named(file_name, "r", "reopen")) return false;
  // The header keeps what the open made of the dialect's header lines.
  if (!input.skip_lines(skip_lines) || !read_dialect_header(false, false)) {
    if (pts || ptx) {
      input.close();
      return false;
    }
  }
  return first_point(parse_string.c_str());
}

bool LASreaderTXT::seek_point(int64_t index) {
  if (index < p_count) {
    if (input.piped || !input.is_open()) return false;
    if (std::fseek(input.file, 0, SEEK_SET) != 0) return false;
    if (!input.skip_lines(skip_lines) || !read_dialect_header(false, false)) {
      if (pts || ptx) return false;
    }
    if (!first_point(parse_string.c_str())) return false;
  }
  return read_up_to(index);
}

void LASreaderTXT::close_input(bool) {
  input.close();
}
