// Every criterion family against single points, boundaries included.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "core/las_attributes.hpp"
#include "filter_test_point.hpp"

namespace {

struct Case {
  const char* options;
  void (*set)(TestPoint&);
  bool kept;
};

#define P(...) [](TestPoint& p) { p.__VA_ARGS__; }

const Case kCases[] = {
    // scaled coordinates: minimum inclusive, maximum exclusive
    {"-keep_x 10 20", P(x(10)), true},
    {"-keep_x 10 20", P(x(20)), false},
    {"-keep_x 10 20", P(x(9.875)), false},
    {"-drop_x 10 20", P(x(10)), false},
    {"-drop_x 10 20", P(x(20)), true},
    {"-keep_y 10 20", P(y(19.875)), true},
    {"-keep_y 10 20", P(y(20)), false},
    {"-drop_y 10 20", P(y(10)), false},
    {"-drop_y 10 20", P(y(20)), true},
    {"-keep_z 10 20", P(z(10)), true},
    {"-keep_z 10 20", P(z(20)), false},
    {"-drop_z 10 20", P(z(10)), false},
    {"-drop_z 10 20", P(z(20)), true},
    {"-drop_x_below 5", P(x(5)), true},
    {"-drop_x_below 5", P(x(4.875)), false},
    {"-drop_x_above 5", P(x(5)), false},
    {"-drop_x_above 5", P(x(4.875)), true},
    {"-drop_y_below 5", P(y(5)), true},
    {"-drop_y_below 5", P(y(4.875)), false},
    {"-drop_y_above 5", P(y(5)), false},
    {"-drop_y_above 5", P(y(4.875)), true},
    {"-drop_z_below 5", P(z(5)), true},
    {"-drop_z_below 5", P(z(4.875)), false},
    {"-drop_z_above 5", P(z(5)), false},
    {"-drop_z_above 5", P(z(4.875)), true},
    {"-keep_z_above 5", P(z(5)), true},
    {"-keep_z_below 5", P(z(5)), false},
    {"-keep_xy 0 0 10 10", P(xy(0, 0)), true},
    {"-keep_xy 0 0 10 10", P(xy(10, 5)), false},
    {"-keep_xy 0 0 10 10", P(xy(5, 10)), false},
    {"-drop_xy 0 0 10 10", P(xy(0, 9.875)), false},
    {"-drop_xy 0 0 10 10", P(xy(0, 10)), true},
    {"-keep_xyz 0 0 0 10 10 10", P(xyz(0, 0, 0)), true},
    {"-keep_xyz 0 0 0 10 10 10", P(xyz(5, 5, 10)), false},
    {"-drop_xyz 0 0 0 10 10 10", P(xyz(5, 5, 9.875)), false},
    {"-drop_xyz 0 0 0 10 10 10", P(xyz(5, 10, 5)), true},
    {"-keep_tile 100 200 50", P(xy(100, 200)), true},
    {"-keep_tile 100 200 50", P(xy(150, 200)), false},
    {"-keep_tile 100 200 50", P(xy(149.875, 249.875)), true},
    {"-keep_tile 100 200 50", P(xy(100, 250)), false},
    {"-keep_circle 0 0 5", P(xy(3, 4)), false},  // exactly on the circle
    {"-keep_circle 0 0 5", P(xy(3, 3.875)), true},
    {"-keep_circle 0 0 5", P(xy(0, 0)), true},
    // profile from (0,0) to (10,0), 4 wide: edges are kept
    {"-keep_profile 0 0 10 0 4", P(xy(5, 2)), true},
    {"-keep_profile 0 0 10 0 4", P(xy(5, -2)), true},
    {"-keep_profile 0 0 10 0 4", P(xy(5, 2.125)), false},
    {"-keep_profile 0 0 10 0 4", P(xy(0, 0)), true},
    {"-keep_profile 0 0 10 0 4", P(xy(10, 0)), true},
    {"-keep_profile 0 0 10 0 4", P(xy(10.125, 0)), false},
    {"-keep_profile 0 0 10 0 4", P(xy(-0.125, 1)), false},
    {"-keep_profile 0 0 0 10 2", P(xy(1, 10)), true},
    {"-keep_profile 0 0 0 10 2", P(xy(1.125, 5)), false},
    // raw coordinates
    {"-keep_X 10 20", P(X(10)), true},
    {"-keep_X 10 20", P(X(20)), false},
    {"-drop_X 10 20", P(X(10)), false},
    {"-drop_X 10 20", P(X(20)), true},
    {"-keep_Y 10 20", P(Y(9)), false},
    {"-drop_Y 10 20", P(Y(19)), false},
    {"-keep_Z -5 5", P(Z(-5)), true},
    {"-drop_Z -5 5", P(Z(5)), true},
    {"-drop_X_below 3", P(X(2)), false},
    {"-drop_X_above 3", P(X(3)), false},
    {"-drop_Y_below 3", P(Y(3)), true},
    {"-drop_Y_above 3", P(Y(2)), true},
    {"-drop_Z_below 3", P(Z(2)), false},
    {"-drop_Z_above 3", P(Z(3)), false},
    {"-keep_Z_above 3", P(Z(3)), true},
    {"-keep_Z_below 3", P(Z(3)), false},
    {"-keep_XY 0 0 10 10", P(X(0).Y(9)), true},
    {"-keep_XY 0 0 10 10", P(X(0).Y(10)), false},
    // returns
    {"-keep_first", P(rn(1, 3)), true},
    {"-keep_first", P(rn(2, 3)), false},
    {"-keep_first", P(rn(0, 3)), true},
    {"-first_only", P(rn(2, 2)), false},
    {"-drop_first", P(rn(1, 1)), false},
    {"-drop_first", P(rn(0, 1)), true},
    {"-keep_first_of_many", P(rn(1, 1)), false},
    {"-keep_first_of_many", P(rn(1, 2)), true},
    {"-drop_first_of_many", P(rn(1, 2)), false},
    {"-drop_first_of_many", P(rn(0, 2)), true},
    {"-drop_first_of_many", P(rn(1, 1)), true},
    {"-keep_middle", P(rn(2, 3)), true},
    {"-keep_middle", P(rn(3, 3)), false},
    {"-keep_middle", P(rn(1, 3)), false},
    {"-drop_middle", P(rn(2, 3)), false},
    {"-drop_middle", P(rn(3, 3)), true},
    {"-keep_last", P(rn(3, 3)), true},
    {"-keep_last", P(rn(4, 3)), true},
    {"-keep_last", P(rn(2, 3)), false},
    {"-last_only", P(rn(1, 1)), true},
    {"-drop_last", P(rn(1, 1)), false},
    {"-drop_last", P(rn(1, 2)), true},
    {"-keep_last_of_many", P(rn(1, 1)), false},
    {"-keep_last_of_many", P(rn(2, 2)), true},
    {"-drop_last_of_many", P(rn(2, 2)), false},
    {"-drop_last_of_many", P(rn(1, 1)), true},
    {"-keep_second_last", P(rn(2, 3)), true},
    {"-keep_second_last", P(rn(0, 1)), false},
    {"-keep_second_last", P(rn(3, 3)), false},
    {"-drop_second_last", P(rn(1, 2)), false},
    {"-drop_second_last", P(rn(0, 1)), true},
    {"-keep_single", P(rn(1, 1)), true},
    {"-keep_single", P(rn(1, 2)), false},
    {"-keep_double", P(rn(1, 2)), true},
    {"-keep_triple", P(rn(1, 2)), false},
    {"-keep_quadruple", P(rn(1, 4)), true},
    {"-keep_quintuple", P(rn(1, 5)), true},
    {"-drop_single", P(rn(1, 1)), false},
    {"-drop_double", P(rn(1, 1)), true},
    {"-drop_triple", P(rn(2, 3)), false},
    {"-drop_quadruple", P(rn(2, 4)), false},
    {"-drop_quintuple", P(rn(2, 4)), true},
    {"-keep_number_of_returns 7", P(rn(2, 7)), true},
    {"-keep_number_of_returns 7", P(rn(2, 6)), false},
    {"-drop_number_of_returns 0", P(rn(1, 0)), false},
    {"-drop_number_of_returns 0", P(rn(1, 1)), true},
    {"-keep_return 1 3", P(rn(3, 3)), true},
    {"-keep_return 1 3", P(rn(2, 3)), false},
    {"-keep_return 0", P(rn(0, 3)), true},
    {"-drop_return 2", P(rn(2, 3)), false},
    {"-drop_return 2", P(rn(1, 3)), true},
    {"-keep_return_mask 6", P(rn(1, 3)), true},
    {"-keep_return_mask 6", P(rn(3, 3)), false},
    {"-drop_return_mask 6", P(rn(2, 3)), false},
    {"-drop_return_mask 6", P(rn(3, 3)), true},
    // classifications and flags
    {"-keep_class 2 6", P(cls(2)), true},
    {"-keep_class 2 6", P(cls(6)), true},
    {"-keep_class 2 6", P(cls(3)), false},
    {"-keep_classification 31", P(cls(31)), true},
    {"-drop_class 2 6", P(cls(6)), false},
    {"-drop_class 2 6", P(cls(0)), true},
    {"-keep_classification_mask 4", P(cls(2)), true},
    {"-keep_classification_mask 4", P(cls(1)), false},
    {"-drop_classification_mask 4", P(cls(2)), false},
    {"-keep_extended_class 200", P(ext_cls(200)), true},
    {"-keep_extended_class 200", P(ext_cls(201)), false},
    {"-drop_extended_class 255 0", P(ext_cls(255)), false},
    {"-drop_extended_class 255 0", P(ext_cls(0)), false},
    {"-drop_extended_class 255 0", P(ext_cls(128)), true},
    {"-drop_extended_classification_mask 2147483648 0 0 0 0 0 0 1", P(ext_cls(255)), false},
    {"-drop_extended_classification_mask 2147483648 0 0 0 0 0 0 1", P(ext_cls(0)), false},
    {"-drop_extended_classification_mask 2147483648 0 0 0 0 0 0 1", P(ext_cls(1)), true},
    {"-drop_synthetic", P(synthetic()), false},
    {"-drop_synthetic", P(cls(1)), true},
    {"-keep_synthetic", P(synthetic()), true},
    {"-keep_synthetic", P(cls(1)), false},
    {"-drop_keypoint", P(keypoint()), false},
    {"-keep_keypoint", P(keypoint()), true},
    {"-keep_keypoint", P(synthetic()), false},
    {"-drop_withheld", P(withheld()), false},
    {"-keep_withheld", P(withheld()), true},
    {"-keep_withheld", P(keypoint()), false},
    {"-drop_overlap", P(overlap()), false},
    {"-drop_overlap", P(withheld()), true},
    {"-keep_overlap", P(overlap()), true},
    {"-keep_overlap", P(withheld()), false},
    // scan line and scanner channel
    {"-drop_scan_direction 1", P(direction(1)), false},
    {"-drop_scan_direction 1", P(direction(0)), true},
    {"-keep_edge_of_flight_line", P(edge()), true},
    {"-keep_edge_of_flight_line", P(direction(1)), false},
    {"-keep_scanner_channel 2", P(channel(2)), true},
    {"-keep_scanner_channel 2", P(channel(3)), false},
    {"-drop_scanner_channel 3", P(channel(3)), false},
    {"-drop_scanner_channel 3", P(channel(0)), true},
    // intensity: closed ranges
    {"-keep_intensity 20 380", P(intensity(20)), true},
    {"-keep_intensity 20 380", P(intensity(380)), true},
    {"-keep_intensity 20 380", P(intensity(381)), false},
    {"-keep_intensity 20 380", P(intensity(19)), false},
    {"-keep_intensity_below 20", P(intensity(19)), true},
    {"-keep_intensity_below 20", P(intensity(20)), false},
    {"-keep_intensity_above 20", P(intensity(21)), true},
    {"-keep_intensity_above 20", P(intensity(20)), false},
    {"-drop_intensity_below 20", P(intensity(20)), true},
    {"-drop_intensity_below 20", P(intensity(19)), false},
    {"-drop_intensity_above 380", P(intensity(380)), true},
    {"-drop_intensity_above 380", P(intensity(381)), false},
    {"-drop_intensity_between 4000 5000", P(intensity(4000)), false},
    {"-drop_intensity_between 4000 5000", P(intensity(5000)), false},
    {"-drop_intensity_between 4000 5000", P(intensity(5001)), true},
    // scan angle: closed ranges
    {"-keep_scan_angle -15 15", P(angle(-15)), true},
    {"-keep_scan_angle 15 -15", P(angle(15)), true},
    {"-keep_scan_angle -15 15", P(angle(16)), false},
    {"-keep_scan_angle_between -15 15", P(angle(-16)), false},
    {"-drop_abs_scan_angle_above 15", P(angle(-15)), true},
    {"-drop_abs_scan_angle_above 15", P(angle(-16)), false},
    {"-drop_abs_scan_angle_below 3", P(angle(-2)), false},
    {"-drop_abs_scan_angle_below 3", P(angle(3)), true},
    {"-drop_abs_scan_angle_below 3", P(angle(-3)), true},
    {"-drop_scan_angle_below -15", P(angle(-15)), true},
    {"-drop_scan_angle_below -15", P(angle(-16)), false},
    {"-drop_scan_angle_above 15", P(angle(15)), true},
    {"-drop_scan_angle_above 15", P(angle(16)), false},
    {"-drop_scan_angle_between -23 -25", P(angle(-25)), false},
    {"-drop_scan_angle_between -25 -23", P(angle(-22)), true},
    // user data: closed ranges
    {"-keep_user_data 1", P(user(1)), true},
    {"-keep_user_data 1", P(user(0)), false},
    {"-keep_user_data 255", P(user(255)), true},
    {"-keep_user_data_below 50", P(user(49)), true},
    {"-keep_user_data_below 50", P(user(50)), false},
    {"-keep_user_data_above 150", P(user(150)), false},
    {"-keep_user_data_above 150", P(user(151)), true},
    {"-keep_user_data_between 10 20", P(user(10)), true},
    {"-keep_user_data_between 10 20", P(user(20)), true},
    {"-keep_user_data_between 10 20", P(user(21)), false},
    {"-drop_user_data 255", P(user(255)), false},
    {"-drop_user_data 3 4", P(user(4)), false},
    {"-drop_user_data 3 4", P(user(5)), true},
    {"-drop_user_data_below 1", P(user(0)), false},
    {"-drop_user_data_below 1", P(user(1)), true},
    {"-drop_user_data_above 100", P(user(100)), true},
    {"-drop_user_data_above 100", P(user(101)), false},
    {"-drop_user_data_between 10 40", P(user(10)), false},
    {"-drop_user_data_between 10 40", P(user(40)), false},
    {"-drop_user_data_between 10 40", P(user(41)), true},
    // point source: closed ranges
    {"-keep_point_source 3", P(source(3)), true},
    {"-keep_point_source 3", P(source(4)), false},
    {"-keep_point_source 3 5", P(source(5)), true},
    {"-keep_point_source 3 5", P(source(4)), false},
    {"-keep_point_source 3 5 65535", P(source(65535)), true},
    {"-keep_point_source_between 2 6", P(source(2)), true},
    {"-keep_point_source_between 2 6", P(source(6)), true},
    {"-keep_point_source_between 2 6", P(source(7)), false},
    {"-drop_point_source 27", P(source(27)), false},
    {"-drop_point_source 27 28", P(source(28)), false},
    {"-drop_point_source 27", P(source(26)), true},
    {"-drop_point_source_below 6", P(source(5)), false},
    {"-drop_point_source_below 6", P(source(6)), true},
    {"-drop_point_source_above 15", P(source(15)), true},
    {"-drop_point_source_above 15", P(source(16)), false},
    {"-drop_point_source_between 17 21", P(source(17)), false},
    {"-drop_point_source_between 17 21", P(source(21)), false},
    {"-drop_point_source_between 17 21", P(source(22)), true},
    // GPS time: closed ranges; no GPS time, no drop
    {"-keep_gps_time 11.125 130.725", P(time(11.125)), true},
    {"-keep_gps_time 11.125 130.725", P(time(130.725)), true},
    {"-keep_gps_time 11.125 130.725", P(time(11)), false},
    {"-keep_gps_time 11.125 130.725", P(time_without_flag(11)), true},
    {"-keep_gpstime 1 2", P(time(3)), false},
    {"-keep_gps_time_between 1 2", P(time(2)), true},
    {"-keep_gpstime_between 1 2", P(time(0.5)), false},
    {"-keep_gps_time_above 5", P(time(5)), true},
    {"-keep_gps_time_above 5", P(time(4.5)), false},
    {"-keep_gpstime_above 5", P(time(4.5)), false},
    {"-keep_gps_time_below 5", P(time(5)), true},
    {"-keep_gps_time_below 5", P(time(5.5)), false},
    {"-keep_gpstime_below 5", P(time(5.5)), false},
    {"-drop_gps_time_below 11.125", P(time(11.125)), true},
    {"-drop_gps_time_below 11.125", P(time(11)), false},
    {"-drop_gps_time_below 11.125", P(time_without_flag(11)), true},
    {"-drop_gpstime_below 11.125", P(time(11)), false},
    {"-drop_gps_time_above 130.725", P(time(130.725)), true},
    {"-drop_gps_time_above 130.725", P(time(131)), false},
    {"-drop_gpstime_above 130.725", P(time(131)), false},
    {"-drop_gps_time_between 22.0 48.0", P(time(22)), false},
    {"-drop_gps_time_between 22.0 48.0", P(time(48)), false},
    {"-drop_gps_time_between 22.0 48.0", P(time(48.5)), true},
    {"-drop_gpstime_between 22.0 48.0", P(time_without_flag(30)), true},
    // colour channels: closed ranges, given in either order
    {"-keep_RGB_red 1 1", P(rgbn(1, 0, 0)), true},
    {"-keep_RGB_red 1 1", P(rgbn(2, 0, 0)), false},
    {"-keep_RGB_green 100 30", P(rgbn(0, 30, 0)), true},
    {"-keep_RGB_blue 0 0", P(rgbn(0, 0, 1)), false},
    {"-keep_RGB_nir 64 127", P(rgbn(0, 0, 0, 127)), true},
    {"-keep_RGB_nir 64 127", P(rgbn(0, 0, 0, 128)), false},
    {"-drop_RGB_red 5000 20000", P(rgbn(5000, 0, 0)), false},
    {"-drop_RGB_red 5000 20000", P(rgbn(20001, 0, 0)), true},
    {"-drop_RGB_green 2000 10000", P(rgbn(0, 10000, 0)), false},
    {"-drop_RGB_blue 1 2", P(rgbn(0, 0, 3)), true},
    {"-drop_RGB_nir 1 2", P(rgbn(0, 0, 0, 2)), false},
    {"-keep_RGB_greenness 200 65535", P(rgbn(0, 100, 0)), true},       // 200
    {"-keep_RGB_greenness 200 65535", P(rgbn(1, 100, 0)), false},      // 199
    {"-keep_RGB_greenness 200 65535", P(rgbn(100, 150, 100)), false},  // 100
    // vegetation indices in single precision
    {"-keep_NDVI 0.2 0.7", P(rgbn(100, 0, 0, 300)), true},   // 0.5
    {"-keep_NDVI 0.2 0.7", P(rgbn(100, 0, 0, 100)), false},  // 0
    {"-keep_NDVI 0.7 0.2", P(rgbn(100, 0, 0, 900)), false},  // 0.8
    {"-keep_NDVI 0.2 0.7", P(rgbn(0, 0, 0, 0)), true},       // undefined
    {"-keep_NDVI 0.5 0.7", P(rgbn(100, 0, 0, 300)), true},   // exactly min
    {"-keep_NDVI_green_is_NIR -0.2 0.2", P(rgbn(100, 100, 0, 900)), true},
    {"-keep_NDVI_green_is_NIR -0.2 0.2", P(rgbn(100, 300, 0, 0)), false},
    {"-keep_NDVI_blue_is_NIR 0.4 1", P(rgbn(100, 0, 300, 0)), true},
    {"-keep_NDVI_from_CIR -0.1 0.5", P(rgbn(300, 100, 0)), true},   // 0.5
    {"-keep_NDVI_from_CIR -0.1 0.5", P(rgbn(100, 300, 0)), false},  // -0.5
    {"-keep_NDVI_intensity_is_NIR 0.4 0.8", P(rgbn(100, 0, 0).intensity(300)), true},
    {"-keep_NDVI_intensity_is_NIR 0.4 0.8", P(rgbn(300, 0, 0).intensity(100)), false},
    // wave packet descriptor index
    {"-keep_wavepacket 0", P(wavepacket(0)), true},
    {"-keep_wavepacket 0", P(wavepacket(3)), false},
    {"-drop_wavepacket 3", P(wavepacket(3)), false},
    {"-drop_wavepacket 3", P(wavepacket(2)), true},
    // attributes of a point without an attribute table read as 0.0
    {"-keep_attribute_above 0 5.0", P(user(0)), false},
    {"-keep_attribute_above 0 -1", P(user(0)), true},
    {"-keep_attribute_below 0 0", P(user(0)), false},
    {"-keep_attribute_below 0 0.5", P(user(0)), true},
    {"-keep_attribute_between 2 0 1", P(user(0)), true},
    {"-keep_attribute_between 2 1 2", P(user(0)), false},
    {"-drop_attribute_below 1 1.5", P(user(0)), false},
    {"-drop_attribute_below 1 0", P(user(0)), true},
    {"-drop_attribute_above 1 -1", P(user(0)), false},
    {"-drop_attribute_above 1 0", P(user(0)), true},
    {"-drop_attribute_between 0 0 0", P(user(0)), false},
    {"-drop_attribute_between 0 1 2", P(user(0)), true},
    // combinations
    {"-keep_class 2 -keep_intensity 0 10 -filter_or", P(cls(2).intensity(5)), true},
    {"-keep_class 2 -keep_intensity 0 10 -filter_or", P(cls(2).intensity(11)), false},
    {"-keep_class 2 -keep_intensity 0 10 -filter_and", P(cls(3).intensity(5)), true},
    {"-keep_class 2 -keep_intensity 0 10 -filter_and", P(cls(3).intensity(11)), false},
};

#undef P

TEST(Criteria, EachFamilyOnSinglePoints) {
  for (const Case& c : kCases) {
    LASfilter filter;
    ASSERT_TRUE(parse_filter(filter, c.options)) << c.options;
    TestPoint p;
    c.set(p);
    EXPECT_EQ(!filter.rejects(&p.point), c.kept) << c.options;
  }
}

// The field-mask bits that a compressed reader must decode for each criterion.
struct MaskCase {
  const char* options;
  uint32_t mask;
};

const MaskCase kMaskCases[] = {
    {"-keep_x 0 1", 0},
    {"-keep_z 0 1", 1},
    {"-keep_xyz 0 0 0 1 1 1", 1},
    {"-drop_Z_below 3", 1},
    {"-keep_first", 0},
    {"-keep_class 2", 2},
    {"-keep_extended_class 200", 2},
    {"-drop_withheld", 4},
    {"-keep_scan_direction_change", 4},
    {"-keep_scanner_channel 1", 0},
    {"-keep_intensity 0 1", 8},
    {"-keep_scan_angle -1 1", 16},
    {"-keep_user_data 1", 32},
    {"-keep_point_source 1", 64},
    {"-keep_gps_time 0 1", 128},
    {"-thin_with_time 1", 128},
    {"-keep_RGB_red 0 1", 256},
    {"-keep_RGB_nir 0 1", 768},
    {"-keep_NDVI 0 1", 768},
    {"-keep_NDVI_green_is_NIR 0 1", 256},
    {"-keep_NDVI_intensity_is_NIR 0 1", 264},
    {"-keep_wavepacket 1", 1024},
    {"-keep_attribute_below 0 1", 0xFFFF0000u},
    {"-keep_z 0 1 -keep_intensity 0 1 -filter_or", 9},
    {"-keep_every_nth 2", 0},
};

TEST(Criteria, NeededFieldsMask) {
  for (const MaskCase& c : kMaskCases) {
    LASfilter filter;
    ASSERT_TRUE(parse_filter(filter, c.options)) << c.options;
    ASSERT_EQ(filter.count(), 1u) << c.options;
    EXPECT_EQ(filter.criterion(0)->needed_fields_mask(), c.mask) << c.options;
  }
}

// Stateful criteria: a sequence of points and which of them are kept.
struct SequenceCase {
  const char* options;
  std::vector<void (*)(TestPoint&)> points;
  const char* kept;  // one character per point: 'k' kept, 'd' dropped
};

#define P(...) [](TestPoint& p) { p.__VA_ARGS__; }

TEST(Criteria, StatefulSequences) {
  const SequenceCase cases[] = {
      {"-keep_every_nth 1", {P(x(0)), P(x(0)), P(x(0))}, "kkk"},
      {"-keep_every_nth 2", {P(x(0)), P(x(0)), P(x(0)), P(x(0))}, "dkdk"},
      {"-drop_every_nth 1", {P(x(0)), P(x(0)), P(x(0))}, "ddd"},
      {"-drop_every_nth 3", {P(x(0)), P(x(0)), P(x(0)), P(x(0))}, "kkdk"},
      {"-keep_scan_direction_change",
       {P(direction(0)), P(direction(0)), P(direction(1)), P(direction(1)), P(direction(0))},
       "ddkdk"},
      {"-keep_scan_direction_change", {P(direction(1)), P(direction(0))}, "dk"},
      // first point of every slot of 1 time unit; floors towards minus infinity
      {"-thin_points_with_time 1",
       {P(time(0.5)), P(time(0.75)), P(time(1)), P(time(-0.5)), P(time(-0.25)), P(time(1.5))},
       "kdkkdd"},
      {"-thin_points_with_time 1", {P(time_without_flag(0.5)), P(time(0)), P(time(0.9))}, "kdd"},
      // every return of the first pulse of a slot, not a later pulse
      {"-thin_pulses_with_time 1",
       {P(time(0.25)), P(time(0.25)), P(time(0.5)), P(time(0.25)), P(time(1.25))},
       "kkdkk"},
      {"-thin_with_time 1", {P(time(0.25)), P(time(0.5))}, "kd"},
      // cells of 1: same cell, both sides of an edge, left of the row's first
      // point and rows below the first point
      {"-thin_with_grid 1",
       {P(xy(5.25, 5.25)), P(xy(5.75, 5.5)), P(xy(5.875, 5)), P(xy(6, 5)), P(xy(4.875, 5)),
        P(xy(4.5, 5.5)), P(xy(-3, 5)), P(xy(-3.5, 5.5)), P(xy(5, 4.875)), P(xy(5.5, 4)),
        P(xy(5, -7)), P(xy(-9, -7)), P(xy(-9.5, -6.5)), P(xy(6, 6))},
       "kddkkdkkkdkkkk"},
      // a row far to the right of its first point
      {"-thin_with_grid 1",
       {P(xy(0, 0)), P(xy(3000000, 0)), P(xy(3000000.5, 0)), P(xy(-3000000, 0))},
       "kkdk"},
      // cells of a millimetre 40,000 km apart: memory for the cells met, not the extent
      {"-thin_with_grid 0.001",
       {P(xy(-2e7, -2e7)), P(xy(2e7, 2e7)), P(xy(2e7, 2e7)), P(xy(-2e7, 2e7)), P(xy(2e7, -2e7)),
        P(xy(-2e7, -2e7))},
       "kkdkkd"},
  };
  for (const SequenceCase& c : cases) {
    LASfilter filter;
    ASSERT_TRUE(parse_filter(filter, c.options)) << c.options;
    std::string kept;
    for (auto set : c.points) {
      TestPoint p;
      set(p);
      kept += filter.rejects(&p.point) ? 'd' : 'k';
    }
    EXPECT_EQ(kept, c.kept) << c.options;
  }
}

#undef P

// restart brings the per-file state back; every-nth runs on across files
TEST(Criteria, RestartStartsStatefulCriteriaAfresh) {
  const struct {
    const char* options;
    const char* first_file;
    const char* second_file;
  } cases[] = {
      {"-keep_scan_direction_change", "dk", "dk"}, {"-thin_with_grid 1", "kd", "kd"},
      {"-thin_points_with_time 1", "kd", "kd"},    {"-thin_pulses_with_time 1", "kd", "kd"},
      {"-keep_every_nth 3", "dd", "kd"},
  };
  for (const auto& c : cases) {
    LASfilter filter;
    ASSERT_TRUE(parse_filter(filter, c.options));
    std::string files[2];
    for (int f = 0; f < 2; f++) {
      filter.restart_all();
      for (int k = 0; k < 2; k++) {
        TestPoint p;
        p.xy(0.5 + k * 0.25, 0.5).time(0.25 + k * 0.5).direction(k);
        files[f] += filter.rejects(&p.point) ? 'd' : 'k';
      }
    }
    EXPECT_EQ(files[0], c.first_file) << c.options;
    EXPECT_EQ(files[1], c.second_file) << c.options;
  }
}

}  // namespace

