#ifndef POINTLIB_FILTER_LAS_CRITERION_HPP
#define POINTLIB_FILTER_LAS_CRITERION_HPP

#include <cstdint>

#include "filter/point_fields.hpp"

// One keep/drop test of the point filter.
class LAScriterion {
 public:
  virtual ~LAScriterion() = default;
  // The option word without its leading '-'.
  virtual const char* option_name() const = 0;
  // Writes the criterion as option text ("-word arg arg ", every item followed
  // by one blank) and returns the number of characters written.
  virtual int write_option_text(char* buffer) const = 0;
  // Field-mask bits of the point fields that the test reads.
  virtual uint32_t needed_fields_mask() const { return 0; }
  // True when the point is to be dropped.
  virtual bool rejects(const LASpoint* point) = 0;
  // Back to the state before the first point of a file.
  virtual void restart() {}
};

// Field-mask bits shared with the transform and the selective decoder.
enum : uint32_t {
  FIELD_Z = 1,
  FIELD_CLASSIFICATION = 2,
  FIELD_FLAGS = 4,
  FIELD_INTENSITY = 8,
  FIELD_SCAN_ANGLE = 16,
  FIELD_USER_DATA = 32,
  FIELD_POINT_SOURCE = 64,
  FIELD_GPS_TIME = 128,
  FIELD_RGB = 256,
  FIELD_NIR = 512,
  FIELD_WAVEPACKET = 1024,
  FIELD_EXTRA_BYTES = 0xFFFF0000u
};

// Writers of option-text items: each writes the item and one blank and returns
// the number of characters. Numbers are written in the option's customary form
// ("%lf" for doubles, "%g" for floats) whenever that form reads back to the
// same value, and with just enough more digits otherwise, so that an option
// text always rebuilds the same filter.
int option_text_name(char* buffer, const char* name);
int option_text_double(char* buffer, double value);
int option_text_float(char* buffer, float value);
int option_text_int(char* buffer, int64_t value);

inline int option_text_item(char* b, double v) {
  return option_text_double(b, v);
}
inline int option_text_item(char* b, float v) {
  return option_text_float(b, v);
}
inline int option_text_item(char* b, int32_t v) {
  return option_text_int(b, v);
}
inline int option_text_item(char* b, uint32_t v) {
  return option_text_int(b, v);
}
inline int option_text_item(char* b, uint16_t v) {
  return option_text_int(b, v);
}
inline int option_text_item(char* b, uint8_t v) {
  return option_text_int(b, v);
}

// Base of the criteria whose state is N parameters of one type, written back
// in order after the option word.
template <typename T, int N>
class LAScriterionParams : public LAScriterion {
 public:
  template <typename... A>
  explicit LAScriterionParams(A... values) : p{static_cast<T>(values)...} {
    static_assert(sizeof...(A) == N, "one value per parameter");
  }
  int write_option_text(char* buffer) const override {
    int n = option_text_name(buffer, option_name());
    for (int i = 0; i < N; i++) n += option_text_item(buffer + n, p[i]);
    return n;
  }
  const T* params() const { return p; }

 protected:
  T p[N];
};

template <typename T>
class LAScriterionParams<T, 0> : public LAScriterion {
 public:
  int write_option_text(char* buffer) const override {
    return option_text_name(buffer, option_name());
  }
};

// Range tests: a minimum is inclusive; half-open ranges exclude the maximum,
// closed ranges include it.
template <typename V, typename T>
inline bool in_half_open(V v, T min, T max) {
  return min <= v && v < max;
}
template <typename V, typename T>
inline bool in_closed(V v, T min, T max) {
  return min <= v && v <= max;
}

// One row per criterion: the class, its option word, the type and count of
// its parameters (p[0], p[1], ...), the field mask and the condition under
// which it drops the point.
#define PL_CRITERION(CLASS, NAME, T, N, MASK, DROPS)              \
  class CLASS final : public LAScriterionParams<T, N> {           \
   public:                                                        \
    using LAScriterionParams<T, N>::LAScriterionParams;           \
    const char* option_name() const override { return NAME; }     \
    uint32_t needed_fields_mask() const override { return MASK; } \
    bool rejects(const LASpoint* point) override {                \
      using namespace filter_field;                               \
      return DROPS;                                               \
    }                                                             \
  };

#endif  // POINTLIB_FILTER_LAS_CRITERION_HPP
