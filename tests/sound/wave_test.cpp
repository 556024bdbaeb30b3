#include "sound/wave.h"

#include "platform/null/audio_codec_null.h"
#include "core/errors.h"
#include "sound/wave_builder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace wavetest;

namespace {

std::string LoadError(const Bytes& file, const std::string& name = "waves04.wav") {
    TWaveSound wave(name);
    TMemoryStream stream(file);
    try {
        wave.LoadFromStream(stream);
    } catch (const Exception& e) {
        EXPECT_FALSE(wave.WaveLoaded());
        EXPECT_TRUE(wave.WaveFormat().empty());
        EXPECT_EQ(wave.WaveDataSize(), 0);
        return e.what();
    }
    return "(loaded)";
}

void Load(TWaveSound& wave, const Bytes& file) {
    TMemoryStream stream(file);
    wave.LoadFromStream(stream);
}

std::string LoadText(const char* text) { return std::string("TWaveSound.Load error: ") + text + " file waves04.wav"; }

// G.711 mu-law, as a recorder would store it.
uint8_t MuLaw(int16_t pcm) {
    int s = pcm;
    const int sign = s < 0 ? 0x80 : 0;
    if (s < 0) s = -s;
    s = std::min(s, 32635) + 0x84;
    int exponent = 7;
    for (int mask = 0x4000; !(s & mask) && exponent > 0; mask >>= 1) --exponent;
    const int mantissa = (s >> (exponent + 3)) & 0x0F;
    return uint8_t(~(sign | exponent << 4 | mantissa));
}

}  // namespace

// ---------------------------------------------------------------------------
// Loading

TEST(TWaveSoundLoad, PcmWithSixteenByteFormatChunkIsKeptAsItIs) {
    const Bytes data = Samples16({0, 1000, -1000, 32767, -32768, 7});
    TWaveSound wave("bubbles7.wav");
    Load(wave, WaveFile(Fmt(1, 1, 22050, 16), data));

    EXPECT_TRUE(wave.WaveLoaded());
    ASSERT_EQ(wave.WaveFormat().size(), TWaveSound::FormatRecordSize);
    EXPECT_EQ(wave.FormatTag(), 1);
    EXPECT_EQ(wave.Channels(), 1);
    EXPECT_EQ(wave.SamplesPerSec(), 22050u);
    EXPECT_EQ(wave.BitsPerSample(), 16);
    EXPECT_EQ(wave.BlockAlign(), 2);
    EXPECT_EQ(wave.WaveFormat()[16], 0);  // extra size
    EXPECT_EQ(wave.WaveFormat()[17], 0);
    ASSERT_EQ(wave.WaveDataSize(), int32_t(data.size()));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), wave.WaveData()));
}

TEST(TWaveSoundLoad, KeepsExtraFormatBytes) {
    const Bytes extra = {1, 2, 3, 4};
    TWaveSound wave("x.wav");
    Load(wave, WaveFile(Fmt(1, 2, 44100, 16, 0, true, extra), Samples16({1, 2, 3, 4})));
    ASSERT_EQ(wave.WaveFormat().size(), 22u);
    EXPECT_EQ(Bytes(wave.WaveFormat().begin() + 18, wave.WaveFormat().end()), extra);
}

TEST(TWaveSoundLoad, SkipsOtherChunksAndPadBytes) {
    const Bytes data = Samples16({5, 6});
    const Bytes file = Riff("WAVE", {Chunk("LIST", Bytes(7, 'x')), Chunk("fmt ", Fmt(1, 1, 11025, 16)),
                                     Chunk("junk", Bytes(3, 0)), Chunk("data", data)});
    TWaveSound wave("x.wav");
    Load(wave, file);
    EXPECT_EQ(wave.SamplesPerSec(), 11025u);
    EXPECT_EQ(wave.WaveDataSize(), 4);
}

TEST(TWaveSoundLoad, FindsTheWaveFormBehindOtherRiffForms) {
    Bytes file = Riff("AVI ", {Chunk("junk", Bytes(4, 0))});
    const Bytes wave = WaveFile(Fmt(1, 1, 22050, 8), Bytes{1, 2, 3});
    Append(file, wave);
    TWaveSound sound("x.wav");
    Load(sound, file);
    EXPECT_EQ(sound.WaveDataSize(), 3);
}

