#ifndef POINTLIB_FILTER_CRITERIA_COLOUR_HPP
#define POINTLIB_FILTER_CRITERIA_COLOUR_HPP

#include "filter/las_criterion.hpp"

// Channel 0 red, 1 green, 2 blue, 3 near infrared; closed ranges. Written as
// "-keep_RGB_red min max".
class LAScriterionRGBchannel : public LAScriterion {
 public:
  LAScriterionRGBchannel(int32_t min, int32_t max, int channel)
      : min(min), max(max), channel(channel) {}
  int write_option_text(char* buffer) const override;
  uint32_t needed_fields_mask() const override {
    return channel == 3 ? FIELD_RGB | FIELD_NIR : FIELD_RGB;
  }

 protected:
  bool inside(const LASpoint* point) const {
    return in_closed(filter_field::rgb(point, channel), min, max);
  }
  int32_t min, max;
  int channel;
};

class LAScriterionKeepRGB final : public LAScriterionRGBchannel {
 public:
  using LAScriterionRGBchannel::LAScriterionRGBchannel;
  const char* option_name() const override { return "keep_RGB"; }
  bool rejects(const LASpoint* point) override { return !inside(point); }
};

class LAScriterionDropRGB final : public LAScriterionRGBchannel {
 public:
  using LAScriterionRGBchannel::LAScriterionRGBchannel;
  const char* option_name() const override { return "drop_RGB"; }
  bool rejects(const LASpoint* point) override { return inside(point); }
};

PL_CRITERION(LAScriterionKeepRGBgreenness, "keep_RGB_greenness", int32_t, 2, FIELD_RGB,
             !in_closed(2 * rgb(point, 1) - rgb(point, 0) - rgb(point, 2), p[0], p[1]))

// Vegetation indices in single precision: (a - b) / (a + b) from the integer
// difference and sum. Where both bands are 0 the index is undefined (NaN) and
// fails both comparisons, so the point is kept.
inline float vegetation_index(int a, int b) {
  return float(a - b) / float(a + b);
}

inline bool outside_index_range(float v, float min, float max) {
  return v < min || v > max;
}

// The near-infrared band is channel 3, or green (1) or blue (2) for cameras
// that record it there; the option word carries the choice as a suffix.
class LAScriterionKeepNDVI final : public LAScriterion {
 public:
  LAScriterionKeepNDVI(float min, float max, int nir_channel)
      : min(min), max(max), nir_channel(nir_channel) {}
  const char* option_name() const override { return "keep_NDVI"; }
  int write_option_text(char* buffer) const override;
  uint32_t needed_fields_mask() const override {
    return nir_channel == 3 ? FIELD_RGB | FIELD_NIR : FIELD_RGB;
  }
  bool rejects(const LASpoint* point) override {
    using namespace filter_field;
    return outside_index_range(vegetation_index(rgb(point, nir_channel), rgb(point, 0)), min, max);
  }

 private:
  float min, max;
  int nir_channel;
};

PL_CRITERION(LAScriterionKeepNDVIfromCIR, "keep_NDVI_from_CIR", float, 2, FIELD_RGB,
             outside_index_range(vegetation_index(rgb(point, 0), rgb(point, 1)), p[0], p[1]))
PL_CRITERION(LAScriterionKeepNDVIintensityIsNIR, "keep_NDVI_intensity_is_NIR", float, 2,
             FIELD_RGB | FIELD_INTENSITY,
             outside_index_range(vegetation_index(intensity(point), rgb(point, 0)), p[0], p[1]))

#endif  // POINTLIB_FILTER_CRITERIA_COLOUR_HPP
