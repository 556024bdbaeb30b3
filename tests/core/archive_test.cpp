#include "core/archive.h"

#include "platform/resources.h"
#include "core/archive_fixture.h"
#include "core/archive_packer.h"
#include "core/errors.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

using namespace fixture;
namespace fs = std::filesystem;

namespace {

const std::string LoadPrefix = "TResourceFileArchive.LoadFromStream error: ";
const std::string UnpackPrefix = "TResourceFileArchive.Unpack error: ";

fs::path TempFolder(const std::string& name) {
    fs::path dir = fs::path(MARIVELLE_BUILD_DIR) / "tests" / "archive-tmp" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Pack(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<TArchiveSource> sources;
    for (const auto& [name, content] : files) sources.push_back({name, ToBytes(content), ""});
    return PackArchive(std::move(sources));
}

std::string StreamText(TStream* stream) {
    EXPECT_NE(stream, nullptr);
    if (!stream) return "";
    EXPECT_EQ(stream->Position(), 0u);
    return stream->ReadRemaining();
}

std::string Pseudorandom(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    for (auto& c : s) {
        seed = seed * 134775813u + 1;
        c = static_cast<char>(seed >> 24);
    }
    return s;
}

// Inflates the zlib stream at bytes[at...]; gives the content and how many
// input bytes the stream took.
std::pair<Bytes, size_t> InflateAt(const Bytes& bytes, size_t at, size_t expected) {
    Bytes out(expected + 1);
    z_stream z{};
    inflateInit(&z);
    z.next_in = const_cast<Bytef*>(bytes.data() + at);
    z.avail_in = static_cast<uInt>(bytes.size() - at);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&z, Z_FINISH);
    EXPECT_EQ(rc, Z_STREAM_END);
    out.resize(z.total_out);
    size_t used = z.total_in;
    inflateEnd(&z);
    return {out, used};
}

}  // namespace

// ---- The bytes the packer writes ------------------------------------------

TEST(ArchiveFormat, PackedArchiveHasTheDocumentedLayout) {
    const std::string a = "first file\n", b = "Second, with more text in it. Second, with more.", c = "c";
    Bytes bytes = Pack({{"c.txt", c}, {"B.txt", b}, {"a.txt", a}});

    // The directory: N, then L, name, P, U per entry, in case-blind name order.
    std::vector<TRecord> expected = {Entry("a.txt", a), Entry("B.txt", b), Entry("c.txt", c)};
    Bytes raw = RawDirectory(expected);
    ASSERT_EQ(raw.size(), 4u + 3 * (4 + 5 + 4 + 4));
    EXPECT_EQ(GetU32(bytes, 0), raw.size());
    EXPECT_EQ(bytes[4], 0x78);
    EXPECT_EQ(bytes[5], 0xDA);
    auto [dir, dirLength] = InflateAt(bytes, 4, raw.size());
    EXPECT_EQ(dir, raw);

    // Then the entries' streams back to back, each at maximum compression.
    size_t at = 4 + dirLength;
    for (const auto& r : expected) {
        ASSERT_LE(at + r.Stream.size(), bytes.size());
        EXPECT_EQ(Bytes(bytes.begin() + at, bytes.begin() + at + r.Stream.size()), r.Stream) << r.Name;
        EXPECT_EQ(bytes[at], 0x78);
        EXPECT_EQ(bytes[at + 1], 0xDA);
        at += r.Stream.size();
    }
    EXPECT_EQ(at, bytes.size());
}

TEST(ArchiveFormat, ZeroEntryArchive) {
    Bytes bytes = PackArchive({});
    EXPECT_EQ(GetU32(bytes, 0), 4u);
    auto [dir, dirLength] = InflateAt(bytes, 4, 4);
    EXPECT_EQ(dir, Bytes(4, 0));
    EXPECT_EQ(4 + dirLength, bytes.size());

    TResourceFileArchive archive;
    Load(archive, bytes);
    EXPECT_TRUE(archive.Loaded());
    EXPECT_EQ(archive.Count(), 0);
    EXPECT_EQ(archive.Find("anything"), nullptr);
}

// ---- Reading ----------------------------------------------------------------

