#include "compress/residual_coder.hpp"

ResidualCoder::ResidualCoder(IntervalEncoder* encoder, uint32_t bits, uint32_t contexts,
                             uint32_t raw_threshold_bits, uint32_t range)
    : encoder(encoder), contexts(contexts), raw_threshold_bits(raw_threshold_bits) {
  derive_range(bits, range);
}

ResidualCoder::ResidualCoder(IntervalDecoder* decoder, uint32_t bits, uint32_t contexts,
                             uint32_t raw_threshold_bits, uint32_t range)
    : decoder(decoder), contexts(contexts), raw_threshold_bits(raw_threshold_bits) {
  derive_range(bits, range);
}

void ResidualCoder::derive_range(uint32_t bits, uint32_t range) {
  if (range) {
    // Halvings down to 1, plus one when range is not a power of two.
    residual_bits = 0;
    uint32_t r = range;
    while (r > 1) {
      r >>= 1;
      residual_bits++;
    }
    if (range & (range - 1)) residual_bits++;
    residual_range = range;
    residual_min = -static_cast<int32_t>(range / 2);
    residual_max = static_cast<int32_t>(static_cast<uint32_t>(residual_min) + range - 1u);
  } else if (bits >= 1 && bits <= 31) {
    residual_bits = bits;
    residual_range = 1u << bits;
    residual_min = -static_cast<int32_t>(residual_range / 2);
    residual_max = static_cast<int32_t>(residual_range / 2 - 1u);
  } else {
    residual_bits = 32;
    residual_range = 0;  // no wrap
    residual_min = INT32_MIN;
    residual_max = INT32_MAX;
  }
}

void ResidualCoder::create_models(bool compress) {
  length_models.reserve(contexts);
  for (uint32_t c = 0; c < contexts; c++) length_models.emplace_back(residual_bits + 1, compress);
  low_bits_models.reserve(residual_bits);
  for (uint32_t k = 1; k <= residual_bits; k++) {
    const uint32_t class_bits = k <= raw_threshold_bits ? k : raw_threshold_bits;
    low_bits_models.emplace_back(1u << class_bits, compress);
  }
}

void ResidualCoder::reset_models() {
  for (SymbolModel& m : length_models) m.reset();
  class_0_model.reset();
  for (SymbolModel& m : low_bits_models) m.reset();
}

void ResidualCoder::prepare_encode() {
  if (length_models.empty()) create_models(true);
  reset_models();
}

void ResidualCoder::prepare_decode() {
  if (length_models.empty()) create_models(false);
  reset_models();
}
