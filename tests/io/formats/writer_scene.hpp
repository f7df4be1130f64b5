#ifndef TESTS_IO_FORMATS_WRITER_SCENE_HPP
#define TESTS_IO_FORMATS_WRITER_SCENE_HPP

// What the tests of the point writers share: a header of one point format
// with a point laid out for it, attribute descriptors, and a file's bytes.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/las_header.hpp"
#include "core/las_point.hpp"

inline uint16_t writer_base_record_length(uint8_t format) {
  static const uint16_t kLengths[] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  return kLengths[format];
}

// A header of one point format (with optional attributes) announcing `count`
// points, and a point laid out for it.
struct WriterScene {
  LASheader header;
  LASpoint point;

  explicit WriterScene(uint8_t format, const std::vector<LASattributeDescriptor>& attributes = {},
                       uint32_t count = 1) {
    header.point_data_format = format;
    header.version_minor = format > 5 ? 4 : 2;
    for (const LASattributeDescriptor& d : attributes) header.add_attribute(d);
    header.point_data_record_length =
        static_cast<uint16_t>(writer_base_record_length(format) + header.total_attribute_size());
    header.number_of_point_records = count;
    header.extended_number_of_point_records = count;
    point.init_for_point_type(&header, format, header.point_data_record_length, &header);
  }
};

// A descriptor of type index 0..9 (U8..F64), with a scale and an offset when
// they are not 1 and 0.
inline LASattributeDescriptor writer_attribute(int type_index, const char* name, double scale = 1.0,
                                               double offset = 0.0) {
  LASattributeDescriptor d;
  LASattributeDescriptor::make(type_index, name, nullptr, &d);
  if (scale != 1.0) {
    d.scale[0] = scale;
    d.options |= LASattributeDescriptor::kScaleBit;
  }
  if (offset != 0.0) {
    d.offset[0] = offset;
    d.options |= LASattributeDescriptor::kOffsetBit;
  }
  return d;
}

// The bytes of a file; "" when it cannot be read.
inline std::string writer_read_file(const std::string& name) {
  std::string bytes;
  if (FILE* f = std::fopen(name.c_str(), "rb")) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
  }
  return bytes;
}

#endif  // TESTS_IO_FORMATS_WRITER_SCENE_HPP