TEST(ArchiveRead, RoundTripThroughAnArchiveFile) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    std::vector<std::pair<std::string, std::string>> files = {
        {"Fishes.gsc", "[MainScene]\r\nCount=0\r\n"},
        {"bytes.bin", all},
        {"noise.bin", Pseudorandom(200000, 7)},   // larger than the reader's blocks
        {"zeros.bin", std::string(1 << 20, '\0')},  // close to zlib's best ratio
        {"x", "x"},
    };
    fs::path file = TempFolder("roundtrip") / "data.rfa";
    WriteFile(file, Pack(files));

    TResourceFileReader reader;
    reader.Mode = 1;
    reader.ArchiveName = file.string();
    for (const auto& [name, content] : files) {
        ASSERT_TRUE(reader.Open(name)) << name;
        EXPECT_EQ(reader.Stream()->Size(), content.size());
        EXPECT_TRUE(StreamText(reader.Stream()) == content) << name;
    }
    EXPECT_EQ(reader.Archive().Count(), 5);
}

TEST(ArchiveRead, DirectoryLargerThanOneReadBlock) {
    // Random names keep the compressed directory above the 64 KiB blocks the
    // reader takes, so the entries' data starts in a later block.
    std::vector<TRecord> records;
    for (int i = 0; i < 4000; ++i) {
        std::string name = Pseudorandom(40, static_cast<uint32_t>(i) + 1);
        for (auto& ch : name) ch = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[static_cast<uint8_t>(ch) % 36];
        records.push_back(Entry(name, "content of " + name));
    }
    std::sort(records.begin(), records.end(), [](const TRecord& x, const TRecord& y) { return x.Name < y.Name; });
    Bytes raw = RawDirectory(records);
    ASSERT_GT(Deflate(raw).size(), 65536u);
    Bytes bytes = Build(records);
    Bytes tail = {'t', 'a', 'i', 'l'};
    bytes.insert(bytes.end(), tail.begin(), tail.end());

    TResourceFileArchive archive;
    TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
    archive.LoadFromStream(stream);
    EXPECT_EQ(stream.Position(), bytes.size() - tail.size());  // stops after the last entry
    ASSERT_EQ(archive.Count(), 4000);
    for (size_t i = 0; i < records.size(); i += 97) {
        const TArchiveFile* file = archive.Find(records[i].Name);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(Text(TResourceFileArchive::Unpack(*file)), "content of " + records[i].Name);
    }
    EXPECT_EQ(Text(TResourceFileArchive::Unpack(archive.Entry(3999))), "content of " + records.back().Name);
}

TEST(ArchiveRead, LookupIgnoresCaseAndDirectoryParts) {
    Bytes bytes = Pack({{"Fishes.gsc", "script"}, {"Fon1.jpg", "picture"}, {"Fon1A.jpg", "alpha"}});
    RegisterRawResource("LOOKUP_RFA", bytes.data(), bytes.size());
    TResourceFileReader reader;
    reader.Mode = 3;
    reader.ArchiveName = "lookup.rfa";
    for (const char* name : {"fishes.gsc", "FISHES.GSC", "Fishes.gsc"}) {
        ASSERT_TRUE(reader.Open(name)) << name;
        EXPECT_EQ(StreamText(reader.Stream()), "script");
    }
    for (const char* name : {"..\\Scene\\Fon1.jpg", ".\\Scene\\Fon1.jpg", "./Scene/fon1.jpg", "C:fon1.JPG"}) {
        ASSERT_TRUE(reader.Open(name)) << name;
        EXPECT_EQ(StreamText(reader.Stream()), "picture") << name;
    }
    ASSERT_TRUE(reader.Open(".\\Scene\\Fon1A.jpg"));
    EXPECT_EQ(StreamText(reader.Stream()), "alpha");
    UnregisterRawResource("LOOKUP_RFA");
}

TEST(ArchiveRead, MissingNameAndConsecutiveOpens) {
    Bytes bytes = Pack({{"a.txt", "alpha"}, {"b.txt", "beta"}});
    TResourceFileReader reader;
    reader.Mode = 3;
    reader.ArchiveName = "pair.rfa";
    RegisterRawResource("PAIR_RFA", bytes.data(), bytes.size());

    ASSERT_TRUE(reader.Open("a.txt"));
    ASSERT_NE(reader.Stream(), nullptr);
    EXPECT_FALSE(reader.Open("missing.txt"));
    EXPECT_EQ(reader.Stream(), nullptr);  // the failed open leaves nothing open

    ASSERT_TRUE(reader.Open("a.txt"));
    ASSERT_TRUE(reader.Open("b.txt"));
    EXPECT_EQ(StreamText(reader.Stream()), "beta");
    UnregisterRawResource("PAIR_RFA");
}

