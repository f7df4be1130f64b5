#ifndef POINTLIB_COMPRESS_ITEM_POINT14_V3_HPP
#define POINTLIB_COMPRESS_ITEM_POINT14_V3_HPP

// The layered POINT14 coders of versions 3 and 4. One implementation serves
// both: version 4 differs only in handing the scanner channel to the other
// items of every point (not just where it changes).

#include <cstdint>
#include <memory>

#include "compress/item_layers.hpp"
#include "compress/median_of_five.hpp"
#include "compress/residual_coder.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

// The 48 bytes of the point that the POINT14 coders copy in and out, from X
// through the four rgb words. Bytes 28 to 31 (padding inside the point) carry
// the coder's own gps_changed flag in its last-item copies.
constexpr uint32_t kPoint14ItemSize = 48;

// Layers in chunk order; the request-mask bit of layer i (i >= 1) is i - 1.
enum Point14Layer : uint32_t {
  kLayerChannelReturnsXY = 0,
  kLayerZ,
  kLayerClassification,
  kLayerFlags,
  kLayerIntensity,
  kLayerScanAngle,
  kLayerUserData,
  kLayerPointSource,
  kLayerGpsTime,
  kPoint14Layers
};

// return_level_table[n][r] = min(|n - r|, 7); return_map_table[n][r] one of
// six classes. Both indexed by number of returns and return number, 0 to 15.
extern const uint8_t return_level_table[16][16];
extern const uint8_t return_map_table[16][16];

// The state of one scanner channel: its last point and its models. Models are
// created the first time the channel is met (and some only on first use);
// the coder type decides whether they encode or decode.
template <typename Coder>
struct ChannelState_POINT14 {
  bool inactive = true;
  bool have_models = false;
  uint8_t last_item[kPoint14ItemSize];
  uint16_t intensity_by_class[8];
  MedianOfFive x_diff_medians[12];
  MedianOfFive y_diff_medians[12];
  int32_t z_by_level[8];

  std::unique_ptr<SymbolModel> changed_values[8];
  std::unique_ptr<SymbolModel> scanner_channel;
  std::unique_ptr<SymbolModel> number_of_returns[16];
  std::unique_ptr<SymbolModel> return_number_gps_same;
  std::unique_ptr<SymbolModel> return_number[16];
  std::unique_ptr<ResidualCoder> dx;
  std::unique_ptr<ResidualCoder> dy;
  std::unique_ptr<ResidualCoder> z;
  std::unique_ptr<SymbolModel> classification[64];
  std::unique_ptr<SymbolModel> flags[64];
  std::unique_ptr<SymbolModel> user_data[64];
  std::unique_ptr<ResidualCoder> intensity;
  std::unique_ptr<ResidualCoder> scan_angle;
  std::unique_ptr<ResidualCoder> point_source;

  uint32_t current_sequence = 0;
  uint32_t newest_sequence = 0;
  uint64_t sequence_time[4];
  int32_t sequence_step[4];
  int32_t sequence_extremes[4];
  std::unique_ptr<SymbolModel> gps_multiplier;
  std::unique_ptr<SymbolModel> gps_zero_difference;
  std::unique_ptr<ResidualCoder> gps_time;
};

class LASreadItemCompressed_POINT14_v3 : public LASreadItemCompressed {
 public:
  LASreadItemCompressed_POINT14_v3(IntervalDecoder* decoder, uint32_t layer_request_mask)
      : LASreadItemCompressed_POINT14_v3(decoder, layer_request_mask, false) {}
  ~LASreadItemCompressed_POINT14_v3() override;
  void read_item(uint8_t* item, uint32_t& context) override;
  bool read_layer_sizes() override;
  bool start_chunk(uint8_t* item, uint32_t& context) override;

 protected:
  LASreadItemCompressed_POINT14_v3(IntervalDecoder* decoder, uint32_t layer_request_mask,
                                   bool version4);

 private:
  using State = ChannelState_POINT14<IntervalDecoder>;
  void init_channel_state(uint32_t channel, const uint8_t* item);
  void decode_gps_time(State& s);
  __attribute__((noinline)) void decode_point_source(State& s);

  IntervalDecoder* file_decoder;
  const bool version4;
  LayersIn layers;
  State channels[4];
  uint32_t current_channel = 0;
  // Bit i: layer i has bytes in this chunk and is decoded.
  uint32_t present_layers = 0;
};

class LASreadItemCompressed_POINT14_v4 : public LASreadItemCompressed_POINT14_v3 {
 public:
  LASreadItemCompressed_POINT14_v4(IntervalDecoder* decoder, uint32_t layer_request_mask)
      : LASreadItemCompressed_POINT14_v3(decoder, layer_request_mask, true) {}
};

class LASwriteItemCompressed_POINT14_v3 : public LASwriteItemCompressed {
 public:
  explicit LASwriteItemCompressed_POINT14_v3(IntervalEncoder* encoder)
      : LASwriteItemCompressed_POINT14_v3(encoder, false) {}
  ~LASwriteItemCompressed_POINT14_v3() override;
  bool write_item(const uint8_t* item, uint32_t& context) override;
  bool start_chunk(const uint8_t* item, uint32_t& context) override;
  bool write_layer_sizes() override;
  bool write_layer_bytes() override;

 protected:
  LASwriteItemCompressed_POINT14_v3(IntervalEncoder* encoder, bool version4);

 private:
  using State = ChannelState_POINT14<IntervalEncoder>;
  void init_channel_state(uint32_t channel, const uint8_t* item);
  void encode_gps_time(State& s, uint64_t t);

  IntervalEncoder* file_encoder;
  const bool version4;
  LayersOut layers;
  State channels[4];
  uint32_t current_channel = 0;
};

class LASwriteItemCompressed_POINT14_v4 : public LASwriteItemCompressed_POINT14_v3 {
 public:
  explicit LASwriteItemCompressed_POINT14_v4(IntervalEncoder* encoder)
      : LASwriteItemCompressed_POINT14_v3(encoder, true) {}
};

#endif
