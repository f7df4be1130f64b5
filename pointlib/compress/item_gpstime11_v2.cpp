#include "compress/item_gpstime11_v2.hpp"

#include "compress/item_bytes.hpp"

using G = Gpstime11V2;

int32_t Gpstime11V2::multiplier(int32_t d, int32_t p) {
  const double ratio = static_cast<double>(static_cast<float>(d) / static_cast<float>(p));
  // Limited before the conversion: a ratio beyond the int range would overflow.
  if (ratio >= kMulti + 1) return kMulti + 1;
  if (ratio <= kMultiMinus - 1) return kMultiMinus - 1;
  return static_cast<int32_t>(ratio >= 0.0 ? ratio + 0.5 : ratio - 0.5);
}

namespace {

// The symbol, prediction and context of multiplier m after p.
struct MultiCase {
  uint32_t symbol;
  int32_t prediction;
  uint32_t context;
  bool extreme;  // counts towards taking d as the new p
};

inline MultiCase multi_case(int32_t m, int32_t p) {
  if (m == 1) return {1, p, 1, false};
  if (m == 0) return {0, 0, 7, true};
  if (m > 0) {
    if (m < 10) return {static_cast<uint32_t>(m), mul_wrap(m, p), 2, false};
    if (m < G::kMulti) return {static_cast<uint32_t>(m), mul_wrap(m, p), 3, false};
    return {static_cast<uint32_t>(G::kMulti), mul_wrap(G::kMulti, p), 4, true};
  }
  if (m > G::kMultiMinus) return {static_cast<uint32_t>(G::kMulti - m), mul_wrap(m, p), 5, false};
  return {static_cast<uint32_t>(G::kMulti - G::kMultiMinus), mul_wrap(G::kMultiMinus, p), 6, true};
}

// The same from the decoded symbol (0..510).
inline MultiCase symbol_case(uint32_t s, int32_t p) {
  if (s <= static_cast<uint32_t>(G::kMulti)) return multi_case(static_cast<int32_t>(s), p);
  return multi_case(G::kMulti - static_cast<int32_t>(s), p);
}

// An extreme ratio moves p to d only after more than three in a row, so that
// one outlier does not spoil the prediction; a ratio of one resets the count.
inline void after_multi(const MultiCase& c, int32_t d, int32_t* p, int32_t* counter) {
  if (c.symbol == 1) {
    *counter = 0;
  } else if (c.extreme) {
    if (++*counter > 3) {
      *p = d;
      *counter = 0;
    }
  }
}

}  // namespace

LASreadItemCompressed_GPSTIME11_v2::LASreadItemCompressed_GPSTIME11_v2(IntervalDecoder* dec)
    : dec(dec),
      multi(dec->new_symbol_model(G::kMultiTotal)),
      zero_diff(dec->new_symbol_model(G::kZeroTotal)),
      ic_gpstime(dec, 32, 9) {}

bool LASreadItemCompressed_GPSTIME11_v2::start_chunk(uint8_t* item, uint32_t&) {
  last = 0;
  next = 0;
  for (int i = 0; i < 4; i++) {
    last_gpstime[i] = 0;
    last_gpstime_diff[i] = 0;
    multi_extreme_counter[i] = 0;
  }
  multi->reset();
  zero_diff->reset();
  ic_gpstime.prepare_decode();
  last_gpstime[0] = item_load<uint64_t>(item, 0);
  return true;
}

PL_CODER_INLINE void LASreadItemCompressed_GPSTIME11_v2::read_full_time(
    IntervalDecoder::Run& coder) {
  next = (next + 1) & 3;
  const int32_t high = ic_gpstime.decode(coder, static_cast<int32_t>(last_gpstime[last] >> 32), 8);
  const uint32_t low = coder.get_raw_u32();
  last = next;
  last_gpstime[last] = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
  last_gpstime_diff[last] = 0;
  multi_extreme_counter[last] = 0;
}

