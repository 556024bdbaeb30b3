// The Linux codec through TWaveSound: compressed encodings written by
// libsndfile itself are decoded to PCM with the tone intact.
#include "platform/audio_codec.h"
#include "core/errors.h"
#include "sound/wave.h"
#include "sound/wave_builder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>

using namespace wavetest;

namespace {

// A WAVE file of a 1 kHz tone in the given libsndfile encoding, in memory.
class EncodedWave {
public:
    EncodedWave(int subformat, int channels, int rate, double seconds) {
        SF_VIRTUAL_IO io = {&Length, &Seek, &Read, &Write, &Tell};
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | subformat;
        SNDFILE* sf = sf_open_virtual(&io, SFM_WRITE, &info, this);
        if (!sf) throw std::runtime_error(sf_strerror(nullptr));
        const int frames = int(rate * seconds);
        std::vector<float> samples;
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                samples.push_back(float(0.5 * std::sin(2 * std::numbers::pi * 1000.0 * i / rate)));
        sf_writef_float(sf, samples.data(), frames);
        sf_close(sf);
    }
    Bytes File;

private:
    static sf_count_t Length(void* self) { return sf_count_t(static_cast<EncodedWave*>(self)->File.size()); }
    static sf_count_t Tell(void* self) { return static_cast<EncodedWave*>(self)->Pos; }
    static sf_count_t Seek(sf_count_t offset, int whence, void* user) {
        auto* self = static_cast<EncodedWave*>(user);
        const sf_count_t base = whence == SEEK_CUR ? self->Pos : whence == SEEK_END ? sf_count_t(self->File.size()) : 0;
        self->Pos = base + offset;
        return self->Pos;
    }
    static sf_count_t Read(void* ptr, sf_count_t count, void* user) {
        auto* self = static_cast<EncodedWave*>(user);
        const sf_count_t n = std::max<sf_count_t>(0, std::min(count, sf_count_t(self->File.size()) - self->Pos));
        if (n) std::memcpy(ptr, self->File.data() + self->Pos, size_t(n));
        self->Pos += n;
        return n;
    }
    static sf_count_t Write(const void* ptr, sf_count_t count, void* user) {
        auto* self = static_cast<EncodedWave*>(user);
        if (self->File.size() < size_t(self->Pos + count)) self->File.resize(size_t(self->Pos + count));
        std::memcpy(self->File.data() + self->Pos, ptr, size_t(count));
        self->Pos += count;
        return count;
    }
    sf_count_t Pos = 0;
};

struct Encoding {
    const char* Name;
    int Subformat;
    uint16_t Tag;
    int Channels;
    int Rate;
};

class CompressedWave : public ::testing::TestWithParam<Encoding> {};

}  // namespace

TEST_P(CompressedWave, DecodesToPcmWithTheToneIntact) {
    const Encoding e = GetParam();
    EncodedWave encoded(e.Subformat, e.Channels, e.Rate, 0.5);
    TWaveSound wave("coded.wav");
    TMemoryStream stream(encoded.File);
    wave.LoadFromStream(stream);
    EXPECT_EQ(wave.FormatTag(), 1);
    EXPECT_EQ(wave.BitsPerSample(), 16);
    EXPECT_EQ(wave.Channels(), e.Channels);
    EXPECT_EQ(wave.SamplesPerSec(), uint32_t(e.Rate));

    // And on to the output format of the device.
    wave.ConvertTo(2, 44100, 16);
    const Bytes out(wave.WaveData(), wave.WaveData() + wave.WaveDataSize());
    const auto left = Channel16(out, 0, 2);
    EXPECT_NEAR(double(left.size()), 22050, 1200);  // ADPCM ends on whole blocks
    const std::vector<double> middle(left.begin() + 2000, left.end() - 2000);
    EXPECT_NEAR(MeasuredFrequency(middle, 44100), 1000, 2);
    EXPECT_NEAR(Rms(middle), 0.5 * 32768 / std::sqrt(2.0), 0.5 * 32768 * 0.1);
    EXPECT_EQ(left, Channel16(out, 1, 2));
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, CompressedWave,
    ::testing::Values(Encoding{"ImaAdpcm", SF_FORMAT_IMA_ADPCM, 0x11, 1, 22050},
                      Encoding{"ImaAdpcmStereo", SF_FORMAT_IMA_ADPCM, 0x11, 2, 11025},
                      Encoding{"MsAdpcm", SF_FORMAT_MS_ADPCM, 0x02, 1, 22050},
                      Encoding{"MuLaw", SF_FORMAT_ULAW, 0x07, 1, 8000},
                      Encoding{"ALaw", SF_FORMAT_ALAW, 0x06, 2, 8000},
                      Encoding{"Gsm610", SF_FORMAT_GSM610, 0x31, 1, 8000},
                      Encoding{"Float", SF_FORMAT_FLOAT, 0x03, 1, 44100}),
    [](const ::testing::TestParamInfo<Encoding>& p) { return std::string(p.param.Name); });

