// Reads BIN, QFIT, shapefile, ASCII grid, BIL and DTM files of about a
// million points each on disk (the open, with its pass over the file, and
// every point) against a plain copy of the same file's bytes in the same run;
// items are points.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_files.hpp"
#include "io/formats/side_readers.hpp"
#include "side_fixtures.hpp"

namespace {

constexpr int kSide = 1000;  // points per row; rows of the rasters
const char* const kWords[6] = {"bin", "qfit", "shp", "asc", "bil", "dtm"};

double height(int c, int r) {
  return 100.0 + (c % 77) * 0.13 + (r % 31) * 0.07;
}

void write_kind(int kind, const std::string& name) {
  using namespace side_fixtures;
  const int n = kSide * kSide;
  switch (kind) {
    case 0: {
      BinFile file;
      file.time = file.color = true;
      std::vector<BinPoint> points(n);
      for (int i = 0; i < n; i++) {
        points[i].x = 50000000 + (i % kSide) * 37;
        points[i].y = 400000000 + (i / kSide) * 41;
        points[i].z = static_cast<int32_t>(height(i % kSide, i / kSide) * 1000);
        points[i].echo = static_cast<uint8_t>(i % 4);
        points[i].time = static_cast<uint32_t>(i);
      }
      write_file(name, bin_bytes(file, points));
      break;
    }
    case 1: {
      std::vector<QfitRecord> records(n);
      for (int i = 0; i < n; i++) {
        records[i].longitude = 300000000 + (i % kSide) * 10;
        records[i].latitude = 70000000 + (i / kSide) * 10;
        records[i].elevation = 1000 * (i % 97);
        records[i].azimuth = (i * 37) % 360000;
      }
      write_file(name, qfit_bytes(48, true, records));
      break;
    }
    case 2: {
      std::vector<ShpRecord> records(n);
      for (int i = 0; i < n; i++) {
        records[i].type = 11;
        records[i].with_m = false;
        records[i].vertices.push_back({500000.0 + (i % kSide) * 0.37,
                                       4000000.0 + (i / kSide) * 0.41, height(i % kSide, 0), 0});
      }
      write_file(name, shp_bytes(11, records));
      break;
    }
    case 3: {
      std::string text =
          "ncols 1000\nnrows 1000\nxllcorner 500000\nyllcorner 4000000\n"
          "cellsize 0.5\nNODATA_value -9999\n";
      char cell[32];
      for (int r = 0; r < kSide; r++) {
        for (int c = 0; c < kSide; c++) {
          std::snprintf(cell, sizeof(cell), c ? " %.2f" : "%.2f", height(c, r));
          text += cell;
        }
        text += "\n";
      }
      write_file(name, text);
      break;
    }
    case 4: {
      BilRaster raster;
      raster.ncols = raster.nrows = kSide;
      raster.ulxmap = 500000.25;
      raster.ulymap = 4000499.75;
      raster.xdim = raster.ydim = 0.5;
      for (int r = 0; r < kSide; r++) {
        for (int c = 0; c < kSide; c++) raster.cells.push_back(height(c, r));
      }
      write_bil(name, raster);
      break;
    }
    default: {
      DtmRaster raster;
      raster.ncols = raster.nrows = kSide;
      raster.llx = 500000.0;
      raster.lly = 4000000.0;
      raster.xdim = raster.ydim = 0.5;
      for (int c = 0; c < kSide; c++) {
        for (int r = 0; r < kSide; r++) raster.cells.push_back(height(c, r));
      }
      write_file(name, dtm_bytes(raster));
      break;
    }
  }
}

const std::string& file(int kind) {
  static std::string names[6];
  if (names[kind].empty()) {
    names[kind] = bench_folder() + "/f." + kWords[kind];
    write_kind(kind, names[kind]);
  }
  return names[kind];
}

void BM_ReadSide(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const std::string& name = file(kind);
  state.SetLabel(kWords[kind]);
  int64_t points = 0;
  for (auto _ : state) {
    std::unique_ptr<LASreaderSide> reader(side_make_reader(kWords[kind], nullptr, nullptr));
    if (!reader->open_name(name.c_str())) {
      state.SkipWithError("cannot open");
      break;
    }
    while (reader->read_point()) points++;
    benchmark::DoNotOptimize(reader->point.X);
  }
  state.SetItemsProcessed(points);
}
BENCHMARK(BM_ReadSide)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// The floor: the same bytes read and written as a plain file copy.
void BM_CopyFile(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  state.SetLabel(kWords[kind]);
  bench_copy_file(state, file(kind), kSide * kSide);
}
BENCHMARK(BM_CopyFile)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
