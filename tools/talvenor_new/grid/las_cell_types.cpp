#include "grid/las_cell_types.hpp"

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "platform/crt_random.hpp"

namespace {

// Components start on 32-bit boundaries only, so wider values are copied, never cast.
template <class T>
inline T load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}

template <class T>
inline void store(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof(T));
}

inline uint8_t* element(const LAScell& cell, int component, uint32_t bytes) {
  return cell.data + cell.offset[component] + cell.k * bytes;
}

// Presence and occupancy: bit k mod 32 of 32-bit word k / 32.
inline bool bit(const LAScell& cell, int component) {
  const uint8_t* word = cell.data + cell.offset[component] + (cell.k >> 5) * 4;
  return (load<uint32_t>(word) >> (cell.k & 31)) & 1u;
}

inline void set_bit(const LAScell& cell, int component) {
  uint8_t* word = cell.data + cell.offset[component] + (cell.k >> 5) * 4;
  store<uint32_t>(word, load<uint32_t>(word) | (1u << (cell.k & 31)));
}

// One value of type T per cell.
template <class T>
struct Plain {
  using type = T;
  static T get(const LAScell& cell, int c) { return load<T>(element(cell, c, sizeof(T))); }
  static void put(const LAScell& cell, int c, T v) { store<T>(element(cell, c, sizeof(T)), v); }
};

// Two cells per byte: even k in the high nibble, odd k in the low nibble.
struct Nibble {
  using type = uint8_t;
  static uint8_t get(const LAScell& cell, int c) {
    const uint8_t byte = cell.data[cell.offset[c] + (cell.k >> 1)];
    return (cell.k & 1) ? (byte & 0x0F) : (byte >> 4);
  }
  static void put(const LAScell& cell, int c, uint8_t v) {
    uint8_t& byte = cell.data[cell.offset[c] + (cell.k >> 1)];
    byte = (cell.k & 1) ? uint8_t((byte & 0xF0) | (v & 0x0F)) : uint8_t((byte & 0x0F) | (v << 4));
  }
};

// Four cells per byte. The 2-bit counters fill a byte from its high bits and the 2-bit return
// types from its low bits; both orders are kept as they are.
template <bool kFromHigh>
struct Crumb {
  using type = uint8_t;
  static unsigned shift(uint32_t k) { return kFromHigh ? 6 - 2 * (k & 3) : 2 * (k & 3); }
  static uint8_t get(const LAScell& cell, int c) {
    return (cell.data[cell.offset[c] + (cell.k >> 2)] >> shift(cell.k)) & 3;
  }
  static void put(const LAScell& cell, int c, uint8_t v) {
    uint8_t& byte = cell.data[cell.offset[c] + (cell.k >> 2)];
    const unsigned s = shift(cell.k);
    byte = uint8_t((byte & ~(3u << s)) | ((v & 3u) << s));
  }
};

// The point value that a family looks at.
struct FieldZ {
  static int32_t of(const LAScellPoint& p) { return p.Z; }
};
struct FieldIntensity {
  static uint16_t of(const LAScellPoint& p) { return p.intensity; }
};
struct FieldScanAngle {
  static int8_t of(const LAScellPoint& p) { return p.scan_angle_rank; }
};
struct FieldScanAngleAbs {
  // 8 bits unsigned, so -128 stays 128.
  static uint8_t of(const LAScellPoint& p) {
    return uint8_t(p.scan_angle_rank < 0 ? -p.scan_angle_rank : p.scan_angle_rank);
  }
};
struct FieldUserData {
  static uint8_t of(const LAScellPoint& p) { return p.user_data; }
};
struct FieldPointSource {
  static uint16_t of(const LAScellPoint& p) { return p.point_source_ID; }
};
struct FieldGpsTime {
  static double of(const LAScellPoint& p) { return p.gps_time; }
};
struct FieldReturns {
  static uint8_t of(const LAScellPoint& p) { return p.number_of_returns & 7; }
};
struct FieldReturnsTimesTen {
  static int32_t of(const LAScellPoint& p) { return 10 * (p.number_of_returns & 7); }
};

