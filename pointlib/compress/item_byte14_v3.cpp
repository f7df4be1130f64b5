#include "compress/item_byte14_v3.hpp"

#include <cstring>

namespace {

// Bytes 16 and beyond have no request bit and are always decoded.
bool byte_requested(uint32_t i, uint32_t mask) {
  return i >= 16 || ((mask >> (16 + i)) & 1u);
}

void prepare_record(ChannelState_BYTE14& s, uint32_t number) {
  if (!s.last_item) {
    s.last_item.reset(new uint8_t[number]);
    s.byte_models.reset(new std::unique_ptr<SymbolModel>[number]);
  }
}

}  // namespace

// ---------------------------------------------------------------- reading

LASreadItemCompressed_BYTE14_v3::LASreadItemCompressed_BYTE14_v3(IntervalDecoder* decoder,
                                                                 uint32_t number,
                                                                 uint32_t layer_request_mask,
                                                                 bool version4)
    : file_decoder(decoder), number(number), version4(version4), layers(number) {
  for (uint32_t i = 0; i < number; i++) {
    layers[i].requested = byte_requested(i, layer_request_mask);
  }
}

LASreadItemCompressed_BYTE14_v3::~LASreadItemCompressed_BYTE14_v3() = default;

bool LASreadItemCompressed_BYTE14_v3::read_layer_sizes() {
  layers.read_counts(file_decoder->get_stream());
  return true;
}

void LASreadItemCompressed_BYTE14_v3::init_channel_state(uint32_t channel, const uint8_t* item) {
  ChannelState_BYTE14& s = channels[channel];
  prepare_record(s, number);
  for (uint32_t i = 0; i < number; i++) {
    if (!layers[i].requested) continue;
    if (!s.byte_models[i]) s.byte_models[i] = layers[i].decoder.new_symbol_model(256);
    s.byte_models[i]->reset();
  }
  std::memmove(s.last_item.get(), item, number);
  s.inactive = false;
}

bool LASreadItemCompressed_BYTE14_v3::start_chunk(uint8_t* item, uint32_t& context) {
  if (!layers.load(file_decoder->get_stream())) return false;
  for (auto& s : channels) s.inactive = true;
  current_channel = context & 3u;
  init_channel_state(current_channel, item);
  last = channels[current_channel].last_item.get();
  return true;
}

void LASreadItemCompressed_BYTE14_v3::read_item(uint8_t* item, uint32_t& context) {
  follow_channel(*this, context & 3u, version4, last);
  ChannelState_BYTE14& s = channels[current_channel];
  for (uint32_t i = 0; i < number; i++) {
    LayerIn& layer = layers[i];
    if (layer.changed) {
      last[i] = static_cast<uint8_t>(layer.decoder.get_symbol(s.byte_models[i].get()) + last[i]);
    }
    item[i] = last[i];
  }
}

// ---------------------------------------------------------------- writing

LASwriteItemCompressed_BYTE14_v3::LASwriteItemCompressed_BYTE14_v3(IntervalEncoder* encoder,
                                                                   uint32_t number, bool version4)
    : file_encoder(encoder), number(number), version4(version4), layers(number) {}

LASwriteItemCompressed_BYTE14_v3::~LASwriteItemCompressed_BYTE14_v3() = default;

void LASwriteItemCompressed_BYTE14_v3::init_channel_state(uint32_t channel, const uint8_t* item) {
  ChannelState_BYTE14& s = channels[channel];
  prepare_record(s, number);
  for (uint32_t i = 0; i < number; i++) {
    if (!s.byte_models[i]) s.byte_models[i] = layers[i].encoder.new_symbol_model(256);
    s.byte_models[i]->reset();
  }
  std::memmove(s.last_item.get(), item, number);
  s.inactive = false;
}

bool LASwriteItemCompressed_BYTE14_v3::start_chunk(const uint8_t* item, uint32_t& context) {
  layers.start();
  for (auto& s : channels) s.inactive = true;
  current_channel = context & 3u;
  init_channel_state(current_channel, item);
  last = channels[current_channel].last_item.get();
  return true;
}

bool LASwriteItemCompressed_BYTE14_v3::write_item(const uint8_t* item, uint32_t& context) {
  follow_channel(*this, context & 3u, version4, last);
  ChannelState_BYTE14& s = channels[current_channel];
  for (uint32_t i = 0; i < number; i++) {
    const uint32_t diff = static_cast<uint8_t>(item[i] - last[i]);
    layers[i].encoder.put_symbol(s.byte_models[i].get(), diff);
    if (diff) {
      layers[i].changed = true;
      last[i] = item[i];
    }
  }
  return true;
}

bool LASwriteItemCompressed_BYTE14_v3::write_layer_sizes() {
  return layers.write_counts(file_encoder->get_stream());
}

bool LASwriteItemCompressed_BYTE14_v3::write_layer_bytes() {
  return layers.write_bytes(file_encoder->get_stream());
}
