// Cost of edit layers per point: recording the changes of written points, and
// loading a layer and applying it to every point read, against a plain copy
// of the same points.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench_points.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "core/las_header.hpp"
#include "core/las_point.hpp"
#include "layers/las_layer.hpp"
#include "layers/layers_attributes.hpp"
#include "layers/layers_colour.hpp"
#include "layers/layers_coordinates.hpp"
#include "layers/layers_point_sets.hpp"

namespace {

void bench_header(LASheader* header) {
  header->point_data_format = 3;
  header->point_data_record_length = 34;
}

// Source points of format 3 and the points a tool wrote from them.
struct Cloud {
  LASheader header;
  std::vector<LASpoint> source;
  std::vector<LASpoint> written;
  Cloud() : source(kBenchPoints), written(kBenchPoints) {
    bench_header(&header);
    BenchSequence sequence;
    auto next = [&sequence](uint32_t range) { return sequence.next(range); };
    for (int i = 0; i < kBenchPoints; i++) {
      LASpoint& s = source[i];
      s.init_for_point_type(&header, 3, 34, nullptr);
      s.X = int32_t(next(100000));
      s.Y = int32_t(next(100000));
      s.Z = int32_t(next(5000));
      s.set_return_number(uint8_t(1 + next(3)));
      s.set_number_of_returns(3);
      s.set_classification(uint8_t(1 + next(2)));
      s.intensity = uint16_t(next(1000));
      s.user_data = uint8_t(next(4));
      for (int c = 0; c < 3; c++) s.rgb[c] = uint16_t(next(65536));
      LASpoint& w = written[i];
      w.init_like(&s, false);
      static_cast<LASpointData&>(w) = s;
      w.set_classification(next(3) ? 2 : 1);
      w.Z = s.Z + int32_t(next(50)) - 25;
      w.intensity = uint16_t(s.intensity + next(20));
      w.user_data = uint8_t(next(200));
      w.set_withheld_flag(next(10) == 0);
      w.deleted_flag = next(20) == 0;
      for (int c = 0; c < 3; c++) w.rgb[c] = uint16_t(next(65536));
    }
  }
};

Cloud& cloud() {
  static Cloud c;
  return c;
}

template <typename Kind>
std::unique_ptr<LASlayer> make_kind(LASheader* header) {
  return std::make_unique<Kind>(header);
}

using Maker = std::unique_ptr<LASlayer> (*)(LASheader*);

// The record and data of one layer over every written point.
void record_into(Maker make, ByteStreamOutArrayLE& out) {
  Cloud& c = cloud();
  LASheader header;
  bench_header(&header);
  std::unique_ptr<LASlayer> layer = make(&header);
  layer->init_write(&out);
  for (const LASpoint& w : c.written) layer->record_point(&w);
  layer->finish_write(&out);
}

void run_record(benchmark::State& state, Maker make) {
  int64_t bytes = 0;
  for (auto _ : state) {
    ByteStreamOutArrayLE out;
    record_into(make, out);
    bytes += out.get_size();
  }
  benchmark::DoNotOptimize(bytes);
  state.SetItemsProcessed(state.iterations() * kBenchPoints);
}

void run_apply(benchmark::State& state, Maker make) {
  Cloud& c = cloud();
  ByteStreamOutArrayLE recorded;
  record_into(make, recorded);
  const std::vector<uint8_t> data(recorded.get_data(), recorded.get_data() + recorded.get_size());
  LASpoint point;
  point.init_like(&c.source[0], false);
  int64_t sum = 0;
  for (auto _ : state) {
    LASheader header;
    bench_header(&header);
    ByteStreamInArrayLE in(data.data(), int64_t(data.size()));
    LASlayer loader(&header);
    std::unique_ptr<LASlayer> layer = loader.load(&in, nullptr, nullptr);
    layer->init_read(&in);
    for (const LASpoint& s : c.source) {
      static_cast<LASpointData&>(point) = s;
      layer->apply_to_point(&point);
      sum += point.Z + point.class_byte + point.intensity + point.user_data + point.rgb[1];
    }
    layer->finish_read(&in);
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kBenchPoints);
}

// The floor: the same points copied and summed without a layer.
void BM_LayerPlainCopy(benchmark::State& state) {
  Cloud& c = cloud();
  LASpoint point;
  point.init_like(&c.source[0], false);
  int64_t sum = 0;
  for (auto _ : state) {
    for (const LASpoint& s : c.source) {
      static_cast<LASpointData&>(point) = s;
      benchmark::ClobberMemory();
      sum += point.Z + point.class_byte + point.intensity + point.user_data + point.rgb[1];
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kBenchPoints);
}
BENCHMARK(BM_LayerPlainCopy);

#define PL_LAYER_BENCH(name, kind)                \
  void BM_Record##name(benchmark::State& state) { \
    run_record(state, make_kind<kind>);           \
  }                                               \
  void BM_Apply##name(benchmark::State& state) {  \
    run_apply(state, make_kind<kind>);            \
  }                                               \
  BENCHMARK(BM_Record##name);                     \
  BENCHMARK(BM_Apply##name);

PL_LAYER_BENCH(ClassificationCompressed, LASlayerReplaceClassificationCompressed)
PL_LAYER_BENCH(ClassificationRaw, LASlayerReplaceClassificationRaw)
PL_LAYER_BENCH(UserDataCompressed, LASlayerReplaceUserDataCompressed)
PL_LAYER_BENCH(WithheldFlag, LASlayerReplaceWithheldFlagCompressed)
PL_LAYER_BENCH(Intensity, LASlayerReplaceIntensityCompressed)
PL_LAYER_BENCH(DiffZ, LASlayerDiffZCompressed)
PL_LAYER_BENCH(ReplaceZ, LASlayerReplaceZCompressed)
PL_LAYER_BENCH(AddRGB, LASlayerAddRGBCompressed)
PL_LAYER_BENCH(DeletePoints, LASlayerDeletePointsCompressed)

#undef PL_LAYER_BENCH

}  // namespace

BENCHMARK_MAIN();
