#include "compress/item_wavepacket14_v3.hpp"

#include <cstring>

namespace {

// Little-endian fields of the 29-byte packet.
constexpr size_t kIndex = 0;
constexpr size_t kOffset = 1;
constexpr size_t kSize = 9;
constexpr size_t kLocation = 13;
constexpr size_t kXt = 17;

template <typename T>
T load(const uint8_t* p, size_t at) {
  T v;
  std::memcpy(&v, p + at, sizeof(T));
  return v;
}
template <typename T>
void store(uint8_t* p, size_t at, T v) {
  std::memcpy(p + at, &v, sizeof(T));
}

template <typename Coder>
void make_models(ChannelState_WAVEPACKET14& s, Coder* coder) {
  if (s.have_models) return;
  s.packet_index = coder->new_symbol_model(256);
  for (auto& m : s.offset_kind) m = coder->new_symbol_model(4);
  s.offset_diff = std::make_unique<ResidualCoder>(coder, 32, 1);
  s.packet_size = std::make_unique<ResidualCoder>(coder, 32, 1);
  s.return_point = std::make_unique<ResidualCoder>(coder, 32, 1);
  s.xyz = std::make_unique<ResidualCoder>(coder, 32, 3);
  s.have_models = true;
}

void reset_models(ChannelState_WAVEPACKET14& s) {
  s.packet_index->reset();
  for (auto& m : s.offset_kind) m->reset();
}

void take_item(ChannelState_WAVEPACKET14& s, const uint8_t* item) {
  std::memmove(s.last_item, item, 29);
  s.last_offset_delta = 0;
  s.last_offset_kind = 0;
  s.inactive = false;
}

}  // namespace

// ---------------------------------------------------------------- reading

LASreadItemCompressed_WAVEPACKET14_v3::LASreadItemCompressed_WAVEPACKET14_v3(
    IntervalDecoder* decoder, uint32_t layer_request_mask, bool version4)
    : file_decoder(decoder), version4(version4), layers(1) {
  layers[0].requested = (layer_request_mask >> 10) & 1u;
}

LASreadItemCompressed_WAVEPACKET14_v3::~LASreadItemCompressed_WAVEPACKET14_v3() = default;

bool LASreadItemCompressed_WAVEPACKET14_v3::read_layer_sizes() {
  layers.read_counts(file_decoder->get_stream());
  return true;
}

void LASreadItemCompressed_WAVEPACKET14_v3::init_channel_state(uint32_t channel,
                                                               const uint8_t* item) {
  ChannelState_WAVEPACKET14& s = channels[channel];
  if (layers[0].requested) {
    make_models(s, &layers[0].decoder);
    reset_models(s);
    s.offset_diff->prepare_decode();
    s.packet_size->prepare_decode();
    s.return_point->prepare_decode();
    s.xyz->prepare_decode();
  }
  take_item(s, item);
}

bool LASreadItemCompressed_WAVEPACKET14_v3::start_chunk(uint8_t* item, uint32_t& context) {
  if (!layers.load(file_decoder->get_stream())) return false;
  for (auto& s : channels) s.inactive = true;
  current_channel = context & 3u;
  init_channel_state(current_channel, item);
  last = channels[current_channel].last_item;
  return true;
}

void LASreadItemCompressed_WAVEPACKET14_v3::read_item(uint8_t* item, uint32_t& context) {
  follow_channel(*this, context & 3u, version4, last);
  // An unchanged or skipped layer gives the packet the chunk started with. The
  // caller's record cannot be trusted to still hold it: a seek decodes the
  // points before its target into a record of its own.
  if (!layers[0].changed) {
    std::memcpy(item, last, 29);
    return;
  }
  ChannelState_WAVEPACKET14& s = channels[current_channel];
  IntervalDecoder::Run dec(layers[0].decoder);
  uint8_t p[29];
  // Packets mostly repeat the index, the offset kind and the length classes
  // of the fields' changes: every symbol first checks its likely one.
  p[kIndex] = static_cast<uint8_t>(dec.get_likely_symbol(s.packet_index.get()));
  const uint32_t kind = dec.get_likely_symbol(s.offset_kind[s.last_offset_kind].get());
  s.last_offset_kind = kind;
  const uint64_t last_offset = load<uint64_t>(last, kOffset);
  uint64_t offset;
  if (kind == 0) {
    offset = last_offset;
  } else if (kind == 1) {
    offset = last_offset + static_cast<uint64_t>(static_cast<int64_t>(load<int32_t>(last, kSize)));
  } else if (kind == 2) {
    s.last_offset_delta = s.offset_diff->decode_likely(dec, s.last_offset_delta, 0);
    offset = last_offset + static_cast<uint64_t>(static_cast<int64_t>(s.last_offset_delta));
  } else {
    offset = dec.get_raw_u64();
  }
  store<uint64_t>(p, kOffset, offset);
  store<int32_t>(p, kSize, s.packet_size->decode_likely(dec, load<int32_t>(last, kSize), 0));
  store<int32_t>(p, kLocation,
                 s.return_point->decode_likely(dec, load<int32_t>(last, kLocation), 0));
  for (uint32_t i = 0; i < 3; i++) {
    store<int32_t>(p, kXt + 4 * i, s.xyz->decode_likely(dec, load<int32_t>(last, kXt + 4 * i), i));
  }
  dec.commit();
  std::memcpy(item, p, 29);
  std::memcpy(last, p, 29);
}