inline int32_t float_bits(float f) {
  int32_t r;
  std::memcpy(&r, &f, sizeof(r));
  return r;
}

template <class T>
inline int32_t out_value(T v) {
  if constexpr (std::is_floating_point_v<T>) {
    return float_bits(float(v));
  } else {
    return int32_t(v);
  }
}

// A range wider than 31 bits wraps, as the 32-bit result cannot hold it.
template <class T>
inline int32_t range_value(T high, T low) {
  if constexpr (std::is_floating_point_v<T>) {
    return float_bits(float(high - low));
  } else {
    return int32_t(uint32_t(int64_t(high) - int64_t(low)));
  }
}

inline int32_t round_half_away(double v) {
  return v >= 0 ? int32_t(v + 0.5) : int32_t(v - 0.5);
}

// lowest / highest: components value, presence. Ties keep the stored value.
template <class F, class S, bool kHighest>
void add_extreme(const LAScell& cell, const LAScellPoint& p, const LAScellContext&) {
  const auto v = static_cast<typename S::type>(F::of(p));
  if (!bit(cell, 1)) {
    S::put(cell, 0, v);
    set_bit(cell, 1);
  } else if (kHighest ? v > S::get(cell, 0) : v < S::get(cell, 0)) {
    S::put(cell, 0, v);
  }
}

template <class S>
bool get_stored(const LAScell& cell, int32_t& value, int32_t) {
  if (!bit(cell, 1)) return false;
  value = out_value(S::get(cell, 0));
  return true;
}

// range: components lowest, highest, presence.
template <class F, class T>
void add_range(const LAScell& cell, const LAScellPoint& p, const LAScellContext&) {
  const T v = static_cast<T>(F::of(p));
  if (!bit(cell, 2)) {
    Plain<T>::put(cell, 0, v);
    Plain<T>::put(cell, 1, v);
    set_bit(cell, 2);
  } else if (v < Plain<T>::get(cell, 0)) {
    Plain<T>::put(cell, 0, v);
  } else if (v > Plain<T>::get(cell, 1)) {
    Plain<T>::put(cell, 1, v);
  }
}

template <class T>
bool get_range(const LAScell& cell, int32_t& value, int32_t) {
  if (!bit(cell, 2)) return false;
  value = range_value(Plain<T>::get(cell, 1), Plain<T>::get(cell, 0));
  return true;
}

// average: components f32 mean, u16 count.
template <class F>
void add_average(const LAScell& cell, const LAScellPoint& p, const LAScellContext&) {
  uint16_t count = Plain<uint16_t>::get(cell, 1);
  if (count == 0xFFFF) return;
  ++count;
  float mean = Plain<float>::get(cell, 0);
  mean += (float(F::of(p)) - mean) / float(count);
  Plain<float>::put(cell, 0, mean);
  Plain<uint16_t>::put(cell, 1, count);
}

bool get_average(const LAScell& cell, int32_t& value, int32_t) {
  if (Plain<uint16_t>::get(cell, 1) == 0) return false;
  value = round_half_away(Plain<float>::get(cell, 0));
  return true;
}

// standard deviation: components (f32 mean, f32 sum of squares), u16 count; running update.
template <class F>
void add_stddev(const LAScell& cell, const LAScellPoint& p, const LAScellContext&) {
  uint16_t count = Plain<uint16_t>::get(cell, 1);
  if (count == 0xFFFF) return;
  ++count;
  uint8_t* e = element(cell, 0, 8);
  const float v = float(F::of(p));
  if (count == 1) {
    store<float>(e, v);
    store<float>(e + 4, 0.0f);
  } else {
    const float mean = load<float>(e);
    const float new_mean = mean + (v - mean) / float(count);
    const float sum = load<float>(e + 4) + (v - new_mean) * (v - mean);
    store<float>(e, new_mean);
    store<float>(e + 4, sum);
  }
  Plain<uint16_t>::put(cell, 1, count);
}

