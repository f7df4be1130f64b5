// Streams uncompressed LAS point records from memory through the LAS reader
// (with and without an area test) and through the LAS writer.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_reader_las.hpp"
#include "core/las_writer_las.hpp"
#include "las_fixture.hpp"

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

}  // namespace

BENCHMARK_MAIN();
