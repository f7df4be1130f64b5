#ifndef POINTLIB_FILTER_CRITERIA_COORDINATES_HPP
#define POINTLIB_FILTER_CRITERIA_COORDINATES_HPP

#include "filter/las_criterion.hpp"

// Scaled coordinates: a minimum is inclusive, a maximum exclusive, so that
// adjacent tiles share no point.
PL_CRITERION(LAScriterionKeepx, "keep_x", double, 2, 0, !in_half_open(x(point), p[0], p[1]))
PL_CRITERION(LAScriterionDropx, "drop_x", double, 2, 0, in_half_open(x(point), p[0], p[1]))
PL_CRITERION(LAScriterionKeepy, "keep_y", double, 2, 0, !in_half_open(y(point), p[0], p[1]))
PL_CRITERION(LAScriterionDropy, "drop_y", double, 2, 0, in_half_open(y(point), p[0], p[1]))
PL_CRITERION(LAScriterionKeepz, "keep_z", double, 2, FIELD_Z, !in_half_open(z(point), p[0], p[1]))
PL_CRITERION(LAScriterionDropz, "drop_z", double, 2, FIELD_Z, in_half_open(z(point), p[0], p[1]))
PL_CRITERION(LAScriterionDropxBelow, "drop_x_below", double, 1, 0, x(point) < p[0])
PL_CRITERION(LAScriterionDropxAbove, "drop_x_above", double, 1, 0, x(point) >= p[0])
PL_CRITERION(LAScriterionDropyBelow, "drop_y_below", double, 1, 0, y(point) < p[0])
PL_CRITERION(LAScriterionDropyAbove, "drop_y_above", double, 1, 0, y(point) >= p[0])
PL_CRITERION(LAScriterionDropzBelow, "drop_z_below", double, 1, FIELD_Z, z(point) < p[0])
PL_CRITERION(LAScriterionDropzAbove, "drop_z_above", double, 1, FIELD_Z, z(point) >= p[0])
// p: min_x, min_y, max_x, max_y
PL_CRITERION(LAScriterionKeepxy, "keep_xy", double, 4, 0,
             !(in_half_open(x(point), p[0], p[2]) && in_half_open(y(point), p[1], p[3])))
PL_CRITERION(LAScriterionDropxy, "drop_xy", double, 4, 0,
             in_half_open(x(point), p[0], p[2]) && in_half_open(y(point), p[1], p[3]))
// p: min_x, min_y, min_z, max_x, max_y, max_z
PL_CRITERION(LAScriterionKeepxyz, "keep_xyz", double, 6, FIELD_Z,
             !(in_half_open(x(point), p[0], p[3]) && in_half_open(y(point), p[1], p[4]) &&
               in_half_open(z(point), p[2], p[5])))
PL_CRITERION(LAScriterionDropxyz, "drop_xyz", double, 6, FIELD_Z,
             in_half_open(x(point), p[0], p[3]) && in_half_open(y(point), p[1], p[4]) &&
                 in_half_open(z(point), p[2], p[5]))

// Raw integer coordinates, the same bounds rule.
PL_CRITERION(LAScriterionKeepX, "keep_X", int32_t, 2, 0, !in_half_open(point->X, p[0], p[1]))
PL_CRITERION(LAScriterionDropX, "drop_X", int32_t, 2, 0, in_half_open(point->X, p[0], p[1]))
PL_CRITERION(LAScriterionKeepY, "keep_Y", int32_t, 2, 0, !in_half_open(point->Y, p[0], p[1]))
PL_CRITERION(LAScriterionDropY, "drop_Y", int32_t, 2, 0, in_half_open(point->Y, p[0], p[1]))
PL_CRITERION(LAScriterionKeepZ, "keep_Z", int32_t, 2, FIELD_Z, !in_half_open(point->Z, p[0], p[1]))
PL_CRITERION(LAScriterionDropZ, "drop_Z", int32_t, 2, FIELD_Z, in_half_open(point->Z, p[0], p[1]))
PL_CRITERION(LAScriterionDropXBelow, "drop_X_below", int32_t, 1, 0, point->X < p[0])
PL_CRITERION(LAScriterionDropXAbove, "drop_X_above", int32_t, 1, 0, point->X >= p[0])
PL_CRITERION(LAScriterionDropYBelow, "drop_Y_below", int32_t, 1, 0, point->Y < p[0])
PL_CRITERION(LAScriterionDropYAbove, "drop_Y_above", int32_t, 1, 0, point->Y >= p[0])
PL_CRITERION(LAScriterionDropZBelow, "drop_Z_below", int32_t, 1, FIELD_Z, point->Z < p[0])
PL_CRITERION(LAScriterionDropZAbove, "drop_Z_above", int32_t, 1, FIELD_Z, point->Z >= p[0])
// p: min_X, min_Y, max_X, max_Y
PL_CRITERION(LAScriterionKeepXY, "keep_XY", int32_t, 4, 0,
             !(in_half_open(point->X, p[0], p[2]) && in_half_open(point->Y, p[1], p[3])))

// A square tile given by its lower-left corner and size, all in single
// precision as tiles are named; the upper bounds are summed in single precision.
class LAScriterionKeepTile final : public LAScriterion {
 public:
  LAScriterionKeepTile(float ll_x, float ll_y, float size)
      : ll_x(ll_x), ll_y(ll_y), ur_x(ll_x + size), ur_y(ll_y + size), size(size) {}
  const char* option_name() const override { return "keep_tile"; }
  int write_option_text(char* buffer) const override;
  bool rejects(const LASpoint* point) override {
    const double px = filter_field::x(point), py = filter_field::y(point);
    return !(in_half_open(px, double(ll_x), double(ur_x)) &&
             in_half_open(py, double(ll_y), double(ur_y)));
  }

 private:
  float ll_x, ll_y, ur_x, ur_y, size;
};

// Keeps the inside of a circle; a point exactly on it is dropped.
class LAScriterionKeepCircle final : public LAScriterion {
 public:
  LAScriterionKeepCircle(double center_x, double center_y, double radius)
      : center_x(center_x), center_y(center_y), radius(radius), radius_squared(radius * radius) {}
  const char* option_name() const override { return "keep_circle"; }
  int write_option_text(char* buffer) const override;
  bool rejects(const LASpoint* point) override {
    const double dx = center_x - filter_field::x(point), dy = center_y - filter_field::y(point);
    return dx * dx + dy * dy >= radius_squared;
  }

 private:
  double center_x, center_y, radius, radius_squared;
};

// Keeps a rectangle of the given width around the segment p1-p2, edges
// included. The parser refuses p1 = p2, where the rectangle has no direction.
class LAScriterionKeepProfile final : public LAScriterion {
 public:
  LAScriterionKeepProfile(double p1_x, double p1_y, double p2_x, double p2_y, double width);
  const char* option_name() const override { return "keep_profile"; }
  int write_option_text(char* buffer) const override;
  bool rejects(const LASpoint* point) override {
    const double px = filter_field::x(point), py = filter_field::y(point);
    const double across = (-(p1_y - py) * b - (p1_x - px) * a) / length;
    if (across < -half_width || across > half_width) return true;
    const double along = ((mid_x - px) * b - (mid_y - py) * a) / length;
    return along < -half_length || along > half_length;
  }

 private:
  double p1_x, p1_y, p2_x, p2_y, width;
  double mid_x, mid_y, a, b, length, half_length, half_width;
};

#endif  // POINTLIB_FILTER_CRITERIA_COORDINATES_HPP
