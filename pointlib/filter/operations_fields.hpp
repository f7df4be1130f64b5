#ifndef POINTLIB_FILTER_OPERATIONS_FIELDS_HPP
#define POINTLIB_FILTER_OPERATIONS_FIELDS_HPP

#include "filter/las_operation.hpp"

// Operations on intensity, scan angle, classification and flags, returns,
// user data, scanner channel, point source ID and GPS time. Float parameters
// compute in single precision, as the fields they change are small integers.

// clang-format off

// --- intensity
PL_OPERATION(LASoperationSetIntensity, "set_intensity", 0, (U16),
             point->intensity = p0;)
PL_OPERATION(LASoperationScaleIntensity, "scale_intensity", FIELD_INTENSITY, (Gf),
             point->intensity = clamp16(point->intensity * p0);)
PL_OPERATION(LASoperationTranslateIntensity, "translate_intensity", FIELD_INTENSITY, (Gf),
             point->intensity = clamp16(point->intensity + p0);)
PL_OPERATION(LASoperationTranslateThenScaleIntensity, "translate_then_scale_intensity",
             FIELD_INTENSITY, (Gf, Gf),
             point->intensity = clamp16((point->intensity + p0) * p1);)
// below, above
PL_OPERATION(LASoperationClampIntensity, "clamp_intensity", FIELD_INTENSITY, (U16, U16),
             if (point->intensity > p1) point->intensity = p1;
             else if (point->intensity < p0) point->intensity = p0;)
PL_OPERATION(LASoperationClampIntensityBelow, "clamp_intensity_below", FIELD_INTENSITY, (U16),
             if (point->intensity < p0) point->intensity = p0;)
PL_OPERATION(LASoperationClampIntensityAbove, "clamp_intensity_above", FIELD_INTENSITY, (U16),
             if (point->intensity > p0) point->intensity = p0;)
PL_OPERATION(LASoperationCopyAttributeIntoIntensity, "copy_attribute_into_intensity",
             FIELD_EXTRA_BYTES, (U32),
             point->intensity = clamp16(attribute_value(point, p0));)
PL_OPERATION(LASoperationBinGpsTimeIntoIntensity, "bin_gps_time_into_intensity", FIELD_GPS_TIME,
             (Lf),
             uint64_t bin;
             if (round_wrap(point->gps_time / p0, &bin)) point->intensity = uint16_t(bin);)
PL_OPERATION(LASoperationCopyRGBintoIntensity, "copy_RGB_into_intensity", FIELD_RGB, (),
             const double v = 0.2989 * point->rgb[0] + 0.587 * point->rgb[1] + 0.114 * point->rgb[2];
             point->intensity = v >= 0.0 ? uint16_t(v + 0.5) : 0;)
PL_OPERATION(LASoperationCopyRintoIntensity, "copy_R_into_intensity", FIELD_RGB, (),
             point->intensity = point->rgb[0];)
PL_OPERATION(LASoperationCopyGintoIntensity, "copy_G_into_intensity", FIELD_RGB, (),
             point->intensity = point->rgb[1];)
PL_OPERATION(LASoperationCopyBintoIntensity, "copy_B_into_intensity", FIELD_RGB, (),
             point->intensity = point->rgb[2];)
PL_OPERATION(LASoperationCopyNIRintoIntensity, "copy_NIR_into_intensity", FIELD_NIR, (),
             point->intensity = point->rgb[3];)

// --- scan angle: the arithmetic ones change only the legacy scan angle rank,
// also on points of the extended types
PL_OPERATION(LASoperationSetScanAngle, "set_scan_angle", 0, (Gf),
             point->store_scan_angle(p0);)
PL_OPERATION(LASoperationScaleScanAngle, "scale_scan_angle", FIELD_SCAN_ANGLE, (Gf),
             point->scan_angle_rank = rank(point->scan_angle_rank * p0);)
PL_OPERATION(LASoperationTranslateScanAngle, "translate_scan_angle", FIELD_SCAN_ANGLE, (Gf),
             point->scan_angle_rank = rank(point->scan_angle_rank + p0);)
PL_OPERATION(LASoperationTranslateThenScaleScanAngle, "translate_then_scale_scan_angle",
             FIELD_SCAN_ANGLE, (Gf, Gf),
             point->scan_angle_rank = rank((point->scan_angle_rank + p0) * p1);)