TEST(ArchiveRead, EntriesListInNameOrder) {
    TResourceFileArchive archive;
    Load(archive, Pack({{"b_x", "1"}, {"BA", "2"}, {"a", "3"}}));
    ASSERT_EQ(archive.Count(), 3);
    // Upper-cased byte order: "_" sorts after the letters.
    EXPECT_EQ(archive.Entry(0).Name, "a");
    EXPECT_EQ(archive.Entry(1).Name, "BA");
    EXPECT_EQ(archive.Entry(2).Name, "b_x");
    EXPECT_EQ(archive.Entry(2).UnpackedSize, 1u);
    EXPECT_EQ(ErrorOf<Exception>([&] { archive.Entry(3); }), "List index out of bounds (3)");
    EXPECT_EQ(ErrorOf<Exception>([&] { archive.Entry(-1); }), "List index out of bounds (-1)");
}

TEST(ArchiveRead, EmptyEntriesOpenAsEmptyStreams) {
    TResourceFileArchive archive;
    Load(archive, Build({Entry("deflated", ""), TRecord{"nothing", {}, 0, std::nullopt}}));
    EXPECT_TRUE(TResourceFileArchive::Unpack(*archive.Find("deflated")).empty());
    EXPECT_TRUE(TResourceFileArchive::Unpack(*archive.Find("nothing")).empty());
}

TEST(ArchiveRead, AnyValidZlibStreamReads) {
    TResourceFileArchive archive;
    Load(archive, Build({Entry("a", "level nine"), TRecord{"b", Deflate("level one", 1), 9, std::nullopt},
                         TRecord{"c", Deflate("stored", 0), 6, std::nullopt}}));
    EXPECT_EQ(Text(TResourceFileArchive::Unpack(*archive.Find("b"))), "level one");
    EXPECT_EQ(Text(TResourceFileArchive::Unpack(*archive.Find("c"))), "stored");
}

// ---- The reader's modes ------------------------------------------------------

TEST(ArchiveModes, FolderOnDisk) {
    TResourceFileReader reader;
    reader.SetBasePath(std::string(MARIVELLE_TEST_DATA) + "\\archive");
    EXPECT_EQ(reader.Mode, 0);
    ASSERT_TRUE(reader.Open("waters.txt"));
    EXPECT_EQ(StreamText(reader.Stream()), "water1.jpg\r\nwater2.jpg\r\n");
    // A name with a directory part is taken as it is.
    ASSERT_TRUE(reader.Open(std::string(MARIVELLE_TEST_DATA) + "/archive/Fishes.gsc"));
    EXPECT_EQ(reader.Stream()->Size(), 58u);

    EXPECT_FALSE(reader.Open("missing.txt"));
    EXPECT_EQ(reader.Stream(), nullptr);
    EXPECT_FALSE(reader.Open(""));  // the folder itself is no file
    EXPECT_EQ(reader.Stream(), nullptr);
}

TEST(ArchiveModes, ArchiveFileMissingOrReplaced) {
    fs::path file = TempFolder("mode1") / "data.rfa";
    TResourceFileReader reader;
    reader.Mode = 1;
    reader.ArchiveName = file.string();
    EXPECT_EQ(ErrorOf<EFOpenError>([&] { reader.Open("a.txt"); }).rfind("Cannot open file \"", 0), 0u);
    EXPECT_EQ(reader.Stream(), nullptr);

    WriteFile(file, Pack({{"a.txt", "old"}}));
    ASSERT_TRUE(reader.Open("a.txt"));  // the failed load is tried again
    EXPECT_EQ(StreamText(reader.Stream()), "old");

    WriteFile(file, Pack({{"a.txt", "new"}}));
    ASSERT_TRUE(reader.Open("a.txt"));
    EXPECT_EQ(StreamText(reader.Stream()), "old");  // loaded once
    reader.CloseArchive();
    ASSERT_TRUE(reader.Open("a.txt"));
    EXPECT_EQ(StreamText(reader.Stream()), "new");
}

