#ifndef POINTLIB_COMPRESS_ITEM_RGB14_V3_HPP
#define POINTLIB_COMPRESS_ITEM_RGB14_V3_HPP

// The layered colour coders of versions 3 and 4: RGB14 (one layer) and
// RGBNIR14 (an RGB layer and a near-infrared layer). One implementation
// serves all four; the named classes below only fix near infrared and version.

#include <cstdint>
#include <memory>

#include "compress/item_layered_channels.hpp"
#include "compress/item_layers.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"

struct ChannelState_RGB14 {
  bool inactive = true;
  bool have_rgb_models = false;
  bool have_nir_models = false;
  uint16_t last_item[4];  // red, green, blue, near infrared
  std::unique_ptr<SymbolModel> byte_used;
  std::unique_ptr<SymbolModel> rgb_diff[6];
  std::unique_ptr<SymbolModel> nir_byte_used;
  std::unique_ptr<SymbolModel> nir_diff[2];
};

class LASreadItemCompressed_RGB14_layered : public LASreadItemCompressed {
 public:
  ~LASreadItemCompressed_RGB14_layered() override;
  void read_item(uint8_t* item, uint32_t& context) override;
  bool read_layer_sizes() override;
  bool start_chunk(uint8_t* item, uint32_t& context) override;

 protected:
  LASreadItemCompressed_RGB14_layered(IntervalDecoder* decoder, uint32_t layer_request_mask,
                                      bool nir, bool version4);

 private:
  template <typename Item, typename Byte>
  friend void follow_channel(Item&, uint32_t, bool, Byte*&);
  void init_channel_state(uint32_t channel, const uint16_t* item);

  IntervalDecoder* file_decoder;
  const bool nir;
  const bool version4;
  LayersIn layers;
  ChannelState_RGB14 channels[4];
  uint32_t current_channel = 0;
  uint16_t* last = nullptr;
};

class LASwriteItemCompressed_RGB14_layered : public LASwriteItemCompressed {
 public:
  ~LASwriteItemCompressed_RGB14_layered() override;
  bool write_item(const uint8_t* item, uint32_t& context) override;
  bool start_chunk(const uint8_t* item, uint32_t& context) override;
  bool write_layer_sizes() override;
  bool write_layer_bytes() override;

 protected:
  LASwriteItemCompressed_RGB14_layered(IntervalEncoder* encoder, bool nir, bool version4);

 private:
  template <typename Item, typename Byte>
  friend void follow_channel(Item&, uint32_t, bool, Byte*&);
  void init_channel_state(uint32_t channel, const uint16_t* item);

  IntervalEncoder* file_encoder;
  const bool nir;
  const bool version4;
  LayersOut layers;
  ChannelState_RGB14 channels[4];
  uint32_t current_channel = 0;
  uint16_t* last = nullptr;
};

// The four named coders: near infrared or not, version 3 or 4.
template <bool NIR, bool VERSION4>
class LASreadItemCompressed_RGB14_of : public LASreadItemCompressed_RGB14_layered {
 public:
  LASreadItemCompressed_RGB14_of(IntervalDecoder* decoder, uint32_t layer_request_mask)
      : LASreadItemCompressed_RGB14_layered(decoder, layer_request_mask, NIR, VERSION4) {}
};

template <bool NIR, bool VERSION4>
class LASwriteItemCompressed_RGB14_of : public LASwriteItemCompressed_RGB14_layered {
 public:
  explicit LASwriteItemCompressed_RGB14_of(IntervalEncoder* encoder)
      : LASwriteItemCompressed_RGB14_layered(encoder, NIR, VERSION4) {}
};

using LASreadItemCompressed_RGB14_v3 = LASreadItemCompressed_RGB14_of<false, false>;
using LASreadItemCompressed_RGB14_v4 = LASreadItemCompressed_RGB14_of<false, true>;
using LASreadItemCompressed_RGBNIR14_v3 = LASreadItemCompressed_RGB14_of<true, false>;
using LASreadItemCompressed_RGBNIR14_v4 = LASreadItemCompressed_RGB14_of<true, true>;
using LASwriteItemCompressed_RGB14_v3 = LASwriteItemCompressed_RGB14_of<false, false>;
using LASwriteItemCompressed_RGB14_v4 = LASwriteItemCompressed_RGB14_of<false, true>;
using LASwriteItemCompressed_RGBNIR14_v3 = LASwriteItemCompressed_RGB14_of<true, false>;
using LASwriteItemCompressed_RGBNIR14_v4 = LASwriteItemCompressed_RGB14_of<true, true>;

#endif
