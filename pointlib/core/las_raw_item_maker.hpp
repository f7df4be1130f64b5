#ifndef POINTLIB_CORE_LAS_RAW_ITEM_MAKER_HPP
#define POINTLIB_CORE_LAS_RAW_ITEM_MAKER_HPP

#include <memory>

#include "core/las_item.hpp"

// The raw coder of `item` for one direction, or null for a type it does not
// know or a size that does not match the type. `Coders` names the classes of
// that direction: Base, Bytes (any size), Point10, GpsTime11, Rgb12,
// WavePacket13, RgbNir14 and Point14, one per raw layout of the item table.
template <typename Coders>
std::unique_ptr<typename Coders::Base> make_raw_item_coder(const LASitem& item) {
  if (!item.is_type(item.type)) return nullptr;
  switch (las_item_kind(item.type)->raw) {
    case LASrawLayout::bytes:
      return std::make_unique<typename Coders::Bytes>(item.size);
    case LASrawLayout::point10:
      return std::make_unique<typename Coders::Point10>();
    case LASrawLayout::gpstime11:
      return std::make_unique<typename Coders::GpsTime11>();
    case LASrawLayout::rgb12:
      return std::make_unique<typename Coders::Rgb12>();
    case LASrawLayout::wavepacket13:
      return std::make_unique<typename Coders::WavePacket13>();
    case LASrawLayout::rgbnir14:
      return std::make_unique<typename Coders::RgbNir14>();
    case LASrawLayout::point14:
      return std::make_unique<typename Coders::Point14>();
  }
  return nullptr;
}

#endif  // POINTLIB_CORE_LAS_RAW_ITEM_MAKER_HPP
