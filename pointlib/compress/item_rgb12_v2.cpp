#include "compress/item_rgb12_v2.hpp"

#include <cstring>

namespace {

// Bits of the changed-bytes symbol; bit 6 tells that green and blue follow.
constexpr uint32_t kRedLow = 1;
constexpr uint32_t kRedHigh = 2;
constexpr uint32_t kGreenLow = 4;
constexpr uint32_t kGreenHigh = 8;
constexpr uint32_t kBlueLow = 16;
constexpr uint32_t kBlueHigh = 32;
constexpr uint32_t kNotGrey = 64;

inline int32_t lo(uint16_t v) {
  return v & 0xFF;
}
inline int32_t hi(uint16_t v) {
  return v >> 8;
}

// The byte fold: the reader adds the symbol to the prediction modulo 256.
inline uint32_t fold(int32_t value, int32_t prediction) {
  return static_cast<uint8_t>(value - prediction);
}
inline int32_t unfold(uint32_t symbol, int32_t prediction) {
  return static_cast<uint8_t>(symbol + static_cast<uint32_t>(prediction));
}

}  // namespace

LASreadItemCompressed_RGB12_v2::LASreadItemCompressed_RGB12_v2(IntervalDecoder* dec)
    : dec(dec), byte_used(dec->new_symbol_model(128)) {
  for (auto& m : rgb_diff) m = dec->new_symbol_model(256);
}

bool LASreadItemCompressed_RGB12_v2::start_chunk(uint8_t* item, uint32_t&) {
  byte_used->reset();
  for (auto& m : rgb_diff) m->reset();
  std::memcpy(last_item, item, 6);
  return true;
}

void LASreadItemCompressed_RGB12_v2::read_item(uint8_t* item, uint32_t&) {
  IntervalDecoder::Run coder(*dec);
  const uint32_t sym = coder.get_symbol(byte_used.get());
  uint16_t rgb[3];
  int32_t red_lo = lo(last_item[0]);
  int32_t red_hi = hi(last_item[0]);
  if (sym & kRedLow) red_lo = unfold(coder.get_symbol(rgb_diff[0].get()), red_lo);
  if (sym & kRedHigh) red_hi = unfold(coder.get_symbol(rgb_diff[1].get()), red_hi);
  rgb[0] = static_cast<uint16_t>(red_lo | (red_hi << 8));
  if (sym & kNotGrey) {
    const int32_t dl = red_lo - lo(last_item[0]);
    const int32_t dh = red_hi - hi(last_item[0]);
    int32_t green_lo = lo(last_item[1]);
    int32_t green_hi = hi(last_item[1]);
    int32_t blue_lo = lo(last_item[2]);
    int32_t blue_hi = hi(last_item[2]);
    if (sym & kGreenLow) {
      green_lo = unfold(coder.get_symbol(rgb_diff[2].get()), Rgb12V2::clamp(dl + lo(last_item[1])));
    }
    if (sym & kBlueLow) {
      const int32_t e = (dl + (green_lo - lo(last_item[1]))) / 2;
      blue_lo = unfold(coder.get_symbol(rgb_diff[4].get()), Rgb12V2::clamp(e + lo(last_item[2])));
    }
    if (sym & kGreenHigh) {
      green_hi = unfold(coder.get_symbol(rgb_diff[3].get()), Rgb12V2::clamp(dh + hi(last_item[1])));
    }
    if (sym & kBlueHigh) {
      const int32_t f = (dh + (green_hi - hi(last_item[1]))) / 2;
      blue_hi = unfold(coder.get_symbol(rgb_diff[5].get()), Rgb12V2::clamp(f + hi(last_item[2])));
    }
    rgb[1] = static_cast<uint16_t>(green_lo | (green_hi << 8));
    rgb[2] = static_cast<uint16_t>(blue_lo | (blue_hi << 8));
  } else {
    rgb[1] = rgb[0];
    rgb[2] = rgb[0];
  }
  coder.commit();
  std::memcpy(last_item, rgb, 6);
  std::memcpy(item, rgb, 6);
}

LASwriteItemCompressed_RGB12_v2::LASwriteItemCompressed_RGB12_v2(IntervalEncoder* enc)
    : enc(enc), byte_used(enc->new_symbol_model(128)) {
  for (auto& m : rgb_diff) m = enc->new_symbol_model(256);
}

bool LASwriteItemCompressed_RGB12_v2::start_chunk(const uint8_t* item, uint32_t&) {
  byte_used->reset();
  for (auto& m : rgb_diff) m->reset();
  std::memcpy(last_item, item, 6);
  return true;
}

bool LASwriteItemCompressed_RGB12_v2::write_item(const uint8_t* item, uint32_t&) {
  uint16_t rgb[3];
  std::memcpy(rgb, item, 6);
  const uint32_t sym = (lo(last_item[0]) != lo(rgb[0]) ? kRedLow : 0u) |
                       (hi(last_item[0]) != hi(rgb[0]) ? kRedHigh : 0u) |
                       (lo(last_item[1]) != lo(rgb[1]) ? kGreenLow : 0u) |
                       (hi(last_item[1]) != hi(rgb[1]) ? kGreenHigh : 0u) |
                       (lo(last_item[2]) != lo(rgb[2]) ? kBlueLow : 0u) |
                       (hi(last_item[2]) != hi(rgb[2]) ? kBlueHigh : 0u) |
                       (rgb[0] == rgb[1] && rgb[0] == rgb[2] ? 0u : kNotGrey);
  enc->put_symbol(byte_used.get(), sym);
  int32_t dl = 0;
  int32_t dh = 0;
  if (sym & kRedLow) {
    dl = lo(rgb[0]) - lo(last_item[0]);
    enc->put_symbol(rgb_diff[0].get(), fold(lo(rgb[0]), lo(last_item[0])));
  }
  if (sym & kRedHigh) {
    dh = hi(rgb[0]) - hi(last_item[0]);
    enc->put_symbol(rgb_diff[1].get(), fold(hi(rgb[0]), hi(last_item[0])));
  }
  if (sym & kNotGrey) {
    if (sym & kGreenLow) {
      const int32_t corr = Rgb12V2::clamp(dl + lo(last_item[1]));
      enc->put_symbol(rgb_diff[2].get(), fold(lo(rgb[1]), corr));
    }
    if (sym & kBlueLow) {
      const int32_t e = (dl + (lo(rgb[1]) - lo(last_item[1]))) / 2;
      const int32_t corr = Rgb12V2::clamp(e + lo(last_item[2]));
      enc->put_symbol(rgb_diff[4].get(), fold(lo(rgb[2]), corr));
    }
    if (sym & kGreenHigh) {
      const int32_t corr = Rgb12V2::clamp(dh + hi(last_item[1]));
      enc->put_symbol(rgb_diff[3].get(), fold(hi(rgb[1]), corr));
    }
    if (sym & kBlueHigh) {
      const int32_t f = (dh + (hi(rgb[1]) - hi(last_item[1]))) / 2;
      const int32_t corr = Rgb12V2::clamp(f + hi(last_item[2]));
      enc->put_symbol(rgb_diff[5].get(), fold(hi(rgb[2]), corr));
    }
  }
  std::memcpy(last_item, rgb, 6);
  return true;
}
