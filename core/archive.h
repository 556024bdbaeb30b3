// The resource archive (.rfa) and the process-wide reader that opens every
// content file by name: from a folder, an archive file, embedded resources,
// or an archive embedded in the executable.
#pragma once

#include "core/stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TArchiveFile {
public:
    std::vector<uint8_t> Data;  // the entry's compressed bytes
    uint32_t PackedSize = 0;
    uint32_t UnpackedSize = 0;
    std::string Name;
};

class TResourceFileArchive {
public:
    // Limits that keep corrupt input from asking for absurd amounts of memory.
    // zlib cannot expand a stream by more than about 1032:1.
    static constexpr uint32_t MaxDirectorySize = 64u << 20;
    static constexpr uint32_t MaxEntrySize = 256u << 20;
    static constexpr uint32_t MaxInflateRatio = 1032;

    // Both read the whole archive or raise; on failure the archive is left
    // empty and not loaded.
    void LoadFromFile(const std::string& fileName);
    void LoadFromStream(TStream& stream);
    bool Loaded() const { return FLoaded; }
    // Case-insensitive lookup by bare file name; nullptr when absent.
    const TArchiveFile* Find(std::string_view name) const;
    int Count() const;
    const TArchiveFile& Entry(int index) const;  // in name order
    void Clear();

    // The entry's content: exactly UnpackedSize bytes.
    static std::vector<uint8_t> Unpack(const TArchiveFile& file);

private:
    std::vector<std::unique_ptr<TArchiveFile>> Entries;  // sorted by CompareText
    bool FLoaded = false;
};

class TResourceFileWriter {
public:
    virtual ~TResourceFileWriter() = default;
    const std::string& BasePath() const { return FBasePath; }
    // Appends "\" to a non-empty path that does not end in one.
    void SetBasePath(const std::string& path);
    // Creates CombinePath(BasePath, name) on disk for writing.
    virtual bool Open(const std::string& name);
    TStream* Stream() const { return FStream.get(); }

protected:
    std::string FBasePath;
    std::unique_ptr<TStream> FStream;
};

class TResourceFileReader : public TResourceFileWriter {
public:
    // 0: folder on disk, 1: archive file, 2: embedded files, 3: embedded archive.
    uint8_t Mode = 0;
    std::string ArchiveName;

    // True when found; Stream() then holds the content at position 0. Every
    // Open frees the previous stream.
    bool Open(const std::string& name) override;
    void CloseArchive();
    TResourceFileArchive& Archive();

private:
    std::unique_ptr<TResourceFileArchive> FArchive;
};

// The one reader of the process.
TResourceFileReader& TheResourceReader();

// "data.rfa" -> "data_rfa": the bare file name with its first "." made "_".
std::string ResourceNameFromFileName(std::string_view fileName);
