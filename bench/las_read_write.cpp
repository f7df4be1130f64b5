// Streams uncompressed LAS point records from memory through the LAS reader
// (with and without an area test) and through the LAS writer; and a VPK file
// read from disk, from the same bytes in memory and copied plainly.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench_files.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "las_fixture.hpp"
#include "scene.hpp"

namespace {

const std::vector<uint8_t>& file_bytes(uint8_t format) {
  static std::vector<uint8_t> cache[11];
  if (cache[format].empty()) {
    FixtureFile f;
    f.version_minor = format > 5 ? 4 : 3;
    f.point_data_format = format;
    cache[format] = fixture_write_bytes(f, fixture_random_points(3, 200000, format));
  }
  return cache[format];
}

void BM_ReadPoints(benchmark::State& state) {
  const uint8_t format = static_cast<uint8_t>(state.range(0));
  const bool with_area = state.range(1) != 0;
  const std::vector<uint8_t>& bytes = file_bytes(format);
  int64_t points = 0;
  for (auto _ : state) {
    LASreaderLAS reader;
    reader.open_stream(new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size())));
    if (with_area) {
      const LASheader& h = reader.header;
      reader.limit_to_rectangle(h.min_x, h.min_y, (h.min_x + h.max_x) / 2, h.max_y);
    }
    while (reader.read_point()) points++;
    benchmark::DoNotOptimize(reader.point.X);
  }
  state.SetItemsProcessed(points);
}
BENCHMARK(BM_ReadPoints)->Args({1, 0})->Args({1, 1})->Args({6, 0})->Args({10, 0});

void BM_CopyPoints(benchmark::State& state) {
  const uint8_t format = static_cast<uint8_t>(state.range(0));
  const std::vector<uint8_t>& bytes = file_bytes(format);
  int64_t points = 0;
  for (auto _ : state) {
    LASreaderLAS reader;
    reader.open_stream(new ByteStreamInArrayLE(bytes.data(), static_cast<int64_t>(bytes.size())));
    LASwriterLAS writer;
    writer.open_stream(new ByteStreamOutArrayLE(static_cast<int64_t>(bytes.size())),
                       &reader.header);
    while (reader.read_point()) {
      writer.write_one_point(&reader.point);
      points++;
    }
    benchmark::DoNotOptimize(writer.close_output(true));
  }
  state.SetItemsProcessed(points);
}
BENCHMARK(BM_CopyPoints)->Arg(1)->Arg(6);

// About 1.3 million points of a hilly scene in format 1, as a VPK file in the
// run's folder and as its bytes in memory. PL_BENCH_SCENE_SIZE (metres)
// shrinks the scene for callgrind.
struct VpkFile {
  std::string path;
  std::vector<uint8_t> bytes;
  int64_t points = 0;

  VpkFile() {
    SceneParams params;
    params.preset = ScenePreset::kHilly;
    const char* size = std::getenv("PL_BENCH_SCENE_SIZE");
    params.size = size ? std::atof(size) : 500.0;
    params.density = 4.0;
    SceneLasOptions options;
    options.point_data_format = 1;
    const Scene scene = make_scene(params);
    const std::vector<uint8_t> las = fixture_write_bytes(scene_fixture_file(scene, options),
                                                         scene_fixture_points(scene, options));
    path = bench_folder() + "/points.vpk";
    LASreaderLAS reader;
    reader.open_stream(new ByteStreamInArrayLE(las.data(), static_cast<int64_t>(las.size())));
    LASwriterLAS writer;
    writer.open_file(path.c_str(), &reader.header, LAScompressorKind::sequential_chunked, 2, 50000);
    while (reader.read_point()) {
      writer.write_one_point(&reader.point);
      points++;
    }
    writer.close_output(true);
    FILE* f = std::fopen(path.c_str(), "rb");
    uint8_t buffer[65536];
    size_t n;
    while (f && (n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) {
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    if (f) std::fclose(f);
  }
};

const VpkFile& vpk_file() {
  static const VpkFile file;
  return file;
}

// 0: the file through open_file, 1: its bytes from memory.
void BM_ReadVpk(benchmark::State& state) {
  const VpkFile& file = vpk_file();
  int64_t points = 0;
  for (auto _ : state) {
    LASreaderLAS reader;
    if (state.range(0) == 0) {
      reader.open_file(file.path.c_str());
    } else {
      reader.open_stream(
          new ByteStreamInArrayLE(file.bytes.data(), static_cast<int64_t>(file.bytes.size())));
    }
    while (reader.read_point()) points++;
    benchmark::DoNotOptimize(reader.point.X);
  }
  state.SetItemsProcessed(points);
}
BENCHMARK(BM_ReadVpk)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_CopyVpkFile(benchmark::State& state) {
  bench_copy_file(state, vpk_file().path, vpk_file().points);
}
BENCHMARK(BM_CopyVpkFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