TEST(TWaveSoundLoad, DataShorterThanABlockLowersTheBlockAlign) {
    TWaveSound wave("x.wav");
    Load(wave, WaveFile(Fmt(1, 2, 22050, 16), Bytes{1, 2}));
    EXPECT_EQ(wave.BlockAlign(), 2);
}

TEST(TWaveSoundLoad, ShortFormatChunkReadsWhatItHas) {
    // 14 bytes: the old record without bits per sample.
    Bytes fmt = Fmt(1, 1, 8000, 8);
    fmt.resize(14);
    TWaveSound wave("x.wav");
    Load(wave, WaveFile(fmt, Bytes{1, 2}));
    EXPECT_EQ(wave.BitsPerSample(), 0);
    EXPECT_EQ(wave.SamplesPerSec(), 8000u);
    EXPECT_EQ(wave.WaveFormat().size(), 18u);
}

TEST(TWaveSoundLoad, AnotherLoadReplacesEverything) {
    TWaveSound wave("x.wav");
    Load(wave, WaveFile(Fmt(1, 2, 44100, 16, 0, true, {9, 9}), Samples16({1, 2, 3, 4})));
    Load(wave, WaveFile(Fmt(1, 1, 11025, 8), Bytes{7}));
    EXPECT_EQ(wave.WaveFormat().size(), 18u);
    EXPECT_EQ(wave.Channels(), 1);
    EXPECT_EQ(wave.WaveDataSize(), 1);
}

TEST(TWaveSoundLoad, CopiesStreamsThatAreNotInMemoryFromTheirStart) {
    const Bytes file = WaveFile(Fmt(1, 1, 22050, 16), Samples16({1, 2, 3}));
    TReadOnlyMemoryStream stream(file.data(), file.size());
    stream.Seek(10);
    TWaveSound wave("x.wav");
    wave.LoadFromStream(stream);
    EXPECT_EQ(wave.WaveDataSize(), 6);
}

TEST(TWaveSoundLoad, LoadsFromFileAndReportsMissingFiles) {
    const std::string dir = std::string(MARIVELLE_BUILD_DIR) + "/wave-test";
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/tone.wav";
    WriteFile(path, WaveFile(Fmt(1, 1, 22050, 16), Tone16(440, 22050, 100)));

    TWaveSound wave(path);
    wave.LoadFromFile();
    EXPECT_EQ(wave.WaveDataSize(), 200);

    TWaveSound missing(dir + "/missing.wav");
    try {
        missing.LoadFromFile();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "TWaveSound.LoadFromFile error: file " + dir + "/missing.wav is not open");
    }
    TWaveSound folder(dir);
    EXPECT_THROW(folder.LoadFromFile(), Exception);
}

TEST(TWaveSoundLoad, CompressedWaveIsDecodedToPcmAtOnce) {
    const Bytes pcm = Tone16(1000, 8000, 800, 1, 12000);
    Bytes encoded;
    for (size_t i = 0; i < pcm.size() / 2; ++i) encoded.push_back(MuLaw(Sample16(pcm, i)));
    TWaveSound wave("x.wav");
    Load(wave, WaveFile(Fmt(7, 1, 8000, 8, 1, true), encoded));

    EXPECT_EQ(wave.FormatTag(), 1);
    EXPECT_EQ(wave.Channels(), 1);
    EXPECT_EQ(wave.SamplesPerSec(), 8000u);
    EXPECT_EQ(wave.BitsPerSample(), 16);
    ASSERT_EQ(wave.WaveDataSize(), int32_t(pcm.size()));
    const Bytes decoded(wave.WaveData(), wave.WaveData() + wave.WaveDataSize());
    // mu-law keeps about 2% of the magnitude
    for (size_t i = 0; i < 800; ++i) EXPECT_NEAR(Sample16(decoded, i), Sample16(pcm, i), 400) << i;
}

// ---------------------------------------------------------------------------
// Load errors: each leaves the wave empty, even after an earlier success.

