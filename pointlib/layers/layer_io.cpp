#include "layers/layer_io.hpp"

namespace layer_io {

bool write_byte_header(ByteStreamOut* out, const ByteHeader& header,
                       std::initializer_list<const uint8_t*> values) {
  const uint16_t offset_to_data = static_cast<uint16_t>(2 + values.size());
  if (!put(out, offset_to_data, header.write_offset)) return false;
  const ByteHeader::Field* field = header.fields;
  for (const uint8_t* value : values) {
    if (!put(out, *value, (field++)->write)) return false;
  }
  return true;
}

bool read_byte_header(ByteStreamIn* in, const ByteHeader& header,
                      std::initializer_list<uint8_t*> values, uint32_t* extra) {
  uint16_t offset_to_data;
  if (!get(in, &offset_to_data, header.read_offset)) return false;
  const uint32_t known = static_cast<uint32_t>(2 + values.size());
  if (offset_to_data < known) {
    std::fprintf(stderr, "%s %d < %u\n", header.too_short, offset_to_data, known);
    return false;
  }
  const ByteHeader::Field* field = header.fields;
  for (uint8_t* value : values) {
    if (!get(in, value, (field++)->read)) return false;
  }
  *extra = offset_to_data - known;
  return true;
}

bool read_whole_byte_header(ByteStreamIn* in, const ByteHeader& header,
                            std::initializer_list<uint8_t*> values) {
  uint32_t extra;
  return read_byte_header(in, header, values, &extra) && skip(in, extra, header.extra);
}

}  // namespace layer_io
