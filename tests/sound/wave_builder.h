// Builds WAVE files and tones in memory, and measures what comes back.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <numbers>
#include <string>
#include <vector>

namespace wavetest {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

inline void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

inline void PutId(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(id[i]));
}

inline void Append(Bytes& to, const Bytes& from) {
    for (uint8_t x : from) to.push_back(x);
}

// A chunk with its declared size (the byte count unless told otherwise) and
// the pad byte of an odd size.
inline Bytes Chunk(const char* id, const Bytes& content, int64_t declaredSize = -1) {
    Bytes b;
    PutId(b, id);
    Put32(b, declaredSize < 0 ? uint32_t(content.size()) : uint32_t(declaredSize));
    Append(b, content);
    if (content.size() & 1) b.push_back(0);
    return b;
}

inline Bytes Riff(const char* form, std::initializer_list<Bytes> chunks) {
    Bytes body;
    PutId(body, form);
    for (const Bytes& c : chunks) Append(body, c);
    return Chunk("RIFF", body);
}

// The format record: 16 bytes (plain PCM as most writers store it), or 18
// and the extra bytes.
inline Bytes Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint16_t blockAlign = 0,
                 bool withExtraSize = false, const Bytes& extra = {}) {
    if (blockAlign == 0) blockAlign = uint16_t(channels * bits / 8);
    Bytes b;
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * blockAlign);
    Put16(b, blockAlign);
    Put16(b, bits);
    if (withExtraSize || !extra.empty()) {
        Put16(b, uint16_t(extra.size()));
        Append(b, extra);
    }
    return b;
}

inline Bytes WaveFile(const Bytes& fmt, const Bytes& data) {
    return Riff("WAVE", {Chunk("fmt ", fmt), Chunk("data", data)});
}

// Interleaved 16-bit samples of a sine tone, the same in every channel.
inline Bytes Tone16(double hz, uint32_t rate, uint32_t frames, uint16_t channels = 1,
                    double amplitude = 16000) {
    Bytes b;
    for (uint32_t i = 0; i < frames; ++i) {
        const auto s = int16_t(std::lrint(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate)));
        for (uint16_t c = 0; c < channels; ++c) Put16(b, uint16_t(s));
    }
    return b;
}

inline Bytes Samples16(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) Put16(b, uint16_t(int16_t(v)));
    return b;
}

// One channel of interleaved 16-bit samples.
inline std::vector<double> Channel16(const Bytes& b, uint16_t channel = 0, uint16_t channels = 1) {
    std::vector<double> out;
    for (size_t i = size_t(channel) * 2; i + 1 < b.size(); i += size_t(channels) * 2)
        out.push_back(int16_t(uint16_t(b[i] | b[i + 1] << 8)));
    return out;
}

inline int16_t Sample16(const Bytes& b, size_t index) {
    return int16_t(uint16_t(b[2 * index] | b[2 * index + 1] << 8));
}

// Frequency from the rising zero crossings, interpolated between samples.
inline double MeasuredFrequency(const std::vector<double>& s, double rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            const double at = double(i - 1) + (-s[i - 1]) / (s[i] - s[i - 1]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * rate / (last - first);
}

inline double Rms(const std::vector<double>& s, size_t from = 0, size_t to = SIZE_MAX) {
    to = std::min(to, s.size());
    if (from >= to) return 0;
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += s[i] * s[i];
    return std::sqrt(sum / double(to - from));
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace wavetest
