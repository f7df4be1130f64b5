#ifndef POINTLIB_COMPRESS_ITEM_GPSTIME11_V1_HPP
#define POINTLIB_COMPRESS_ITEM_GPSTIME11_V1_HPP

#include <cstdint>
#include <memory>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/residual_coder.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

// GPS times are coded as their 64-bit patterns. A time difference is predicted
// as a multiple of the previous difference (pulses skipped or repeated), the
// multiplier 0..509 coded as a symbol; 510 stores the time raw, 511 repeats it.
struct Gpstime11V1 {
  static constexpr uint32_t kMultiMax = 512;
  static constexpr uint32_t kMultiUnchanged = kMultiMax - 1;
  static constexpr uint32_t kMultiCodeFull = kMultiMax - 2;
  static constexpr uint32_t kMultiLargest = kMultiMax - 3;

  // The multiplier the writer picks for difference d after p (p != 0).
  static uint32_t multiplier(int32_t d, int32_t p);
};

class LASreadItemCompressed_GPSTIME11_v1 : public LASreadItemCompressed {
 public:
  explicit LASreadItemCompressed_GPSTIME11_v1(IntervalDecoder* dec);
  void read_item(uint8_t* item, uint32_t& context) override;
  bool start_chunk(uint8_t* item, uint32_t& context) override;

 private:
  IntervalDecoder* dec;
  std::unique_ptr<SymbolModel> multi;
  std::unique_ptr<SymbolModel> zero_diff;
  ResidualCoder ic_gpstime;
  uint64_t last_gpstime;
  int32_t last_gpstime_diff;
  int32_t multi_extreme_counter;
};

class LASwriteItemCompressed_GPSTIME11_v1 : public LASwriteItemCompressed {
 public:
  explicit LASwriteItemCompressed_GPSTIME11_v1(IntervalEncoder* enc);
  bool write_item(const uint8_t* item, uint32_t& context) override;
  bool start_chunk(const uint8_t* item, uint32_t& context) override;

 private:
  IntervalEncoder* enc;
  std::unique_ptr<SymbolModel> multi;
  std::unique_ptr<SymbolModel> zero_diff;
  ResidualCoder ic_gpstime;
  uint64_t last_gpstime;
  int32_t last_gpstime_diff;
  int32_t multi_extreme_counter;
};

#endif