namespace {

// Loads an IMA ADPCM file whose samples-per-block field says n.
std::string ImaLoadError(uint16_t samplesPerBlock) {
    EncodedWave encoded(SF_FORMAT_IMA_ADPCM, 1, 22050, 0.1);
    // The format chunk starts at byte 20, its extra bytes (samples per
    // block first) at 38.
    Bytes file = encoded.File;
    file[38] = uint8_t(samplesPerBlock);
    file[39] = uint8_t(samplesPerBlock >> 8);
    TWaveSound wave("bad.wav");
    TMemoryStream stream(file);
    try {
        wave.LoadFromStream(stream);
    } catch (const Exception& e) {
        EXPECT_FALSE(wave.WaveLoaded());
        return e.what();
    }
    return "(loaded)";
}

}  // namespace

TEST(CompressedWaveErrors, InconsistentAdpcmBlocksAreRefused) {
    // More samples than a 256-byte block can hold: we refuse it ourselves.
    EXPECT_EQ(ImaLoadError(0xFFFF), "TWaveSound.Convert error: acmFormatSuggest failed file bad.wav");
    // Fewer than it holds: the decoder refuses it.
    EXPECT_EQ(ImaLoadError(100), "TWaveSound.Convert error: acmStreamOpen failed file bad.wav");
}

TEST(AudioCodec, SuggestsTheLayoutASourceDecodesTo) {
    auto& codec = platform::SystemAudioCodec();
    Bytes fmt = Fmt(0x11, 2, 11025, 4, 2048, true, {0xF9, 0x07});  // IMA ADPCM, 2041 samples a block
    platform::PcmLayout layout;
    ASSERT_TRUE(codec.SuggestPcm(fmt, layout, false));
    EXPECT_EQ(layout.Channels, 2);
    EXPECT_EQ(layout.SamplesPerSec, 11025u);
    EXPECT_EQ(layout.BitsPerSample, 16);

    Bytes pcm8 = Fmt(1, 1, 22050, 8, 0, true);
    ASSERT_TRUE(codec.SuggestPcm(pcm8, layout, false));
    EXPECT_EQ(layout.BitsPerSample, 8);

    layout = {1, 22050, 12};
    EXPECT_FALSE(codec.SuggestPcm(pcm8, layout, true));
    layout = {1, 22050, 16};
    EXPECT_FALSE(codec.SuggestPcm(Bytes(10, 0), layout, true));  // no whole record
}

TEST(AudioCodec, ConversionSizesFromTheBlocks) {
    auto& codec = platform::SystemAudioCodec();
    const Bytes fmt = Fmt(0x11, 1, 22050, 4, 256, true, {0xF9, 0x01});  // 505 samples a block
    auto conversion = codec.Open(fmt, {1, 22050, 16});
    ASSERT_TRUE(conversion);
    uint32_t bytes = 0;
    ASSERT_TRUE(conversion->DestinationSize(257, bytes));  // a block and a byte: two blocks
    EXPECT_GE(bytes, 2u * 505 * 2);
    EXPECT_LE(bytes, 2u * 505 * 2 + 64);
    Bytes small(bytes - 1);
    Bytes source(257);
    EXPECT_FALSE(conversion->Prepare(source.data(), 257, small.data(), uint32_t(small.size())));
}
