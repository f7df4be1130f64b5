#include "layers/lay_file_header.hpp"

#include "layers/layer_io.hpp"

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

// One field of the copied LAS header, in file order.
struct CopiedField {
  const char* name;
  uint32_t width;  // bytes of one value
  uint32_t count;
  bool bytes;    // printed as text, not as a number (an 8-byte run moves like a u64)
  bool only_14;  // present only when the point file is LAS 1.4
  Check check;
  void* (*at)(LASheader&);
};

#define PL_COPIED(member, width, count, bytes, only_14, check)                                     \
  {                                                                                                \
#member, width, count, bytes, only_14, check, [](LASheader & h) -> void* { return &h.member; } \
  }
const CopiedField kCopiedFields[] = {
    PL_COPIED(file_source_ID, 2, 1, false, false, Check::error),
    PL_COPIED(global_encoding, 2, 1, false, false, Check::apply_warning),
    PL_COPIED(project_ID_GUID_data_1, 4, 1, false, false, Check::error),
    PL_COPIED(project_ID_GUID_data_2, 2, 1, false, false, Check::error),
    PL_COPIED(project_ID_GUID_data_3, 2, 1, false, false, Check::error),
    PL_COPIED(project_ID_GUID_data_4, 8, 1, true, false, Check::error),
    PL_COPIED(version_major, 1, 1, false, false, Check::error),
    PL_COPIED(version_minor, 1, 1, false, false, Check::error),
    PL_COPIED(system_identifier, 32, 1, true, false, Check::warning),
    PL_COPIED(generating_software, 32, 1, true, false, Check::warning),
    PL_COPIED(file_creation_day, 2, 1, false, false, Check::none),
    PL_COPIED(file_creation_year, 2, 1, false, false, Check::none),
    PL_COPIED(header_size, 2, 1, false, false, Check::none),
    PL_COPIED(number_of_variable_length_records, 4, 1, false, false, Check::none),
    // Stored twice in a row.
    PL_COPIED(point_data_format, 1, 1, false, false, Check::none),
    PL_COPIED(point_data_format, 1, 1, false, false, Check::none),
    PL_COPIED(point_data_record_length, 2, 1, false, false, Check::none),
    PL_COPIED(number_of_point_records, 4, 1, false, false, Check::none),
    PL_COPIED(number_of_points_by_return, 4, 5, false, false, Check::none),
    PL_COPIED(x_scale_factor, 8, 1, false, false, Check::none),
    PL_COPIED(y_scale_factor, 8, 1, false, false, Check::none),
    PL_COPIED(z_scale_factor, 8, 1, false, false, Check::none),
    PL_COPIED(x_offset, 8, 1, false, false, Check::none),
    PL_COPIED(y_offset, 8, 1, false, false, Check::none),
    PL_COPIED(z_offset, 8, 1, false, false, Check::none),
    PL_COPIED(max_x, 8, 1, false, false, Check::none),
    PL_COPIED(min_x, 8, 1, false, false, Check::none),
    PL_COPIED(max_y, 8, 1, false, false, Check::none),
    PL_COPIED(min_y, 8, 1, false, false, Check::none),
    PL_COPIED(max_z, 8, 1, false, false, Check::none),
    PL_COPIED(min_z, 8, 1, false, false, Check::none),
    PL_COPIED(extended_number_of_point_records, 8, 1, false, true, Check::none),
    PL_COPIED(extended_number_of_points_by_return, 8, 15, false, true, Check::none),
};
#undef PL_COPIED

// The reads of the LAY part print the names given; the copied fields print
// "header_" and the LAS name, except the VLR count, which is spelled without.
void print_read_failure(const CopiedField& f, uint32_t index) {
  const char* prefix =
      std::strcmp(f.name, "number_of_variable_length_records") == 0 ? "" : "header_";
  if (f.count > 1) {
    std::fprintf(stderr, "ERROR: reading %s%s[%u]\n", prefix, f.name, index);
  } else {
    std::fprintf(stderr, "ERROR: reading %s%s\n", prefix, f.name);
  }
}

