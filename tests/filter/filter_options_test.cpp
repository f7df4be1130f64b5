// The option parser: option text round trips, shared argument vectors, messages.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "filter_test_point.hpp"

namespace {

// parse -> text -> parse -> text is a fixed point with the expected text.
struct TextCase {
  const char* options;
  const char* text;
};

const TextCase kTextCases[] = {
    {"-keep_class 2 -drop_z_below 10", "-keep_class 2 -drop_z_below 10.000000 "},
    {"-keep_tile 631000 4834000 1000", "-keep_tile 631000 4.834e+06 1000 "},
    // "%g" would write 4.83412e+06 and lose the last digits
    {"-keep_tile 631000 4834123 1000", "-keep_tile 631000 4834123 1000 "},
    {"-keep_tile 0.5 -0.25 1e-3", "-keep_tile 0.5 -0.25 0.001 "},
    {"-keep_circle 630250.00 4834750.00 100",
     "-keep_circle 630250.000000 4834750.000000 100.000000 "},
    {"-keep_xy 630000 4834000 631000 4836000",
     "-keep_xy 630000.000000 4834000.000000 631000.000000 4836000.000000 "},
    // "%lf" would keep six decimals only
    {"-keep_xy 630000.123456789 4834000 631000 4836000",
     "-keep_xy 630000.123456789 4834000.000000 631000.000000 4836000.000000 "},
    {"-drop_z_below 4834123.123456789", "-drop_z_below 4834123.123456789 "},
    {"-drop_z_above 0.0000001", "-drop_z_above 1e-07 "},
    {"-drop_xy 1 2 3 4", "-drop_xy 1.000000 2.000000 3.000000 4.000000 "},
    {"-keep_xyz 620000 4830000 100 621000 4831000 200",
     "-keep_xyz 620000.000000 4830000.000000 100.000000 621000.000000 4831000.000000 "
     "200.000000 "},
    {"-drop_xyz 0 0 0 1 1 1", "-drop_xyz 0.000000 0.000000 0.000000 1.000000 1.000000 1.000000 "},
    {"-keep_x 631500.50 631501.00", "-keep_x 631500.500000 631501.000000 "},
    {"-drop_x 1 2 -keep_y 3 4 -drop_y 5 6",
     "-drop_x 1.000000 2.000000 -keep_y 3.000000 4.000000 -drop_y 5.000000 6.000000 "},
    {"-keep_z 11.125 130.725 -drop_z 1 2",
     "-keep_z 11.125000 130.725000 -drop_z 1.000000 2.000000 "},
    {"-drop_x_below 630000.50 -drop_x_above 630500.50",
     "-drop_x_below 630000.500000 -drop_x_above 630500.500000 "},
    {"-drop_y_below 1 -drop_y_above 2", "-drop_y_below 1.000000 -drop_y_above 2.000000 "},
    {"-keep_z_above 5 -keep_z_below 6", "-drop_z_below 5.000000 -drop_z_above 6.000000 "},
    {"-keep_profile 0 0 10 0 4", "-keep_profile 0.000000 0.000000 10.000000 0.000000 4.000000 "},
    {"-keep_XY -1 -2 3 4 -keep_X 1 2 -drop_X 3 4", "-keep_XY -1 -2 3 4 -keep_X 1 2 -drop_X 3 4 "},
    {"-keep_Y 1 2 -drop_Y 3 4 -keep_Z 5 6 -drop_Z 7 8",
     "-keep_Y 1 2 -drop_Y 3 4 -keep_Z 5 6 -drop_Z 7 8 "},
    {"-drop_X_below 1 -drop_X_above 2 -drop_Y_below 3 -drop_Y_above 4",
     "-drop_X_below 1 -drop_X_above 2 -drop_Y_below 3 -drop_Y_above 4 "},
    {"-drop_Z_below 1 -drop_Z_above 2 -keep_Z_above 3 -keep_Z_below 4",
     "-drop_Z_below 1 -drop_Z_above 2 -drop_Z_below 3 -drop_Z_above 4 "},
    {"-keep_first -first_only -drop_first", "-keep_first -keep_first -drop_first "},
    {"-keep_last -last_only -drop_last", "-keep_last -keep_last -drop_last "},
    {"-keep_second_last -drop_second_last", "-keep_second_last -drop_second_last "},
    {"-keep_first_of_many -keep_last_of_many", "-keep_first_of_many -keep_last_of_many "},
    {"-drop_first_of_many -drop_last_of_many", "-drop_first_of_many -drop_last_of_many "},
    {"-keep_middle -drop_middle", "-keep_middle -drop_middle "},
    {"-keep_return 1 2 3", "-keep_return 1 2 3 "},
    {"-keep_return 3 -keep_return 1", "-keep_return 1 3 "},
    {"-drop_return 3 4", "-drop_return 3 4 "},
    {"-drop_return 4 -drop_return 3", "-drop_return 3 4 "},
    {"-keep_return_mask 6", "-keep_return 1 2 "},
    {"-keep_return_mask 0", "-keep_return_mask 0 "},
    {"-drop_return_mask 0", "-drop_return_mask 0 "},
    {"-drop_return_mask 65535", "-drop_return 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 "},
    {"-keep_single -drop_single -keep_double -drop_double",
     "-keep_single -drop_single -keep_double -drop_double "},
    {"-keep_triple -drop_triple -keep_quadruple -drop_quadruple -keep_quintuple -drop_quintuple",
     "-keep_triple -drop_triple -keep_quadruple -drop_quadruple -keep_quintuple -drop_quintuple "},
    {"-keep_number_of_returns 5", "-keep_quintuple "},
    {"-keep_number_of_returns 7", "-keep_number_of_returns 7 "},
    {"-drop_number_of_returns 0", "-drop_number_of_returns 0 "},
    {"-drop_number_of_returns 1", "-drop_single "},
    {"-drop_scan_direction 0", "-drop_scan_direction 0 "},
    {"-keep_scan_direction_change -keep_edge_of_flight_line",
     "-keep_scan_direction_change -keep_edge_of_flight_line "},
    {"-keep_scanner_channel 3 -drop_scanner_channel 0",
     "-keep_scanner_channel 3 -drop_scanner_channel 0 "},
    {"-keep_intensity 20 380", "-keep_intensity 20 380 "},
    {"-keep_intensity_above 20 -keep_intensity_below 65535",
     "-keep_intensity_above 20 -keep_intensity_below 65535 "},
    {"-drop_intensity_below 20 -drop_intensity_above 380",
     "-drop_intensity_below 20 -drop_intensity_above 380 "},
    {"-drop_intensity_between 4000 5000", "-drop_intensity_between 4000 5000 "},
    {"-keep_class 1 3 7", "-keep_class 1 3 7 "},
    {"-keep_classification 7 1 -keep_class 3", "-keep_class 1 3 7 "},
    {"-drop_class 4 2", "-drop_class 2 4 "},
    {"-drop_classification 4 -drop_class 2", "-drop_class 2 4 "},
    {"-keep_class 2 -drop_z_below 0 -keep_class 6",
     "-keep_class 2 -drop_z_below 0.000000 -keep_class 6 "},
    {"-keep_classification_mask 0", "-keep_classification_mask 0 "},
    {"-keep_classification_mask 6", "-keep_class 1 2 "},
    {"-drop_classification_mask 0", "-drop_classification_mask 0 "},
    {"-drop_classification_mask 2147483649", "-drop_class 0 31 "},
    {"-keep_extended_class 43",
     "-drop_extended_classification_mask 4294967295 4294967295 4294967295 4294967295 "
     "4294967295 4294967295 4294965247 4294967295 "},
    {"-drop_extended_class 129 135 -keep_first",
     "-keep_first -drop_extended_classification_mask 0 0 0 130 0 0 0 0 "},
    {"-drop_extended_classification_mask 1 2 3 4 5 6 7 8",
     "-drop_extended_classification_mask 1 2 3 4 5 6 7 8 "},
    {"-drop_synthetic -keep_synthetic -drop_keypoint -keep_keypoint",
     "-drop_synthetic -keep_synthetic -drop_keypoint -keep_keypoint "},
    {"-drop_withheld -keep_withheld -drop_overlap -keep_overlap",
     "-drop_withheld -keep_withheld -drop_overlap -keep_overlap "},
    {"-keep_user_data 1 -keep_user_data_below 50 -keep_user_data_above 150",
     "-keep_user_data 1 -keep_user_data_below 50 -keep_user_data_above 150 "},
    {"-keep_user_data_between 10 20", "-keep_user_data_between 10 20 "},
    {"-drop_user_data 255", "-drop_user_data 255 "},
    {"-drop_user_data 3 4", "-drop_user_data 3 -drop_user_data 4 "},
    {"-drop_user_data_below 1 -drop_user_data_above 100 -drop_user_data_between 10 40",
     "-drop_user_data_below 1 -drop_user_data_above 100 -drop_user_data_between 10 40 "},
    {"-keep_point_source 3", "-keep_point_source 3 "},
    {"-keep_point_source 3 5", "-keep_point_source 3 -keep_point_source 5 -filter_and "},
    {"-keep_point_source 3 5 7",
     "-keep_point_source 3 -keep_point_source 5 -filter_and -keep_point_source 7 -filter_and "},
    {"-keep_point_source_between 2 6", "-keep_point_source_between 2 6 "},
    {"-drop_point_source 27", "-drop_point_source 27 "},
    {"-drop_point_source 27 28", "-drop_point_source 27 -drop_point_source 28 "},
    {"-drop_point_source_below 6 -drop_point_source_above 15",
     "-drop_point_source_below 6 -drop_point_source_above 15 "},
    {"-drop_point_source_between 17 21", "-drop_point_source_between 17 21 "},
    {"-keep_scan_angle -15 15", "-keep_scan_angle -15 15 "},
    {"-keep_scan_angle_between 15 -15", "-keep_scan_angle -15 15 "},
    {"-drop_abs_scan_angle_above 15", "-keep_scan_angle -15 15 "},
    {"-drop_abs_scan_angle_below 1", "-drop_scan_angle_between 0 0 "},
    // bounds no absolute angle can pass, down to the one whose negation overflows
    {"-drop_abs_scan_angle_above -1", "-drop_scan_angle_between -2147483648 2147483647 "},
    {"-drop_abs_scan_angle_above -2147483648", "-drop_scan_angle_between -2147483648 2147483647 "},
    {"-drop_abs_scan_angle_above 2147483647", "-keep_scan_angle -2147483647 2147483647 "},
    {"-drop_abs_scan_angle_below 0", "-keep_scan_angle -2147483648 2147483647 "},
    {"-drop_abs_scan_angle_below -2147483648", "-keep_scan_angle -2147483648 2147483647 "},
    {"-drop_abs_scan_angle_below 2147483647", "-drop_scan_angle_between -2147483646 2147483646 "},
    {"-drop_scan_angle_below -15 -drop_scan_angle_above 15",
     "-drop_scan_angle_below -15 -drop_scan_angle_above 15 "},
    {"-drop_scan_angle_between -23 -25", "-drop_scan_angle_between -25 -23 "},
    {"-keep_gps_time 11.125 130.725", "-keep_gps_time 11.125000 130.725000 "},
    {"-keep_gpstime 1 2 -keep_gps_time_between 3 4 -keep_gpstime_between 5 6",
     "-keep_gps_time 1.000000 2.000000 -keep_gps_time 3.000000 4.000000 "
     "-keep_gps_time 5.000000 6.000000 "},
    {"-keep_gps_time_above 1 -keep_gpstime_above 2",
     "-drop_gps_time_below 1.000000 -drop_gps_time_below 2.000000 "},
    {"-keep_gps_time_below 1 -keep_gpstime_below 2",
     "-drop_gps_time_above 1.000000 -drop_gps_time_above 2.000000 "},
    {"-drop_gps_time_below 11.125 -drop_gpstime_below 1",
     "-drop_gps_time_below 11.125000 -drop_gps_time_below 1.000000 "},
    {"-drop_gps_time_above 130.725 -drop_gpstime_above 1",
     "-drop_gps_time_above 130.725000 -drop_gps_time_above 1.000000 "},
    {"-drop_gps_time_between 22.0 48.0 -drop_gpstime_between 1 2",
     "-drop_gps_time_between 22.000000 48.000000 -drop_gps_time_between 1.000000 2.000000 "},
    {"-keep_gps_time 315964800.123456789 1e9",
     "-keep_gps_time 315964800.1234568 1000000000.000000 "},
    {"-keep_RGB_red 1 1 -drop_RGB_red 5000 20000", "-keep_RGB_red 1 1 -drop_RGB_red 5000 20000 "},
    {"-keep_RGB_green 100 30 -drop_RGB_green 2000 10000",
     "-keep_RGB_green 30 100 -drop_RGB_green 2000 10000 "},
    {"-keep_RGB_blue 0 0 -drop_RGB_blue 1 2 -keep_RGB_nir 64 127 -drop_RGB_nir 3 4",
     "-keep_RGB_blue 0 0 -drop_RGB_blue 1 2 -keep_RGB_nir 64 127 -drop_RGB_nir 3 4 "},
    {"-keep_RGB_greenness 200 65535", "-keep_RGB_greenness 200 65535 "},
    {"-keep_NDVI 0.2 0.7 -keep_NDVI_from_CIR -0.1 0.5",
     "-keep_NDVI 0.2 0.7 -keep_NDVI_from_CIR -0.1 0.5 "},
    {"-keep_NDVI_intensity_is_NIR 0.8 0.4 -keep_NDVI_green_is_NIR -0.2 0.2",
     "-keep_NDVI_intensity_is_NIR 0.4 0.8 -keep_NDVI_green_is_NIR -0.2 0.2 "},
    {"-keep_NDVI_blue_is_NIR 0.1234567 1", "-keep_NDVI_blue_is_NIR 0.1234567 1 "},
    {"-keep_wavepacket 0 -drop_wavepacket 3", "-keep_wavepacket 0 -drop_wavepacket 3 "},
    {"-keep_attribute_above 0 5.0 -drop_attribute_below 1 1.5",
     "-keep_attribute_above 0 5.000000 -drop_attribute_below 1 1.500000 "},
    {"-keep_attribute_below 2 1 -drop_attribute_above 3 -1",
     "-keep_attribute_below 2 1.000000 -drop_attribute_above 3 -1.000000 "},
    {"-keep_attribute_between 0 1 2 -drop_attribute_between 1 3 4",
     "-keep_attribute_between 0 1.000000 2.000000 -drop_attribute_between 1 3.000000 4.000000 "},
    {"-keep_every_nth 2 -drop_every_nth 3", "-keep_every_nth 2 -drop_every_nth 3 "},
    {"-keep_random_fraction 0.1", "-keep_random_fraction 0.1 "},
    // the seed is written too, so that the text selects the same points
    {"-keep_random_fraction 0.1 4711", "-keep_random_fraction 0.1 4711 "},
    {"-thin_with_grid 1.0", "-thin_with_grid 1 "},
    {"-thin_with_grid 0.3", "-thin_with_grid 0.3 "},
    {"-thin_pulses_with_time 0.0001 -thin_with_time 2",
     "-thin_pulses_with_time 0.000100 -thin_pulses_with_time 2.000000 "},
    {"-thin_points_with_time 0.000001", "-thin_points_with_time 0.000001 "},
    {"-thin_points_with_time 0.00000025", "-thin_points_with_time 2.5e-07 "},
    {"-keep_z 0 1 -drop_first -filter_or", "-keep_z 0.000000 1.000000 -drop_first -filter_or "},
    {"-keep_first -keep_last -filter_and -keep_single -filter_or",
     "-keep_first -keep_last -filter_and -keep_single -filter_or "},
};

TEST(FilterOptions, OptionTextIsAFixedPoint) {
  for (const TextCase& c : kTextCases) {
    LASfilter first;
    ASSERT_TRUE(parse_filter(first, c.options)) << c.options;
    const std::string text = filter_text(first);
    EXPECT_EQ(text, c.text) << c.options;
    LASfilter second;
    ASSERT_TRUE(parse_filter(second, text)) << text;
    EXPECT_EQ(filter_text(second), text) << c.options;
    EXPECT_EQ(second.count(), first.count()) << c.options;
  }
}

// The absolute scan angle bounds over every angle a legacy point holds, the
// extreme bounds included (negating -2147483648 overflows).
TEST(FilterOptions, AbsoluteScanAngleBoundsSelectByTheAbsoluteAngle) {
  struct Case {
    const char* options;
    int kept_up_to;  // |angle| kept up to this (above: -drop_abs_scan_angle_above)
    int kept_from;   // |angle| kept from this (below: -drop_abs_scan_angle_below)
  };
  const Case cases[] = {
      {"-drop_abs_scan_angle_above 15", 15, 0},
      {"-drop_abs_scan_angle_above 0", 0, 0},
      {"-drop_abs_scan_angle_above -1", -1, 0},
      {"-drop_abs_scan_angle_above -2147483648", -1, 0},
      {"-drop_abs_scan_angle_above 2147483647", 128, 0},
      {"-drop_abs_scan_angle_below 15", 128, 15},
      {"-drop_abs_scan_angle_below 1", 128, 1},
      {"-drop_abs_scan_angle_below 0", 128, 0},
      {"-drop_abs_scan_angle_below -2147483648", 128, 0},
      {"-drop_abs_scan_angle_below 2147483647", 128, 129},
  };
  for (const Case& c : cases) {
    LASfilter filter;
    ASSERT_TRUE(parse_filter(filter, c.options)) << c.options;
    for (int angle = -128; angle <= 127; angle++) {
      TestPoint p;
      p.angle(angle);
      const int a = angle < 0 ? -angle : angle;
      EXPECT_EQ(filter.rejects(&p.point), !(a <= c.kept_up_to && a >= c.kept_from))
          << c.options << " at " << angle;
    }
  }
}

// One argument vector walked by the filter parser: its result, the first line
// it printed, and what it leaves of the vector for the next parser ('|'
// between entries, blanked entries empty).
struct VectorCase {
  std::vector<std::string> args;
  bool ok;
  const char* first_line;
  const char* left;
};

std::string joined(const std::vector<std::vector<char>>& entries) {
  std::string s;
  for (size_t k = 0; k < entries.size(); k++) {
    if (k) s += '|';
    s += entries[k].data();
  }
  return s;
}

std::string first_line(const std::string& s) {
  return s.substr(0, s.find('\n'));
}

TEST(FilterOptions, SharedArgumentVectors) {
  const VectorCase cases[] = {
      {{"tool", "-i", "in.las", "-keep_class", "2", "9", "-keep_z", "0", "10", "-o", "out.las"},
       true,
       "",
       "tool|-i|in.las|||||||-o|out.las"},
      {{"tool", "-i", "a.las", "-odir", "x", "-keep_RGB_purple", "1", "2"},
       true,
       "",
       "tool|-i|a.las|-odir|x|-keep_RGB_purple|1|2"},
      {{"tool", "", "-keep_first", "", "-v"}, true, "", "tool||||-v"},
      {{"tool", "-keep_random_fraction", "0.1", "-keep_class", "2"}, true, "", "tool||||"},
      {{"tool", "-keep_random_fraction", "0.1", "4711", "-v"}, true, "", "tool||||-v"},
      {{"tool", "-keep_point_source", "3", "5", "x.las"}, true, "", "tool||||x.las"},
      {{"tool", "-keep_extended_class", "3", "-drop_extended_class", "4"},
       false,
       "ERROR: cannot use '-drop_extended_class' and '-keep_extended_class' simultaneously",
       "tool||||"},
      {{"tool", "-h", "-keep_class", "2"},
       true,
       "Filter points based on their coordinates.",
       "tool|-h|-keep_class|2"},
      {{"tool", "-keep_first", "-help", "-keep_class", "2"},
       true,
       "Filter points based on their coordinates.",
       "tool||-help|-keep_class|2"},
      {{"tool", "-clip_box", "0", "0", "0", "1", "1", "1"},
       false,
       "ERROR: '-clip_box' is no longer recognized. check documentation with '-h'.",
       "tool|-clip_box|0|0|0|1|1|1"},
      {{"tool", "-clip"}, true, "", "tool|-clip"},
      {{"tool", "-filter_or"},
       false,
       "ERROR: '-filter_or' needs to be preceeded by at least two filters",
       "tool|-filter_or"},
      {{"tool", "-keep_first", "-filter_and"},
       false,
       "ERROR: '-filter_and' needs to be preceeded by at least two filters",
       "tool||-filter_and"},
      {{"tool", "-keep_class", "32"},
       false,
       "ERROR: '-keep_class' needs arguments between 0 and 31 but '32' is out of range",
       "tool|-keep_class|32"},
      {{"tool", "-keep_class"},
       false,
       "ERROR: '-keep_class' needs at least 1 argument: classification",
       "tool|-keep_class"},
      {{"tool", "-keep_class", "-keep_z"},
       false,
       "ERROR: '-keep_class' needs at least 1 argument: classification but '-keep_z' is no "
       "valid classification",
       "tool|-keep_class|-keep_z"},
      {{"tool", "-drop_class", "40"},
       false,
       "ERROR: cannot drop classification 40 because it is larger than 31",
       "tool|-drop_class|40"},
      {{"tool", "-keep_xy", "1", "2", "3"},
       false,
       "ERROR: '-keep_xy' needs 4 arguments: min_x min_y max_x max_y",
       "tool|-keep_xy|1|2|3"},
      {{"tool", "-keep_xy", "1", "2", "x", "4"},
       false,
       "ERROR: '-keep_xy' needs 4 arguments: min_x min_y max_x max_y but 'x' is no valid max_x",
       "tool|-keep_xy|1|2|x|4"},
      {{"tool", "-drop_z_below"},
       false,
       "ERROR: '-drop_z_below' needs 1 argument: min_z",
       "tool|-drop_z_below"},
      {{"tool", "-keep_Z", "1", "y"},
       false,
       "ERROR: '-keep_Z' needs 2 arguments: min_Z max_Z but 'y' is no valid max_Z",
       "tool|-keep_Z|1|y"},
      {{"tool", "-keep_tile", "a", "1", "1"},
       false,
       "ERROR: '-keep_tile' needs 3 arguments: llx lly size but 'a' is no valid llx",
       "tool|-keep_tile|a|1|1"},
      {{"tool", "-keep_user_data", "256"},
       false,
       "ERROR: cannot keep user data value 256 because it is larger than 255",
       "tool|-keep_user_data|256"},
      {{"tool", "-keep_user_data_between", "-1", "4"},
       false,
       "ERROR: cannot keep user data min -1 because it is smaller than 0",
       "tool|-keep_user_data_between|-1|4"},
      {{"tool", "-drop_user_data", "3", "256"},
       false,
       "ERROR: cannot drop user data 256 because it is larger than 255",
       "tool|-drop_user_data|3|256"},
      {{"tool", "-keep_profile", "1", "1", "1", "1", "5"},
       false,
       "ERROR: '-keep_profile' needs two different end points but p1 and p2 are both 1 1",
       "tool|-keep_profile|1|1|1|1|5"},
      {{"tool", "-drop_extended_classification_mask", "1", "2", "x", "4", "5", "6", "7", "8"},
       false,
       "ERROR: '-drop_extended_classification_mask' needs 8 arguments: mask7 mask6 mask5 mask4 "
       "mask3 mask2 mask1 mask0",
       "tool|-drop_extended_classification_mask|1|2|x|4|5|6|7|8"},
      {{"tool", "-keep_every_nth", "0"},
       false,
       "ERROR: 0 is no valid nth for '-keep_every_nth'",
       "tool|-keep_every_nth|0"},
      {{"tool", "-thin_with_grid", "0"},
       false,
       "ERROR: '-thin_with_grid' needs 1 argument: grid spacing but '0' is no valid value",
       "tool|-thin_with_grid|0"},
      {{"tool", "-thin_with_time", "-1"},
       false,
       "ERROR: '-thin_with_time' needs 1 argument: time spacing but '-1' is no valid value",
       "tool|-thin_with_time|-1"},
      {{"tool", "-keep_return", "16"},
       false,
       "ERROR: cannot keep return_number 16 because it is larger than 15",
       "tool|-keep_return|16"},
      {{"tool", "-drop_return", "x"},
       false,
       "ERROR: '-drop_return' needs at least 1 argument: return_number but 'x' is no valid "
       "return_number",
       "tool|-drop_return|x"},
      {{"tool", "-keep_return_mask", "65536"},
       false,
       "ERROR: '-keep_return_mask' needs a return_mask between 0 and 65535 but return_mask is "
       "65536",
       "tool|-keep_return_mask|65536"},
      {{"tool", "-keep_point_source", "70000"},
       false,
       "ERROR: cannot keep_point_source ID 70000 because it is larger than 65535",
       "tool|-keep_point_source|70000"},
      {{"tool", "-keep_point_source_between", "1", "70000"},
       false,
       "ERROR: cannot keep point source because max_ID of 70000 is larger than 65535",
       "tool|-keep_point_source_between|1|70000"},
      {{"tool", "-drop_point_source_below", "x"},
       false,
       "ERROR: '-drop_point_source_below' needs 1 argument: min_ID max_ID but 'x' is no valid "
       "min_ID",
       "tool|-drop_point_source_below|x"},
      {{"tool", "-keep_intensity", "0", "70000"},
       false,
       "ERROR: cannot keep intensity because max of 70000 is larger than 65535",
       "tool|-keep_intensity|0|70000"},
      {{"tool", "-keep_intensity_above", "70000"},
       false,
       "ERROR: cannot keep intensity above max of 70000 because it is larger than 65535",
       "tool|-keep_intensity_above|70000"},
      {{"tool", "-drop_scan_direction", "2"},
       false,
       "ERROR: '-drop_scan_direction' needs 1 argument: scan direction but '2' is no valid value",
       "tool|-drop_scan_direction|2"},
      {{"tool", "-keep_scanner_channel", "4"},
       false,
       "ERROR: '-keep_scanner_channel' needs 1 argument: number between 0 and 3 so '4' is not "
       "valid",
       "tool|-keep_scanner_channel|4"},
      {{"tool", "-drop_scanner_channel", "4"},
       false,
       "ERROR: 4 is no valid value for '-drop_scanner_channel'",
       "tool|-drop_scanner_channel|4"},
      {{"tool", "-drop_number_of_returns", "16"},
       false,
       "ERROR: '-drop_number_of_returns' needs 1 argument: number of returns but '16' is no "
       "valid value",
       "tool|-drop_number_of_returns|16"},
      {{"tool", "-keep_attribute_below", "0", "x"},
       false,
       "ERROR: '-keep_attribute_below' needs 2 arguments: index value 'x' is no valid value",
       "tool|-keep_attribute_below|0|x"},
      {{"tool", "-drop_attribute_between", "0", "1"},
       false,
       "ERROR: '-drop_attribute_between' needs 3 arguments: index below above",
       "tool|-drop_attribute_between|0|1"},
      {{"tool", "-keep_RGB_red", "1", "x"},
       false,
       "ERROR: '-keep_RGB_red' needs 2 arguments: min max but 'x' is no valid value",
       "tool|-keep_RGB_red|1|x"},
      {{"tool", "-keep_random_fraction", "x"},
       false,
       "ERROR: '-keep_random_fraction' needs at least 1 argument: fraction [seed] but 'x' is no "
       "valid fraction",
       "tool|-keep_random_fraction|x"},
      {{"tool", "-keep_extended_class", "256"},
       false,
       "ERROR: cannot keep extended classification 256 because it is larger than 255",
       "tool|-keep_extended_class|256"},
      {{"tool", "-drop_user_data_between", "1", "300"},
       false,
       "ERROR: cannot drop user data between min and max because max of 300 is larger than 255",
       "tool|-drop_user_data_between|1|300"},
      // an error leaves what was consumed before it blanked
      {{"tool", "-keep_first", "-keep_class", "99", "-v"},
       false,
       "ERROR: '-keep_class' needs arguments between 0 and 31 but '99' is out of range",
       "tool||-keep_class|99|-v"},
  };
  for (const VectorCase& c : cases) {
    std::vector<std::vector<char>> entries;
    for (const std::string& a : c.args) entries.emplace_back(a.c_str(), a.c_str() + a.size() + 1);
    std::vector<char*> argv;
    for (auto& e : entries) argv.push_back(e.data());
    LASfilter filter;
    testing::internal::CaptureStderr();
    const bool ok = filter.take_arguments(int(argv.size()), argv.data());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ok, c.ok) << c.args[1];
    EXPECT_EQ(first_line(err), c.first_line) << c.args[1];
    EXPECT_EQ(joined(entries), c.left) << c.args[1];
  }
}

