#ifndef POINTLIB_FILTER_LAS_OPERATION_HPP
#define POINTLIB_FILTER_LAS_OPERATION_HPP

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/las_attributes.hpp"
#include "core/las_point.hpp"
#include "filter/las_criterion.hpp"
#include "filter/option_args.hpp"
#include "filter/point_fields.hpp"

// Conversions of the transform. Every conversion of a computed double to an
// integer field goes through these, so that a NaN or an infinity (a register
// divided by zero, say) never reaches a cast.
namespace transform_math {

// The low 64 bits of the truncation of v toward zero, for any finite v (the
// remainder by 2^64 is exact in floating point); false for NaN and infinities.
inline bool truncate_wrap(double v, uint64_t* bits) {
  if (!std::isfinite(v)) return false;
  if (v > -9223372036854775808.0 && v < 9223372036854775808.0) {
    *bits = static_cast<uint64_t>(static_cast<int64_t>(v));
    return true;
  }
  const uint64_t low = static_cast<uint64_t>(std::fmod(std::fabs(v), 18446744073709551616.0));
  *bits = v < 0.0 ? 0 - low : low;
  return true;
}

// Rounds half away from zero into the low 64 bits; false when v is not finite.
inline bool round_wrap(double v, uint64_t* bits) {
  return truncate_wrap(v >= 0.0 ? v + 0.5 : v - 0.5, bits);
}

// Quantizes coordinate c: the rounded quotient (c - offset) / scale, wrapped
// into the 32-bit field. Returns false when the quotient lies outside the
// signed 32-bit range (the wrapped value is still stored) or is not a number
// at all (the field keeps its value).
inline bool quantize(double c, double scale, double offset, int32_t* raw) {
  const double q = (c - offset) / scale;
  const double r = c >= offset ? q + 0.5 : q - 0.5;
  uint64_t bits;
  if (!truncate_wrap(r, &bits)) return false;
  *raw = static_cast<int32_t>(static_cast<uint32_t>(bits));
  const double t = std::trunc(r);
  return t >= -2147483648.0 && t <= 2147483647.0;
}

// v <= 0 gives 0 (so does NaN), v >= max gives max, otherwise the truncation.
template <typename T>
inline uint32_t clamp_to(T v, uint32_t max) {
  if (!(v > 0)) return 0;
  if (v >= static_cast<T>(max)) return max;
  return static_cast<uint32_t>(v);
}
template <typename T>
inline uint16_t clamp16(T v) {
  return static_cast<uint16_t>(clamp_to(v, 65535));
}
template <typename T>
inline uint8_t clamp8(T v) {
  return static_cast<uint8_t>(clamp_to(v, 255));
}

// The legacy scan angle: rounded half away from zero, limited to -128..127.
inline int8_t rank(double v) {
  if (!(v == v)) return 0;
  if (v >= 127.0) return 127;
  if (v <= -128.0) return -128;
  return static_cast<int8_t>(v >= 0.0 ? v + 0.5 : v - 0.5);
}

}  // namespace transform_math

// The point fields that operations change, axis by axis (0 x, 1 y, 2 z).
namespace transform_field {

template <int AXIS>
inline int32_t& raw(LASpoint* p) {
  return AXIS == 0 ? p->X : (AXIS == 1 ? p->Y : p->Z);
}
template <int AXIS>
inline double scale(const LASpoint* p) {
  return AXIS == 0 ? p->quantizer->x_scale_factor
                   : (AXIS == 1 ? p->quantizer->y_scale_factor : p->quantizer->z_scale_factor);
}
template <int AXIS>
inline double offset(const LASpoint* p) {
  return AXIS == 0 ? p->quantizer->x_offset
                   : (AXIS == 1 ? p->quantizer->y_offset : p->quantizer->z_offset);
}
template <int AXIS>
inline double coordinate(LASpoint* p) {
  return scale<AXIS>(p) * raw<AXIS>(p) + offset<AXIS>(p);
}
// Quantizes c into the axis; false on a 32-bit overflow.
template <int AXIS>
inline bool set_coordinate(LASpoint* p, double c) {
  return transform_math::quantize(c, scale<AXIS>(p), offset<AXIS>(p), &raw<AXIS>(p));
}
// Raw additions wrap around, done in unsigned arithmetic on purpose.
inline int32_t add_wrap(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// "Set class": the extended class takes c, the 5-bit class c below 32 and 0
// otherwise; the legacy flag bits stay.
inline void set_class(LASpoint* p, uint8_t c) {
  p->extended_classification = c;
  p->set_classification(c < 32 ? c : 0);
}

inline double attribute_value(const LASpoint* p, uint32_t index) {
  return filter_field::attribute_value(p, index);
}
// Stores through the point's attribute table; nothing without a table, past
// its end or outside the point's extra bytes.
inline void attribute_store(LASpoint* p, uint32_t index, double v) {
  const LASattributeTable* table = p->attributer;
  if (table == nullptr || index > static_cast<uint32_t>(INT32_MAX)) return;
  table->set_value(*p, static_cast<int32_t>(index), v);
}

}  // namespace transform_field

// One per-point operation of the transform.
class LASoperation {
 public:
  // Times a quantized coordinate fell outside the signed 32-bit range.
  int64_t overflow = 0;