// Compares one copied field; false when the mismatch refuses the file.
bool compare(const CopiedField& f, LASheader& lay, const LASheader& las_const, LAYside side) {
  LASheader& las = const_cast<LASheader&>(las_const);
  const void* a = f.at(lay);
  const void* b = f.at(las);
  if (f.check == Check::none || std::memcmp(a, b, f.width) == 0) return true;
  const bool refuses =
      f.check == Check::error || (f.check == Check::apply_warning && side == LAYside::modify);
  const char* level = refuses ? "ERROR" : "WARNING";
  if (f.bytes) {
    // Byte runs without terminator: printed with their length as the limit.
    std::fprintf(stderr, "%s: mismatch in header %s (LAY '%.*s' LAS '%.*s')\n", level, f.name,
                 static_cast<int>(f.width), static_cast<const char*>(a), static_cast<int>(f.width),
                 static_cast<const char*>(b));
  } else if (f.width == 4) {
    std::fprintf(stderr, "%s: mismatch in header %s (LAY %u LAS %u)\n", level, f.name,
                 *static_cast<const uint32_t*>(a), *static_cast<const uint32_t*>(b));
  } else {
    const int va =
        f.width == 1 ? *static_cast<const uint8_t*>(a) : *static_cast<const uint16_t*>(a);
    const int vb =
        f.width == 1 ? *static_cast<const uint8_t*>(b) : *static_cast<const uint16_t*>(b);
    std::fprintf(stderr, "%s: mismatch in header %s (LAY %d LAS %d)\n", level, f.name, va, vb);
  }
  return !refuses;
}

template <typename T>
bool read_lay_field(ByteStreamIn* in, T* value, const char* name) {
  try {
    layer_io::read_value(in, value, sizeof(T));
    return true;
  } catch (...) {
    std::fprintf(stderr, "ERROR: reading %s\n", name);
    return false;
  }
}

template <typename T>
bool write_lay_field(ByteStreamOut* out, const T& value, const char* name) {
  if (layer_io::write_value(out, &value, sizeof(T))) return true;
  std::fprintf(stderr, "ERROR: writing %s\n", name);
  return false;
}

}  // namespace

bool write_lay_header(ByteStreamOut* out, const LASheader& las_const, uint32_t num_layers) {
  LASheader& las = const_cast<LASheader&>(las_const);
  const LAYheader lay;
  const uint32_t offset_to_layers = LAYheader::size_for(las);
  if (!out->write_bytes(reinterpret_cast<const uint8_t*>(lay.file_signature), 4)) {
    std::fprintf(stderr, "ERROR: writing file_signature\n");
    return false;
  }
  if (!out->write_bytes(reinterpret_cast<const uint8_t*>(lay.file_encoding), 4)) {
    std::fprintf(stderr, "ERROR: writing file_encoding\n");
    return false;
  }
  if (!write_lay_field(out, lay.version_major, "version_major") ||
      !write_lay_field(out, lay.version_minor, "version_minor") ||
      !write_lay_field(out, lay.version_release, "version_release") ||
      !write_lay_field(out, lay.compression, "compression") ||
      !write_lay_field(out, num_layers, "num_layers") ||
      !write_lay_field(out, offset_to_layers, "offset_to_layers")) {
    return false;
  }
  for (int i = 0; i < 4; i++) {
    char name[32];
    std::snprintf(name, sizeof(name), "reverved%d", i);
    if (!write_lay_field(out, lay.reserved[i], name)) return false;
  }
  for (const CopiedField& f : kCopiedFields) {
    if (f.only_14 && las.version_minor < 4) continue;
    const uint8_t* value = static_cast<const uint8_t*>(f.at(las));
    for (uint32_t i = 0; i < f.count; i++, value += f.width) {
      if (layer_io::write_value(out, value, f.width)) continue;
      if (f.count > 1) {
        std::fprintf(stderr, "ERROR: writing header->%s[%u]\n", f.name, i);
      } else {
        std::fprintf(stderr, "ERROR: writing header->%s\n", f.name);
      }
      return false;
    }
  }
  return true;
}

