#include "compress/item_byte_v1.hpp"

#include <cstring>

LASreadItemCompressed_BYTE_v1::LASreadItemCompressed_BYTE_v1(IntervalDecoder* dec, uint32_t number)
    : dec(dec), number(number), ic_byte(dec, 8, number), last_item(new uint8_t[number]) {}

bool LASreadItemCompressed_BYTE_v1::start_chunk(uint8_t* item, uint32_t&) {
  ic_byte.prepare_decode();
  std::memcpy(last_item.get(), item, number);
  return true;
}

void LASreadItemCompressed_BYTE_v1::read_item(uint8_t* item, uint32_t&) {
  IntervalDecoder::Run coder(*dec);
  for (uint32_t i = 0; i < number; i++) {
    last_item[i] = static_cast<uint8_t>(ic_byte.decode(coder, last_item[i], i));
  }
  coder.commit();
  std::memcpy(item, last_item.get(), number);
}

LASwriteItemCompressed_BYTE_v1::LASwriteItemCompressed_BYTE_v1(IntervalEncoder* enc,
                                                               uint32_t number)
    : number(number), ic_byte(enc, 8, number), last_item(new uint8_t[number]) {}

bool LASwriteItemCompressed_BYTE_v1::start_chunk(const uint8_t* item, uint32_t&) {
  ic_byte.prepare_encode();
  std::memcpy(last_item.get(), item, number);
  return true;
}

bool LASwriteItemCompressed_BYTE_v1::write_item(const uint8_t* item, uint32_t&) {
  for (uint32_t i = 0; i < number; i++) ic_byte.encode(last_item[i], item[i], i);
  std::memcpy(last_item.get(), item, number);
  return true;
}
