// Writes the points of one LAS file of point format 3 as text (the default fields "xyztRGB" and
// a long parse string), BIN, QFIT and VRML on disk, against a plain copy of the same LAS file's
// bytes in the same run; items are points.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_files.hpp"
#include "core/las_point.hpp"
#include "core/las_reader_las.hpp"
#include "io/formats/las_writers_binary.hpp"
#include "io/formats/las_writers_text.hpp"
#include "las_fixture.hpp"

namespace {

constexpr int kPoints = 200000;

// The points in longitude and latitude, so that QFIT takes them too.
const std::string& source() {
  static std::string name;
  if (name.empty()) {
    name = bench_folder() + "/source.las";
    FixtureFile file;
    file.point_data_format = 3;
    file.scale = {0.000001, 0.000001, 0.001};
    file.offset = {-70.0, 42.0, 0.0};
    std::vector<FixturePoint> points = fixture_random_points(7, kPoints, 3);
    for (FixturePoint& p : points) {
      p.X %= 5000000;
      p.Y %= 5000000;
      p.gps_time = static_cast<double>(static_cast<int64_t>(p.gps_time * 500)) / 1000.0;
    }
    fixture_write_file(name, file, points);
  }
  return name;
}

// Reads the source once into memory, so that the writers alone are timed.
struct Loaded {
  LASreaderLAS reader;
  std::vector<std::unique_ptr<LASpoint>> points;
  Loaded() {
    reader.open_file(source().c_str());
    while (reader.read_point()) {
      auto p = std::make_unique<LASpoint>();
      p->init_like(&reader.point, false);
      p->assign(reader.point);
      points.push_back(std::move(p));
    }
  }
};

const Loaded& loaded() {
  static Loaded l;
  return l;
}

template <typename Open>
void write_all(benchmark::State& state, Open open) {
  const Loaded& l = loaded();
  int64_t points = 0;
  for (auto _ : state) {
    std::unique_ptr<LASwriter> writer(open(&l.reader.header));
    for (const auto& p : l.points) writer->write_one_point(p.get());
    benchmark::DoNotOptimize(writer->close_output(true));
    points += static_cast<int64_t>(l.points.size());
  }
  state.SetItemsProcessed(points);
}

void BM_WriteText(benchmark::State& state) {
  const char* parse = state.range(0) ? "xyztiarncupedhkgRGB" : nullptr;
  write_all(state, [parse](const LASheader* h) {
    auto* w = new LASwriterTXT();
    w->open_file((bench_folder() + "/out.txt").c_str(), h, parse);
    return w;
  });
}
BENCHMARK(BM_WriteText)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WriteBin(benchmark::State& state) {
  write_all(state, [](const LASheader* h) {
    auto* w = new LASwriterBIN();
    w->open_file((bench_folder() + "/out.bin").c_str(), h, "ts8", 262144);
    return w;
  });
}
BENCHMARK(BM_WriteBin)->Unit(benchmark::kMillisecond);

void BM_WriteQfit(benchmark::State& state) {
  write_all(state, [](const LASheader* h) {
    auto* w = new LASwriterQFIT();
    w->open_file((bench_folder() + "/out.qi").c_str(), h, 40, 65536);
    return w;
  });
}
BENCHMARK(BM_WriteQfit)->Unit(benchmark::kMillisecond);

void BM_WriteVrml(benchmark::State& state) {
  write_all(state, [](const LASheader* h) {
    auto* w = new LASwriterWRL();
    w->open_file((bench_folder() + "/out.wrl").c_str(), h);
    return w;
  });
}
BENCHMARK(BM_WriteVrml)->Unit(benchmark::kMillisecond);

// The floor: the source's bytes read and written as a plain file copy.
void BM_CopyFile(benchmark::State& state) {
  bench_copy_file(state, source(), kPoints);
}
BENCHMARK(BM_CopyFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