// With selectors: 0 deviation, 1 variance, 2 mean, other the count.
template <bool kSelectors>
bool get_stddev(const LAScell& cell, int32_t& value, int32_t selector) {
  const uint16_t count = Plain<uint16_t>::get(cell, 1);
  if (count == 0) return false;
  const uint8_t* e = element(cell, 0, 8);
  const double variance = count == 1 ? 0.0 : double(load<float>(e + 4)) / (count - 1);
  switch (kSelectors ? selector : 0) {
    case 0:
      value = round_half_away(std::sqrt(variance));
      break;
    case 1:
      value = round_half_away(variance);
      break;
    case 2:
      value = round_half_away(load<float>(e));
      break;
    default:
      value = count;
      break;
  }
  return true;
}

// lowest with index: components Z, index, presence.
void add_lowest_index(const LAScell& cell, const LAScellPoint& p, const LAScellContext& context) {
  if (!bit(cell, 2) || p.Z < Plain<int32_t>::get(cell, 0)) {
    Plain<int32_t>::put(cell, 0, p.Z);
    Plain<int32_t>::put(cell, 1, context.current_index);
    set_bit(cell, 2);
  }
}

bool get_lowest_index(const LAScell& cell, int32_t& value, int32_t selector) {
  if (!bit(cell, 2)) return false;
  value = Plain<int32_t>::get(cell, selector ? 1 : 0);
  return true;
}

// return type of the lowest / highest point: components Z, 2-bit type, presence.
template <bool kHighest>
void add_return_type(const LAScell& cell, const LAScellPoint& p, const LAScellContext&) {
  if (!bit(cell, 2) ||
      (kHighest ? p.Z > Plain<int32_t>::get(cell, 0) : p.Z < Plain<int32_t>::get(cell, 0))) {
    const int rn = p.return_number & 7;
    const int nr = p.number_of_returns & 7;
    Plain<int32_t>::put(cell, 0, p.Z);
    Crumb<false>::put(cell, 1, uint8_t(2 * (rn >= nr) + (rn <= 1)));
    set_bit(cell, 2);
  }
}

bool get_return_type(const LAScell& cell, int32_t& value, int32_t) {
  if (!bit(cell, 2)) return false;
  value = Crumb<false>::get(cell, 1);
  return true;
}

// counters saturate: a full counter ignores further points.
template <class S, uint32_t kMax>
void add_counter(const LAScell& cell, const LAScellPoint&, const LAScellContext&) {
  const auto count = S::get(cell, 0);
  if (count < kMax) S::put(cell, 0, static_cast<typename S::type>(count + 1));
}

template <class S>
bool get_counter(const LAScell& cell, int32_t& value, int32_t) {
  const auto count = S::get(cell, 0);
  value = int32_t(count);
  return count != 0;
}

// Pairs of counters keep their ratio when one fills up: it drops to half its range and the
// other is halved before the count goes on.
template <class T>
inline void count_in_pair(T& counter, T& other) {
  constexpr T kMax = std::numeric_limits<T>::max();
  if (counter == kMax) {
    counter = kMax / 2;
    other = T(other >> 1);
  }
  ++counter;
}

// counter quotient: (single returns, first returns).
template <class T>
void add_counter_quotient(const LAScell& cell, const LAScellPoint& p, const LAScellContext&) {
  uint8_t* e = element(cell, 0, 2 * sizeof(T));
  T first = load<T>(e);
  T second = load<T>(e + sizeof(T));
  if ((p.number_of_returns & 7) == 1) count_in_pair(first, second);
  if ((p.return_number & 7) == 1) count_in_pair(second, first);
  store<T>(e, first);
  store<T>(e + sizeof(T), second);
}

