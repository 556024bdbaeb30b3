// The compression manager as the wave loader meets it: a compressed sound
// made by the system's own encoder decodes to the tone it holds, and PCM
// records that lie about their frames are refused.
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "platform/audio_codec.h"

namespace {

constexpr uint32_t kRate = 22050;

std::vector<int16_t> Tone(size_t frames) {
    std::vector<int16_t> tone(frames);
    for (size_t i = 0; i < frames; ++i) tone[i] = static_cast<int16_t>(8000 * std::sin(2 * std::numbers::pi * 440.0 * i / kRate));
    return tone;
}

std::vector<uint8_t> Record(const WAVEFORMATEX& f) {
    std::vector<uint8_t> bytes(sizeof(WAVEFORMATEX) + f.cbSize);
    std::memcpy(bytes.data(), &f, bytes.size());
    return bytes;
}

TEST(AudioCodecAcm, ImaAdpcmMadeByTheSystemDecodesToItsTone) {
    // Encode with the system's IMA ADPCM codec.
    WAVEFORMATEX pcm{WAVE_FORMAT_PCM, 1, kRate, kRate * 2, 2, 16, 0};
    std::vector<uint8_t> ima(64);
    auto* imaFormat = reinterpret_cast<WAVEFORMATEX*>(ima.data());
    imaFormat->wFormatTag = WAVE_FORMAT_IMA_ADPCM;
    ASSERT_EQ(acmFormatSuggest(nullptr, &pcm, imaFormat, static_cast<DWORD>(ima.size()), ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_NOERROR);
    ima.resize(sizeof(WAVEFORMATEX) + imaFormat->cbSize);
    imaFormat = reinterpret_cast<WAVEFORMATEX*>(ima.data());
    std::vector<int16_t> tone = Tone(kRate / 2);
    HACMSTREAM encoder = nullptr;
    ASSERT_EQ(acmStreamOpen(&encoder, nullptr, &pcm, imaFormat, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME),
              MMSYSERR_NOERROR);
    std::vector<uint8_t> encoded(tone.size());
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = reinterpret_cast<BYTE*>(tone.data());
    header.cbSrcLength = static_cast<DWORD>(tone.size() * 2);
    header.pbDst = encoded.data();
    header.cbDstLength = static_cast<DWORD>(encoded.size());
    ASSERT_EQ(acmStreamPrepareHeader(encoder, &header, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamConvert(encoder, &header, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
    encoded.resize(header.cbDstLengthUsed);
    acmStreamUnprepareHeader(encoder, &header, 0);
    acmStreamClose(encoder, 0);
    ASSERT_GT(encoded.size(), 1000u);

    // Decode through our codec, as the wave loader does.
    auto& codec = platform::SystemAudioCodec();
    platform::PcmLayout layout;
    ASSERT_TRUE(codec.SuggestPcm(ima, layout, false));
    EXPECT_EQ(layout.Channels, 1);
    EXPECT_EQ(layout.SamplesPerSec, kRate);
    EXPECT_EQ(layout.BitsPerSample, 16);
    auto conversion = codec.Open(ima, layout);
    ASSERT_TRUE(conversion);
    uint32_t size = 0;
    ASSERT_TRUE(conversion->DestinationSize(static_cast<uint32_t>(encoded.size()), size));
    std::vector<int16_t> decoded(size / 2 + 1);
    ASSERT_TRUE(conversion->Prepare(encoded.data(), static_cast<uint32_t>(encoded.size()),
                                    reinterpret_cast<uint8_t*>(decoded.data()), size));
    uint32_t used = 0;
    ASSERT_TRUE(conversion->Convert(used));
    decoded.resize(used / 2);
    ASSERT_GT(decoded.size(), tone.size() * 9 / 10);
    double error = 0, power = 0;
    for (size_t i = 0; i < decoded.size() && i < tone.size(); ++i) {
        error += std::pow(decoded[i] - tone[i], 2);
        power += std::pow(tone[i], 2);
    }
    EXPECT_LT(error / power, 0.01) << "the decoded tone is the one encoded";
}

TEST(AudioCodecAcm, PcmRecordsThatLieAreRefused) {
    auto& codec = platform::SystemAudioCodec();
    platform::PcmLayout mono{1, kRate, 16};
    auto refused = [&](WAVEFORMATEX f) {
        platform::PcmLayout layout = mono;
        return !codec.SuggestPcm(Record(f), layout, true) && !codec.Open(Record(f), mono);
    };
    EXPECT_FALSE(refused(WAVEFORMATEX{WAVE_FORMAT_PCM, 1, kRate, kRate * 2, 2, 16, 0})) << "an honest record";
    EXPECT_TRUE(refused(WAVEFORMATEX{WAVE_FORMAT_PCM, 0, kRate, 0, 2, 16, 0})) << "no channels";
    EXPECT_TRUE(refused(WAVEFORMATEX{WAVE_FORMAT_PCM, 1, kRate, kRate * 3, 3, 16, 0})) << "odd block align";
    EXPECT_TRUE(refused(WAVEFORMATEX{WAVE_FORMAT_PCM, 1, kRate, kRate * 2, 2, 12, 0})) << "12 bits";
    EXPECT_TRUE(refused(WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 1, 2, 2, 16, 0})) << "1 Hz";
    // A compressed record announcing more extra bytes than it has.
    WAVEFORMATEX truncated{WAVE_FORMAT_IMA_ADPCM, 1, kRate, 11100, 256, 4, 2};
    std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(&truncated), reinterpret_cast<uint8_t*>(&truncated) + 18);
    platform::PcmLayout layout;
    EXPECT_FALSE(codec.SuggestPcm(bytes, layout, false));
    EXPECT_FALSE(codec.Open(bytes, mono));
}

}  // namespace
