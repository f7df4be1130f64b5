#ifndef POINTLIB_FILTER_OPERATIONS_COORDINATES_HPP
#define POINTLIB_FILTER_OPERATIONS_COORDINATES_HPP

#include "filter/las_operation.hpp"

// Operations on the coordinates. Scaled coordinates are quantized again and
// count 32-bit overflows, except where a row says otherwise; raw integers
// wrap without counting.

// clang-format off
PL_OPERATION(LASoperationTranslateX, "translate_x", 0, (Lf),
             set_counted<0>(point, coordinate<0>(point) + p0);)
PL_OPERATION(LASoperationTranslateY, "translate_y", 0, (Lf),
             set_counted<1>(point, coordinate<1>(point) + p0);)
PL_OPERATION(LASoperationTranslateZ, "translate_z", FIELD_Z, (Lf),
             set_counted<2>(point, coordinate<2>(point) + p0);)
PL_OPERATION(LASoperationTranslateXYZ, "translate_xyz", FIELD_Z, (Lf, Lf, Lf),
             set_counted<0>(point, coordinate<0>(point) + p0);
             set_counted<1>(point, coordinate<1>(point) + p1);
             set_counted<2>(point, coordinate<2>(point) + p2);)
PL_OPERATION(LASoperationScaleX, "scale_x", 0, (Lf),
             set_counted<0>(point, coordinate<0>(point) * p0);)
PL_OPERATION(LASoperationScaleY, "scale_y", 0, (Lf),
             set_counted<1>(point, coordinate<1>(point) * p0);)
PL_OPERATION(LASoperationScaleZ, "scale_z", FIELD_Z, (Lf),
             set_counted<2>(point, coordinate<2>(point) * p0);)
PL_OPERATION(LASoperationScaleXYZ, "scale_xyz", FIELD_Z, (Lf, Lf, Lf),
             set_counted<0>(point, coordinate<0>(point) * p0);
             set_counted<1>(point, coordinate<1>(point) * p1);
             set_counted<2>(point, coordinate<2>(point) * p2);)
PL_OPERATION(LASoperationTranslateThenScaleX, "translate_then_scale_x", 0, (Lf, Lf),
             set_counted<0>(point, (coordinate<0>(point) + p0) * p1);)
PL_OPERATION(LASoperationTranslateThenScaleY, "translate_then_scale_y", 0, (Lf, Lf),
             set_counted<1>(point, (coordinate<1>(point) + p0) * p1);)
PL_OPERATION(LASoperationTranslateThenScaleZ, "translate_then_scale_z", FIELD_Z, (Lf, Lf),
             set_counted<2>(point, (coordinate<2>(point) + p0) * p1);)
// below, above
PL_OPERATION(LASoperationClampZ, "clamp_z", FIELD_Z, (Lf, Lf),
             const double z = coordinate<2>(point);
             if (z < p0) set_counted<2>(point, p0);
             else if (z > p1) set_counted<2>(point, p1);)
PL_OPERATION(LASoperationClampZbelow, "clamp_z_below", FIELD_Z, (Lf),
             if (coordinate<2>(point) < p0) set_counted<2>(point, p0);)
PL_OPERATION(LASoperationClampZabove, "clamp_z_above", FIELD_Z, (Lf),
             if (coordinate<2>(point) > p0) set_counted<2>(point, p0);)
// attribute index (, scale): never counted
PL_OPERATION(LASoperationAddAttributeToZ, "add_attribute_to_z", FIELD_EXTRA_BYTES | FIELD_Z, (U32),
             set_coordinate<2>(point, coordinate<2>(point) + attribute_value(point, p0));)
PL_OPERATION(LASoperationAddScaledAttributeToZ, "add_scaled_attribute_to_z",
             FIELD_EXTRA_BYTES | FIELD_Z, (U32, Ff),
             set_coordinate<2>(point, coordinate<2>(point) + p1 * attribute_value(point, p0));)
PL_OPERATION(LASoperationCopyAttributeIntoX, "copy_attribute_into_x", FIELD_EXTRA_BYTES, (U32),
             set_counted<0>(point, attribute_value(point, p0));)
PL_OPERATION(LASoperationCopyAttributeIntoY, "copy_attribute_into_y", FIELD_EXTRA_BYTES, (U32),
             set_counted<1>(point, attribute_value(point, p0));)
PL_OPERATION(LASoperationCopyAttributeIntoZ, "copy_attribute_into_z", FIELD_EXTRA_BYTES, (U32),
             set_counted<2>(point, attribute_value(point, p0));)
PL_OPERATION(LASoperationCopyIntensityIntoZ, "copy_intensity_into_z", FIELD_INTENSITY, (),
             set_counted<2>(point, point->intensity);)
