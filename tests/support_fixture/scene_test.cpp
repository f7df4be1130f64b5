#include "scene.hpp"
#include "file_bytes.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

SceneParams small(ScenePreset preset, uint64_t seed = 7) {
  SceneParams p = scene_params(preset, 100.0, 2.0, seed);
  return p;
}

bool same_point(const ScenePoint& a, const ScenePoint& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z && a.ground_z == b.ground_z && a.truth == b.truth &&
         a.return_number == b.return_number && a.number_of_returns == b.number_of_returns &&
         a.scan_direction_flag == b.scan_direction_flag &&
         a.edge_of_flight_line == b.edge_of_flight_line && a.intensity == b.intensity &&
         a.point_source_ID == b.point_source_ID && a.gps_time == b.gps_time &&
         a.scan_angle == b.scan_angle;
}

const ScenePreset kAllPresets[] = {ScenePreset::kFlat, ScenePreset::kHilly, ScenePreset::kUrban,
                                   ScenePreset::kForest};

}  // namespace

TEST(Scene, SameSeedSameScene) {
  for (ScenePreset preset : kAllPresets) {
    Scene a = make_scene(small(preset));
    Scene b = make_scene(small(preset));
    ASSERT_EQ(a.points.size(), b.points.size()) << scene_preset_name(preset);
    for (size_t i = 0; i < a.points.size(); ++i) {
      ASSERT_TRUE(same_point(a.points[i], b.points[i])) << scene_preset_name(preset) << " " << i;
    }
    Scene c = make_scene(small(preset, 8));
    bool differs = c.points.size() != a.points.size();
    for (size_t i = 0; !differs && i < a.points.size(); ++i) {
      differs = !same_point(a.points[i], c.points[i]);
    }
    EXPECT_TRUE(differs) << scene_preset_name(preset);
  }
}

TEST(Scene, LayoutDoesNotDependOnDensity) {
  SceneParams p = small(ScenePreset::kUrban);
  Scene a = make_scene(p);
  p.density = 0.5;
  Scene b = make_scene(p);
  ASSERT_EQ(a.buildings.size(), b.buildings.size());
  for (size_t i = 0; i < a.buildings.size(); ++i) {
    EXPECT_EQ(a.buildings[i].min_x, b.buildings[i].min_x);
    EXPECT_EQ(a.buildings[i].eave_z, b.buildings[i].eave_z);
  }
  EXPECT_EQ(a.trees.size(), b.trees.size());
  EXPECT_EQ(a.terrain.height(p.origin_x + 10, p.origin_y + 20),
            b.terrain.height(p.origin_x + 10, p.origin_y + 20));
  EXPECT_LT(b.points.size() * 3, a.points.size());
}

TEST(Scene, PresetsHaveTheirTruthClasses) {
  struct Row {
    ScenePreset preset;
    bool building, vegetation;
  };
  const Row rows[] = {{ScenePreset::kUrban, true, true},
                      {ScenePreset::kForest, true, true},
                      {ScenePreset::kHilly, true, true},
                      {ScenePreset::kFlat, true, true}};
  for (const Row& r : rows) {
    Scene s = make_scene(small(r.preset));
    size_t counts[5] = {};
    size_t ground_under_canopy = 0;
    for (const ScenePoint& p : s.points) {
      ++counts[static_cast<int>(p.truth)];
      ground_under_canopy += p.truth == SceneTruth::kGround && p.number_of_returns > 1;
    }
    const char* name = scene_preset_name(r.preset);
    EXPECT_GT(counts[0], s.points.size() / 5) << name;
    EXPECT_EQ(counts[1] > 0, r.building) << name;
    EXPECT_EQ(counts[2] > 0, r.vegetation) << name;
    EXPECT_GE(counts[3], 3u) << name;
    EXPECT_GE(counts[4], 3u) << name;
    EXPECT_GT(ground_under_canopy, 0u) << name;
  }
}

