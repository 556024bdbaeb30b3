#include "sound/mixer.h"

#include <algorithm>

void MixSamples8(uint8_t* out, int32_t bytes, const uint8_t* const* sources, const int32_t* volumes,
                 int count) {
    for (int32_t i = 0; i < bytes; ++i) {
        int32_t sum = 0;
        for (int v = 0; v < count; ++v) sum += ((int32_t(sources[v][i]) - 128) * volumes[v]) / 100;
        out[i] = uint8_t(std::clamp(sum + 128, 0, 255));
    }
}

void MixSamples16(uint8_t* out, int32_t bytes, const uint8_t* const* sources, const int32_t* volumes,
                  int count) {
    for (int32_t i = 0; i + 1 < bytes; i += 2) {
        int32_t sum = 0;
        for (int v = 0; v < count; ++v) {
            const int32_t sample = int16_t(uint16_t(sources[v][i] | sources[v][i + 1] << 8));
            sum += (sample * volumes[v]) / 100;
        }
        const int32_t s = std::clamp(sum, -32768, 32767);
        out[i] = uint8_t(s & 0xFF);
        out[i + 1] = uint8_t((s >> 8) & 0xFF);
    }
}

void MixBlock(uint8_t* out, int32_t length, int32_t frameBytes, bool bits16, TMixVoice* const* voices,
              int count) {
    count = std::min(count, MaxMixVoices);
    if (frameBytes <= 0) frameBytes = 1;
    // Whole frames only: a torn last frame would shift every later sample.
    auto playable = [frameBytes](const TMixVoice& v) { return v.Size - v.Size % frameBytes; };
    for (int v = 0; v < count; ++v) {
        TMixVoice& voice = *voices[v];
        if (!voice.Finished && (playable(voice) <= 0 || voice.Position < 0 ||
                                voice.Position >= playable(voice) || voice.Position % frameBytes))
            voice.Finished = true;
    }

    const uint8_t* sources[MaxMixVoices];
    int32_t volumes[MaxMixVoices];
    int32_t filled = 0;
    while (filled < length) {
        int32_t n = length - filled;
        int active = 0;
        for (int v = 0; v < count; ++v) {
            const TMixVoice& voice = *voices[v];
            if (voice.Finished) continue;
            n = std::min(n, playable(voice) - voice.Position);
            sources[active] = voice.Data + voice.Position;
            volumes[active] = std::clamp(voice.Volume, 0, 100);
            ++active;
        }
        if (bits16)
            MixSamples16(out + filled, n, sources, volumes, active);
        else
            MixSamples8(out + filled, n, sources, volumes, active);
        for (int v = 0; v < count; ++v) {
            TMixVoice& voice = *voices[v];
            if (voice.Finished) continue;
            voice.Position += n;
            if (voice.Position < playable(voice)) continue;
            if (voice.Looped)
                voice.Position = 0;
            else
                voice.Finished = true;
        }
        filled += n;
    }
}
