// Byte streams: the in-memory stream every content loader reads from, and a
// file stream for the disk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

class TStream {
public:
    virtual ~TStream() = default;
    // Reads up to n bytes; returns how many were read.
    virtual size_t Read(void* buffer, size_t n) = 0;
    virtual size_t Write(const void* buffer, size_t n) = 0;
    virtual uint64_t Size() const = 0;
    virtual uint64_t Position() const = 0;
    virtual void Seek(uint64_t position) = 0;

    // Reads exactly n bytes or raises EReadError("Stream read error").
    void ReadBuffer(void* buffer, size_t n);
    // Writes exactly n bytes or raises EReadError("Stream write error").
    void WriteBuffer(const void* buffer, size_t n);
    // Everything from the current position to the end.
    std::string ReadRemaining();
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : Bytes(std::move(bytes)) {}

    size_t Read(void* buffer, size_t n) override;
    size_t Write(const void* buffer, size_t n) override;
    uint64_t Size() const override { return Bytes.size(); }
    uint64_t Position() const override { return Pos; }
    void Seek(uint64_t position) override;

    std::vector<uint8_t> Bytes;

private:
    uint64_t Pos = 0;
};

// A read-only view of bytes owned elsewhere (an embedded resource).
class TReadOnlyMemoryStream : public TStream {
public:
    TReadOnlyMemoryStream(const uint8_t* data, size_t size) : Data(data), Length(size) {}

    size_t Read(void* buffer, size_t n) override;
    size_t Write(const void* buffer, size_t n) override;
    uint64_t Size() const override { return Length; }
    uint64_t Position() const override { return Pos; }
    void Seek(uint64_t position) override;

private:
    const uint8_t* Data;
    size_t Length;
    uint64_t Pos = 0;
};

class TFileStream : public TStream {
public:
    enum class Mode { Read, Create };
    // Raises EFOpenError("Cannot open file \"name\". <reason>") on failure.
    TFileStream(const std::string& fileName, Mode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    size_t Read(void* buffer, size_t n) override;
    size_t Write(const void* buffer, size_t n) override;
    uint64_t Size() const override;
    uint64_t Position() const override;
    void Seek(uint64_t position) override;

private:
    std::FILE* File = nullptr;
};

// Reads a whole disk file; raises EFOpenError when it cannot be opened.
std::string ReadFileText(const std::string& fileName);

// Replaces a disk file with these bytes in one step: afterwards it holds the
// new bytes, or, when that fails, still the old ones. Raises EWriteError
// ("Cannot write file "name". <reason>").
void SaveBytesToFile(const std::string& fileName, std::string_view bytes);
void SaveBytesToFile(const std::string& fileName, const std::vector<uint8_t>& bytes);
