#include "platform/crt_random.hpp"

#include <cstdint>

namespace {
// Unsigned on purpose: the state wraps modulo 2^32.
uint32_t crt_random_state = 1;
uint64_t crt_random_draws = 0;
}  // namespace

void crt_srand(unsigned int seed) { crt_random_state = seed; }

unsigned int crt_rand_state() { return crt_random_state; }

int crt_rand() {
  crt_random_draws++;
  crt_random_state = crt_random_state * 214013u + 2531011u;
  return static_cast<int>((crt_random_state >> 16) & 0x7FFFu);
}

uint64_t crt_rand_draws() { return crt_random_draws; }
