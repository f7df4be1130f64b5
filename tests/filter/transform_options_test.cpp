// The transform's option parser: texts that read back, messages, shared vectors.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/las_attributes.hpp"
#include "filter/operations_colour.hpp"
#include "transform_test_point.hpp"

namespace {

std::string temp_file(const char* name, const char* text) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

// Sample points that exercise every field, with an attribute table.
struct Samples {
  LASscaler scaler;
  LASattributeTable table;
  std::vector<Fields> fields;
  Samples() {
    scaler.x_scale_factor = scaler.y_scale_factor = scaler.z_scale_factor = 0.01;
    scaler.z_offset = 100.0;
    LASattributeDescriptor d[2] = {};
    d[0].data_type = 10;
    d[1].data_type = 3;
    table.load_descriptors(2, d);
    for (int i = 0; i < 12; i++) {
      Fields f;
      f.raw(i * 12345 - 70000, 3000 - i * 777, i * 4321 - 20000)
          .inten(i * 6000)
          .cbyte(i * 23)
          .ecls(i * 21)
          .rbyte(i * 29)
          .angle(i * 20 - 110)
          .eangle(i * 2000 - 11000)
          .user(i * 22)
          .psid(i * 5000)
          .time(i * 123456.789)
          .rgbn(i * 5000, 65535 - i * 5000, i * 20, i * 3000)
          .eflags(i * 37)
          .erbyte(i * 19);
      if (i % 3 == 0) f.extended();
      fields.push_back(f);
    }
  }
  // Applies the transform to every sample and returns the results.
  std::vector<LASpointData> run(LAStransform& transform) const {
    std::vector<LASpointData> out;
    transform.restart_all();
    for (const Fields& f : fields) {
      LASpoint p;
      p.quantizer = &scaler;
      p.attributer = &table;
      p.extra_bytes_number = 10;
      p.extra_bytes = std::make_unique<uint8_t[]>(10);
      const double a = f.X * 0.001;
      memcpy(p.extra_bytes.get(), &a, 8);
      p.extra_bytes[8] = uint8_t(f.user_data);
      static_cast<LASpointData&>(p) = f;
      transform.apply(&p);
      out.push_back(p);
    }
    return out;
  }
};

struct TextCase {
  std::string options;
  std::string text;  // empty: only the fixed point is checked
};

std::vector<TextCase> text_cases() {
  const std::string map = temp_file("rt_map.txt", "1 2\n");
  const std::string rgb = temp_file("rt_rgb.txt", "0 1 2 3\n100 4 5 6\n");
  const std::string values = temp_file("rt_values.txt", "1\n2\n");
  return {
      {"-translate_x -2.5", "-translate_x -2.500000 "},
      // "%lf" would keep six decimals only
      {"-translate_y 0.1234567891234", "-translate_y 0.1234567891234 "},
      {"-translate_z 1e-9", "-translate_z 1e-09 "},
      {"-translate_xyz 0.5 0.5 0", "-translate_xyz 0.500000 0.500000 0.000000 "},
      {"-translate_then_scale_y -0.5 1.001", "-translate_then_scale_y -0.500000 1.001000 "},
      {"-translate_then_scale_x 1 2 -translate_then_scale_z 3 4", ""},
      {"-scale_z 0.3048", "-scale_z 0.304800 "},
      {"-scale_x 2 -scale_y 3 -scale_xyz 1 2 3", ""},
      {"-rotate_xy 15.0 620000 4100000", "-rotate_xy 15.000000 620000.000000 4100000.000000 "},
      {"-rotate_xz 1 2 3 -rotate_yz -4 5 6", ""},
      {"-transform_helmert -199.87,74.79,246.62",
       "-translate_xyz -199.870000 74.790000 246.620000 "},
      {"-transform_helmert 598.1,73.7,418.2,0.202,0.045,-2.455,6.7",
       "-transform_helmert 598.100000,73.700000,418.200000,0.202000,0.045000,-2.455000,"
       "6.700000 "},
      {"-transform_affine 0.9999652,0.903571,171.67,736.26",
       "-transform_affine 0.9999652,0.903571,171.670000,736.260000 "},
      {"-transform_affine 0.99996521,0.9,1,2",
       "-transform_affine 0.99996521,0.900000,1.000000,2.000000 "},
      {"-switch_x_y -switch_x_z -switch_y_z", "-switch_x_y -switch_x_z -switch_y_z "},
      {"-clamp_z_below 70.5 -clamp_z 70.5 72.5 -clamp_z_above 72",
       "-clamp_z_below 70.500000 -clamp_z 70.500000 72.500000 -clamp_z_above 72.000000 "},
      {"-copy_attribute_into_z 0 -add_attribute_to_z 1 -add_scaled_attribute_to_z 1 -1.2",
       "-copy_attribute_into_z 0 -add_attribute_to_z 1 -add_scaled_attribute_to_z 1 -1.200000 "},
      {"-add_scaled_attribute_to_z 0 1e-7", "-add_scaled_attribute_to_z 0 1e-07 "},
      {"-copy_attribute_into_x 1 -copy_attribute_into_y 0", ""},
      {"-copy_intensity_into_z -copy_user_data_into_z", ""},
      {"-translate_raw_z 20 -translate_raw_x -3 -translate_raw_y 4", ""},
      {"-translate_raw_xyz 1 1 0", "-translate_raw_xyz 1 1 0 "},
      {"-translate_raw_xy_at_random 2 2", "-translate_raw_xy_at_random 2 2 "},
      {"-clamp_raw_z 500 800", "-clamp_raw_z 500 800 "},
      {"-set_intensity 0 -scale_intensity 2.5 -translate_intensity 50",
       "-set_intensity 0 -scale_intensity 2.5 -translate_intensity 50 "},
      {"-translate_then_scale_intensity 0.5 3.1", "-translate_then_scale_intensity 0.5 3.1 "},
      // "%g" would write 0.333333
      {"-scale_intensity 0.33333334", "-scale_intensity 0.33333334 "},
      {"-clamp_intensity 0 255 -clamp_intensity_above 255 -clamp_intensity_below 3",
       "-clamp_intensity 0 255 -clamp_intensity_above 255 -clamp_intensity_below 3 "},
      {"-map_intensity " + map, "-map_intensity \"" + map + "\" "},
      {"-map_user_data " + map + " -map_point_source " + map, ""},
      {"-copy_RGB_into_intensity -copy_NIR_into_intensity -copy_R_into_intensity "
       "-copy_G_into_intensity -copy_B_into_intensity",
       ""},
      {"-copy_attribute_into_intensity 0 -bin_gps_time_into_intensity 0.5",
       "-copy_attribute_into_intensity 0 -bin_gps_time_into_intensity 0.500000 "},
      {"-set_scan_angle 0.0 -scale_scan_angle 1.944445 -translate_scan_angle -5",
       "-set_scan_angle 0 -scale_scan_angle 1.944445 -translate_scan_angle -5 "},
      {"-translate_then_scale_scan_angle -0.5 2.1", "-translate_then_scale_scan_angle -0.5 2.1 "},
      {"-repair_zero_returns -set_return_number 1 -set_extended_return_number 10",
       "-repair_zero_returns -set_return_number 1 -set_extended_return_number 10 "},
      {"-change_return_number_from_to 2 1 -change_extended_return_number_from_to 2 8", ""},
      {"-set_number_of_returns 2 -set_extended_number_of_returns 15", ""},
      {"-change_number_of_returns_from_to 0 2 -change_extended_number_of_returns_from_to 8 10", ""},
      {"-set_classification 2 -set_extended_classification 41",
       "-set_classification 2 -set_classification 41 "},
      {"-change_classification_from_to 2 4 -change_extended_classification_from_to 6 46",
       "-change_classification_from_to 2 4 -change_classification_from_to 6 46 "},
      {"-change_class_from_to 1 2 -change_extended_class_from_to 3 4", ""},
      {"-classify_z_below_as -5.0 7 -classify_z_above_as 70.0 7",
       "-classify_z_below_as -5.000000 7 -classify_z_above_as 70.000000 7 "},
      {"-classify_z_between_as 2.0 5.0 4", "-classify_z_between_as 2.000000 5.000000 4 "},
      {"-classify_intensity_above_as 200 9 -classify_intensity_below_as 30 11", ""},
      {"-classify_intensity_between_as 500 900 15", "-classify_intensity_between_as 500 900 15 "},
      {"-classify_attribute_below_as 0 -5.0 7 -classify_attribute_above_as 1 70.0 7",
       "-classify_attribute_below_as 0 -5.000000 7 -classify_attribute_above_as 1 70.000000 7 "},
      {"-classify_attribute_between_as 1 2.0 5.0 4",
       "-classify_attribute_between_as 1 2.000000 5.000000 4 "},
      {"-move_ancient_to_extended_classification -copy_user_data_into_classification "
       "-copy_intensity_into_classification",
       ""},
      {"-set_withheld_flag 0 -set_synthetic_flag 1 -set_keypoint_flag 0 -set_overlap_flag 1",
       "-set_withheld_flag 0 -set_synthetic_flag 1 -set_keypoint_flag 0 -set_overlap_flag 1 "},
      {"-set_extended_overlap_flag 1 -set_scan_direction_flag 1 -set_edge_of_flight_line 1",
       "-set_overlap_flag 1 -set_scan_direction_flag 1 -set_edge_of_flight_line 1 "},
      {"-set_scanner_channel 2 -set_extended_scanner_channel 1",
       "-set_scanner_channel 2 -set_scanner_channel 1 "},
      {"-copy_user_data_into_scanner_channel -copy_scanner_channel_into_user_data", ""},
      {"-set_user_data 0 -scale_user_data 1.5 -change_user_data_from_to 23 26",
       "-set_user_data 0 -scale_user_data 1.5 -change_user_data_from_to 23 26 "},
      {"-copy_attribute_into_user_data 1 -add_scaled_attribute_to_user_data 0 10.0",
       "-copy_attribute_into_user_data 1 -add_scaled_attribute_to_user_data 0 10.000000 "},
      {"-copy_classification_into_user_data -copy_classification_into_point_source", ""},
      {"-set_point_source 500 -change_point_source_from_to 1023 1024",
       "-set_point_source 500 -change_point_source_from_to 1023 1024 "},
      {"-copy_user_data_into_point_source -copy_scanner_channel_into_point_source "
       "-copy_attribute_into_point_source 0",
       ""},
      {"-merge_scanner_channel_into_point_source -split_scanner_channel_from_point_source", ""},
      {"-bin_Z_into_point_source 200 -bin_abs_scan_angle_into_point_source 2",
       "-bin_Z_into_point_source 200 -bin_abs_scan_angle_into_point_source 2 "},
      {"-bin_gps_time_into_point_source 5.0", "-bin_gps_time_into_point_source 5.000000 "},
      // "%lf" keeps the six decimals of a GPS time
      {"-set_gps_time 113556962.005715 -translate_gps_time 40.50",
       "-set_gps_time 113556962.005715 -translate_gps_time 40.500000 "},
      {"-adjusted_to_week -week_to_adjusted 1671", "-adjusted_to_week -week_to_adjusted 1671 "},
      {"-set_RGB 255 0 127 -set_RGB_of_class 9 0 0 255 -set_RGB_of_class 40 1 2 3",
       "-set_RGB 255 0 127 -set_RGB_of_class 9 0 0 255 -set_RGB_of_class 40 1 2 3 "},
      {"-scale_RGB 2 4 2 -scale_rgb 0.5 1 1", "-scale_RGB 2 4 2 -scale_RGB 0.5 1 1 "},
      {"-scale_RGB_down -scale_rgb_up -scale_RGB_to_8bit -scale_rgb_to_16bit",
       "-scale_RGB_down -scale_RGB_up -scale_RGB_to_8bit -scale_RGB_to_16bit "},
      {"-set_NIR 65535 -scale_NIR 2 -scale_nir_down -scale_NIR_up",
       "-set_NIR 65535 -scale_NIR 2 -scale_NIR_down -scale_NIR_up "},
      {"-scale_nir 3 -scale_NIR_to_8bit -scale_nir_to_16bit", ""},
      {"-switch_R_G -switch_R_B -switch_G_B -switch_RGBI_into_CIR -switch_RGB_intensity_into_CIR",
       ""},
      {"-copy_R_into_NIR -copy_G_into_NIR -copy_B_into_NIR -copy_intensity_into_NIR", ""},
      {"-multiply_scaled_intensity_into_RGB_red 0.5",
       "-multiply_scaled_intensity_into_RGB_red 0.500000 "},
      // the divided form writes the scale 1/3, with the digits it needs
      {"-multiply_divided_intensity_into_RGB_green 3",
       "-multiply_scaled_intensity_into_RGB_green 0.33333334 "},
      {"-multiply_scaled_intensity_into_RGB_blue 2 -multiply_divided_intensity_into_RGB_nir 4",
       "-multiply_scaled_intensity_into_RGB_blue 2.000000 "
       "-multiply_scaled_intensity_into_RGB_nir 0.250000 "},
      {"-copy_attribute_into_R 0 -copy_attribute_into_G 1 -copy_attribute_into_B 0",
       "-copy_attribute_into_R 0 -copy_attribute_into_G 1 -copy_attribute_into_B 0 "},
      {"-copy_attribute_into_NIR 1 -copy_attribute_into_I 0",
       "-copy_attribute_into_NIR 1 -copy_attribute_into_NIR 0 "},
      {"-map_attribute_into_RGB 0 " + rgb, "-map_attribute_into_RGB 0 \"" + rgb + "\" "},
      {"-load_attribute_from_text 1 " + values, "-load_attribute_from_text 1 \"" + values + "\" "},
      {"-scale_attribute 0 1.5 -translate_attribute 1 0.2 -set_attribute 0 7",
       "-scale_attribute 0 1.5 -translate_attribute 1 0.200000 -set_attribute 0 7 "},
      {"-copy_user_data_into_attribute 0 -copy_z_into_attribute 0 -copy_intensity_into_attribute 1",
       ""},
      // "%g" would write 123457 and lose the value
      {"-set_register 0 123456.789012345 -copy_register_into_intensity 0",
       "-set_register 0 123456.789012345 -copy_register_into_intensity 0 "},
      {"-copy_attribute_into_register 0 0 -scale_register 0 1.5 -translate_register 1 10.7",
       "-copy_attribute_into_register 0 0 -scale_register 0 1.5 -translate_register 1 10.700000 "},
      {"-add_registers 0 1 3 -multiply_registers 0 1 2 -subtract_registers 3 2 1 "
       "-divide_registers 1 2 4",
       "-add_registers 0 1 3 -multiply_registers 0 1 2 -subtract_registers 3 2 1 "
       "-divide_registers 1 2 4 "},
      {"-copy_intensity_into_register 0 -copy_user_data_into_register 1 "
       "-copy_point_source_into_register 2",
       ""},
      {"-copy_R_into_register 1 -copy_G_into_register 2 -copy_B_into_register 3 "
       "-copy_NIR_into_register 4",
       "-copy_R_into_register 1 -copy_G_into_register 2 -copy_B_into_register 3 "
       "-copy_NIR_into_register 4 "},
      {"-copy_register_into_R 1 -copy_register_into_G 2 -copy_register_into_B 3 "
       "-copy_register_into_NIR 4 -copy_register_into_I 5",
       "-copy_register_into_R 1 -copy_register_into_G 2 -copy_register_into_B 3 "
       "-copy_register_into_NIR 4 -copy_register_into_NIR 5 "},
      {"-copy_register_into_x 1 -copy_register_into_y 2 -copy_register_into_z 3 "
       "-copy_register_into_user_data 4 -copy_register_into_point_source 5 "
       "-copy_register_into_attribute 6 1",
       ""},
      {"-flip_waveform_direction", "-flip_waveform_direction "},
  };
}

// parse -> text -> parse -> text is a fixed point, and both transforms do the
// same to every sample point.
TEST(TransformOptions, OptionTextReadsBackToTheSameTransform) {
  const Samples samples;
  for (const TextCase& c : text_cases()) {
    LAStransform first;
    ASSERT_TRUE(parse_transform(first, c.options)) << c.options;
    const std::string text = transform_text(first);
    if (!c.text.empty()) {
      EXPECT_EQ(text, c.text) << c.options;
    }
    LAStransform second;
    ASSERT_TRUE(parse_transform(second, text)) << text;
    EXPECT_EQ(transform_text(second), text) << c.options;
    // "-transform_helmert" sets no change flags, the "-translate_xyz" that its
    // three-value form writes does
    if (c.options.find("-transform_helmert") == std::string::npos) {
      EXPECT_EQ(second.change_flags, first.change_flags) << c.options;
    }
    const auto a = samples.run(first);
    const auto b = samples.run(second);
    for (size_t i = 0; i < a.size(); i++) expect_same_fields(a[i], b[i], c.options);
  }
}

struct MessageCase {
  std::vector<std::string> args;
  bool ok;
  std::string message;  // exactly what goes to standard error
};

std::vector<MessageCase> message_cases() {
  const std::string missing = ::testing::TempDir() + "no_such_map.txt";
  return {
      {{"-translate_x"}, false, "ERROR: '-translate_x' needs 1 argument: offset\n"},
      {{"-translate_x", "abc"},
       false,
       "ERROR: '-translate_x' needs 1 argument: offset but 'abc' is no valid number\n"},
      {{"-translate_xyz", "1", "x", "3"},
       false,
       "ERROR: '-translate_xyz' needs 3 arguments: offset_x offset_y offset_z but 'x' is no "
       "valid number\n"},
      {{"-translate_raw_xyz", "1", "2"},
       false,
       "ERROR: '-translate_raw_xyz' needs 3 arguments: raw_offset_x raw_offset_y raw_offset_z\n"},
      {{"-translate_raw_xyz", "1", "2", "z"},
       false,
       "ERROR: '-translate_raw_xyz' needs 3 arguments: raw_offset_x raw_offset_y raw_offset_z "
       "but 'z' is no valid raw_offset_z\n"},
      {{"-scale_y", "q"},
       false,
       "ERROR: '-scale_y' needs 1 argument: scale_y but 'q' is no valid number\n"},
      {{"-set_classification", "256"},
       false,
       "ERROR: cannot set classification because classification of 256 is larger than 255\n"},
      {{"-set_classification", "-1"},
       false,
       "ERROR: cannot set classification because classification of 4294967295 is larger than "
       "255\n"},
      {{"-set_extended_classification"},
       false,
       "ERROR: '-set_extended_classification' needs 1 argument: classification\n"},
      {{"-transform_helmert", "1,2,3,4"},
       false,
       "ERROR: '-transform_helmert' needs 3 or 7 comma separated parameters as argument\n"},
      {{"-transform_helmert", "1,2,x"},
       false,
       "ERROR: '-transform_helmert' needs 3 or 7 comma separated parameters as argument\n"},
      {{"-transform_helmert"},
       false,
       "ERROR: '-transform_helmert' needs 1 argument: 3 or 7 comma separated parameters\n"},
      {{"-transform_affine", "1,2,3"},
       false,
       "ERROR: '-transform_affine' needs 4 comma separated parameters as argument\n"},
      {{"-transform_affine", "1,2,3,4,"},
       false,
       "ERROR: '-transform_affine' needs 4 comma separated parameters as argument\n"},
      {{"-rotate_xz", "0", "1", "2"},
       false,
       "ERROR: '-rotate_xz' needs 3 arguments: angle rot_center_x rot_center_y but 0 is no valid "
       "angle\n"},
      {{"-rotate_yz", "1", "1", "c"},
       false,
       "ERROR: '-rotate_yz' needs 3 arguments: angle rot_center_y rot_center_z but 'c' is no "
       "valid rot_center_z\n"},
      {{"-clamp_z", "1", "x"},
       false,
       "ERROR: '-clamp_z' needs 2 arguments: below above but 'x' is no valid above value\n"},
      {{"-clamp_intensity", "0", "65536"},
       false,
       "ERROR: cannot clamp intensity because above value of 65536 is larger than 65535\n"},
      {{"-set_intensity", "70000"},
       false,
       "ERROR: cannot set intensity because value of 70000 is larger than 65535\n"},
      {{"-set_withheld_flag", "2"},
       false,
       "ERROR: cannot set withheld flag because value 2 is larger than 1\n"},
      {{"-set_edge_of_flight_line", "x"},
       false,
       "ERROR: '-set_edge_of_flight_line' needs 1 argument: value but 'x' is no valid flag\n"},
      {{"-set_scanner_channel", "4"},
       false,
       "ERROR: cannot set scanner channel because value 4 is larger than 3\n"},
      {{"-set_user_data", "256"},
       false,
       "ERROR: cannot set user data because value 256 is larger than 255\n"},
      {{"-set_scan_angle", "-181"},
       false,
       "ERROR: cannot set scan angle because value -181 is smaller than -180\n"},
      {{"-set_scan_angle", "180.5"},
       false,
       "ERROR: cannot set scan angle rank because value 180.5 is larger than 180\n"},
      {{"-set_point_source", "65536"},
       false,
       "ERROR: cannot set point source ID because value 65536 is larger than 65535\n"},
      {{"-set_point_source"}, false, "ERROR: '-set_point_source' need 1 argument: psid\n"},
      {{"-set_return_number", "8"},
       false,
       "ERROR: cannot set return_number because 8 is larger than 7\n"},
      {{"-set_extended_number_of_returns", "16"},
       false,
       "ERROR: cannot set extended_number_of_returns because 16 is larger than 15\n"},
      {{"-change_return_number_from_to", "8", "1"},
       false,
       "ERROR: cannot change return_number because from_value 8 is larger than 7\n"},
      {{"-change_class_from_to", "1", "256"},
       false,
       "ERROR: cannot change classification because to_value 256 is larger than 255\n"},
      {{"-classify_intensity_between_as", "1", "70000", "2"},
       false,
       "ERROR: cannot classify intensity because max_value of 70000 is larger than 65535\n"},
      {{"-classify_z_between_as", "1", "2", "300"},
       false,
       "ERROR: cannot classify z_value because classification of 300 is larger than 255\n"},
      {{"-set_RGB", "1", "70000", "3"},
       false,
       "ERROR: cannot set RGB because G is 70000, which is larger than 65535\n"},
      {{"-set_RGB_of_class", "256", "1", "2", "3"},
       false,
       "ERROR: cannot set RGB because classification is 256, which is larger than 255\n"},
      {{"-set_NIR", "65536"},
       false,
       "ERROR: cannot set NIR because value is 65536, which is larger than 65535\n"},
      {{"-bin_Z_into_point_source", "0"},
       false,
       "ERROR: 0 is no valid bin_size for '-bin_Z_into_point_source'\n"},
      {{"-bin_abs_scan_angle_into_point_source", "-1"},
       false,
       "ERROR: -1 is no valid bin_size for '-bin_abs_scan_angle_into_point_source'\n"},
      {{"-bin_gps_time_into_intensity", "0"},
       false,
       "ERROR: 0.000000 is no valid bin_size for '-bin_gps_time_into_intensity'\n"},
      {{"-add_scaled_attribute_to_z", "0", "0"},
       false,
       "ERROR: '-add_scaled_attribute_to_z' needs 2 arguments: index scale but '0' is no valid "
       "scale\n"},
      {{"-multiply_scaled_intensity_into_RGB_red", "0"},
       false,
       "ERROR: '-multiply_scaled_intensity_into_RGB_red' needs 1 argument: scale but '0' is no "
       "valid scale\n"},
      {{"-multiply_divided_intensity_into_RGB_nir"},
       false,
       "ERROR: '-multiply_divided_intensity_into_RGB_nir' needs 1 argument: divisor \n"},
      {{"-multiply_divided_intensity_into_RGB_nir", "0"},
       false,
       "ERROR: '-multiply_divided_intensity_into_RGB_nir' needs 1 argument: scale but '0' is no "
       "valid divisor\n"},
      {{"-set_register", "16", "1"},
       false,
       "ERROR: '-set_register' index of register 16 is out of valid [0,15] range\n"},
      {{"-copy_register_into_x", "16"},
       false,
       "ERROR: '-copy_register_into_x' index of register 16 is out of valid [0,15] range\n"},
      {{"-copy_attribute_into_register", "0", "16"},
       false,
       "ERROR: '-copy_attribute_into_register' 2nd of 2 arguments index of register 16 is out "
       "of valid [0,15] range\n"},
      {{"-copy_attribute_into_register", "a", "1"},
       false,
       "ERROR: '-copy_attribute_into_register' 1st of 2 arguments index of attribute 'a' is no "
       "valid index\n"},
      {{"-copy_register_into_attribute", "17", "1"},
       false,
       "ERROR: '-copy_register_into_attribute' 1st of 2 arguments index of register 17 is out "
       "of valid [0,15] range\n"},
      {{"-add_registers", "0", "1", "16"},
       false,
       "ERROR: '-add_registers' needs 3 arguments: input1 input2 output but 16 is out-of-range "
       "for output\n"},
      {{"-divide_registers", "0", "1", "x"},
       false,
       "ERROR: '-divide_registers' needs 3 arguments: input1 input2 output but 'x' is no valid "
       "input3\n"},
      {{"-map_intensity", missing},
       false,
       "ERROR: '-map_intensity' needs text file with map but '" + missing + "' cannot be opened\n"},
      {{"-map_user_data", missing},
       false,
       "ERROR: '-map_user_data' needs text file with map but '" + missing + "' cannot be opened\n"},
      {{"-map_attribute_into_RGB", "0", missing},
       false,
       "ERROR: '-map_attribute_into_RGB' needs text file with attribute values but '" + missing +
           "' cannot be opened\n"},
      {{"-load_attribute_from_text", "0", missing},
       false,
       "ERROR: cannot '-load_attribute_from_text' needs text file with map but '" + missing +
           "' cannot be opened\n"},
      {{"-load_attribute_from_text", "0"},
       false,
       "ERROR: '-load_attribute_from_text' needs 2 arguments: attribute_index "
       "attribute_file_name.txt\n"},
      {{"-week_to_adjusted", "w"},
       false,
       "ERROR: '-week_to_adjusted' needs 1 argument: week but 'w' is no valid week\n"},
      // words of other parsers and unclaimed multiplier bands stay
      {{"-keep_class", "2", "-multiply_scaled_intensity_into_RGB_purple", "2"}, true, ""},
  };
}

TEST(TransformOptions, MessagesNameTheWordAndTheOffendingValue) {
  for (const MessageCase& c : message_cases()) {
    Argv args(c.args);
    LAStransform transform;
    testing::internal::CaptureStderr();
    const bool ok = transform.take_arguments(args.argc(), args.data());
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ok, c.ok) << c.args[0];
    EXPECT_EQ(printed, c.message) << c.args[0];
    if (!c.ok) {
      EXPECT_EQ(transform.num_operations(), 0u) << c.args[0];
    }
  }
}