TEST(TWaveSoundLoadErrors, NotRiffWave) {
    EXPECT_EQ(LoadError(Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'}),
              LoadText("Find RIFF failed"));
    EXPECT_EQ(LoadError(Riff("AVI ", {Chunk("fmt ", Fmt(1, 1, 22050, 16))})), LoadText("Find RIFF failed"));
    // A RIFF whose size jumps beyond the file hides whatever follows it.
    Bytes file = Chunk("RIFF", Bytes{'A', 'V', 'I', ' '}, 1000);
    const Bytes wave = WaveFile(Fmt(1, 1, 22050, 16), Samples16({1}));
    Append(file, wave);
    EXPECT_EQ(LoadError(file, "a.wav"), "TWaveSound.Load error: Find RIFF failed file a.wav");
}

TEST(TWaveSoundLoadErrors, MissingChunks) {
    EXPECT_EQ(LoadError(Riff("WAVE", {Chunk("data", Bytes(4, 0))})), LoadText("Find fmt CHUNK failed"));
    EXPECT_EQ(LoadError(Riff("WAVE", {Chunk("fmt ", Fmt(1, 1, 22050, 16))})), LoadText("Find data CHUNK failed"));
    // Chunks are searched front to back: data in front of the format is not found.
    EXPECT_EQ(LoadError(Riff("WAVE", {Chunk("data", Bytes(4, 0)), Chunk("fmt ", Fmt(1, 1, 22050, 16))})),
              LoadText("Find data CHUNK failed"));
    // A chunk whose size jumps beyond the RIFF ends the search.
    EXPECT_EQ(LoadError(Riff("WAVE", {Chunk("fmt ", Fmt(1, 1, 22050, 16)), Chunk("junk", Bytes(2, 0), 1000),
                                      Chunk("data", Bytes(4, 0))})),
              LoadText("Find data CHUNK failed"));
}

TEST(TWaveSoundLoadErrors, TruncatedFormat) {
    Bytes file = Riff("WAVE", {Chunk("fmt ", Fmt(1, 1, 22050, 16))});
    file.resize(12 + 8 + 10);
    EXPECT_EQ(LoadError(file), LoadText("Read Wave format failed"));
}

TEST(TWaveSoundLoadErrors, ExtraBytesBeyondTheFormatChunk) {
    Bytes fmt = Fmt(1, 1, 22050, 16, 0, true);
    fmt[16] = 10;  // claims ten extra bytes the chunk does not hold
    EXPECT_EQ(LoadError(WaveFile(fmt, Bytes(4, 0))), LoadText("Read Extra data failed"));
    fmt[16] = 0xFF;
    fmt[17] = 0xFF;
    EXPECT_EQ(LoadError(WaveFile(fmt, Bytes(4, 0))), LoadText("Read Extra data failed"));
}

TEST(TWaveSoundLoadErrors, FormatChunkReachingBeyondTheFile) {
    const Bytes file = Riff("WAVE", {Chunk("fmt ", Fmt(1, 1, 22050, 16, 0, true), 0x7FFFFFF0)});
    EXPECT_EQ(LoadError(file), LoadText("Release CHUNCK failed"));
}

TEST(TWaveSoundLoadErrors, DataChunkReachingBeyondTheFile) {
    const Bytes file =
        Riff("WAVE", {Chunk("fmt ", Fmt(1, 1, 22050, 16)), Chunk("data", Samples16({1, 2}), 0xFFFFFFF0)});
    EXPECT_EQ(LoadError(file), LoadText("Read Wave data failed"));
    Bytes cut = WaveFile(Fmt(1, 1, 22050, 16), Samples16({1, 2, 3, 4}));
    cut.resize(cut.size() - 1);
    EXPECT_EQ(LoadError(cut), LoadText("Read Wave data failed"));
}

TEST(TWaveSoundLoadErrors, EmptyStream) {
    EXPECT_EQ(LoadError(Bytes{}), "TWaveSound.LoadFromStream error: mmioOpen stream failed file waves04.wav");
}

TEST(TWaveSoundLoadErrors, FailureEmptiesALoadedWave) {
    TWaveSound wave("x.wav");
    Load(wave, WaveFile(Fmt(1, 1, 22050, 16), Samples16({1, 2})));
    TMemoryStream bad(Bytes(20, 'z'));
    EXPECT_THROW(wave.LoadFromStream(bad), Exception);
    EXPECT_FALSE(wave.WaveLoaded());
    EXPECT_TRUE(wave.WaveFormat().empty());
    EXPECT_EQ(wave.WaveDataSize(), 0);
    EXPECT_EQ(wave.Channels(), 0);
}

TEST(TWaveSoundLoadErrors, UndecodableCompressedWaveIsAConvertErrorAndLeavesItEmpty) {
    // tag 0x1234 is no encoding anyone decodes
    EXPECT_EQ(LoadError(WaveFile(Fmt(0x1234, 1, 22050, 4, 256, true), Bytes(512, 0))),
              "TWaveSound.Convert error: acmFormatSuggest failed file waves04.wav");
}

// ---------------------------------------------------------------------------
// Conversion

TEST(TWaveSoundConvert, ToneKeepsItsFrequencyWhenTheRateDoubles) {
    TWaveSound wave("x.wav");
    Load(wave, WaveFile(Fmt(1, 1, 22050, 16), Tone16(1000, 22050, 22050, 1, 16000)));
    wave.ConvertTo(1, 44100, 16);

    EXPECT_EQ(wave.SamplesPerSec(), 44100u);
    EXPECT_EQ(wave.BlockAlign(), 2);
    EXPECT_NEAR(wave.WaveDataSize(), 44100 * 2, 64);
    const auto s = Channel16(Bytes(wave.WaveData(), wave.WaveData() + wave.WaveDataSize()));
    EXPECT_NEAR(MeasuredFrequency(s, 44100), 1000.0, 1.0);
    EXPECT_NEAR(Rms(s, 1000, s.size() - 1000), 16000 / std::sqrt(2.0), 200);
}

TEST(TWaveSoundConvert, ToneKeepsItsFrequencyWhenTheRateDrops) {
    TWaveSound wave("x.wav");
    Load(wave, WaveFile(Fmt(1, 1, 44100, 16), Tone16(1000, 44100, 44100)));
    wave.ConvertTo(1, 11025, 16);
    const auto s = Channel16(Bytes(wave.WaveData(), wave.WaveData() + wave.WaveDataSize()));
    EXPECT_NEAR(double(s.size()), 11025, 16);
    EXPECT_NEAR(MeasuredFrequency(s, 11025), 1000.0, 1.0);
}

TEST(TWaveSoundConvert, MonoToStereoPutsTheToneInBothChannels) {
    TWaveSound wave("x.wav");
    const Bytes tone = Tone16(1000, 22050, 22050);
    Load(wave, WaveFile(Fmt(1, 1, 22050, 16), tone));
    wave.ConvertTo(2, 22050, 16);

    EXPECT_EQ(wave.Channels(), 2);
    EXPECT_EQ(wave.BlockAlign(), 4);
    ASSERT_EQ(wave.WaveDataSize(), int32_t(tone.size() * 2));
    const Bytes out(wave.WaveData(), wave.WaveData() + wave.WaveDataSize());
    const auto left = Channel16(out, 0, 2);
    const auto right = Channel16(out, 1, 2);
    EXPECT_EQ(left, right);
    EXPECT_EQ(left, Channel16(tone));  // same rate and bits: sample for sample
    EXPECT_NEAR(MeasuredFrequency(left, 22050), 1000.0, 1.0);
}

TEST(TWaveSoundConvert, StereoToMonoAverages) {
    TWaveSound wave("x.wav");
    Load(wave, WaveFile(Fmt(1, 2, 22050, 16), Samples16({1000, 3000, -200, -400})));
    wave.ConvertTo(1, 22050, 16);
    const Bytes out(wave.WaveData(), wave.WaveData() + wave.WaveDataSize());
    EXPECT_EQ(Channel16(out), (std::vector<double>{2000, -300}));
}

TEST(TWaveSoundConvert, BitsChangeExactly) {
    TWaveSound wave("x.wav");
    Load(wave, WaveFile(Fmt(1, 1, 22050, 16), Samples16({0, 16384, -16384, 32767, -32768})));
    wave.ConvertTo(1, 22050, 8);
    EXPECT_EQ(wave.BitsPerSample(), 8);
    EXPECT_EQ(wave.BlockAlign(), 1);
    EXPECT_EQ(Bytes(wave.WaveData(), wave.WaveData() + wave.WaveDataSize()), (Bytes{128, 192, 64, 255, 0}));

    wave.ConvertTo(1, 22050, 16);
    const Bytes out(wave.WaveData(), wave.WaveData() + wave.WaveDataSize());
    EXPECT_EQ(Channel16(out), (std::vector<double>{0, 16384, -16384, 32512, -32768}));
}

TEST(TWaveSoundConvert, WritesAPlainPcmFormatRecord) {
    TWaveSound wave("x.wav");
    Load(wave, WaveFile(Fmt(1, 1, 22050, 16, 0, true, {1, 2}), Samples16({1, 2})));
    wave.Convert(2, 44100, 16);
    const Bytes expected = [] {
        Bytes f = Fmt(1, 2, 44100, 16);
        Put16(f, 0);
        return f;
    }();
    EXPECT_EQ(wave.WaveFormat(), expected);
    EXPECT_TRUE(wave.WaveLoaded());
}

TEST(TWaveSoundConvert, ConvertToLeavesAMatchingOrEmptyWaveAlone) {
    platform::FailingAudioCodec failing(platform::SystemAudioCodec(), platform::FailingAudioCodec::Step::Suggest);
    TWaveSound empty("x.wav");
    empty.Codec = &failing;
    EXPECT_NO_THROW(empty.ConvertTo(1, 22050, 16));

    TWaveSound wave("x.wav");
    Load(wave, WaveFile(Fmt(1, 1, 22050, 16), Samples16({1, 2})));
    wave.Codec = &failing;
    EXPECT_NO_THROW(wave.ConvertTo(1, 22050, 16));
    EXPECT_THROW(wave.ConvertTo(1, 22050, 8), Exception);
}

// Every failing step keeps the old content and names itself.
class TWaveSoundConvertFailure : public ::testing::TestWithParam<
                                     std::pair<platform::FailingAudioCodec::Step, const char*>> {};

TEST_P(TWaveSoundConvertFailure, KeepsTheOldContent) {
    const Bytes data = Samples16({1, 2, 3});
    TWaveSound wave("sea.wav");
    Load(wave, WaveFile(Fmt(1, 1, 22050, 16), data));
    const Bytes format = wave.WaveFormat();
    platform::FailingAudioCodec failing(platform::SystemAudioCodec(), GetParam().first);
    wave.Codec = &failing;
    try {
        wave.ConvertTo(2, 44100, 8);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), std::string("TWaveSound.Convert error: ") + GetParam().second + " file sea.wav");
    }
    EXPECT_TRUE(wave.WaveLoaded());
    EXPECT_EQ(wave.WaveFormat(), format);
    EXPECT_EQ(Bytes(wave.WaveData(), wave.WaveData() + wave.WaveDataSize()), data);
}

