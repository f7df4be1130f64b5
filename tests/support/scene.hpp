#ifndef TESTS_SUPPORT_SCENE_HPP
#define TESTS_SUPPORT_SCENE_HPP

// A synthetic airborne LiDAR scene with truth, for testing and measuring the
// ground classifier: terrain with slopes and an embankment, buildings with
// flat and pitched roofs, trees with multiple returns, low outliers and high
// noise. Points come in scan order (flight line by flight line, scan line by
// scan line) with increasing GPS times, as a sensor delivers them. Everything
// follows from the parameters and the seed through our own generator, so a
// scene is the same on every platform for a given seed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "las_fixture.hpp"

enum class ScenePreset { kFlat, kHilly, kUrban, kForest };

// What a point really is.
enum class SceneTruth : uint8_t {
  kGround = 0,
  kBuilding = 1,
  kVegetation = 2,
  kLowOutlier = 3,  // below the ground (multipath)
  kHighNoise = 4,   // far above everything (birds, haze)
};

struct SceneParams {
  ScenePreset preset = ScenePreset::kHilly;
  double size = 200.0;   // side of the square area in metres
  double density = 4.0;  // laser pulses per square metre; a pulse can give several points
  uint64_t seed = 1;
  double origin_x = 500000.0;  // south-west corner of the area
  double origin_y = 4000000.0;
  double ground_noise = 0.03;  // largest deviation of a ground point from the terrain
};

// The true terrain: a base height, a plane, a few long waves and an
// embankment, a steep step of `step_height` across `step_width` metres along
// the line through (`step_x`, `step_y`) with direction angle `step_angle`.
struct SceneTerrain {
  double origin_x = 0.0, origin_y = 0.0;
  double base = 100.0;
  double slope_x = 0.0, slope_y = 0.0;  // metres per metre
  struct Wave {
    double amplitude, wavelength, direction, phase;
  };
  std::vector<Wave> waves;
  bool has_step = false;
  double step_x = 0.0, step_y = 0.0, step_angle = 0.0;
  double step_height = 0.0, step_width = 1.0;

  double height(double x, double y) const;
  // Signed distance of (x, y) from the embankment's centre line.
  double step_distance(double x, double y) const;
};

// An axis-aligned building. A pitched roof has its ridge along the longer side.
struct SceneBuilding {
  double min_x, min_y, max_x, max_y;  // footprint
  double eave_z;                      // absolute height of a flat roof or of the eaves
  double ridge_height;                // ridge above the eaves; 0 for a flat roof
  double roof_z(double x, double y) const;
  bool contains(double x, double y) const {
    return x >= min_x && x < max_x && y >= min_y && y < max_y;
  }
};

// A tree with an ellipsoid crown.
struct SceneTree {
  double x, y;        // stem
  double radius;      // crown radius
  double crown_base;  // height of the crown's lowest point above the ground
  double top;         // height of the crown's top above the ground
};

struct ScenePoint {
  double x = 0.0, y = 0.0, z = 0.0;
  double ground_z = 0.0;  // the true terrain height at (x, y)
  SceneTruth truth = SceneTruth::kGround;
  uint8_t return_number = 1;
  uint8_t number_of_returns = 1;
  bool scan_direction_flag = false;
  bool edge_of_flight_line = false;
  uint16_t intensity = 0;
  uint16_t point_source_ID = 0;  // flight line number, from 1
  double gps_time = 0.0;
  double scan_angle = 0.0;  // degrees, negative to the left of the flight direction
};

struct Scene {
  SceneParams params;
  SceneTerrain terrain;
  std::vector<SceneBuilding> buildings;
  std::vector<SceneTree> trees;
  std::vector<ScenePoint> points;
  int flight_lines = 0;
};

// The parameters of a scene of the preset, `size` metres square at `density`
// pulses per square metre, from `seed`; the others as by default.
inline SceneParams scene_params(ScenePreset preset, double size, double density, uint64_t seed) {
  SceneParams params;
  params.preset = preset;
  params.size = size;
  params.density = density;
  params.seed = seed;
  return params;
}

Scene make_scene(const SceneParams& params);
// Terrain, buildings, trees and flight lines without the points.
Scene make_scene_layout(const SceneParams& params);
// "flat", "hilly", "urban", "forest".
const char* scene_preset_name(ScenePreset preset);
bool parse_scene_preset(const std::string& name, ScenePreset* preset);

// How a scene is written as LAS.
struct SceneLasOptions {
  uint8_t version_minor = 2;
  uint8_t point_data_format = 1;  // 1, 3 or 6 are typical; any 0-10 works
  double scale = 0.01;
  // Class written for every point: 1 (unclassified) for classifier input. With
  // `truth_classes`, ground 2, building 6, vegetation 5, low outlier 7, high
  // noise 18 instead.
  uint8_t classification = 1;
  bool truth_classes = false;
};

// The points as fixture records, in scene order, and the file description.
FixtureFile scene_fixture_file(const Scene& scene, const SceneLasOptions& options = {});
std::vector<FixturePoint> scene_fixture_points(const Scene& scene,
                                               const SceneLasOptions& options = {});
bool write_scene_las(const Scene& scene, const std::string& path,
                     const SceneLasOptions& options = {}, std::string* error = nullptr);

// The same file as `write_scene_las(make_scene(params), ...)`, made without
// holding the points: they go to the file in batches as they are traced, and
// the counts and bounds are patched into the header at the end. For scenes of
// tens of millions of points.
bool write_scene_las_streamed(const SceneParams& params, const std::string& path,
                              const SceneLasOptions& options = {}, uint64_t* point_count = nullptr,
                              std::string* error = nullptr);

// Truth file: "SCENETRU" magic, u32 version 1, u64 point count, then per point
// its truth (u8) and the true ground height (f64), all little-endian.
bool write_scene_truth(const Scene& scene, const std::string& path, std::string* error = nullptr);
struct SceneTruthRecord {
  SceneTruth truth;
  double ground_z;
};
bool read_scene_truth(const std::string& path, std::vector<SceneTruthRecord>* records,
                      std::string* error = nullptr);

// How a classification compares with the truth. A point counts as classified
// ground when its class equals the ground class, as non-ground otherwise.
struct SceneScore {
  size_t points = 0;
  size_t ground = 0;                // truth ground points
  size_t ground_missed = 0;         // truth ground not classified ground (type I)
  size_t non_ground = 0;            // every other truth
  size_t non_ground_as_ground = 0;  // type II, outliers included
  size_t buildings_as_ground = 0;
  size_t vegetation_as_ground = 0;
  size_t outliers = 0;  // low outliers and high noise
  size_t outliers_as_ground = 0;

  double ground_recall() const { return ground ? 1.0 - double(ground_missed) / ground : 1.0; }
  double omission_rate() const { return ground ? double(ground_missed) / ground : 0.0; }
  double commission_rate() const {
    return non_ground ? double(non_ground_as_ground) / non_ground : 0.0;
  }
  double total_error_rate() const {
    return points ? double(ground_missed + non_ground_as_ground) / points : 0.0;
  }
};

// False (score untouched) when the number of classes differs from the points.
bool score_scene(const std::vector<SceneTruthRecord>& truth, const std::vector<uint8_t>& classes,
                 SceneScore* score, uint8_t ground_class = 2);
bool score_scene(const Scene& scene, const std::vector<uint8_t>& classes, SceneScore* score,
                 uint8_t ground_class = 2);
std::vector<SceneTruthRecord> scene_truth(const Scene& scene);

#endif
