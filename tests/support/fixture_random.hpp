#ifndef TESTS_SUPPORT_FIXTURE_RANDOM_HPP
#define TESTS_SUPPORT_FIXTURE_RANDOM_HPP

#include <cmath>
#include <cstdint>

// SplitMix64 with our own conversions to ranges. The standard distributions are
// avoided on purpose: their output differs between standard libraries, and the
// generated fixtures and scenes must be the same everywhere for a given seed.
class FixtureRandom {
 public:
  explicit FixtureRandom(uint64_t seed = 0) : state_(seed) {}

  uint64_t next_u64() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  uint32_t next_u32() { return static_cast<uint32_t>(next_u64() >> 32); }

  // Uniform in [0, 1) with 53 random bits.
  double unit() { return static_cast<double>(next_u64() >> 11) * (1.0 / 9007199254740992.0); }

  // Uniform in [lo, hi).
  double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }

  // Uniform integer in [0, n); n = 0 gives 0. The multiply-shift keeps the bias
  // below 2^-32, which no test can see.
  uint32_t below(uint32_t n) {
    return static_cast<uint32_t>((static_cast<uint64_t>(next_u32()) * n) >> 32);
  }

  // Uniform integer in [lo, hi], both inclusive.
  int64_t range(int64_t lo, int64_t hi) {
    uint64_t span = static_cast<uint64_t>(hi - lo) + 1u;
    if (span == 0) return static_cast<int64_t>(next_u64());  // the full 64-bit range
    return lo + static_cast<int64_t>(next_u64() % span);
  }

  bool chance(double p) { return unit() < p; }

  // Standard normal by Box-Muller (one value per call; simple beats fast here).
  double normal() {
    double u1 = 1.0 - unit();  // (0, 1]: the logarithm stays finite
    double u2 = unit();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }

  // A generator for an independent purpose drawn from this one's seed, so that
  // adding draws to one stream does not shift another.
  FixtureRandom fork(uint64_t salt) const {
    FixtureRandom f(state_ ^ (salt * 0xD1B54A32D192ED03ull));
    f.next_u64();
    return f;
  }

 private:
  uint64_t state_;
};

#endif
