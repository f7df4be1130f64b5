// Compression and decompression of a realistic airborne point cloud through
// the point-record writer and reader with the legacy item coders of versions
// 1 and 2, beside a plain copy of the same bytes. Reports points per second (items_per_second) and
// the size ratio compressed / raw.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_item.hpp"
#include "core/las_point_record_reader.hpp"
#include "core/las_point_record_writer.hpp"
#include "las_fixture.hpp"
#include "scene.hpp"

namespace {

// PL_BENCH_SCENE_SIZE (metres) shrinks the scene for instruction counts under
// callgrind, where the full cloud would take minutes.
double scene_size(double fallback) {
  const char* text = std::getenv("PL_BENCH_SCENE_SIZE");
  return text ? std::atof(text) : fallback;
}

constexpr uint32_t kChunkSize = 50000;

// About 3.5 million points: 800 m square at 4 pulses per square metre over
// hilly terrain with trees and buildings, in scan order; wave packets one
// after the other in the waveform file.
struct Cloud {
  uint8_t format;
  uint32_t record_size;
  size_t count;
  std::vector<uint8_t> records;
  std::vector<LASitem> items;

  explicit Cloud(uint8_t point_format) : format(point_format) {
    SceneParams params;
    params.preset = ScenePreset::kHilly;
    params.size = scene_size(800.0);
    params.density = 4.0;
    const Scene scene = make_scene(params);
    SceneLasOptions options;
    options.point_data_format = format;
    options.truth_classes = true;
    std::vector<FixturePoint> points = scene_fixture_points(scene, options);
    record_size = fixture_standard_record_length(format);
    count = points.size();
    records.resize(count * record_size);
    uint64_t offset = 4096;
    for (size_t i = 0; i < count; i++) {
      FixturePoint& p = points[i];
      if (fixture_format_has_wavepacket(format)) {
        const uint32_t size = 120 + 4 * p.number_of_returns;
        p.wavepacket[0] = 1;
        std::memcpy(p.wavepacket.data() + 1, &offset, 8);
        std::memcpy(p.wavepacket.data() + 9, &size, 4);
        offset += size;
      }
      fixture_encode_point(p, format, record_size, records.data() + i * record_size);
    }
    LAScompressorSetup setup;
    uint16_t n = 0;
    setup.setup_from_point_type(format, static_cast<uint16_t>(record_size), &n, &items);
  }
};

const Cloud& cloud(uint8_t format) {
  static std::unique_ptr<Cloud> clouds[5];
  if (!clouds[format]) clouds[format] = std::make_unique<Cloud>(format);
  return *clouds[format];
}

// Item pointers into one record buffer, as a LASpoint hands them over.
struct ItemPointers {
  ItemPointers(const std::vector<LASitem>& items, uint32_t size) : record(size) {
    uint32_t at = 0;
    for (const LASitem& item : items) {
      pointers.push_back(record.data() + at);
      at += item.size;
    }
  }
  std::vector<uint8_t> record;
  std::vector<uint8_t*> pointers;
};

LAScompressorSetup setup_of(const Cloud& c, uint16_t version) {
  LAScompressorSetup setup;
  setup.setup(static_cast<uint16_t>(c.items.size()), c.items.data(),
              LAScompressorKind::sequential_chunked);
  setup.choose_version(version);
  setup.change_chunk_size(kChunkSize);
  return setup;
}

// Through the point-record writer: chunks of 50000 points, each starting with
// its first point raw, and the chunk table at the end.
void compress(const Cloud& c, const LAScompressorSetup& setup, ByteStreamOutArrayLE* out) {
  LASpointRecordWriter writer;
  writer.setup(setup.num_items, setup.items.data(), &setup);
  writer.init(out);
  ItemPointers p(setup.items, c.record_size);
  for (size_t i = 0; i < c.count; i++) {
    std::memcpy(p.record.data(), c.records.data() + i * c.record_size, c.record_size);
    writer.write(p.pointers.data());
  }
  writer.done();
}

void decompress(const Cloud& c, const LAScompressorSetup& setup, const uint8_t* data, int64_t size,
                uint8_t* records) {
  ByteStreamInArrayLE in(data, size);
  LASpointRecordReader reader;
  reader.setup(setup.num_items, setup.items.data(), &setup);
  reader.init(&in);
  ItemPointers p(setup.items, c.record_size);
  for (size_t i = 0; i < c.count; i++) {
    reader.read(p.pointers.data());
    std::memcpy(records + i * c.record_size, p.record.data(), c.record_size);
  }
}

void BM_VpkCompress(benchmark::State& state) {
  const Cloud& c = cloud(static_cast<uint8_t>(state.range(0)));
  const LAScompressorSetup setup = setup_of(c, static_cast<uint16_t>(state.range(1)));
  int64_t size = 0;
  for (auto _ : state) {
    ByteStreamOutArrayLE out(static_cast<int64_t>(c.records.size() / 2));
    compress(c, setup, &out);
    size = out.get_size();
    benchmark::DoNotOptimize(out.get_data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.count));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.records.size()));
  state.counters["points"] = static_cast<double>(c.count);
  state.counters["ratio"] = static_cast<double>(size) / static_cast<double>(c.records.size());
}

void BM_VpkDecompress(benchmark::State& state) {
  const Cloud& c = cloud(static_cast<uint8_t>(state.range(0)));
  const LAScompressorSetup setup = setup_of(c, static_cast<uint16_t>(state.range(1)));
  ByteStreamOutArrayLE out(static_cast<int64_t>(c.records.size() / 2));
  compress(c, setup, &out);
  std::vector<uint8_t> records(c.records.size());
  for (auto _ : state) {
    decompress(c, setup, out.get_data(), out.get_size(), records.data());
    benchmark::DoNotOptimize(records.data());
  }
  if (records != c.records) state.SkipWithError("decompressed points differ");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.count));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.records.size()));
  state.counters["ratio"] =
      static_cast<double>(out.get_size()) / static_cast<double>(c.records.size());
}

// The floor: the same raw bytes copied once.
void BM_RawCopy(benchmark::State& state) {
  const Cloud& c = cloud(static_cast<uint8_t>(state.range(0)));
  std::vector<uint8_t> copy(c.records.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), c.records.data(), c.records.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.count));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.records.size()));
}

}  // namespace

// Arguments: point format, item version.
BENCHMARK(BM_VpkCompress)
    ->Args({0, 2})
    ->Args({1, 1})
    ->Args({1, 2})
    ->Args({3, 2})
    ->Args({4, 2})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VpkDecompress)
    ->Args({0, 2})
    ->Args({1, 1})
    ->Args({1, 2})
    ->Args({3, 2})
    ->Args({4, 2})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawCopy)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
