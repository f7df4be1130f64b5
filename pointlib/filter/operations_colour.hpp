#ifndef POINTLIB_FILTER_OPERATIONS_COLOUR_HPP
#define POINTLIB_FILTER_OPERATIONS_COLOUR_HPP

#include "filter/las_operation.hpp"

// Operations on the four 16-bit colour values rgb[0..3] = R, G, B, NIR.

// clang-format off
PL_OPERATION(LASoperationSetRGB, "set_RGB", 0, (U16, U16, U16),
             point->rgb[0] = p0; point->rgb[1] = p1; point->rgb[2] = p2;)
// class, R, G, B
PL_OPERATION(LASoperationSetRGBofClass, "set_RGB_of_class", FIELD_CLASSIFICATION,
             (U8, U16, U16, U16),
             if (point->get_classification() == p0) {
               point->rgb[0] = p1; point->rgb[1] = p2; point->rgb[2] = p3;
             })
PL_OPERATION(LASoperationSetRGBofExtendedClass, "set_RGB_of_class", FIELD_CLASSIFICATION,
             (U8, U16, U16, U16),
             if (point->extended_classification == p0) {
               point->rgb[0] = p1; point->rgb[1] = p2; point->rgb[2] = p3;
             })
PL_OPERATION(LASoperationSetNIR, "set_NIR", 0, (U16),
             point->rgb[3] = p0;)
PL_OPERATION(LASoperationScaleRGB, "scale_RGB", FIELD_RGB, (Gf, Gf, Gf),
             point->rgb[0] = clamp16(point->rgb[0] * p0);
             point->rgb[1] = clamp16(point->rgb[1] * p1);
             point->rgb[2] = clamp16(point->rgb[2] * p2);)
PL_OPERATION(LASoperationScaleRGBdown, "scale_RGB_down", FIELD_RGB, (),
             for (int i = 0; i < 3; i++) point->rgb[i] = uint16_t(point->rgb[i] >> 8);)
PL_OPERATION(LASoperationScaleRGBup, "scale_RGB_up", FIELD_RGB, (),
             for (int i = 0; i < 3; i++) point->rgb[i] = uint16_t(point->rgb[i] << 8);)
PL_OPERATION(LASoperationScaleRGBto8bit, "scale_RGB_to_8bit", FIELD_RGB, (),
             if (point->rgb[0] >= 256 || point->rgb[1] >= 256 || point->rgb[2] >= 256) {
               for (int i = 0; i < 3; i++) point->rgb[i] = uint16_t(point->rgb[i] >> 8);
             })
PL_OPERATION(LASoperationScaleRGBto16bit, "scale_RGB_to_16bit", FIELD_RGB, (),
             if (point->rgb[0] < 256 && point->rgb[1] < 256 && point->rgb[2] < 256) {
               for (int i = 0; i < 3; i++) point->rgb[i] = uint16_t(point->rgb[i] << 8);
             })
PL_OPERATION(LASoperationScaleNIR, "scale_NIR", FIELD_NIR, (Gf),
             point->rgb[3] = clamp16(point->rgb[3] * p0);)
PL_OPERATION(LASoperationScaleNIRdown, "scale_NIR_down", FIELD_NIR, (),
             point->rgb[3] = uint16_t(point->rgb[3] >> 8);)
PL_OPERATION(LASoperationScaleNIRup, "scale_NIR_up", FIELD_NIR, (),
             point->rgb[3] = uint16_t(point->rgb[3] << 8);)
PL_OPERATION(LASoperationScaleNIRto8bit, "scale_NIR_to_8bit", FIELD_NIR, (),
             if (point->rgb[3] >= 256) point->rgb[3] = uint16_t(point->rgb[3] >> 8);)
PL_OPERATION(LASoperationScaleNIRto16bit, "scale_NIR_to_16bit", FIELD_NIR, (),
             if (point->rgb[3] < 256) point->rgb[3] = uint16_t(point->rgb[3] << 8);)
