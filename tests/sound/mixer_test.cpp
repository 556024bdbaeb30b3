#include "sound/mixer.h"

#include "sound/wave_builder.h"

#include <gtest/gtest.h>

using namespace wavetest;

namespace {

Bytes Mix16(std::initializer_list<std::pair<Bytes, int32_t>> sources, size_t samples) {
    std::vector<const uint8_t*> pointers;
    std::vector<int32_t> volumes;
    for (const auto& [bytes, volume] : sources) {
        pointers.push_back(bytes.data());
        volumes.push_back(volume);
    }
    Bytes out(samples * 2, 0xAA);
    MixSamples16(out.data(), int32_t(out.size()), pointers.data(), volumes.data(), int(pointers.size()));
    return out;
}

Bytes Mix8(std::initializer_list<std::pair<Bytes, int32_t>> sources, size_t bytes) {
    std::vector<const uint8_t*> pointers;
    std::vector<int32_t> volumes;
    for (const auto& [b, volume] : sources) {
        pointers.push_back(b.data());
        volumes.push_back(volume);
    }
    Bytes out(bytes, 0xAA);
    MixSamples8(out.data(), int32_t(out.size()), pointers.data(), volumes.data(), int(pointers.size()));
    return out;
}

TMixVoice Voice(const Bytes& data, int32_t volume = 100, bool looped = false) {
    TMixVoice v;
    v.Data = data.data();
    v.Size = int32_t(data.size());
    v.Volume = volume;
    v.Looped = looped;
    return v;
}

}  // namespace

TEST(MixSamples, SixteenBitSumSaturates) {
    const Bytes a = Samples16({30000, -30000, 20000, 100});
    const Bytes b = Samples16({30000, -30000, -5000, -300});
    EXPECT_EQ(Mix16({{a, 100}, {b, 100}}, 4), Samples16({32767, -32768, 15000, -200}));
}

TEST(MixSamples, EachTermTruncatesTowardZero) {
    // 16 bit: -1 * 50 / 100 is 0, not -1; two such terms still add to 0.
    const Bytes a = Samples16({-1, 1, -3, 199, -199});
    EXPECT_EQ(Mix16({{a, 50}}, 5), Samples16({0, 0, -1, 99, -99}));
    EXPECT_EQ(Mix16({{a, 50}, {a, 50}}, 5), Samples16({0, 0, -2, 198, -198}));
    // 8 bit: 127 is -1 about the middle, halved to 0, so it becomes 128.
    EXPECT_EQ(Mix8({{Bytes{127, 129, 125}, 50}}, 3), (Bytes{128, 128, 127}));
}

TEST(MixSamples, EightBitAtHalfVolumeMovesHalfwayToTheMiddle) {
    EXPECT_EQ(Mix8({{Bytes{228, 28, 128, 255, 0}, 50}}, 5), (Bytes{178, 78, 128, 191, 64}));
}

TEST(MixSamples, EightBitSumSaturates) {
    EXPECT_EQ(Mix8({{Bytes{250, 5}, 100}, {Bytes{250, 5}, 100}}, 2), (Bytes{255, 0}));
}

TEST(MixSamples, NoSourceIsSilence) {
    EXPECT_EQ(Mix16({}, 3), Samples16({0, 0, 0}));
    EXPECT_EQ(Mix8({}, 3), (Bytes{128, 128, 128}));
}

TEST(MixBlock, SoundEndingInsideTheBlockLeavesTheRestToTheOthers) {
    const Bytes shortOne = Samples16({1000, 1000});
    const Bytes longOne = Samples16({10, 20, 30, 40, 50, 60});
    TMixVoice a = Voice(shortOne), b = Voice(longOne);
    TMixVoice* voices[] = {&a, &b};
    Bytes out(10, 0xAA);
    MixBlock(out.data(), 10, 2, true, voices, 2);

    EXPECT_EQ(out, Samples16({1010, 1020, 30, 40, 50}));
    EXPECT_TRUE(a.Finished);
    EXPECT_FALSE(b.Finished);
    EXPECT_EQ(b.Position, 10);
}

