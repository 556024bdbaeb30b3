#include "core/archive.h"

#include "platform/resources.h"
#include "core/errors.h"
#include "core/strutil.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

const std::string LoadError = "TResourceFileArchive.LoadFromStream error: ";
const std::string UnpackError = "TResourceFileArchive.Unpack error: ";

// The directory is read from the stream in blocks of this size; what the
// inflater did not consume is given back by seeking.
constexpr size_t BlockSize = 65536;

class TInflater {
public:
    explicit TInflater(const std::string& context) {
        if (inflateInit(&Z) != Z_OK) throw EDecompressionError(context + "Cannot start zlib");
    }
    ~TInflater() { inflateEnd(&Z); }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    z_stream Z{};
};

std::string ZlibMessage(const z_stream& z, int rc) {
    return z.msg ? z.msg : zError(rc);
}

std::string Quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint64_t Remaining(const TStream& stream) {
    uint64_t size = stream.Size(), pos = stream.Position();
    return pos < size ? size - pos : 0;
}

// Inflates exactly size bytes of directory from the stream and leaves the
// stream at the first byte after the directory's zlib stream.
std::vector<uint8_t> InflateDirectory(TStream& stream, uint32_t size) {
    std::vector<uint8_t> out(size);
    std::vector<uint8_t> block(BlockSize);
    uint8_t overflow = 0;  // receives output beyond the announced size
    TInflater inflater(LoadError);
    z_stream& z = inflater.Z;
    z.next_out = out.data();
    z.avail_out = size;
    bool probing = false;
    int rc = Z_OK;
    for (;;) {
        if (z.avail_in == 0) {
            size_t got = stream.Read(block.data(), block.size());
            if (got == 0) break;
            z.next_in = block.data();
            z.avail_in = static_cast<uInt>(got);
        }
        if (z.avail_out == 0) {
            if (probing)
                throw EDecompressionError(LoadError + "Directory is longer than its announced " +
                                          str::IntToStr(size) + " bytes");
            probing = true;
            z.next_out = &overflow;
            z.avail_out = 1;
        }
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK && rc != Z_BUF_ERROR)
            throw EDecompressionError(LoadError + "Corrupt directory data (" + ZlibMessage(z, rc) + ")");
        if (rc == Z_BUF_ERROR && z.avail_in != 0 && z.avail_out != 0)
            throw EDecompressionError(LoadError + "Corrupt directory data (no progress)");
    }
    if (probing && z.avail_out == 0)
        throw EDecompressionError(LoadError + "Directory is longer than its announced " +
                                  str::IntToStr(size) + " bytes");
    if (rc != Z_STREAM_END) throw EReadError(LoadError + "Archive ends inside the directory");
    if (z.total_out != size)
        throw EReadError(LoadError + "Directory is shorter than its announced " + str::IntToStr(size) +
                         " bytes");
    stream.Seek(stream.Position() - z.avail_in);
    return out;
}

