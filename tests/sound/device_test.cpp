#include "sound/device.h"

#include "platform/null/audio_output_null.h"
#include "platform/resources.h"
#include "core/archive.h"
#include "core/errors.h"
#include "sound/wave_builder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <random>

using namespace wavetest;

namespace {

class SoundDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = std::string(MARIVELLE_BUILD_DIR) + "/sound-device-test/" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
    }

    std::string Wave(const std::string& name, const Bytes& fmt, const Bytes& data) {
        const std::string path = Dir + "/" + name;
        WriteFile(path, WaveFile(fmt, data));
        return path;
    }
    // 22050 Hz 16-bit mono: the device's own format, so nothing is converted.
    std::string Wave16(const std::string& name, const Bytes& data) {
        return Wave(name, Fmt(1, 1, 22050, 16), data);
    }
    TCustomSound* Sound(const std::string& path) { return Device->CreateSound(path); }

    std::vector<double> Played() { return Channel16(Output.Played()); }

    std::string Dir;
    platform::RecordingAudioOutput Output;
    std::unique_ptr<TWinSoundDevice> Device = std::make_unique<TWinSoundDevice>(Output);
};

// 128 samples per buffer at 22050 Hz, 16-bit mono.
constexpr size_t BufferSamples = 128;

}  // namespace

// ---------------------------------------------------------------------------
// Settings and the wave cache

TEST_F(SoundDeviceTest, StartsEnabledInactiveAt22050Hz16BitMono) {
    EXPECT_TRUE(Device->DeviceEnabled());
    EXPECT_FALSE(Device->DeviceActive());
    EXPECT_EQ(Device->Rate(), 22050);
    EXPECT_EQ(Device->BitsPerSample(), 16);
    EXPECT_EQ(Device->Channels(), 1);
    EXPECT_EQ(Device->SoundVolume(), 100);
    EXPECT_EQ(Device->MusicVolume(), 100);
    EXPECT_EQ(Device->PlayingCount(), 0);
    EXPECT_EQ(Device->OutputFormat(), Fmt(1, 1, 22050, 16, 0, true));
}

TEST_F(SoundDeviceTest, RateIndexChoosesTheRate) {
    Device->SetFormat(0, true, 1);
    EXPECT_EQ(Device->Rate(), 11025);
    Device->SetFormat(2, true, 1);
    EXPECT_EQ(Device->Rate(), 44100);
    Device->SetFormat(7, false, 2);
    EXPECT_EQ(Device->Rate(), 22050);
    EXPECT_EQ(Device->OutputFormat(), Fmt(1, 2, 22050, 8, 0, true));
}

TEST_F(SoundDeviceTest, WavesAreCachedByNameWithoutPathAndShared) {
    const std::string path = Wave16("Tone.wav", Samples16({1, 2, 3}));
    TCustomSound* a = Device->CreateSound(path);
    TCustomSound* b = Device->CreateSound(Dir + "/../elsewhere/TONE.WAV");  // never read from disk
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->Wave(), b->Wave());
    EXPECT_EQ(Device->WaveCacheCount(), 1u);
    EXPECT_EQ(Device->SoundInstances().size(), 2u);
    EXPECT_EQ(a->Volume(), 100);
}

TEST_F(SoundDeviceTest, WavesAreConvertedToTheDeviceFormat) {
    const std::string path = Wave("stereo.wav", Fmt(1, 2, 44100, 8), Bytes(400, 128));
    TCustomSound* sound = Device->CreateSound(path);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->Wave()->Channels(), 1);
    EXPECT_EQ(sound->Wave()->SamplesPerSec(), 22050u);
    EXPECT_EQ(sound->Wave()->BitsPerSample(), 16);
}

TEST_F(SoundDeviceTest, MissingWaveFileRaisesAndIsNotCached) {
    EXPECT_EQ(ErrorOf([&] { Device->CreateSound(Dir + "/none.wav"); }),
              "TWaveSound.LoadFromFile error: file " + Dir + "/none.wav is not open");
    EXPECT_EQ(Device->WaveCacheCount(), 0u);
    EXPECT_TRUE(Device->SoundInstances().empty());
}

