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
