#include "compress/item_coders_legacy.hpp"

#include "compress/item_byte_v1.hpp"
#include "compress/item_byte_v2.hpp"
#include "compress/item_gpstime11_v1.hpp"
#include "compress/item_gpstime11_v2.hpp"
#include "compress/item_point10_v1.hpp"
#include "compress/item_point10_v2.hpp"
#include "compress/item_rgb12_v1.hpp"
#include "compress/item_rgb12_v2.hpp"
#include "compress/item_wavepacket13_v1.hpp"

std::unique_ptr<LASreadItemCompressed> make_read_item_compressed_legacy(const LASitem& item,
                                                                        IntervalDecoder* dec) {
  // Sizes were checked with the item list; a mismatch here is refused all the
  // same, since the coders rely on the fixed item sizes.
  if (!item.is_type(item.type)) return nullptr;
  const int version = item.version;
  switch (item.type) {
    case LASitem::BYTE:
      if (version == 1) return std::make_unique<LASreadItemCompressed_BYTE_v1>(dec, item.size);
      if (version == 2) return std::make_unique<LASreadItemCompressed_BYTE_v2>(dec, item.size);
      return nullptr;
    case LASitem::POINT10:
      if (version == 1) return std::make_unique<LASreadItemCompressed_POINT10_v1>(dec);
      if (version == 2) return std::make_unique<LASreadItemCompressed_POINT10_v2>(dec);
      return nullptr;
    case LASitem::GPSTIME11:
      if (version == 1) return std::make_unique<LASreadItemCompressed_GPSTIME11_v1>(dec);
      if (version == 2) return std::make_unique<LASreadItemCompressed_GPSTIME11_v2>(dec);
      return nullptr;
    case LASitem::RGB12:
      if (version == 1) return std::make_unique<LASreadItemCompressed_RGB12_v1>(dec);
      if (version == 2) return std::make_unique<LASreadItemCompressed_RGB12_v2>(dec);
      return nullptr;
    case LASitem::WAVEPACKET13:
      if (version == 1) return std::make_unique<LASreadItemCompressed_WAVEPACKET13_v1>(dec);
      return nullptr;
    default:
      return nullptr;
  }
}

std::unique_ptr<LASwriteItemCompressed> make_write_item_compressed_legacy(const LASitem& item,
                                                                          IntervalEncoder* enc) {
  // Sizes were checked with the item list; a mismatch here is refused all the
  // same, since the coders rely on the fixed item sizes.
  if (!item.is_type(item.type)) return nullptr;
  const int version = item.version;
  switch (item.type) {
    case LASitem::BYTE:
      if (version == 1) return std::make_unique<LASwriteItemCompressed_BYTE_v1>(enc, item.size);
      if (version == 2) return std::make_unique<LASwriteItemCompressed_BYTE_v2>(enc, item.size);
      return nullptr;
    case LASitem::POINT10:
      if (version == 1) return std::make_unique<LASwriteItemCompressed_POINT10_v1>(enc);
      if (version == 2) return std::make_unique<LASwriteItemCompressed_POINT10_v2>(enc);
      return nullptr;
    case LASitem::GPSTIME11:
      if (version == 1) return std::make_unique<LASwriteItemCompressed_GPSTIME11_v1>(enc);
      if (version == 2) return std::make_unique<LASwriteItemCompressed_GPSTIME11_v2>(enc);
      return nullptr;
    case LASitem::RGB12:
      if (version == 1) return std::make_unique<LASwriteItemCompressed_RGB12_v1>(enc);
      if (version == 2) return std::make_unique<LASwriteItemCompressed_RGB12_v2>(enc);
      return nullptr;
    case LASitem::WAVEPACKET13:
      if (version == 1) return std::make_unique<LASwriteItemCompressed_WAVEPACKET13_v1>(enc);
      return nullptr;
    default:
      return nullptr;
  }
}
