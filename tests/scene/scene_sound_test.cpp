#include "scene/scene_sound.h"

#include "platform/null/audio_output_null.h"
#include "platform/resources.h"
#include "core/archive.h"
#include "core/errors.h"
#include "scene/loader.h"
#include "scene/registry.h"
#include "sound/wave_builder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <map>

using namespace wavetest;

namespace {

// The application's settings store, as plain values in memory.
class TestHost : public ISceneHost {
public:
    std::map<std::string, std::string> Values;

    std::string ReadString(const std::string& name, const std::string& defaultValue) override {
        auto it = Values.find(name);
        return it == Values.end() ? defaultValue : it->second;
    }
    bool ReadBool(const std::string& name, bool defaultValue) override {
        auto it = Values.find(name);
        return it == Values.end() ? defaultValue : it->second == "1";
    }
    int32_t ReadInteger(const std::string& name, int32_t defaultValue) override {
        auto it = Values.find(name);
        return it == Values.end() ? defaultValue : std::stoi(it->second);
    }
    void WriteString(const std::string& name, const std::string& value) override { Values[name] = value; }
    void WriteBool(const std::string& name, bool value) override { Values[name] = value ? "1" : "0"; }
    void WriteInteger(const std::string& name, int32_t value) override { Values[name] = std::to_string(value); }
};

class SceneSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = std::string(MARIVELLE_BUILD_DIR) + "/scene-sound-test/" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir + "/Scene");
        std::filesystem::create_directories(Dir + "/other");
        WriteFile(Dir + "/Scene/bubbles7.wav", WaveFile(Fmt(1, 1, 22050, 16), Tone16(700, 22050, 2205)));
        WriteFile(Dir + "/Scene/waves04.wav", WaveFile(Fmt(1, 1, 22050, 16), Tone16(300, 22050, 4410)));
        WriteFile(Dir + "/other/drip.wav", WaveFile(Fmt(1, 1, 22050, 16), Samples16({100, 200})));

        RegisterSoundClasses(TheClassRegistry());
        // Lists made by the loader use this test's device.
        TheClassRegistry().Register("TSceneSoundList", [this] {
            auto list = std::make_unique<TSceneSoundList>();
            list->Device = &Device;
            return std::unique_ptr<TMainObject>(std::move(list));
        });
        Scene.SetName("Scene");
        Scene.Application = &Host;
    }

    // The shipped scene's sound list; the keys given come first, and the
    // first of two equal keys counts.
    std::string Script(const std::string& listKeys = "", const std::string& soundKeys = "") {
        return "[Scene]\nCount=1\n"
               "[Scene1]\nType=TSceneSoundList\nName=Sounds\n" + listKeys +
               "ProcessOptions=[Render]\nVisible=1\n"
               "InitDevice=1\nRate=1\nBits=1\nChannels=1\nSoundVolume=100\nMusicVolume=100\n"
               "Path=" + Dir + "/Scene/\nCount=2\n"
               "[Sounds1]\nType=TSceneSound\nName=Bubbles Sound\n" + soundKeys +
               "FileName=bubbles7.wav\nLooped=1\n"
               "[Sounds2]\nType=TSceneSound\nName=Waves Sound\nFileName=waves04.wav\nLooped=1\n";
    }

    void Load(const std::string& text, bool fromArchive = false) {
        TResourceLoader loader;
        loader.Scene = &Scene;
        loader.Section = Scene.Name();
        loader.FromArchive = fromArchive;
        loader.OpenText(text);
        Scene.ReadProperties(loader);
        loader.LoadChildren(Scene);
    }

    TSceneSoundList* List() { return dynamic_cast<TSceneSoundList*>(Scene.FindObject("Sounds")); }
    TSceneSound* Sound(const std::string& name) {
        return dynamic_cast<TSceneSound*>(Scene.FindObject("Sounds/" + name));
    }

    // Drops the factory above, which points at this fixture's device.
    TClassRegistryGuard Registry;
    TResourceReaderGuard Reader;
    std::string Dir;
    platform::RecordingAudioOutput Output;
    TWinSoundDevice Device{Output};
    TestHost Host;
    TMainScene Scene;
};

}  // namespace

TEST_F(SceneSoundTest, LoadConfiguresTheDeviceAndMakesTheSounds) {
    Load(Script("SoundVolume=80\nMusicVolume=60\nRate=2\nBits=0\nChannels=2\n",
                "Music=1\nVolume=30\nPan=-20\n"));
    TSceneSoundList* list = List();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Device.Rate(), 44100);
    EXPECT_FALSE(Device.Bits16());
    EXPECT_EQ(Device.Channels(), 2);
    EXPECT_EQ(list->SoundVolume(), 80);
    EXPECT_EQ(list->MusicVolume(), 60);
    EXPECT_FALSE(Device.FromArchive);

    TSceneSound* bubbles = Sound("Bubbles Sound");
    TSceneSound* waves = Sound("Waves Sound");
    ASSERT_TRUE(bubbles && waves && bubbles->Sound() && waves->Sound());
    EXPECT_EQ(bubbles->Sound()->Wave()->WaveFileName, Dir + "/Scene/bubbles7.wav");
    EXPECT_TRUE(bubbles->Sound()->Looped());
    EXPECT_TRUE(bubbles->Sound()->Music());
    EXPECT_EQ(bubbles->Sound()->Volume(), 30);  // the Volume key wins over the music volume
    EXPECT_EQ(bubbles->Sound()->Pan(), -20);
    EXPECT_EQ(waves->Sound()->Volume(), 80);  // the sound volume of the device
    EXPECT_EQ(waves->Sound()->Wave()->BitsPerSample(), 8);
    EXPECT_EQ(Device.PlayingCount(), 0);  // nothing plays before the first frame
}

