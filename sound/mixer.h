// The software mixer: sums up to eight sources into one output block in
// integer arithmetic. Sources and output share one PCM layout (8-bit
// unsigned or 16-bit signed little-endian samples, interleaved channels).
#pragma once

#include <cstdint>

// One source of the mix: the sample bytes and where playback is in them.
struct TMixVoice {
    const uint8_t* Data = nullptr;
    int32_t Size = 0;      // bytes of Data
    int32_t Position = 0;  // next byte to mix
    int32_t Volume = 0;    // 0..100
    bool Looped = false;
    bool Finished = false;  // ran out of data (not looped); mixed no further
};

constexpr int MaxMixVoices = 8;

// out[i] = 128 + sum of ((sample - 128) * volume) / 100, limited to 0..255;
// every term truncates toward zero. Silence (128) without sources.
void MixSamples8(uint8_t* out, int32_t bytes, const uint8_t* const* sources, const int32_t* volumes,
                 int count);
// The same for 16-bit samples: sum of (sample * volume) / 100, limited to
// -32768..32767; silence is 0. bytes must be even.
void MixSamples16(uint8_t* out, int32_t bytes, const uint8_t* const* sources, const int32_t* volumes,
                  int count);

// Fills a whole block from the voices that are not finished. Each step mixes
// up to the nearest end of a voice's data; there a looped voice starts over
// and any other is marked Finished and left out of the rest of the block.
// Only whole frames of a voice are played, so a voice without one whole
// frame finishes at once, looped or not. length must be whole frames.
void MixBlock(uint8_t* out, int32_t length, int32_t frameBytes, bool bits16, TMixVoice* const* voices,
              int count);
