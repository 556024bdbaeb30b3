// Raw-data resources of a Windows executable: the build puts the file into
// the program's resource section, and the lookup finds it there.
#include <gtest/gtest.h>

#include "platform/resources.h"
#include "test_support.h"

namespace {

TEST(ResourcesWin32, AnRcdataResourceIsFoundByNameInAnyCase) {
    const std::string expected = ReadText(std::string(MARIVELLE_TEST_DATA) + "/archive/Fishes.gsc");
    ASSERT_FALSE(expected.empty());
    for (const char* name : {"SAMPLE_GSC", "sample_gsc", "Sample_Gsc"}) {
        auto found = FindRawResource(name);
        ASSERT_TRUE(found) << name;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(found->Data), found->Size), expected) << name;
    }
    EXPECT_FALSE(FindRawResource("SAMPLE"));
    EXPECT_FALSE(FindRawResource("SAMPLE_GSC2"));

    // Bytes registered under the same name come first, and the executable's
    // own are found again once they are gone.
    static const char replacement[] = "registered";
    RegisterRawResource("sample_gsc", replacement, 10);
    EXPECT_EQ(FindRawResource("SAMPLE_GSC")->Size, 10u);
    UnregisterRawResource("SAMPLE_GSC");
    EXPECT_EQ(FindRawResource("SAMPLE_GSC")->Size, expected.size());
}

}  // namespace
