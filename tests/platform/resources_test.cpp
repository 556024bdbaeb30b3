#include "platform/resources.h"

#include <gtest/gtest.h>

TEST(RawResources, FoundByNameWithoutRegardToCase) {
    static const char first[] = "first", second[] = "second!";
    EXPECT_FALSE(FindRawResource("Sample_bin"));
    RegisterRawResource("SAMPLE_BIN", first, 5);
    auto found = FindRawResource("sample_Bin");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Data, reinterpret_cast<const uint8_t*>(first));
    EXPECT_EQ(found->Size, 5u);
    EXPECT_FALSE(FindRawResource("SAMPLE"));
    EXPECT_FALSE(FindRawResource("SAMPLE_BIN2"));

    RegisterRawResource("sample_bin", second, 7);  // the later registration wins
    EXPECT_EQ(FindRawResource("SAMPLE_BIN")->Size, 7u);
    UnregisterRawResource("Sample_Bin");
    EXPECT_FALSE(FindRawResource("SAMPLE_BIN"));
}