// Reads the records of an inflated directory; each name must sort strictly
// after the one before, since the data streams are taken in that order.
std::vector<std::unique_ptr<TArchiveFile>> ParseDirectory(const std::vector<uint8_t>& dir) {
    size_t pos = 0;
    auto take = [&]() {
        uint32_t v = GetU32(dir.data() + pos);
        pos += 4;
        return v;
    };
    uint32_t count = take();
    // A record holds at least L, P and U.
    if (count > (dir.size() - pos) / 12)
        throw Exception(LoadError + "Entry count " + str::IntToStr(count) + " does not fit the directory");
    std::vector<std::unique_ptr<TArchiveFile>> entries;
    entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (dir.size() - pos < 12) throw Exception(LoadError + "Directory ends inside an entry");
        uint32_t length = take();
        if (length > dir.size() - pos - 8)
            throw Exception(LoadError + "Name length " + str::IntToStr(length) + " does not fit the directory");
        auto file = std::make_unique<TArchiveFile>();
        file->Name.assign(reinterpret_cast<const char*>(dir.data() + pos), length);
        pos += length;
        file->PackedSize = take();
        file->UnpackedSize = take();
        if (file->Name.empty()) throw Exception(LoadError + "Entry " + str::IntToStr(i) + " has no name");
        if (file->UnpackedSize > TResourceFileArchive::MaxEntrySize)
            throw Exception(LoadError + "Entry " + Quoted(file->Name) + " is too large (" +
                            str::IntToStr(file->UnpackedSize) + " bytes)");
        if (file->UnpackedSize > uint64_t(file->PackedSize) * TResourceFileArchive::MaxInflateRatio)
            throw Exception(LoadError + "Entry " + Quoted(file->Name) + " cannot inflate from " +
                            str::IntToStr(file->PackedSize) + " to " + str::IntToStr(file->UnpackedSize) +
                            " bytes");
        if (!entries.empty() && str::CompareText(entries.back()->Name, file->Name) >= 0) {
            for (const auto& e : entries)
                if (str::SameText(e->Name, file->Name))
                    throw Exception(LoadError + "Duplicate entry " + Quoted(file->Name));
            throw Exception(LoadError + "Entry " + Quoted(file->Name) + " is out of order");
        }
        entries.push_back(std::move(file));
    }
    if (pos != dir.size())
        throw Exception(LoadError + "Directory has " + str::IntToStr(int64_t(dir.size() - pos)) +
                        " bytes after its last entry");
    return entries;
}

}  // namespace

void TResourceFileArchive::LoadFromFile(const std::string& fileName) {
    Clear();
    TFileStream file(str::ToHostPath(fileName), TFileStream::Mode::Read);
    LoadFromStream(file);
}

void TResourceFileArchive::LoadFromStream(TStream& stream) {
    Clear();
    uint8_t head[4];
    stream.ReadBuffer(head, sizeof head);
    uint32_t dirSize = GetU32(head);
    if (dirSize < 4)
        throw Exception(LoadError + "Directory size " + str::IntToStr(dirSize) + " is too small");
    if (dirSize > MaxDirectorySize || dirSize > Remaining(stream) * MaxInflateRatio)
        throw Exception(LoadError + "Directory size " + str::IntToStr(dirSize) + " does not fit the archive");

    auto entries = ParseDirectory(InflateDirectory(stream, dirSize));
    for (auto& file : entries) {
        if (file->PackedSize > Remaining(stream))
            throw EReadError(LoadError + "Archive ends inside the data of " + Quoted(file->Name));
        file->Data.resize(file->PackedSize);
        stream.ReadBuffer(file->Data.data(), file->Data.size());
    }
    Entries = std::move(entries);
    FLoaded = true;
}

const TArchiveFile* TResourceFileArchive::Find(std::string_view name) const {
    auto it = std::lower_bound(Entries.begin(), Entries.end(), name,
                               [](const std::unique_ptr<TArchiveFile>& e, std::string_view n) {
                                   return str::CompareText(e->Name, n) < 0;
                               });
    if (it == Entries.end() || !str::SameText((*it)->Name, name)) return nullptr;
    return it->get();
}

int TResourceFileArchive::Count() const { return static_cast<int>(Entries.size()); }

const TArchiveFile& TResourceFileArchive::Entry(int index) const {
    if (index < 0 || index >= Count())
        throw Exception("List index out of bounds (" + str::IntToStr(index) + ")");
    return *Entries[static_cast<size_t>(index)];
}

void TResourceFileArchive::Clear() {
    Entries.clear();
    FLoaded = false;
}

