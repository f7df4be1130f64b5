#ifndef POINTLIB_CORE_LAS_RAW_ITEM_MAKER_HPP
#define POINTLIB_CORE_LAS_RAW_ITEM_MAKER_HPP

#include <memory>

#include "core/las_item.hpp"

// The raw coder of `item` for one direction, or null for a type it does not
// know or a size that does not match the type. `Coders` names the classes of
// that direction: Base, Bytes (any size), Point10, GpsTime11, Rgb12,
// WavePacket13, RgbNir14 and Point14. The 1.4 types share the raw coders of
// the older types whose record layout they keep.
template <typename Coders>
std::unique_ptr<typename Coders::Base> make_raw_item_coder(const LASitem& item) {
  if (!item.is_type(item.type)) return nullptr;
  switch (item.type) {
    case LASitem::BYTE:
    case LASitem::BYTE14:
      return std::make_unique<typename Coders::Bytes>(item.size);
    case LASitem::POINT10:
      return std::make_unique<typename Coders::Point10>();
    case LASitem::GPSTIME11:
      return std::make_unique<typename Coders::GpsTime11>();
    case LASitem::RGB12:
    case LASitem::RGB14:
      return std::make_unique<typename Coders::Rgb12>();
    case LASitem::WAVEPACKET13:
    case LASitem::WAVEPACKET14:
      return std::make_unique<typename Coders::WavePacket13>();
    case LASitem::RGBNIR14:
      return std::make_unique<typename Coders::RgbNir14>();
    case LASitem::POINT14:
      return std::make_unique<typename Coders::Point14>();
  }
  return nullptr;
}

#endif  // POINTLIB_CORE_LAS_RAW_ITEM_MAKER_HPP
