#include "io/formats/las_reader_ply.hpp"

#include <cinttypes>
#include <cmath>
#include <cstring>

#include "core/byte_stream_in.hpp"
#include "platform/run_messages.hpp"

namespace {

const char* const kContact = " Please send this file to the makers of Mirvelox.\n";

bool starts_with(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The first word of `text` (blank-separated), at most `limit` characters.
std::string first_word(const char* text, size_t limit) {
  while (*text == ' ') text++;
  size_t n = 0;
  while (text[n] && text[n] != ' ' && n < limit) n++;
  return std::string(text, n);
}

uint16_t colour_from(double v) {
  if (!(v >= 0.0)) return 0;
  const double r = v + 0.5;
  const int64_t n = r >= 2147483647.0 ? INT32_MAX : static_cast<int64_t>(r);
  return static_cast<uint16_t>(n & 0xFFFF);
}

// The binary types of PLY properties as the attribute data type (1..10) they
// keep when they are no point field.
struct TypeWord {
  const char* word;
  const char* alias;
  char type;
  int32_t data_type;
};
const TypeWord kTypeWords[] = {
    {"float", "float32", 'f', 9}, {"double", "float64", 'd', 10}, {"uchar", "uint8", 'C', 1},
    {"char", "int8", 'c', 2},     {"ushort", "uint16", 'S', 3},   {"short", "int16", 's', 4},
    {"int", "int32", 'i', 6},     {"uint", "uint32", 'I', 5},
};

}  // namespace

LASreaderPLY::LASreaderPLY() = default;

LASreaderPLY::~LASreaderPLY() {
  stream.reset();
  input.close();
}

bool LASreaderPLY::add_property(const char* text, const char* shown, bool quiet) {
  const std::string type_word = first_word(text, 64);
  const TypeWord* type = nullptr;
  for (const TypeWord& t : kTypeWords) {
    if (type_word == t.word || type_word == t.alias) type = &t;
  }
  if (type == nullptr) {
    std::fprintf(stderr, "unknown property type: %snot implemented.%s", shown, kContact);
    return false;
  }
  const char* rest = text + type_word.size();
  while (*rest == ' ') rest++;
  const std::string name = first_word(rest, 64);
  Property p{type->type, 0, -1};
  int32_t data_type = type->data_type;
  const char* normal = nullptr;
  if (p.type == 'f' || p.type == 'd') {
    if (name == "x" || name == "y" || name == "z") p.letter = name[0];
    if (p.type == 'f' && name == "intensity") p.letter = 'i';
    if (name == "nx") normal = "normal x coordinate";
    if (name == "ny") normal = "normal y coordinate";
    if (name == "nz") normal = "normal z coordinate";
  } else if (p.type == 'C') {
    if (std::strstr(rest, "red")) p.letter = 'R';
    if (std::strstr(rest, "green")) p.letter = 'G';
    if (std::strstr(rest, "blue")) p.letter = 'B';
    if (std::strstr(rest, "gray")) p.letter = 'i';
  }
  if (p.letter == 0) {
    const int32_t index = pending.number;
    bool added;
    if (normal) {
      // Unit normals fit 16 bits at 0.00005.
      added = pending.add(4, name.c_str(), normal, 0.00005, 0.0, 1.0, 0.0, 2e307);
    } else {
      const std::string attribute = name.substr(0, 15);
      const std::string description = name.substr(0, 31);
      added = pending.add(data_type, attribute.c_str(), description.c_str(), 1.0, 0.0, 1.0, 0.0,
                          2e307);
    }
    if (added) {
      p.letter = 'a';
      p.attribute = index;
    } else {
      p.letter = 's';
      if (!quiet) print_note("WARNING: skipping vertex property '%s'\n", name.c_str());
    }
  }
  properties.push_back(p);
  if (p.letter == 'a') {
    if (p.attribute < 10) {
      parse_string += static_cast<char>('0' + p.attribute);
    } else {
      parse_string += "(" + std::to_string(p.attribute) + ")";
    }
  } else {
    parse_string += p.letter;
  }
  return true;
}

bool LASreaderPLY::parse_header(bool quiet) {
  stream.reset();
  binary = false;
  if (!input.read_line(line) || !starts_with(line, "ply")) return false;
  parse_string.clear();
  properties.clear();
  pending = LASpendingAttributes();
  bool in_vertex = false;
  bool skipping = false;
  bool seen_vertex = false;
  while (input.read_line(line)) {
    const std::string shown = std::string(line) + "\n";
    if (starts_with(line, "end_header")) {
      // The body holds this many vertices; what follows them (faces) is no point.
      lines_left = stated_vertices > 0 ? stated_vertices : 0;
      if (binary) {
        if (big_endian) {
          stream.reset(new ByteStreamInFileBE(input.file));
        } else {
          stream.reset(new ByteStreamInFileLE(input.file));
        }
      }
      return true;
    }
    if (skipping) continue;
    if (starts_with(line, "format ")) {
      const char* word = line + 7;
      if (starts_with(word, "binary_little_endian")) {
        binary = true;
        big_endian = false;
      } else if (starts_with(word, "binary_big_endian")) {
        binary = true;
        big_endian = true;
      } else if (starts_with(word, "ascii")) {
        binary = false;
      } else {
        std::fprintf(stderr, "format: %s\nnot implemented.%s", word, kContact);
        return false;
      }
    } else if (starts_with(line, "comment") || starts_with(line, "obj_info")) {
    } else if (starts_with(line, "element ")) {
      if (starts_with(line + 8, "vertex ") && !seen_vertex) {
        const char* number = line + 15;
        long long n = 0;
        if (std::sscanf(number, "%lld", &n) != 1) {
          std::fprintf(stderr, "element vertex: %s\ncannot parse number of points.%s", number,
                       kContact);
          return false;
        }
        stated_vertices = n;
        in_vertex = seen_vertex = true;
      } else {
        if (!quiet) {
          print_note("not supported: %sskipping remaining header ...\n", shown.c_str());
        }
        in_vertex = false;
        skipping = true;
        continue;
      }
    } else if (starts_with(line, "property ")) {
      if (in_vertex && !add_property(line + 9, line + 9, quiet)) return false;
    } else {
      print_note("unknown header item: %snot implemented.%s", shown.c_str(), kContact);
    }
    if (!quiet) print_note("parsed: %s", shown.c_str());
  }
  std::fprintf(stderr, "ERROR: the PLY header ends before 'end_header'\n");
  return false;
}

bool LASreaderPLY::open_file(const char* file_name, uint8_t requested_type, bool populate_header) {
  // The binary stream reads from the file that the open closes.
  if (file_name != nullptr) stream.reset();
  if (!input.open_named(file_name, "rb", "open")) return false;
  if (!open(input.file, file_name, requested_type, populate_header)) return false;
  return apply_variant();
}

bool LASreaderPLY::read_binary_vertex() {
  try {
    for (const Property& p : properties) {
      double v = 0.0;
      switch (p.type) {
        case 'f': {
          float f;
          stream->read_u32_le(&f);
          v = f;
          break;
        }
        case 'd':
          stream->read_u64_le(&v);
          break;
        case 'C':
          v = stream->read_byte();
          break;
        case 'c':
          v = static_cast<int8_t>(stream->read_byte());
          break;
        case 'S': {
          uint16_t u;
          stream->read_u16_le(&u);
          v = u;
          break;
        }
        case 's': {
          int16_t s;
          stream->read_u16_le(&s);
          v = s;
          break;
        }
        case 'i': {
          int32_t i;
          stream->read_u32_le(&i);
          v = i;
          break;
        }
        case 'I': {
          uint32_t u;
          stream->read_u32_le(&u);
          v = u;
          break;
        }
      }
      switch (p.letter) {
        case 'x':
        case 'y':
        case 'z':
          point.coordinates[p.letter - 'x'] = v;
          break;
        case 'i':
          text_store_intensity(static_cast<float>(v), fields, &point);
          break;
        case 'R':
          point.set_R(colour_from(v));
          break;
        case 'G':
          point.set_G(colour_from(v));
          break;
        case 'B':
          point.set_B(colour_from(v));
          break;
        case 'a':
          if (!text_store_attribute(p.attribute, v, fields, &point)) return false;
          break;
      }
    }
  } catch (int) {
    // A vertex cut short by the end of the file is no vertex.
    return false;
  }
  return true;
}

bool LASreaderPLY::read_vertex() {
  if (!input.is_open()) return false;
  if (!stream) return next_parsed_line(parse_string.c_str());
  while (lines_left > 0) {
    lines_left--;
    if (!read_binary_vertex()) return false;
    const double* xyz = point.coordinates;
    if (std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2])) return true;
    print_note("WARNING: vertex with coordinates %g %g %g. skipping ...\n", xyz[0], xyz[1], xyz[2]);
  }
  return false;
}

