#ifndef TALVENOR_NEW_GROUND_GROUND_SETTINGS_HPP
#define TALVENOR_NEW_GROUND_GROUND_SETTINGS_HPP

#include <cstdint>
#include <string>
#include <vector>

#include "core/las_header.hpp"

// A floating-point setting that no option gave holds this marker.
constexpr float GROUND_UNSET = -2e37f;
inline bool ground_given(float value) {
  return value != GROUND_UNSET;
}

// The tool's version number, shown in the version line and the output header.
constexpr int TALVENOR_VERSION = 210531;

// The run's settings, fixed by the command line before the first file.
struct GroundSettings {
  float step = GROUND_UNSET;
  int32_t sub = -1;  // -1: follows from the step
  float bulge = GROUND_UNSET;
  float spike = GROUND_UNSET;
  float down_spike = GROUND_UNSET;
  float offset = GROUND_UNSET;
  int32_t refine_passes = 40;
  int32_t iterate_passes = 1;
  uint8_t ground_class = 2;
  uint8_t non_ground_class = 1;
  bool non_ground_unchanged = false;
  bool all_returns = false;
  bool no_bulge = false;
  bool clean = true;
  bool pertube = false;
  bool extra_pass = false;
  bool remain_buffered = false;
  bool compute_height = false;
  bool replace_z = false;
  bool store_in_user_data = false;
  bool heights_to_user_data = true;
  float height_scale = 10.0f;
  bool skip_files = false;
  bool metro = false, city = false, town = false, nature = false, wilderness = false,
       archeology = false;
  bool verbose = false, very_verbose = false, quiet = false;

  // Units of the command line; when not given, the file's own decide.
  bool horizontal_units_given = false, vertical_units_given = false;
  bool horizontal_feet = false, vertical_feet = false;

  // Projection of the command line, stored in every output header when present.
  bool projection_given = false;
  std::vector<LASvlrKeyEntry> geo_keys;
  std::vector<double> geo_doubles;
  std::string geo_wkt;  // the same system as well-known text; empty when it has none
};

// Turns the mode flags into step (and offset and spike for archeology) and the step into sub
// where they were not given; run once after the options are read.
void derive_mode_settings(GroundSettings& settings);
// "town", "city", "metro" or "wilderness", the first whose flag is set, else "nature".
const char* ground_mode_word(const GroundSettings& settings);

// The values one file works with, in that file's units.
struct GroundParameters {
  bool horizontal_feet = false;
  bool vertical_feet = false;
  float step = 25.0f;
  int32_t sub = 5;
  float finest = 2.0f;  // cell of the finest grid
  float fine_threshold = 5.0f;
  bool has_fine = true;  // the fine seed level exists
  float spike = 1.0f;
  float down_spike = 1.0f;
  float offset = 0.05f;
  float bulge = 2.0f;
  float integration_bulge = 0.75f;
};

GroundParameters ground_parameters(const GroundSettings& settings, bool horizontal_feet,
                                   bool vertical_feet);

#endif
