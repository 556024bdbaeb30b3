#include "world/random.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(Random, LinearCongruentialSequenceFromTheCurrentSeed) {
    SetRandomSeed(0);
    EXPECT_DOUBLE_EQ(RandomFloat(), 1 / 4294967296.0);
    EXPECT_EQ(RandomSeed(), 1u);
    EXPECT_DOUBLE_EQ(RandomFloat(), 134775814 / 4294967296.0);
    // 134775814 * 134775813 + 1, mod 2^32.
    const uint32_t third = static_cast<uint32_t>(134775814ull * 134775813ull + 1);
    SetRandomSeed(134775814);
    EXPECT_EQ(RandomInt(12), static_cast<int32_t>((uint64_t(third) * 12) >> 32));
    EXPECT_EQ(RandomSeed(), third);

    // Never 1, never negative, however the seed falls.
    SetRandomSeed(0xFFFFFFFFu - 134775813u);
    const double top = RandomFloat();
    EXPECT_LT(top, 1.0);
    EXPECT_GE(top, 0.0);
    for (int i = 0; i < 1000; ++i) {
        const int32_t k = RandomInt(12);
        ASSERT_GE(k, 0);
        ASSERT_LT(k, 12);
    }
}

}  // namespace