INSTANTIATE_TEST_SUITE_P(
    EverySteps, TWaveSoundConvertFailure,
    ::testing::Values(std::pair{platform::FailingAudioCodec::Step::Suggest, "acmFormatSuggest failed"},
                      std::pair{platform::FailingAudioCodec::Step::Open, "acmStreamOpen failed"},
                      std::pair{platform::FailingAudioCodec::Step::Size, "acmStreamSize failed"},
                      std::pair{platform::FailingAudioCodec::Step::Prepare, "acmStreamPrepareHeader failed"},
                      std::pair{platform::FailingAudioCodec::Step::Convert, "acmStreamConvert failed"}));

TEST(TWaveSoundConvert, LyingFormatsAreRefused) {
    auto convertError = [](const Bytes& fmt, const Bytes& data, uint16_t channels, uint16_t rate) {
        TWaveSound wave("x.wav");
        Load(wave, WaveFile(fmt, data));
        try {
            wave.ConvertTo(channels, rate, 16);
        } catch (const Exception& e) {
            EXPECT_TRUE(wave.WaveLoaded());
            return std::string(e.what());
        }
        return std::string("(converted)");
    };
    const std::string suggest = "TWaveSound.Convert error: acmFormatSuggest failed file x.wav";
    EXPECT_EQ(convertError(Fmt(1, 0, 22050, 16, 2), Bytes(8, 0), 1, 22050), suggest);   // no channels
    EXPECT_EQ(convertError(Fmt(1, 1, 1, 16), Bytes(8, 0), 1, 22050), suggest);          // 1 Hz
    EXPECT_EQ(convertError(Fmt(1, 1, 22050, 16, 3), Bytes(9, 0), 2, 22050), suggest);  // odd block align
    EXPECT_EQ(convertError(Fmt(1, 1, 22050, 12), Bytes(8, 0), 2, 22050), suggest);    // 12 bits
    EXPECT_EQ(convertError(Fmt(1, 1, 22050, 16), Bytes(8, 0), 0, 22050), suggest);    // to no channels
    // A second of 1 kHz 8-bit sound blown up to eight channels at 65 kHz
    // would take a gigabyte: refused before anything is allocated.
    EXPECT_EQ(convertError(Fmt(1, 1, 1000, 8), Bytes(1 << 20, 128), 8, 65000),
              "TWaveSound.Convert error: acmStreamSize failed file x.wav");
}
