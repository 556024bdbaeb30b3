// The rfapack tool run as a process, the way the build runs it.
#include "core/archive.h"
#include "core/stream.h"
#include "small_file_system.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct TResult {
    int Code;
    std::string Out, Err;
};

class Rfapack : public testing::Test {
protected:
    void SetUp() override {
        Dir = fs::path(MARIVELLE_BUILD_DIR) / "tests" / "rfapack-tmp" /
              testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(Dir);
        fs::create_directories(Dir / "in");
    }

    TResult Run(const std::string& args) {
        std::string command = "\"" RFAPACK_EXE "\" " + args + " >" + Q(Dir / "out.txt") + " 2>" + Q(Dir / "err.txt") +
                              "; echo $? >" + Q(Dir / "code.txt");
        if (std::system(command.c_str()) == -1) ADD_FAILURE() << "cannot run " << command;
        return {std::atoi(ReadFileText((Dir / "code.txt").string()).c_str()), ReadFileText((Dir / "out.txt").string()),
                ReadFileText((Dir / "err.txt").string())};
    }

    void Write(const fs::path& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }

    std::string Q(const fs::path& p) { return "\"" + p.string() + "\""; }

    fs::path Dir;
};

}  // namespace

TEST_F(Rfapack, PackListAndExtract) {
    Write(Dir / "in" / "Fishes.gsc", "[MainScene]\r\nCount=0\r\n");
    Write(Dir / "in" / "b.txt", "bee");
    Write(Dir / "extra.txt", "from the list");
    Write(Dir / "files.txt", "extra.txt\n");
    fs::path rfa = Dir / "data.rfa";

    TResult pack = Run("pack " + Q(rfa) + " " + Q(Dir / "in") + " --list " + Q(Dir / "files.txt"));
    ASSERT_EQ(pack.Code, 0) << pack.Err;
    EXPECT_FALSE(fs::exists(Dir / "data.rfa.tmp"));

    TResourceFileArchive archive;
    archive.LoadFromFile(rfa.string());
    ASSERT_EQ(archive.Count(), 3);
    EXPECT_EQ(archive.Entry(0).Name, "b.txt");
    EXPECT_EQ(archive.Entry(1).Name, "extra.txt");
    EXPECT_EQ(archive.Entry(2).Name, "Fishes.gsc");

    TResult list = Run("list " + Q(rfa));
    ASSERT_EQ(list.Code, 0) << list.Err;
    EXPECT_NE(list.Out.find("        21"), std::string::npos) << list.Out;
    EXPECT_NE(list.Out.find("  Fishes.gsc\n"), std::string::npos) << list.Out;
    EXPECT_NE(list.Out.find("3 files"), std::string::npos) << list.Out;
    EXPECT_EQ(Run("--list " + Q(rfa)).Out, list.Out);

    TResult extract = Run("extract " + Q(rfa) + " " + Q(Dir / "x"));
    ASSERT_EQ(extract.Code, 0) << extract.Err;
    EXPECT_EQ(ReadFileText((Dir / "x" / "Fishes.gsc").string()), "[MainScene]\r\nCount=0\r\n");
    EXPECT_EQ(ReadFileText((Dir / "x" / "extra.txt").string()), "from the list");
}

TEST_F(Rfapack, ErrorsLeaveNoArchive) {
    Write(Dir / "in" / "a.txt", "1");
    Write(Dir / "in" / "empty.txt", "");
    fs::path rfa = Dir / "data.rfa";
    TResult empty = Run("pack " + Q(rfa) + " " + Q(Dir / "in"));
    EXPECT_EQ(empty.Code, 1);
    EXPECT_EQ(empty.Err, "rfapack: PackArchive error: Empty file \"" + (Dir / "in" / "empty.txt").string() + "\"\n");
    EXPECT_FALSE(fs::exists(rfa));

    fs::remove(Dir / "in" / "empty.txt");
    fs::create_directories(Dir / "more");
    Write(Dir / "more" / "A.TXT", "2");
    TResult duplicate = Run("pack " + Q(rfa) + " " + Q(Dir / "in") + " " + Q(Dir / "more"));
    EXPECT_EQ(duplicate.Code, 1);
    EXPECT_NE(duplicate.Err.find("Duplicate name \"A.TXT\""), std::string::npos) << duplicate.Err;
    EXPECT_FALSE(fs::exists(rfa));

    TResult missing = Run("list " + Q(Dir / "missing.rfa"));
    EXPECT_EQ(missing.Code, 1);
    EXPECT_EQ(missing.Err.rfind("rfapack: Cannot open file", 0), 0u) << missing.Err;

    Write(Dir / "junk.rfa", "junk");
    TResult junk = Run("list " + Q(Dir / "junk.rfa"));
    EXPECT_EQ(junk.Code, 1);
    EXPECT_NE(junk.Err.find("does not fit the archive"), std::string::npos) << junk.Err;

    EXPECT_EQ(Run("pack " + Q(rfa)).Code, 2);
    EXPECT_EQ(Run("frobnicate").Code, 2);
}

// The archive is replaced in one step: a full disk is an error and leaves the
// archive of the last good run.
TEST_F(Rfapack, AFullDiskKeepsTheOldArchive) {
    SmallFileSystem disk(Dir / "disk");
    if (!disk.Mounted()) GTEST_SKIP() << disk.SkipReason();
    Write(Dir / "in" / "a.txt", "small");
    fs::path rfa = Dir / "disk" / "data.rfa";
    ASSERT_EQ(Run("pack " + Q(rfa) + " " + Q(Dir / "in")).Code, 0);
    const std::string good = ReadFileText(rfa.string());

    // Random bytes do not deflate: the new archive is as large as they are.
    std::string noise(40 * 1024, '\0');
    uint32_t seed = 1;
    for (char& c : noise) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
    Write(Dir / "in" / "noise.bin", noise);
    ASSERT_TRUE(disk.Fill());
    TResult full = Run("pack " + Q(rfa) + " " + Q(Dir / "in"));
    EXPECT_EQ(full.Code, 1);
    EXPECT_EQ(full.Err, "rfapack: Cannot write file \"" + rfa.string() + "\". No space left on device\n");
    EXPECT_EQ(ReadFileText(rfa.string()), good);
}
