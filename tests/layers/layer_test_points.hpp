#ifndef TESTS_LAYERS_LAYER_TEST_POINTS_HPP
#define TESTS_LAYERS_LAYER_TEST_POINTS_HPP

// Points for the layer tests: every return context, points of class 7 that
// the layers are told to ignore, and one LAS 1.4 point; a comparison that
// names the first differing field.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/las_header.hpp"
#include "core/las_point.hpp"
#include "filter/las_ignore.hpp"

using PointList = std::vector<std::unique_ptr<LASpoint>>;

constexpr size_t kLayerTestPoints = 50;
constexpr uint8_t kIgnoredClass = 7;

// The header the points are quantized with.
inline void layer_test_header(LASheader* h) {
  h->version_minor = 4;
  h->header_size = 375;
  h->point_data_format = 3;
  h->point_data_record_length = 34;
  h->x_scale_factor = h->y_scale_factor = h->z_scale_factor = 0.01;
  h->x_offset = 1000.0;
  h->y_offset = 2000.0;
  h->z_offset = 10.0;
  h->number_of_point_records = 40;
  h->min_x = h->min_y = h->min_z = -1;
  h->max_x = h->max_y = h->max_z = 1;
  std::memcpy(h->system_identifier, "layer test", 10);
}

// Every field, so that a copy keeps the extended fields of legacy points too.
inline void copy_point(LASpoint* to, const LASpoint& from) {
  static_cast<LASpointData&>(*to) = from;
  to->deleted_flag = from.deleted_flag;
}

inline PointList layer_test_points(const LASheader* h) {
  PointList points;
  for (size_t i = 0; i < kLayerTestPoints; i++) {
    auto p = std::make_unique<LASpoint>();
    // The last point is a LAS 1.4 point (format 8: GPS time, colour, NIR).
    const bool extended = i == kLayerTestPoints - 1;
    p->init_for_point_type(h, extended ? 8 : 3, extended ? 38 : 34, nullptr);
    const int32_t k = static_cast<int32_t>(i);
    p->X = k * 100 + 37;
    p->Y = 5000 - k * 13;
    p->Z = (k * k * 7) % 1000 - 300;
    p->intensity = static_cast<uint16_t>(k * 321);
    // Return numbers 0-7 against counts 0-6 meet all four return contexts.
    p->set_return_number(static_cast<uint8_t>(i % 8));
    p->set_number_of_returns(static_cast<uint8_t>((i / 8) % 8));
    const uint8_t c = i % 7 == 3 ? kIgnoredClass : static_cast<uint8_t>(i % 5);
    p->set_classification(c);
    p->set_synthetic_flag(i % 3 == 0);
    p->set_keypoint_flag(i % 4 == 0);
    p->set_withheld_flag(i % 6 == 0);
    p->scan_angle_rank = static_cast<int8_t>(k - 25);
    p->user_data = static_cast<uint8_t>(i * 3);
    p->point_source_ID = static_cast<uint16_t>(100 + i);
    p->gps_time = 1000.0 + 0.5 * k;
    p->rgb[0] = static_cast<uint16_t>(k * 1111);
    p->rgb[1] = static_cast<uint16_t>(k * 1111 + (i % 2 ? 257 : 0));
    p->rgb[2] = static_cast<uint16_t>(k * 1111 + (i % 3 ? 3 : 0));
    p->rgb[3] = static_cast<uint16_t>(k * 777);
    p->extended_classification = c;
    p->set_extended_scanner_channel(static_cast<uint8_t>(i % 4));
    p->set_extended_classification_flags(static_cast<uint8_t>(i % 16));
    p->set_extended_return_number(static_cast<uint8_t>(i % 8));
    p->set_extended_number_of_returns(static_cast<uint8_t>((i / 8) % 8));
    p->extended_scan_angle = static_cast<int16_t>(k * 50 - 1000);
    points.push_back(std::move(p));
  }
  return points;
}

inline LASignore layer_test_ignore() {
  LASignore ignore;
  ignore.flags = 1;
  ignore.classes[0] = 1u << kIgnoredClass;
  return ignore;
}

// The first differing field of two points, or "".
inline std::string point_difference(const LASpoint& a, const LASpoint& b) {
#define PL_FIELD(name, expr)                                                                    \
  if ((a.expr) != (b.expr)) {                                                                   \
    char text[160];                                                                             \
    std::snprintf(text, sizeof(text), "%s: %g != %g", name, double(a.expr), double(b.expr));     \
    return text;                                                                                \
  }
  PL_FIELD("X", X)
  PL_FIELD("Y", Y)
  PL_FIELD("Z", Z)
  PL_FIELD("intensity", intensity)
  PL_FIELD("return_byte", return_byte)
  PL_FIELD("class_byte", class_byte)
  PL_FIELD("scan_angle_rank", scan_angle_rank)
  PL_FIELD("user_data", user_data)
  PL_FIELD("point_source_ID", point_source_ID)
  PL_FIELD("extended_scan_angle", extended_scan_angle)
  PL_FIELD("extended_flags_byte", extended_flags_byte)
  PL_FIELD("extended_classification", extended_classification)
  PL_FIELD("extended_return_byte", extended_return_byte)
  PL_FIELD("gps_time", gps_time)
  PL_FIELD("red", rgb[0])
  PL_FIELD("green", rgb[1])
  PL_FIELD("blue", rgb[2])
  PL_FIELD("nir", rgb[3])
  PL_FIELD("deleted_flag", deleted_flag)
#undef PL_FIELD
  return "";
}

#endif  // TESTS_LAYERS_LAYER_TEST_POINTS_HPP