TEST_F(SceneSoundTest, WithoutInitDeviceTheDeviceKeepsItsFormat) {
    Device.SetFormat(0, false, 1);
    Load(Script("InitDevice=0\nRate=2\n"));
    EXPECT_EQ(Device.Rate(), 11025);
    EXPECT_FALSE(Device.Bits16());
    EXPECT_EQ(Sound("Waves Sound")->Sound()->Wave()->SamplesPerSec(), 11025u);
}

TEST_F(SceneSoundTest, FileNameWithADirectoryIgnoresThePath) {
    Load(Script("", "FileName=" + Dir + "/other/drip.wav\n"));
    EXPECT_EQ(Sound("Bubbles Sound")->Sound()->Wave()->WaveFileName, Dir + "/other/drip.wav");
}

TEST_F(SceneSoundTest, WavesComeFromTheArchiveWhenTheSceneDoes) {
    const Bytes file = WaveFile(Fmt(1, 1, 22050, 16), Samples16({1, 2, 3}));
    RegisterRawResource("bubbles7_wav", file.data(), file.size());
    RegisterRawResource("waves04_wav", file.data(), file.size());
    TheResourceReader().Mode = 2;
    Load(Script(), true);
    UnregisterRawResource("bubbles7_wav");
    UnregisterRawResource("waves04_wav");

    EXPECT_TRUE(Device.FromArchive);
    EXPECT_EQ(Sound("Waves Sound")->Sound()->Wave()->WaveDataSize(), 6);
}

TEST_F(SceneSoundTest, MissingWaveFileFailsTheLoad) {
    try {
        Load(Script("", "FileName=nothing.wav\n"));
        FAIL() << "loaded";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "TWaveSound.LoadFromFile error: file " + Dir + "/Scene/nothing.wav is not open");
    }
}

TEST_F(SceneSoundTest, FramesKeepVisibleSoundsPlayingAndTheOutputOpenWhileAnyPlays) {
    // Longer than the 33 buffers queued at once.
    WriteFile(Dir + "/Scene/bubbles7.wav", WaveFile(Fmt(1, 1, 22050, 16), Tone16(700, 22050, 6000)));
    Load(Script("", "Looped=0\n"));
    TSceneSoundList* list = List();
    TSceneSound* bubbles = Sound("Bubbles Sound");
    TSceneSound* waves = Sound("Waves Sound");
    waves->SetVisible(false);

    list->Render();
    EXPECT_TRUE(bubbles->Sound()->Playing());
    EXPECT_FALSE(waves->Sound()->Playing());
    EXPECT_TRUE(Device.DeviceActive());
    EXPECT_TRUE(Output.IsOpen());

    // 6000 samples: over within 47 buffers; the next frame starts it again.
    Output.Consume(40);
    EXPECT_FALSE(bubbles->Sound()->Playing());
    list->Render();
    EXPECT_TRUE(bubbles->Sound()->Playing());

    bubbles->SetVisible(false);
    EXPECT_FALSE(bubbles->Sound()->Playing());
    list->Render();
    EXPECT_FALSE(Device.DeviceActive());
    EXPECT_FALSE(Output.IsOpen());
}

TEST_F(SceneSoundTest, AFreedSceneLeavesNothingPlaying) {
    Load(Script());
    List()->Render();
    ASSERT_EQ(Device.SoundInstances().size(), 2u);
    ASSERT_GT(Device.PlayingCount(), 0);
    Scene.FreeAll();
    EXPECT_EQ(Device.SoundInstances().size(), 0u);
    EXPECT_EQ(Device.PlayingCount(), 0);
}