PL_OPERATION(LASoperationSwitchRG, "switch_R_G", FIELD_RGB, (),
             const uint16_t t = point->rgb[0]; point->rgb[0] = point->rgb[1]; point->rgb[1] = t;)
PL_OPERATION(LASoperationSwitchRB, "switch_R_B", FIELD_RGB, (),
             const uint16_t t = point->rgb[0]; point->rgb[0] = point->rgb[2]; point->rgb[2] = t;)
PL_OPERATION(LASoperationSwitchGB, "switch_G_B", FIELD_RGB, (),
             const uint16_t t = point->rgb[1]; point->rgb[1] = point->rgb[2]; point->rgb[2] = t;)
PL_OPERATION(LASoperationSwitchRGBItoCIR, "switch_RGBI_into_CIR", FIELD_RGB | FIELD_NIR, (),
             const uint16_t r = point->rgb[0], g = point->rgb[1];
             point->rgb[0] = point->rgb[3]; point->rgb[1] = r; point->rgb[2] = g;)
PL_OPERATION(LASoperationSwitchRGBIntensitytoCIR, "switch_RGB_intensity_into_CIR",
             FIELD_RGB | FIELD_INTENSITY, (),
             const uint16_t r = point->rgb[0], g = point->rgb[1];
             point->rgb[0] = point->intensity; point->rgb[1] = r; point->rgb[2] = g;)
PL_OPERATION(LASoperationCopyRintoNIR, "copy_R_into_NIR", FIELD_RGB, (),
             point->rgb[3] = point->rgb[0];)
PL_OPERATION(LASoperationCopyGintoNIR, "copy_G_into_NIR", FIELD_RGB, (),
             point->rgb[3] = point->rgb[1];)
PL_OPERATION(LASoperationCopyBintoNIR, "copy_B_into_NIR", FIELD_RGB, (),
             point->rgb[3] = point->rgb[2];)
PL_OPERATION(LASoperationCopyIntensityIntoNIR, "copy_intensity_into_NIR", FIELD_INTENSITY, (),
             point->rgb[3] = point->intensity;)
// clang-format on

// Band names as the option words spell them.
extern const char* const RGBNIR_BAND_NAMES[4];    // "R", "G", "B", "NIR"
extern const char* const RGBNIR_BAND_COLOURS[4];  // "red", "green", "blue", "nir"

// rgb[band] = intensity x scale x rgb[band], in single precision.
class LASoperationMultiplyScaledIntensityIntoRGB final : public LASoperation {
 public:
  LASoperationMultiplyScaledIntensityIntoRGB(uint32_t band, float scale)
      : band(band & 3), scale(scale) {}
  const char* option_name() const override { return "multiply_scaled_intensity_into_RGB"; }
  int write_option_text(char* buffer) const override;
  uint32_t needed_fields_mask() const override { return FIELD_RGB | FIELD_INTENSITY; }
  void apply(LASpoint* point) override {
    point->rgb[band] = transform_math::clamp16(point->intensity * scale * point->rgb[band]);
  }

 private:
  uint32_t band;
  float scale;
};

// rgb[band] = clamp16 of an extra-bytes attribute.
class LASoperationCopyAttributeIntoRGBNIR final : public LASoperation {
 public:
  LASoperationCopyAttributeIntoRGBNIR(uint32_t band, uint32_t index)
      : band(band & 3), index(index) {}
  const char* option_name() const override { return "copy_attribute_into_"; }
  int write_option_text(char* buffer) const override;
  uint32_t needed_fields_mask() const override { return FIELD_EXTRA_BYTES; }
  void apply(LASpoint* point) override {
    point->rgb[band] = transform_math::clamp16(transform_field::attribute_value(point, index));
  }

 private:
  uint32_t band;
  uint32_t index;
};

#endif  // POINTLIB_FILTER_OPERATIONS_COLOUR_HPP