template <class T>
bool get_counter_quotient(const LAScell& cell, int32_t& value, int32_t) {
  constexpr uint32_t kMax = std::numeric_limits<T>::max();
  const uint8_t* e = element(cell, 0, 2 * sizeof(T));
  const uint32_t first = load<T>(e);
  const uint32_t second = load<T>(e + sizeof(T));
  if (second == 0) {
    if (first == 0) return false;
    value = int32_t(kMax);
  } else if (first >= second) {
    value = int32_t(kMax);
  } else {
    value = int32_t(uint64_t(first) * kMax / second);
  }
  return true;
}

// class quotient: (points of the class of interest, all others).
template <class T>
void add_class_quotient(const LAScell& cell, const LAScellPoint& p, const LAScellContext& context) {
  uint8_t* e = element(cell, 0, 2 * sizeof(T));
  T first = load<T>(e);
  T second = load<T>(e + sizeof(T));
  const int32_t cls =
      p.extended_classification ? p.extended_classification : (p.classification & 31);
  if (cls == context.class_of_interest) {
    count_in_pair(first, second);
  } else {
    count_in_pair(second, first);
  }
  store<T>(e, first);
  store<T>(e + sizeof(T), second);
}

template <class T>
bool get_class_quotient(const LAScell& cell, int32_t& value, int32_t) {
  constexpr uint32_t kMax = std::numeric_limits<T>::max();
  const uint8_t* e = element(cell, 0, 2 * sizeof(T));
  const uint32_t first = load<T>(e);
  const uint32_t second = load<T>(e + sizeof(T));
  if (second == 0) {
    if (first == 0) return false;
    value = int32_t(kMax);
  } else {
    value = int32_t(uint64_t(first) * kMax / (first + second));
  }
  return true;
}

inline int popcount32(uint32_t v) {
  return __builtin_popcount(v);
}

void add_class_variety(const LAScell& cell, const LAScellPoint& p, const LAScellContext&) {
  Plain<uint32_t>::put(cell, 0, Plain<uint32_t>::get(cell, 0) | (1u << (p.classification & 31)));
}

bool get_class_variety(const LAScell& cell, int32_t& value, int32_t) {
  value = popcount32(Plain<uint32_t>::get(cell, 0));
  return value != 0;
}

void add_extended_class_variety(const LAScell& cell, const LAScellPoint& p, const LAScellContext&) {
  uint8_t* word = element(cell, 0, 32) + (p.extended_classification >> 5) * 4;
  store<uint32_t>(word, load<uint32_t>(word) | (1u << (p.extended_classification & 31)));
}

bool get_extended_class_variety(const LAScell& cell, int32_t& value, int32_t) {
  const uint8_t* mask = element(cell, 0, 32);
  value = 0;
  for (int i = 0; i < 8; ++i) value += popcount32(load<uint32_t>(mask + 4 * i));
  return value != 0;
}

// first colour: components (red, green, blue) low bytes, presence.
void add_first_colour(const LAScell& cell, const LAScellPoint& p, const LAScellContext&) {
  if (bit(cell, 1)) return;
  uint8_t* e = element(cell, 0, 3);
  for (int i = 0; i < 3; ++i) e[i] = uint8_t(p.rgb[i] & 0xFF);
  set_bit(cell, 1);
}

bool get_first_colour(const LAScell& cell, int32_t& value, int32_t) {
  if (!bit(cell, 1)) return false;
  const uint8_t* e = element(cell, 0, 3);
  value = int32_t((uint32_t(e[0]) << 16) | (uint32_t(e[1]) << 8) | e[2]);
  return true;
}

void add_occupancy(const LAScell& cell, const LAScellPoint&, const LAScellContext&) {
  set_bit(cell, 0);
}

bool get_occupancy(const LAScell& cell, int32_t& value, int32_t) {
  value = bit(cell, 0) ? 1 : 0;
  return value != 0;
}

// value: components index, presence; the last add wins.
void add_value(const LAScell& cell, const LAScellPoint&, const LAScellContext& context) {
  Plain<int32_t>::put(cell, 0, context.current_index);
  set_bit(cell, 1);
}