TEST(Scene, UrbanHasLargeFlatAndPitchedRoofs) {
  SceneParams p = small(ScenePreset::kUrban);
  p.size = 200.0;
  p.density = 0.25;
  Scene s = make_scene(p);
  bool wide = false, flat = false, pitched = false;
  for (const SceneBuilding& b : s.buildings) {
    wide = wide || b.max_x - b.min_x > 20.0 || b.max_y - b.min_y > 20.0;
    flat = flat || b.ridge_height == 0.0;
    pitched = pitched || b.ridge_height > 0.0;
  }
  EXPECT_TRUE(wide);
  EXPECT_TRUE(flat);
  EXPECT_TRUE(pitched);
  EXPECT_GE(s.buildings.size(), 20u);
}

TEST(Scene, PointsLieWhereTheirTruthSays) {
  for (ScenePreset preset : kAllPresets) {
    Scene s = make_scene(small(preset));
    const SceneParams& p = s.params;
    for (const ScenePoint& q : s.points) {
      ASSERT_EQ(q.ground_z, s.terrain.height(q.x, q.y));
      ASSERT_GE(q.x, p.origin_x);
      ASSERT_LT(q.x, p.origin_x + p.size);
      ASSERT_GE(q.y, p.origin_y);
      ASSERT_LT(q.y, p.origin_y + p.size);
      const double above = q.z - q.ground_z;
      switch (q.truth) {
        case SceneTruth::kGround:
          ASSERT_LE(std::fabs(above), p.ground_noise) << scene_preset_name(preset);
          break;
        case SceneTruth::kBuilding:
          ASSERT_GT(above, 2.9) << scene_preset_name(preset);
          break;
        case SceneTruth::kVegetation:
          ASSERT_GT(above, 0.2) << scene_preset_name(preset);
          break;
        case SceneTruth::kLowOutlier:
          ASSERT_LT(above, -0.99) << scene_preset_name(preset);
          break;
        case SceneTruth::kHighNoise:
          ASSERT_GT(above, 59.0) << scene_preset_name(preset);
          break;
      }
    }
  }
}

TEST(Scene, ReturnsAndScanOrderAreConsistent) {
  for (ScenePreset preset : kAllPresets) {
    Scene s = make_scene(small(preset));
    const char* name = scene_preset_name(preset);
    ASSERT_GE(s.flight_lines, 2);
    size_t i = 0;
    double last_time = -1.0;
    uint16_t last_source = 0;
    while (i < s.points.size()) {
      const ScenePoint& first = s.points[i];
      const int n = first.number_of_returns;
      ASSERT_GE(n, 1) << name;
      ASSERT_LE(n, 5) << name;
      ASSERT_GT(first.gps_time, last_time) << name << " " << i;
      ASSERT_GE(first.point_source_ID, last_source) << name;
      ASSERT_LE(first.point_source_ID, s.flight_lines) << name;
      ASSERT_LE(i + n, s.points.size());
      for (int r = 0; r < n; ++r) {
        const ScenePoint& q = s.points[i + r];
        ASSERT_EQ(q.return_number, r + 1) << name << " " << i;
        ASSERT_EQ(q.number_of_returns, n) << name << " " << i;
        ASSERT_EQ(q.gps_time, first.gps_time);
        ASSERT_EQ(q.x, first.x);
        ASSERT_EQ(q.y, first.y);
        ASSERT_EQ(q.point_source_ID, first.point_source_ID);
        if (r > 0) {
          ASSERT_LT(q.z, s.points[i + r - 1].z) << name << " " << i;
        }
        if (q.truth == SceneTruth::kGround) {
          ASSERT_EQ(r, n - 1) << "ground only as last return";
        }
      }
      last_time = first.gps_time;
      last_source = first.point_source_ID;
      i += n;
    }
    EXPECT_EQ(last_source, s.flight_lines) << name;
  }
}

TEST(Scene, TerrainPartsAddUp) {
  SceneTerrain t;
  t.origin_x = 1000.0;
  t.origin_y = 2000.0;
  t.base = 10.0;
  t.slope_x = 0.1;
  t.slope_y = -0.05;
  EXPECT_DOUBLE_EQ(t.height(1000.0, 2000.0), 10.0);
  EXPECT_DOUBLE_EQ(t.height(1010.0, 2020.0), 10.0 + 1.0 - 1.0);
  t.has_step = true;
  t.step_x = 1000.0;
  t.step_y = 2000.0;
  t.step_angle = 0.0;  // the step runs east-west; north of it is higher
  t.step_height = 3.0;
  t.step_width = 2.0;
  struct Row {
    double y, expected_step;
  };
  for (const Row& r :
       {Row{-5.0, 0.0}, Row{-1.0, 0.0}, Row{0.0, 1.5}, Row{1.0, 3.0}, Row{7.0, 3.0}}) {
    EXPECT_NEAR(t.height(1000.0, 2000.0 + r.y), 10.0 - 0.05 * r.y + r.expected_step, 1e-12) << r.y;
  }
  t.waves.push_back({2.0, 40.0, 0.0, 0.0});
  EXPECT_NEAR(t.height(1010.0, 1990.0), 10.0 + 1.0 + 0.5 + 2.0, 1e-12);  // a crest at 10 m
}