bool read_lay_header(ByteStreamIn* in, const LASheader& las, LAYside side, LAYheader* lay) {
  const bool apply = side == LAYside::apply;
  try {
    in->read_bytes(reinterpret_cast<uint8_t*>(lay->file_signature), 4);
  } catch (...) {
    std::fprintf(stderr, "ERROR: reading file signature\n");
    return false;
  }
  if (std::memcmp(lay->file_signature, "LAYF", 4) != 0) {
    std::fprintf(stderr, "ERROR: wrong file signature '%.4s'\n", lay->file_signature);
    return false;
  }
  try {
    in->read_bytes(reinterpret_cast<uint8_t*>(lay->file_encoding), 4);
  } catch (...) {
    std::fprintf(stderr, "ERROR: reading file encoding\n");
    return false;
  }
  if (std::memcmp(lay->file_encoding, "BIN\n", 4) != 0) {
    std::fprintf(stderr, "ERROR: unknown file encoding '%.4s'\n", lay->file_encoding);
    return false;
  }
  if (!read_lay_field(in, &lay->version_major, "LAY version major")) return false;
  if (lay->version_major != 0) {
    std::fprintf(stderr, "ERROR: unknown LAY version major %d\n", lay->version_major);
    return false;
  }
  if (!read_lay_field(in, &lay->version_minor, "LAY version minor")) return false;
  if (lay->version_minor != 0) {
    std::fprintf(stderr, "ERROR: unknown LAY version minor %d\n", lay->version_minor);
    return false;
  }
  if (!read_lay_field(in, &lay->version_release, "LAY version release")) return false;
  if (lay->version_release != 0) {
    std::fprintf(stderr, "ERROR: unknown LAY version release %d\n", lay->version_release);
    return false;
  }
  if (!read_lay_field(in, &lay->compression, "compression")) return false;
  if (lay->compression != 0) {
    std::fprintf(stderr, "ERROR: unknown LAY compression %d\n", static_cast<int>(lay->compression));
    return false;
  }
  if (!read_lay_field(in, &lay->num_layers, "num_layers")) return false;
  if (lay->num_layers == 0) {
    std::fprintf(
        stderr,
        apply ? "WARNING: LAY file with %u layers\n" : "WARNING: existing LAY file has %u layers\n",
        lay->num_layers);
  }
  if (!read_lay_field(in, &lay->offset_to_layers, "offset_to_layers")) return false;
  if (lay->offset_to_layers < LAYheader::kSize) {
    std::fprintf(stderr, "ERROR: LAY file offset to layers of %u smaller than minimum 276\n",
                 lay->offset_to_layers);
    return false;
  }
  const char* reserved_word = apply ? "reserved" : "reverved";
  for (int i = 0; i < 4; i++) {
    char name[32];
    std::snprintf(name, sizeof(name), "%s%d", reserved_word, i);
    if (!read_lay_field(in, &lay->reserved[i], name)) return false;
    if (lay->reserved[i] != 0) {
      std::fprintf(stderr, "WARNING: unknown LAY %s of %" PRId64 "\n", name, lay->reserved[i]);
    }
  }
  // The copy is read into scratch space, compared field by field and dropped.
  LASheader copy;
  for (const CopiedField& f : kCopiedFields) {
    if (f.only_14 && las.version_minor < 4) continue;
    uint8_t* value = static_cast<uint8_t*>(f.at(copy));
    for (uint32_t i = 0; i < f.count; i++, value += f.width) {
      try {
        layer_io::read_value(in, value, f.width);
      } catch (...) {
        print_read_failure(f, i);
        return false;
      }
    }
    if (!compare(f, copy, las, side)) return false;
  }
  return true;
}

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
  if (name.size() < 3) return name + ".lay";
  name.replace(name.size() - 3, 3, "lay");
  return name;
}
