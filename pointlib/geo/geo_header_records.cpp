#include "geo/geo_header_records.hpp"

#include <cstring>

namespace {

// The length of the VLR or EVLR whose payload begins at `data`; 0 when no record holds it.
uint64_t payload_length(const LASheader& header, const void* data) {
  if (!data) return 0;
  for (const LASvlrRecord& vlr : header.vlrs) {
    if (vlr.data.get() == data) return vlr.record_length_after_header;
  }
  for (const LASevlrRecord& evlr : header.evlrs) {
    if (evlr.data.get() == data) return evlr.record_length_after_header;
  }
  return 0;
}

}  // namespace

std::string header_ogc_wkt(const LASheader& header) {
  const char* text = header.vlr_geo_ogc_wkt;
  const uint64_t length = payload_length(header, text);
  if (length == 0) return std::string();
  const void* zero = std::memchr(text, 0, length);
  return std::string(text, zero ? static_cast<const char*>(zero) - text : length);
}

int header_geo_key_count(const LASheader& header) {
  if (!header.vlr_geo_keys || !header.vlr_geo_key_entries) return 0;
  const uint64_t length = payload_length(header, header.vlr_geo_keys);
  const uint64_t room = length < 8 ? 0 : (length - 8) / 8;
  const uint64_t keys = header.vlr_geo_keys->number_of_keys;
  return int(keys < room ? keys : room);
}

int header_geo_double_count(const LASheader& header) {
  const uint64_t values = payload_length(header, header.vlr_geo_double_params) / 8;
  // Key values are 16-bit, so no key reaches further.
  return values > 65536 ? 65536 : int(values);
}