TEST(ArchiveModes, EmbeddedFiles) {
    const std::string script = "[MainScene]\r\n";
    RegisterRawResource("FISHES_GSC", script.data(), script.size());
    TResourceFileReader reader;
    reader.Mode = 2;
    ASSERT_TRUE(reader.Open(".\\Scene\\fishes.gsc"));
    EXPECT_EQ(StreamText(reader.Stream()), script);
    EXPECT_FALSE(reader.Open("fishes.txt"));
    EXPECT_EQ(reader.Stream(), nullptr);
    UnregisterRawResource("FISHES_GSC");
    EXPECT_FALSE(reader.Open("fishes.gsc"));
}

TEST(ArchiveModes, EmbeddedArchiveLinkedByTheBuild) {
    // test.rfa is packed by rfapack from tests/data/archive and linked into
    // this program as "TEST_RFA".
    auto raw = FindRawResource("test_rfa");
    ASSERT_TRUE(raw);
    std::vector<TArchiveSource> sources;
    AddFolderSources(sources, std::string(MARIVELLE_TEST_DATA) + "/archive");
    ASSERT_EQ(sources.size(), 3u);
    EXPECT_EQ(Bytes(raw->Data, raw->Data + raw->Size), PackArchive(sources));

    TResourceFileReader reader;
    reader.Mode = 3;
    reader.ArchiveName = ".\\Test.rfa";
    for (const auto& source : sources) {
        ASSERT_TRUE(reader.Open(source.Name)) << source.Name;
        EXPECT_TRUE(StreamText(reader.Stream()) == Text(source.Content)) << source.Name;
    }
    EXPECT_EQ(reader.Archive().Count(), 3);
}

TEST(ArchiveModes, EmbeddedArchiveMissing) {
    TResourceFileReader reader;
    reader.Mode = 3;
    reader.ArchiveName = "nope.rfa";
    EXPECT_EQ(ErrorOf<EFOpenError>([&] { reader.Open("a.txt"); }), "Resource NOPE_RFA not found");
    EXPECT_FALSE(reader.Archive().Loaded());
}

TEST(ArchiveModes, UnknownMode) {
    TResourceFileReader reader;
    reader.Mode = 4;
    EXPECT_EQ(ErrorOf<Exception>([&] { reader.Open("a.txt"); }), "TResourceFileReader.Open error: Unknown mode 4");
}

TEST(ArchiveModes, ResourceNames) {
    EXPECT_EQ(ResourceNameFromFileName("data.rfa"), "data_rfa");
    EXPECT_EQ(ResourceNameFromFileName("..\\Scene\\fishes.gsc"), "fishes_gsc");
    EXPECT_EQ(ResourceNameFromFileName("a.b.c"), "a_b.c");
    EXPECT_EQ(ResourceNameFromFileName("plain"), "plain");
    EXPECT_EQ(&TheResourceReader(), &TheResourceReader());
}

TEST(ArchiveWriter, BasePathAndCreate) {
    TResourceFileWriter writer;
    writer.SetBasePath("");
    EXPECT_EQ(writer.BasePath(), "");
    writer.SetBasePath(".\\Scene");
    EXPECT_EQ(writer.BasePath(), ".\\Scene\\");
    writer.SetBasePath(".\\Scene\\");
    EXPECT_EQ(writer.BasePath(), ".\\Scene\\");

    fs::path dir = TempFolder("writer");
    writer.SetBasePath(dir.string());
    ASSERT_TRUE(writer.Open("out.txt"));
    writer.Stream()->WriteBuffer("written", 7);
    ASSERT_TRUE(writer.Open("second.txt"));  // closes out.txt
    EXPECT_EQ(ReadFileText((dir / "out.txt").string()), "written");

    writer.SetBasePath((dir / "no such folder").string());
    EXPECT_FALSE(writer.Open("out.txt"));
    EXPECT_EQ(writer.Stream(), nullptr);
}

// ---- Bad input ---------------------------------------------------------------

class BadArchive : public testing::Test {
protected:
    template <class E>
    std::string LoadError(const Bytes& bytes) {
        std::string message = ErrorOf<E>([&] { Load(Archive, bytes); });
        EXPECT_FALSE(Archive.Loaded());
        EXPECT_EQ(Archive.Count(), 0);
        return message;
    }
    // Loads fine; opening "a.txt" raises E.
    template <class E>
    std::string OpenError(const Bytes& bytes) {
        Load(Archive, bytes);
        const TArchiveFile* file = Archive.Find("a.txt");
        EXPECT_NE(file, nullptr);
        if (!file) return "";
        return ErrorOf<E>([&] { TResourceFileArchive::Unpack(*file); });
    }
    static Bytes Directory(const Bytes& raw) { return Assemble(static_cast<uint32_t>(raw.size()), Deflate(raw), {}); }

