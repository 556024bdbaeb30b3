#include "platform/program_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(ProgramPathsTest, ExecutableIsThisTestProgram) {
    std::string path = platform::SystemProgramPaths().ExecutablePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_EQ(std::filesystem::path(path).filename(), "platform_program_paths_test");
    EXPECT_TRUE(std::filesystem::equivalent(path, std::filesystem::path(MARIVELLE_BUILD_DIR) / "tests" /
                                                      "platform_program_paths_test"));
}

}  // namespace
