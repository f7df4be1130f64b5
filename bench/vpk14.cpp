// Compression and decompression of a realistic airborne point cloud in the
// LAS 1.4 point formats 6 to 10 with the layered item coders of versions 3
// and 4, chunk by chunk and layer by layer, from raw records to raw records.
// Reports points per second (items_per_second) and the size ratio compressed
// / raw; the decompression also runs with a request mask of XY only.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/item_coders_layered.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_item.hpp"
#include "core/las_point.hpp"
#include "core/las_read_item.hpp"
#include "core/las_write_item.hpp"
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
constexpr uint16_t kExtraBytes = 4;

// About 0.9 million points: 400 m square at 4 pulses per square metre over
// hilly terrain with trees and buildings, in scan order, on two scanner
// channels (alternate scan lines); wave packets one after the other in the
// waveform file; four extra bytes (a height above the lowest point and a
// pulse counter) for format 10.
struct Cloud {
  uint8_t format;
  uint16_t extra;
  uint32_t record_size;
  size_t count;
  std::vector<uint8_t> records;
  std::vector<LASitem> items;

  explicit Cloud(uint8_t point_format) : format(point_format) {
    extra = format == 10 ? kExtraBytes : 0;
    SceneParams params;
    params.preset = ScenePreset::kHilly;
    params.size = scene_size(400.0);
    params.density = 4.0;
    const Scene scene = make_scene(params);
    SceneLasOptions options;
    options.point_data_format = format;
    options.truth_classes = true;
    std::vector<FixturePoint> points = scene_fixture_points(scene, options);
    record_size = fixture_standard_record_length(format) + extra;
    count = points.size();
    records.resize(count * record_size);
    uint64_t offset = 4096;
    for (size_t i = 0; i < count; i++) {
      FixturePoint& p = points[i];
      p.scanner_channel = static_cast<uint8_t>((p.X / 100) & 1);
      const uint32_t size = 120 + 4 * p.number_of_returns;
      p.wavepacket[0] = 1;
      std::memcpy(p.wavepacket.data() + 1, &offset, 8);
      std::memcpy(p.wavepacket.data() + 9, &size, 4);
      offset += size;
      p.extra_bytes.resize(extra);
      for (uint16_t b = 0; b < extra; b++) {
        p.extra_bytes[b] = static_cast<uint8_t>(b < 2 ? (p.Z >> (8 * b)) : (i >> (8 * (b - 2))));
      }
      fixture_encode_point(p, format, static_cast<uint16_t>(record_size),
                           records.data() + i * record_size);
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
  static std::unique_ptr<Cloud> clouds[11];
  if (!clouds[format]) clouds[format] = std::make_unique<Cloud>(format);
  return *clouds[format];
}

// The point the coders work on, with its item pointers.
struct Scratch {
  LASpointData data;
  std::vector<uint8_t> extra;
  std::vector<uint8_t*> pointers;

  explicit Scratch(const std::vector<LASitem>& items) {
    data.extended_flags_byte = 1;
    for (const LASitem& item : items) {
      if (item.type == LASitem::BYTE14) extra.assign(item.size, 0);
    }
    for (const LASitem& item : items) {
      switch (item.type) {
        case LASitem::POINT14:
          pointers.push_back(reinterpret_cast<uint8_t*>(&data));
          break;
        case LASitem::RGB14:
        case LASitem::RGBNIR14:
          pointers.push_back(reinterpret_cast<uint8_t*>(data.rgb));
          break;
        case LASitem::WAVEPACKET14:
          pointers.push_back(data.wavepacket.data);
          break;
        default:
          pointers.push_back(extra.data());
      }
    }
  }
  void from_record(const std::vector<LASitem>& items, const uint8_t* record) {
    uint32_t at = 0;
    for (size_t i = 0; i < items.size(); i++) {
      if (items[i].type == LASitem::POINT14) {
        LASreadItemRaw_POINT14_LE::record_to_point(record + at, pointers[i]);
      } else {
        std::memcpy(pointers[i], record + at, items[i].size);
      }
      at += items[i].size;
    }
  }
  void to_record(const std::vector<LASitem>& items, uint8_t* record) const {
    uint32_t at = 0;
    for (size_t i = 0; i < items.size(); i++) {
      if (items[i].type == LASitem::POINT14) {
        LASwriteItemRaw_POINT14_LE::point_to_record(pointers[i], record + at);
      } else {
        std::memcpy(record + at, pointers[i], items[i].size);
      }
      at += items[i].size;
    }
  }
};

// Chunks as the point-record writer frames them for multistream chunks,
// without the table: the first record raw, the point count, the layer
// counts of every item, the layer bytes of every item.
void compress(const Cloud& c, const std::vector<LASitem>& items, ByteStreamOutArrayLE* out,
              std::vector<int64_t>* chunk_starts) {
  IntervalEncoder enc;
  std::vector<std::unique_ptr<LASwriteItemCompressed>> writers;
  for (const LASitem& item : items)
    writers.push_back(make_write_item_compressed_layered(item, &enc));
  Scratch p(items);
  uint32_t in_chunk = 0;
  auto close_chunk = [&]() {
    out->write_u32_le(&in_chunk);
    for (auto& w : writers) w->write_layer_sizes();
    for (auto& w : writers) w->write_layer_bytes();
  };
  chunk_starts->clear();
  for (size_t i = 0; i < c.count; i++) {
    const uint8_t* record = c.records.data() + i * c.record_size;
    p.from_record(items, record);
    uint32_t context = 0;
    if (i % kChunkSize == 0) {
      if (i) close_chunk();
      chunk_starts->push_back(out->position());
      out->write_bytes(record, c.record_size);
      for (size_t w = 0; w < writers.size(); w++) writers[w]->start_chunk(p.pointers[w], context);
      enc.start(out);
      in_chunk = 1;
    } else {
      for (size_t w = 0; w < writers.size(); w++) writers[w]->write_item(p.pointers[w], context);
      in_chunk++;
    }
  }
  close_chunk();
}

void decompress(const Cloud& c, const std::vector<LASitem>& items, const uint8_t* data,
                int64_t size, uint32_t mask, uint8_t* records) {
  ByteStreamInArrayLE in(data, size);
  IntervalDecoder dec;
  std::vector<std::unique_ptr<LASreadItemCompressed>> readers;
  for (const LASitem& item : items)
    readers.push_back(make_read_item_compressed_layered(item, &dec, mask));
  Scratch p(items);
  for (size_t i = 0; i < c.count; i++) {
    uint8_t* record = records + i * c.record_size;
    uint32_t context = 0;
    if (i % kChunkSize == 0) {
      in.read_bytes(record, c.record_size);
      p.from_record(items, record);
      dec.start(&in, false);
      uint32_t in_chunk = 0;
      in.read_u32_le(&in_chunk);
      for (auto& r : readers) r->read_layer_sizes();
      for (size_t r = 0; r < readers.size(); r++) readers[r]->start_chunk(p.pointers[r], context);
    } else {
      for (size_t r = 0; r < readers.size(); r++) readers[r]->read_item(p.pointers[r], context);
      p.to_record(items, record);
    }
  }
}

void BM_Vpk14Compress(benchmark::State& state) {
  const Cloud& c = cloud(static_cast<uint8_t>(state.range(0)));
  const std::vector<LASitem> items = c.items_of_version(static_cast<uint16_t>(state.range(1)));
  std::vector<int64_t> starts;
  int64_t size = 0;
  for (auto _ : state) {
    ByteStreamOutArrayLE out(static_cast<int64_t>(c.records.size() / 2));
    compress(c, items, &out, &starts);
    size = out.position();
    benchmark::DoNotOptimize(out.get_data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.count));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.records.size()));
  state.counters["points"] = static_cast<double>(c.count);
  state.counters["ratio"] = static_cast<double>(size) / static_cast<double>(c.records.size());
}

