// Wave decoding with libsndfile (every encoding it reads from a WAVE file:
// PCM, float, A-law, mu-law, IMA and MS ADPCM, GSM 6.10) and rate conversion
// with libsamplerate. The source is presented to libsndfile as a WAVE file in
// memory: a header we write, followed by the caller's sample bytes.

#include "platform/audio_codec.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace platform {
namespace {

// A converted sound may take at most this much memory; outside bytes must
// not be able to ask for more.
constexpr uint64_t MaxDestinationBytes = 64u << 20;
constexpr uint32_t MinRate = 1000;
constexpr uint32_t MaxRate = 384000;
constexpr uint16_t MaxChannels = 8;

constexpr uint16_t TagPcm = 0x0001;
constexpr uint16_t TagMsAdpcm = 0x0002;
constexpr uint16_t TagFloat = 0x0003;
constexpr uint16_t TagALaw = 0x0006;
constexpr uint16_t TagMuLaw = 0x0007;
constexpr uint16_t TagImaAdpcm = 0x0011;
constexpr uint16_t TagGsm610 = 0x0031;
constexpr uint16_t TagExtensible = 0xFFFE;

uint16_t U16(std::span<const uint8_t> b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
uint32_t U32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

// What the source format record says, checked for consistency.
struct SourceInfo {
    uint16_t Tag = 0;  // the effective tag (an extensible record's sub-format)
    uint16_t Channels = 0;
    uint32_t Rate = 0;
    uint16_t BlockAlign = 0;
    uint16_t Bits = 0;
    uint32_t FramesPerBlock = 1;

    uint64_t FramesFor(uint32_t bytes) const {
        if (FramesPerBlock == 1) return bytes / BlockAlign;
        return (uint64_t(bytes) + BlockAlign - 1) / BlockAlign * FramesPerBlock;
    }
};

bool Describe(std::span<const uint8_t> f, SourceInfo& info) {
    if (f.size() < 18) return false;
    info.Tag = U16(f, 0);
    info.Channels = U16(f, 2);
    info.Rate = U32(f, 4);
    info.BlockAlign = U16(f, 12);
    info.Bits = U16(f, 14);
    const uint16_t extraSize = U16(f, 16);
    if (f.size() < 18u + extraSize) return false;
    std::span<const uint8_t> extra = f.subspan(18, extraSize);
    if (info.Channels < 1 || info.Channels > MaxChannels) return false;
    if (info.Rate < MinRate || info.Rate > MaxRate || info.BlockAlign == 0) return false;
    if (info.Tag == TagExtensible) {
        // valid bits, channel mask, then the sub-format GUID whose first two
        // bytes are the plain tag
        if (extraSize < 22) return false;
        info.Tag = U16(extra, 6);
        if (info.Tag != TagPcm && info.Tag != TagFloat) return false;
    }
    const uint32_t sampleBlock = uint32_t(info.Channels) * (info.Bits / 8u);
    switch (info.Tag) {
        case TagPcm:
            return (info.Bits == 8 || info.Bits == 16 || info.Bits == 24 || info.Bits == 32) &&
                   info.BlockAlign == sampleBlock;
        case TagFloat:
            return (info.Bits == 32 || info.Bits == 64) && info.BlockAlign == sampleBlock;
        case TagALaw:
        case TagMuLaw:
            return info.Bits == 8 && info.BlockAlign == info.Channels;
        case TagImaAdpcm:
        case TagMsAdpcm: {
            if (info.Bits != 4 || extraSize < 2) return false;
            info.FramesPerBlock = U16(extra, 0);
            const uint32_t header = info.Tag == TagImaAdpcm ? 4u : 7u;
            // nibbles after the block header, plus the samples kept in it
            const uint32_t most =
                (info.BlockAlign - std::min<uint32_t>(info.BlockAlign, header * info.Channels)) * 2 /
                    info.Channels + 2;
            return info.BlockAlign >= header * info.Channels && info.FramesPerBlock >= 1 &&
                   info.FramesPerBlock <= most;
        }
        case TagGsm610:
            info.FramesPerBlock = 320;
            return info.Channels == 1 && info.BlockAlign == 65;
        default:
            return false;
    }
}

bool ValidLayout(const PcmLayout& l) {
    return l.Channels >= 1 && l.Channels <= MaxChannels && l.SamplesPerSec >= MinRate &&
           l.SamplesPerSec <= MaxRate && (l.BitsPerSample == 8 || l.BitsPerSample == 16);
}

// libsamplerate handles ratios within 1/256 .. 256.
bool RatioInRange(uint32_t from, uint32_t to) {
    return uint64_t(to) * 256 >= from && uint64_t(from) * 256 >= to;
}

// A WAVE file made of a header in memory and the caller's sample bytes.
class MemoryWave {
public:
    MemoryWave(std::span<const uint8_t> format, const uint8_t* data, uint32_t dataSize)
        : Data(data), DataSize(dataSize) {
        const uint32_t fmtSize = uint32_t(format.size());
        const uint32_t fmtPadded = fmtSize + (fmtSize & 1);
        Header.assign(12 + 8 + fmtPadded + 8, 0);
        std::memcpy(&Header[0], "RIFF", 4);
        Put32(4, 4 + 8 + fmtPadded + 8 + dataSize);
        std::memcpy(&Header[8], "WAVEfmt ", 8);
        Put32(16, fmtSize);
        if (fmtSize) std::memcpy(&Header[20], format.data(), fmtSize);
        std::memcpy(&Header[20 + fmtPadded], "data", 4);
        Put32(24 + fmtPadded, dataSize);
    }

    SNDFILE* Open(SF_INFO& info) {
        static SF_VIRTUAL_IO io = {&GetLength, &Seek, &Read, &Write, &Tell};
        std::memset(&info, 0, sizeof info);
        return sf_open_virtual(&io, SFM_READ, &info, this);
    }

private:
    void Put32(size_t at, uint32_t v) {
        for (size_t i = 0; i < 4; ++i) Header[at + i] = uint8_t(v >> (8 * i));
    }
    sf_count_t Length() const { return sf_count_t(Header.size()) + DataSize; }

    static sf_count_t GetLength(void* self) { return static_cast<MemoryWave*>(self)->Length(); }
    static sf_count_t Tell(void* self) { return static_cast<MemoryWave*>(self)->Pos; }
    static sf_count_t Seek(sf_count_t offset, int whence, void* user) {
        auto* self = static_cast<MemoryWave*>(user);
        sf_count_t base = whence == SEEK_CUR ? self->Pos : whence == SEEK_END ? self->Length() : 0;
        const sf_count_t to = base + offset;
        if (to < 0 || to > self->Length()) return -1;
        self->Pos = to;
        return to;
    }
    static sf_count_t Read(void* ptr, sf_count_t count, void* user) {
        auto* self = static_cast<MemoryWave*>(user);
        auto* out = static_cast<uint8_t*>(ptr);
        sf_count_t done = 0;
        const sf_count_t headerSize = sf_count_t(self->Header.size());
        while (done < count && self->Pos < self->Length()) {
            sf_count_t n;
            if (self->Pos < headerSize) {
                n = std::min(count - done, headerSize - self->Pos);
                std::memcpy(out + done, self->Header.data() + self->Pos, size_t(n));
            } else {
                n = std::min(count - done, self->Length() - self->Pos);
                std::memcpy(out + done, self->Data + (self->Pos - headerSize), size_t(n));
            }
            done += n;
            self->Pos += n;
        }
        return done;
    }
    static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }

    std::vector<uint8_t> Header;
    const uint8_t* Data;
    sf_count_t DataSize;
    sf_count_t Pos = 0;
};

// Spreads or folds channels: mono goes to every output channel, anything goes
// to mono as the average, otherwise output channel c takes input c (wrapping).
void Remix(const std::vector<float>& in, uint16_t from, std::vector<float>& out, uint16_t to,
           size_t frames) {
    out.resize(frames * to);
    for (size_t f = 0; f < frames; ++f) {
        const float* src = &in[f * from];
        float* dst = &out[f * to];
        if (to == 1) {
            float sum = 0;
            for (uint16_t c = 0; c < from; ++c) sum += src[c];
            dst[0] = sum / float(from);
        } else {
            for (uint16_t c = 0; c < to; ++c) dst[c] = src[c % from];
        }
    }
}

class SndfileConversion final : public IAudioConversion {
public:
    SndfileConversion(std::span<const uint8_t> format, const SourceInfo& source,
                      const PcmLayout& dest)
        : Format(format.begin(), format.end()), Source(source), Dest(dest) {}