TEST(MixBlock, LoopedSoundStartsOverAndOthersEndAtTheirEnd) {
    const Bytes loop = Samples16({1, 2, 3});
    const Bytes once = Samples16({100});
    TMixVoice a = Voice(loop, 100, true), b = Voice(once);
    TMixVoice* voices[] = {&a, &b};
    Bytes out(16, 0);
    MixBlock(out.data(), 16, 2, true, voices, 2);

    EXPECT_EQ(out, Samples16({101, 2, 3, 1, 2, 3, 1, 2}));
    EXPECT_FALSE(a.Finished);
    EXPECT_EQ(a.Position, 4);
    EXPECT_TRUE(b.Finished);
}

TEST(MixBlock, ContinuesWhereTheLastBlockStopped) {
    const Bytes data = Samples16({1, 2, 3, 4, 5, 6});
    TMixVoice a = Voice(data);
    TMixVoice* voices[] = {&a};
    Bytes first(4), second(4), third(4);
    MixBlock(first.data(), 4, 2, true, voices, 1);
    MixBlock(second.data(), 4, 2, true, voices, 1);
    MixBlock(third.data(), 4, 2, true, voices, 1);
    EXPECT_EQ(first, Samples16({1, 2}));
    EXPECT_EQ(second, Samples16({3, 4}));
    EXPECT_EQ(third, Samples16({5, 6}));
    EXPECT_TRUE(a.Finished);
}

TEST(MixBlock, EmptyOrPartialFrameVoicesFinishWithoutSpinning) {
    const Bytes none;
    const Bytes torn = {1, 2, 3};  // a frame and a half of 16-bit stereo... of mono: one frame and a byte
    TMixVoice empty = Voice(none, 100, true);
    TMixVoice partial = Voice(torn, 100, true);
    TMixVoice* voices[] = {&empty, &partial};
    Bytes out(8, 0xAA);
    MixBlock(out.data(), 8, 4, true, voices, 2);  // 16-bit stereo: 4-byte frames
    EXPECT_EQ(out, Samples16({0, 0, 0, 0}));
    EXPECT_TRUE(empty.Finished);
    EXPECT_TRUE(partial.Finished);
}

TEST(MixBlock, PlaysOnlyWholeFramesOfATornWave) {
    const Bytes torn = {0x10, 0x00, 0x20};  // one 16-bit sample and a stray byte
    TMixVoice v = Voice(torn, 100, true);
    TMixVoice* voices[] = {&v};
    Bytes out(6, 0xAA);
    MixBlock(out.data(), 6, 2, true, voices, 1);
    EXPECT_EQ(out, Samples16({16, 16, 16}));
}

TEST(MixBlock, EightBitBlockWithVolumes) {
    const Bytes a = {138, 118};
    TMixVoice v = Voice(a, 50, true);
    TMixVoice* voices[] = {&v};
    Bytes out(5, 0);
    MixBlock(out.data(), 5, 1, false, voices, 1);
    EXPECT_EQ(out, (Bytes{133, 123, 133, 123, 133}));
}

TEST(MixBlock, NeverMixesMoreThanEightVoices) {
    const Bytes one = Samples16({1000});
    std::vector<TMixVoice> v(9, Voice(one, 100, true));
    std::vector<TMixVoice*> voices;
    for (auto& x : v) voices.push_back(&x);
    Bytes out(2);
    MixBlock(out.data(), 2, 2, true, voices.data(), 9);
    EXPECT_EQ(out, Samples16({8000}));
    EXPECT_EQ(v[8].Position, 0);
}

TEST(MixBlock, VolumesOutsideTheRangeAreLimited) {
    const Bytes one = Samples16({1000});
    TMixVoice loud = Voice(one, 250, true), negative = Voice(one, -50, true);
    TMixVoice* voices[] = {&loud, &negative};
    Bytes out(2);
    MixBlock(out.data(), 2, 2, true, voices, 2);
    EXPECT_EQ(out, Samples16({1000}));
}
