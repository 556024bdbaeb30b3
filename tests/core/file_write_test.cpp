// Writers on a disk that fills up or turns read-only: the write is reported,
// and the file it was to replace keeps its old contents; and what a killed
// writer left goes with the next write.
#include "core/errors.h"
#include "core/stream.h"
#include "platform/linux/ini_settings_store.h"
#include "test_support.h"
#include "small_file_system.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class FileWriteTest : public testing::Test {
protected:
    void SetUp() override {
        Disk = std::make_unique<SmallFileSystem>(ScratchDir("file_write") / "disk");
        if (!Disk->Mounted()) GTEST_SKIP() << Disk->SkipReason();
        SaveBytesToFile(Old.string(), std::string("the old contents"));
    }

    // What the folder holds besides the filler: the old file and nothing
    // half-written beside it.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Old.parent_path()))
            if (entry.path().filename() != "filler") names.push_back(entry.path().filename().string());
        return names;
    }

    std::unique_ptr<SmallFileSystem> Disk;
    fs::path Old = ScratchDir("file_write") / "disk" / "shot.jpg";
};

TEST_F(FileWriteTest, AFullDiskIsAnErrorAndKeepsTheOldFile) {
    ASSERT_TRUE(Disk->Fill());
    // Larger than any slack the file system might still hold.
    std::vector<uint8_t> picture(48 * 1024, 0x5A);
    try {
        SaveBytesToFile(Old.string(), picture);
        ADD_FAILURE() << "a write onto a full disk succeeded";
    } catch (const EWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write file \"" + Old.string() + "\". No space left on device");
    }
    EXPECT_EQ(ReadFileText(Old.string()), "the old contents");
    EXPECT_EQ(Names(), std::vector<std::string>{"shot.jpg"});
}

TEST_F(FileWriteTest, AReadOnlyFolderIsAnErrorAndKeepsTheOldFile) {
    ASSERT_TRUE(Disk->MakeReadOnly());
    try {
        SaveBytesToFile(Old.string(), std::string("new"));
        ADD_FAILURE() << "a write into a read-only folder succeeded";
    } catch (const EWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write file \"" + Old.string() + "\". Read-only file system");
    }
    EXPECT_EQ(ReadFileText(Old.string()), "the old contents");
}

// The settings store writes the same way: a refused value, the old file kept.
TEST_F(FileWriteTest, SettingsOnAFullDiskKeepTheirOldFile) {
    platform::IniSettingsStore store(Old.parent_path().string());
    auto key = store.Open(platform::SettingsRoot::User, "Software\\Marivelle 1", platform::SettingsAccess::ReadWrite);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->Write("Fishes", "12"));
    const std::string file = store.FileName(platform::SettingsRoot::User, "Software\\Marivelle 1");
    const std::string before = ReadFileText(file);
    ASSERT_TRUE(Disk->Fill());
    EXPECT_FALSE(key->Write("Name", std::string(40 * 1024, 'n')));
    EXPECT_EQ(ReadFileText(file), before);
    EXPECT_EQ(key->Read("Fishes").Value, "12");
    EXPECT_FALSE(key->Read("Name").Value) << "a value that was not stored must not read back";
}

// A writer killed mid-write leaves its hidden temporary file; the next write
// of the same file takes it away, but not one a live writer holds locked,
// nor a file that only looks alike.
TEST(FileWrite, TheNextWriteRemovesWhatAKilledWriterLeft) {
    const fs::path folder = ScratchDir("file_write_dead");
    const fs::path file = folder / "shot.jpg";
    const fs::path dead = folder / ".shot.jpg.Ab3dE9";
    const fs::path live = folder / ".shot.jpg.Zz9yX1";
    const fs::path alike = folder / ".shot.jpg.notes";
    for (const fs::path& p : {dead, live, alike}) SaveBytesToFile(p.string(), std::string("half"));
    const int writing = open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(writing, 0);
    ASSERT_EQ(flock(writing, LOCK_EX), 0);
    SaveBytesToFile(file.string(), std::string("new"));
    EXPECT_FALSE(fs::exists(dead)) << "a dead writer's temporary file stayed";
    EXPECT_TRUE(fs::exists(live)) << "a live writer's temporary file was taken";
    EXPECT_TRUE(fs::exists(alike));
    close(writing);
    EXPECT_EQ(ReadFileText(file.string()), "new");
}

}  // namespace
