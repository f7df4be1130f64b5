// Speed of the ground classification on synthetic scenes, in memory: the read pass with its
// seed grids, the seed levels, refinement, integration and the output pass, per input point.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "ground/ground_driver.hpp"
#include "memory_point_io.hpp"
#include "scene.hpp"

namespace {

struct Input {
  FixtureFile file;
  std::vector<FixturePoint> points;
};

const Input& input_of(ScenePreset preset) {
  static Input inputs[4];
  Input& in = inputs[int(preset)];
  if (in.points.empty()) {
    const Scene scene = make_scene(scene_params(preset, 300.0, 4.0, 17));
    in.file = scene_fixture_file(scene);
    in.points = scene_fixture_points(scene);
  }
  return in;
}

void classify(benchmark::State& state, ScenePreset preset, bool heights) {
  const Input& in = input_of(preset);
  GroundSettings settings;
  settings.quiet = true;
  settings.compute_height = heights;
  derive_mode_settings(settings);
  MemoryPointWriter::Store store;
  GroundFileIO io;
  io.reopen = [](std::unique_ptr<LASreader>& reader) { return reader->seek_point(0); };
  io.open_writer = [&store](const LASheader&) {
    store.points.clear();
    return std::unique_ptr<LASwriter>(std::make_unique<MemoryPointWriter>(&store));
  };
  for (auto _ : state) {
    std::unique_ptr<LASreader> reader = std::make_unique<MemoryPointReader>(in.file, in.points);
    const GroundFileReport report = ground_classify_file(settings, reader, io);
    benchmark::DoNotOptimize(report.ground);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(in.points.size()));
}

void BM_GroundHilly(benchmark::State& state) {
  classify(state, ScenePreset::kHilly, false);
}
void BM_GroundUrban(benchmark::State& state) {
  classify(state, ScenePreset::kUrban, false);
}
void BM_GroundForest(benchmark::State& state) {
  classify(state, ScenePreset::kForest, false);
}
void BM_GroundUrbanHeights(benchmark::State& state) {
  classify(state, ScenePreset::kUrban, true);
}

BENCHMARK(BM_GroundHilly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroundUrban)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroundForest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroundUrbanHeights)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
