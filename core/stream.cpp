#include "core/stream.h"

#include "core/errors.h"
#include "platform/file_replace.h"

#include <cerrno>
#include <cstring>

void TStream::ReadBuffer(void* buffer, size_t n) {
    if (n != 0 && Read(buffer, n) != n) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, size_t n) {
    if (n != 0 && Write(buffer, n) != n) throw EReadError("Stream write error");
}

std::string TStream::ReadRemaining() {
    uint64_t size = Size(), pos = Position();
    std::string text(pos < size ? static_cast<size_t>(size - pos) : 0, '\0');
    if (!text.empty()) text.resize(Read(text.data(), text.size()));
    return text;
}

size_t TMemoryStream::Read(void* buffer, size_t n) {
    if (Pos >= Bytes.size()) return 0;
    size_t avail = static_cast<size_t>(Bytes.size() - Pos);
    if (n > avail) n = avail;
    std::memcpy(buffer, Bytes.data() + Pos, n);
    Pos += n;
    return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t n) {
    if (n == 0) return 0;
    if (Pos + n > Bytes.size()) Bytes.resize(static_cast<size_t>(Pos + n));
    std::memcpy(Bytes.data() + Pos, buffer, n);
    Pos += n;
    return n;
}

void TMemoryStream::Seek(uint64_t position) { Pos = position; }

size_t TReadOnlyMemoryStream::Read(void* buffer, size_t n) {
    if (Pos >= Length) return 0;
    size_t avail = static_cast<size_t>(Length - Pos);
    if (n > avail) n = avail;
    std::memcpy(buffer, Data + Pos, n);
    Pos += n;
    return n;
}

size_t TReadOnlyMemoryStream::Write(const void*, size_t) { return 0; }

void TReadOnlyMemoryStream::Seek(uint64_t position) { Pos = position; }

TFileStream::TFileStream(const std::string& fileName, Mode mode) {
    File = std::fopen(fileName.c_str(), mode == Mode::Read ? "rb" : "wb");
    if (!File) {
        int err = errno;
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(err));
    }
}

TFileStream::~TFileStream() {
    if (File) std::fclose(File);
}

size_t TFileStream::Read(void* buffer, size_t n) { return std::fread(buffer, 1, n, File); }

size_t TFileStream::Write(const void* buffer, size_t n) { return std::fwrite(buffer, 1, n, File); }

uint64_t TFileStream::Size() const {
    long pos = std::ftell(File);
    std::fseek(File, 0, SEEK_END);
    long size = std::ftell(File);
    std::fseek(File, pos, SEEK_SET);
    return size < 0 ? 0 : static_cast<uint64_t>(size);
}

uint64_t TFileStream::Position() const {
    long pos = std::ftell(File);
    return pos < 0 ? 0 : static_cast<uint64_t>(pos);
}

void TFileStream::Seek(uint64_t position) { std::fseek(File, static_cast<long>(position), SEEK_SET); }

std::string ReadFileText(const std::string& fileName) {
    TFileStream file(fileName, TFileStream::Mode::Read);
    return file.ReadRemaining();
}

void SaveBytesToFile(const std::string& fileName, std::string_view bytes) {
    std::string error = platform::ReplaceFile(fileName, bytes);
    if (!error.empty()) throw EWriteError("Cannot write file \"" + fileName + "\". " + error);
}

void SaveBytesToFile(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    SaveBytesToFile(fileName, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}