// random point: components raw (X, Y, Z), u16 count; reservoir sampling with the runtime's
// 15-bit generator, whose low bits are poor, hence the shift while counts are small.
void add_random(const LAScell& cell, const LAScellPoint& p, const LAScellContext&) {
  uint16_t count = Plain<uint16_t>::get(cell, 1);
  bool keep;
  if (count == 0) {
    count = 1;
    keep = true;
  } else if (count < 2047) {
    ++count;
    keep = ((crt_rand() >> 4) % count) == 0;
  } else if (count < 32767) {
    ++count;
    keep = (crt_rand() % count) == 0;
  } else {
    keep = (crt_rand() % 32767) == 0;
  }
  Plain<uint16_t>::put(cell, 1, count);
  if (keep) {
    uint8_t* e = element(cell, 0, 12);
    store<int32_t>(e, p.X);
    store<int32_t>(e + 4, p.Y);
    store<int32_t>(e + 8, p.Z);
  }
}

bool get_random(const LAScell& cell, int32_t& value, int32_t selector) {
  if (Plain<uint16_t>::get(cell, 1) == 0 || selector < 0 || selector > 2) return false;
  value = load<int32_t>(element(cell, 0, 12) + 4 * selector);
  return true;
}

// mean offset from the cell centre: components (f32 mean x, y, z, u32 count).
void add_mean_xyz(const LAScell& cell, const LAScellPoint& p, const LAScellContext& context) {
  uint8_t* e = element(cell, 0, 16);
  uint32_t count = load<uint32_t>(e + 12);
  if (count == 0xFFFFFFFFu) return;
  ++count;
  const double x = p.get_x();
  const double y = p.get_y();
  const double z = p.get_z();
  const float d[3] = {float(x - cell_center(x, context.step_x)),
                      float(y - cell_center(y, context.step_y)),
                      float(z - cell_center_z(z, context.step_z))};
  for (int i = 0; i < 3; ++i) {
    float mean = load<float>(e + 4 * i);
    mean += (d[i] - mean) / float(count);
    store<float>(e + 4 * i, mean);
  }
  store<uint32_t>(e + 12, count);
}

bool get_mean_xyz(const LAScell& cell, int32_t& value, int32_t selector) {
  const uint8_t* e = element(cell, 0, 16);
  if (load<uint32_t>(e + 12) == 0 || selector < 0 || selector > 3) return false;
  value = load<int32_t>(e + 4 * selector);
  return true;
}

struct KeywordRow {
  const char* family;
  const char* any[4];      // one of them must occur; none listed: always
  const char* also;        // must occur too, or null
  bool bare_family;        // the keyword being exactly the family word also selects the row
  bool class_of_interest;  // "_1_" ... "_8_" name the class of interest
  LAScellType type;
};

template <class S>
constexpr LAScellGetFunction kGetStored = get_stored<S>;

