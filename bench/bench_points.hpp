#ifndef BENCH_BENCH_POINTS_HPP
#define BENCH_BENCH_POINTS_HPP

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

// The number of synthetic points one benchmark pass goes over.
constexpr int kBenchPoints = 1 << 16;

// A linear congruential sequence for the synthetic points: the same points on
// every machine and standard library, so runs can be compared.
class BenchSequence {
 public:
  // The next value in [0, range).
  uint32_t next(uint32_t range) {
    s_ = s_ * 1103515245u + 12345u;
    return (s_ >> 8) % range;
  }

 private:
  uint32_t s_ = 1;
};

// Parses `options` into `parser` (a filter or a transform) through its
// option-text way in, as a stored option text is read back.
template <typename Parser>
void bench_take_options(Parser& parser, const char* options) {
  std::string text = options;
  parser.take_argument_string(&text[0]);
}

#endif  // BENCH_BENCH_POINTS_HPP