bool LASreaderPLY::choose_scale_and_offset() {
  const double chosen = header.min_x > 100000 || header.min_y > 100000 ? 0.01 : 0.001;
  const double all[3] = {chosen, chosen, chosen};
  return side_fit_quantization(&header, all, requested);
}

bool LASreaderPLY::first_vertex() {
  if (read_vertex()) return true;
  if (stream) {
    std::fprintf(stderr, "ERROR: could not read any vertex of '%s'\n", file_name_kept.c_str());
  } else {
    std::fprintf(stderr, "ERROR: could not parse any lines with '%s'\n", parse_string.c_str());
  }
  stream.reset();
  input.close();
  return false;
}

void LASreaderPLY::bound_vertex_count() {
  if (input.piped) return;
  const long here = std::ftell(input.file);
  if (here < 0 || std::fseek(input.file, 0, SEEK_END) != 0) return;
  const long end = std::ftell(input.file);
  if (std::fseek(input.file, here, SEEK_SET) != 0 || end < here) return;
  // A binary vertex takes the sizes of its properties; a text one at least a
  // character and a separator per property.
  int64_t per_vertex = 0;
  for (const Property& p : properties) {
    if (!stream) {
      per_vertex += 2;
    } else if (p.type == 'd') {
      per_vertex += 8;
    } else if (p.type == 'f' || p.type == 'i' || p.type == 'I') {
      per_vertex += 4;
    } else if (p.type == 'S' || p.type == 's') {
      per_vertex += 2;
    } else {
      per_vertex += 1;
    }
  }
  const int64_t most = (static_cast<int64_t>(end) - here) / per_vertex;
  if (npoints > most) {
    print_note("WARNING: PLY header states %" PRId64 " vertices but the file holds at most %" PRId64
               "\n",
               npoints, most);
    npoints = most;
  }
}

