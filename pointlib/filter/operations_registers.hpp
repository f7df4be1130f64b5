#ifndef POINTLIB_FILTER_OPERATIONS_REGISTERS_HPP
#define POINTLIB_FILTER_OPERATIONS_REGISTERS_HPP

#include "filter/las_operation.hpp"

// Operations on the transform's sixteen registers r[0..15] (the parser checks
// every register index). Register values may be anything a double holds, NaN
// and infinities included; the conversions into fields are guarded.

// clang-format off
// index, value
PL_REGISTER_OPERATION(LASoperationSetRegister, "set_register", 0, (U32, Gd),
                      r[p0] = p1;)
PL_REGISTER_OPERATION(LASoperationScaleRegister, "scale_register", 0, (U32, Gf),
                      r[p0] *= p1;)
PL_REGISTER_OPERATION(LASoperationTranslateRegister, "translate_register", 0, (U32, Lf),
                      r[p0] += p1;)
// input1, input2, output
PL_REGISTER_OPERATION(LASoperationAddRegisters, "add_registers", 0, (U32, U32, U32),
                      r[p2] = r[p0] + r[p1];)
PL_REGISTER_OPERATION(LASoperationSubtractRegisters, "subtract_registers", 0, (U32, U32, U32),
                      r[p2] = r[p0] - r[p1];)
PL_REGISTER_OPERATION(LASoperationMultiplyRegisters, "multiply_registers", 0, (U32, U32, U32),
                      r[p2] = r[p0] * r[p1];)
PL_REGISTER_OPERATION(LASoperationDivideRegisters, "divide_registers", 0, (U32, U32, U32),
                      r[p2] = r[p0] / r[p1];)
PL_REGISTER_OPERATION(LASoperationCopyIntensityIntoRegister, "copy_intensity_into_register",
                      FIELD_INTENSITY, (U32),
                      r[p0] = point->intensity;)
PL_REGISTER_OPERATION(LASoperationCopyUserDataIntoRegister, "copy_user_data_into_register",
                      FIELD_USER_DATA, (U32),
                      r[p0] = point->user_data;)
PL_REGISTER_OPERATION(LASoperationCopyPointSourceIntoRegister,
                      "copy_point_source_into_register", FIELD_POINT_SOURCE, (U32),
                      r[p0] = point->point_source_ID;)
// attribute index, register index
PL_REGISTER_OPERATION(LASoperationCopyAttributeIntoRegister, "copy_attribute_into_register",
                      FIELD_EXTRA_BYTES, (U32, U32),
                      r[p1] = attribute_value(point, p0);)
PL_REGISTER_OPERATION(LASoperationCopyRegisterIntoX, "copy_register_into_x", 0, (U32),
                      set_counted<0>(point, r[p0]);)
PL_REGISTER_OPERATION(LASoperationCopyRegisterIntoY, "copy_register_into_y", 0, (U32),
                      set_counted<1>(point, r[p0]);)
PL_REGISTER_OPERATION(LASoperationCopyRegisterIntoZ, "copy_register_into_z", 0, (U32),
                      set_counted<2>(point, r[p0]);)
PL_REGISTER_OPERATION(LASoperationCopyRegisterIntoIntensity, "copy_register_into_intensity", 0,
                      (U32),
                      point->intensity = clamp16(r[p0]);)
PL_REGISTER_OPERATION(LASoperationCopyRegisterIntoPointSource,
                      "copy_register_into_point_source", 0, (U32),
                      point->point_source_ID = clamp16(r[p0]);)
PL_REGISTER_OPERATION(LASoperationCopyRegisterIntoUserData, "copy_register_into_user_data", 0,
                      (U32),
                      point->user_data = clamp8(r[p0]);)
// register index, attribute index
PL_REGISTER_OPERATION(LASoperationCopyRegisterIntoAttribute, "copy_register_into_attribute", 0,
                      (U32, U32),
                      attribute_store(point, p1, r[p0]);)
// clang-format on

// r[index] = rgb[band]; the option word names the band.
class LASoperationCopyRBGNIRintoRegister final : public LASoperationWithRegisters<U32> {
 public:
  LASoperationCopyRBGNIRintoRegister(double* registers, uint32_t band, uint32_t index)
      : LASoperationWithRegisters<U32>(registers, index), band(band & 3) {}
  const char* option_name() const override;
  uint32_t needed_fields_mask() const override { return band == 3 ? FIELD_NIR : FIELD_RGB; }
  void apply(LASpoint* point) override { r[p0] = point->rgb[band]; }

 private:
  uint32_t band;
};

// rgb[band] = clamp16(r[index]).
class LASoperationCopyRegisterIntoRGBNIR final : public LASoperationWithRegisters<U32> {
 public:
  LASoperationCopyRegisterIntoRGBNIR(double* registers, uint32_t band, uint32_t index)
      : LASoperationWithRegisters<U32>(registers, index), band(band & 3) {}
  const char* option_name() const override { return "copy_register_into_"; }
  int write_option_text(char* buffer) const override;
  void apply(LASpoint* point) override { point->rgb[band] = transform_math::clamp16(r[p0]); }

 private:
  uint32_t band;
};

#endif  // POINTLIB_FILTER_OPERATIONS_REGISTERS_HPP
