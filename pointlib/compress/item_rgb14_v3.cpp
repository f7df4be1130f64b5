#include "compress/item_rgb14_v3.hpp"

#include <cstring>

namespace {

constexpr uint32_t kLayerRGB = 0;
constexpr uint32_t kLayerNIR = 1;

uint32_t low(uint32_t v) {
  return v & 0xFFu;
}
uint32_t high(uint32_t v) {
  return v >> 8;
}

uint32_t clamp_byte(int32_t v) {
  return v < 0 ? 0u : (v > 255 ? 255u : static_cast<uint32_t>(v));
}

template <typename Coder>
void make_models(ChannelState_RGB14& s, const Coder& coder, bool rgb, bool nir) {
  if (rgb && !s.have_rgb_models) {
    s.byte_used = coder.new_symbol_model(128);
    for (auto& m : s.rgb_diff) m = coder.new_symbol_model(256);
    s.have_rgb_models = true;
  }
  if (nir && !s.have_nir_models) {
    s.nir_byte_used = coder.new_symbol_model(4);
    for (auto& m : s.nir_diff) m = coder.new_symbol_model(256);
    s.have_nir_models = true;
  }
  if (rgb) {
    s.byte_used->reset();
    for (auto& m : s.rgb_diff) m->reset();
  }
  if (nir) {
    s.nir_byte_used->reset();
    for (auto& m : s.nir_diff) m->reset();
  }
}

// One colour in registers. It reaches memory only whole, as one 4-byte and
// one 2-byte store, the widths it is read back with: a load that spans two
// narrower stores cannot take their data while they wait to be written and
// stalls the point.
struct Colour {
  uint32_t red;
  uint32_t green;
  uint32_t blue;
};

void store_colour(void* to, const Colour& c) {
  const uint32_t red_green = c.red | (c.green << 16);
  const uint16_t blue = static_cast<uint16_t>(c.blue);
  std::memcpy(to, &red_green, 4);
  std::memcpy(static_cast<uint8_t*>(to) + 4, &blue, 2);
}

// A point whose colour changed (some bit of 0 to 5 in sym); most keep it.
// Its symbols run through a Run, whose interval stays in registers between them.
Colour read_changed_colour(IntervalDecoder& decoder, ChannelState_RGB14& s, uint32_t sym,
                           const Colour& last) {
  IntervalDecoder::Run dec(decoder);
  uint32_t red_low = low(last.red);
  uint32_t red_high = high(last.red);
  if (sym & 1u) red_low = (dec.get_symbol(s.rgb_diff[0].get()) + red_low) & 0xFFu;
  if (sym & 2u) red_high = (dec.get_symbol(s.rgb_diff[1].get()) + red_high) & 0xFFu;
  Colour c;
  c.red = red_low | (red_high << 8);
  if ((sym & (1u << 6)) == 0) {
    c.green = c.red;
    c.blue = c.red;
    dec.commit();
    return c;
  }
  const int32_t dl = static_cast<int32_t>(red_low) - static_cast<int32_t>(low(last.red));
  uint32_t green_low = low(last.green);
  uint32_t blue_low = low(last.blue);
  if (sym & (1u << 2)) {
    const uint32_t p = clamp_byte(dl + static_cast<int32_t>(low(last.green)));
    green_low = (dec.get_symbol(s.rgb_diff[2].get()) + p) & 0xFFu;
  }
  if (sym & (1u << 4)) {
    const int32_t dg = static_cast<int32_t>(green_low) - static_cast<int32_t>(low(last.green));
    const uint32_t p = clamp_byte((dl + dg) / 2 + static_cast<int32_t>(low(last.blue)));
    blue_low = (dec.get_symbol(s.rgb_diff[4].get()) + p) & 0xFFu;
  }
  const int32_t dh = static_cast<int32_t>(red_high) - static_cast<int32_t>(high(last.red));
  uint32_t green_high = high(last.green);
  uint32_t blue_high = high(last.blue);
  if (sym & (1u << 3)) {
    const uint32_t p = clamp_byte(dh + static_cast<int32_t>(high(last.green)));
    green_high = (dec.get_symbol(s.rgb_diff[3].get()) + p) & 0xFFu;
  }
  if (sym & (1u << 5)) {
    const int32_t dg = static_cast<int32_t>(green_high) - static_cast<int32_t>(high(last.green));
    const uint32_t p = clamp_byte((dh + dg) / 2 + static_cast<int32_t>(high(last.blue)));
    blue_high = (dec.get_symbol(s.rgb_diff[5].get()) + p) & 0xFFu;
  }
  c.green = green_low | (green_high << 8);
  c.blue = blue_low | (blue_high << 8);
  dec.commit();
  return c;
}

}  // namespace