bool LASreaderPLY::open(FILE* given, const char* file_name, uint8_t requested_type,
                        bool populate_header) {
  if (given == nullptr) {
    std::fprintf(stderr, "ERROR: file pointer is zero\n");
    return false;
  }
  if (given != input.file) stream.reset();
  input.adopt(given);
  populated_header = false;
  header.reset();
  npoints = 0;
  p_count = 0;
  file_name_kept = file_name ? file_name : "";
  stated_vertices = 0;
  if (!parse_header(quiet_run())) return false;
  npoints = stated_vertices;
  if (npoints <= 0) return false;
  if (properties.empty()) {
    // Vertices of no bytes would never end a binary body.
    std::fprintf(stderr, "ERROR: the PLY vertices have no properties\n");
    return false;
  }
  if (const char c = missing_coordinate(parse_string)) {
    std::fprintf(stderr, "ERROR: the PLY vertices have no float or double property '%c'\n", c);
    return false;
  }
  bound_vertex_count();
  header.number_of_point_records =
      npoints <= INT64_C(4294967295) ? static_cast<uint32_t>(npoints) : 0;
  header.extended_number_of_point_records = static_cast<uint64_t>(npoints);
  side_header_identity(&header, "LASreaderPLY", file_name, 2018);

  const int32_t length = take_point_type(requested_type, parse_string.c_str());
  if (length == 0) return false;
  const uint8_t format = point_type;
  if (format > 5) {
    header.version_minor = 4;
    header.header_size = 375;
    header.offset_to_point_data = 375;
  }
  if (!add_pending_attributes()) return false;
  if (header.number_attributes > 0) header.update_extra_bytes_vlr();
  header.point_data_record_length = static_cast<uint16_t>(length + header.total_attribute_size());
  if (!point.init_for_point_type(&header, format, header.point_data_record_length, &header)) {
    return false;
  }

  if (populate_header && file_name) {
    int64_t count = 0;
    while (read_vertex()) {
      side_widen_bounds(&header, point, count == 0);
      side_count_return(&header, point_type, point.get_return_number());
      count++;
    }
    if (count == 0) return first_vertex();
    // Vertices skipped with a warning are no points; a body that ends early is short.
    if (lines_left > 0) warn_end_of_file(count, npoints);
    npoints = count;
    const bool v14 = format > 5 || npoints > INT64_C(4294967295);
    header.number_of_point_records = v14 ? 0 : static_cast<uint32_t>(npoints);
    header.extended_number_of_point_records = static_cast<uint64_t>(npoints);
    if (v14) {
      for (uint32_t& c : header.number_of_points_by_return) c = 0;
    }
    stream.reset();
    // A decompressor that failed gave a short stream: the count is not the file's.
    if (!input.close()) return false;
    if (!choose_scale_and_offset()) return false;
    quantize_header_bounds();
    if (header.number_attributes > 0) header.update_extra_bytes_vlr();
    populated_header = true;
    if (!input.open(file_name, "rb")) {
      std::fprintf(stderr, "ERROR: could not open '%s' for second pass\n", file_name);
      return false;
    }
    if (!parse_header(true)) return false;
  }
  if (!first_vertex()) return false;
  if (!populated_header) {
    side_widen_bounds(&header, point, true);
    if (!choose_scale_and_offset()) return false;
  }
  p_count = 0;
  return true;
}

