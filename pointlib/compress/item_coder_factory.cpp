#include "compress/item_coder_factory.hpp"

#include "compress/item_coders_layered.hpp"
#include "compress/item_coders_legacy.hpp"

std::unique_ptr<LASreadItemCompressed> LASitemCoderFactory::make_reader(
    const LASitem& item, IntervalDecoder* decoder, uint32_t layer_request_mask) const {
  switch (item.type) {
    case LASitem::BYTE:
    case LASitem::POINT10:
    case LASitem::GPSTIME11:
    case LASitem::RGB12:
    case LASitem::WAVEPACKET13:
      return make_read_item_compressed_legacy(item, decoder);
    case LASitem::POINT14:
    case LASitem::RGB14:
    case LASitem::RGBNIR14:
    case LASitem::WAVEPACKET14:
    case LASitem::BYTE14:
      return make_read_item_compressed_layered(item, decoder, layer_request_mask);
  }
  return nullptr;
}

std::unique_ptr<LASwriteItemCompressed> LASitemCoderFactory::make_writer(
    const LASitem& item, IntervalEncoder* encoder) const {
  switch (item.type) {
    case LASitem::BYTE:
    case LASitem::POINT10:
    case LASitem::GPSTIME11:
    case LASitem::RGB12:
    case LASitem::WAVEPACKET13:
      return make_write_item_compressed_legacy(item, encoder);
    case LASitem::POINT14:
    case LASitem::RGB14:
    case LASitem::RGBNIR14:
    case LASitem::WAVEPACKET14:
    case LASitem::BYTE14:
      return make_write_item_compressed_layered(item, encoder);
  }
  return nullptr;
}

const LASitemCoderFactory& LASitemCoderFactory::standard() {
  static const LASitemCoderFactory factory;
  return factory;
}

bool LASitemCoderFactory::is_coded_version(const LASitem& item, bool writing) {
  const uint16_t v = item.version;
  switch (item.type) {
    case LASitem::BYTE:
    case LASitem::POINT10:
    case LASitem::GPSTIME11:
    case LASitem::RGB12:
      return v == 1 || v == 2;
    case LASitem::WAVEPACKET13:
      return v == 1;
    case LASitem::POINT14:
    case LASitem::RGB14:
    case LASitem::RGBNIR14:
    case LASitem::BYTE14:
      return v == 3 || v == 4 || (v == 2 && !writing);
    case LASitem::WAVEPACKET14:
      return v == 3 || v == 4;
  }
  return false;
}