// Families in the order they are tested; inside a family, the first matching row wins.
const KeywordRow kKeywordRows[] = {
    {"counter",
     {"quotient"},
     "16bit",
     false,
     false,
     {"counter quotient 16bit",
      add_counter_quotient<uint16_t>,
      get_counter_quotient<uint16_t>,
      {32}}},
    {"counter",
     {"quotient"},
     nullptr,
     false,
     false,
     {"counter quotient 8bit", add_counter_quotient<uint8_t>, get_counter_quotient<uint8_t>, {16}}},
    {"counter",
     {"16bit"},
     nullptr,
     false,
     false,
     {"counter 16bit", add_counter<Plain<uint16_t>, 0xFFFF>, get_counter<Plain<uint16_t>>, {16}}},
    {"counter",
     {"32bit"},
     nullptr,
     false,
     false,
     {"counter 32bit",
      add_counter<Plain<uint32_t>, 0xFFFFFFFF>,
      get_counter<Plain<uint32_t>>,
      {32}}},
    {"counter",
     {"2bit"},
     nullptr,
     false,
     false,
     {"counter 2bit", add_counter<Crumb<true>, 3>, get_counter<Crumb<true>>, {2}}},
    {"counter",
     {"4bit"},
     nullptr,
     false,
     false,
     {"counter 4bit", add_counter<Nibble, 15>, get_counter<Nibble>, {4}}},
    {"counter",
     {},
     nullptr,
     false,
     false,
     {"counter 8bit", add_counter<Plain<uint8_t>, 255>, get_counter<Plain<uint8_t>>, {8}}},

    {"elevation",
     {"highest", "max"},
     nullptr,
     false,
     false,
     {"elevation highest",
      add_extreme<FieldZ, Plain<int32_t>, true>,
      kGetStored<Plain<int32_t>>,
      {32, 1}}},
    {"elevation",
     {"average", "avg", "mean"},
     nullptr,
     false,
     false,
     {"elevation average", add_average<FieldZ>, get_average, {32, 16}}},
    {"elevation",
     {"stddev", "std"},
     nullptr,
     false,
     false,
     {"elevation stddev", add_stddev<FieldZ>, get_stddev<true>, {64, 16}}},
    {"elevation",
     {"range"},
     nullptr,
     false,
     false,
     {"elevation range", add_range<FieldZ, int32_t>, get_range<int32_t>, {32, 32, 1}}},
    {"elevation",
     {"index"},
     nullptr,
     false,
     false,
     {"elevation lowest index", add_lowest_index, get_lowest_index, {32, 32, 1}}},
    {"elevation",
     {},
     nullptr,
     false,
     false,
     {"elevation lowest",
      add_extreme<FieldZ, Plain<int32_t>, false>,
      kGetStored<Plain<int32_t>>,
      {32, 1}}},

    {"intensity",
     {"lowest", "min"},
     nullptr,
     false,
     false,
     {"intensity lowest",
      add_extreme<FieldIntensity, Plain<uint16_t>, false>,
      kGetStored<Plain<uint16_t>>,
      {16, 1}}},
    {"intensity",
     {"average", "avg", "mean"},
     nullptr,
     false,
     false,
     {"intensity average", add_average<FieldIntensity>, get_average, {32, 16}}},
    {"intensity",
     {"stddev", "std"},
     nullptr,
     false,
     false,
     {"intensity stddev", add_stddev<FieldIntensity>, get_stddev<false>, {64, 16}}},
    {"intensity",
     {"range"},
     nullptr,
     false,
     false,
     {"intensity range", add_range<FieldIntensity, uint16_t>, get_range<uint16_t>, {16, 16, 1}}},
    {"intensity",
     {},
     nullptr,
     false,
     false,
     {"intensity highest",
      add_extreme<FieldIntensity, Plain<uint16_t>, true>,
      kGetStored<Plain<uint16_t>>,
      {16, 1}}},

    {"xyz_random", {}, nullptr, false, false, {"xyz random", add_random, get_random, {96, 16}}},

    {"scan_angle",
     {"highest_abs", "abs_highest", "max_abs", "abs_max"},
     nullptr,
     false,
     false,
     {"scan_angle highest abs",
      add_extreme<FieldScanAngleAbs, Plain<uint8_t>, true>,
      kGetStored<Plain<uint8_t>>,
      {8, 1}}},
    {"scan_angle",
     {"average_abs", "abs_average", "avg_abs", "abs_avg"},
     nullptr,
     false,
     false,
     {"scan_angle average abs", add_average<FieldScanAngleAbs>, get_average, {32, 16}}},
    {"scan_angle",
     {"highest", "max"},
     nullptr,
     false,
     false,
     {"scan_angle highest",
      add_extreme<FieldScanAngle, Plain<int8_t>, true>,
      kGetStored<Plain<int8_t>>,
      {8, 1}}},
    {"scan_angle",
     {"abs"},
     nullptr,
     false,
     false,
     {"scan_angle lowest abs",
      add_extreme<FieldScanAngleAbs, Plain<uint8_t>, false>,
      kGetStored<Plain<uint8_t>>,
      {8, 1}}},
    {"scan_angle",
     {"range"},
     nullptr,
     false,
     false,
     {"scan_angle range", add_range<FieldScanAngle, int8_t>, get_range<int8_t>, {8, 8, 1}}},
    {"scan_angle",
     {},
     nullptr,
     false,
     false,
     {"scan_angle lowest",
      add_extreme<FieldScanAngle, Plain<int8_t>, false>,
      kGetStored<Plain<int8_t>>,
      {8, 1}}},

    {"user_data",
     {"lowest", "min"},
     nullptr,
     false,
     false,
     {"user_data lowest",
      add_extreme<FieldUserData, Plain<uint8_t>, false>,
      kGetStored<Plain<uint8_t>>,
      {8, 1}}},
    {"user_data",
     {"average", "avg", "mean"},
     nullptr,
     false,
     false,
     {"user_data average", add_average<FieldUserData>, get_average, {32, 16}}},
    {"user_data",
     {"stddev", "std"},
     nullptr,
     false,
     false,
     {"user_data stddev", add_stddev<FieldUserData>, get_stddev<false>, {64, 16}}},
    {"user_data",
     {"range"},
     nullptr,
     false,
     false,
     {"user_data range", add_range<FieldUserData, uint8_t>, get_range<uint8_t>, {8, 8, 1}}},
    {"user_data",
     {},
     nullptr,
     false,
     false,
     {"user_data highest",
      add_extreme<FieldUserData, Plain<uint8_t>, true>,
      kGetStored<Plain<uint8_t>>,
      {8, 1}}},

    {"point_source",
     {"lowest", "min"},
     nullptr,
     false,
     false,
     {"point_source lowest",
      add_extreme<FieldPointSource, Plain<uint16_t>, false>,
      kGetStored<Plain<uint16_t>>,
      {16, 1}}},
    {"point_source",
     {"range"},
     nullptr,
     false,
     false,
     {"point_source range",
      add_range<FieldPointSource, uint16_t>,
      get_range<uint16_t>,
      {16, 16, 1}}},
    {"point_source",
     {},
     nullptr,
     false,
     false,
     {"point_source highest",
      add_extreme<FieldPointSource, Plain<uint16_t>, true>,
      kGetStored<Plain<uint16_t>>,
      {16, 1}}},

    {"gps_time",
     {"lowest", "min"},
     nullptr,
     false,
     false,
     {"gps_time lowest",
      add_extreme<FieldGpsTime, Plain<double>, false>,
      kGetStored<Plain<double>>,
      {64, 1}}},
    {"gps_time",
     {"range"},
     nullptr,
     false,
     false,
     {"gps_time range", add_range<FieldGpsTime, double>, get_range<double>, {64, 64, 1}}},
    {"gps_time",
     {},
     nullptr,
     false,
     false,
     {"gps_time highest",
      add_extreme<FieldGpsTime, Plain<double>, true>,
      kGetStored<Plain<double>>,
      {64, 1}}},

    {"number_returns",
     {"lowest", "min"},
     nullptr,
     false,
     false,
     {"number_returns lowest",
      add_extreme<FieldReturns, Nibble, false>,
      kGetStored<Nibble>,
      {4, 1}}},
    {"number_returns",
     {"highest", "max"},
     nullptr,
     false,
     false,
     {"number_returns highest",
      add_extreme<FieldReturns, Nibble, true>,
      kGetStored<Nibble>,
      {4, 1}}},
    {"number_returns",
     {"stddev", "std"},
     nullptr,
     false,
     false,
     {"number_returns stddev", add_stddev<FieldReturnsTimesTen>, get_stddev<false>, {64, 16}}},
    {"number_returns",
     {},
     nullptr,
     false,
     false,
     {"number_returns average", add_average<FieldReturns>, get_average, {32, 16}}},

    {"return_type",
     {"lowest", "min"},
     nullptr,
     false,
     false,
     {"return_type lowest", add_return_type<false>, get_return_type, {32, 2, 1}}},
    {"return_type",
     {"highest", "max"},
     nullptr,
     true,
     false,
     {"return_type highest", add_return_type<true>, get_return_type, {32, 2, 1}}},

    {"rgb", {}, nullptr, false, false, {"rgb first", add_first_colour, get_first_colour, {24, 1}}},

    {"occupancy", {}, nullptr, false, false, {"occupancy", add_occupancy, get_occupancy, {1}}},

    {"classification",
     {"variety"},
     "extended_classification",
     false,
     false,
     {"extended_classification variety",
      add_extended_class_variety,
      get_extended_class_variety,
      {256}}},
    {"classification",
     {"variety"},
     nullptr,
     false,
     false,
     {"classification variety", add_class_variety, get_class_variety, {32}}},
    {"classification",
     {"quotient"},
     "16bit",
     false,
     true,
     {"classification quotient 16bit",
      add_class_quotient<uint16_t>,
      get_class_quotient<uint16_t>,
      {32}}},
    {"classification",
     {"quotient"},
     nullptr,
     false,
     true,
     {"classification quotient 8bit",
      add_class_quotient<uint8_t>,
      get_class_quotient<uint8_t>,
      {16}}},
    {"classification",
     {"majority"},
     "16bit",
     false,
     false,
     {"counter 16bit", add_counter<Plain<uint16_t>, 0xFFFF>, get_counter<Plain<uint16_t>>, {16}}},
    {"classification",
     {"majority"},
     "32bit",
     false,
     false,
     {"counter 32bit",
      add_counter<Plain<uint32_t>, 0xFFFFFFFF>,
      get_counter<Plain<uint32_t>>,
      {32}}},
    {"classification",
     {"majority"},
     nullptr,
     false,
     false,
     {"counter 8bit", add_counter<Plain<uint8_t>, 255>, get_counter<Plain<uint8_t>>, {8}}},

    {"value", {}, nullptr, false, false, {"value", add_value, kGetStored<Plain<int32_t>>, {32, 1}}},

    {"mean_xyz", {}, nullptr, false, false, {"mean_xyz", add_mean_xyz, get_mean_xyz, {128}}},
};