    TResourceFileArchive Archive;
};

TEST_F(BadArchive, DirectorySize) {
    EXPECT_EQ(LoadError<EReadError>({4, 0}), "Stream read error");
    EXPECT_EQ(LoadError<Exception>(Assemble(3, Deflate("abc"), {})), LoadPrefix + "Directory size 3 is too small");
    EXPECT_EQ(LoadError<Exception>(Assemble(0xFFFFFFFF, Deflate(Bytes(4)), {})),
              LoadPrefix + "Directory size 4294967295 does not fit the archive");
    // More than zlib could expand the remaining bytes to.
    Bytes small = Deflate(Bytes(4));
    uint32_t beyond = static_cast<uint32_t>(small.size()) * 1032 + 1;
    EXPECT_EQ(LoadError<Exception>(Assemble(beyond, small, {})),
              LoadPrefix + "Directory size " + std::to_string(beyond) + " does not fit the archive");
}

TEST_F(BadArchive, DirectoryInflatesToAnotherSize) {
    EXPECT_EQ(LoadError<EReadError>(Assemble(8, Deflate(Bytes(4)), {})),
              LoadPrefix + "Directory is shorter than its announced 8 bytes");
    EXPECT_EQ(LoadError<EDecompressionError>(Assemble(4, Deflate(Bytes(5)), {})),
              LoadPrefix + "Directory is longer than its announced 4 bytes");
    EXPECT_EQ(LoadError<EDecompressionError>(Assemble(4, Deflate(Bytes(100000)), {})),
              LoadPrefix + "Directory is longer than its announced 4 bytes");
}

TEST_F(BadArchive, DirectoryStreamCorruptOrCut) {
    Bytes good = Build({Entry("a.txt", "alpha")});
    Bytes badHeader = good;
    badHeader[5] ^= 0x01;
    EXPECT_EQ(LoadError<EDecompressionError>(badHeader), LoadPrefix + "Corrupt directory data (incorrect header check)");
    Bytes dirStream = Deflate(RawDirectory({Entry("a.txt", "alpha")}));
    Bytes cut(good.begin(), good.begin() + 4 + static_cast<long>(dirStream.size()) - 3);
    EXPECT_EQ(LoadError<EReadError>(cut), LoadPrefix + "Archive ends inside the directory");
}

TEST_F(BadArchive, RecordsDoNotFitTheDirectory) {
    Bytes count;
    PutU32(count, 5);
    EXPECT_EQ(LoadError<Exception>(Directory(count)), LoadPrefix + "Entry count 5 does not fit the directory");

    Bytes name;
    PutU32(name, 1);
    PutU32(name, 100);
    name.resize(name.size() + 8, 0);
    EXPECT_EQ(LoadError<Exception>(Directory(name)), LoadPrefix + "Name length 100 does not fit the directory");

    Bytes extra = RawDirectory({Entry("a.txt", "alpha")});
    extra.insert(extra.end(), {1, 2, 3});
    EXPECT_EQ(LoadError<Exception>(Directory(extra)), LoadPrefix + "Directory has 3 bytes after its last entry");

    EXPECT_EQ(LoadError<Exception>(Build({Entry("", "x")})), LoadPrefix + "Entry 0 has no name");
}

TEST_F(BadArchive, DuplicateOrUnorderedNames) {
    EXPECT_EQ(LoadError<Exception>(Build({Entry("a.txt", "1"), Entry("A.TXT", "2")})),
              LoadPrefix + "Duplicate entry \"A.TXT\"");
    EXPECT_EQ(LoadError<Exception>(Build({Entry("a.txt", "1"), Entry("b.txt", "2"), Entry("A.txt", "3")})),
              LoadPrefix + "Duplicate entry \"A.txt\"");
    // Out of order, the data would be taken from the wrong place.
    EXPECT_EQ(LoadError<Exception>(Build({Entry("b.txt", "1"), Entry("a.txt", "2")})),
              LoadPrefix + "Entry \"a.txt\" is out of order");
}

