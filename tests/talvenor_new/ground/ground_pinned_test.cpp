// Pins the whole classification of fixed scenes: a hash of every output class and of every
// computed height. Any change to the estimate that moves a single point or a single height
// shows here; speed work must keep these values.

#include <gtest/gtest.h>

#include <cstdio>

#include "ground/ground_driver.hpp"
#include "ground/ground_settings.hpp"
#include "ground_test_io.hpp"
#include "scene.hpp"

namespace {

uint64_t fnv1a(uint64_t hash, uint64_t value, int bytes) {
  for (int b = 0; b < bytes; b++) {
    hash ^= (value >> (8 * b)) & 0xFF;
    hash *= 0x100000001B3ull;
  }
  return hash;
}

struct PinRow {
  const char* name;
  ScenePreset preset;
  void (*set)(GroundSettings&);
  uint32_t ground;
  uint64_t classes_hash;
  uint64_t heights_hash;  // user data, or raw Z with -replace_z
};

const PinRow kPins[] = {
    {"default hilly", ScenePreset::kHilly, [](GroundSettings&) {}, 25670, 0xc4738637d438c4ecull,
     0x1413fc51df1fb803ull},
    {"default urban", ScenePreset::kUrban, [](GroundSettings&) {}, 19754, 0x81683b389784bfe7ull,
     0xcdca26bfcef7c2c5ull},
    {"town urban", ScenePreset::kUrban, [](GroundSettings& s) { s.town = true; }, 22608,
     0x343a422f5b28f411ull, 0xd358b9125132cdbdull},
    {"wilderness forest", ScenePreset::kForest, [](GroundSettings& s) { s.wilderness = true; },
     19676, 0xb6743fccc0d5a5c8ull, 0xfe2f225274d70ad4ull},
    {"replace z no bulge", ScenePreset::kHilly,
     [](GroundSettings& s) {
       s.no_bulge = true;
       s.replace_z = true;
       s.heights_to_user_data = false;
     },
     19831, 0x9d266ee4d3b7cbefull, 0xd74aa93ccf0af672ull},
    {"spike 0.5 sub 3", ScenePreset::kUrban,
     [](GroundSettings& s) {
       s.spike = 0.5f;
       s.sub = 3;
     },
     19736, 0xabcd9bfbaff85563ull, 0x67c4d047d33e4c26ull},
};

class GroundPinned : public testing::TestWithParam<PinRow> {};

TEST_P(GroundPinned, ClassesAndHeights) {
  const PinRow& row = GetParam();
  const Scene scene = make_scene(scene_params(row.preset, 120.0, 2.0, 11));
  GroundSettings settings;
  settings.quiet = true;
  settings.compute_height = true;
  row.set(settings);
  derive_mode_settings(settings);
  const std::vector<FixturePoint> input = scene_fixture_points(scene);
  std::unique_ptr<LASreader> reader =
      std::make_unique<MemoryPointReader>(scene_fixture_file(scene), input);
  MemoryGroundIO memory;
  const GroundFileReport report = ground_classify_file(settings, reader, memory.io);
  ASSERT_EQ(report.result, GroundFileResult::kClassified);
  ASSERT_EQ(memory.store.points.size(), input.size());
  uint64_t classes = 0xCBF29CE484222325ull;
  uint64_t heights = 0xCBF29CE484222325ull;
  for (const LASpointData& p : memory.store.points) {
    classes = fnv1a(classes, p.class_byte, 1);
    heights =
        settings.replace_z ? fnv1a(heights, uint32_t(p.Z), 4) : fnv1a(heights, p.user_data, 1);
  }
  std::printf("[ pinned ] %-20s ground %u classes 0x%016llxull heights 0x%016llxull\n", row.name,
              report.ground, (unsigned long long)classes, (unsigned long long)heights);
  EXPECT_EQ(report.ground, row.ground) << row.name;
  EXPECT_EQ(classes, row.classes_hash) << row.name;
  EXPECT_EQ(heights, row.heights_hash) << row.name;
}

INSTANTIATE_TEST_SUITE_P(Scenes, GroundPinned, testing::ValuesIn(kPins));

}  // namespace
