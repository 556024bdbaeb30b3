#include "core/archive_packer.h"

#include "core/archive_fixture.h"
#include "core/errors.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace fixture;
namespace fs = std::filesystem;

namespace {

const std::string PackPrefix = "PackArchive error: ";

fs::path TempFolder(const std::string& name) { return ScratchDir("packer-" + name); }

TArchiveSource Source(const std::string& name, const std::string& content, const std::string& origin = "") {
    return TArchiveSource{name, ToBytes(content), origin};
}

std::vector<std::string> Names(const std::vector<TArchiveSource>& sources) {
    std::vector<std::string> names;
    for (const auto& s : sources) names.push_back(s.Name);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(PackArchive, RefusesWhatTheReaderCouldNotServe) {
    EXPECT_EQ(ErrorOf<Exception>([] { PackArchive({Source("a.txt", "1", "one/a.txt"), Source("A.TXT", "2", "two/A.TXT")}); }),
              PackPrefix + "Duplicate name \"A.TXT\": \"one/a.txt\" and \"two/A.TXT\"");
    EXPECT_EQ(ErrorOf<Exception>([] { PackArchive({Source("empty.txt", "", "data/empty.txt")}); }),
              PackPrefix + "Empty file \"data/empty.txt\"");
    for (const char* name : {"Scene\\Fon1.jpg", "Scene/Fon1.jpg", "C:Fon1.jpg"})
        EXPECT_EQ(ErrorOf<Exception>([&] { PackArchive({Source(name, "x")}); }),
                  PackPrefix + "Name \"" + name + "\" has a directory part");
    EXPECT_EQ(ErrorOf<Exception>([] { PackArchive({Source("", "x", "somewhere")}); }),
              PackPrefix + "Empty name for \"somewhere\"");
}

TEST(PackArchive, OutputReadsBackInNameOrder) {
    TResourceFileArchive archive;
    Load(archive, PackArchive({Source("Zebra.3dm", "z"), Source("fon1A.jpg", "alpha"), Source("Fon1.jpg", "picture"),
                               Source("angelfish.3dm", "a")}));
    ASSERT_EQ(archive.Count(), 4);
    EXPECT_EQ(archive.Entry(0).Name, "angelfish.3dm");
    EXPECT_EQ(archive.Entry(1).Name, "Fon1.jpg");  // a prefix sorts first
    EXPECT_EQ(archive.Entry(2).Name, "fon1A.jpg");
    EXPECT_EQ(archive.Entry(3).Name, "Zebra.3dm");
    EXPECT_EQ(Text(TResourceFileArchive::Unpack(archive.Entry(2))), "alpha");
}

TEST(PackSources, Folder) {
    fs::path dir = TempFolder("folder");
    WriteText(dir / "Fishes.gsc", "script");
    WriteText(dir / "fons.txt", "Fon1.jpg\r\n");
    WriteText(dir / ".hidden", "not content");
    std::vector<TArchiveSource> sources;
    AddFolderSources(sources, dir.string());
    EXPECT_EQ(Names(sources), (std::vector<std::string>{"Fishes.gsc", "fons.txt"}));
    for (const auto& s : sources)
        if (s.Name == "Fishes.gsc") {
            EXPECT_EQ(Text(s.Content), "script");
        }

    fs::create_directories(dir / "Scene");
    EXPECT_EQ(ErrorOf<Exception>([&] { AddFolderSources(sources, dir.string()); }),
              "\"" + (dir / "Scene").string() + "\" is a folder; archives hold plain files only");
    EXPECT_EQ(ErrorOf<EFOpenError>([&] { AddFolderSources(sources, (dir / "missing").string()); })
                  .rfind("Cannot read folder \"" + (dir / "missing").string() + "\". ", 0),
              0u);
}

TEST(PackSources, List) {
    fs::path dir = TempFolder("list");
    fs::create_directories(dir / "content");
    WriteText(dir / "content" / "a.wav", "wave");
    WriteText(dir / "b.txt", "text");
    WriteText(dir / "files.txt", "# content of the test archive\r\n\r\ncontent/a.wav\r\n  " + (dir / "b.txt").string() +
                                     "  \r\n");
    std::vector<TArchiveSource> sources;
    AddListSources(sources, (dir / "files.txt").string());
    ASSERT_EQ(Names(sources), (std::vector<std::string>{"a.wav", "b.txt"}));
    EXPECT_EQ(sources[0].Origin, (dir / "content" / "a.wav").string());

    WriteText(dir / "broken.txt", "missing.bin\n");
    EXPECT_EQ(ErrorOf<EFOpenError>([&] { AddListSources(sources, (dir / "broken.txt").string()); })
                  .rfind("Cannot open file \"" + (dir / "missing.bin").string() + "\". ", 0),
              0u);
}

TEST(ExtractArchive, WritesEveryEntry) {
    fs::path dir = TempFolder("extract");
    TResourceFileArchive archive;
    Load(archive, PackArchive({Source("a.txt", "alpha"), Source("B.bin", std::string(5000, '\x7f'))}));
    ExtractArchive(archive, (dir / "out").string());
    EXPECT_EQ(ReadFileText((dir / "out" / "a.txt").string()), "alpha");
    EXPECT_EQ(ReadFileText((dir / "out" / "B.bin").string()), std::string(5000, '\x7f'));
}

TEST(ExtractArchive, RefusesNamesThatLeaveTheFolder) {
    fs::path dir = TempFolder("escape");
    for (const char* name : {"../escaped.txt", "..", "sub\\x.txt"}) {
        TResourceFileArchive archive;
        Load(archive, Build({Entry(name, "evil")}));
        EXPECT_EQ(ErrorOf<Exception>([&] { ExtractArchive(archive, (dir / "out").string()); }),
                  std::string("ExtractArchive error: Name \"") + name + "\" could leave the folder");
    }
    EXPECT_FALSE(fs::exists(dir / "escaped.txt"));
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}
