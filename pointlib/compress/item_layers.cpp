#include "compress/item_layers.hpp"

#include <algorithm>
#include <new>

namespace {

// Moves over a layer that was not requested. A stream that cannot seek (a
// pipe) is read over instead, so that a request mask works there too.
bool skip_layer(ByteStreamIn* in, uint32_t num_bytes) {
  if (in->can_seek()) return in->skip(num_bytes);
  uint8_t scratch[4096];
  while (num_bytes) {
    const uint32_t n = std::min<uint32_t>(num_bytes, sizeof(scratch));
    in->read_bytes(scratch, n);
    num_bytes -= n;
  }
  return true;
}

}  // namespace

void LayersIn::read_counts(ByteStreamIn* in) {
  for (uint32_t i = 0; i < number; i++) in->read_u32_le(&layers[i].num_bytes);
}

bool LayersIn::load(ByteStreamIn* in) {
  if (in == nullptr) return false;
  uint64_t all = 0;
  uint64_t wanted = 0;
  for (uint32_t i = 0; i < number; i++) {
    all += layers[i].num_bytes;
    if (layers[i].requested) wanted += layers[i].num_bytes;
  }
  // Counts come from the file: refuse them before allocating or skipping when
  // they cannot all be there, instead of taking gigabytes for a corrupt chunk.
  const int64_t left = in->bytes_left();
  if (left >= 0 && all > static_cast<uint64_t>(left)) return false;
  if (wanted > capacity) {
    buffer.reset(new (std::nothrow) uint8_t[wanted]);
    if (!buffer) {
      capacity = 0;
      return false;
    }
    capacity = wanted;
  }
  uint8_t* at = buffer.get();
  for (uint32_t i = 0; i < number; i++) {
    LayerIn& layer = layers[i];
    layer.changed = false;
    if (layer.num_bytes == 0) {
      layer.stream.init(nullptr, 0);
      continue;
    }
    if (!layer.requested) {
      if (!skip_layer(in, layer.num_bytes)) return false;
      continue;
    }
    in->read_bytes(at, layer.num_bytes);
    layer.stream.init(at, layer.num_bytes);
    layer.decoder.start(&layer.stream);
    layer.changed = true;
    at += layer.num_bytes;
  }
  return true;
}

void LayersOut::start() {
  for (uint32_t i = 0; i < number; i++) {
    layers[i].stream.seek_to(0);
    layers[i].encoder.start(&layers[i].stream);
    layers[i].changed = false;
  }
}

bool LayersOut::write_counts(ByteStreamOut* out) {
  bool ok = true;
  for (uint32_t i = 0; i < number; i++) {
    LayerOut& layer = layers[i];
    if (layer.changed) {
      if (!layer.encoder.finish()) ok = false;
      layer.num_bytes = static_cast<uint32_t>(layer.stream.position());
    } else {
      layer.num_bytes = 0;
    }
    if (!out->write_u32_le(&layer.num_bytes)) ok = false;
  }
  return ok;
}

bool LayersOut::write_bytes(ByteStreamOut* out) {
  for (uint32_t i = 0; i < number; i++) {
    const LayerOut& layer = layers[i];
    if (layer.num_bytes && !out->write_bytes(layer.stream.get_data(), layer.num_bytes)) {
      return false;
    }
  }
  return true;
}
