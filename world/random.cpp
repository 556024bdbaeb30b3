#include "world/random.h"

namespace {

uint32_t seed = 0;

uint32_t NextSeed() {
    seed = seed * 134775813u + 1u;  // wraps mod 2^32
    return seed;
}

}  // namespace

double RandomFloat() { return NextSeed() / 4294967296.0; }

int32_t RandomInt(int32_t n) {
    const int64_t product = static_cast<int64_t>(NextSeed()) * n;
    // Floor division by 2^32: the high half, also for a negative range.
    return static_cast<int32_t>(product >= 0 ? product / 4294967296LL : -((-product + 4294967295LL) / 4294967296LL));
}

uint32_t RandomSeed() { return seed; }
void SetRandomSeed(uint32_t value) { seed = value; }