// --- classification and flags
PL_OPERATION(LASoperationSetClassification, "set_classification", 0, (U8),
             set_class(point, p0);)
// from, to: a class below 32 is matched in the 5-bit field, others in the
// extended one
PL_OPERATION(LASoperationChangeClassificationFromTo, "change_classification_from_to",
             FIELD_CLASSIFICATION, (U8, U8),
             if (p0 < 32 ? point->get_classification() == p0
                         : point->extended_classification == p0) set_class(point, p1);)
PL_OPERATION(LASoperationClassifyZbelowAs, "classify_z_below_as", FIELD_Z, (Lf, U8),
             if (coordinate<2>(point) < p0) set_class(point, p1);)
PL_OPERATION(LASoperationClassifyZaboveAs, "classify_z_above_as", FIELD_Z, (Lf, U8),
             if (coordinate<2>(point) > p0) set_class(point, p1);)
PL_OPERATION(LASoperationClassifyZbetweenAs, "classify_z_between_as", FIELD_Z, (Lf, Lf, U8),
             const double z = coordinate<2>(point);
             if (p0 <= z && z <= p1) set_class(point, p2);)
PL_OPERATION(LASoperationClassifyIntensityBelowAs, "classify_intensity_below_as",
             FIELD_INTENSITY, (U16, U8),
             if (point->intensity < p0) set_class(point, p1);)
PL_OPERATION(LASoperationClassifyIntensityAboveAs, "classify_intensity_above_as",
             FIELD_INTENSITY, (U16, U8),
             if (point->intensity > p0) set_class(point, p1);)
PL_OPERATION(LASoperationClassifyIntensityBetweenAs, "classify_intensity_between_as",
             FIELD_INTENSITY, (U16, U16, U8),
             if (p0 <= point->intensity && point->intensity <= p1) set_class(point, p2);)
PL_OPERATION(LASoperationClassifyAttributeBelowAs, "classify_attribute_below_as",
             FIELD_EXTRA_BYTES, (U32, Lf, U8),
             if (attribute_value(point, p0) < p1) set_class(point, p2);)
PL_OPERATION(LASoperationClassifyAttributeAboveAs, "classify_attribute_above_as",
             FIELD_EXTRA_BYTES, (U32, Lf, U8),
             if (attribute_value(point, p0) > p1) set_class(point, p2);)
PL_OPERATION(LASoperationClassifyAttributeBetweenAs, "classify_attribute_between_as",
             FIELD_EXTRA_BYTES, (U32, Lf, Lf, U8),
             const double v = attribute_value(point, p0);
             if (p1 <= v && v <= p2) set_class(point, p3);)
PL_OPERATION(LASoperationCopyIntensityIntoClassification, "copy_intensity_into_classification",
             FIELD_INTENSITY, (),
             const uint8_t c = uint8_t(point->intensity & 0xFF);
             if (c < 32) { point->set_classification(c); point->extended_classification = c; })
PL_OPERATION(LASoperationCopyUserDataIntoClassification, "copy_user_data_into_classification",
             FIELD_USER_DATA, (),
             if (point->is_extended_point()) {
               set_class(point, point->user_data);
             } else if (point->user_data < 32) {
               point->set_classification(point->user_data);
               point->extended_classification = point->user_data;
             })
PL_OPERATION(LASoperationMoveAncientToExtendedClassification,
             "move_ancient_to_extended_classification", FIELD_CLASSIFICATION | FIELD_FLAGS, (),
             if (point->class_byte & 0xE0) {
               point->extended_classification = point->class_byte;
               point->class_byte = 0;
               point->extended_flags_byte &= uint8_t(~0x70);
             })
PL_OPERATION(LASoperationSetWithheldFlag, "set_withheld_flag", 0, (U8),
             point->set_withheld_flag(p0); point->set_extended_withheld_flag(p0);)
PL_OPERATION(LASoperationSetSyntheticFlag, "set_synthetic_flag", 0, (U8),
             point->set_synthetic_flag(p0); point->set_extended_synthetic_flag(p0);)
PL_OPERATION(LASoperationSetKeypointFlag, "set_keypoint_flag", 0, (U8),
             point->set_keypoint_flag(p0); point->set_extended_keypoint_flag(p0);)
