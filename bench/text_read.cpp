// Reads points from text (parse string "xyzitrnc") and from PLY (ASCII and binary) files on
// disk, with and without the populate pass, against a plain copy of the same file's bytes in
// the same run; items are points.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_files.hpp"
#include "io/formats/las_reader_ply.hpp"
#include "io/formats/las_reader_txt.hpp"

namespace {

constexpr int kPoints = 200000;

// Writes the three files once: text, ASCII PLY, binary PLY of the same points.
const std::string& file(int kind) {
  static std::string names[3];
  if (names[kind].empty()) {
    const char* ext[3] = {"/p.txt", "/a.ply", "/b.ply"};
    names[kind] = bench_folder() + ext[kind];
    FILE* f = std::fopen(names[kind].c_str(), "wb");
    if (kind > 0) {
      std::fprintf(f,
                   "ply\nformat %s 1.0\nelement vertex %d\nproperty double x\nproperty double y\n"
                   "property double z\nproperty float intensity\nend_header\n",
                   kind == 1 ? "ascii" : "binary_little_endian", kPoints);
    }
    for (int i = 0; i < kPoints; i++) {
      const double x = 500000.0 + (i % 1000) * 0.37, y = 4000000.0 + (i / 1000) * 0.41;
      const double z = 100.0 + (i % 77) * 0.13;
      if (kind == 0) {
        std::fprintf(f, "%.2f %.2f %.2f %d %.6f %d %d %d\n", x, y, z, i % 4096, i * 0.001,
                     1 + i % 2, 2, 1 + i % 5);
      } else if (kind == 1) {
        std::fprintf(f, "%.2f %.2f %.2f %d\n", x, y, z, i % 4096);
      } else {
        const double xyz[3] = {x, y, z};
        const float intensity = static_cast<float>(i % 4096);
        std::fwrite(xyz, 8, 3, f);
        std::fwrite(&intensity, 4, 1, f);
      }
    }
    std::fclose(f);
  }
  return names[kind];
}

void BM_ReadText(benchmark::State& state) {
  const bool populate = state.range(0) != 0;
  const std::string& name = file(0);
  int64_t points = 0;
  for (auto _ : state) {
    LASreaderTXT reader;
    reader.open_file(name.c_str(), 0, "xyzitrnc", 0, populate);
    while (reader.read_point()) points++;
    benchmark::DoNotOptimize(reader.point.X);
  }
  state.SetItemsProcessed(points);
}
BENCHMARK(BM_ReadText)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ReadPly(benchmark::State& state) {
  const std::string& name = file(static_cast<int>(state.range(0)));
  int64_t points = 0;
  for (auto _ : state) {
    LASreaderPLY reader;
    reader.open_file(name.c_str(), 0, false);
    while (reader.read_point()) points++;
    benchmark::DoNotOptimize(reader.point.X);
  }
  state.SetItemsProcessed(points);
}
BENCHMARK(BM_ReadPly)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The floor: the same bytes read and written as a plain file copy.
void BM_CopyFile(benchmark::State& state) {
  bench_copy_file(state, file(static_cast<int>(state.range(0))), kPoints);
}
BENCHMARK(BM_CopyFile)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
