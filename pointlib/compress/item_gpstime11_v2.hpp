#ifndef POINTLIB_COMPRESS_ITEM_GPSTIME11_V2_HPP
#define POINTLIB_COMPRESS_ITEM_GPSTIME11_V2_HPP

#include <cstdint>
#include <memory>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/residual_coder.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

// GPS times coded as 64-bit patterns in up to four interleaved sequences
// (several scanners or flight lines merged), each with its own previous time,
// difference and repeat counter. With a previous difference p the new
// difference is predicted as a multiple m of p; symbols:
//   0: m = 0, 1..499: m, 500: m of 500 or more, 501..509: m = -1..-9,
//   510: m of -10 or less, 511: time unchanged, 512: a full time opens a new
//   sequence, 513..515: switch to the sequence 1..3 ahead and code again.
// Without a previous difference the zero-difference model takes 0 unchanged,
// 1 a difference, 2 a full time, 3..5 a switch.
struct Gpstime11V2 {
  static constexpr int32_t kMulti = 500;
  static constexpr int32_t kMultiMinus = -10;
  static constexpr uint32_t kMultiUnchanged = kMulti - kMultiMinus + 1;  // 511
  static constexpr uint32_t kMultiCodeFull = kMulti - kMultiMinus + 2;   // 512
  static constexpr uint32_t kMultiTotal = kMulti - kMultiMinus + 6;      // 516
  static constexpr uint32_t kZeroTotal = 6;

  // The nearest integer to d / p (ratio in single precision, halves away from
  // zero), limited to -11..501, which covers every case the symbols tell apart.
  static int32_t multiplier(int32_t d, int32_t p);
};

class LASreadItemCompressed_GPSTIME11_v2 : public LASreadItemCompressed {
 public:
  explicit LASreadItemCompressed_GPSTIME11_v2(IntervalDecoder* dec);
  void read_item(uint8_t* item, uint32_t& context) override;
  bool start_chunk(uint8_t* item, uint32_t& context) override;

 private:
  // Inlined: a Run reached through a call would have to live in memory.
  PL_CODER_INLINE void read_full_time(IntervalDecoder::Run& coder);

  IntervalDecoder* dec;
  std::unique_ptr<SymbolModel> multi;
  std::unique_ptr<SymbolModel> zero_diff;
  ResidualCoder ic_gpstime;
  uint32_t last;  // the current sequence
  uint32_t next;  // the slot used last for a new sequence
  uint64_t last_gpstime[4];
  int32_t last_gpstime_diff[4];
  int32_t multi_extreme_counter[4];
};

class LASwriteItemCompressed_GPSTIME11_v2 : public LASwriteItemCompressed {
 public:
  explicit LASwriteItemCompressed_GPSTIME11_v2(IntervalEncoder* enc);
  bool write_item(const uint8_t* item, uint32_t& context) override;
  bool start_chunk(const uint8_t* item, uint32_t& context) override;

 private:
  void write_full_time(uint64_t gpstime);

  IntervalEncoder* enc;
  std::unique_ptr<SymbolModel> multi;
  std::unique_ptr<SymbolModel> zero_diff;
  ResidualCoder ic_gpstime;
  uint32_t last;
  uint32_t next;
  uint64_t last_gpstime[4];
  int32_t last_gpstime_diff[4];
  int32_t multi_extreme_counter[4];
};

#endif
