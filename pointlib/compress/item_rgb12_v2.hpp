#ifndef POINTLIB_COMPRESS_ITEM_RGB12_V2_HPP
#define POINTLIB_COMPRESS_ITEM_RGB12_V2_HPP

#include <cstdint>
#include <memory>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

// Colour with green predicted from red's change and blue from red's and
// green's, each byte as a difference modulo 256 with a model of its own. Grey
// (red = green = blue) codes red alone. Item bytes: 0 red low, 1 red high,
// 2 green low, 3 green high, 4 blue low, 5 blue high.
struct Rgb12V2 {
  // 0 when v <= 0, 255 when v >= 255, else v.
  static constexpr int32_t clamp(int32_t v) { return v <= 0 ? 0 : (v >= 255 ? 255 : v); }
};

class LASreadItemCompressed_RGB12_v2 : public LASreadItemCompressed {
 public:
  explicit LASreadItemCompressed_RGB12_v2(IntervalDecoder* dec);
  void read_item(uint8_t* item, uint32_t& context) override;
  bool start_chunk(uint8_t* item, uint32_t& context) override;

 private:
  IntervalDecoder* dec;
  std::unique_ptr<SymbolModel> byte_used;
  std::unique_ptr<SymbolModel> rgb_diff[6];
  uint16_t last_item[3];
};

class LASwriteItemCompressed_RGB12_v2 : public LASwriteItemCompressed {
 public:
  explicit LASwriteItemCompressed_RGB12_v2(IntervalEncoder* enc);
  bool write_item(const uint8_t* item, uint32_t& context) override;
  bool start_chunk(const uint8_t* item, uint32_t& context) override;

 private:
  IntervalEncoder* enc;
  std::unique_ptr<SymbolModel> byte_used;
  std::unique_ptr<SymbolModel> rgb_diff[6];
  uint16_t last_item[3];
};

#endif
