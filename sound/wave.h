// One sound in memory: its wave format record and its sample bytes, read from
// a RIFF/WAVE file or stream and converted to the PCM layout of the output.
#pragma once

#include "platform/audio_codec.h"
#include "core/stream.h"

#include <cstdint>
#include <string>
#include <vector>

class TWaveSound {
public:
    // Size of the format record without its extra bytes.
    static constexpr size_t FormatRecordSize = 18;
    static constexpr uint16_t FormatTagPcm = 1;

    TWaveSound() = default;
    explicit TWaveSound(std::string fileName) : WaveFileName(std::move(fileName)) {}
    TWaveSound(const TWaveSound&) = delete;
    TWaveSound& operator=(const TWaveSound&) = delete;

    // A disk path, or an archive entry name.
    std::string WaveFileName;
    // Decoder and converter; the system's unless a test puts in another.
    platform::IAudioCodec* Codec = &platform::SystemAudioCodec();

    void ClearWave();
    // Raises "TWaveSound.LoadFromFile error: file <name> is not open" when
    // the file cannot be opened, else the errors of LoadFromStream.
    void LoadFromFile();
    // Reads the stream's whole content (from its start). Every failure leaves
    // the wave empty and raises "TWaveSound.<operation> error: <what> file
    // <name>". A compressed wave is decoded to PCM right away.
    void LoadFromStream(TStream& stream);
    // Converts to PCM with the given layout; a compressed source decodes to
    // the layout the codec chooses. A failure keeps the old content.
    void Convert(uint16_t channels, uint16_t rate, uint16_t bits);
    // Convert, when loaded and not already PCM in that layout.
    void ConvertTo(uint16_t channels, uint16_t rate, uint16_t bits);

    bool WaveLoaded() const { return FWaveLoaded; }
    // The format record followed by its extra bytes; empty when none.
    const std::vector<uint8_t>& WaveFormat() const { return FWaveFormat; }
    const uint8_t* WaveData() const { return FWaveData.data(); }
    int32_t WaveDataSize() const { return int32_t(FWaveData.size()); }

    // Fields of the format record; 0 when there is none.
    uint16_t FormatTag() const { return Field16(0); }
    uint16_t Channels() const { return Field16(2); }
    uint32_t SamplesPerSec() const;
    uint16_t BlockAlign() const { return Field16(12); }
    uint16_t BitsPerSample() const { return Field16(14); }

private:
    void Load(const uint8_t* bytes, size_t size);
    [[noreturn]] void Fail(const char* operation, const char* text) const;
    uint16_t Field16(size_t at) const;

    std::vector<uint8_t> FWaveFormat;
    std::vector<uint8_t> FWaveData;
    bool FWaveLoaded = false;
};
