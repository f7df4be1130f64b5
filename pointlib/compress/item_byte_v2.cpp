#include "compress/item_byte_v2.hpp"

#include <cstring>

LASreadItemCompressed_BYTE_v2::LASreadItemCompressed_BYTE_v2(IntervalDecoder* dec, uint32_t number)
    : dec(dec), number(number), byte_diff(number), last_item(new uint8_t[number]) {
  for (auto& m : byte_diff) m = dec->new_symbol_model(256);
}

bool LASreadItemCompressed_BYTE_v2::start_chunk(uint8_t* item, uint32_t&) {
  for (auto& m : byte_diff) m->reset();
  std::memcpy(last_item.get(), item, number);
  return true;
}

void LASreadItemCompressed_BYTE_v2::read_item(uint8_t* item, uint32_t&) {
  IntervalDecoder::Run coder(*dec);
  for (uint32_t i = 0; i < number; i++) {
    last_item[i] = static_cast<uint8_t>(last_item[i] + coder.get_symbol(byte_diff[i].get()));
  }
  coder.commit();
  std::memcpy(item, last_item.get(), number);
}

LASwriteItemCompressed_BYTE_v2::LASwriteItemCompressed_BYTE_v2(IntervalEncoder* enc,
                                                               uint32_t number)
    : enc(enc), number(number), byte_diff(number), last_item(new uint8_t[number]) {
  for (auto& m : byte_diff) m = enc->new_symbol_model(256);
}

bool LASwriteItemCompressed_BYTE_v2::start_chunk(const uint8_t* item, uint32_t&) {
  for (auto& m : byte_diff) m->reset();
  std::memcpy(last_item.get(), item, number);
  return true;
}

bool LASwriteItemCompressed_BYTE_v2::write_item(const uint8_t* item, uint32_t&) {
  for (uint32_t i = 0; i < number; i++) {
    enc->put_symbol(byte_diff[i].get(), static_cast<uint8_t>(item[i] - last_item[i]));
  }
  std::memcpy(last_item.get(), item, number);
  return true;
}
