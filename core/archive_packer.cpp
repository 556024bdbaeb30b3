#include "core/archive_packer.h"

#include "core/errors.h"
#include "core/strutil.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const std::string PackError = "PackArchive error: ";

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

const std::string& OriginOf(const TArchiveSource& s) { return s.Origin.empty() ? s.Name : s.Origin; }

bool HasDirectoryPart(std::string_view name) { return name.find_first_of("\\/:") != std::string_view::npos; }

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Appends one zlib stream at maximum compression (header 78 DA).
void AppendDeflated(std::vector<uint8_t>& out, const uint8_t* data, size_t size) {
    uLongf length = compressBound(static_cast<uLong>(size));
    size_t start = out.size();
    out.resize(start + length);
    int rc = compress2(out.data() + start, &length, data, static_cast<uLong>(size), Z_BEST_COMPRESSION);
    if (rc != Z_OK) throw Exception(PackError + "zlib failed (" + zError(rc) + ")");
    out.resize(start + length);
}

std::vector<uint8_t> ReadFileBytes(const fs::path& path) {
    std::string text = ReadFileText(path.string());
    return std::vector<uint8_t>(text.begin(), text.end());
}

void AddFile(std::vector<TArchiveSource>& sources, const fs::path& path) {
    TArchiveSource source;
    source.Name = path.filename().string();
    source.Origin = path.string();
    source.Content = ReadFileBytes(path);
    sources.push_back(std::move(source));
}

}  // namespace

std::vector<uint8_t> PackArchive(std::vector<TArchiveSource> sources) {
    for (const auto& s : sources) {
        if (s.Name.empty()) throw Exception(PackError + "Empty name for " + Quoted(OriginOf(s)));
        if (HasDirectoryPart(s.Name)) throw Exception(PackError + "Name " + Quoted(s.Name) + " has a directory part");
        // The reader opens empty entries, but nothing should ship one.
        if (s.Content.empty()) throw Exception(PackError + "Empty file " + Quoted(OriginOf(s)));
        if (s.Content.size() > TResourceFileArchive::MaxEntrySize)
            throw Exception(PackError + "File " + Quoted(OriginOf(s)) + " is larger than " +
                            str::IntToStr(TResourceFileArchive::MaxEntrySize) + " bytes");
    }
    std::stable_sort(sources.begin(), sources.end(), [](const TArchiveSource& a, const TArchiveSource& b) {
        return str::CompareText(a.Name, b.Name) < 0;
    });
    for (size_t i = 1; i < sources.size(); ++i)
        if (str::SameText(sources[i - 1].Name, sources[i].Name))
            throw Exception(PackError + "Duplicate name " + Quoted(sources[i].Name) + ": " +
                            Quoted(OriginOf(sources[i - 1])) + " and " + Quoted(OriginOf(sources[i])));

    std::vector<uint8_t> data;
    std::vector<uint8_t> directory;
    PutU32(directory, static_cast<uint32_t>(sources.size()));
    for (const auto& s : sources) {
        size_t start = data.size();
        AppendDeflated(data, s.Content.data(), s.Content.size());
        PutU32(directory, static_cast<uint32_t>(s.Name.size()));
        directory.insert(directory.end(), s.Name.begin(), s.Name.end());
        PutU32(directory, static_cast<uint32_t>(data.size() - start));
        PutU32(directory, static_cast<uint32_t>(s.Content.size()));
        if (directory.size() > TResourceFileArchive::MaxDirectorySize)
            throw Exception(PackError + "Directory larger than " +
                            str::IntToStr(TResourceFileArchive::MaxDirectorySize) + " bytes");
    }

    std::vector<uint8_t> archive;
    PutU32(archive, static_cast<uint32_t>(directory.size()));
    AppendDeflated(archive, directory.data(), directory.size());
    archive.insert(archive.end(), data.begin(), data.end());
    return archive;
}

void AddFolderSources(std::vector<TArchiveSource>& sources, const std::string& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) throw EFOpenError("Cannot read folder " + Quoted(folder) + ". " + ec.message());
    std::vector<fs::path> files;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const fs::path& path = it->path();
        if (path.filename().string().starts_with(".")) continue;
        if (it->is_directory(ec))
            throw Exception(Quoted(path.string()) + " is a folder; archives hold plain files only");
        files.push_back(path);
    }
    if (ec) throw EFOpenError("Cannot read folder " + Quoted(folder) + ". " + ec.message());
    // Stable order for messages; PackArchive sorts by name anyway.
    std::sort(files.begin(), files.end());
    for (const auto& path : files) AddFile(sources, path);
}

void AddListSources(std::vector<TArchiveSource>& sources, const std::string& listFile) {
    fs::path base = fs::path(listFile).parent_path();
    for (const auto& line : str::SplitLines(ReadFileText(listFile))) {
        std::string_view entry = str::Trim(line);
        if (entry.empty() || entry.front() == '#') continue;
        fs::path path(entry);
        if (path.is_relative()) path = base / path;
        // Lists are written with "/"; messages name the file as the system does.
        path.make_preferred();
        AddFile(sources, path);
    }
}

void ExtractArchive(const TResourceFileArchive& archive, const std::string& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw EFOpenError("Cannot create folder " + Quoted(folder) + ". " + ec.message());
    for (int i = 0; i < archive.Count(); ++i) {
        const TArchiveFile& file = archive.Entry(i);
        if (HasDirectoryPart(file.Name) || file.Name == "." || file.Name == "..")
            throw Exception("ExtractArchive error: Name " + Quoted(file.Name) + " could leave the folder");
        std::vector<uint8_t> content = TResourceFileArchive::Unpack(file);
        SaveBytesToFile((fs::path(folder) / file.Name).string(), content);
    }
}
