#ifndef POINTLIB_COMPRESS_ITEM_LAYERS_HPP
#define POINTLIB_COMPRESS_ITEM_LAYERS_HPP

// The layers of the layered item coders (versions 3 and 4 of the extended
// items). Each layer is one interval coder over its own memory stream; a chunk
// stores every layer's byte count and then the layers' bytes, so that a reader
// can skip the layers it was not asked for and a layer that never changes in a
// chunk costs nothing.

#include <cstdint>
#include <memory>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"

struct LayerIn {
  ByteStreamInArrayLE stream;
  IntervalDecoder decoder;
  uint32_t num_bytes = 0;
  bool requested = false;
  // Present in this chunk: requested and with a count above 0.
  bool changed = false;
};

struct LayerOut {
  ByteStreamOutArrayLE stream;
  IntervalEncoder encoder;
  uint32_t num_bytes = 0;
  bool changed = false;
};

// The reading side of one item's layers: the counts, the one buffer that holds
// the loaded bytes of a chunk (grown, never shrunk) and the loading itself.
class LayersIn {
 public:
  explicit LayersIn(uint32_t number) : number(number), layers(new LayerIn[number]) {}
  LayerIn& operator[](uint32_t i) { return layers[i]; }
  const LayerIn& operator[](uint32_t i) const { return layers[i]; }
  uint32_t size() const { return number; }

  // Reads one u32 count per layer from the file stream.
  void read_counts(ByteStreamIn* in);
  // Loads the requested layers of the chunk whose counts were read last and
  // skips the others. False without a stream, when the counts cannot all be
  // in the stream or when the buffer cannot be had; the stream's own -1 when
  // it ends early.
  bool load(ByteStreamIn* in);

 private:
  uint32_t number;
  std::unique_ptr<LayerIn[]> layers;
  std::unique_ptr<uint8_t[]> buffer;
  uint64_t capacity = 0;
};

// The writing side: the layer streams are reused from position 0 chunk after
// chunk, so a layer's byte count is the stream position after finishing, never
// the stream's size (which remembers the longest chunk so far).
class LayersOut {
 public:
  explicit LayersOut(uint32_t number) : number(number), layers(new LayerOut[number]) {}
  LayerOut& operator[](uint32_t i) { return layers[i]; }
  uint32_t size() const { return number; }

  // Rewinds every stream, starts every encoder, marks every layer unchanged.
  void start();
  // Finishes the encoders of the layers marked changed and takes their counts
  // (0 for the others); writes one u32 per layer.
  bool write_counts(ByteStreamOut* out);
  // The bytes of every layer with a count above 0, in layer order.
  bool write_bytes(ByteStreamOut* out);

 private:
  uint32_t number;
  std::unique_ptr<LayerOut[]> layers;
};

#endif
