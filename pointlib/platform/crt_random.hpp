#ifndef POINTLIB_PLATFORM_CRT_RANDOM_HPP
#define POINTLIB_PLATFORM_CRT_RANDOM_HPP

// A private 15-bit linear congruential generator with the behaviour of the
// classic C runtime's rand()/srand(). Results that depend on random choices
// (thinning, jitter, which duplicate point becomes a vertex) must not change
// with the C library the program is linked against, so glibc's rand() is
// never used.

#include <cstdint>

constexpr int CRT_RAND_MAX = 32767;

// Sets the state; a program that never calls it starts from seed 1.
void crt_srand(unsigned int seed);

// Next value in 0..CRT_RAND_MAX.
int crt_rand();

// The state, which crt_srand() sets again: a pass that is repeated must draw the same values.
unsigned int crt_rand_state();

// How many values crt_rand has given since the program started: work that is skipped because
// its result is known can still draw what it would have drawn, so that every later random
// choice stays the same.
uint64_t crt_rand_draws();

#endif
