#include "core/las_vlr_payload.hpp"

#include <cstdio>

#include "core/byte_stream_in.hpp"

MallocBuffer LASvlrPayload::serialize() const {
  ByteStreamOutArrayLE array(payload_length());
  if (!write_fields(&array)) return nullptr;
  return array.take_buffer();
}

bool LASvlrPayload::deserialize(const uint8_t* bytes, uint32_t length) {
  ByteStreamInArrayLE array(bytes, length);
  return read_fields(&array);
}

namespace {

struct RasterField {
  const char* name;
  bool wide;
};
// The message for the last field reads "sigmax", as the stored tools print it.
const RasterField kFields[13] = {{"nbands", false}, {"nbits", false},     {"ncols", false},
                                 {"nrows", false},  {"reserved1", false}, {"reserved2", false},
                                 {"stepx", true},   {"stepx_y", true},    {"stepy", true},
                                 {"stepy_x", true}, {"llx", true},        {"lly", true},
                                 {"sigmaxy", true}};

}  // namespace

bool LASvlrRasterVPK::write_fields(ByteStreamOut* stream) const {
  const void* values[13] = {&nbands,  &nbits, &ncols,   &nrows, &reserved1, &reserved2, &stepx,
                            &stepx_y, &stepy, &stepy_x, &llx,   &lly,       &sigmaxy};
  for (int i = 0; i < 13; i++) {
    const bool ok =
        kFields[i].wide ? stream->write_u64_le(values[i]) : stream->write_u32_le(values[i]);
    if (!ok) {
      std::fprintf(stderr, "ERROR: writing LASvlrRasterVPK.%s\n", kFields[i].name);
      return false;
    }
  }
  return true;
}

bool LASvlrRasterVPK::read_fields(ByteStreamIn* stream) {
  void* values[13] = {&nbands,  &nbits, &ncols,   &nrows, &reserved1, &reserved2, &stepx,
                      &stepx_y, &stepy, &stepy_x, &llx,   &lly,       &sigmaxy};
  for (int i = 0; i < 13; i++) {
    try {
      if (kFields[i].wide) {
        stream->read_u64_le(values[i]);
      } else {
        stream->read_u32_le(values[i]);
      }
    } catch (int) {
      std::fprintf(stderr, "ERROR: reading LASvlrRasterVPK.%s\n",
                   i == 12 ? "sigmax" : kFields[i].name);
      return false;
    }
  }
  return true;
}
