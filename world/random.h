// The process-wide random generator: a linear congruential generator
// (seed := seed * 134775813 + 1, mod 2^32) that starts at 0 and is never
// reseeded, so two runs with the same frame timings draw the same numbers.
#pragma once

#include <cstdint>

// The next seed divided by 2^32: 0 <= r < 1.
double RandomFloat();
// The high 32 bits of the next seed times n: 0 <= result < n for n > 0.
int32_t RandomInt(int32_t n);

// For tests and diagnostics only: the program itself never reseeds.
uint32_t RandomSeed();
void SetRandomSeed(uint32_t seed);