TEST(Scene, RoofShapes) {
  SceneBuilding b{0.0, 0.0, 30.0, 10.0, 50.0, 3.0};  // ridge along x at y = 5
  EXPECT_DOUBLE_EQ(b.roof_z(15.0, 5.0), 53.0);
  EXPECT_DOUBLE_EQ(b.roof_z(15.0, 2.5), 51.5);
  EXPECT_DOUBLE_EQ(b.roof_z(15.0, 0.0), 50.0);
  b.ridge_height = 0.0;
  EXPECT_DOUBLE_EQ(b.roof_z(15.0, 5.0), 50.0);
  EXPECT_TRUE(b.contains(0.0, 0.0));
  EXPECT_FALSE(b.contains(30.0, 5.0));
}

TEST(Scene, WritesAsLasInSceneOrder) {
  Scene s = make_scene(small(ScenePreset::kForest));
  struct Row {
    uint8_t format;
    uint8_t expected_minor;
  };
  for (const Row& r : {Row{1, 2}, Row{3, 2}, Row{6, 4}}) {
    SceneLasOptions o;
    o.point_data_format = r.format;
    const FixtureFile f = scene_fixture_file(s, o);
    EXPECT_EQ(f.version_minor, r.expected_minor);
    FixtureContents c;
    std::string error;
    ASSERT_TRUE(fixture_read_bytes(fixture_write_bytes(f, scene_fixture_points(s, o)), &c, &error))
        << error;
    ASSERT_EQ(c.points.size(), s.points.size());
    for (size_t i = 0; i < s.points.size(); ++i) {
      const FixturePoint& p = c.points[i];
      const ScenePoint& q = s.points[i];
      ASSERT_LE(std::fabs(p.X * 0.01 + f.offset[0] - q.x), 0.005 + 1e-9);
      ASSERT_LE(std::fabs(p.Z * 0.01 - q.z), 0.005 + 1e-9);
      ASSERT_EQ(p.classification, 1);
      ASSERT_EQ(p.return_number, q.return_number);
      ASSERT_EQ(p.number_of_returns, q.number_of_returns);
      ASSERT_EQ(p.gps_time, q.gps_time);
      ASSERT_EQ(p.point_source_ID, q.point_source_ID);
    }
  }
  SceneLasOptions o;
  o.truth_classes = true;
  std::vector<FixturePoint> points = scene_fixture_points(s, o);
  const uint8_t expected[5] = {2, 6, 5, 7, 18};
  for (size_t i = 0; i < points.size(); ++i) {
    ASSERT_EQ(points[i].classification, expected[static_cast<int>(s.points[i].truth)]);
  }
}

// The streamed writer must give the very bytes of the in-memory one.
TEST(Scene, StreamedLasEqualsInMemoryLas) {
  const std::string base = ::testing::TempDir() + "scene_streamed_test_" + std::to_string(getpid());
  for (ScenePreset preset : {ScenePreset::kUrban, ScenePreset::kHilly, ScenePreset::kForest}) {
    for (uint8_t format : {uint8_t{1}, uint8_t{3}, uint8_t{6}}) {
      SCOPED_TRACE(std::string(scene_preset_name(preset)) + " format " + std::to_string(format));
      const SceneParams params = small(preset);
      SceneLasOptions o;
      o.point_data_format = format;
      std::string error;
      ASSERT_TRUE(write_scene_las(make_scene(params), base + "_a.las", o, &error)) << error;
      uint64_t count = 0;
      ASSERT_TRUE(write_scene_las_streamed(params, base + "_b.las", o, &count, &error)) << error;
      EXPECT_EQ(count, make_scene(params).points.size());
      EXPECT_EQ(file_bytes(base + "_a.las"), file_bytes(base + "_b.las"));
    }
  }
  std::remove((base + "_a.las").c_str());
  std::remove((base + "_b.las").c_str());
}

