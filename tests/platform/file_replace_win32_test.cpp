// Replacing files on Windows: the old file or the new one, never a temporary
// left behind, and the system's reason when it fails.
#include <windows.h>
// The system's ReplaceFile macro would rename ours.
#undef ReplaceFile

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_replace.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

size_t EntryCount(const fs::path& folder) {
    size_t n = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        (void)entry;
        ++n;
    }
    return n;
}

TEST(FileReplaceWin32, ReplacesCreatesAndLeavesOnlyTheFile) {
    const fs::path folder = ScratchDir("replace");
    const fs::path file = folder / "settings.log";
    ASSERT_EQ(platform::ReplaceFile(file.string(), "first"), "");
    EXPECT_EQ(ReadText(file), "first");
    std::string big(3 << 20, 'x');
    big[12345] = '\0';
    ASSERT_EQ(platform::ReplaceFile(file.string(), big), "");
    EXPECT_EQ(ReadText(file), big);
    ASSERT_EQ(platform::ReplaceFile((folder / "empty").string(), ""), "");
    EXPECT_EQ(fs::file_size(folder / "empty"), 0u);
    EXPECT_EQ(EntryCount(folder), 2u);
    EXPECT_EQ(GetFileAttributesW(file.wstring().c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u)
        << "the temporary file's hidden flag does not stay";
}

// A writer killed mid-write leaves its temporary file; the next write of the
// same file takes it away, but not one a live writer still has open, nor a
// file that only looks alike.
TEST(FileReplaceWin32, TheNextWriteRemovesWhatAKilledWriterLeft) {
    const fs::path folder = ScratchDir("replace-dead");
    const fs::path file = folder / "settings.conf";
    const fs::path dead = folder / ".settings.conf.4242.7.tmp";
    const fs::path live = folder / ".settings.conf.4243.1.tmp";
    const fs::path alike = folder / ".settings.conf.notes.tmp";
    for (const fs::path& p : {dead, live, alike}) std::ofstream(p) << "half";
    HANDLE writing = CreateFileW(live.wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writing, INVALID_HANDLE_VALUE);
    ASSERT_EQ(platform::ReplaceFile(file.string(), "new"), "");
    EXPECT_FALSE(fs::exists(dead)) << "a dead writer's temporary file stayed";
    EXPECT_TRUE(fs::exists(live)) << "a live writer's temporary file was taken";
    EXPECT_TRUE(fs::exists(alike));
    CloseHandle(writing);
    EXPECT_EQ(ReadText(file), "new");
}

TEST(FileReplaceWin32, AFailureLeavesTheOldFileAndNoTemporary) {
    const fs::path folder = ScratchDir("replace-fail");
    const fs::path file = folder / "kept.txt";
    ASSERT_EQ(platform::ReplaceFile(file.string(), "old"), "");
    {
        // Open elsewhere without leave to delete or rename it.
        HANDLE open = CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(open, INVALID_HANDLE_VALUE);
        EXPECT_NE(platform::ReplaceFile(file.string(), "new"), "") << "a file in use is not replaced";
        CloseHandle(open);
    }
    EXPECT_EQ(ReadText(file), "old");

    fs::create_directories(folder / "a folder");
    EXPECT_NE(platform::ReplaceFile((folder / "a folder").string(), "new"), "");
    EXPECT_TRUE(fs::is_directory(folder / "a folder"));
    const std::string missing = platform::ReplaceFile((folder / "missing" / "file.txt").string(), "new");
    EXPECT_NE(missing, "");
    EXPECT_EQ(missing.find("Error "), std::string::npos) << "the system's own words: " << missing;
    EXPECT_EQ(EntryCount(folder), 2u);
}

}  // namespace
