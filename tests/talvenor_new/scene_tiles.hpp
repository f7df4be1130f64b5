#ifndef TESTS_TALVENOR_NEW_SCENE_TILES_HPP
#define TESTS_TALVENOR_NEW_SCENE_TILES_HPP

// A generated scene cut into four quarter tiles, for the tests that run the program over tiles.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "las_fixture.hpp"
#include "scene.hpp"

// The scene and its four quarter tiles, the uncut file in tile order too.
struct Tiles {
  std::string whole_in_tile_order;
  std::vector<std::string> tiles;
  std::vector<size_t> sizes;
};

inline Tiles write_tiles(const std::string& folder, const Scene& scene) {
  SceneLasOptions options;
  options.point_data_format = 3;
  const FixtureFile description = scene_fixture_file(scene, options);
  const int32_t mid_X =
      static_cast<int32_t>((scene.params.origin_x + scene.params.size / 2 - description.offset[0]) /
                           description.scale[0]);
  const int32_t mid_Y =
      static_cast<int32_t>((scene.params.origin_y + scene.params.size / 2 - description.offset[1]) /
                           description.scale[1]);
  std::vector<FixturePoint> parts[4];
  for (const FixturePoint& p : scene_fixture_points(scene, options)) {
    parts[(p.X >= mid_X ? 1 : 0) + (p.Y >= mid_Y ? 2 : 0)].push_back(p);
  }
  Tiles t;
  std::vector<FixturePoint> all;
  for (int k = 0; k < 4; k++) {
    t.tiles.push_back(folder + "/tile" + std::to_string(k) + ".las");
    EXPECT_TRUE(fixture_write_file(t.tiles.back(), description, parts[k]));
    t.sizes.push_back(parts[k].size());
    all.insert(all.end(), parts[k].begin(), parts[k].end());
  }
  t.whole_in_tile_order = folder + "/whole.las";
  EXPECT_TRUE(fixture_write_file(t.whole_in_tile_order, description, all));
  return t;
}

#endif  // TESTS_TALVENOR_NEW_SCENE_TILES_HPP