TEST(FilterOptions, BadMaskWordNamesTheWord) {
  LASfilter filter;
  char text[] = "-drop_extended_classification_mask 1 2 x 4 5 6 7 8";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(filter.take_argument_string(text));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err,
            "ERROR: '-drop_extended_classification_mask' needs 8 arguments: mask7 mask6 mask5 "
            "mask4 mask3 mask2 mask1 mask0\n       but 'x' is a bad argument for mask5\n");
}

TEST(FilterOptions, ClipWordsListTheirNewNames) {
  LASfilter filter;
  char text[] = "-clip_z_below 3";
  testing::internal::CaptureStderr();
  EXPECT_FALSE(filter.take_argument_string(text));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: '-clip_z_below' is no longer recognized. check documentation with '-h'.\n"
            "  rename '-clip' to '-keep_xy'.\n"
            "  rename '-clip_box' to '-keep_xyz'.\n"
            "  rename '-clip_tile' to '-keep_tile'.\n"
            "  rename '-clip_z_below' to '-drop_z_below'.\n"
            "  rename '-clip_z_above' to '-drop_z_above'.\n"
            "  rename '-clip_z_between' to '-drop_z'.\n"
            "  etc ...\n");
}

TEST(FilterOptions, HelpText) {
  LASfilter filter;
  testing::internal::CaptureStderr();
  filter.print_help();
  const std::string help = testing::internal::GetCapturedStderr();
  EXPECT_EQ(help.substr(0, 42), "Filter points based on their coordinates.\n");
  EXPECT_EQ(help.substr(help.size() - 46), "Boolean combination of filters.\n  -filter_and\n");
  EXPECT_EQ(std::count(help.begin(), help.end(), '\n'), 105);
  EXPECT_NE(help.find("  -keep_NDVI_intensity_is_NIR 0.4 0.8 -keep_NDVI_green_is_NIR -0.2 0.2\n"),
            std::string::npos);
}

