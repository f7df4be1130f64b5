// Adds to lowest-point grids as the ground tool does: points along scan lines, one add per
// point into each of several shifted grids.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "grid/las_cell_grid.hpp"
#include "platform/crt_random.hpp"

namespace {

struct Sample {
  float x, y;
  int32_t z;
};

std::vector<Sample> scan_lines(int n) {
  std::vector<Sample> points(static_cast<size_t>(n));
  crt_srand(7);
  for (int i = 0; i < n; ++i) {
    const int line = i / 2000;
    points[size_t(i)] = {float((i % 2000) * 0.5 + (crt_rand() % 100) * 0.001),
                         float(line * 0.7 + (crt_rand() % 100) * 0.001), crt_rand() - 16384};
  }
  return points;
}

void BM_LowestIndexAdd(benchmark::State& state) {
  const int kGrids = int(state.range(0));
  const std::vector<Sample> points = scan_lines(200000);
  for (auto _ : state) {
    std::vector<std::unique_ptr<LAScellGrid>> grids;
    for (int g = 0; g < kGrids; ++g) {
      grids.emplace_back(new LAScellGrid);
      grids.back()->set_cell_type("lowest elevation index");
    }
    LAScellPoint p;
    for (size_t i = 0; i < points.size(); ++i) {
      p.Z = points[i].z;
      for (int g = 0; g < kGrids; ++g) {
        const float shift = g * 0.2f;
        grids[size_t(g)]->set_current_index(int32_t(i));
        grids[size_t(g)]->add(int32_t(std::floor((points[i].x + shift) / 2.0f)),
                              int32_t(std::floor((points[i].y + shift) / 2.0f)), p);
      }
    }
    benchmark::DoNotOptimize(grids.front()->get_tile_count());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(points.size()) * kGrids);
}
BENCHMARK(BM_LowestIndexAdd)->Arg(1)->Arg(25)->Unit(benchmark::kMillisecond);

// Reading back every cell of a 1000 x 1000 grid when only four tiles fit in memory.
void BM_PagedRead(benchmark::State& state) {
  LAScellGrid grid;
  grid.set_cell_type("lowest elevation index");
  grid.set_memory_budget(4 * 81252);
  LAScellPoint p;
  for (int32_t ty = 0; ty < 10; ++ty) {
    for (int32_t tx = 0; tx < 10; ++tx) {
      for (int32_t r = ty * 100; r < ty * 100 + 100; ++r) {
        for (int32_t c = tx * 100; c < tx * 100 + 100; ++c) {
          p.Z = c ^ r;
          grid.add(c, r, p);
        }
      }
    }
  }
  for (auto _ : state) {
    int64_t sum = 0;
    for (int32_t c = 0; c < 1000; c += 7) {
      for (int32_t r = 0; r < 1000; ++r) {
        int32_t v = 0;
        if (grid.get(c, r, v)) sum += v;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["tile_reads"] = double(grid.get_read_count());
}
BENCHMARK(BM_PagedRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
