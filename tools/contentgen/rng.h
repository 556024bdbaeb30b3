// Small deterministic random numbers for content generation. The standard
// distributions differ between libraries, so everything here is our own:
// splitmix64 for the stream and integer hashes for lattice noise.
#pragma once

#include <cstdint>

namespace cg {

constexpr uint64_t SplitMix64(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Mixes a value into a well-spread 32-bit hash (lattice cells, per-pixel
// dither).
constexpr uint32_t Hash32(uint64_t v) {
    v ^= v >> 33;
    v *= 0xFF51AFD7ED558CCDull;
    v ^= v >> 33;
    v *= 0xC4CEB9FE1A85EC53ull;
    v ^= v >> 33;
    return static_cast<uint32_t>(v);
}

constexpr uint32_t Hash2(int32_t x, int32_t y, uint32_t seed) {
    return Hash32((static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) ^
                  static_cast<uint32_t>(y) ^ (static_cast<uint64_t>(seed) * 0x9E3779B97F4A7C15ull));
}

constexpr uint32_t Hash3(int32_t x, int32_t y, int32_t z, uint32_t seed) {
    return Hash2(x, static_cast<int32_t>(Hash2(y, z, seed)), seed ^ 0x5BD1E995u);
}

// Hash as a float in [0, 1).
constexpr float HashUnit(uint32_t h) { return static_cast<float>(h >> 8) * (1.0f / 16777216.0f); }

class Rng {
public:
    explicit constexpr Rng(uint64_t seed) : State(seed) {}

    constexpr uint64_t NextU64() { return SplitMix64(State); }
    constexpr uint32_t NextU32() { return static_cast<uint32_t>(NextU64() >> 32); }
    // [0, 1)
    constexpr float Unit() { return static_cast<float>(NextU64() >> 40) * (1.0f / 16777216.0f); }
    // [lo, hi)
    constexpr float Range(float lo, float hi) { return lo + (hi - lo) * Unit(); }
    // [0, n) without modulo bias worth caring about (multiply-high).
    constexpr uint32_t Below(uint32_t n) {
        return static_cast<uint32_t>((static_cast<uint64_t>(NextU32()) * n) >> 32);
    }
    // Roughly normal, mean 0, deviation 1 (Irwin-Hall of four).
    constexpr float Gauss() { return (Unit() + Unit() + Unit() + Unit() - 2.0f) * 1.7320508f; }
    // A derived generator, so adding draws in one place leaves others alone.
    constexpr Rng Fork(uint64_t salt) {
        uint64_t s = State ^ (salt * 0xD1B54A32D192ED03ull);
        return Rng(SplitMix64(s));
    }

private:
    uint64_t State;
};

}  // namespace cg