TEST_F(SoundDeviceTest, WavesFromTheArchive) {
    const Bytes file = WaveFile(Fmt(1, 1, 22050, 16), Samples16({4, 5, 6}));
    RegisterRawResource("archtone_wav", file.data(), file.size());
    TResourceReaderGuard restore;
    TheResourceReader().Mode = 2;
    Device->FromArchive = true;

    TCustomSound* found = Device->CreateSound(".\\Scene\\archtone.wav");
    TCustomSound* missing = Device->CreateSound(".\\Scene\\absent.wav");
    UnregisterRawResource("archtone_wav");

    ASSERT_TRUE(found && missing);
    EXPECT_EQ(found->Wave()->WaveDataSize(), 6);
    // A missing entry leaves the wave empty, and an empty wave never plays.
    EXPECT_FALSE(missing->Wave()->WaveLoaded());
    missing->Play();
    EXPECT_FALSE(missing->Playing());
}

TEST_F(SoundDeviceTest, VolumesAreLimitedAndReachTheirClassOfSounds) {
    const std::string path = Wave16("a.wav", Samples16({1}));
    auto* effect = Sound(path);
    auto* music = Sound(path);
    music->SetMusic(true);

    Device->SetSoundVolume(150);
    EXPECT_EQ(Device->SoundVolume(), 100);
    Device->SetSoundVolume(40);
    Device->SetMusicVolume(-5);
    EXPECT_EQ(Device->MusicVolume(), 0);
    EXPECT_EQ(effect->Volume(), 40);
    EXPECT_EQ(music->Volume(), 0);

    Device->SetMusicVolume(70);
    EXPECT_EQ(effect->Volume(), 40);
    EXPECT_EQ(music->Volume(), 70);

    effect->SetVolume(150);
    EXPECT_EQ(effect->Volume(), 150);
    EXPECT_EQ(effect->EffectiveVolume(), 100);
    effect->SetVolume(-20);
    EXPECT_EQ(effect->EffectiveVolume(), 0);
    effect->SetMusic(true);
    EXPECT_EQ(effect->Volume(), 70);
}

// ---------------------------------------------------------------------------
// Playing

TEST_F(SoundDeviceTest, PlayedSoundIsMixedIntoTheQueuedBuffers) {
    std::vector<int> samples;
    for (int i = 0; i < 300; ++i) samples.push_back(i * 10 - 1500);
    Bytes data;
    for (int s : samples) Put16(data, uint16_t(int16_t(s)));
    auto* sound = Sound(Wave16("ramp.wav", data));
    int stops = 0;
    sound->OnStop = [&](TCustomSound&) { ++stops; };
    sound->Play();
    Device->SetActive(true);

    EXPECT_EQ(Output.Queued(), 33u);
    EXPECT_EQ(Output.BufferBytes(), 256u);
    EXPECT_EQ(Device->QueuedCount(), 33);
    EXPECT_EQ(Device->CurrentBuffer(), 0);  // 33 fills went all the way round
    // It ended inside the third buffer while the ring was being filled.
    EXPECT_FALSE(sound->Playing());
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(Device->PlayingCount(), 0);

    EXPECT_EQ(Output.Consume(33), 33u);
    const auto played = Played();
    ASSERT_EQ(played.size(), 33 * BufferSamples);
    for (size_t i = 0; i < played.size(); ++i)
        ASSERT_EQ(played[i], i < samples.size() ? samples[i] : 0) << i;
}

TEST_F(SoundDeviceTest, EveryBufferTakenIsRefilledAndQueuedAgain) {
    auto* sound = Sound(Wave16("c.wav", Samples16({1000, 1000})));
    sound->SetLooped(true);
    sound->Play();
    Device->SetActive(true);
    EXPECT_EQ(Output.Consume(5), 5u);
    EXPECT_EQ(Output.Writes(), 38u);
    EXPECT_EQ(Output.Queued(), 33u);
    EXPECT_EQ(Device->CurrentBuffer(), 5);
    EXPECT_EQ(Device->QueuedCount(), 33);
}

