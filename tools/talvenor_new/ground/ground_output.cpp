#include "ground/ground_output.hpp"

#include <cmath>
#include <cstdio>

#include "core/las_point.hpp"
#include "core/las_scaler.hpp"
#include "ground/ground_estimate.hpp"
#include "platform/crt_random.hpp"

void set_ground_tool_class(LASpoint& point, uint8_t c) {
  point.set_classification(c);
  point.set_extended_classification(c);
}

uint8_t height_to_user_data(float height, float scale) {
  const float v = height * scale;
  const float n = v >= 0 ? std::trunc(v + 0.5f) : std::trunc(v - 0.5f);
  if (!(n >= 0)) return 0;  // negative, and NaN
  if (n > 255) return 255;
  return uint8_t(n);
}

int32_t height_to_raw_z(float height, double z_scale) {
  return int32_t(las_round_clamped(double(height) / z_scale, INT32_MIN, INT32_MAX));
}

bool ground_surface_z(float x, float y, double x_scale, double y_scale, TINlocation* hint,
                      float* z) {
  float position[3] = {x, y, 0.0f};
  TINlocation found;
  // A position that is a vertex has no triangle of its own; walk it off the vertex by small
  // irregular steps. Far fewer tries than this always suffice on a valid TIN.
  for (int tries = 0;; tries++) {
    tin_locate(&found, position, hint);
    *hint = found;
    if (found.triangle) break;
    if (tries == 100000) {
      std::fprintf(stderr, "ERROR: cannot move position %g %g off the TIN's vertices\n", double(x),
                   double(y));
      return false;
    }
    double a = 1.0, b = -1.1;
    for (;;) {
      const float cx = position[0] + float(a * x_scale);
      const float cy = position[1] + float(b * y_scale);
      if (crt_rand() & 0x800) {
        a *= -1.3;
        b *= 1.4;
      } else {
        a = b * -1.5;
        b = a * 1.7;
      }
      if (cx != position[0] || cy != position[1]) {
        position[0] = cx;
        position[1] = cy;
        break;
      }
    }
  }
  const TINtriangle* t = found.triangle;
  if (!t->v[0]) {
    const float dx1 = position[0] - t->v[1][0], dy1 = position[1] - t->v[1][1];
    const float dx2 = position[0] - t->v[2][0], dy2 = position[1] - t->v[2][1];
    const float d1 = std::sqrt(dx1 * dx1 + dy1 * dy1);
    const float d2 = std::sqrt(dx2 * dx2 + dy2 * dy2);
    *z = (d1 * t->v[2][2] + d2 * t->v[1][2]) / (d2 + d1);
    return true;
  }
  if (!ground_z_linear(t, position[0], position[1], z)) {
    std::fprintf(stderr, "ERROR: x %g coordinate not contained in x interval of two edges\n",
                 double(position[0]));
    return false;
  }
  return true;
}