bool row_matches(const KeywordRow& row, const char* keyword) {
  if (row.bare_family && std::strcmp(keyword, row.family) == 0) return true;
  if (row.also && !std::strstr(keyword, row.also)) return false;
  if (!row.any[0]) return true;
  for (const char* word : row.any) {
    if (word && std::strstr(keyword, word)) return true;
  }
  return false;
}

}  // namespace

bool find_cell_type(const char* keyword, LAScellType& type, int32_t& class_of_interest) {
  if (!keyword) return false;
  const char* family = nullptr;
  for (const KeywordRow& row : kKeywordRows) {
    if (std::strstr(keyword, row.family)) {
      family = row.family;
      break;
    }
  }
  if (!family) return false;
  for (const KeywordRow& row : kKeywordRows) {
    if (std::strcmp(row.family, family) != 0 || !row_matches(row, keyword)) continue;
    type = row.type;
    if (row.class_of_interest) {
      class_of_interest = 0;
      static const char* const kClassWords[] = {"_1_", "_2_", "_3_", "_4_",
                                                "_5_", "_6_", "_7_", "_8_"};
      for (int c = 0; c < 8; ++c) {
        if (std::strstr(keyword, kClassWords[c])) {
          class_of_interest = c + 1;
          break;
        }
      }
    }
    return true;
  }
  return false;
}

double cell_center(double coordinate, double step) {
  return (std::floor(coordinate / step) + 0.5) * step;
}

double cell_center_z(double coordinate, double step) {
  if (step == 2e307) return 0.0;
  return cell_center(coordinate, step);
}