    bool DestinationSize(uint32_t sourceBytes, uint32_t& destBytes) override {
        const uint64_t frames = Source.FramesFor(sourceBytes);
        const uint64_t destFrames = (frames * Dest.SamplesPerSec + Source.Rate - 1) / Source.Rate + 16;
        const uint64_t bytes = destFrames * Dest.Channels * (Dest.BitsPerSample / 8u);
        if (bytes > MaxDestinationBytes) return false;
        destBytes = uint32_t(bytes);
        return true;
    }

    bool Prepare(const uint8_t* source, uint32_t sourceBytes, uint8_t* dest,
                 uint32_t destBytes) override {
        uint32_t needed = 0;
        if ((!source && sourceBytes) || !dest || !DestinationSize(sourceBytes, needed) ||
            destBytes < needed)
            return false;
        Src = source;
        SrcBytes = sourceBytes;
        Dst = dest;
        DstBytes = destBytes;
        Prepared = true;
        return true;
    }

    bool Convert(uint32_t& destUsed) override {
        destUsed = 0;
        if (!Prepared) return false;
        if (SrcBytes == 0) return true;
        std::vector<float> decoded;
        size_t frames = 0;
        if (!Decode(decoded, frames)) return false;

        std::vector<float> mixed;
        const std::vector<float>* pcm = &decoded;
        if (Dest.Channels != Source.Channels) {
            Remix(decoded, Source.Channels, mixed, Dest.Channels, frames);
            pcm = &mixed;
        }
        std::vector<float> resampled;
        if (Dest.SamplesPerSec != Source.Rate && frames > 0) {
            const double ratio = double(Dest.SamplesPerSec) / double(Source.Rate);
            const size_t capacity = size_t(std::ceil(double(frames) * ratio)) + 16;
            resampled.resize(capacity * Dest.Channels);
            SRC_DATA job{};
            job.data_in = pcm->data();
            job.input_frames = long(frames);
            job.data_out = resampled.data();
            job.output_frames = long(capacity);
            job.src_ratio = ratio;
            if (src_simple(&job, SRC_SINC_MEDIUM_QUALITY, Dest.Channels) != 0) return false;
            frames = size_t(job.output_frames_gen);
            pcm = &resampled;
        }

        const size_t frameBytes = size_t(Dest.Channels) * (Dest.BitsPerSample / 8u);
        frames = std::min(frames, DstBytes / frameBytes);
        const size_t samples = frames * Dest.Channels;
        for (size_t i = 0; i < samples; ++i) {
            const float v = (*pcm)[i];
            if (Dest.BitsPerSample == 16) {
                const long s = std::clamp(std::lrint(double(v) * 32768.0), -32768L, 32767L);
                Dst[2 * i] = uint8_t(s & 0xFF);
                Dst[2 * i + 1] = uint8_t((s >> 8) & 0xFF);
            } else {
                Dst[i] = uint8_t(std::clamp(std::lrint(double(v) * 128.0) + 128, 0L, 255L));
            }
        }
        destUsed = uint32_t(frames * frameBytes);
        return true;
    }

private:
    bool Decode(std::vector<float>& out, size_t& frames) {
        MemoryWave file(Format, Src, SrcBytes);
        SF_INFO info;
        SNDFILE* sf = file.Open(info);
        if (!sf) return false;
        bool ok = info.channels == Source.Channels;
        if (ok) {
            // Never more than the format record allows for these bytes.
            const uint64_t most = Source.FramesFor(SrcBytes);
            const uint64_t want = std::min<uint64_t>(most, uint64_t(std::max<sf_count_t>(info.frames, 0)));
            out.resize(size_t(want) * Source.Channels);
            const sf_count_t got = want ? sf_readf_float(sf, out.data(), sf_count_t(want)) : 0;
            frames = size_t(std::max<sf_count_t>(got, 0));
            out.resize(frames * Source.Channels);
        }
        sf_close(sf);
        return ok;
    }

