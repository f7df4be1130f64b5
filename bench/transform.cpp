// Cost of the point transform per point for typical command lines.

#include <benchmark/benchmark.h>

#include <vector>

#include "bench_points.hpp"
#include "core/las_point.hpp"
#include "core/las_scaler.hpp"
#include "filter/las_transform.hpp"

namespace {

struct Cloud {
  LASscaler scaler;
  std::vector<LASpointData> points;
  Cloud() : points(kBenchPoints) {
    BenchSequence sequence;
    auto next = [&sequence](uint32_t range) { return sequence.next(range); };
    for (LASpointData& p : points) {
      p.X = int32_t(next(100000));
      p.Y = int32_t(next(100000));
      p.Z = int32_t(next(5000));
      p.class_byte = uint8_t(next(8));
      p.intensity = uint16_t(next(1000));
      p.gps_time = next(1000000) * 0.001;
      p.rgb[0] = uint16_t(next(65536));
    }
  }
};

void run(benchmark::State& state, const char* options) {
  static Cloud cloud;
  LAStransform transform;
  bench_take_options(transform, options);
  LASpoint point;
  point.quantizer = &cloud.scaler;
  int64_t sum = 0;
  for (auto _ : state) {
    transform.restart_all();
    for (const LASpointData& p : cloud.points) {
      static_cast<LASpointData&>(point) = p;
      transform.apply(&point);
      sum += point.Z + point.intensity;
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kBenchPoints);
}

void BM_TransformTranslateZ(benchmark::State& state) {
  run(state, "-translate_z 1.25");
}
void BM_TransformHelmert(benchmark::State& state) {
  run(state, "-transform_helmert 598.1,73.7,418.2,0.202,0.045,-2.455,6.7");
}
void BM_TransformClassAndIntensity(benchmark::State& state) {
  run(state, "-change_classification_from_to 2 6 -scale_intensity 2.5 -set_user_data 3");
}
void BM_TransformRegisters(benchmark::State& state) {
  run(state,
      "-copy_intensity_into_register 0 -copy_R_into_register 1 -divide_registers 0 1 2 "
      "-copy_register_into_intensity 2");
}

BENCHMARK(BM_TransformTranslateZ);
BENCHMARK(BM_TransformHelmert);
BENCHMARK(BM_TransformClassAndIntensity);
BENCHMARK(BM_TransformRegisters);

}  // namespace

BENCHMARK_MAIN();
