#ifndef POINTLIB_CORE_LAS_SCALER_HPP
#define POINTLIB_CORE_LAS_SCALER_HPP

#include <cstdint>

// Rounds half away from zero into 64 bits, saturating at the ends instead of
// overflowing (NaN gives 0).
inline int64_t las_round_i64(double value) {
  if (!(value == value)) return 0;
  if (value >= 9223372036854775807.0) return INT64_MAX;
  if (value <= -9223372036854775808.0) return INT64_MIN;
  return value >= 0.0 ? static_cast<int64_t>(value + 0.5) : static_cast<int64_t>(value - 0.5);
}

// Rounds half away from zero into [lo, hi].
inline int64_t las_round_clamped(double value, int64_t lo, int64_t hi) {
  int64_t v = las_round_i64(value);
  return v < lo ? lo : (v > hi ? hi : v);
}

// Scale factors and offsets: coordinate = integer * scale + offset.
struct LASscaler {
  double x_scale_factor = 0.01;
  double y_scale_factor = 0.01;
  double z_scale_factor = 0.01;
  double x_offset = 0.0;
  double y_offset = 0.0;
  double z_offset = 0.0;

  double get_x(int32_t X) const { return x_scale_factor * X + x_offset; }
  double get_y(int32_t Y) const { return y_scale_factor * Y + y_offset; }
  double get_z(int32_t Z) const { return z_scale_factor * Z + z_offset; }
  // The rounded quotient in 64 bits, so that callers can see a coordinate
  // that does not fit the 32-bit field.
  int64_t get_X64(double x) const { return las_round_i64((x - x_offset) / x_scale_factor); }
  int64_t get_Y64(double y) const { return las_round_i64((y - y_offset) / y_scale_factor); }
  int64_t get_Z64(double z) const { return las_round_i64((z - z_offset) / z_scale_factor); }
  // The same, clamped to the 32-bit range of the stored field.
  int32_t get_X(double x) const { return clamp32(get_X64(x)); }
  int32_t get_Y(double y) const { return clamp32(get_Y64(y)); }
  int32_t get_Z(double z) const { return clamp32(get_Z64(z)); }

  static bool fits32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }
  static int32_t clamp32(int64_t v) {
    return static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v));
  }
};

#endif  // POINTLIB_CORE_LAS_SCALER_HPP
