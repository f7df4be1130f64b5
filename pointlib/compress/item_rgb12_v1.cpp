#include "compress/item_rgb12_v1.hpp"

#include <cstring>

LASreadItemCompressed_RGB12_v1::LASreadItemCompressed_RGB12_v1(IntervalDecoder* dec)
    : dec(dec), byte_used(dec->new_symbol_model(64)), ic_rgb(dec, 8, 6) {}

bool LASreadItemCompressed_RGB12_v1::start_chunk(uint8_t* item, uint32_t&) {
  byte_used->reset();
  ic_rgb.prepare_decode();
  std::memcpy(last_item, item, 6);
  return true;
}

void LASreadItemCompressed_RGB12_v1::read_item(uint8_t* item, uint32_t&) {
  IntervalDecoder::Run coder(*dec);
  const uint32_t sym = coder.get_symbol(byte_used.get());
  for (uint32_t k = 0; k < 6; k++) {
    if (sym & (1u << k)) last_item[k] = static_cast<uint8_t>(ic_rgb.decode(coder, last_item[k], k));
  }
  coder.commit();
  std::memcpy(item, last_item, 6);
}

LASwriteItemCompressed_RGB12_v1::LASwriteItemCompressed_RGB12_v1(IntervalEncoder* enc)
    : enc(enc), byte_used(enc->new_symbol_model(64)), ic_rgb(enc, 8, 6) {}

bool LASwriteItemCompressed_RGB12_v1::start_chunk(const uint8_t* item, uint32_t&) {
  byte_used->reset();
  ic_rgb.prepare_encode();
  std::memcpy(last_item, item, 6);
  return true;
}

bool LASwriteItemCompressed_RGB12_v1::write_item(const uint8_t* item, uint32_t&) {
  uint32_t sym = 0;
  for (uint32_t k = 0; k < 6; k++) {
    if (item[k] != last_item[k]) sym |= 1u << k;
  }
  enc->put_symbol(byte_used.get(), sym);
  for (uint32_t k = 0; k < 6; k++) {
    if (sym & (1u << k)) ic_rgb.encode(last_item[k], item[k], k);
  }
  std::memcpy(last_item, item, 6);
  return true;
}