namespace {

// Attributes read through the point's attribute table: attribute 0 is a u16
// scaled by 0.5, attribute 1 an f64; attribute 2 claims bytes the point lacks.
TEST(Criteria, AttributesReadThroughTheTable) {
  LASattributeDescriptor d[3] = {};
  d[0].data_type = 3;
  d[0].options = LASattributeDescriptor::kScaleBit;
  d[0].scale[0] = 0.5;
  d[1].data_type = 10;
  d[2].data_type = 10;
  LASattributeTable table;
  ASSERT_TRUE(table.load_descriptors(3, d));
  TestPoint p;
  p.point.extra_bytes_number = 10;  // room for attributes 0 and 1 only
  p.point.extra_bytes = std::make_unique<uint8_t[]>(18);
  p.point.extra_bytes[0] = 10;  // 10 * 0.5 = 5.0
  const double minus_two = -2.0;
  memcpy(&p.point.extra_bytes[2], &minus_two, 8);
  p.point.attributer = &table;
  const struct {
    const char* options;
    bool kept;
  } cases[] = {
      {"-keep_attribute_below 0 5", false},       {"-keep_attribute_below 0 5.5", true},
      {"-keep_attribute_above 0 5", false},       {"-keep_attribute_above 0 4.5", true},
      {"-keep_attribute_between 0 5 5", true},    {"-keep_attribute_between 0 5.5 6", false},
      {"-drop_attribute_below 0 5", true},        {"-drop_attribute_below 0 5.5", false},
      {"-drop_attribute_above 0 5", true},        {"-drop_attribute_above 0 4.5", false},
      {"-drop_attribute_between 0 5 5", false},   {"-drop_attribute_between 0 4 4.5", true},
      {"-keep_attribute_below 1 -1.5", true},     {"-keep_attribute_below 1 -2", false},
      {"-drop_attribute_between 1 -2 -2", false}, {"-keep_attribute_between 2 -1 1", true},
      {"-keep_attribute_between 2 1 2", false},   {"-keep_attribute_between 3 -1 1", true},
  };
  for (const auto& c : cases) {
    LASfilter filter;
    ASSERT_TRUE(parse_filter(filter, c.options)) << c.options;
    EXPECT_EQ(!filter.rejects(&p.point), c.kept) << c.options;
  }
}

}  // namespace
