#pragma once
// A scratch folder of one's own for each test. CTest runs tests in parallel,
// so two tests sharing a folder would remove each other's files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

inline std::filesystem::path ScratchDir(const std::string& tag) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    std::filesystem::path dir = std::filesystem::path(MARIVELLE_BUILD_DIR) / "tests" / "scratch" / tag / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}
