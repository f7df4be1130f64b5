#include "layers/lay_file_header.hpp"

#include "layers/layer_io.hpp"
#include "platform/run_messages.hpp"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

// How a copied field is compared with the point file's.
enum class Check {
  none,
  error,          // a mismatch refuses the LAY file
  apply_warning,  // a mismatch only warns when applying, refuses when extending
  warning,        // a mismatch only warns
};

// How a copied field is printed in a mismatch.
enum class Shape {
  number,  // unsigned integers
  text,    // a run of bytes (an 8-byte run moves like a u64)
  real,    // doubles
};

// One field of the copied LAS header, in file order.
struct CopiedField {
  layer_io::HeaderField field;
  Shape shape;
  bool only_14;  // present only when the point file is LAS 1.4
  Check check;
};

// The LAY file belongs to the points of one file: besides the identity of the file, its point
// layout, counts, scale, offset and bounds must match, or the layers would change other points.
// The creation date, header size and number of records may differ (a copy of the same points).
const CopiedField kCopiedFields[] = {
    {PL_HEADER_FIELD(file_source_ID, 2, 1), Shape::number, false, Check::error},
    {PL_HEADER_FIELD(global_encoding, 2, 1), Shape::number, false, Check::apply_warning},
    {PL_HEADER_FIELD(project_ID_GUID_data_1, 4, 1), Shape::number, false, Check::error},
    {PL_HEADER_FIELD(project_ID_GUID_data_2, 2, 1), Shape::number, false, Check::error},
    {PL_HEADER_FIELD(project_ID_GUID_data_3, 2, 1), Shape::number, false, Check::error},
    {PL_HEADER_FIELD(project_ID_GUID_data_4, 8, 1), Shape::text, false, Check::error},
    {PL_HEADER_FIELD(version_major, 1, 1), Shape::number, false, Check::error},
    {PL_HEADER_FIELD(version_minor, 1, 1), Shape::number, false, Check::error},
    {PL_HEADER_FIELD(system_identifier, 32, 1), Shape::text, false, Check::warning},
    {PL_HEADER_FIELD(generating_software, 32, 1), Shape::text, false, Check::warning},
    {PL_HEADER_FIELD(file_creation_day, 2, 1), Shape::number, false, Check::none},
    {PL_HEADER_FIELD(file_creation_year, 2, 1), Shape::number, false, Check::none},
    {PL_HEADER_FIELD(header_size, 2, 1), Shape::number, false, Check::none},
    {PL_HEADER_FIELD(number_of_variable_length_records, 4, 1), Shape::number, false, Check::none},
    // Stored twice in a row.
    {PL_HEADER_FIELD(point_data_format, 1, 1), Shape::number, false, Check::error},
    {PL_HEADER_FIELD(point_data_format, 1, 1), Shape::number, false, Check::error},
    {PL_HEADER_FIELD(point_data_record_length, 2, 1), Shape::number, false, Check::error},
    {PL_HEADER_FIELD(number_of_point_records, 4, 1), Shape::number, false, Check::error},
    {PL_HEADER_FIELD(number_of_points_by_return, 4, 5), Shape::number, false, Check::error},
    {PL_HEADER_FIELD(x_scale_factor, 8, 1), Shape::real, false, Check::error},
    {PL_HEADER_FIELD(y_scale_factor, 8, 1), Shape::real, false, Check::error},
    {PL_HEADER_FIELD(z_scale_factor, 8, 1), Shape::real, false, Check::error},
    {PL_HEADER_FIELD(x_offset, 8, 1), Shape::real, false, Check::error},
    {PL_HEADER_FIELD(y_offset, 8, 1), Shape::real, false, Check::error},
    {PL_HEADER_FIELD(z_offset, 8, 1), Shape::real, false, Check::error},
    {PL_HEADER_FIELD(max_x, 8, 1), Shape::real, false, Check::error},
    {PL_HEADER_FIELD(min_x, 8, 1), Shape::real, false, Check::error},
    {PL_HEADER_FIELD(max_y, 8, 1), Shape::real, false, Check::error},
    {PL_HEADER_FIELD(min_y, 8, 1), Shape::real, false, Check::error},
    {PL_HEADER_FIELD(max_z, 8, 1), Shape::real, false, Check::error},
    {PL_HEADER_FIELD(min_z, 8, 1), Shape::real, false, Check::error},
    {PL_HEADER_FIELD(extended_number_of_point_records, 8, 1), Shape::number, true, Check::error},
    {PL_HEADER_FIELD(extended_number_of_points_by_return, 8, 15), Shape::number, true,
     Check::error},
};

bool present(const CopiedField& c, const LASheader& las) {
  return !c.only_14 || las.version_minor >= 4;
}