  virtual ~LASoperation() = default;
  // The option word without its leading '-'.
  virtual const char* option_name() const = 0;
  // Writes the operation as option text ("-word arg arg ", every item followed
  // by one blank) and returns the number of characters written.
  virtual int write_option_text(char* buffer) const = 0;
  // Field-mask bits of the fields the operation reads or writes.
  virtual uint32_t needed_fields_mask() const { return 0; }
  virtual void apply(LASpoint* point) = 0;
  // Prepares the operation for the next input file.
  virtual void restart() { overflow = 0; }
  // Upper bound of what write_option_text writes, so that a caller can size
  // its buffer (room for eight numeric items by default).
  virtual size_t option_text_bound() const {
    return strlen(option_name()) + 8 + 8 * OPTION_TEXT_ITEM_MAX;
  }

 protected:
  // Quantized stores that count overflows.
  template <int AXIS>
  void set_counted(LASpoint* p, double c) {
    if (!transform_field::set_coordinate<AXIS>(p, c)) overflow++;
  }
};

// Kinds of parameters: the stored type and how the option text writes it.
struct Lf {  // double, "%lf"
  using type = double;
  static int write(char* b, double v) { return option_text_double(b, v); }
};
struct Gd {  // double, "%g"
  using type = double;
  static int write(char* b, double v) { return option_text_double_g(b, v); }
};
struct Gf {  // float, "%g"
  using type = float;
  static int write(char* b, float v) { return option_text_float(b, v); }
};
struct Ff {  // float, "%f"
  using type = float;
  static int write(char* b, float v) { return option_text_float_f(b, v); }
};
template <typename T>
struct Dec {  // integer, "%d" or "%u"
  using type = T;
  static int write(char* b, T v) { return option_text_int(b, v); }
};
using I32 = Dec<int32_t>;
using U32 = Dec<uint32_t>;
using U16 = Dec<uint16_t>;
using U8 = Dec<uint8_t>;

// The parameters p0, p1, ... of an operation, in the order of its text.
template <typename... K>
struct OpParams;
template <>
struct OpParams<> {
  int write(char*) const { return 0; }
};
template <typename A>
struct OpParams<A> {
  typename A::type p0;
  int write(char* b) const { return A::write(b, p0); }
};
template <typename A, typename B>
struct OpParams<A, B> {
  typename A::type p0;
  typename B::type p1;
  int write(char* b) const {
    int n = A::write(b, p0);
    return n + B::write(b + n, p1);
  }
};
template <typename A, typename B, typename C>
struct OpParams<A, B, C> {
  typename A::type p0;
  typename B::type p1;
  typename C::type p2;
  int write(char* b) const {
    int n = A::write(b, p0);
    n += B::write(b + n, p1);
    return n + C::write(b + n, p2);
  }
};
template <typename A, typename B, typename C, typename D>
struct OpParams<A, B, C, D> {
  typename A::type p0;
  typename B::type p1;
  typename C::type p2;
  typename D::type p3;
  int write(char* b) const {
    int n = A::write(b, p0);
    n += B::write(b + n, p1);
    n += C::write(b + n, p2);
    return n + D::write(b + n, p3);
  }
};

// Base of the operations whose state is their parameters.
template <typename... K>
class LASoperationWith : public LASoperation, protected OpParams<K...> {
 public:
  // How many parameters the option word takes, for the parser's rows.
  static constexpr size_t kParameters = sizeof...(K);

  explicit LASoperationWith(typename K::type... v) : OpParams<K...>{v...} {}
  int write_option_text(char* buffer) const override {
    const int n = option_text_name(buffer, option_name());
    return n + this->write(buffer + n);
  }
};

// Base of the operations that also use the transform's sixteen registers.
template <typename... K>
class LASoperationWithRegisters : public LASoperationWith<K...> {
 public:
  explicit LASoperationWithRegisters(double* registers, typename K::type... v)
      : LASoperationWith<K...>(v...), r(registers) {}

 protected:
  double* r;
};

#define PL_UNPAREN(...) __VA_ARGS__

// One row per operation: the class, its option word, its field mask, the
// kinds of its parameters p0, p1, ... and what it does to `point`.
#define PL_OPERATION_ON(BASE, CLASS, NAME, MASK, KINDS, ...)      \
  class CLASS final : public BASE<PL_UNPAREN KINDS> {             \
   public:                                                        \
    using BASE<PL_UNPAREN KINDS>::BASE;                           \
    const char* option_name() const override { return NAME; }     \
    uint32_t needed_fields_mask() const override { return MASK; } \
    void apply([[maybe_unused]] LASpoint* point) override {       \
      using namespace transform_field;                            \
      using namespace transform_math;                             \
      __VA_ARGS__                                                 \
    }                                                             \
  };

#define PL_OPERATION(CLASS, NAME, MASK, KINDS, ...) \
  PL_OPERATION_ON(LASoperationWith, CLASS, NAME, MASK, KINDS, __VA_ARGS__)
#define PL_REGISTER_OPERATION(CLASS, NAME, MASK, KINDS, ...) \
  PL_OPERATION_ON(LASoperationWithRegisters, CLASS, NAME, MASK, KINDS, __VA_ARGS__)

#endif  // POINTLIB_FILTER_LAS_OPERATION_HPP
