#ifndef POINTLIB_COMPRESS_ITEM_BYTE_V2_HPP
#define POINTLIB_COMPRESS_ITEM_BYTE_V2_HPP

#include <cstdint>
#include <memory>
#include <vector>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

// n extra bytes, each as its difference modulo 256 to the same byte of the
// previous point, with a model per byte.
class LASreadItemCompressed_BYTE_v2 : public LASreadItemCompressed {
 public:
  LASreadItemCompressed_BYTE_v2(IntervalDecoder* dec, uint32_t number);
  void read_item(uint8_t* item, uint32_t& context) override;
  bool start_chunk(uint8_t* item, uint32_t& context) override;

 private:
  IntervalDecoder* dec;
  uint32_t number;
  std::vector<std::unique_ptr<SymbolModel>> byte_diff;
  std::unique_ptr<uint8_t[]> last_item;
};

class LASwriteItemCompressed_BYTE_v2 : public LASwriteItemCompressed {
 public:
  LASwriteItemCompressed_BYTE_v2(IntervalEncoder* enc, uint32_t number);
  bool write_item(const uint8_t* item, uint32_t& context) override;
  bool start_chunk(const uint8_t* item, uint32_t& context) override;

 private:
  IntervalEncoder* enc;
  uint32_t number;
  std::vector<std::unique_ptr<SymbolModel>> byte_diff;
  std::unique_ptr<uint8_t[]> last_item;
};

#endif