// The reads of the LAY part print the names given; the copied fields print
// "header_" and the LAS name, except the VLR count, which is spelled without.
const char* read_failure(const CopiedField& c) {
  return std::strcmp(c.field.name, "number_of_variable_length_records") == 0
             ? "ERROR: reading "
             : "ERROR: reading header_";
}

// An unsigned number of 1, 2, 4 or 8 bytes.
uint64_t unsigned_at(const uint8_t* at, uint32_t width) {
  uint64_t value = 0;
  std::memcpy(&value, at, width);  // little-endian machines only, as the byte streams
  return value;
}

void print_mismatch(const char* level, const CopiedField& c, uint32_t index, const uint8_t* a,
                    const uint8_t* b) {
  // A mismatch that only warns is a note of the run; one that refuses the file is its error.
  if (std::strcmp(level, "WARNING") == 0 && quiet_run()) return;
  const layer_io::HeaderField& f = c.field;
  char name[64];
  if (f.count > 1) {
    std::snprintf(name, sizeof(name), "%s[%u]", f.name, index);
  } else {
    std::snprintf(name, sizeof(name), "%s", f.name);
  }
  switch (c.shape) {
    case Shape::text:
      // Byte runs without terminator: printed with their length as the limit.
      std::fprintf(stderr, "%s: mismatch in header %s (LAY '%.*s' LAS '%.*s')\n", level, name,
                   static_cast<int>(f.width), reinterpret_cast<const char*>(a),
                   static_cast<int>(f.width), reinterpret_cast<const char*>(b));
      break;
    case Shape::real: {
      double va, vb;
      std::memcpy(&va, a, 8);
      std::memcpy(&vb, b, 8);
      std::fprintf(stderr, "%s: mismatch in header %s (LAY %.17g LAS %.17g)\n", level, name, va,
                   vb);
      break;
    }
    case Shape::number:
      std::fprintf(stderr, "%s: mismatch in header %s (LAY %" PRIu64 " LAS %" PRIu64 ")\n", level,
                   name, unsigned_at(a, f.width), unsigned_at(b, f.width));
      break;
  }
}

// Compares one copied field, each of its values; false when a mismatch refuses the file.
bool compare(const CopiedField& c, LASheader& lay, const LASheader& las_const, LAYside side) {
  LASheader& las = const_cast<LASheader&>(las_const);
  const layer_io::HeaderField& f = c.field;
  const auto* a = static_cast<const uint8_t*>(f.at(lay));
  const auto* b = static_cast<const uint8_t*>(f.at(las));
  if (c.check == Check::none) return true;
  const bool refuses =
      c.check == Check::error || (c.check == Check::apply_warning && side == LAYside::modify);
  for (uint32_t i = 0; i < f.count; i++, a += f.width, b += f.width) {
    if (std::memcmp(a, b, f.width) == 0) continue;
    print_mismatch(refuses ? "ERROR" : "WARNING", c, i, a, b);
    if (refuses) return false;
  }
  return true;
}

// Four bytes that must be `expected`; `wrong` is printed with what was found.
bool read_tag(ByteStreamIn* in, char* tag, const char* expected, const char* read_message,
              const char* wrong) {
  if (!layer_io::get_bytes(in, tag, 4, read_message)) return false;
  if (std::memcmp(tag, expected, 4) == 0) return true;
  std::fprintf(stderr, "%s '%.4s'\n", wrong, tag);
  return false;
}

// A number this reader knows only as 0; `unknown` is printed with any other.
template <typename T>
bool read_zero(ByteStreamIn* in, T* value, const char* read_message, const char* unknown) {
  if (!layer_io::get(in, value, read_message)) return false;
  if (*value == 0) return true;
  std::fprintf(stderr, "%s %d\n", unknown, static_cast<int>(*value));
  return false;
}

}  // namespace

bool write_lay_header(ByteStreamOut* out, const LASheader& las_const, uint32_t num_layers) {
  using layer_io::put;
  LASheader& las = const_cast<LASheader&>(las_const);
  const LAYheader lay;
  const uint32_t offset_to_layers = LAYheader::size_for(las);
  if (!layer_io::put_bytes(out, lay.file_signature, 4, "ERROR: writing file_signature\n") ||
      !layer_io::put_bytes(out, lay.file_encoding, 4, "ERROR: writing file_encoding\n") ||
      !put(out, lay.version_major, "ERROR: writing version_major\n") ||
      !put(out, lay.version_minor, "ERROR: writing version_minor\n") ||
      !put(out, lay.version_release, "ERROR: writing version_release\n") ||
      !put(out, lay.compression, "ERROR: writing compression\n") ||
      !put(out, num_layers, "ERROR: writing num_layers\n") ||
      !put(out, offset_to_layers, "ERROR: writing offset_to_layers\n")) {
    return false;
  }
  for (int i = 0; i < 4; i++) {
    char message[48];
    std::snprintf(message, sizeof(message), "ERROR: writing reverved%d\n", i);
    if (!put(out, lay.reserved[i], message)) return false;
  }
  for (const CopiedField& c : kCopiedFields) {
    if (present(c, las) &&
        !layer_io::write_header_field(out, c.field, las, "ERROR: writing header->")) {
      return false;
    }
  }
  return true;
}