bool LASreaderPLY::read_one_point() {
  if (p_count >= npoints) {
    // A decompressor is only judged when its stream ends.
    if (input.piped) close_input(true);
    return false;
  }
  // The first vertex was read by the open.
  bool have = p_count == 0 ? input.is_open() : read_vertex();
  while (have && !quantize_point()) have = read_vertex();
  if (!have) {
    // Vertices skipped with a warning are no points; a body that ends early is short.
    if (lines_left > 0) warn_end_of_file(p_count, npoints);
    npoints = p_count;
    if (!populated_header) quantize_header_bounds();
    if (input.piped) close_input(true);
    return false;
  }
  p_count++;
  if (populated_header) return true;
  side_count_return(&header, point_type, point.get_return_number());
  // From the first point delivered: a first vertex that could not be held is no point.
  side_widen_bounds(&header, point, p_count == 1);
  return true;
}

bool LASreaderPLY::seek_point(int64_t index) {
  if (index < p_count) {
    if (input.piped || !input.is_open()) return false;
    stream.reset();
    if (std::fseek(input.file, 0, SEEK_SET) != 0) return false;
    // The body is found again behind the header; the header keeps its fields.
    const LASpendingAttributes kept = pending;
    const bool parsed = parse_header(true);
    pending = kept;
    if (!parsed || !first_vertex()) return false;
    p_count = 0;
  }
  return read_up_to(index);
}

void LASreaderPLY::close_input(bool) {
  stream.reset();
  input.close();
}
