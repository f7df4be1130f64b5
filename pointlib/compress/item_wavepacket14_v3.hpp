#ifndef POINTLIB_COMPRESS_ITEM_WAVEPACKET14_V3_HPP
#define POINTLIB_COMPRESS_ITEM_WAVEPACKET14_V3_HPP

// The layered wave-packet coders of versions 3 and 4 (one layer).

#include <cstdint>
#include <memory>

#include "compress/item_layered_channels.hpp"
#include "compress/item_layers.hpp"
#include "compress/residual_coder.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

struct ChannelState_WAVEPACKET14 {
  bool inactive = true;
  bool have_models = false;
  uint8_t last_item[29];
  int32_t last_offset_delta = 0;
  uint32_t last_offset_kind = 0;
  std::unique_ptr<SymbolModel> packet_index;
  std::unique_ptr<SymbolModel> offset_kind[4];
  std::unique_ptr<ResidualCoder> offset_diff;
  std::unique_ptr<ResidualCoder> packet_size;
  std::unique_ptr<ResidualCoder> return_point;
  std::unique_ptr<ResidualCoder> xyz;
};

class LASreadItemCompressed_WAVEPACKET14_v3 : public LASreadItemCompressed {
 public:
  LASreadItemCompressed_WAVEPACKET14_v3(IntervalDecoder* decoder, uint32_t layer_request_mask)
      : LASreadItemCompressed_WAVEPACKET14_v3(decoder, layer_request_mask, false) {}
  ~LASreadItemCompressed_WAVEPACKET14_v3() override;
  void read_item(uint8_t* item, uint32_t& context) override;
  bool read_layer_sizes() override;
  bool start_chunk(uint8_t* item, uint32_t& context) override;

 protected:
  LASreadItemCompressed_WAVEPACKET14_v3(IntervalDecoder* decoder, uint32_t layer_request_mask,
                                        bool version4);

 private:
  template <typename Item, typename Byte>
  friend void follow_channel(Item&, uint32_t, bool, Byte*&);
  void init_channel_state(uint32_t channel, const uint8_t* item);

  IntervalDecoder* file_decoder;
  const bool version4;
  LayersIn layers;
  ChannelState_WAVEPACKET14 channels[4];
  uint32_t current_channel = 0;
  uint8_t* last = nullptr;
};

class LASreadItemCompressed_WAVEPACKET14_v4 : public LASreadItemCompressed_WAVEPACKET14_v3 {
 public:
  LASreadItemCompressed_WAVEPACKET14_v4(IntervalDecoder* decoder, uint32_t layer_request_mask)
      : LASreadItemCompressed_WAVEPACKET14_v3(decoder, layer_request_mask, true) {}
};

class LASwriteItemCompressed_WAVEPACKET14_v3 : public LASwriteItemCompressed {
 public:
  explicit LASwriteItemCompressed_WAVEPACKET14_v3(IntervalEncoder* encoder)
      : LASwriteItemCompressed_WAVEPACKET14_v3(encoder, false) {}
  ~LASwriteItemCompressed_WAVEPACKET14_v3() override;
  bool write_item(const uint8_t* item, uint32_t& context) override;
  bool start_chunk(const uint8_t* item, uint32_t& context) override;
  bool write_layer_sizes() override;
  bool write_layer_bytes() override;

 protected:
  LASwriteItemCompressed_WAVEPACKET14_v3(IntervalEncoder* encoder, bool version4);

 private:
  template <typename Item, typename Byte>
  friend void follow_channel(Item&, uint32_t, bool, Byte*&);
  void init_channel_state(uint32_t channel, const uint8_t* item);

  IntervalEncoder* file_encoder;
  const bool version4;
  LayersOut layers;
  ChannelState_WAVEPACKET14 channels[4];
  uint32_t current_channel = 0;
  uint8_t* last = nullptr;
};

class LASwriteItemCompressed_WAVEPACKET14_v4 : public LASwriteItemCompressed_WAVEPACKET14_v3 {
 public:
  explicit LASwriteItemCompressed_WAVEPACKET14_v4(IntervalEncoder* encoder)
      : LASwriteItemCompressed_WAVEPACKET14_v3(encoder, true) {}
};

#endif