PL_OPERATION(LASoperationCopyUserDataIntoZ, "copy_user_data_into_z", FIELD_USER_DATA, (),
             set_counted<2>(point, point->user_data);)
PL_OPERATION(LASoperationSwitchXY, "switch_x_y", 0, (),
             const int32_t t = point->X; point->X = point->Y; point->Y = t;)
PL_OPERATION(LASoperationSwitchXZ, "switch_x_z", FIELD_Z, (),
             const int32_t t = point->X; point->X = point->Z; point->Z = t;)
PL_OPERATION(LASoperationSwitchYZ, "switch_y_z", FIELD_Z, (),
             const int32_t t = point->Y; point->Y = point->Z; point->Z = t;)

// Raw integers.
PL_OPERATION(LASoperationTranslateRawX, "translate_raw_x", 0, (I32),
             point->X = add_wrap(point->X, p0);)
PL_OPERATION(LASoperationTranslateRawY, "translate_raw_y", 0, (I32),
             point->Y = add_wrap(point->Y, p0);)
PL_OPERATION(LASoperationTranslateRawZ, "translate_raw_z", FIELD_Z, (I32),
             point->Z = add_wrap(point->Z, p0);)
PL_OPERATION(LASoperationTranslateRawXYZ, "translate_raw_xyz", FIELD_Z, (I32, I32, I32),
             point->X = add_wrap(point->X, p0);
             point->Y = add_wrap(point->Y, p1);
             point->Z = add_wrap(point->Z, p2);)
PL_OPERATION(LASoperationClampRawZ, "clamp_raw_z", FIELD_Z, (I32, I32),
             if (point->Z < p0) point->Z = p0;
             else if (point->Z > p1) point->Z = p1;)
// clang-format on

// Moves X and Y by pseudo-random raw offsets within +-max_x and +-max_y; the
// generator is seeded per point with the previous draw, from 0 at each file.
class LASoperationTranslateRawXYatRandom final : public LASoperationWith<I32, I32> {
 public:
  using LASoperationWith<I32, I32>::LASoperationWith;
  const char* option_name() const override { return "translate_raw_xy_at_random"; }
  void apply(LASpoint* point) override;
  void restart() override { seed = 0; }

 private:
  uint32_t seed = 0;
};

// Rotation by an angle in degrees about a centre in the plane of axes A and B.
template <int A, int B>
class LASoperationRotate final : public LASoperationWith<Lf, Lf, Lf> {
 public:
  LASoperationRotate(double angle, double center_a, double center_b)
      : LASoperationWith<Lf, Lf, Lf>(angle, center_a, center_b),
        cos_angle(std::cos(angle * 0.017453292519943295)),
        sin_angle(std::sin(angle * 0.017453292519943295)) {}
  const char* option_name() const override {
    return A == 0 ? (B == 1 ? "rotate_xy" : "rotate_xz") : "rotate_yz";
  }
  uint32_t needed_fields_mask() const override { return B == 2 ? uint32_t(FIELD_Z) : 0u; }
  void apply(LASpoint* point) override {
    const double a = transform_field::coordinate<A>(point) - p1;
    const double b = transform_field::coordinate<B>(point) - p2;
    set_counted<A>(point, a * cos_angle - b * sin_angle + p1);
    set_counted<B>(point, b * cos_angle + a * sin_angle + p2);
  }

 private:
  double cos_angle;
  double sin_angle;
};
using LASoperationRotateXY = LASoperationRotate<0, 1>;
using LASoperationRotateXZ = LASoperationRotate<0, 2>;
using LASoperationRotateYZ = LASoperationRotate<1, 2>;

// Scale k, rotation w in arc seconds and shift (tx, ty) in the xy plane.
class LASoperationTransformAffine final : public LASoperation {
 public:
  LASoperationTransformAffine(double k, double w, double tx, double ty);
  const char* option_name() const override { return "transform_affine"; }
  int write_option_text(char* buffer) const override;
  void apply(LASpoint* point) override;

 private:
  double k, w, tx, ty;
  double cos_w, sin_w;
};

// Seven-parameter similarity: shifts, rotations in arc seconds, scale in ppm.
class LASoperationTransformHelmert final : public LASoperation {
 public:
  LASoperationTransformHelmert(const double values[7]);
  const char* option_name() const override { return "transform_helmert"; }
  int write_option_text(char* buffer) const override;
  uint32_t needed_fields_mask() const override { return FIELD_Z; }
  void apply(LASpoint* point) override;

 private:
  double dx, dy, dz, rx, ry, rz, m;
  double rx_rad, ry_rad, rz_rad, scale;
};

#endif  // POINTLIB_FILTER_OPERATIONS_COORDINATES_HPP
