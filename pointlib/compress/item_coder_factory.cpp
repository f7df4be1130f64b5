#include "compress/item_coder_factory.hpp"

#include "compress/item_byte14_v3.hpp"
#include "compress/item_byte_v1.hpp"
#include "compress/item_byte_v2.hpp"
#include "compress/item_coders_layered.hpp"
#include "compress/item_coders_legacy.hpp"
#include "compress/item_gpstime11_v1.hpp"
#include "compress/item_gpstime11_v2.hpp"
#include "compress/item_point10_v1.hpp"
#include "compress/item_point10_v2.hpp"
#include "compress/item_point14_v3.hpp"
#include "compress/item_rgb12_v1.hpp"
#include "compress/item_rgb12_v2.hpp"
#include "compress/item_rgb14_v3.hpp"
#include "compress/item_wavepacket13_v1.hpp"
#include "compress/item_wavepacket14_v3.hpp"

namespace {

using Reader = std::unique_ptr<LASreadItemCompressed>;
using Writer = std::unique_ptr<LASwriteItemCompressed>;
using ReaderMaker = Reader (*)(const LASitem&, IntervalDecoder*, uint32_t layer_request_mask);
using WriterMaker = Writer (*)(const LASitem&, IntervalEncoder*);

// The coder constructors by what they take besides the coder: nothing, the
// item's size, the layer request mask, or both.
template <typename C>
Reader read_fixed(const LASitem&, IntervalDecoder* dec, uint32_t) {
  return std::make_unique<C>(dec);
}
template <typename C>
Reader read_sized(const LASitem& item, IntervalDecoder* dec, uint32_t) {
  return std::make_unique<C>(dec, item.size);
}
template <typename C>
Reader read_layered(const LASitem&, IntervalDecoder* dec, uint32_t mask) {
  return std::make_unique<C>(dec, mask);
}
template <typename C>
Reader read_layered_sized(const LASitem& item, IntervalDecoder* dec, uint32_t mask) {
  if (item.size == 0) return nullptr;
  return std::make_unique<C>(dec, item.size, mask);
}
template <typename C>
Writer write_fixed(const LASitem&, IntervalEncoder* enc) {
  return std::make_unique<C>(enc);
}
template <typename C>
Writer write_sized(const LASitem& item, IntervalEncoder* enc) {
  if (item.size == 0) return nullptr;
  return std::make_unique<C>(enc, item.size);
}

// One row per coded version of an item type: the coder that reads it and the
// one that writes it (none: that version is only read). Version 2 of the
// extended items is read by the version-3 coders.
struct CoderRow {
  LASitemType type;
  uint16_t version;
  ReaderMaker read;
  WriterMaker write;
};

// clang-format off
const CoderRow kCoders[] = {
  {LASitem::BYTE, 1, read_sized<LASreadItemCompressed_BYTE_v1>, write_sized<LASwriteItemCompressed_BYTE_v1>},
  {LASitem::BYTE, 2, read_sized<LASreadItemCompressed_BYTE_v2>, write_sized<LASwriteItemCompressed_BYTE_v2>},
  {LASitem::POINT10, 1, read_fixed<LASreadItemCompressed_POINT10_v1>, write_fixed<LASwriteItemCompressed_POINT10_v1>},
  {LASitem::POINT10, 2, read_fixed<LASreadItemCompressed_POINT10_v2>, write_fixed<LASwriteItemCompressed_POINT10_v2>},
  {LASitem::GPSTIME11, 1, read_fixed<LASreadItemCompressed_GPSTIME11_v1>, write_fixed<LASwriteItemCompressed_GPSTIME11_v1>},
  {LASitem::GPSTIME11, 2, read_fixed<LASreadItemCompressed_GPSTIME11_v2>, write_fixed<LASwriteItemCompressed_GPSTIME11_v2>},
  {LASitem::RGB12, 1, read_fixed<LASreadItemCompressed_RGB12_v1>, write_fixed<LASwriteItemCompressed_RGB12_v1>},
  {LASitem::RGB12, 2, read_fixed<LASreadItemCompressed_RGB12_v2>, write_fixed<LASwriteItemCompressed_RGB12_v2>},
  {LASitem::WAVEPACKET13, 1, read_fixed<LASreadItemCompressed_WAVEPACKET13_v1>, write_fixed<LASwriteItemCompressed_WAVEPACKET13_v1>},
  {LASitem::POINT14, 2, read_layered<LASreadItemCompressed_POINT14_v3>, nullptr},
  {LASitem::POINT14, 3, read_layered<LASreadItemCompressed_POINT14_v3>, write_fixed<LASwriteItemCompressed_POINT14_v3>},
  {LASitem::POINT14, 4, read_layered<LASreadItemCompressed_POINT14_v4>, write_fixed<LASwriteItemCompressed_POINT14_v4>},
  {LASitem::RGB14, 2, read_layered<LASreadItemCompressed_RGB14_v3>, nullptr},
  {LASitem::RGB14, 3, read_layered<LASreadItemCompressed_RGB14_v3>, write_fixed<LASwriteItemCompressed_RGB14_v3>},
  {LASitem::RGB14, 4, read_layered<LASreadItemCompressed_RGB14_v4>, write_fixed<LASwriteItemCompressed_RGB14_v4>},
  {LASitem::RGBNIR14, 2, read_layered<LASreadItemCompressed_RGBNIR14_v3>, nullptr},
  {LASitem::RGBNIR14, 3, read_layered<LASreadItemCompressed_RGBNIR14_v3>, write_fixed<LASwriteItemCompressed_RGBNIR14_v3>},
  {LASitem::RGBNIR14, 4, read_layered<LASreadItemCompressed_RGBNIR14_v4>, write_fixed<LASwriteItemCompressed_RGBNIR14_v4>},
  {LASitem::WAVEPACKET14, 3, read_layered<LASreadItemCompressed_WAVEPACKET14_v3>, write_fixed<LASwriteItemCompressed_WAVEPACKET14_v3>},
  {LASitem::WAVEPACKET14, 4, read_layered<LASreadItemCompressed_WAVEPACKET14_v4>, write_fixed<LASwriteItemCompressed_WAVEPACKET14_v4>},
  {LASitem::BYTE14, 2, read_layered_sized<LASreadItemCompressed_BYTE14_v3>, nullptr},
  {LASitem::BYTE14, 3, read_layered_sized<LASreadItemCompressed_BYTE14_v3>, write_sized<LASwriteItemCompressed_BYTE14_v3>},
  {LASitem::BYTE14, 4, read_layered_sized<LASreadItemCompressed_BYTE14_v4>, write_sized<LASwriteItemCompressed_BYTE14_v4>},
};
// clang-format on

const CoderRow* find_coder(const LASitem& item) {
  for (const CoderRow& row : kCoders) {
    if (row.type == item.type && row.version == item.version) return &row;
  }
  return nullptr;
}

// Whether the item's kind is coded in layers (`layered`) or not; unknown
// types are neither.
bool kind_is(const LASitem& item, bool layered) {
  const LASitemKind* kind = las_item_kind(item.type);
  return kind && kind->layered == layered;
}

Reader make_reader_of(const LASitem& item, IntervalDecoder* dec, uint32_t mask) {
  const CoderRow* row = find_coder(item);
  return row ? row->read(item, dec, mask) : nullptr;
}

Writer make_writer_of(const LASitem& item, IntervalEncoder* enc) {
  const CoderRow* row = find_coder(item);
  return row && row->write ? row->write(item, enc) : nullptr;
}

}  // namespace

