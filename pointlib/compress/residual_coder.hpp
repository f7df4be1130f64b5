#ifndef POINTLIB_COMPRESS_RESIDUAL_CODER_HPP
#define POINTLIB_COMPRESS_RESIDUAL_CODER_HPP

#include <cassert>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"

// Codes an integer as its residual to a prediction: first the residual's
// length class k with a per-context model, then its bits within the class
// (the high ones with a per-class model, those beyond raw_threshold_bits as
// raw bits). Residuals wrap modulo 2^bits (or the given range), so a 16-bit
// field that steps from 65535 to 0 costs one small residual. Bound for life to
// one encoder or decoder.
class ResidualCoder {
  // Keeps decode(dec, ...) out of the way of decode(prediction, context).
  template <class Dec>
  using IfDecoder = std::enable_if_t<std::is_class<Dec>::value, int>;

 public:
  ResidualCoder(IntervalEncoder* encoder, uint32_t bits = 16, uint32_t contexts = 1,
                uint32_t raw_threshold_bits = 8, uint32_t range = 0);
  ResidualCoder(IntervalDecoder* decoder, uint32_t bits = 16, uint32_t contexts = 1,
                uint32_t raw_threshold_bits = 8, uint32_t range = 0);
  ResidualCoder(const ResidualCoder&) = delete;
  ResidualCoder& operator=(const ResidualCoder&) = delete;

  // Create the models on the first call, then reset all of them; at every
  // chunk start.
  void prepare_encode();
  void prepare_decode();
  // The one of the two for the coder this one is bound to.
  void prepare() { encoder ? prepare_encode() : prepare_decode(); }

  inline void encode(int32_t prediction, int32_t real, uint32_t context = 0);
  inline int32_t decode(int32_t prediction, uint32_t context = 0);
  // The same through the caller's decoder, which must be the one this coder
  // is bound to: where the caller decodes with it too, the compiler sees one
  // decoder and may keep its interval in registers between the values.
  // dec is the decoder or a Run of it.
  template <class Dec, IfDecoder<Dec> = 0>
  inline int32_t decode(Dec& dec, int32_t prediction, uint32_t context = 0);
  // The same where most residuals fall into one length class.
  template <class Dec>
  inline int32_t decode_likely(Dec& dec, int32_t prediction, uint32_t context = 0);
  // The same in two steps, the length class first: a caller that decodes
  // several streams may start the others while this class is decoded, and
  // branch on it only when it is known.
  template <class Dec>
  inline uint32_t decode_class(Dec& dec, uint32_t context);
  template <class Dec>
  inline int32_t decode_in_class(Dec& dec, uint32_t k, int32_t prediction);

  // The length class of the last residual coded.
  uint32_t k() const { return last_k; }

  uint32_t get_residual_bits() const { return residual_bits; }
  uint32_t get_residual_range() const { return residual_range; }
  int32_t get_residual_min() const { return residual_min; }
  int32_t get_residual_max() const { return residual_max; }

 private:
  void derive_range(uint32_t bits, uint32_t range);
  void create_models(bool compress);
  void reset_models();
  inline void encode_residual(int32_t r, SymbolModel* length_model);
  template <bool kLikely, class Dec>
  PL_CODER_INLINE uint32_t decode_length_class(Dec& dec, uint32_t context);
  template <bool kLikely, class Dec>
  PL_CODER_INLINE int32_t decode_value(Dec& dec, uint32_t k, int32_t prediction);
  template <class Dec>
  PL_CODER_INLINE int32_t decode_residual(Dec& dec, uint32_t k);
  static const IntervalDecoder* owner(const IntervalDecoder& dec) { return &dec; }
  static const IntervalDecoder* owner(const IntervalDecoder::Run& run) { return &run.decoder(); }

  IntervalEncoder* encoder = nullptr;
  IntervalDecoder* decoder = nullptr;
  uint32_t contexts;
  uint32_t raw_threshold_bits;
  uint32_t residual_bits;
  uint32_t residual_range;
  int32_t residual_min;
  int32_t residual_max;
  uint32_t last_k = 0;

  // Held by value, side by side: the coder touches two or three of them per
  // value and a pointer hop each was measurable.
  std::vector<SymbolModel> length_models;  // one per context
  BitModel class_0_model;
  std::vector<SymbolModel> low_bits_models;  // index = class - 1
};

PL_CODER_INLINE void ResidualCoder::encode(int32_t prediction, int32_t real, uint32_t context) {
  // Wrap-around difference, done unsigned.
  int32_t r = static_cast<int32_t>(static_cast<uint32_t>(real) - static_cast<uint32_t>(prediction));
  if (r < residual_min) {
    r = static_cast<int32_t>(static_cast<uint32_t>(r) + residual_range);
  } else if (r > residual_max) {
    r = static_cast<int32_t>(static_cast<uint32_t>(r) - residual_range);
  }
  encode_residual(r, &length_models[context]);
}

