// Cost per cell of reading rasters and of the whole comparison, for the text
// and raw-sample formats read without outside libraries.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "raster_compare.hpp"
#include "raster_fixtures.hpp"
#include "sr_reader_factory.hpp"

namespace {

constexpr int kCols = 1000;
constexpr int kRows = 500;

struct Files {
  raster_fixtures::ScopedTempDir dir;
  std::string asc = dir.file("dem.asc");
  std::string bil = dir.file("dem.bil");
  Files() {
    raster_fixtures::DemGrid g = raster_fixtures::make_dem(kCols, kRows, 100.0, 600.0, 97);
    raster_fixtures::write_asc(asc, g);
    raster_fixtures::write_bil(bil, g, raster_fixtures::BilSample::kF32, false);
  }
};

const Files& files() {
  static Files f;
  return f;
}

void read_all(benchmark::State& state, const std::string& name, const char* ext) {
  for (auto _ : state) {
    std::unique_ptr<SRreader> r(open_raster_reader(ext, name.c_str()));
    int64_t sum = 0;
    while (r->read_value()) sum += r->value[0];
    benchmark::DoNotOptimize(sum);
    r->close(true);
  }
  state.SetItemsProcessed(state.iterations() * kCols * kRows);
}

void BM_ReadAsc(benchmark::State& state) {
  read_all(state, files().asc, "asc");
}
void BM_ReadBilFloat(benchmark::State& state) {
  read_all(state, files().bil, "bil");
}

void BM_CompareAscWithBil(benchmark::State& state) {
  for (auto _ : state) {
    RasterCellCounts counts;
    std::unique_ptr<SRreader> a(open_raster_reader("asc", files().asc.c_str()));
    std::unique_ptr<SRreader> b(open_raster_reader("bil", files().bil.c_str()));
    benchmark::DoNotOptimize(compare_raster_cells(a.get(), b.get(), &counts));
  }
  state.SetItemsProcessed(state.iterations() * kCols * kRows);
}

}  // namespace

BENCHMARK(BM_ReadAsc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBilFloat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompareAscWithBil)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
