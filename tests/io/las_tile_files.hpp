#ifndef TESTS_IO_LAS_TILE_FILES_HPP
#define TESTS_IO_LAS_TILE_FILES_HPP

// Files of several tiles for the readers that join files (merged, buffered):
// a generated scene cut into quarters, and small files of given coordinates.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "las_fixture.hpp"
#include "point_reading.hpp"
#include "scene.hpp"

// A scene of 80 m at 2 points per square metre and its points cut at its
// centre: 0 south-west, 1 south-east, 2 north-west, 3 north-east.
struct SceneQuarters {
  FixtureFile description;
  std::vector<FixturePoint> points;  // the uncut scene
  std::vector<FixturePoint> parts[4];
};

inline SceneQuarters scene_quarters(uint64_t seed) {
  SceneParams params;
  params.size = 80.0;
  params.density = 2.0;
  params.seed = seed;
  const Scene scene = make_scene(params);
  SceneQuarters q;
  q.description = scene_fixture_file(scene);
  q.points = scene_fixture_points(scene);
  const double mid = params.size / 2.0;
  const int32_t mid_X = static_cast<int32_t>(
      std::lround((params.origin_x + mid - q.description.offset[0]) / q.description.scale[0]));
  const int32_t mid_Y = static_cast<int32_t>(
      std::lround((params.origin_y + mid - q.description.offset[1]) / q.description.scale[1]));
  for (const FixturePoint& p : q.points) {
    q.parts[(p.X >= mid_X ? 1 : 0) + (p.Y >= mid_Y ? 2 : 0)].push_back(p);
  }
  return q;
}

// A file of format 1 with these coordinates, scale factors and offsets, its
// points one second apart.
inline std::string write_xyz_file(const TempFolder& dir, const std::string& name,
                                  const std::vector<std::array<double, 3>>& xyz, double scale,
                                  std::array<double, 3> offset, uint16_t file_source_ID = 0) {
  FixtureFile f;
  f.point_data_format = 1;
  f.scale = {scale, scale, scale};
  f.offset = offset;
  f.file_source_ID = file_source_ID;
  std::vector<FixturePoint> points;
  double t = 0.0;
  for (const auto& c : xyz) {
    FixturePoint p;
    p.X = static_cast<int32_t>(std::lround((c[0] - offset[0]) / scale));
    p.Y = static_cast<int32_t>(std::lround((c[1] - offset[1]) / scale));
    p.Z = static_cast<int32_t>(std::lround((c[2] - offset[2]) / scale));
    p.gps_time = t += 1.0;
    points.push_back(p);
  }
  const std::string path = dir.file(name);
  EXPECT_TRUE(fixture_write_file(path, f, points));
  return path;
}

#endif  // TESTS_IO_LAS_TILE_FILES_HPP
