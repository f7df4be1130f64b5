#ifndef POINTLIB_COMPRESS_ITEM_WAVEPACKET13_V1_HPP
#define POINTLIB_COMPRESS_ITEM_WAVEPACKET13_V1_HPP

#include <cstdint>
#include <memory>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/residual_coder.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

// The offset to the waveform data usually stays (kind 0), advances by the
// previous packet's size (kind 1) or by a small difference (kind 2); anything
// else is stored raw (kind 3). Floats are coded as their bit patterns.
struct Wavepacket13V1 {
  enum OffsetKind : uint32_t { kSame = 0, kNextPacket = 1, kDifference = 2, kRaw = 3 };
  // The offset kind of new offset `offset` after `last_offset` with the
  // previous packet size.
  static OffsetKind offset_kind(uint64_t offset, uint64_t last_offset, uint32_t last_packet_size);
};

class LASreadItemCompressed_WAVEPACKET13_v1 : public LASreadItemCompressed {
 public:
  explicit LASreadItemCompressed_WAVEPACKET13_v1(IntervalDecoder* dec);
  void read_item(uint8_t* item, uint32_t& context) override;
  bool start_chunk(uint8_t* item, uint32_t& context) override;

 private:
  IntervalDecoder* dec;
  std::unique_ptr<SymbolModel> packet_index;
  std::unique_ptr<SymbolModel> offset_diff[4];
  ResidualCoder ic_offset_diff;
  ResidualCoder ic_packet_size;
  ResidualCoder ic_return_point;
  ResidualCoder ic_xyz;
  uint8_t last_item[28];  // bytes 1 to 28 of the previous item
  int32_t last_diff_32;
  uint32_t sym_last_offset_diff;
};

class LASwriteItemCompressed_WAVEPACKET13_v1 : public LASwriteItemCompressed {
 public:
  explicit LASwriteItemCompressed_WAVEPACKET13_v1(IntervalEncoder* enc);
  bool write_item(const uint8_t* item, uint32_t& context) override;
  bool start_chunk(const uint8_t* item, uint32_t& context) override;

 private:
  IntervalEncoder* enc;
  std::unique_ptr<SymbolModel> packet_index;
  std::unique_ptr<SymbolModel> offset_diff[4];
  ResidualCoder ic_offset_diff;
  ResidualCoder ic_packet_size;
  ResidualCoder ic_return_point;
  ResidualCoder ic_xyz;
  uint8_t last_item[28];
  int32_t last_diff_32;
  uint32_t sym_last_offset_diff;
};

#endif