// ---------------------------------------------------------------- reading

LASreadItemCompressed_RGB14_layered::LASreadItemCompressed_RGB14_layered(
    IntervalDecoder* decoder, uint32_t layer_request_mask, bool nir, bool version4)
    : file_decoder(decoder), nir(nir), version4(version4), layers(nir ? 2 : 1) {
  layers[kLayerRGB].requested = (layer_request_mask >> 8) & 1u;
  if (nir) layers[kLayerNIR].requested = (layer_request_mask >> 9) & 1u;
}

LASreadItemCompressed_RGB14_layered::~LASreadItemCompressed_RGB14_layered() = default;

bool LASreadItemCompressed_RGB14_layered::read_layer_sizes() {
  layers.read_counts(file_decoder->get_stream());
  return true;
}

void LASreadItemCompressed_RGB14_layered::init_channel_state(uint32_t channel,
                                                             const uint16_t* item) {
  ChannelState_RGB14& s = channels[channel];
  // Only the models of requested layers are ever needed here.
  make_models(s, layers[kLayerRGB].decoder, layers[kLayerRGB].requested,
              nir && layers[kLayerNIR].requested);
  std::memmove(s.last_item, item, (nir ? 4 : 3) * sizeof(uint16_t));
  s.inactive = false;
}

bool LASreadItemCompressed_RGB14_layered::start_chunk(uint8_t* item, uint32_t& context) {
  if (!layers.load(file_decoder->get_stream())) return false;
  for (ChannelState_RGB14& s : channels) s.inactive = true;
  current_channel = context & 3u;
  uint16_t first[4] = {0, 0, 0, 0};
  std::memcpy(first, item, (nir ? 8 : 6));
  init_channel_state(current_channel, first);
  last = channels[current_channel].last_item;
  return true;
}

void LASreadItemCompressed_RGB14_layered::read_item(uint8_t* item, uint32_t& context) {
  follow_channel(*this, context & 3u, version4, last);
  ChannelState_RGB14& s = channels[current_channel];
  uint16_t* const prev = last;
  Colour c = {prev[0], prev[1], prev[2]};
  if (layers[kLayerRGB].changed) {
    IntervalDecoder& dec = layers[kLayerRGB].decoder;
    const uint32_t sym = dec.get_symbol(s.byte_used.get());
    if (sym & 63u) {
      c = read_changed_colour(dec, s, sym, c);
    } else if ((sym & 64u) == 0) {
      // Grey, even after a colour that was not (a writer never codes that).
      c.green = c.red;
      c.blue = c.red;
    }
    store_colour(prev, c);
  }
  store_colour(item, c);
  if (!nir) return;
  uint32_t infrared = prev[3];
  if (layers[kLayerNIR].changed) {
    IntervalDecoder& dec = layers[kLayerNIR].decoder;
    const uint32_t sym = dec.get_symbol(s.nir_byte_used.get());
    uint32_t nir_low = low(infrared);
    uint32_t nir_high = high(infrared);
    if (sym & 1u) nir_low = (dec.get_symbol(s.nir_diff[0].get()) + nir_low) & 0xFFu;
    if (sym & 2u) nir_high = (dec.get_symbol(s.nir_diff[1].get()) + nir_high) & 0xFFu;
    infrared = nir_low | (nir_high << 8);
    prev[3] = static_cast<uint16_t>(infrared);
  }
  const uint16_t nir_value = static_cast<uint16_t>(infrared);
  std::memcpy(item + 6, &nir_value, 2);
}

// ---------------------------------------------------------------- writing

LASwriteItemCompressed_RGB14_layered::LASwriteItemCompressed_RGB14_layered(IntervalEncoder* encoder,
                                                                           bool nir, bool version4)
    : file_encoder(encoder), nir(nir), version4(version4), layers(nir ? 2 : 1) {}

LASwriteItemCompressed_RGB14_layered::~LASwriteItemCompressed_RGB14_layered() = default;

void LASwriteItemCompressed_RGB14_layered::init_channel_state(uint32_t channel,
                                                              const uint16_t* item) {
  ChannelState_RGB14& s = channels[channel];
  make_models(s, layers[kLayerRGB].encoder, true, nir);
  std::memmove(s.last_item, item, (nir ? 4 : 3) * sizeof(uint16_t));
  s.inactive = false;
}

