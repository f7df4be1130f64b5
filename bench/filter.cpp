// Cost of the point filter per point for typical command lines.

#include <benchmark/benchmark.h>

#include <vector>

#include "bench_points.hpp"
#include "core/las_point.hpp"
#include "core/las_scaler.hpp"
#include "filter/las_filter.hpp"

namespace {

struct Cloud {
  LASscaler scaler;
  std::vector<LASpoint> points;
  Cloud() : points(kBenchPoints) {
    BenchSequence sequence;
    auto next = [&sequence](uint32_t range) { return sequence.next(range); };
    for (LASpoint& p : points) {
      p.quantizer = &scaler;
      p.X = int32_t(next(100000));
      p.Y = int32_t(next(100000));
      p.Z = int32_t(next(5000));
      const int n = 1 + int(next(4));
      p.set_number_of_returns(uint8_t(n));
      p.set_return_number(uint8_t(1 + next(n)));
      p.set_classification(uint8_t(next(8)));
      p.set_intensity(uint16_t(next(1000)));
      p.have_gps_time = true;
      p.set_gps_time(next(1000000) * 0.001);
    }
  }
};

void run(benchmark::State& state, const char* options) {
  static Cloud cloud;
  LASfilter filter;
  bench_take_options(filter, options);
  int64_t kept = 0;
  for (auto _ : state) {
    filter.restart_all();
    for (const LASpoint& p : cloud.points) kept += !filter.rejects(&p);
  }
  benchmark::DoNotOptimize(kept);
  state.SetItemsProcessed(state.iterations() * kBenchPoints);
}

void BM_FilterKeepClassAndBox(benchmark::State& state) {
  run(state, "-keep_class 2 3 -keep_xy 100 100 900 900 -drop_z_below 5");
}
void BM_FilterReturnsAndIntensity(benchmark::State& state) {
  run(state, "-keep_last -keep_intensity 100 800 -drop_withheld");
}
void BM_FilterThinWithGrid(benchmark::State& state) {
  run(state, "-thin_with_grid 2");
}
void BM_FilterThinPointsWithTime(benchmark::State& state) {
  run(state, "-thin_points_with_time 0.01");
}

BENCHMARK(BM_FilterKeepClassAndBox);
BENCHMARK(BM_FilterReturnsAndIntensity);
BENCHMARK(BM_FilterThinWithGrid);
BENCHMARK(BM_FilterThinPointsWithTime);

}  // namespace

BENCHMARK_MAIN();