// Arguments: format, version, request mask (0: XY only, else everything).
void BM_Vpk14Decompress(benchmark::State& state) {
  const Cloud& c = cloud(static_cast<uint8_t>(state.range(0)));
  const std::vector<LASitem> items = c.items_of_version(static_cast<uint16_t>(state.range(1)));
  const uint32_t mask = state.range(2) ? 0xFFFFFFFFu : 0u;
  ByteStreamOutArrayLE out(static_cast<int64_t>(c.records.size() / 2));
  std::vector<int64_t> starts;
  compress(c, items, &out, &starts);
  std::vector<uint8_t> records(c.records.size());
  for (auto _ : state) {
    decompress(c, items, out.get_data(), out.position(), mask, records.data());
    benchmark::DoNotOptimize(records.data());
  }
  if (mask && records != c.records) state.SkipWithError("decompressed points differ");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * c.count));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.records.size()));
  state.counters["ratio"] =
      static_cast<double>(out.position()) / static_cast<double>(c.records.size());
}

}  // namespace

BENCHMARK(BM_Vpk14Compress)
    ->Args({6, 3})
    ->Args({6, 4})
    ->Args({7, 3})
    ->Args({8, 3})
    ->Args({9, 3})
    ->Args({10, 3})
    ->Args({10, 4})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vpk14Decompress)
    ->Args({6, 3, 1})
    ->Args({6, 4, 1})
    ->Args({6, 3, 0})
    ->Args({7, 3, 1})
    ->Args({8, 3, 1})
    ->Args({9, 3, 1})
    ->Args({10, 3, 1})
    ->Args({10, 4, 1})
    ->Args({10, 3, 0})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