TEST(FilterOptions, ArgumentStringSplitsAtBlanks) {
  const struct {
    const char* text;
    bool ok;
    uint32_t count;
  } cases[] = {
      {"", true, 0},
      {"   ", true, 0},
      {"  -keep_x   1 2 ", true, 1},
      {"-keep_first -keep_last", true, 2},
      {"-keep_first  -unknown  -keep_last ", true, 2},
      {"-keep_x 1", false, 0},
  };
  for (const auto& c : cases) {
    LASfilter filter;
    std::string s = c.text;
    testing::internal::CaptureStderr();
    EXPECT_EQ(filter.take_argument_string(&s[0]), c.ok) << c.text;
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(filter.count(), c.count) << c.text;
  }
}

// A written filter may have more words than a fixed 64-entry vector holds.
TEST(FilterOptions, ArgumentStringTakesMoreThan63Words) {
  std::string options = "-keep_point_source";
  for (int id = 1; id <= 100; id++) options += " " + std::to_string(id);
  LASfilter filter;
  ASSERT_TRUE(parse_filter(filter, options));
  const std::string text = filter_text(filter);
  LASfilter again;
  ASSERT_TRUE(parse_filter(again, text));  // 300 words
  EXPECT_EQ(filter_text(again), text);
  for (int id = 0; id <= 101; id++) {
    TestPoint p;
    p.source(id);
    EXPECT_EQ(!again.rejects(&p.point), id >= 1 && id <= 100) << id;
  }
}

}  // namespace