PL_OPERATION(LASoperationSetExtendedOverlapFlag, "set_overlap_flag", 0, (U8),
             point->set_extended_overlap_flag(p0);)
PL_OPERATION(LASoperationSetScanDirectionFlag, "set_scan_direction_flag", 0, (U8),
             point->set_scan_direction_flag(p0);)
PL_OPERATION(LASoperationSetEdgeOfFlightLine, "set_edge_of_flight_line", 0, (U8),
             point->set_edge_of_flight_line(p0);)
PL_OPERATION(LASoperationSetExtendedScannerChannel, "set_scanner_channel", 0, (U8),
             point->set_extended_scanner_channel(p0);)

// --- returns
PL_OPERATION(LASoperationRepairZeroReturns, "repair_zero_returns", 0, (),
             if (point->get_number_of_returns() == 0) point->set_number_of_returns(1);
             if (point->get_return_number() == 0) point->set_return_number(1);)
PL_OPERATION(LASoperationSetReturnNumber, "set_return_number", 0, (U8),
             point->set_return_number(p0 < 7 ? p0 : 7);)
PL_OPERATION(LASoperationSetNumberOfReturns, "set_number_of_returns", 0, (U8),
             point->set_number_of_returns(p0 < 7 ? p0 : 7);)
PL_OPERATION(LASoperationSetExtendedReturnNumber, "set_extended_return_number", 0, (U8),
             point->set_extended_return_number(p0);)
PL_OPERATION(LASoperationSetExtendedNumberOfReturns, "set_extended_number_of_returns", 0, (U8),
             point->set_extended_number_of_returns(p0);)
PL_OPERATION(LASoperationChangeReturnNumberFromTo, "change_return_number_from_to", 0, (U8, U8),
             if (point->get_return_number() == p0) point->set_return_number(p1 < 7 ? p1 : 7);)
PL_OPERATION(LASoperationChangeNumberOfReturnsFromTo, "change_number_of_returns_from_to", 0,
             (U8, U8),
             if (point->get_number_of_returns() == p0) point->set_number_of_returns(p1 < 7 ? p1 : 7);)
PL_OPERATION(LASoperationChangeExtendedReturnNumberFromTo,
             "change_extended_return_number_from_to", 0, (U8, U8),
             if (point->get_extended_return_number() == p0) point->set_extended_return_number(p1);)
PL_OPERATION(LASoperationChangeExtendedNumberOfReturnsFromTo,
             "change_extended_number_of_returns_from_to", 0, (U8, U8),
             if (point->get_extended_number_of_returns() == p0)
               point->set_extended_number_of_returns(p1);)

// --- user data and scanner channel
PL_OPERATION(LASoperationSetUserData, "set_user_data", 0, (U8),
             point->user_data = p0;)
PL_OPERATION(LASoperationScaleUserData, "scale_user_data", FIELD_USER_DATA, (Gf),
             point->user_data = clamp8(point->user_data * p0);)
PL_OPERATION(LASoperationChangeUserDataFromTo, "change_user_data_from_to", FIELD_USER_DATA,
             (U8, U8),
             if (point->user_data == p0) point->user_data = p1;)
PL_OPERATION(LASoperationCopyAttributeIntoUserData, "copy_attribute_into_user_data",
             FIELD_EXTRA_BYTES, (U32),
             point->user_data = clamp8(attribute_value(point, p0));)
// a value that is not finite leaves the field as it is
PL_OPERATION(LASoperationAddScaledAttributeToUserData, "add_scaled_attribute_to_user_data",
             FIELD_EXTRA_BYTES | FIELD_USER_DATA, (U32, Ff),
             const double v = p1 * attribute_value(point, p0) + point->user_data;
             uint64_t bits;
             if (!(v >= 0.0)) point->user_data = 0;
             else if (truncate_wrap(v + 0.5, &bits)) point->user_data = uint8_t(bits);)
PL_OPERATION(LASoperationCopyClassificationIntoUserData, "copy_classification_into_user_data",
             FIELD_CLASSIFICATION, (),
             const uint8_t c = point->get_classification();
             point->user_data = c ? c : point->extended_classification;)
PL_OPERATION(LASoperationCopyScannerChannelIntoUserData, "copy_scanner_channel_into_user_data",
             0, (),
             point->user_data = point->get_extended_scanner_channel();)
