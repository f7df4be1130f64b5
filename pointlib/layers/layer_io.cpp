#include "layers/layer_io.hpp"

namespace layer_io {

namespace {

bool write_value(ByteStreamOut* out, const void* value, uint32_t width) {
  switch (width) {
    case 1:
      return out->write_byte(*static_cast<const uint8_t*>(value));
    case 2:
      return out->write_u16_le(value);
    case 4:
      return out->write_u32_le(value);
    case 8:
      return out->write_u64_le(value);
    default:
      return out->write_bytes(static_cast<const uint8_t*>(value), width);
  }
}

// Throws at the end of the data.
void read_value(ByteStreamIn* in, void* value, uint32_t width) {
  switch (width) {
    case 1:
      *static_cast<uint8_t*>(value) = static_cast<uint8_t>(in->read_byte());
      break;
    case 2:
      in->read_u16_le(value);
      break;
    case 4:
      in->read_u32_le(value);
      break;
    case 8:
      in->read_u64_le(value);
      break;
    default:
      in->read_bytes(static_cast<uint8_t*>(value), width);
  }
}

void print_field_failure(const char* failure, const HeaderField& field, uint32_t index) {
  if (field.count > 1) {
    std::fprintf(stderr, "%s%s[%u]\n", failure, field.name, index);
  } else {
    std::fprintf(stderr, "%s%s\n", failure, field.name);
  }
}

}  // namespace

bool write_header_field(ByteStreamOut* out, const HeaderField& field, LASheader& header,
                        const char* failure) {
  const uint8_t* value = static_cast<const uint8_t*>(field.at(header));
  for (uint32_t i = 0; i < field.count; i++, value += field.width) {
    if (!write_value(out, value, field.width)) {
      print_field_failure(failure, field, i);
      return false;
    }
  }
  return true;
}

bool read_header_field(ByteStreamIn* in, const HeaderField& field, LASheader& header,
                       const char* failure) {
  uint8_t* value = static_cast<uint8_t*>(field.at(header));
  for (uint32_t i = 0; i < field.count; i++, value += field.width) {
    try {
      read_value(in, value, field.width);
    } catch (...) {
      print_field_failure(failure, field, i);
      return false;
    }
  }
  return true;
}

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