    std::vector<uint8_t> Format;
    SourceInfo Source;
    PcmLayout Dest;
    const uint8_t* Src = nullptr;
    uint32_t SrcBytes = 0;
    uint8_t* Dst = nullptr;
    uint32_t DstBytes = 0;
    bool Prepared = false;
};

class SndfileCodec final : public IAudioCodec {
public:
    bool SuggestPcm(std::span<const uint8_t> sourceFormat, PcmLayout& dest, bool fixedLayout) override {
        SourceInfo source;
        if (!Describe(sourceFormat, source)) return false;
        if (!fixedLayout) {
            dest.Channels = source.Channels;
            dest.SamplesPerSec = source.Rate;
            dest.BitsPerSample = source.Tag == TagPcm && source.Bits == 8 ? 8 : 16;
        }
        return ValidLayout(dest) && RatioInRange(source.Rate, dest.SamplesPerSec);
    }

    std::unique_ptr<IAudioConversion> Open(std::span<const uint8_t> sourceFormat,
                                           const PcmLayout& dest) override {
        SourceInfo source;
        if (!Describe(sourceFormat, source) || !ValidLayout(dest) ||
            !RatioInRange(source.Rate, dest.SamplesPerSec))
            return nullptr;
        // Let the decoder judge the whole record (ADPCM coefficients and the
        // like) on one silent block.
        std::vector<uint8_t> block(source.BlockAlign, 0);
        MemoryWave probe(sourceFormat, block.data(), uint32_t(block.size()));
        SF_INFO info;
        SNDFILE* sf = probe.Open(info);
        if (!sf) return nullptr;
        const bool ok = info.channels == source.Channels;
        sf_close(sf);
        if (!ok) return nullptr;
        return std::make_unique<SndfileConversion>(sourceFormat, source, dest);
    }
};

}  // namespace

IAudioCodec& SystemAudioCodec() {
    static SndfileCodec codec;
    return codec;
}

}  // namespace platform