TEST_F(SceneSoundTest, SettingsLoadIntoTheDeviceAndTheSounds) {
    Load(Script());
    Host.Values = {{"Sounds SoundVolume", "70"}, {"Sounds MusicVolume", "20"}, {"Sounds Active", "0"},
                   {"Bubbles SoundPlayed", "0"}, {"Bubbles SoundVolume", "45"}, {"Bubbles SoundPan", "9"},
                   {"Waves SoundPan", "-3"}};
    List()->Render();
    ASSERT_TRUE(Device.DeviceActive());
    Scene.LoadSettings();

    EXPECT_EQ(Device.SoundVolume(), 70);
    EXPECT_EQ(Device.MusicVolume(), 20);
    EXPECT_FALSE(Device.DeviceActive());  // switched off by the setting...
    TSceneSound* bubbles = Sound("Bubbles Sound");
    TSceneSound* waves = Sound("Waves Sound");
    EXPECT_FALSE(bubbles->Visible());
    EXPECT_FALSE(bubbles->Sound()->Playing());
    EXPECT_EQ(bubbles->Sound()->Volume(), 45);
    EXPECT_EQ(bubbles->Sound()->Pan(), 9);
    EXPECT_TRUE(waves->Visible());
    EXPECT_EQ(waves->Sound()->Volume(), 70);  // absent: what the device volume gave it
    EXPECT_EQ(waves->Sound()->Pan(), -3);

    List()->Render();
    EXPECT_TRUE(Device.DeviceActive());  // ...and on again while a visible sound plays
}

TEST_F(SceneSoundTest, SettingsSaveTheCurrentState) {
    Load(Script());
    Sound("Waves Sound")->SetVisible(false);
    Sound("Bubbles Sound")->Sound()->SetPan(12);
    Device.SetMusicVolume(33);
    List()->Render();
    Scene.SaveSettings();
    EXPECT_EQ(Host.Values["Sounds SoundVolume"], "100");
    EXPECT_EQ(Host.Values["Sounds MusicVolume"], "33");
    EXPECT_EQ(Host.Values["Sounds Active"], "1");
    EXPECT_EQ(Host.Values["Bubbles SoundPlayed"], "1");
    EXPECT_EQ(Host.Values["Bubbles SoundVolume"], "100");
    EXPECT_EQ(Host.Values["Bubbles SoundPan"], "12");
    EXPECT_EQ(Host.Values["Waves SoundPlayed"], "0");
}

TEST_F(SceneSoundTest, DisabledDeviceMakesNoInstancesButKeepsTheKeys) {
    Output.FailOpen = true;
    Device.SetActive(true);
    ASSERT_FALSE(Device.DeviceEnabled());
    // No InitDevice: that would enable the device again.
    Load(Script("InitDevice=0\n", "Volume=42\nPan=5\n"));
    TSceneSound* bubbles = Sound("Bubbles Sound");
    EXPECT_EQ(bubbles->Sound(), nullptr);
    List()->Render();  // nothing to play, nothing raised
    Scene.SaveSettings();
    EXPECT_EQ(Host.Values["Bubbles SoundVolume"], "0");

    TResourceLoader writer;
    writer.Section = "Out";
    writer.CreateForWriting();
    bubbles->WriteProperties(writer);
    EXPECT_EQ(*writer.Script()->Value("Out", "Volume"), "42");
    EXPECT_EQ(*writer.Script()->Value("Out", "Pan"), "5");
    EXPECT_EQ(*writer.Script()->Value("Out", "Looped"), "1");
}

TEST_F(SceneSoundTest, KeysAreWrittenInTheirOrder) {
    Load(Script());
    TResourceLoader writer;
    writer.Section = "Out";
    writer.CreateForWriting();
    List()->WriteProperties(writer);
    std::vector<std::string> keys;
    for (const auto& line : writer.Script()->Sections().front().Lines) keys.push_back(line.Key);
    const std::vector<std::string> own = {"InitDevice", "Rate", "Bits", "Channels", "SoundVolume", "MusicVolume"};
    ASSERT_GE(keys.size(), own.size());
    EXPECT_EQ(std::vector<std::string>(keys.end() - long(own.size()), keys.end()), own);

    TResourceLoader soundWriter;
    soundWriter.Section = "Out";
    soundWriter.CreateForWriting();
    Sound("Waves Sound")->SetVisible(false);
    Sound("Waves Sound")->WriteProperties(soundWriter);
    keys.clear();
    for (const auto& line : soundWriter.Script()->Sections().front().Lines) keys.push_back(line.Key);
    EXPECT_EQ(keys, (std::vector<std::string>{"FileName", "Looped", "Music", "Volume", "Pan", "Visible"}));
}

TEST_F(SceneSoundTest, FramesWhileTheMixerStopsSoundsOnItsThread) {
    WriteFile(Dir + "/Scene/bubbles7.wav", WaveFile(Fmt(1, 1, 22050, 16), Tone16(700, 22050, 300)));
    Load(Script("", "Looped=0\n"));
    std::atomic<int> stops{0};
    Sound("Bubbles Sound")->Sound()->OnStop = [&](TCustomSound&) { ++stops; };
    TSceneSoundList* list = List();
    list->Render();
    Output.StartPlayer();
    // Each frame restarts the sound the mixer has just ended.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (stops < 20 && std::chrono::steady_clock::now() < giveUp) {
        list->Render();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    Output.StopPlayer();
    EXPECT_EQ(stops.load(), 20);
    Device.StopAll();
    EXPECT_EQ(Device.PlayingCount(), 0);
}
