#ifndef POINTLIB_COMPRESS_ITEM_BYTE_V1_HPP
#define POINTLIB_COMPRESS_ITEM_BYTE_V1_HPP

#include <cstdint>
#include <memory>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/residual_coder.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

// n extra bytes, each coded against the same byte of the previous point with
// a context of its own.
class LASreadItemCompressed_BYTE_v1 : public LASreadItemCompressed {
 public:
  LASreadItemCompressed_BYTE_v1(IntervalDecoder* dec, uint32_t number);
  void read_item(uint8_t* item, uint32_t& context) override;
  bool start_chunk(uint8_t* item, uint32_t& context) override;

 private:
  IntervalDecoder* dec;
  uint32_t number;
  ResidualCoder ic_byte;
  std::unique_ptr<uint8_t[]> last_item;
};

class LASwriteItemCompressed_BYTE_v1 : public LASwriteItemCompressed {
 public:
  LASwriteItemCompressed_BYTE_v1(IntervalEncoder* enc, uint32_t number);
  bool write_item(const uint8_t* item, uint32_t& context) override;
  bool start_chunk(const uint8_t* item, uint32_t& context) override;

 private:
  uint32_t number;
  ResidualCoder ic_byte;
  std::unique_ptr<uint8_t[]> last_item;
};

#endif