// The legacy coders rely on the fixed item sizes; the sizes were checked with
// the item list, and a mismatch here is refused all the same.
std::unique_ptr<LASreadItemCompressed> make_read_item_compressed_legacy(const LASitem& item,
                                                                        IntervalDecoder* dec) {
  if (!kind_is(item, false) || !item.is_type(item.type)) return nullptr;
  return make_reader_of(item, dec, 0);
}

std::unique_ptr<LASwriteItemCompressed> make_write_item_compressed_legacy(const LASitem& item,
                                                                          IntervalEncoder* enc) {
  if (!kind_is(item, false) || !item.is_type(item.type)) return nullptr;
  return make_writer_of(item, enc);
}

std::unique_ptr<LASreadItemCompressed> make_read_item_compressed_layered(const LASitem& item,
                                                                         IntervalDecoder* dec,
                                                                         uint32_t mask) {
  if (!kind_is(item, true)) return nullptr;
  return make_reader_of(item, dec, mask);
}

std::unique_ptr<LASwriteItemCompressed> make_write_item_compressed_layered(const LASitem& item,
                                                                           IntervalEncoder* enc) {
  if (!kind_is(item, true)) return nullptr;
  return make_writer_of(item, enc);
}

std::unique_ptr<LASreadItemCompressed> LASitemCoderFactory::make_reader(
    const LASitem& item, IntervalDecoder* decoder, uint32_t layer_request_mask) const {
  if (kind_is(item, true))
    return make_read_item_compressed_layered(item, decoder, layer_request_mask);
  return make_read_item_compressed_legacy(item, decoder);
}

std::unique_ptr<LASwriteItemCompressed> LASitemCoderFactory::make_writer(
    const LASitem& item, IntervalEncoder* encoder) const {
  if (kind_is(item, true)) return make_write_item_compressed_layered(item, encoder);
  return make_write_item_compressed_legacy(item, encoder);
}

const LASitemCoderFactory& LASitemCoderFactory::standard() {
  static const LASitemCoderFactory factory;
  return factory;
}

bool LASitemCoderFactory::is_coded_version(const LASitem& item, bool writing) {
  const CoderRow* row = find_coder(item);
  return row != nullptr && (!writing || row->write != nullptr);
}
