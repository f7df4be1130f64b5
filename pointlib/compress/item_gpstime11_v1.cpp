#include "compress/item_gpstime11_v1.hpp"

#include "compress/item_bytes.hpp"

uint32_t Gpstime11V1::multiplier(int32_t d, int32_t p) {
  // Rounded ratio in single precision, clamped before the conversion so that
  // a ratio beyond the int range cannot overflow it.
  const float ratio = static_cast<float>(d) / static_cast<float>(p) + 0.5f;
  if (!(ratio > 0.0f)) return 0;
  if (ratio >= static_cast<float>(kMultiLargest)) return kMultiLargest;
  return static_cast<uint32_t>(ratio);
}

namespace {

// The time-difference context and prediction for multiplier m after p.
inline uint32_t multi_context(uint32_t m) {
  if (m == 1) return 1;
  if (m == 0) return 2;
  if (m < 10) return 3;
  if (m < 50) return 4;
  return 5;
}

inline int32_t multi_prediction(uint32_t m, int32_t p) {
  if (m == 0) return p / 4;
  return mul_wrap(static_cast<int32_t>(m), p);
}

// After coding d with multiplier m: the previous difference follows d at once
// for m = 1, and only after more than three extreme ratios in a row for the
// two ends of the range, so that one outlier does not spoil the prediction.
inline void multi_after(uint32_t m, int32_t d, int32_t* last_diff, int32_t* counter) {
  if (m == 1) {
    *last_diff = d;
    *counter = 0;
  } else if (m == 0 || m == Gpstime11V1::kMultiLargest) {
    if (++*counter > 3) {
      *last_diff = d;
      *counter = 0;
    }
  }
}

}  // namespace

LASreadItemCompressed_GPSTIME11_v1::LASreadItemCompressed_GPSTIME11_v1(IntervalDecoder* dec)
    : dec(dec),
      multi(dec->new_symbol_model(Gpstime11V1::kMultiMax)),
      zero_diff(dec->new_symbol_model(3)),
      ic_gpstime(dec, 32, 6) {}

bool LASreadItemCompressed_GPSTIME11_v1::start_chunk(uint8_t* item, uint32_t&) {
  last_gpstime_diff = 0;
  multi_extreme_counter = 0;
  multi->reset();
  zero_diff->reset();
  ic_gpstime.prepare_decode();
  last_gpstime = item_load<uint64_t>(item, 0);
  return true;
}

void LASreadItemCompressed_GPSTIME11_v1::read_item(uint8_t* item, uint32_t&) {
  IntervalDecoder::Run coder(*dec);
  if (last_gpstime_diff == 0) {
    const uint32_t s = coder.get_symbol(zero_diff.get());
    if (s == 1) {
      last_gpstime_diff = ic_gpstime.decode(coder, 0, 0);
      last_gpstime += static_cast<uint64_t>(static_cast<int64_t>(last_gpstime_diff));
    } else if (s == 2) {
      last_gpstime = coder.get_raw_u64();
    }
  } else {
    const uint32_t m = coder.get_symbol(multi.get());
    if (m < Gpstime11V1::kMultiCodeFull) {
      const int32_t d =
          ic_gpstime.decode(coder, multi_prediction(m, last_gpstime_diff), multi_context(m));
      last_gpstime += static_cast<uint64_t>(static_cast<int64_t>(d));
      multi_after(m, d, &last_gpstime_diff, &multi_extreme_counter);
    } else if (m == Gpstime11V1::kMultiCodeFull) {
      last_gpstime = coder.get_raw_u64();
    }
  }
  coder.commit();
  item_store<uint64_t>(item, 0, last_gpstime);
}

LASwriteItemCompressed_GPSTIME11_v1::LASwriteItemCompressed_GPSTIME11_v1(IntervalEncoder* enc)
    : enc(enc),
      multi(enc->new_symbol_model(Gpstime11V1::kMultiMax)),
      zero_diff(enc->new_symbol_model(3)),
      ic_gpstime(enc, 32, 6) {}

bool LASwriteItemCompressed_GPSTIME11_v1::start_chunk(const uint8_t* item, uint32_t&) {
  last_gpstime_diff = 0;
  multi_extreme_counter = 0;
  multi->reset();
  zero_diff->reset();
  ic_gpstime.prepare_encode();
  last_gpstime = item_load<uint64_t>(item, 0);
  return true;
}

bool LASwriteItemCompressed_GPSTIME11_v1::write_item(const uint8_t* item, uint32_t&) {
  const uint64_t this_gpstime = item_load<uint64_t>(item, 0);
  const int64_t d64 = diff_u64(this_gpstime, last_gpstime);
  if (last_gpstime_diff == 0) {
    if (d64 == 0) {
      enc->put_symbol(zero_diff.get(), 0);
    } else if (fits_i32(d64)) {
      enc->put_symbol(zero_diff.get(), 1);
      ic_gpstime.encode(0, static_cast<int32_t>(d64), 0);
      last_gpstime_diff = static_cast<int32_t>(d64);
    } else {
      enc->put_symbol(zero_diff.get(), 2);
      enc->put_raw_u64(this_gpstime);
    }
  } else if (d64 == 0) {
    enc->put_symbol(multi.get(), Gpstime11V1::kMultiUnchanged);
  } else if (fits_i32(d64)) {
    const int32_t d = static_cast<int32_t>(d64);
    const uint32_t m = Gpstime11V1::multiplier(d, last_gpstime_diff);
    enc->put_symbol(multi.get(), m);
    ic_gpstime.encode(multi_prediction(m, last_gpstime_diff), d, multi_context(m));
    multi_after(m, d, &last_gpstime_diff, &multi_extreme_counter);
  } else {
    enc->put_symbol(multi.get(), Gpstime11V1::kMultiCodeFull);
    enc->put_raw_u64(this_gpstime);
  }
  last_gpstime = this_gpstime;
  return true;
}