bool read_lay_header(ByteStreamIn* in, const LASheader& las, LAYside side, LAYheader* lay) {
  const bool apply = side == LAYside::apply;
  if (!read_tag(in, lay->file_signature, "LAYF", "ERROR: reading file signature\n",
                "ERROR: wrong file signature") ||
      !read_tag(in, lay->file_encoding, "BIN\n", "ERROR: reading file encoding\n",
                "ERROR: unknown file encoding") ||
      !read_zero(in, &lay->version_major, "ERROR: reading LAY version major\n",
                 "ERROR: unknown LAY version major") ||
      !read_zero(in, &lay->version_minor, "ERROR: reading LAY version minor\n",
                 "ERROR: unknown LAY version minor") ||
      !read_zero(in, &lay->version_release, "ERROR: reading LAY version release\n",
                 "ERROR: unknown LAY version release") ||
      !read_zero(in, &lay->compression, "ERROR: reading compression\n",
                 "ERROR: unknown LAY compression") ||
      !layer_io::get(in, &lay->num_layers, "ERROR: reading num_layers\n")) {
    return false;
  }
  if (lay->num_layers == 0) {
    print_note(
        apply ? "WARNING: LAY file with %u layers\n" : "WARNING: existing LAY file has %u layers\n",
        lay->num_layers);
  }
  if (!layer_io::get(in, &lay->offset_to_layers, "ERROR: reading offset_to_layers\n")) {
    return false;
  }
  if (lay->offset_to_layers < LAYheader::kSize) {
    std::fprintf(stderr, "ERROR: LAY file offset to layers of %u smaller than minimum 276\n",
                 lay->offset_to_layers);
    return false;
  }
  const char* reserved_word = apply ? "reserved" : "reverved";
  for (int i = 0; i < 4; i++) {
    char message[48];
    std::snprintf(message, sizeof(message), "ERROR: reading %s%d\n", reserved_word, i);
    if (!layer_io::get(in, &lay->reserved[i], message)) return false;
    if (lay->reserved[i] != 0) {
      print_note("WARNING: unknown LAY %s%d of %" PRId64 "\n", reserved_word, i, lay->reserved[i]);
    }
  }
  // The copy is read into scratch space, compared field by field and dropped.
  LASheader copy;
  for (const CopiedField& c : kCopiedFields) {
    if (!present(c, las)) continue;
    if (!layer_io::read_header_field(in, c.field, copy, read_failure(c)) ||
        !compare(c, copy, las, side)) {
      return false;
    }
  }
  return true;
}

namespace {

// The endings by which a point file is read as LAS or VPK.
bool ends_with_point_file_extension(const std::string& name) {
  if (name.size() < 4) return false;
  const std::string extension = name.substr(name.size() - 4);
  return extension == ".las" || extension == ".vpk" || extension == ".LAS" || extension == ".VPK";
}

}  // namespace

std::string lay_file_name(const char* point_file_name, const char* directory) {
  std::string name;
  if (directory == nullptr) {
    name = point_file_name;
  } else {
    // The base name: behind the last separator, looked for after the first
    // character only.
    const char* base = point_file_name;
    for (const char* c = point_file_name + (point_file_name[0] ? 1 : 0); *c; c++) {
      if (*c == '/' || *c == '\\' || *c == ':') base = c + 1;
    }
    name = std::string(directory) + '/' + base;
  }
  // tile.las and tile.vpk hold the same points and share tile.lay; any other name keeps its
  // whole extension, so that p.txt.gz, p.txt.7z, p.ply and p.txt get distinct LAY files.
  if (ends_with_point_file_extension(name)) {
    name.replace(name.size() - 3, 3, "lay");
  } else {
    name += ".lay";
  }
  return name;
}

bool lay_layers_end_the_file(int64_t end_of_layers, int64_t file_size, uint32_t num_layers) {
  if (file_size < 0 || end_of_layers == file_size) return true;
  std::fprintf(stderr, "ERROR: LAY file holds %" PRId64 " bytes behind its %u layers\n",
               file_size - end_of_layers, num_layers);
  return false;
}

bool lay_reader_given(const LASreader* reader) {
  if (reader) return true;
  std::fprintf(stderr, "ERROR: LASreader pointer is zero\n");
  return false;
}

bool lay_point_file_given(const char* point_file_name) {
  if (point_file_name) return true;
  std::fprintf(stderr, "ERROR: file name pointer is zero\n");
  return false;
}