bool LASwriteItemCompressed_RGB14_layered::start_chunk(const uint8_t* item, uint32_t& context) {
  layers.start();
  for (ChannelState_RGB14& s : channels) s.inactive = true;
  current_channel = context & 3u;
  uint16_t first[4] = {0, 0, 0, 0};
  std::memcpy(first, item, (nir ? 8 : 6));
  init_channel_state(current_channel, first);
  last = channels[current_channel].last_item;
  return true;
}

bool LASwriteItemCompressed_RGB14_layered::write_item(const uint8_t* item, uint32_t& context) {
  follow_channel(*this, context & 3u, version4, last);
  ChannelState_RGB14& s = channels[current_channel];
  uint16_t p[4];
  std::memcpy(p, item, nir ? 8 : 6);

  IntervalEncoder& enc = layers[kLayerRGB].encoder;
  uint32_t sym = 0;
  if (low(p[0]) != low(last[0])) sym |= 1u;
  if (high(p[0]) != high(last[0])) sym |= 2u;
  if (low(p[1]) != low(last[1])) sym |= 4u;
  if (high(p[1]) != high(last[1])) sym |= 8u;
  if (low(p[2]) != low(last[2])) sym |= 16u;
  if (high(p[2]) != high(last[2])) sym |= 32u;
  const bool not_grey = p[1] != p[0] || p[2] != p[0];
  if (not_grey) sym |= 64u;
  enc.put_symbol(s.byte_used.get(), sym);
  if (sym) layers[kLayerRGB].changed = true;
  if (sym & 1u) enc.put_symbol(s.rgb_diff[0].get(), (low(p[0]) - low(last[0])) & 0xFFu);
  if (sym & 2u) enc.put_symbol(s.rgb_diff[1].get(), (high(p[0]) - high(last[0])) & 0xFFu);
  if (not_grey) {
    const int32_t dl = static_cast<int32_t>(low(p[0])) - static_cast<int32_t>(low(last[0]));
    const int32_t dgl = static_cast<int32_t>(low(p[1])) - static_cast<int32_t>(low(last[1]));
    if (sym & 4u) {
      const uint32_t pr = clamp_byte(dl + static_cast<int32_t>(low(last[1])));
      enc.put_symbol(s.rgb_diff[2].get(), (low(p[1]) - pr) & 0xFFu);
    }
    if (sym & 16u) {
      const uint32_t pr = clamp_byte((dl + dgl) / 2 + static_cast<int32_t>(low(last[2])));
      enc.put_symbol(s.rgb_diff[4].get(), (low(p[2]) - pr) & 0xFFu);
    }
    const int32_t dh = static_cast<int32_t>(high(p[0])) - static_cast<int32_t>(high(last[0]));
    const int32_t dgh = static_cast<int32_t>(high(p[1])) - static_cast<int32_t>(high(last[1]));
    if (sym & 8u) {
      const uint32_t pr = clamp_byte(dh + static_cast<int32_t>(high(last[1])));
      enc.put_symbol(s.rgb_diff[3].get(), (high(p[1]) - pr) & 0xFFu);
    }
    if (sym & 32u) {
      const uint32_t pr = clamp_byte((dh + dgh) / 2 + static_cast<int32_t>(high(last[2])));
      enc.put_symbol(s.rgb_diff[5].get(), (high(p[2]) - pr) & 0xFFu);
    }
  }
  if (nir) {
    IntervalEncoder& nenc = layers[kLayerNIR].encoder;
    uint32_t nsym = 0;
    if (low(p[3]) != low(last[3])) nsym |= 1u;
    if (high(p[3]) != high(last[3])) nsym |= 2u;
    nenc.put_symbol(s.nir_byte_used.get(), nsym);
    if (nsym) layers[kLayerNIR].changed = true;
    if (nsym & 1u) nenc.put_symbol(s.nir_diff[0].get(), (low(p[3]) - low(last[3])) & 0xFFu);
    if (nsym & 2u) nenc.put_symbol(s.nir_diff[1].get(), (high(p[3]) - high(last[3])) & 0xFFu);
  }
  std::memcpy(last, p, nir ? 8 : 6);
  return true;
}

bool LASwriteItemCompressed_RGB14_layered::write_layer_sizes() {
  return layers.write_counts(file_encoder->get_stream());
}

bool LASwriteItemCompressed_RGB14_layered::write_layer_bytes() {
  return layers.write_bytes(file_encoder->get_stream());
}