// ---------------------------------------------------------------- writing

LASwriteItemCompressed_WAVEPACKET14_v3::LASwriteItemCompressed_WAVEPACKET14_v3(
    IntervalEncoder* encoder, bool version4)
    : file_encoder(encoder), version4(version4), layers(1) {}

LASwriteItemCompressed_WAVEPACKET14_v3::~LASwriteItemCompressed_WAVEPACKET14_v3() = default;

void LASwriteItemCompressed_WAVEPACKET14_v3::init_channel_state(uint32_t channel,
                                                                const uint8_t* item) {
  ChannelState_WAVEPACKET14& s = channels[channel];
  make_models(s, &layers[0].encoder);
  reset_models(s);
  s.offset_diff->prepare_encode();
  s.packet_size->prepare_encode();
  s.return_point->prepare_encode();
  s.xyz->prepare_encode();
  take_item(s, item);
}

bool LASwriteItemCompressed_WAVEPACKET14_v3::start_chunk(const uint8_t* item, uint32_t& context) {
  layers.start();
  for (auto& s : channels) s.inactive = true;
  current_channel = context & 3u;
  init_channel_state(current_channel, item);
  last = channels[current_channel].last_item;
  return true;
}

bool LASwriteItemCompressed_WAVEPACKET14_v3::write_item(const uint8_t* item, uint32_t& context) {
  follow_channel(*this, context & 3u, version4, last);
  ChannelState_WAVEPACKET14& s = channels[current_channel];
  IntervalEncoder& enc = layers[0].encoder;
  if (std::memcmp(item, last, 29) != 0) layers[0].changed = true;
  enc.put_symbol(s.packet_index.get(), item[kIndex]);

  const uint64_t offset = load<uint64_t>(item, kOffset);
  const int64_t d64 = static_cast<int64_t>(offset - load<uint64_t>(last, kOffset));
  uint32_t kind;
  if (d64 == 0) {
    kind = 0;
  } else if (d64 == static_cast<int64_t>(load<int32_t>(last, kSize))) {
    kind = 1;
  } else if (d64 >= INT32_MIN && d64 <= INT32_MAX) {
    kind = 2;
  } else {
    kind = 3;
  }
  enc.put_symbol(s.offset_kind[s.last_offset_kind].get(), kind);
  s.last_offset_kind = kind;
  if (kind == 2) {
    const int32_t d = static_cast<int32_t>(d64);
    s.offset_diff->encode(s.last_offset_delta, d, 0);
    s.last_offset_delta = d;
  } else if (kind == 3) {
    enc.put_raw_u64(offset);
  }
  s.packet_size->encode(load<int32_t>(last, kSize), load<int32_t>(item, kSize), 0);
  s.return_point->encode(load<int32_t>(last, kLocation), load<int32_t>(item, kLocation), 0);
  for (uint32_t i = 0; i < 3; i++) {
    s.xyz->encode(load<int32_t>(last, kXt + 4 * i), load<int32_t>(item, kXt + 4 * i), i);
  }
  std::memcpy(last, item, 29);
  return true;
}

bool LASwriteItemCompressed_WAVEPACKET14_v3::write_layer_sizes() {
  return layers.write_counts(file_encoder->get_stream());
}

bool LASwriteItemCompressed_WAVEPACKET14_v3::write_layer_bytes() {
  return layers.write_bytes(file_encoder->get_stream());
}