std::vector<uint8_t> TResourceFileArchive::Unpack(const TArchiveFile& file) {
    std::vector<uint8_t> out(file.UnpackedSize);
    if (file.Data.empty()) {
        if (file.UnpackedSize != 0) throw EReadError("Stream read error");
        return out;
    }
    uint8_t overflow = 0;
    TInflater inflater(UnpackError);
    z_stream& z = inflater.Z;
    // Data is the whole entry, so one call inflates everything there is; a
    // second one with a spare byte tells whether the entry holds more.
    z.next_in = const_cast<Bytef*>(file.Data.data());
    z.avail_in = static_cast<uInt>(file.Data.size());
    z.next_out = out.empty() ? &overflow : out.data();  // zlib refuses a null buffer
    z.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&z, Z_FINISH);
    if (rc == Z_BUF_ERROR && z.avail_out == 0) {
        z.next_out = &overflow;
        z.avail_out = 1;
        rc = inflate(&z, Z_FINISH);
        if (z.avail_out == 0)
            throw EDecompressionError(UnpackError + Quoted(file.Name) + " holds more than its " +
                                      str::IntToStr(file.UnpackedSize) + " bytes");
    }
    if (rc == Z_STREAM_END) {
        if (z.total_out != file.UnpackedSize) throw EReadError("Stream read error");
        return out;
    }
    if (rc == Z_BUF_ERROR) {
        // The input ran out before the zlib stream ended.
        if (z.total_out < file.UnpackedSize) throw EReadError("Stream read error");
        throw EDecompressionError(UnpackError + "Data of " + Quoted(file.Name) + " ends inside its zlib stream");
    }
    throw EDecompressionError(UnpackError + "Corrupt data in " + Quoted(file.Name) + " (" + ZlibMessage(z, rc) +
                              ")");
}

void TResourceFileWriter::SetBasePath(const std::string& path) {
    FBasePath = path;
    if (!FBasePath.empty() && FBasePath.back() != '\\') FBasePath += '\\';
}

bool TResourceFileWriter::Open(const std::string& name) {
    FStream.reset();
    try {
        FStream = std::make_unique<TFileStream>(str::ToHostPath(str::CombinePath(FBasePath, name)),
                                                TFileStream::Mode::Create);
    } catch (const EFOpenError&) {
        return false;
    }
    return true;
}

bool TResourceFileReader::Open(const std::string& name) {
    FStream.reset();
    switch (Mode) {
    case 0: {
        std::string path = str::ToHostPath(str::CombinePath(FBasePath, name));
        // fopen would happily "open" a folder.
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) return false;
        try {
            FStream = std::make_unique<TFileStream>(path, TFileStream::Mode::Read);
        } catch (const EFOpenError&) {
            return false;
        }
        return true;
    }
    case 1:
    case 3: {
        TResourceFileArchive& archive = Archive();
        if (!archive.Loaded()) {
            if (Mode == 1) {
                archive.LoadFromFile(ArchiveName);
            } else {
                std::string resource = ResourceNameFromFileName(ArchiveName);
                auto raw = FindRawResource(resource);
                if (!raw) throw EFOpenError("Resource " + str::UpperCase(resource) + " not found");
                TReadOnlyMemoryStream stream(raw->Data, raw->Size);
                archive.LoadFromStream(stream);
            }
        }
        const TArchiveFile* file = archive.Find(str::ExtractFileName(name));
        if (!file) return false;
        FStream = std::make_unique<TMemoryStream>(TResourceFileArchive::Unpack(*file));
        return true;
    }
    case 2: {
        auto raw = FindRawResource(ResourceNameFromFileName(name));
        if (!raw) return false;
        FStream = std::make_unique<TReadOnlyMemoryStream>(raw->Data, raw->Size);
        return true;
    }
    default:
        throw Exception("TResourceFileReader.Open error: Unknown mode " + str::IntToStr(Mode));
    }
}

void TResourceFileReader::CloseArchive() { FArchive.reset(); }

TResourceFileArchive& TResourceFileReader::Archive() {
    if (!FArchive) FArchive = std::make_unique<TResourceFileArchive>();
    return *FArchive;
}

TResourceFileReader& TheResourceReader() {
    static TResourceFileReader reader;
    return reader;
}

std::string ResourceNameFromFileName(std::string_view fileName) {
    std::string name(str::ExtractFileName(fileName));
    size_t dot = name.find('.');
    if (dot != std::string::npos) name[dot] = '_';
    return name;
}
