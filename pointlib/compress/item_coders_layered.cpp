#include "compress/item_coders_layered.hpp"

#include "compress/item_byte14_v3.hpp"
#include "compress/item_point14_v3.hpp"
#include "compress/item_rgb14_v3.hpp"
#include "compress/item_wavepacket14_v3.hpp"

std::unique_ptr<LASreadItemCompressed> make_read_item_compressed_layered(const LASitem& item,
                                                                         IntervalDecoder* dec,
                                                                         uint32_t mask) {
  const bool v3 = item.version == 2 || item.version == 3;
  const bool v4 = item.version == 4;
  if (!v3 && !v4) return nullptr;
  switch (item.type) {
    case LASitem::POINT14:
      if (v4) return std::make_unique<LASreadItemCompressed_POINT14_v4>(dec, mask);
      return std::make_unique<LASreadItemCompressed_POINT14_v3>(dec, mask);
    case LASitem::RGB14:
      if (v4) return std::make_unique<LASreadItemCompressed_RGB14_v4>(dec, mask);
      return std::make_unique<LASreadItemCompressed_RGB14_v3>(dec, mask);
    case LASitem::RGBNIR14:
      if (v4) return std::make_unique<LASreadItemCompressed_RGBNIR14_v4>(dec, mask);
      return std::make_unique<LASreadItemCompressed_RGBNIR14_v3>(dec, mask);
    case LASitem::WAVEPACKET14:
      if (v4) return std::make_unique<LASreadItemCompressed_WAVEPACKET14_v4>(dec, mask);
      if (item.version == 3)
        return std::make_unique<LASreadItemCompressed_WAVEPACKET14_v3>(dec, mask);
      return nullptr;
    case LASitem::BYTE14:
      if (item.size == 0) return nullptr;
      if (v4) return std::make_unique<LASreadItemCompressed_BYTE14_v4>(dec, item.size, mask);
      return std::make_unique<LASreadItemCompressed_BYTE14_v3>(dec, item.size, mask);
    default:
      return nullptr;
  }
}

std::unique_ptr<LASwriteItemCompressed> make_write_item_compressed_layered(const LASitem& item,
                                                                           IntervalEncoder* enc) {
  const bool v4 = item.version == 4;
  if (item.version != 3 && !v4) return nullptr;
  switch (item.type) {
    case LASitem::POINT14:
      if (v4) return std::make_unique<LASwriteItemCompressed_POINT14_v4>(enc);
      return std::make_unique<LASwriteItemCompressed_POINT14_v3>(enc);
    case LASitem::RGB14:
      if (v4) return std::make_unique<LASwriteItemCompressed_RGB14_v4>(enc);
      return std::make_unique<LASwriteItemCompressed_RGB14_v3>(enc);
    case LASitem::RGBNIR14:
      if (v4) return std::make_unique<LASwriteItemCompressed_RGBNIR14_v4>(enc);
      return std::make_unique<LASwriteItemCompressed_RGBNIR14_v3>(enc);
    case LASitem::WAVEPACKET14:
      if (v4) return std::make_unique<LASwriteItemCompressed_WAVEPACKET14_v4>(enc);
      return std::make_unique<LASwriteItemCompressed_WAVEPACKET14_v3>(enc);
    case LASitem::BYTE14:
      if (item.size == 0) return nullptr;
      if (v4) return std::make_unique<LASwriteItemCompressed_BYTE14_v4>(enc, item.size);
      return std::make_unique<LASwriteItemCompressed_BYTE14_v3>(enc, item.size);
    default:
      return nullptr;
  }
}