TEST(TransformOptions, ConsumedEntriesAreBlankedAndOthersLeft) {
  Argv args({"-scale_z", "2", "-unknown_word", "5", "-keep_class", "1", "-set_point_sourceXYZ", "7",
             "-multiply_scaled_intensity_into_RGB_purple", "2"});
  LAStransform transform;
  ASSERT_TRUE(transform.take_arguments(args.argc(), args.data()));
  const std::vector<std::string> left = {"",
                                         "",
                                         "-unknown_word",
                                         "5",
                                         "-keep_class",
                                         "1",
                                         "",
                                         "",
                                         "-multiply_scaled_intensity_into_RGB_purple",
                                         "2"};
  for (size_t i = 0; i < left.size(); i++) EXPECT_EQ(args.entry(int(i) + 1), left[i]) << i;
  EXPECT_EQ(transform_text(transform), "-scale_z 2.000000 -set_point_source 7 ");
}

TEST(TransformOptions, OperationsBeforeAnErrorStayAndTheirEntriesAreBlank) {
  Argv args({"-translate_x", "1", "-set_user_data", "300", "-translate_y", "2"});
  LAStransform transform;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(transform.take_arguments(args.argc(), args.data()));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(transform.num_operations(), 1u);
  EXPECT_EQ(args.entry(1), "");
  EXPECT_EQ(args.entry(3), "-set_user_data");
  EXPECT_EQ(args.entry(5), "-translate_y");
}

