// Decoding of compressed wave encodings to PCM and conversion between PCM
// layouts (channels, bits, rate). Formats are given as the little-endian wave
// format record: tag, channels, rate, average bytes per second, block align,
// bits per sample, extra size (18 bytes), then the extra bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace platform {

struct PcmLayout {
    uint16_t Channels = 0;
    uint32_t SamplesPerSec = 0;
    uint16_t BitsPerSample = 0;  // 8 or 16
};

// One conversion from a source format to a PCM layout, used as: size the
// destination, prepare both blocks, convert.
class IAudioConversion {
public:
    virtual ~IAudioConversion() = default;
    // Room the destination needs for sourceBytes of source; false when that
    // cannot be told or is beyond what a sound may take.
    virtual bool DestinationSize(uint32_t sourceBytes, uint32_t& destBytes) = 0;
    // Binds the blocks; false when the destination is too small for the
    // source. Both must live until Convert returned.
    virtual bool Prepare(const uint8_t* source, uint32_t sourceBytes, uint8_t* dest,
                         uint32_t destBytes) = 0;
    // Converts the whole source; destUsed receives the bytes written.
    virtual bool Convert(uint32_t& destUsed) = 0;
};

class IAudioCodec {
public:
    virtual ~IAudioCodec() = default;
    // With fixedLayout the layout in dest is checked as given; otherwise the
    // codec chooses the PCM layout the source decodes to. False when the
    // source cannot be decoded or the layout is not one we produce.
    virtual bool SuggestPcm(std::span<const uint8_t> sourceFormat, PcmLayout& dest,
                            bool fixedLayout) = 0;
    // Null when this source cannot be converted to dest.
    virtual std::unique_ptr<IAudioConversion> Open(std::span<const uint8_t> sourceFormat,
                                                   const PcmLayout& dest) = 0;
};

// libsndfile and libsamplerate on Linux.
IAudioCodec& SystemAudioCodec();

}  // namespace platform
