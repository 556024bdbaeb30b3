// Hand-made archives for the archive tests: the format written out field by
// field, so the tests do not trust the packer to build what the reader reads.
#pragma once

#include "core/archive.h"
#include "core/errors.h"

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fixture {

using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes Deflate(const Bytes& data, int level = 9) {
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    Bytes out(length);
    compress2(out.data(), &length, data.data(), static_cast<uLong>(data.size()), level);
    out.resize(length);
    return out;
}
inline Bytes Deflate(const std::string& s, int level = 9) { return Deflate(ToBytes(s), level); }

inline void PutU32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline uint32_t GetU32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// One directory record with the bytes of its data stream; P defaults to the
// stream's length.
struct TRecord {
    std::string Name;
    Bytes Stream;
    uint32_t U = 0;
    std::optional<uint32_t> P;
};

inline TRecord Entry(const std::string& name, const std::string& content) {
    return TRecord{name, Deflate(content), static_cast<uint32_t>(content.size()), std::nullopt};
}

inline Bytes RawDirectory(const std::vector<TRecord>& records) {
    Bytes dir;
    PutU32(dir, static_cast<uint32_t>(records.size()));
    for (const auto& r : records) {
        PutU32(dir, static_cast<uint32_t>(r.Name.size()));
        dir.insert(dir.end(), r.Name.begin(), r.Name.end());
        PutU32(dir, r.P ? *r.P : static_cast<uint32_t>(r.Stream.size()));
        PutU32(dir, r.U);
    }
    return dir;
}

// D, the given directory stream, then the records' streams back to back.
inline Bytes Assemble(uint32_t d, const Bytes& dirStream, const std::vector<TRecord>& records) {
    Bytes out;
    PutU32(out, d);
    out.insert(out.end(), dirStream.begin(), dirStream.end());
    for (const auto& r : records) out.insert(out.end(), r.Stream.begin(), r.Stream.end());
    return out;
}

inline Bytes Build(const std::vector<TRecord>& records) {
    Bytes raw = RawDirectory(records);
    return Assemble(static_cast<uint32_t>(raw.size()), Deflate(raw), records);
}

inline void Load(TResourceFileArchive& archive, const Bytes& bytes) {
    TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
    archive.LoadFromStream(stream);
}

inline std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The message of the exception of type E that f raises; another exception
// type escapes and fails the test.
template <class E>
std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "<no error>";
}

}  // namespace fixture
