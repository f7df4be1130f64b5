#include "filter/operations_coordinates.hpp"

#include "platform/crt_random.hpp"

void LASoperationTranslateRawXYatRandom::apply(LASpoint* point) {
  crt_srand(seed);
  seed = static_cast<uint32_t>(crt_rand());
  // divisions and remainders on unsigned values, additions wrapping
  const uint32_t range_x = 2u * static_cast<uint32_t>(p0) + 1u;
  const uint32_t range_y = 2u * static_cast<uint32_t>(p1) + 1u;
  const uint32_t dx = (seed / 8u) % range_x - static_cast<uint32_t>(p0);
  const uint32_t dy = (seed / 64u) % range_y - static_cast<uint32_t>(p1);
  point->X = static_cast<int32_t>(static_cast<uint32_t>(point->X) + dx);
  point->Y = static_cast<int32_t>(static_cast<uint32_t>(point->Y) + dy);
}

namespace {
constexpr double ARC_SECOND = 4.84813681109536e-6;  // in radians

// Comma lists are written with every value in its "%lf" form unless that
// loses digits; the comma takes the place of the blank between values.
int write_comma_list(char* buffer, const char* name, const double* v, int n) {
  int len = option_text_name(buffer, name);
  for (int i = 0; i < n; i++) {
    len += option_text_double(buffer + len, v[i]);
    if (i + 1 < n) buffer[len - 1] = ',';
  }
  return len;
}
}  // namespace

LASoperationTransformAffine::LASoperationTransformAffine(double k, double w, double tx, double ty)
    : k(k),
      w(w),
      tx(tx),
      ty(ty),
      cos_w(std::cos(w * ARC_SECOND)),
      sin_w(std::sin(w * ARC_SECOND)) {}

int LASoperationTransformAffine::write_option_text(char* buffer) const {
  const double v[4] = {k, w, tx, ty};
  return write_comma_list(buffer, option_name(), v, 4);
}

void LASoperationTransformAffine::apply(LASpoint* point) {
  const double x = transform_field::coordinate<0>(point);
  const double y = transform_field::coordinate<1>(point);
  set_counted<0>(point, (x * cos_w + y * sin_w) * k + tx);
  set_counted<1>(point, (y * cos_w - x * sin_w) * k + ty);
}

LASoperationTransformHelmert::LASoperationTransformHelmert(const double v[7])
    : dx(v[0]),
      dy(v[1]),
      dz(v[2]),
      rx(v[3]),
      ry(v[4]),
      rz(v[5]),
      m(v[6]),
      rx_rad(v[3] * ARC_SECOND),
      ry_rad(v[4] * ARC_SECOND),
      rz_rad(v[5] * ARC_SECOND),
      scale(1.0 + v[6] * 1e-6) {}

int LASoperationTransformHelmert::write_option_text(char* buffer) const {
  const double v[7] = {dx, dy, dz, rx, ry, rz, m};
  return write_comma_list(buffer, option_name(), v, 7);
}

void LASoperationTransformHelmert::apply(LASpoint* point) {
  const double x = transform_field::coordinate<0>(point);
  const double y = transform_field::coordinate<1>(point);
  const double z = transform_field::coordinate<2>(point);
  set_counted<0>(point, (x - rz_rad * y + ry_rad * z) * scale + dx);
  set_counted<1>(point, (rz_rad * x + y - rx_rad * z) * scale + dy);
  set_counted<2>(point, (rx_rad * y - ry_rad * x + z) * scale + dz);
}
