// Every operation family: option text, the point before and the point after.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "core/las_attributes.hpp"
#include "filter/operations_fields.hpp"
#include "platform/crt_random.hpp"
#include "transform_test_point.hpp"

namespace {

using F = Fields;

struct OperationCase {
  const char* options;
  Fields before;
  Fields after;
};

// All with x, y and z scale 0.01 and offset 0.
const OperationCase kCases[] = {
    // --- coordinates
    {"-translate_x 1.25", F().raw(100, 0, 0), F().raw(225, 0, 0)},
    {"-translate_y -2", F().raw(0, 100, 0), F().raw(0, -100, 0)},
    {"-translate_z 1.25", F().rawz(100), F().rawz(225)},
    // z = -0.75 is stored as -75 (-75 - 0.5 truncated)
    {"-translate_z 1.25", F().rawz(-200), F().rawz(-75)},
    {"-translate_z 0.005", F().rawz(0), F().rawz(1)},
    {"-translate_z -0.005", F().rawz(0), F().rawz(-1)},
    {"-translate_xyz 1 2 3", F().raw(0, 0, 0), F().raw(100, 200, 300)},
    {"-scale_x 2", F().raw(150, 1, 1), F().raw(300, 1, 1)},
    {"-scale_y 0.5", F().raw(1, 300, 1), F().raw(1, 150, 1)},
    {"-scale_z 3", F().rawz(-5), F().rawz(-15)},
    {"-scale_xyz 2 3 4", F().raw(1, 1, 1), F().raw(2, 3, 4)},
    {"-translate_then_scale_x 1 2", F().raw(100, 0, 0), F().raw(400, 0, 0)},
    {"-translate_then_scale_y 1 -1", F().raw(0, 100, 0), F().raw(0, -200, 0)},
    {"-translate_then_scale_z -1 10", F().rawz(150), F().rawz(500)},
    {"-rotate_xy 90 0 0", F().raw(100, 0, 7), F().raw(0, 100, 7)},
    {"-rotate_xz 90 1 0", F().raw(200, 5, 0), F().raw(100, 5, 100)},
    {"-rotate_yz 180 0 0", F().raw(9, 100, 50), F().raw(9, -100, -50)},
    {"-transform_affine 2,0,10,20", F().raw(100, 200, 3), F().raw(1200, 2400, 3)},
    // 648000 arc seconds are 180 degrees
    {"-transform_affine 1,648000,0,0", F().raw(100, 200, 3), F().raw(-100, -200, 3)},
    {"-transform_helmert 1,2,3", F().raw(0, 0, 0), F().raw(100, 200, 300)},
    {"-transform_helmert 1,2,3,0,0,0,0", F().raw(0, 0, 0), F().raw(100, 200, 300)},
    {"-transform_helmert 0,0,0,0,0,0,1000000", F().raw(100, 100, 100), F().raw(200, 200, 200)},
    {"-clamp_z 1 2", F().rawz(50), F().rawz(100)},
    {"-clamp_z 1 2", F().rawz(300), F().rawz(200)},
    {"-clamp_z 1 2", F().rawz(150), F().rawz(150)},
    {"-clamp_z_below 1", F().rawz(50), F().rawz(100)},
    {"-clamp_z_above 2", F().rawz(300), F().rawz(200)},
    {"-copy_intensity_into_z", F().inten(7), F().inten(7).rawz(700)},
    {"-copy_user_data_into_z", F().user(3), F().user(3).rawz(300)},
    {"-switch_x_y", F().raw(1, 2, 3), F().raw(2, 1, 3)},
    {"-switch_x_z", F().raw(1, 2, 3), F().raw(3, 2, 1)},
    {"-switch_y_z", F().raw(1, 2, 3), F().raw(1, 3, 2)},
    // --- raw integers wrap
    {"-translate_raw_x 5", F().raw(1, 1, 1), F().raw(6, 1, 1)},
    {"-translate_raw_y -5", F().raw(1, 1, 1), F().raw(1, -4, 1)},
    {"-translate_raw_z 2147483647", F().rawz(1), F().rawz(INT32_MIN)},
    {"-translate_raw_xyz 1 2 3", F().raw(1, 1, 1), F().raw(2, 3, 4)},
    {"-translate_raw_xy_at_random 0 0", F().raw(5, 6, 7), F().raw(5, 6, 7)},
    // the first draw from seed 0 is 38: (38 / 8) % 5 - 2 and (38 / 64) % 5 - 2
    {"-translate_raw_xy_at_random 2 2", F().raw(0, 0, 0), F().raw(2, -2, 0)},
    {"-clamp_raw_z 10 20", F().rawz(5), F().rawz(10)},
    {"-clamp_raw_z 10 20", F().rawz(25), F().rawz(20)},
    // --- intensity
    {"-set_intensity 7", F().inten(100), F().inten(7)},
    {"-scale_intensity 2.5", F().inten(30000), F().inten(65535)},
    {"-scale_intensity 2.5", F().inten(100), F().inten(250)},
    {"-translate_intensity -50", F().inten(20), F().inten(0)},
    {"-translate_intensity -50", F().inten(100), F().inten(50)},
    {"-translate_then_scale_intensity 10 0.5", F().inten(90), F().inten(50)},
    {"-clamp_intensity 10 20", F().inten(5), F().inten(10)},
    {"-clamp_intensity 10 20", F().inten(25), F().inten(20)},
    {"-clamp_intensity_below 10", F().inten(5), F().inten(10)},
    {"-clamp_intensity_above 20", F().inten(25), F().inten(20)},
    {"-copy_RGB_into_intensity", F().rgbn(1000, 2000, 3000),
     F().rgbn(1000, 2000, 3000).inten(1815)},
    {"-copy_R_into_intensity", F().rgbn(1, 2, 3, 4), F().rgbn(1, 2, 3, 4).inten(1)},
    {"-copy_G_into_intensity", F().rgbn(1, 2, 3, 4), F().rgbn(1, 2, 3, 4).inten(2)},
    {"-copy_B_into_intensity", F().rgbn(1, 2, 3, 4), F().rgbn(1, 2, 3, 4).inten(3)},
    {"-copy_NIR_into_intensity", F().rgbn(1, 2, 3, 4), F().rgbn(1, 2, 3, 4).inten(4)},
    {"-bin_gps_time_into_intensity 0.5", F().time(10.2), F().time(10.2).inten(20)},
    // 140000 keeps its low 16 bits
    {"-bin_gps_time_into_intensity 0.5", F().time(70000), F().time(70000).inten(8928)},
    // --- scan angle
    {"-scale_scan_angle 2", F().angle(90), F().angle(127)},
    {"-scale_scan_angle 2", F().angle(-90), F().angle(-128)},
    {"-translate_scan_angle -5", F().angle(10), F().angle(5)},
    {"-translate_then_scale_scan_angle 1 0.5", F().angle(10), F().angle(6)},
    {"-translate_then_scale_scan_angle 1 0.5", F().angle(-12), F().angle(-6)},
    {"-scale_scan_angle 2", F().extended().angle(10).eangle(100),
     F().extended().angle(20).eangle(100)},
    {"-set_scan_angle 12.5", F().angle(0), F().angle(13)},
    {"-set_scan_angle 12.5", F().extended(), F().extended().eangle(2083)},
    // --- classification and flags
    {"-set_classification 2", F().cbyte(0xE5).ecls(5), F().cbyte(0xE2).ecls(2)},
    {"-set_classification 40", F().cbyte(0xE5).ecls(5), F().cbyte(0xE0).ecls(40)},
    {"-set_extended_classification 41", F().cls(3), F().cls(0).ecls(41)},
    {"-set_classification_of_all 6", F().cls(3), F().cls(6)},
    {"-change_classification_from_to 2 40", F().cbyte(0xA2).ecls(2), F().cbyte(0xA0).ecls(40)},
    {"-change_classification_from_to 40 2", F().cls(2), F().cls(2)},
    {"-change_classification_from_to 40 2", F().cls(0).ecls(40), F().cls(2)},
    {"-change_class_from_to 3 4", F().cls(3), F().cls(4)},
    {"-change_extended_class_from_to 3 4", F().cls(5), F().cls(5)},
    {"-change_extended_classification_from_to 6 46", F().cls(6), F().cls(0).ecls(46)},
    {"-classify_z_below_as 1.0 7", F().rawz(50), F().rawz(50).cls(7)},
    {"-classify_z_below_as 1.0 7", F().rawz(150), F().rawz(150)},
    {"-classify_z_above_as 1.0 7", F().rawz(150), F().rawz(150).cls(7)},
    {"-classify_z_between_as 1 2 4", F().rawz(150), F().rawz(150).cls(4)},
    {"-classify_z_between_as 1 2 4", F().rawz(250), F().rawz(250)},
    {"-classify_intensity_below_as 30 11", F().inten(20), F().inten(20).cls(11)},
    {"-classify_intensity_above_as 200 9", F().inten(201), F().inten(201).cls(9)},
    {"-classify_intensity_above_as 200 9", F().inten(200), F().inten(200)},
    {"-classify_intensity_between_as 500 900 15", F().inten(900), F().inten(900).cls(15)},
    // the low byte of 260 is 4; of 300 it is 44, which is no legacy class
    {"-copy_intensity_into_classification", F().inten(260), F().inten(260).cls(4)},
    {"-copy_intensity_into_classification", F().inten(300), F().inten(300)},
    {"-copy_user_data_into_classification", F().user(5), F().user(5).cls(5)},
    {"-copy_user_data_into_classification", F().user(40), F().user(40)},
    {"-copy_user_data_into_classification", F().extended().user(40),
     F().extended().user(40).ecls(40)},
    {"-move_ancient_to_extended_classification", F().cbyte(0x45).eflags(0x70),
     F().cbyte(0).ecls(0x45).eflags(0)},
    {"-move_ancient_to_extended_classification", F().cbyte(0x05), F().cbyte(0x05)},
    {"-set_withheld_flag 1", F(), F().cbyte(0x80).eflags(0x40)},
    {"-set_withheld_flag 0", F().cbyte(0x83).eflags(0x40), F().cbyte(0x03).eflags(0)},
    {"-set_synthetic_flag 1", F(), F().cbyte(0x20).eflags(0x10)},
    {"-set_keypoint_flag 1", F(), F().cbyte(0x40).eflags(0x20)},
    {"-set_overlap_flag 1", F(), F().eflags(0x80)},
    {"-set_extended_overlap_flag 0", F().eflags(0x81), F().eflags(0x01)},
    {"-set_scan_direction_flag 1", F().rbyte(0x09), F().rbyte(0x49)},
    {"-set_edge_of_flight_line 1", F().rbyte(0x09), F().rbyte(0x89)},
    {"-set_scanner_channel 2", F(), F().channel(2)},
    {"-set_extended_scanner_channel 3", F().channel(1), F().channel(3)},
    // --- returns
    {"-repair_zero_returns", F().rbyte(0), F().rbyte(0x09)},
    {"-repair_zero_returns", F().rbyte(0x12), F().rbyte(0x12)},
    {"-set_return_number 3", F().rbyte(0x29), F().rbyte(0x2B)},
    {"-set_number_of_returns 2", F().rbyte(0x09), F().rbyte(0x11)},
    {"-set_extended_return_number 9", F(), F().erbyte(0x19)},
    {"-set_extended_number_of_returns 12", F(), F().erbyte(0xC1)},
    {"-change_return_number_from_to 2 1", F().rbyte(0x1A), F().rbyte(0x19)},
    {"-change_number_of_returns_from_to 0 2", F().rbyte(0x01), F().rbyte(0x11)},
    {"-change_extended_return_number_from_to 2 8", F().erbyte(0x92), F().erbyte(0x98)},
    {"-change_extended_number_of_returns_from_to 8 10", F().erbyte(0x81), F().erbyte(0xA1)},
    // --- user data and scanner channel
    {"-set_user_data 7", F().user(1), F().user(7)},
    {"-scale_user_data 1.5", F().user(200), F().user(255)},
    {"-scale_user_data 1.5", F().user(10), F().user(15)},
    {"-change_user_data_from_to 23 26", F().user(23), F().user(26)},
    {"-change_user_data_from_to 23 26", F().user(24), F().user(24)},
    {"-copy_classification_into_user_data", F().cls(5), F().cls(5).user(5)},
    {"-copy_classification_into_user_data", F().cls(0).ecls(40), F().cls(0).ecls(40).user(40)},
    {"-copy_scanner_channel_into_user_data", F().channel(3), F().channel(3).user(3)},
    {"-copy_user_data_into_scanner_channel", F().user(6), F().user(6).channel(2)},
    // --- point source ID
    {"-set_point_source 500", F(), F().psid(500)},
    {"-set_point_source_from_file 7", F(), F().psid(7)},
    {"-change_point_source_from_to 1023 1024", F().psid(1023), F().psid(1024)},
    {"-copy_classification_into_point_source", F().cls(9), F().cls(9).psid(9)},
    {"-copy_user_data_into_point_source", F().user(77), F().user(77).psid(77)},
    {"-copy_scanner_channel_into_point_source", F().channel(2), F().channel(2).psid(2)},
    {"-merge_scanner_channel_into_point_source", F().psid(5).channel(2), F().psid(22).channel(2)},
    {"-merge_scanner_channel_into_point_source", F().psid(0xC001).channel(1),
     F().psid(0x0005).channel(1)},
    {"-split_scanner_channel_from_point_source", F().psid(22), F().psid(5).channel(2)},
    {"-bin_Z_into_point_source 200", F().rawz(1000), F().rawz(1000).psid(5)},
    {"-bin_Z_into_point_source 200", F().rawz(-5), F().rawz(-5).psid(0)},
    {"-bin_Z_into_point_source 200", F().rawz(20000000), F().rawz(20000000).psid(65535)},
    {"-bin_abs_scan_angle_into_point_source 2", F().angle(-9), F().angle(-9).psid(4)},
    {"-bin_abs_scan_angle_into_point_source 2", F().extended().eangle(-1000),
     F().extended().eangle(-1000).psid(3)},
    {"-bin_gps_time_into_point_source 5", F().time(12.5), F().time(12.5).psid(3)},
    // --- GPS time
    {"-set_gps_time 113556962.005715", F(), F().time(113556962.005715)},
    {"-translate_gps_time 40.5", F().time(1), F().time(41.5)},
    {"-adjusted_to_week", F().time(0.0), F().time(265600.0)},
    {"-week_to_adjusted 1653", F().time(265600.0), F().time(0.0)},
    // --- colours
    {"-set_RGB 255 0 127", F().rgbn(1, 1, 1, 1), F().rgbn(255, 0, 127, 1)},
    {"-set_RGB_of_class 9 0 0 255", F().cls(9), F().cls(9).rgbn(0, 0, 255)},
    {"-set_RGB_of_class 9 0 0 255", F().cls(8), F().cls(8)},
    {"-set_RGB_of_class 40 1 2 3", F().cls(0).ecls(40), F().cls(0).ecls(40).rgbn(1, 2, 3)},
    {"-set_RGB_of_class 40 1 2 3", F().cls(8), F().cls(8)},
    {"-set_NIR 65535", F(), F().rgbn(0, 0, 0, 65535)},
    {"-scale_RGB 2 4 2", F().rgbn(100, 20000, 3, 9), F().rgbn(200, 65535, 6, 9)},
    {"-scale_rgb 0.5 0.5 0.5", F().rgbn(100, 3, 0, 9), F().rgbn(50, 1, 0, 9)},
    {"-scale_RGB_down", F().rgbn(0x1234, 0xFF, 0x100, 7), F().rgbn(0x12, 0, 1, 7)},
    {"-scale_rgb_up", F().rgbn(0x0102, 0xFF, 1, 7), F().rgbn(0x0200, 0xFF00, 0x100, 7)},
    {"-scale_RGB_to_8bit", F().rgbn(0x1234, 0xFF, 0x100), F().rgbn(0x12, 0, 1)},
    {"-scale_RGB_to_8bit", F().rgbn(0xFF, 0xFF, 0xFF), F().rgbn(0xFF, 0xFF, 0xFF)},
    {"-scale_RGB_to_16bit", F().rgbn(0xFF, 1, 0), F().rgbn(0xFF00, 0x100, 0)},
    {"-scale_RGB_to_16bit", F().rgbn(0x100, 1, 0), F().rgbn(0x100, 1, 0)},
    {"-scale_NIR 2", F().rgbn(1, 2, 3, 40000), F().rgbn(1, 2, 3, 65535)},
    {"-scale_nir 0.5", F().rgbn(1, 2, 3, 7), F().rgbn(1, 2, 3, 3)},
    {"-scale_NIR_down", F().rgbn(1, 2, 3, 0x1234), F().rgbn(1, 2, 3, 0x12)},
    {"-scale_NIR_up", F().rgbn(1, 2, 3, 0x1234), F().rgbn(1, 2, 3, 0x3400)},
    {"-scale_NIR_to_8bit", F().rgbn(0, 0, 0, 0x1234), F().rgbn(0, 0, 0, 0x12)},
    {"-scale_NIR_to_16bit", F().rgbn(0, 0, 0, 0x12), F().rgbn(0, 0, 0, 0x1200)},
    {"-switch_R_G", F().rgbn(1, 2, 3, 4), F().rgbn(2, 1, 3, 4)},
    {"-switch_R_B", F().rgbn(1, 2, 3, 4), F().rgbn(3, 2, 1, 4)},
    {"-switch_G_B", F().rgbn(1, 2, 3, 4), F().rgbn(1, 3, 2, 4)},
    {"-switch_B_G", F().rgbn(1, 2, 3, 4), F().rgbn(1, 3, 2, 4)},  // as the usage text spells it
    {"-switch_RGBI_into_CIR", F().rgbn(1, 2, 3, 4), F().rgbn(4, 1, 2, 4)},
    {"-switch_RGB_intensity_into_CIR", F().rgbn(1, 2, 3, 4).inten(9),
     F().rgbn(9, 1, 2, 4).inten(9)},
    {"-copy_R_into_NIR", F().rgbn(1, 2, 3, 4), F().rgbn(1, 2, 3, 1)},
    {"-copy_G_into_NIR", F().rgbn(1, 2, 3, 4), F().rgbn(1, 2, 3, 2)},
    {"-copy_B_into_NIR", F().rgbn(1, 2, 3, 4), F().rgbn(1, 2, 3, 3)},
    {"-copy_intensity_into_NIR", F().rgbn(1, 2, 3, 4).inten(8), F().rgbn(1, 2, 3, 8).inten(8)},
    {"-multiply_scaled_intensity_into_RGB_red 0.5", F().rgbn(100, 5, 5, 5).inten(4),
     F().rgbn(200, 5, 5, 5).inten(4)},
    {"-multiply_scaled_intensity_into_RGB_green 100", F().rgbn(5, 100, 5, 5).inten(10),
     F().rgbn(5, 65535, 5, 5).inten(10)},
    {"-multiply_divided_intensity_into_RGB_nir 4", F().rgbn(5, 5, 5, 10).inten(8),
     F().rgbn(5, 5, 5, 20).inten(8)},
    {"-multiply_divided_intensity_into_RGB_blue 2", F().rgbn(5, 5, 7, 5).inten(1),
     F().rgbn(5, 5, 3, 5).inten(1)},
    // --- registers
    {"-set_register 0 2.5 -copy_register_into_intensity 0", F(), F().inten(2)},
    {"-copy_intensity_into_register 1 -scale_register 1 2 -copy_register_into_user_data 1",
     F().inten(100), F().inten(100).user(200)},
    {"-copy_user_data_into_register 2 -translate_register 2 0.5 -copy_register_into_z 2",
     F().user(3), F().user(3).rawz(350)},
    {"-copy_point_source_into_register 15 -copy_register_into_x 15", F().psid(4),
     F().psid(4).raw(400, 0, 0)},
    {"-set_register 3 -1.25 -copy_register_into_y 3", F(), F().raw(0, -125, 0)},
    {"-copy_R_into_register 0 -copy_G_into_register 1 -add_registers 0 1 2 "
     "-copy_register_into_point_source 2",
     F().rgbn(30, 12, 0, 0), F().rgbn(30, 12, 0, 0).psid(42)},
    {"-copy_B_into_register 0 -copy_NIR_into_register 1 -subtract_registers 0 1 2 "
     "-copy_register_into_R 2",
     F().rgbn(0, 0, 30, 12), F().rgbn(18, 0, 30, 12)},
    {"-set_register 0 6 -set_register 1 7 -multiply_registers 0 1 2 -copy_register_into_G 2", F(),
     F().rgbn(0, 42, 0, 0)},
    {"-set_register 0 42 -set_register 1 4 -divide_registers 0 1 2 -copy_register_into_B 2", F(),
     F().rgbn(0, 0, 10, 0)},
    {"-set_register 0 70000 -copy_register_into_NIR 0", F(), F().rgbn(0, 0, 0, 65535)},
    {"-set_register 0 -1 -copy_register_into_I 0", F().rgbn(1, 1, 1, 1), F().rgbn(1, 1, 1, 0)},
    // a division by zero: an infinity clamps, NaN becomes 0, neither is cast
    {"-set_register 0 1 -divide_registers 0 1 2 -copy_register_into_intensity 2", F().inten(5),
     F().inten(65535)},
    {"-set_register 0 -1 -divide_registers 0 1 2 -copy_register_into_user_data 2", F().user(5),
     F().user(0)},
    {"-divide_registers 1 1 2 -copy_register_into_point_source 2", F().psid(5), F().psid(0)},
    {"-divide_registers 1 1 2 -copy_register_into_z 2", F().rawz(5), F().rawz(5)},
    {"-set_register 0 1 -divide_registers 0 1 2 -copy_register_into_z 2", F().rawz(5), F().rawz(5)},
    // --- wave packet
    {"-flip_waveform_direction", F().wave_xyz(1.5f, -2.0f, 0.25f),
     F().wave_xyz(-1.5f, 2.0f, -0.25f)},
};

TEST(Operations, EveryFamilyChangesThePointAsTheTableSays) {
  for (const OperationCase& c : kCases) {
    LAStransform transform;
    ASSERT_TRUE(parse_transform(transform, c.options)) << c.options;
    ScaledPoint p;
    p.set(c.before);
    transform.apply(&p.point);
    expect_same_fields(p.fields(), c.after, c.options);
  }
}

// Operations whose parser refuses the values that they clamp themselves.
TEST(Operations, ReturnNumbersAboveTheFieldClampInTheLegacyFieldOnly) {
  ScaledPoint p;
  LASoperationSetReturnNumber(9).apply(&p.point);
  EXPECT_EQ(p.point.get_return_number(), 7);
  LASoperationSetNumberOfReturns(9).apply(&p.point);
  EXPECT_EQ(p.point.get_number_of_returns(), 7);
  LASoperationSetExtendedReturnNumber(9).apply(&p.point);
  EXPECT_EQ(p.point.get_extended_return_number(), 9);
  LASoperationChangeReturnNumberFromTo(7, 12).apply(&p.point);
  EXPECT_EQ(p.point.get_return_number(), 7);
}

// Quantized coordinates outside the 32-bit range are stored wrapped and
// counted once per axis; NaN and infinities leave the field and count.
TEST(Operations, CoordinateOverflowsWrapAndCount) {
  const struct {
    const char* options;
    int32_t z_before;
    int32_t z_after;
    int64_t overflows;
  } cases[] = {
      {"-translate_z 30000000", 0, int32_t(3000000000ll - 4294967296ll), 1},
      {"-translate_z 21474836.47", 0, INT32_MAX, 0},
      {"-translate_z 21474836.48", 0, INT32_MIN, 1},
      {"-translate_z -21474836.48", 0, INT32_MIN, 0},
      {"-translate_z -21474836.49", 0, INT32_MAX, 1},
      // 2^64 + 5 raw units wrap to 5
      {"-translate_z 184467440737095516.21", 0, 0, 1},
      {"-translate_z 1e300", 7, 0, 1},
      {"-translate_z inf", 7, 7, 1},
      {"-translate_z nan", 7, 7, 1},
      {"-scale_z 1e12", 100, int32_t(uint32_t(100000000000000ull)), 1},
      {"-clamp_z_above -30000000", 0, int32_t(uint32_t(-3000000000ll)), 1},
      {"-copy_intensity_into_z", 0, 0, 0},
      {"-set_register 0 1e10 -copy_register_into_z 0", 0, int32_t(uint32_t(1000000000000ull)), 1},
      // the attribute additions never count
      {"-add_attribute_to_z 0", 2000000000, 2000000000, 0},
  };
  for (const auto& c : cases) {
    LAStransform transform;
    ASSERT_TRUE(parse_transform(transform, c.options)) << c.options;
    ScaledPoint p;
    p.point.Z = c.z_before;
    transform.apply(&p.point);
    EXPECT_EQ(p.point.Z, c.z_after) << c.options;
    int64_t total = 0;
    for (uint32_t i = 0; i < transform.num_operations(); i++) {
      total += transform.operation(i)->overflow;
    }
    EXPECT_EQ(total, c.overflows) << c.options;
  }
}

TEST(Operations, EachAxisCountsItsOwnOverflow) {
  LAStransform transform;
  ASSERT_TRUE(parse_transform(transform, "-translate_xyz 30000000 0 -30000000"));
  for (int i = 0; i < 2; i++) {
    ScaledPoint p;
    transform.apply(&p.point);
  }
  EXPECT_EQ(transform.operation(0)->overflow, 4);
}

// Attribute 0 is an f64, attribute 1 a u8; attribute 2 lies beyond the
// point's extra bytes and attribute 3 does not exist.
struct AttributePoint : ScaledPoint {
  LASattributeTable table;
  AttributePoint() {
    LASattributeDescriptor d[3] = {};
    d[0].data_type = 10;
    d[1].data_type = 1;
    d[2].data_type = 10;
    table.load_descriptors(3, d);
    point.extra_bytes_number = 9;
    point.extra_bytes = std::make_unique<uint8_t[]>(17);
    point.attributer = &table;
  }
  double a0() const {
    double v;
    memcpy(&v, point.extra_bytes.get(), 8);
    return v;
  }
  void set_a0(double v) { memcpy(point.extra_bytes.get(), &v, 8); }
  int a1() const { return point.extra_bytes[8]; }
  void set_a1(int v) { point.extra_bytes[8] = uint8_t(v); }
};

TEST(Operations, AttributesAreReadAndStoredThroughTheTable) {
  const struct {
    const char* options;
    double a0_before;
    int a1_before;
    Fields before;
    double a0_after;
    int a1_after;
    Fields after;
  } cases[] = {
      {"-set_attribute 0 2.5", 0, 0, F(), 2.5, 0, F()},
      {"-set_attribute 1 300", 0, 0, F(), 0, 255, F()},
      {"-scale_attribute 0 2", 1.25, 0, F(), 2.5, 0, F()},
      {"-translate_attribute 0 1", 1.25, 0, F(), 2.25, 0, F()},
      {"-translate_attribute 1 -1.4", 0, 9, F(), 0, 8, F()},
      {"-copy_user_data_into_attribute 1", 0, 0, F().user(7), 0, 7, F().user(7)},
      {"-copy_intensity_into_attribute 0", 0, 0, F().inten(9), 9, 0, F().inten(9)},
      {"-copy_z_into_attribute 0", 0, 0, F().rawz(150), 1.5, 0, F().rawz(150)},
      {"-copy_attribute_into_x 0", 1.25, 0, F(), 1.25, 0, F().raw(125, 0, 0)},
      {"-copy_attribute_into_y 1", 0, 3, F(), 0, 3, F().raw(0, 300, 0)},
      {"-copy_attribute_into_z 0", 1.25, 0, F(), 1.25, 0, F().rawz(125)},
      {"-add_attribute_to_z 0", 1.25, 0, F().rawz(100), 1.25, 0, F().rawz(225)},
      {"-add_scaled_attribute_to_z 0 2", 1.25, 0, F().rawz(100), 1.25, 0, F().rawz(350)},
      {"-copy_attribute_into_intensity 0", 70000, 0, F(), 70000, 0, F().inten(65535)},
      {"-copy_attribute_into_point_source 0", 12.9, 0, F(), 12.9, 0, F().psid(12)},
      {"-copy_attribute_into_user_data 0", -3, 0, F().user(5), -3, 0, F().user(0)},
      {"-copy_attribute_into_R 1", 0, 5, F(), 0, 5, F().rgbn(5, 0, 0)},
      {"-copy_attribute_into_G 1", 0, 5, F(), 0, 5, F().rgbn(0, 5, 0)},
      {"-copy_attribute_into_B 1", 0, 5, F(), 0, 5, F().rgbn(0, 0, 5)},
      {"-copy_attribute_into_NIR 1", 0, 5, F(), 0, 5, F().rgbn(0, 0, 0, 5)},
      {"-copy_attribute_into_I 1", 0, 5, F(), 0, 5, F().rgbn(0, 0, 0, 5)},
      {"-classify_attribute_below_as 0 -5.0 7", -6, 0, F(), -6, 0, F().cls(7)},
      {"-classify_attribute_above_as 1 70.0 7", 0, 71, F(), 0, 71, F().cls(7)},
      {"-classify_attribute_above_as 1 70.0 7", 0, 70, F(), 0, 70, F()},
      {"-classify_attribute_between_as 1 2.0 5.0 4", 0, 5, F(), 0, 5, F().cls(4)},
      {"-add_scaled_attribute_to_user_data 0 2", 1.25, 0, F().user(3), 1.25, 0, F().user(6)},
      {"-add_scaled_attribute_to_user_data 0 1", 300, 0, F().user(0), 300, 0, F().user(44)},
      {"-add_scaled_attribute_to_user_data 0 1", -4, 0, F().user(3), -4, 0, F().user(0)},
      {"-copy_attribute_into_register 0 3 -copy_register_into_attribute 3 1", 1.25, 0, F(), 1.25, 1,
       F()},
      // outside the extra bytes or past the table: reads 0, stores nothing
      {"-copy_attribute_into_intensity 2", 5, 5, F().inten(9), 5, 5, F().inten(0)},
      {"-copy_attribute_into_intensity 3", 5, 5, F().inten(9), 5, 5, F().inten(0)},
      {"-set_attribute 2 1 -set_attribute 3 1", 5, 5, F(), 5, 5, F()},
  };
  for (const auto& c : cases) {
    LAStransform transform;
    ASSERT_TRUE(parse_transform(transform, c.options)) << c.options;
    AttributePoint p;
    p.set(c.before);
    p.set_a0(c.a0_before);
    p.set_a1(c.a1_before);
    transform.apply(&p.point);
    EXPECT_EQ(p.a0(), c.a0_after) << c.options;
    EXPECT_EQ(p.a1(), c.a1_after) << c.options;
    expect_same_fields(p.fields(), c.after, c.options);
  }
}

TEST(Operations, PointsWithoutAnAttributeTableReadZeroAndStoreNothing) {
  LAStransform transform;
  ASSERT_TRUE(parse_transform(transform, "-set_attribute 0 4 -copy_attribute_into_user_data 0"));
  ScaledPoint p;
  p.point.user_data = 9;
  transform.apply(&p.point);
  EXPECT_EQ(p.point.user_data, 0);
}

std::string write_file(const char* name, const std::string& text) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

TEST(Operations, MapFilesMapListedValuesAndKeepTheOthers) {
  const std::string user = write_file("map_user.txt", "5 7\n300 7\n6\nx y\n8 9\n8 10\n");
  const std::string big = write_file("map_big.txt", "1000 60000\n65536 1\n2 65535\n");
  const struct {
    std::string options;
    Fields before;
    Fields after;
  } cases[] = {
      {"-map_user_data " + user, F().user(5), F().user(7)},
      {"-map_user_data " + user, F().user(6), F().user(6)},
      // later lines win
      {"-map_user_data " + user, F().user(8), F().user(10)},
      {"-map_user_data " + user, F().user(44), F().user(44)},
      {"-map_intensity " + big, F().inten(1000), F().inten(60000)},
      {"-map_intensity " + big, F().inten(2), F().inten(65535)},
      {"-map_intensity " + big, F().inten(65535), F().inten(65535)},
      {"-map_point_source " + big, F().psid(1000), F().psid(60000)},
      {"-map_point_source \"" + big + "\"", F().psid(1), F().psid(1)},
  };
  for (const auto& c : cases) {
    LAStransform transform;
    ASSERT_TRUE(parse_transform(transform, c.options)) << c.options;
    ScaledPoint p;
    p.set(c.before);
    transform.apply(&p.point);
    expect_same_fields(p.fields(), c.after, c.options);
  }
}

TEST(Operations, AttributeColourMapTakesTheNearestEntry) {
  const std::string map =
      write_file("map_rgb.txt", "0.0 10 20 30\nbad line\n5.5 1 2 300\n10.0 40 50 60\n");
  LAStransform transform;
  ASSERT_TRUE(parse_transform(transform, "-map_attribute_into_RGB 0 " + map));
  const struct {
    double value;
    int r, g, b;
  } cases[] = {
      {-1.0, 10, 20, 30},
      {0.0, 10, 20, 30},
      {4.9, 10, 20, 30},
      // equal distance: the earlier entry
      {5.0, 10, 20, 30},
      {6.0, 40, 50, 60},
      {10.0, 40, 50, 60},
      {99.0, 40, 50, 60},
  };
  for (const auto& c : cases) {
    AttributePoint p;
    p.set_a0(c.value);
    transform.apply(&p.point);
    EXPECT_EQ(p.point.rgb[0], c.r) << c.value;
    EXPECT_EQ(p.point.rgb[1], c.g) << c.value;
    EXPECT_EQ(p.point.rgb[2], c.b) << c.value;
  }
  const std::string empty = write_file("map_empty.txt", "nothing here\n");
  LAStransform nothing;
  ASSERT_TRUE(parse_transform(nothing, "-map_attribute_into_RGB 0 " + empty));
  AttributePoint p;
  p.point.rgb[0] = 77;
  nothing.apply(&p.point);
  EXPECT_EQ(p.point.rgb[0], 77);
}

TEST(Operations, AttributeValuesFromTextGoToPointsInOrderAndStartOverPerFile) {
  const std::string values = write_file("values.txt", "1.5\nskip\n2.5\n\n3.5\n");
  LAStransform transform;
  ASSERT_TRUE(parse_transform(transform, "-load_attribute_from_text 0 " + values));
  for (int file = 0; file < 2; file++) {
    transform.restart_all();
    const double expected[] = {1.5, 2.5, 3.5, 3.5, 3.5};
    for (double want : expected) {
      AttributePoint p;
      p.set_a0(3.5);
      transform.apply(&p.point);
      EXPECT_EQ(p.a0(), want) << "file " << file;
    }
  }
}

TEST(Operations, RandomTranslationRepeatsAfterRestart) {
  LAStransform transform;
  ASSERT_TRUE(parse_transform(transform, "-translate_raw_xy_at_random 3 1000"));
  std::vector<int32_t> first;
  for (int file = 0; file < 2; file++) {
    transform.restart_all();
    for (int i = 0; i < 20; i++) {
      ScaledPoint p;
      transform.apply(&p.point);
      EXPECT_LE(std::abs(p.point.X), 3);
      EXPECT_LE(std::abs(p.point.Y), 1000);
      if (file == 0) {
        first.push_back(p.point.X);
        first.push_back(p.point.Y);
      } else {
        EXPECT_EQ(p.point.X, first[size_t(2 * i)]);
        EXPECT_EQ(p.point.Y, first[size_t(2 * i + 1)]);
      }
    }
  }
}

TEST(Operations, FieldMasksFollowTheFieldsTheyTouch) {
  const struct {
    const char* options;
    uint32_t mask;
  } cases[] = {
      {"-translate_x 1", 0},
      {"-translate_z 1", 1},
      {"-rotate_xz 1 0 0", 1},
      {"-rotate_xy 1 0 0", 0},
      {"-add_attribute_to_z 0", 0xFFFF0001u},
      {"-add_scaled_attribute_to_user_data 0 1", 0xFFFF0020u},
      {"-move_ancient_to_extended_classification", 6},
      {"-switch_RGBI_into_CIR", 768},
      {"-switch_RGB_intensity_into_CIR", 264},
      {"-multiply_scaled_intensity_into_RGB_red 2", 264},
      {"-copy_R_into_register 0", 256},
      {"-copy_NIR_into_register 0", 512},
      {"-flip_waveform_direction", 1024},
      {"-bin_Z_into_point_source 2", 1},
  };
  for (const auto& c : cases) {
    LAStransform transform;
    ASSERT_TRUE(parse_transform(transform, c.options)) << c.options;
    EXPECT_EQ(transform.needed_fields_mask(), c.mask) << c.options;
  }
}

}  // namespace