PL_OPERATION(LASoperationCopyUserDataIntoScannerChannel, "copy_user_data_into_scanner_channel",
             FIELD_USER_DATA, (),
             point->set_extended_scanner_channel(point->user_data & 3);)

// --- point source ID
PL_OPERATION(LASoperationSetPointSource, "set_point_source", 0, (U16),
             point->point_source_ID = p0;)
PL_OPERATION(LASoperationChangePointSourceFromTo, "change_point_source_from_to",
             FIELD_POINT_SOURCE, (U16, U16),
             if (point->point_source_ID == p0) point->point_source_ID = p1;)
PL_OPERATION(LASoperationCopyAttributeIntoPointSource, "copy_attribute_into_point_source",
             FIELD_EXTRA_BYTES, (U32),
             point->point_source_ID = clamp16(attribute_value(point, p0));)
PL_OPERATION(LASoperationCopyClassificationIntoPointSource,
             "copy_classification_into_point_source", FIELD_CLASSIFICATION, (),
             const uint8_t c = point->get_classification();
             point->point_source_ID = c ? c : point->extended_classification;)
PL_OPERATION(LASoperationCopyUserDataIntoPointSource, "copy_user_data_into_point_source",
             FIELD_USER_DATA, (),
             point->point_source_ID = point->user_data;)
PL_OPERATION(LASoperationCopyScannerChannelIntoPointSource,
             "copy_scanner_channel_into_point_source", 0, (),
             point->point_source_ID = point->get_extended_scanner_channel();)
PL_OPERATION(LASoperationMergeScannerChannelIntoPointSource,
             "merge_scanner_channel_into_point_source", FIELD_POINT_SOURCE, (),
             point->point_source_ID =
                 uint16_t((point->point_source_ID << 2) | point->get_extended_scanner_channel());)
PL_OPERATION(LASoperationSplitScannerChannelFromPointSource,
             "split_scanner_channel_from_point_source", FIELD_POINT_SOURCE, (),
             point->set_extended_scanner_channel(point->point_source_ID & 3);
             point->point_source_ID = uint16_t(point->point_source_ID >> 2);)
// the raw Z divided in 64 bits, so that INT32_MIN / -1 cannot trap
PL_OPERATION(LASoperationBinZintoPointSource, "bin_Z_into_point_source", FIELD_Z, (I32),
             const int64_t b = p0 ? int64_t(point->Z) / p0 : 0;
             point->point_source_ID = uint16_t(b <= 0 ? 0 : (b > 65534 ? 65535 : b));)
PL_OPERATION(LASoperationBinAbsScanAngleIntoPointSource, "bin_abs_scan_angle_into_point_source",
             FIELD_SCAN_ANGLE, (Gf),
             const float a = point->is_extended_point()
                                 ? std::abs(point->extended_scan_angle) * 0.006f
                                 : float(std::abs(point->scan_angle_rank));
             point->point_source_ID = clamp16(a / p0);)
PL_OPERATION(LASoperationBinGpsTimeIntoPointSource, "bin_gps_time_into_point_source",
             FIELD_GPS_TIME, (Lf),
             uint64_t bin;
             if (round_wrap(point->gps_time / p0, &bin)) point->point_source_ID = uint16_t(bin);)

// --- GPS time
PL_OPERATION(LASoperationSetGpsTime, "set_gps_time", 0, (Lf),
             point->gps_time = p0;)
PL_OPERATION(LASoperationTranslateGpsTime, "translate_gps_time", FIELD_GPS_TIME, (Lf),
             point->gps_time += p0;)
// adjusted standard GPS time (seconds since the week of 1e9 s) to time of week
PL_OPERATION(LASoperationConvertAdjustedGpsToWeek, "adjusted_to_week", FIELD_GPS_TIME, (),
             const double t = point->gps_time;
             const double week = std::trunc(t / 604800.0 + 1653.4391534391534);
             if (std::isfinite(week)) point->gps_time = t - (week * 604800.0 - 1000000000.0);)
PL_OPERATION(LASoperationConvertWeekToAdjustedGps, "week_to_adjusted", FIELD_GPS_TIME, (U32),
             point->gps_time += double(int64_t(p0) * 604800 - 1000000000);)

// clang-format on

#endif  // POINTLIB_FILTER_OPERATIONS_FIELDS_HPP
