// Wave decoding and PCM conversion with the audio compression manager: it
// suggests the PCM layout a source decodes to and converts whole blocks,
// through whichever of the system's codecs handles the format.
#include "platform/audio_codec.h"

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <vector>

namespace platform {
namespace {

// A converted sound may take at most this much memory; outside bytes must
// not be able to ask for more.
constexpr uint32_t MaxDestinationBytes = 64u << 20;
constexpr uint32_t MinRate = 1000;
constexpr uint32_t MaxRate = 384000;
constexpr uint16_t MaxChannels = 8;

uint16_t U16(std::span<const uint8_t> b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }

// The caller's format record as the system reads it: the 18 fixed bytes and
// exactly the extra bytes the record announces, all of which must be there.
bool SourceRecord(std::span<const uint8_t> f, std::vector<uint8_t>& record) {
    if (f.size() < 18) return false;
    const uint16_t tag = U16(f, 0), channels = U16(f, 2), blockAlign = U16(f, 12);
    // PCM has no extra bytes, whatever the field says.
    const size_t extra = tag == WAVE_FORMAT_PCM ? 0 : U16(f, 16);
    if (channels == 0 || channels > MaxChannels || blockAlign == 0 || 18 + extra > f.size()) return false;
    // A PCM record that lies about its frame size would have the converter
    // read past the samples; compressed formats are judged by their codecs.
    if (tag == WAVE_FORMAT_PCM) {
        const uint16_t bits = U16(f, 14);
        if ((bits != 8 && bits != 16 && bits != 24 && bits != 32) || blockAlign != channels * (bits / 8)) return false;
    }
    record.assign(f.begin(), f.begin() + 18 + extra);
    if (tag == WAVE_FORMAT_PCM) record[16] = record[17] = 0;
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(record.data());
    return wf->nSamplesPerSec >= MinRate && wf->nSamplesPerSec <= MaxRate;
}

bool ValidLayout(const PcmLayout& l) {
    return l.Channels >= 1 && l.Channels <= MaxChannels && l.SamplesPerSec >= MinRate && l.SamplesPerSec <= MaxRate &&
           (l.BitsPerSample == 8 || l.BitsPerSample == 16);
}

WAVEFORMATEX PcmFormat(const PcmLayout& l) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = l.Channels;
    f.nSamplesPerSec = l.SamplesPerSec;
    f.wBitsPerSample = l.BitsPerSample;
    f.nBlockAlign = static_cast<WORD>(l.Channels * l.BitsPerSample / 8);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    return f;
}

class AcmConversion final : public IAudioConversion {
public:
    explicit AcmConversion(HACMSTREAM stream) : Stream(stream) {}
    ~AcmConversion() override {
        Unprepare();
        acmStreamClose(Stream, 0);
    }
    AcmConversion(const AcmConversion&) = delete;
    AcmConversion& operator=(const AcmConversion&) = delete;

    bool DestinationSize(uint32_t sourceBytes, uint32_t& destBytes) override {
        DWORD size = 0;
        if (acmStreamSize(Stream, sourceBytes, &size, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR) return false;
        if (size == 0 || size > MaxDestinationBytes) return false;
        destBytes = size;
        return true;
    }

    bool Prepare(const uint8_t* source, uint32_t sourceBytes, uint8_t* dest, uint32_t destBytes) override {
        Unprepare();
        uint32_t needed = 0;
        if (!source || !dest || !DestinationSize(sourceBytes, needed) || destBytes < needed) return false;
        Header = ACMSTREAMHEADER{};
        Header.cbStruct = sizeof Header;
        Header.pbSrc = const_cast<BYTE*>(source);
        Header.cbSrcLength = sourceBytes;
        Header.pbDst = dest;
        Header.cbDstLength = destBytes;
        Prepared = acmStreamPrepareHeader(Stream, &Header, 0) == MMSYSERR_NOERROR;
        return Prepared;
    }

    bool Convert(uint32_t& destUsed) override {
        if (!Prepared || acmStreamConvert(Stream, &Header, 0) != MMSYSERR_NOERROR) return false;
        destUsed = Header.cbDstLengthUsed;
        return true;
    }

private:
    void Unprepare() {
        if (Prepared) acmStreamUnprepareHeader(Stream, &Header, 0);
        Prepared = false;
    }

    HACMSTREAM Stream;
    ACMSTREAMHEADER Header{};
    bool Prepared = false;
};

class AcmCodec final : public IAudioCodec {
public:
    bool SuggestPcm(std::span<const uint8_t> sourceFormat, PcmLayout& dest, bool fixedLayout) override {
        std::vector<uint8_t> source;
        if (!SourceRecord(sourceFormat, source)) return false;
        if (fixedLayout && !ValidLayout(dest)) return false;
        WAVEFORMATEX suggested = fixedLayout ? PcmFormat(dest) : WAVEFORMATEX{};
        suggested.wFormatTag = WAVE_FORMAT_PCM;
        DWORD flags = ACM_FORMATSUGGESTF_WFORMATTAG;
        if (fixedLayout) flags |= ACM_FORMATSUGGESTF_NCHANNELS | ACM_FORMATSUGGESTF_NSAMPLESPERSEC | ACM_FORMATSUGGESTF_WBITSPERSAMPLE;
        if (acmFormatSuggest(nullptr, reinterpret_cast<WAVEFORMATEX*>(source.data()), &suggested, sizeof suggested,
                             flags) != MMSYSERR_NOERROR)
            return false;
        const PcmLayout layout{suggested.nChannels, suggested.nSamplesPerSec, suggested.wBitsPerSample};
        if (!ValidLayout(layout)) return false;
        dest = layout;
        return true;
    }

    std::unique_ptr<IAudioConversion> Open(std::span<const uint8_t> sourceFormat, const PcmLayout& dest) override {
        std::vector<uint8_t> source;
        if (!SourceRecord(sourceFormat, source) || !ValidLayout(dest)) return nullptr;
        WAVEFORMATEX target = PcmFormat(dest);
        HACMSTREAM stream = nullptr;
        if (acmStreamOpen(&stream, nullptr, reinterpret_cast<WAVEFORMATEX*>(source.data()), &target, nullptr, 0, 0,
                          ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR)
            return nullptr;
        return std::make_unique<AcmConversion>(stream);
    }
};

}  // namespace

IAudioCodec& SystemAudioCodec() {
    static AcmCodec codec;
    return codec;
}

}  // namespace platform