TEST(Scene, TruthFileRoundTrip) {
  Scene s = make_scene(small(ScenePreset::kUrban));
  const std::string path = ::testing::TempDir() + "scene_truth_test.bin";
  std::string error;
  ASSERT_TRUE(write_scene_truth(s, path, &error)) << error;
  std::vector<SceneTruthRecord> records;
  ASSERT_TRUE(read_scene_truth(path, &records, &error)) << error;
  ASSERT_EQ(records.size(), s.points.size());
  for (size_t i = 0; i < records.size(); ++i) {
    ASSERT_EQ(records[i].truth, s.points[i].truth);
    ASSERT_EQ(records[i].ground_z, s.points[i].ground_z);
  }
  FILE* f = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 0, SEEK_SET);
  std::fputc('X', f);
  std::fclose(f);
  EXPECT_FALSE(read_scene_truth(path, &records, &error));
  EXPECT_EQ(error, "'" + path + "' is not a scene truth file");
  std::remove(path.c_str());
}

TEST(Scene, ScoresAClassification) {
  using T = SceneTruth;
  const std::vector<SceneTruthRecord> truth = {
      {T::kGround, 0},     {T::kGround, 0},    {T::kGround, 0},     {T::kGround, 0},
      {T::kBuilding, 0},   {T::kBuilding, 0},  {T::kVegetation, 0}, {T::kVegetation, 0},
      {T::kLowOutlier, 0}, {T::kHighNoise, 0},
  };
  const std::vector<uint8_t> classes = {2, 2, 2, 1, 2, 1, 1, 2, 2, 1};
  SceneScore s;
  ASSERT_TRUE(score_scene(truth, classes, &s));
  EXPECT_EQ(s.points, 10u);
  EXPECT_EQ(s.ground, 4u);
  EXPECT_EQ(s.ground_missed, 1u);
  EXPECT_EQ(s.non_ground, 6u);
  EXPECT_EQ(s.non_ground_as_ground, 3u);
  EXPECT_EQ(s.buildings_as_ground, 1u);
  EXPECT_EQ(s.vegetation_as_ground, 1u);
  EXPECT_EQ(s.outliers, 2u);
  EXPECT_EQ(s.outliers_as_ground, 1u);
  EXPECT_DOUBLE_EQ(s.ground_recall(), 0.75);
  EXPECT_DOUBLE_EQ(s.omission_rate(), 0.25);
  EXPECT_DOUBLE_EQ(s.commission_rate(), 0.5);
  EXPECT_DOUBLE_EQ(s.total_error_rate(), 0.4);
  // Another ground class code, and a length mismatch that leaves the score alone.
  const std::vector<uint8_t> eights = {8, 8, 8, 8, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(score_scene(truth, eights, &s, 8));
  EXPECT_EQ(s.ground_missed, 0u);
  EXPECT_EQ(s.non_ground_as_ground, 0u);
  EXPECT_FALSE(score_scene(truth, std::vector<uint8_t>(3, 2), &s));
  EXPECT_EQ(s.points, 10u);

  Scene scene = make_scene(small(ScenePreset::kFlat));
  std::vector<uint8_t> perfect;
  for (const ScenePoint& p : scene.points) perfect.push_back(p.truth == T::kGround ? 2 : 1);
  ASSERT_TRUE(score_scene(scene, perfect, &s));
  EXPECT_EQ(s.ground_missed + s.non_ground_as_ground, 0u);
  EXPECT_DOUBLE_EQ(s.ground_recall(), 1.0);
}

TEST(Scene, PresetNames) {
  for (ScenePreset preset : kAllPresets) {
    ScenePreset parsed = ScenePreset::kFlat;
    ASSERT_TRUE(parse_scene_preset(scene_preset_name(preset), &parsed));
    EXPECT_EQ(parsed, preset);
  }
  ScenePreset parsed;
  EXPECT_FALSE(parse_scene_preset("mountain", &parsed));
}
