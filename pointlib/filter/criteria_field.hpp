#ifndef POINTLIB_FILTER_CRITERIA_FIELD_HPP
#define POINTLIB_FILTER_CRITERIA_FIELD_HPP

#include "filter/las_criterion.hpp"

// Intensity: closed ranges.
PL_CRITERION(LAScriterionKeepIntensity, "keep_intensity", uint16_t, 2, FIELD_INTENSITY,
             !in_closed(intensity(point), int(p[0]), int(p[1])))
PL_CRITERION(LAScriterionKeepIntensityBelow, "keep_intensity_below", uint16_t, 1, FIELD_INTENSITY,
             intensity(point) >= p[0])
PL_CRITERION(LAScriterionKeepIntensityAbove, "keep_intensity_above", uint16_t, 1, FIELD_INTENSITY,
             intensity(point) <= p[0])
PL_CRITERION(LAScriterionDropIntensityBelow, "drop_intensity_below", int32_t, 1, FIELD_INTENSITY,
             intensity(point) < p[0])
PL_CRITERION(LAScriterionDropIntensityAbove, "drop_intensity_above", int32_t, 1, FIELD_INTENSITY,
             intensity(point) > p[0])
PL_CRITERION(LAScriterionDropIntensityBetween, "drop_intensity_between", int32_t, 2,
             FIELD_INTENSITY, in_closed(intensity(point), p[0], p[1]))

// Scan angle rank: closed ranges.
PL_CRITERION(LAScriterionKeepScanAngle, "keep_scan_angle", int32_t, 2, FIELD_SCAN_ANGLE,
             !in_closed(scan_angle_rank(point), p[0], p[1]))
PL_CRITERION(LAScriterionDropScanAngleBelow, "drop_scan_angle_below", int32_t, 1, FIELD_SCAN_ANGLE,
             scan_angle_rank(point) < p[0])
PL_CRITERION(LAScriterionDropScanAngleAbove, "drop_scan_angle_above", int32_t, 1, FIELD_SCAN_ANGLE,
             scan_angle_rank(point) > p[0])
PL_CRITERION(LAScriterionDropScanAngleBetween, "drop_scan_angle_between", int32_t, 2,
             FIELD_SCAN_ANGLE, in_closed(scan_angle_rank(point), p[0], p[1]))

// User data: closed ranges.
PL_CRITERION(LAScriterionKeepUserData, "keep_user_data", uint8_t, 1, FIELD_USER_DATA,
             user_data(point) != p[0])
PL_CRITERION(LAScriterionKeepUserDataBelow, "keep_user_data_below", uint8_t, 1, FIELD_USER_DATA,
             user_data(point) >= p[0])
PL_CRITERION(LAScriterionKeepUserDataAbove, "keep_user_data_above", uint8_t, 1, FIELD_USER_DATA,
             user_data(point) <= p[0])
PL_CRITERION(LAScriterionKeepUserDataBetween, "keep_user_data_between", uint8_t, 2, FIELD_USER_DATA,
             !in_closed(user_data(point), int(p[0]), int(p[1])))
PL_CRITERION(LAScriterionDropUserData, "drop_user_data", uint8_t, 1, FIELD_USER_DATA,
             user_data(point) == p[0])
PL_CRITERION(LAScriterionDropUserDataBelow, "drop_user_data_below", uint8_t, 1, FIELD_USER_DATA,
             user_data(point) < p[0])
PL_CRITERION(LAScriterionDropUserDataAbove, "drop_user_data_above", uint8_t, 1, FIELD_USER_DATA,
             user_data(point) > p[0])
PL_CRITERION(LAScriterionDropUserDataBetween, "drop_user_data_between", uint8_t, 2, FIELD_USER_DATA,
             in_closed(user_data(point), int(p[0]), int(p[1])))

// Point source ID: closed ranges.
PL_CRITERION(LAScriterionKeepPointSource, "keep_point_source", uint16_t, 1, FIELD_POINT_SOURCE,
             point_source(point) != p[0])
PL_CRITERION(LAScriterionKeepPointSourceBetween, "keep_point_source_between", uint16_t, 2,
             FIELD_POINT_SOURCE, !in_closed(point_source(point), int(p[0]), int(p[1])))
PL_CRITERION(LAScriterionDropPointSource, "drop_point_source", uint16_t, 1, FIELD_POINT_SOURCE,
             point_source(point) == p[0])
PL_CRITERION(LAScriterionDropPointSourceBelow, "drop_point_source_below", uint16_t, 1,
             FIELD_POINT_SOURCE, point_source(point) < p[0])
PL_CRITERION(LAScriterionDropPointSourceAbove, "drop_point_source_above", uint16_t, 1,
             FIELD_POINT_SOURCE, point_source(point) > p[0])
PL_CRITERION(LAScriterionDropPointSourceBetween, "drop_point_source_between", uint16_t, 2,
             FIELD_POINT_SOURCE, in_closed(point_source(point), int(p[0]), int(p[1])))

// Wave packet descriptor index.
PL_CRITERION(LAScriterionKeepWavepacket, "keep_wavepacket", uint32_t, 1, FIELD_WAVEPACKET,
             wavepacket_index(point) != p[0])
PL_CRITERION(LAScriterionDropWavepacket, "drop_wavepacket", uint32_t, 1, FIELD_WAVEPACKET,
             wavepacket_index(point) == p[0])

// Extra-bytes attributes: an index and one or two values, written "%u %lf".
class LAScriterionAttribute : public LAScriterion {
 public:
  LAScriterionAttribute(uint32_t index, double first, double second = 0.0)
      : index(index), v0(first), v1(second) {}
  uint32_t needed_fields_mask() const override { return FIELD_EXTRA_BYTES; }

 protected:
  int write_text(char* buffer, int values) const;
  double value(const LASpoint* point) const { return filter_field::attribute_value(point, index); }
  uint32_t index;
  double v0, v1;
};

#define PL_ATTRIBUTE_CRITERION(CLASS, NAME, VALUES, DROPS)                                    \
  class CLASS final : public LAScriterionAttribute {                                          \
   public:                                                                                    \
    using LAScriterionAttribute::LAScriterionAttribute;                                       \
    const char* option_name() const override { return NAME; }                                 \
    int write_option_text(char* buffer) const override { return write_text(buffer, VALUES); } \
    bool rejects(const LASpoint* point) override {                                            \
      const double v = value(point);                                                          \
      return DROPS;                                                                           \
    }                                                                                         \
  };
PL_ATTRIBUTE_CRITERION(LAScriterionKeepAttributeBelow, "keep_attribute_below", 1, v >= v0)
PL_ATTRIBUTE_CRITERION(LAScriterionKeepAttributeAbove, "keep_attribute_above", 1, v <= v0)
PL_ATTRIBUTE_CRITERION(LAScriterionKeepAttributeBetween, "keep_attribute_between", 2, v<v0 || v> v1)
PL_ATTRIBUTE_CRITERION(LAScriterionDropAttributeBelow, "drop_attribute_below", 1, v < v0)
PL_ATTRIBUTE_CRITERION(LAScriterionDropAttributeAbove, "drop_attribute_above", 1, v > v0)
PL_ATTRIBUTE_CRITERION(LAScriterionDropAttributeBetween, "drop_attribute_between", 2,
                       v0 <= v && v <= v1)
#undef PL_ATTRIBUTE_CRITERION

#endif  // POINTLIB_FILTER_CRITERIA_FIELD_HPP