void LASreadItemCompressed_GPSTIME11_v2::read_item(uint8_t* item, uint32_t&) {
  IntervalDecoder::Run coder(*dec);
  // A valid writer switches sequence at most once per item (the sequence it
  // switches to has a difference that fits); a second switch is corrupt data
  // and would otherwise let a damaged stream loop here.
  bool switched = false;
  for (;;) {
    if (last_gpstime_diff[last] == 0) {
      const uint32_t s = coder.get_symbol(zero_diff.get());
      if (s == 1) {
        const int32_t d = ic_gpstime.decode(coder, 0, 0);
        last_gpstime[last] += static_cast<uint64_t>(static_cast<int64_t>(d));
        last_gpstime_diff[last] = d;
        multi_extreme_counter[last] = 0;
      } else if (s == 2) {
        read_full_time(coder);
      } else if (s > 2) {
        if (switched) throw 4711;
        switched = true;
        last = (last + s - 2) & 3;
        continue;
      }
    } else {
      const uint32_t s = coder.get_symbol(multi.get());
      if (s < G::kMultiUnchanged) {
        const MultiCase c = symbol_case(s, last_gpstime_diff[last]);
        const int32_t d = ic_gpstime.decode(coder, c.prediction, c.context);
        last_gpstime[last] += static_cast<uint64_t>(static_cast<int64_t>(d));
        after_multi(c, d, &last_gpstime_diff[last], &multi_extreme_counter[last]);
      } else if (s == G::kMultiCodeFull) {
        read_full_time(coder);
      } else if (s > G::kMultiCodeFull) {
        if (switched) throw 4711;
        switched = true;
        last = (last + s - G::kMultiCodeFull) & 3;
        continue;
      }
    }
    break;
  }
  coder.commit();
  item_store<uint64_t>(item, 0, last_gpstime[last]);
}

LASwriteItemCompressed_GPSTIME11_v2::LASwriteItemCompressed_GPSTIME11_v2(IntervalEncoder* enc)
    : enc(enc),
      multi(enc->new_symbol_model(G::kMultiTotal)),
      zero_diff(enc->new_symbol_model(G::kZeroTotal)),
      ic_gpstime(enc, 32, 9) {}

bool LASwriteItemCompressed_GPSTIME11_v2::start_chunk(const uint8_t* item, uint32_t&) {
  last = 0;
  next = 0;
  for (int i = 0; i < 4; i++) {
    last_gpstime[i] = 0;
    last_gpstime_diff[i] = 0;
    multi_extreme_counter[i] = 0;
  }
  multi->reset();
  zero_diff->reset();
  ic_gpstime.prepare_encode();
  last_gpstime[0] = item_load<uint64_t>(item, 0);
  return true;
}

void LASwriteItemCompressed_GPSTIME11_v2::write_full_time(uint64_t gpstime) {
  next = (next + 1) & 3;
  ic_gpstime.encode(static_cast<int32_t>(last_gpstime[last] >> 32),
                    static_cast<int32_t>(gpstime >> 32), 8);
  enc->put_raw_u32(static_cast<uint32_t>(gpstime));
  last = next;
  last_gpstime[last] = gpstime;
  last_gpstime_diff[last] = 0;
  multi_extreme_counter[last] = 0;
}

bool LASwriteItemCompressed_GPSTIME11_v2::write_item(const uint8_t* item, uint32_t&) {
  const uint64_t gpstime = item_load<uint64_t>(item, 0);
  for (;;) {
    const bool no_diff = last_gpstime_diff[last] == 0;
    SymbolModel* model = no_diff ? zero_diff.get() : multi.get();
    const int64_t d64 = diff_u64(gpstime, last_gpstime[last]);
    if (d64 == 0) {
      enc->put_symbol(model, no_diff ? 0 : G::kMultiUnchanged);
      return true;
    }
    if (fits_i32(d64)) {
      const int32_t d = static_cast<int32_t>(d64);
      if (no_diff) {
        enc->put_symbol(model, 1);
        ic_gpstime.encode(0, d, 0);
        last_gpstime_diff[last] = d;
        multi_extreme_counter[last] = 0;
      } else {
        const MultiCase c =
            multi_case(G::multiplier(d, last_gpstime_diff[last]), last_gpstime_diff[last]);
        enc->put_symbol(model, c.symbol);
        ic_gpstime.encode(c.prediction, d, c.context);
        after_multi(c, d, &last_gpstime_diff[last], &multi_extreme_counter[last]);
      }
      last_gpstime[last] = gpstime;
      return true;
    }
    // Too far from the current sequence: another sequence may be close.
    const uint32_t full = no_diff ? 2 : G::kMultiCodeFull;
    uint32_t i = 1;
    for (; i < 4; i++) {
      if (fits_i32(diff_u64(gpstime, last_gpstime[(last + i) & 3]))) break;
    }
    if (i == 4) {
      enc->put_symbol(model, full);
      write_full_time(gpstime);
      return true;
    }
    enc->put_symbol(model, full + i);
    last = (last + i) & 3;
  }
}
