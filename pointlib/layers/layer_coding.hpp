#ifndef POINTLIB_LAYERS_LAYER_CODING_HPP
#define POINTLIB_LAYERS_LAYER_CODING_HPP

// The interval coder of a compressed layer and its lazily made models: a
// decoder while the layer is applied, an encoder while it is recorded; and the
// life of the compressed kinds around it.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/residual_coder.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "layers/las_layer.hpp"

class LayerCoder {
 public:
  // Starts the decoder with the first value read; false (message printed)
  // when the data is not there.
  bool start_read(ByteStreamIn* in) {
    decoder = std::make_unique<IntervalDecoder>();
    try {
      if (decoder->start(in, true)) return true;
    } catch (...) {
    }
    std::fprintf(stderr, "ERROR: starting the interval decoder of a layer\n");
    decoder.reset();
    return false;
  }
  bool start_write(ByteStreamOut* out) {
    encoder = std::make_unique<IntervalEncoder>();
    if (encoder->start(out)) return true;
    std::fprintf(stderr, "ERROR: starting the interval encoder of a layer\n");
    encoder.reset();
    return false;
  }
  void finish_read() { decoder.reset(); }
  // Writes the coder's last bytes; false when a write failed.
  bool finish_write() {
    const bool ok = !encoder || encoder->finish();
    encoder.reset();
    return ok;
  }
  bool encoding() const { return encoder != nullptr; }

  // A fresh symbol model of the side in use.
  std::unique_ptr<SymbolModel> new_symbol_model(uint32_t symbols) const {
    auto model = std::make_unique<SymbolModel>(symbols, encoding());
    model->reset();
    return model;
  }
  // A residual coder of 32-bit values on the side in use, ready to code.
  std::unique_ptr<ResidualCoder> new_residual_coder(uint32_t contexts) const {
    auto residual = encoding() ? std::make_unique<ResidualCoder>(encoder.get(), 32, contexts, 8, 0)
                               : std::make_unique<ResidualCoder>(decoder.get(), 32, contexts, 8, 0);
    residual->prepare();
    return residual;
  }

  std::unique_ptr<IntervalEncoder> encoder;
  std::unique_ptr<IntervalDecoder> decoder;
};

// Models made on first use, so that contexts a layer never meets cost nothing.
class SymbolModelSlots {
 public:
  void clear(size_t count, uint32_t symbols) {
    slots.clear();
    slots.resize(count);
    this->symbols = symbols;
  }
  SymbolModel* get(size_t i, const LayerCoder& coder) {
    if (!slots[i]) slots[i] = coder.new_symbol_model(symbols);
    return slots[i].get();
  }

 private:
  std::vector<std::unique_ptr<SymbolModel>> slots;
  uint32_t symbols = 2;
};

class BitModelSlots {
 public:
  void clear(size_t count) {
    slots.clear();
    slots.resize(count);
  }
  BitModel* get(size_t i) {
    if (!slots[i]) slots[i] = std::make_unique<BitModel>();
    return slots[i].get();
  }

 private:
  std::vector<std::unique_ptr<BitModel>> slots;
};

// A 16-bit value coded as changes of its bytes against the last value: both
// bytes with a change mask, or only the one byte that is in use (the other is
// known to be zero). Intensity and near infrared are coded this way.
class TwoByteCoder {
 public:
  uint8_t uses_both_bytes = 1;
  uint8_t uses_lower_byte = 0;

  void start(const LayerCoder& coder) {
    low = coder.new_symbol_model(256);
    if (uses_both_bytes) {
      mask = coder.new_symbol_model(4);
      high = coder.new_symbol_model(256);
    } else {
      mask.reset();
      high.reset();
    }
    last = 0;
  }
  void stop() {
    low.reset();
    mask.reset();
    high.reset();
  }
  void encode(IntervalEncoder* enc, uint16_t value) {
    if (uses_both_bytes) {
      const uint32_t lo = value & 0xFFu, hi = value >> 8;
      const uint32_t last_lo = last & 0xFFu, last_hi = last >> 8u;
      const uint32_t changed = (lo != last_lo ? 1u : 0u) | (hi != last_hi ? 2u : 0u);
      enc->put_symbol(mask.get(), changed);
      if (changed & 1u) enc->put_symbol(low.get(), (lo - last_lo) & 0xFFu);
      if (changed & 2u) enc->put_symbol(high.get(), (hi - last_hi) & 0xFFu);
      last = value;
    } else {
      const uint32_t b = uses_lower_byte ? (value & 0xFFu) : (value >> 8);
      enc->put_symbol(low.get(), (b - last) & 0xFFu);
      last = b;
    }
  }
  uint16_t decode(IntervalDecoder* dec) {
    if (uses_both_bytes) {
      const uint32_t changed = dec->get_symbol(mask.get());
      uint32_t lo = last & 0xFFu, hi = last >> 8;
      if (changed & 1u) lo = (lo + dec->get_symbol(low.get())) & 0xFFu;
      if (changed & 2u) hi = (hi + dec->get_symbol(high.get())) & 0xFFu;
      last = (hi << 8) | lo;
      return static_cast<uint16_t>(last);
    }
    last = (last + dec->get_symbol(low.get())) & 0xFFu;
    return static_cast<uint16_t>(uses_lower_byte ? last : last << 8);
  }

 private:
  std::unique_ptr<SymbolModel> low, mask, high;
  uint32_t last = 0;  // the last value, or with one byte in use the last byte
};

// The compressed kinds: the coder starts behind the record (or at the start of
// the buffered data) and ends before the record is completed. Kinds make their
// models in start_models, once the coder knows its side, and drop them in
// stop_models.
class LASlayerCoded : public LASlayer {
 public:
  bool init_read(ByteStreamIn* in) override;
  bool init_write(ByteStreamOut* out) override;
  bool finish_read(ByteStreamIn* in) override;
  bool finish_write(ByteStreamOut* out) override;

 protected:
  LASlayerCoded(const LayerKindId& kind, LASheader* header, uint32_t modification_mask,
                const char* description)
      : LASlayer(kind, header, modification_mask, description) {}
  virtual void start_models() = 0;
  virtual void stop_models() = 0;
  LayerCoder coder;
};

#endif  // POINTLIB_LAYERS_LAYER_CODING_HPP
