#ifndef POINTLIB_COMPRESS_ITEM_RGB12_V1_HPP
#define POINTLIB_COMPRESS_ITEM_RGB12_V1_HPP

#include <cstdint>
#include <memory>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/residual_coder.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

// Six colour bytes (red, green, blue, each low then high); a symbol tells
// which bytes changed, and each changed byte is coded against its old value.
class LASreadItemCompressed_RGB12_v1 : public LASreadItemCompressed {
 public:
  explicit LASreadItemCompressed_RGB12_v1(IntervalDecoder* dec);
  void read_item(uint8_t* item, uint32_t& context) override;
  bool start_chunk(uint8_t* item, uint32_t& context) override;

 private:
  IntervalDecoder* dec;
  std::unique_ptr<SymbolModel> byte_used;
  ResidualCoder ic_rgb;
  uint8_t last_item[6];
};

class LASwriteItemCompressed_RGB12_v1 : public LASwriteItemCompressed {
 public:
  explicit LASwriteItemCompressed_RGB12_v1(IntervalEncoder* enc);
  bool write_item(const uint8_t* item, uint32_t& context) override;
  bool start_chunk(const uint8_t* item, uint32_t& context) override;

 private:
  IntervalEncoder* enc;
  std::unique_ptr<SymbolModel> byte_used;
  ResidualCoder ic_rgb;
  uint8_t last_item[6];
};

#endif
