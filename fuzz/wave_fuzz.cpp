// Loads the input bytes as a wave file and converts whatever loaded to each
// output layout the sound device can ask for.
#include "core/errors.h"
#include "sound/wave.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TWaveSound wave("fuzz.wav");
    TMemoryStream stream(std::vector<uint8_t>(data, data + size));
    try {
        wave.LoadFromStream(stream);
    } catch (const Exception&) {
        if (wave.WaveLoaded() || !wave.WaveFormat().empty() || wave.WaveDataSize() != 0) __builtin_trap();
        return 0;
    }
    static const uint16_t layouts[][3] = {{1, 22050, 16}, {2, 44100, 16}, {1, 11025, 8}, {2, 22050, 8}};
    for (const auto& l : layouts) {
        const std::vector<uint8_t> format = wave.WaveFormat();
        const int32_t dataSize = wave.WaveDataSize();
        try {
            wave.ConvertTo(l[0], l[1], l[2]);
        } catch (const Exception&) {
            // A failed conversion keeps the old content.
            if (wave.WaveFormat() != format || wave.WaveDataSize() != dataSize) __builtin_trap();
            continue;
        }
        if (wave.Channels() != l[0] || wave.SamplesPerSec() != l[1] || wave.BitsPerSample() != l[2])
            __builtin_trap();
        // Converted data is whole frames of the layout asked for.
        if (wave.WaveFormat() != format && wave.WaveDataSize() % (l[0] * l[2] / 8) != 0) __builtin_trap();
    }
    return 0;
}