PL_CODER_INLINE void ResidualCoder::encode_residual(int32_t r, SymbolModel* length_model) {
  // Class L holds -(2^L - 1) .. 2^L; class 0 holds 0 and 1.
  uint32_t m = r <= 0 ? 0u - static_cast<uint32_t>(r) : static_cast<uint32_t>(r) - 1u;
  uint32_t k = 0;
  while (m) {
    m >>= 1;
    k++;
  }
  last_k = k;
  encoder->put_symbol(length_model, k);
  if (k == 0) {
    encoder->put_bit(&class_0_model, static_cast<uint32_t>(r));
  } else if (k < 32) {
    uint32_t v =
        r < 0 ? static_cast<uint32_t>(r) + ((1u << k) - 1u) : static_cast<uint32_t>(r) - 1u;
    if (k <= raw_threshold_bits) {
      encoder->put_symbol(&low_bits_models[k - 1], v);
    } else {
      const uint32_t e = k - raw_threshold_bits;
      const uint32_t low = v & ((1u << e) - 1u);
      v >>= e;
      encoder->put_symbol(&low_bits_models[k - 1], v);
      encoder->put_raw_bits(e, low);
    }
  }
  // Class 32 is -2^31 alone: nothing more to code.
}

// The residual's sign and the wrap are as likely one way as the other, so they
// are selected without branches: a wrong guess would stall a decoder whose next
// step waits for this value.
PL_CODER_INLINE int32_t ResidualCoder::decode(int32_t prediction, uint32_t context) {
  return decode(*decoder, prediction, context);
}

template <class Dec, ResidualCoder::IfDecoder<Dec>>
PL_CODER_INLINE int32_t ResidualCoder::decode(Dec& dec, int32_t prediction, uint32_t context) {
  return decode_value<false>(dec, decode_length_class<false>(dec, context), prediction);
}

template <class Dec>
PL_CODER_INLINE int32_t ResidualCoder::decode_likely(Dec& dec, int32_t prediction,
                                                     uint32_t context) {
  return decode_value<true>(dec, decode_length_class<true>(dec, context), prediction);
}

template <class Dec>
PL_CODER_INLINE uint32_t ResidualCoder::decode_class(Dec& dec, uint32_t context) {
  return decode_length_class<false>(dec, context);
}

template <class Dec>
PL_CODER_INLINE int32_t ResidualCoder::decode_in_class(Dec& dec, uint32_t k, int32_t prediction) {
  return decode_value<false>(dec, k, prediction);
}

template <bool kLikely, class Dec>
PL_CODER_INLINE uint32_t ResidualCoder::decode_length_class(Dec& dec, uint32_t context) {
  assert(owner(dec) == decoder);
  SymbolModel* length_model = &length_models[context];
  const uint32_t k = kLikely ? dec.get_likely_symbol(length_model) : dec.get_symbol(length_model);
  last_k = k;
  return k;
}

template <bool kLikely, class Dec>
PL_CODER_INLINE int32_t ResidualCoder::decode_value(Dec& dec, uint32_t k, int32_t prediction) {
  assert(owner(dec) == decoder);
  const int32_t r = decode_residual(dec, k);
  const uint32_t value = static_cast<uint32_t>(prediction) + static_cast<uint32_t>(r);
  // Without a range (32 bits) nothing wraps. The coders of the mostly
  // unchanging fields are such wide ones, and a branch that always goes one
  // way is cheaper than the selects.
  if (kLikely && residual_range == 0) return static_cast<int32_t>(value);
  // All ones where the value is negative, else where it reaches the range.
  const uint32_t negative = 0u - (value >> 31);
  const uint32_t beyond = ~negative & (0u - (value >= residual_range ? 1u : 0u));
  return static_cast<int32_t>(value + (negative & residual_range) - (beyond & residual_range));
}

template <class Dec>
PL_CODER_INLINE int32_t ResidualCoder::decode_residual(Dec& dec, uint32_t k) {
  if (k == 0) return static_cast<int32_t>(dec.get_bit(&class_0_model));
  if (k >= 32) return residual_min;
  uint32_t v;
  if (k <= raw_threshold_bits) {
    v = dec.get_symbol(&low_bits_models[k - 1]);
  } else {
    const uint32_t e = k - raw_threshold_bits;
    v = dec.get_symbol(&low_bits_models[k - 1]) << e;
    v |= dec.get_raw_bits(e);
  }
  // v below 2^(k-1) is a negative residual: v - (2^k - 1).
  const uint32_t negative = 0u - (v < (1u << (k - 1)) ? 1u : 0u);
  return static_cast<int32_t>(v + 1u - (negative & (1u << k)));
}

#endif