TEST_F(BadArchive, ImplausibleSizes) {
    TRecord ratio = Entry("a.txt", "alpha");
    ratio.U = static_cast<uint32_t>(ratio.Stream.size()) * 1032 + 1;
    EXPECT_EQ(LoadError<Exception>(Build({ratio})), LoadPrefix + "Entry \"a.txt\" cannot inflate from " +
                                                        std::to_string(ratio.Stream.size()) + " to " +
                                                        std::to_string(ratio.U) + " bytes");
    TRecord huge = Entry("a.txt", "alpha");
    huge.U = 300u << 20;
    huge.P = 1u << 20;
    EXPECT_EQ(LoadError<Exception>(Build({huge})), LoadPrefix + "Entry \"a.txt\" is too large (314572800 bytes)");

    TRecord beyond = Entry("a.txt", "alpha");
    beyond.P = static_cast<uint32_t>(beyond.Stream.size()) + 1;
    EXPECT_EQ(LoadError<EReadError>(Build({beyond})), LoadPrefix + "Archive ends inside the data of \"a.txt\"");
}

TEST_F(BadArchive, EntryInflatesToAnotherSize) {
    TRecord shorter = Entry("a.txt", "abc");
    shorter.U = 5;
    EXPECT_EQ(OpenError<EReadError>(Build({shorter})), "Stream read error");

    TRecord longer = Entry("a.txt", "abcdef");
    longer.U = 3;
    EXPECT_EQ(OpenError<EDecompressionError>(Build({longer})), UnpackPrefix + "\"a.txt\" holds more than its 3 bytes");

    TRecord notEmpty = Entry("a.txt", "abc");
    notEmpty.U = 0;
    EXPECT_EQ(OpenError<EDecompressionError>(Build({notEmpty})), UnpackPrefix + "\"a.txt\" holds more than its 0 bytes");
}

TEST_F(BadArchive, EntryStreamCorruptOrCut) {
    TRecord checksum = Entry("a.txt", "some text to check");
    checksum.Stream.back() ^= 0x55;
    EXPECT_EQ(OpenError<EDecompressionError>(Build({checksum})),
              UnpackPrefix + "Corrupt data in \"a.txt\" (incorrect data check)");

    TRecord noTrailer = Entry("a.txt", "some text to check");
    noTrailer.Stream.resize(noTrailer.Stream.size() - 4);
    EXPECT_EQ(OpenError<EDecompressionError>(Build({noTrailer})),
              UnpackPrefix + "Data of \"a.txt\" ends inside its zlib stream");

    TRecord cut = Entry("a.txt", Pseudorandom(1000, 3));
    cut.Stream.resize(cut.Stream.size() / 2);
    EXPECT_EQ(OpenError<EReadError>(Build({cut})), "Stream read error");
}

TEST_F(BadArchive, FailedLoadDropsWhatWasLoaded) {
    Load(Archive, Build({Entry("a.txt", "alpha")}));
    ASSERT_EQ(Archive.Count(), 1);
    LoadError<Exception>(Build({Entry("b.txt", "1"), Entry("a.txt", "2")}));
}

TEST_F(BadArchive, EveryCutAndBitFlipFailsCleanly) {
    Bytes good = Build({Entry("a.txt", "alpha alpha alpha"), Entry("b.txt", "beta"), Entry("c.txt", "gamma")});
    for (size_t length = 0; length < good.size(); ++length) {
        Bytes cut(good.begin(), good.begin() + static_cast<long>(length));
        EXPECT_THROW(Load(Archive, cut), Exception) << length;
    }
    // A flipped bit anywhere either is caught or yields entries of their
    // stated sizes; nothing but our exceptions comes out.
    int loaded = 0;
    for (size_t at = 0; at < good.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes bad = good;
            bad[at] ^= static_cast<uint8_t>(1 << bit);
            try {
                Load(Archive, bad);
                ++loaded;
                for (int i = 0; i < Archive.Count(); ++i) {
                    try {
                        EXPECT_EQ(TResourceFileArchive::Unpack(Archive.Entry(i)).size(), Archive.Entry(i).UnpackedSize);
                    } catch (const Exception&) {
                    }
                }
            } catch (const Exception&) {
            }
        }
    }
    EXPECT_GT(loaded, 0);  // some flips land in the entries' data only
}
