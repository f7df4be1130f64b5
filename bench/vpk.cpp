// Compression and decompression of a realistic airborne point cloud with the
// legacy item coders of versions 1 and 2, chunk by chunk, beside a plain copy
// of the same bytes. Reports points per second (items_per_second) and the size
// ratio compressed / raw.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/item_coders_legacy.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_item.hpp"
#include "las_fixture.hpp"
#include "scene.hpp"

namespace {

constexpr uint32_t kChunkSize = 50000;

// About 3.5 million points: 800 m square at 4 pulses per square metre over
// hilly terrain with trees and buildings, in scan order.
struct Cloud {
  uint8_t format;
  uint32_t record_size;
  size_t count;
  std::vector<uint8_t> records;
  std::vector<LASitem> items;

  explicit Cloud(uint8_t point_format) : format(point_format) {
    SceneParams params;
    params.preset = ScenePreset::kHilly;
    params.size = 800.0;
    params.density = 4.0;
    const Scene scene = make_scene(params);
    SceneLasOptions options;
    options.point_data_format = format;
    options.truth_classes = true;
    const std::vector<FixturePoint> points = scene_fixture_points(scene, options);
    record_size = fixture_standard_record_length(format);
    count = points.size();
    records.resize(count * record_size);
    for (size_t i = 0; i < count; i++) {
      fixture_encode_point(points[i], format, record_size, records.data() + i * record_size);
    }
    LAScompressorSetup setup;
    uint16_t n = 0;
    setup.setup_from_point_type(format, static_cast<uint16_t>(record_size), &n, &items);
  }

  std::vector<LASitem> items_of_version(uint16_t version) const {
    std::vector<LASitem> list = items;
    for (LASitem& item : list) item.version = version;
    return list;
  }
};

const Cloud& cloud(uint8_t format) {
  static const Cloud format1(1);
  static const Cloud format3(3);
  return format == 1 ? format1 : format3;
}

// Chunks as the point-record writer lays them out, without the table: the
// first record raw, then the interval coder's bytes.
void compress(const Cloud& c, const std::vector<LASitem>& items, ByteStreamOutArrayLE* out,
              std::vector<int64_t>* chunk_starts) {
  IntervalEncoder enc;
  std::vector<std::unique_ptr<LASwriteItemCompressed>> writers;
  for (const LASitem& item : items)
    writers.push_back(make_write_item_compressed_legacy(item, &enc));
  chunk_starts->clear();
  for (size_t i = 0; i < c.count; i++) {
    const uint8_t* record = c.records.data() + i * c.record_size;
    uint32_t context = 0;
    uint32_t at = 0;
    if (i % kChunkSize == 0) {
      if (i) enc.finish();
      chunk_starts->push_back(out->position());
      out->write_bytes(record, c.record_size);
      for (size_t w = 0; w < writers.size(); w++) {
        writers[w]->start_chunk(record + at, context);
        at += items[w].size;
      }
      enc.start(out);
    } else {
      for (size_t w = 0; w < writers.size(); w++) {
        writers[w]->write_item(record + at, context);
        at += items[w].size;
      }
    }
  }
  enc.finish();
}

void decompress(const Cloud& c, const std::vector<LASitem>& items, const uint8_t* data,
                int64_t size, uint8_t* records) {
  ByteStreamInArrayLE in(data, size);
  IntervalDecoder dec;
  std::vector<std::unique_ptr<LASreadItemCompressed>> readers;
  for (const LASitem& item : items) readers.push_back(make_read_item_compressed_legacy(item, &dec));
  for (size_t i = 0; i < c.count; i++) {
    uint8_t* record = records + i * c.record_size;
    uint32_t context = 0;
    uint32_t at = 0;
    if (i % kChunkSize == 0) {
      in.read_bytes(record, c.record_size);
      for (size_t r = 0; r < readers.size(); r++) {
        readers[r]->start_chunk(record + at, context);
        at += items[r].size;
      }
      dec.start(&in);
    } else {
      for (size_t r = 0; r < readers.size(); r++) {
        readers[r]->read_item(record + at, context);
        at += items[r].size;
      }
    }
  }
}

void BM_VpkCompress(benchmark::State& state) {
  const Cloud& c = cloud(static_cast<uint8_t>(state.range(0)));
  const std::vector<LASitem> items = c.items_of_version(static_cast<uint16_t>(state.range(1)));
  std::vector<int64_t> starts;
  int64_t size = 0;
  for (auto _ : state) {
    ByteStreamOutArrayLE out(static_cast<int64_t>(c.records.size() / 2));
    compress(c, items, &out, &starts);
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
  const std::vector<LASitem> items = c.items_of_version(static_cast<uint16_t>(state.range(1)));
  ByteStreamOutArrayLE out(static_cast<int64_t>(c.records.size() / 2));
  std::vector<int64_t> starts;
  compress(c, items, &out, &starts);
  std::vector<uint8_t> records(c.records.size());
  for (auto _ : state) {
    decompress(c, items, out.get_data(), out.get_size(), records.data());
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
BENCHMARK(BM_VpkCompress)->Args({1, 1})->Args({1, 2})->Args({3, 2})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VpkDecompress)
    ->Args({1, 1})
    ->Args({1, 2})
    ->Args({3, 2})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawCopy)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