TEST_F(SoundDeviceTest, LoopedSoundRepeatsAcrossBuffers) {
    // 100 samples do not divide the 128-sample buffers.
    Bytes data;
    for (int i = 0; i < 100; ++i) Put16(data, uint16_t(int16_t(i * 7)));
    auto* sound = Sound(Wave16("loop.wav", data));
    sound->SetLooped(true);
    sound->SetVolume(50);
    sound->Play();
    Device->SetActive(true);
    Output.Consume(40);

    const auto played = Played();
    ASSERT_EQ(played.size(), 40 * BufferSamples);
    for (size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], double((i % 100) * 7 * 50 / 100)) << i;
    EXPECT_TRUE(sound->Playing());
    EXPECT_EQ(sound->PlayPosition(), int32_t((40 + 33) * BufferSamples % 100 * 2));
    EXPECT_EQ(sound->PlayPointer(), sound->Wave()->WaveData() + sound->PlayPosition());
}

TEST_F(SoundDeviceTest, VolumeChangesReachTheBuffersFilledAfterThem) {
    auto* sound = Sound(Wave16("c.wav", Samples16({1000, 1000})));
    sound->SetLooped(true);
    sound->Play();
    Device->SetActive(true);
    sound->SetVolume(50);
    Output.Consume(33);  // filled before the change
    Output.Consume(33);  // refilled after it
    const auto played = Played();
    EXPECT_EQ(played.front(), 1000);
    EXPECT_EQ(played[33 * BufferSamples - 1], 1000);
    EXPECT_EQ(played[33 * BufferSamples], 500);
    EXPECT_EQ(played.back(), 500);
}

TEST_F(SoundDeviceTest, TwoLoudSoundsSaturate) {
    const std::string path = Wave16("loud.wav", Samples16({30000, -30000}));
    auto* a = Sound(path);
    auto* b = Sound(path);
    a->SetLooped(true);
    b->SetLooped(true);
    a->Play();
    b->Play();
    Device->SetActive(true);
    Output.Consume(1);
    const auto played = Played();
    EXPECT_EQ(played[0], 32767);
    EXPECT_EQ(played[1], -32768);
}

TEST_F(SoundDeviceTest, EightBitOutputAtHalfVolume) {
    Device->SetFormat(1, false, 1);
    auto* sound = Sound(Wave("b.wav", Fmt(1, 1, 22050, 8), Bytes{228, 28}));
    sound->SetLooped(true);
    sound->SetVolume(50);
    sound->Play();
    Device->SetActive(true);
    EXPECT_EQ(Output.BufferBytes(), 128u);
    Output.Consume(1);
    const Bytes played = Output.Played();
    ASSERT_EQ(played.size(), 128u);
    for (size_t i = 0; i < played.size(); ++i) ASSERT_EQ(played[i], i % 2 ? 78 : 178);
}

TEST_F(SoundDeviceTest, NinthSoundDoesNotStart) {
    const std::string path = Wave16("n.wav", Samples16({1, 2}));
    std::vector<TCustomSound*> sounds;
    int plays = 0;
    for (int i = 0; i < 9; ++i) {
        sounds.push_back(Device->CreateSound(path));
        sounds.back()->OnPlay = [&](TCustomSound&) { ++plays; };
    }
    for (auto* s : sounds) s->Play();
    EXPECT_EQ(Device->PlayingCount(), 8);
    EXPECT_EQ(Device->PlayingListCount(), 8);
    EXPECT_EQ(plays, 8);
    EXPECT_FALSE(sounds[8]->Playing());

    sounds[3]->Stop();
    sounds[8]->Play();
    EXPECT_TRUE(sounds[8]->Playing());
    EXPECT_EQ(Device->PlayingSound(7), sounds[8]);
}

TEST_F(SoundDeviceTest, PlayAndStopAreIdempotent) {
    auto* sound = Sound(Wave16("p.wav", Samples16({1, 2})));
    int plays = 0, stops = 0;
    sound->OnPlay = [&](TCustomSound&) { ++plays; };
    sound->OnStop = [&](TCustomSound&) { ++stops; };
    sound->Stop();
    sound->Play();
    sound->Play();
    EXPECT_EQ(Device->PlayingCount(), 1);
    sound->Stop();
    sound->Stop();
    EXPECT_EQ(plays, 1);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(Device->PlayingCount(), 0);
}

