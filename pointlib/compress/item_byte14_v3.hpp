#ifndef POINTLIB_COMPRESS_ITEM_BYTE14_V3_HPP
#define POINTLIB_COMPRESS_ITEM_BYTE14_V3_HPP

// The layered extra-bytes coders of versions 3 and 4: one layer per byte, so
// that a reader can decode single attributes.

#include <cstdint>
#include <memory>

#include "compress/item_layered_channels.hpp"
#include "compress/item_layers.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

struct ChannelState_BYTE14 {
  bool inactive = true;
  std::unique_ptr<std::unique_ptr<SymbolModel>[]> byte_models;  // n, created on first use
  std::unique_ptr<uint8_t[]> last_item;                         // n bytes
};

class LASreadItemCompressed_BYTE14_v3 : public LASreadItemCompressed {
 public:
  LASreadItemCompressed_BYTE14_v3(IntervalDecoder* decoder, uint32_t number,
                                  uint32_t layer_request_mask)
      : LASreadItemCompressed_BYTE14_v3(decoder, number, layer_request_mask, false) {}
  ~LASreadItemCompressed_BYTE14_v3() override;
  void read_item(uint8_t* item, uint32_t& context) override;
  bool read_layer_sizes() override;
  bool start_chunk(uint8_t* item, uint32_t& context) override;

 protected:
  LASreadItemCompressed_BYTE14_v3(IntervalDecoder* decoder, uint32_t number,
                                  uint32_t layer_request_mask, bool version4);

 private:
  template <typename Item, typename Byte>
  friend void follow_channel(Item&, uint32_t, bool, Byte*&);
  void init_channel_state(uint32_t channel, const uint8_t* item);

  IntervalDecoder* file_decoder;
  const uint32_t number;
  const bool version4;
  LayersIn layers;
  ChannelState_BYTE14 channels[4];
  uint32_t current_channel = 0;
  uint8_t* last = nullptr;
};

class LASreadItemCompressed_BYTE14_v4 : public LASreadItemCompressed_BYTE14_v3 {
 public:
  LASreadItemCompressed_BYTE14_v4(IntervalDecoder* decoder, uint32_t number,
                                  uint32_t layer_request_mask)
      : LASreadItemCompressed_BYTE14_v3(decoder, number, layer_request_mask, true) {}
};

class LASwriteItemCompressed_BYTE14_v3 : public LASwriteItemCompressed {
 public:
  LASwriteItemCompressed_BYTE14_v3(IntervalEncoder* encoder, uint32_t number)
      : LASwriteItemCompressed_BYTE14_v3(encoder, number, false) {}
  ~LASwriteItemCompressed_BYTE14_v3() override;
  bool write_item(const uint8_t* item, uint32_t& context) override;
  bool start_chunk(const uint8_t* item, uint32_t& context) override;
  bool write_layer_sizes() override;
  bool write_layer_bytes() override;

 protected:
  LASwriteItemCompressed_BYTE14_v3(IntervalEncoder* encoder, uint32_t number, bool version4);

 private:
  template <typename Item, typename Byte>
  friend void follow_channel(Item&, uint32_t, bool, Byte*&);
  void init_channel_state(uint32_t channel, const uint8_t* item);

  IntervalEncoder* file_encoder;
  const uint32_t number;
  const bool version4;
  LayersOut layers;
  ChannelState_BYTE14 channels[4];
  uint32_t current_channel = 0;
  uint8_t* last = nullptr;
};

class LASwriteItemCompressed_BYTE14_v4 : public LASwriteItemCompressed_BYTE14_v3 {
 public:
  LASwriteItemCompressed_BYTE14_v4(IntervalEncoder* encoder, uint32_t number)
      : LASwriteItemCompressed_BYTE14_v3(encoder, number, true) {}
};

#endif
