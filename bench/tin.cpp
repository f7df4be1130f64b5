// Triangulation speed and memory of the ground TIN: uniform random points fed
// in strips (as a reader delivers a flight line), the same points in random
// order, and airborne-like points (a jittered scan grid with repeated points).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "tin/tin.hpp"

namespace {

using Records = std::vector<float>;  // x, y, z per point

// Uniform points at density one per unit square, sorted into strips eight
// units high, each strip swept in alternating x direction.
Records random_strips(int64_t n, bool shuffled) {
  std::mt19937_64 rng(42);
  const double side = std::sqrt(static_cast<double>(n));
  std::uniform_real_distribution<double> d(0.0, side);
  struct P {
    float x, y;
  };
  std::vector<P> pts(static_cast<size_t>(n));
  for (P& p : pts) p = {static_cast<float>(500000.0 + d(rng)), static_cast<float>(d(rng))};
  if (shuffled) {
    std::shuffle(pts.begin(), pts.end(), rng);
  } else {
    std::sort(pts.begin(), pts.end(), [](const P& a, const P& b) {
      const int sa = static_cast<int>(a.y / 8), sb = static_cast<int>(b.y / 8);
      if (sa != sb) return sa < sb;
      return (sa & 1) ? a.x > b.x : a.x < b.x;
    });
  }
  Records r;
  r.reserve(3 * pts.size());
  for (const P& p : pts) r.insert(r.end(), {p.x, p.y, 0.0f});
  return r;
}

// Scan lines 0.5 apart with 0.5 spacing along the line, jittered by up to a
// quarter of the spacing at f32 resolution far from the origin; one point in
// twenty repeats its predecessor's position (a second return).
Records airborne(int64_t n) {
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<int> jitter(-32, 32);
  const int64_t per_line = static_cast<int64_t>(std::sqrt(static_cast<double>(n)));
  Records r;
  r.reserve(static_cast<size_t>(3 * n));
  for (int64_t i = 0; i < n; ++i) {
    if (i > 0 && i % 20 == 0) {
      r.insert(r.end(), {r[r.size() - 3], r[r.size() - 2], r[r.size() - 1] - 1.0f});
      continue;
    }
    const int64_t line = i / per_line;
    int64_t k = i % per_line;
    if (line & 1) k = per_line - 1 - k;
    const float x = static_cast<float>(640000.0 + 0.5 * k + jitter(rng) / 256.0);
    const float y = static_cast<float>(5300000.0 + 0.5 * line + jitter(rng) / 256.0);
    r.insert(r.end(), {x, y, 100.0f});
  }
  return r;
}

void triangulate(benchmark::State& state, Records& r) {
  const int64_t n = static_cast<int64_t>(r.size() / 3);
  uint32_t duplicates = 0;
  for (auto _ : state) {
    tin_init(static_cast<uint32_t>(n), false);
    tin_set_point_base(r.data());
    for (int64_t i = 0; i < n; ++i) tin_add_point(r.data() + 3 * i);
    duplicates = tin_flush();
    benchmark::DoNotOptimize(tin_triangle_count());
  }
  state.counters["points_per_s"] =
      benchmark::Counter(static_cast<double>(n) * state.iterations(), benchmark::Counter::kIsRate);
  // Triangle slots handed out for this TIN, plus the caller's 12-byte records;
  // reserved storage can be larger, as full buffers stay for later TINs.
  const double triangle_bytes = static_cast<double>(tin_triangle_count()) * sizeof(TINtriangle);
  state.counters["tin_bytes_per_point"] = triangle_bytes / n;
  state.counters["bytes_per_point"] = (triangle_bytes + 3.0 * sizeof(float) * n) / n;
  state.counters["reserved_bytes_per_point"] = static_cast<double>(tin_reserved_bytes()) / n;
  state.counters["duplicates"] = duplicates;
}

void BM_RandomStrips(benchmark::State& state) {
  Records r = random_strips(state.range(0), false);
  triangulate(state, r);
}
BENCHMARK(BM_RandomStrips)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Each walk starts where the last insertion ended, so random order costs a
// walk across the TIN per point; kept small.
void BM_RandomOrder(benchmark::State& state) {
  Records r = random_strips(state.range(0), true);
  triangulate(state, r);
}
BENCHMARK(BM_RandomOrder)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Airborne(benchmark::State& state) {
  Records r = airborne(state.range(0));
  triangulate(state, r);
}
BENCHMARK(BM_Airborne)->Arg(1000000)->Arg(10000000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Deleting every tenth point of an airborne TIN, as spike removal does.
void BM_DeleteTenth(benchmark::State& state) {
  Records r = airborne(state.range(0));
  const int64_t n = static_cast<int64_t>(r.size() / 3);
  int64_t deleted = 0;
  for (auto _ : state) {
    state.PauseTiming();
    tin_init(static_cast<uint32_t>(n), false);
    tin_set_point_base(r.data());
    for (int64_t i = 0; i < n; ++i) tin_add_point(r.data() + 3 * i);
    tin_flush();
    state.ResumeTiming();
    deleted = 0;
    for (int64_t i = 5; i < n; i += 10) deleted += tin_delete_point(r.data() + 3 * i);
  }
  state.counters["deletions_per_s"] = benchmark::Counter(
      static_cast<double>(deleted) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DeleteTenth)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