TEST(TransformOptions, HelpPrintsTheUsageAndStops) {
  Argv args({"-translate_x", "1", "-h", "-translate_y", "2"});
  LAStransform transform;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(transform.take_arguments(args.argc(), args.data()));
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(printed.rfind("Transform coordinates.\n  -translate_x -2.5\n", 0), 0u);
  EXPECT_NE(printed.find("  -classify_intensity_below_as 30 11 \n"), std::string::npos);
  EXPECT_NE(printed.find("Transform using \"LASregisters\".\n"), std::string::npos);
  EXPECT_EQ(printed.substr(printed.size() - 34), "  -copy_register_into_intensity 1\n");
  EXPECT_EQ(args.entry(3), "-h");
  EXPECT_EQ(args.entry(4), "-translate_y");
  EXPECT_EQ(transform.num_operations(), 1u);
}

TEST(TransformOptions, ClassOfColourByClassChoosesTheField) {
  LAStransform transform;
  ASSERT_TRUE(parse_transform(transform, "-set_RGB_of_class 40 1 2 3 -set_RGB_of_class 31 1 2 3"));
  EXPECT_NE(dynamic_cast<LASoperationSetRGBofExtendedClass*>(transform.operation(0)), nullptr);
  EXPECT_NE(dynamic_cast<LASoperationSetRGBofClass*>(transform.operation(1)), nullptr);
}

}  // namespace