TEST_F(SoundDeviceTest, EmptyWaveNeverPlaysEvenLooped) {
    auto* empty = Sound(Wave16("empty.wav", Bytes{}));
    auto* torn = Sound(Wave16("torn.wav", Bytes{1}));  // half a sample
    empty->SetLooped(true);
    torn->SetLooped(true);
    empty->Play();
    torn->Play();
    EXPECT_FALSE(empty->Playing());
    EXPECT_FALSE(torn->Playing());
    Device->SetActive(true);
    Output.Consume(2);
    EXPECT_EQ(Played(), std::vector<double>(2 * BufferSamples, 0.0));
}

TEST_F(SoundDeviceTest, StopAllStopsTheLastFirst) {
    const std::string path = Wave16("s.wav", Samples16({1, 2}));
    std::vector<int> order;
    for (int i = 0; i < 3; ++i) {
        TCustomSound* s = Device->CreateSound(path);
        s->OnStop = [&order, i](TCustomSound&) { order.push_back(i); };
        s->Play();
    }
    Device->StopAll();
    EXPECT_EQ(order, (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(Device->PlayingCount(), 0);
}

TEST_F(SoundDeviceTest, FreeingAPlayingSoundTakesItOutOfTheMix) {
    auto* sound = Sound(Wave16("f.wav", Samples16({500, 500})));
    sound->SetLooped(true);
    sound->Play();
    Device->FreeSound(sound);
    EXPECT_TRUE(Device->SoundInstances().empty());
    EXPECT_EQ(Device->PlayingCount(), 0);
    Device->SetActive(true);
    Output.Consume(1);
    EXPECT_EQ(Played(), std::vector<double>(BufferSamples, 0.0));
}

// ---------------------------------------------------------------------------
// Reloading waves under playing sounds

TEST_F(SoundDeviceTest, NewFormatStopsSoundsAndReloadsWavesBeforeMixingAgain) {
    auto* sound = Sound(Wave16("r.wav", Tone16(1000, 22050, 2205)));
    sound->SetLooped(true);
    sound->Play();
    Device->SetActive(true);
    const uint8_t* oldData = sound->Wave()->WaveData();
    Output.Consume(3);

    Device->SetFormat(2, true, 2);
    EXPECT_FALSE(sound->Playing());
    EXPECT_EQ(Device->PlayingCount(), 0);
    EXPECT_EQ(Output.Opens(), 2);
    EXPECT_EQ(Output.OpenedFormat().SamplesPerSec, 44100u);
    EXPECT_EQ(Output.OpenedFormat().Channels, 2);
    EXPECT_EQ(Output.BufferBytes(), 1024u);
    EXPECT_EQ(sound->Wave()->SamplesPerSec(), 44100u);
    EXPECT_EQ(sound->Wave()->Channels(), 2);

    sound->Play();
    EXPECT_NE(sound->Wave()->WaveData(), oldData);
    EXPECT_EQ(sound->PlayPointer(), sound->Wave()->WaveData());
    Output.ClearPlayed();
    Output.Consume(40);
    const Bytes played = Output.Played();
    const auto left = Channel16(played, 0, 2);
    EXPECT_NEAR(MeasuredFrequency(std::vector<double>(left.begin() + 33 * 256, left.end()), 44100), 1000, 5);
}

TEST_F(SoundDeviceTest, ReloadingAWaveStopsItsSounds) {
    const std::string path = Wave16("w.wav", Samples16({1, 2}));
    auto* a = Sound(path);
    auto* other = Sound(Wave16("o.wav", Samples16({3, 4})));
    a->Play();
    other->Play();
    Device->LoadWave(*a->Wave());
    EXPECT_FALSE(a->Playing());
    EXPECT_TRUE(other->Playing());
}

// ---------------------------------------------------------------------------
// Output failures

TEST_F(SoundDeviceTest, NoOutputDisablesTheDeviceSilently) {
    Output.FailOpen = true;
    auto* sound = Sound(Wave16("x.wav", Samples16({1, 2})));
    sound->Play();
    EXPECT_NO_THROW(Device->SetActive(true));
    EXPECT_FALSE(Device->DeviceEnabled());
    EXPECT_FALSE(Device->DeviceActive());
    EXPECT_EQ(Device->CreateSound(Dir + "/x.wav"), nullptr);
    // The scene keeps asking every frame; nothing is raised or opened.
    for (int i = 0; i < 3; ++i) EXPECT_NO_THROW(Device->SetActive(true));
    EXPECT_FALSE(Device->DeviceEnabled());
    EXPECT_EQ(Output.Opens(), 0);

    // A new format enables it again.
    Output.FailOpen = false;
    Device->SetFormat(1, true, 1);
    EXPECT_TRUE(Device->DeviceEnabled());
}

TEST_F(SoundDeviceTest, ActivateErrors) {
    Output.FailOpen = true;
    EXPECT_EQ(ErrorOf([&] { Device->Activate(); }), "TWinSoundDevice.Activate error: waveOutOpen failed");
    Output.FailOpen = false;
    Output.FailPrepare = true;
    EXPECT_EQ(ErrorOf([&] { Device->Activate(); }), "TWinSoundDevice.Activate error: waveOutPrepareHeader failed");
    EXPECT_FALSE(Output.IsOpen());
    EXPECT_EQ(Output.PreparedCount(), 0u);
}

TEST_F(SoundDeviceTest, DeactivateErrorsStillCloseTheOutput) {
    struct Case {
        bool platform::RecordingAudioOutput::*Fail;
        const char* Text;
    };
    const Case cases[] = {
        {&platform::RecordingAudioOutput::FailReset, "TWinSoundDevice.Deactivate error: waveOutReset failed"},
        {&platform::RecordingAudioOutput::FailUnprepare,
         "TWinSoundDevice.Deactivate error: waveOutUnprepareHeader failed"},
    };
    for (const Case& c : cases) {
        Device->Activate();
        Output.*c.Fail = true;
        EXPECT_EQ(ErrorOf([&] { Device->Deactivate(); }), c.Text);
        Output.*c.Fail = false;
        EXPECT_FALSE(Output.IsOpen());
    }
    Device->Activate();
    Output.FailClose = true;
    EXPECT_EQ(ErrorOf([&] { Device->Deactivate(); }), "TWinSoundDevice.Deactivate error: waveOutClose failed");
    Output.FailClose = false;
    EXPECT_NO_THROW(Output.Close());
}

TEST_F(SoundDeviceTest, CloseFailureDisablesTheDevice) {
    Device->SetActive(true);
    Output.FailReset = true;
    EXPECT_NO_THROW(Device->SetActive(false));
    EXPECT_FALSE(Device->DeviceEnabled());
    EXPECT_FALSE(Device->DeviceActive());
    EXPECT_FALSE(Output.IsOpen());
}

TEST_F(SoundDeviceTest, PauseAndResume) {
    EXPECT_EQ(ErrorOf([&] { Device->Pause(); }), "TWinSoundDevice.Pause error: waveOutPause failed");
    EXPECT_TRUE(Device->DevicePaused());
    EXPECT_EQ(ErrorOf([&] { Device->Resume(); }), "TWinSoundDevice.Resume error: waveOutRestart failed");

    Device->SetActive(true);
    Device->Pause();
    EXPECT_TRUE(Output.Paused());
    EXPECT_EQ(Output.Consume(1), 0u);
    Device->Resume();
    EXPECT_FALSE(Device->DevicePaused());
    EXPECT_EQ(Output.Consume(1), 1u);

    Output.FailRestart = true;
    EXPECT_EQ(ErrorOf([&] { Device->Resume(); }), "TWinSoundDevice.Resume error: waveOutRestart failed");
}

TEST_F(SoundDeviceTest, ClosingTheOutputReleasesEveryBuffer) {
    Device->SetActive(true);
    EXPECT_EQ(Output.PreparedCount(), 33u);
    Device->SetActive(false);
    EXPECT_FALSE(Output.IsOpen());
    EXPECT_EQ(Output.PreparedCount(), 0u);
    EXPECT_EQ(Device->QueuedCount(), 0);
    Device->SetActive(true);
    EXPECT_EQ(Output.Opens(), 2);
}

// ---------------------------------------------------------------------------
// Threads

TEST_F(SoundDeviceTest, SoundEndingInTheMixFiresOnStopOnTheMainThreadWhenDelivered) {
    auto* sound = Sound(Wave16("e.wav", Tone16(500, 22050, 22050 / 10)));
    std::vector<std::thread::id> threads;
    sound->OnStop = [&](TCustomSound& s) {
        threads.push_back(std::this_thread::get_id());
        // Starting again from the handler is allowed.
        if (threads.size() < 3) s.Play();
    };
    Device->SetActive(true);
    Output.StartPlayer();
    sound->Play();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (sound->Playing() && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
    ASSERT_FALSE(sound->Playing());
    EXPECT_TRUE(threads.empty()) << "OnStop fired before the main thread asked for it";
    while (threads.size() < 3 && std::chrono::steady_clock::now() < giveUp) {
        Device->DeliverEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Output.StopPlayer();
    ASSERT_EQ(threads.size(), 3u);
    for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(Device->PlayingCount(), 0);
}

TEST_F(SoundDeviceTest, MainThreadAndMixerShareTheSoundsSafely) {
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i)
        paths.push_back(Wave16("t" + std::to_string(i) + ".wav", Tone16(300 + 100 * i, 22050, 50 + 97 * i)));
    std::atomic<int> plays{0}, stops{0};
    std::vector<TCustomSound*> sounds;
    for (int i = 0; i < 12; ++i) {
        TCustomSound* s = Device->CreateSound(paths[size_t(i) % paths.size()]);
        s->OnPlay = [&](TCustomSound&) { ++plays; };
        s->OnStop = [&](TCustomSound&) { ++stops; };
        sounds.push_back(s);
    }
    Device->SetActive(true);
    Output.StartPlayer();
    std::mt19937 random(7);
    for (int step = 0; step < 20000; ++step) {
        TCustomSound* s = sounds[random() % sounds.size()];
        switch (random() % 5) {
            case 0:
            case 1: s->Play(); break;
            case 2: s->Stop(); break;
            case 3: s->SetVolume(int32_t(random() % 120)); break;
            case 4: s->SetLooped(random() % 2); break;
        }
        ASSERT_LE(Device->PlayingCount(), 8);
    }
    Device->SetFormat(2, true, 1);  // reopen and reload under the running mixer
    for (auto* s : sounds) s->Play();
    Device->FreeSound(sounds.back());
    Device->StopAll();
    Output.StopPlayer();

    EXPECT_EQ(Device->PlayingCount(), 0);
    EXPECT_EQ(Device->PlayingListCount(), 0);
    EXPECT_EQ(plays.load(), stops.load());
    EXPECT_GT(Output.Writes(), 33u);
}

TEST_F(SoundDeviceTest, DestroyedWhilePlaying) {
    auto* sound = Sound(Wave16("d.wav", Samples16({100, 200})));
    sound->SetLooped(true);
    sound->Play();
    Device->SetActive(true);
    Output.StartPlayer();
    Device.reset();
    Output.StopPlayer();
    EXPECT_FALSE(Output.IsOpen());
    EXPECT_EQ(Output.Closes(), 1);
}

TEST(SoundDevice, IsOneForTheProcess) { EXPECT_EQ(&SoundDevice(), &SoundDevice()); }

TEST_F(SoundDeviceTest, EventsSetOnTheMainThreadWhileTheMixerEndsSounds) {
    // Four samples: the sound ends in the first buffer the player takes.
    auto* sound = Sound(Wave16("blip.wav", Samples16({300, 300, 300, 300})));
    Device->SetActive(true);
    Output.StartPlayer();
    const auto main = std::this_thread::get_id();
    int plays = 0, stops = 0, elsewhere = 0;  // main thread only
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (stops < 200 && std::chrono::steady_clock::now() < deadline) {
        sound->OnPlay = [&](TCustomSound&) { ++plays; };
        sound->OnStop = [&](TCustomSound&) {
            ++stops;
            if (std::this_thread::get_id() != main) ++elsewhere;
        };
        sound->Play();
        Device->DeliverEvents();
        std::this_thread::yield();
    }
    Output.StopPlayer();
    Device->DeliverEvents();
    EXPECT_GE(stops, 200);
    EXPECT_EQ(elsewhere, 0);
    EXPECT_EQ(plays - stops, sound->Playing() ? 1 : 0);
}
