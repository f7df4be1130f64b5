// The interval coder per symbol, bit and residual, encoding and decoding, as the
// compressed item coders drive it: the cost that every compressed point pays many times.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "compress/interval_decoder.hpp"
#include "compress/interval_encoder.hpp"
#include "compress/residual_coder.hpp"
#include "core/byte_stream_in.hpp"
#include "core/byte_stream_out.hpp"
#include "platform/crt_random.hpp"

namespace {

constexpr int kCount = 1 << 20;

// Skewed values, as residuals of real point fields are.
std::vector<int32_t> skewed_values() {
  std::vector<int32_t> v(kCount);
  crt_srand(11);
  for (int i = 0; i < kCount; i++) v[size_t(i)] = (crt_rand() % 64) * (crt_rand() % 64) - 400;
  return v;
}

void BM_SymbolEncode(benchmark::State& state) {
  const std::vector<int32_t> values = skewed_values();
  const uint32_t symbols = uint32_t(state.range(0));
  for (auto _ : state) {
    ByteStreamOutArrayLE out(kCount);
    IntervalEncoder enc;
    enc.start(&out);
    auto m = enc.new_symbol_model(symbols);
    m->reset();
    for (int32_t v : values) enc.put_symbol(m.get(), uint32_t(v + 400) % symbols);
    enc.finish();
    benchmark::DoNotOptimize(out.get_size());
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_SymbolEncode)->Arg(16)->Arg(256)->Arg(2048);

void BM_SymbolDecode(benchmark::State& state) {
  const std::vector<int32_t> values = skewed_values();
  const uint32_t symbols = uint32_t(state.range(0));
  ByteStreamOutArrayLE out(kCount);
  IntervalEncoder enc;
  enc.start(&out);
  auto em = enc.new_symbol_model(symbols);
  em->reset();
  for (int32_t v : values) enc.put_symbol(em.get(), uint32_t(v + 400) % symbols);
  enc.finish();
  for (auto _ : state) {
    ByteStreamInArrayLE in(out.get_data(), out.get_size());
    IntervalDecoder dec;
    dec.start(&in);
    auto m = dec.new_symbol_model(symbols);
    m->reset();
    uint32_t sum = 0;
    for (int i = 0; i < kCount; i++) sum += dec.get_symbol(m.get());
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_SymbolDecode)->Arg(16)->Arg(256)->Arg(2048);

void BM_BitRoundTrip(benchmark::State& state) {
  std::vector<uint32_t> bits(kCount);
  crt_srand(3);
  for (auto& b : bits) b = crt_rand() % 10 == 0;
  for (auto _ : state) {
    ByteStreamOutArrayLE out(kCount / 4);
    IntervalEncoder enc;
    enc.start(&out);
    BitModel em;
    for (uint32_t b : bits) enc.put_bit(&em, b);
    enc.finish();
    ByteStreamInArrayLE in(out.get_data(), out.get_size());
    IntervalDecoder dec;
    dec.start(&in);
    BitModel dm;
    uint32_t sum = 0;
    for (int i = 0; i < kCount; i++) sum += dec.get_bit(&dm);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_BitRoundTrip);

void BM_ResidualRoundTrip(benchmark::State& state) {
  const std::vector<int32_t> values = skewed_values();
  for (auto _ : state) {
    ByteStreamOutArrayLE out(kCount);
    IntervalEncoder enc;
    enc.start(&out);
    ResidualCoder ec(&enc, 32, 4, 8, 0);
    ec.prepare_encode();
    int32_t prev = 0;
    for (int i = 0; i < kCount; i++) {
      ec.encode(prev, values[size_t(i)], uint32_t(i) & 3);
      prev = values[size_t(i)];
    }
    enc.finish();
    ByteStreamInArrayLE in(out.get_data(), out.get_size());
    IntervalDecoder dec;
    dec.start(&in);
    ResidualCoder dc(&dec, 32, 4, 8, 0);
    dc.prepare_decode();
    prev = 0;
    for (int i = 0; i < kCount; i++) prev = dc.decode(prev, uint32_t(i) & 3);
    benchmark::DoNotOptimize(prev);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_ResidualRoundTrip);

// A model's update after each cycle of symbols: the encoder's rescaling, and
// the decoder's with its table refilled. Counts fall off geometrically from
// the middle, as a folded byte difference's do: a few wide symbols and many
// too narrow to start a slice of the table.
void BM_ModelUpdate(benchmark::State& state) {
  const uint32_t symbols = uint32_t(state.range(0));
  const bool compress = state.range(1) != 0;
  SymbolModel m(symbols, compress);
  m.reset();
  // Eight distributions in turn, of different centres and falls, so that the
  // refill's branches meet new layouts as they do in a file.
  constexpr int kLayouts = 8;
  std::vector<std::vector<uint32_t>> counts(kLayouts, std::vector<uint32_t>(symbols));
  std::vector<uint32_t> sums(kLayouts);
  for (int n = 0; n < kLayouts; n++) {
    const uint32_t centre = symbols / 2 + uint32_t(n) * symbols / 17;
    const double fall = 0.55 + 0.05 * n;
    for (uint32_t k = 0; k < symbols; k++) {
      const uint32_t away = k > centre ? k - centre : centre - k;
      counts[n][k] = 1 + uint32_t(3000.0 * std::pow(fall, away));
      sums[n] += counts[n][k];
    }
  }
  if (!compress) m.fill_decoder_table();
  int n = 0;
  for (auto _ : state) {
    for (uint32_t k = 0; k < symbols; k++) m.symbol_count[k] = counts[n][k];
    m.total_count = 0;
    m.update_cycle = sums[n];
    m.update();
    n = (n + 1) % kLayouts;
    benchmark::DoNotOptimize(m.distribution);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
// Arguments: symbols, built for the encoder.
BENCHMARK(BM_ModelUpdate)->Args({33, 1})->Args({33, 0})->Args({256, 1})->Args({256, 0});

}  // namespace

BENCHMARK_MAIN();
