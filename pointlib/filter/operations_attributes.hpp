#ifndef POINTLIB_FILTER_OPERATIONS_ATTRIBUTES_HPP
#define POINTLIB_FILTER_OPERATIONS_ATTRIBUTES_HPP

#include "filter/las_operation.hpp"

// Operations that write the extra-bytes attributes, each named by its index
// in the point's attribute table; an index the table lacks changes nothing.

// clang-format off
// index, then the value
PL_OPERATION(LASoperationSetAttribute, "set_attribute", 0, (U32, Gd),
             attribute_store(point, p0, p1);)
PL_OPERATION(LASoperationScaleAttribute, "scale_attribute", FIELD_EXTRA_BYTES, (U32, Gf),
             attribute_store(point, p0, p1 * attribute_value(point, p0));)
PL_OPERATION(LASoperationTranslateAttribute, "translate_attribute", FIELD_EXTRA_BYTES, (U32, Lf),
             attribute_store(point, p0, attribute_value(point, p0) + p1);)
PL_OPERATION(LASoperationCopyUserDataIntoAttribute, "copy_user_data_into_attribute",
             FIELD_USER_DATA, (U32),
             attribute_store(point, p0, point->user_data);)
PL_OPERATION(LASoperationCopyIntensityIntoAttribute, "copy_intensity_into_attribute",
             FIELD_INTENSITY, (U32),
             attribute_store(point, p0, point->intensity);)
PL_OPERATION(LASoperationCopyZIntoAttribute, "copy_z_into_attribute", FIELD_Z, (U32),
             attribute_store(point, p0, coordinate<2>(point));)
// clang-format on

#endif  // POINTLIB_FILTER_OPERATIONS_ATTRIBUTES_HPP
