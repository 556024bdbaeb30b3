// End to end: the sound device plays through ALSA's "default" PCM into a
// PulseAudio server of our own with a null sink, and the sink's monitor is
// recorded. Needs the pulseaudio and pulseaudio-utils packages and the ALSA
// pulse plugin (libasound2-plugins); without them the test fails and says so.
#include "platform/audio_output.h"
#include "core/archive.h"
#include "sound/device.h"
#include "sound/wave_builder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

extern char** environ;

using namespace wavetest;
using namespace std::chrono_literals;

namespace {

constexpr const char* SinkName = "marivelle_test";
constexpr uint32_t RecordRate = 22050;

// A child process with its output sent to files; ended when it goes.
class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { Stop(SIGTERM); }

    bool Start(const std::vector<std::string>& args, const std::string& out, const std::string& err) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = posix_spawnp(&Pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) Pid = -1;
        return Pid > 0;
    }

    bool Running() {
        if (Pid <= 0) return false;
        int status;
        if (waitpid(Pid, &status, WNOHANG) == Pid) {
            Pid = -1;
            ExitStatus = status;
            return false;
        }
        return true;
    }

    // Waits for the end; the exit status, or -1 when it did not end in time.
    int Wait(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (Running()) {
            if (std::chrono::steady_clock::now() > until) return -1;
            std::this_thread::sleep_for(10ms);
        }
        return ExitStatus;
    }

    void Stop(int signal) {
        if (!Running()) return;
        kill(Pid, signal);
        if (Wait(5000ms) == -1) {
            kill(Pid, SIGKILL);
            Wait(5000ms);
        }
    }

private:
    pid_t Pid = -1;
    int ExitStatus = 0;
};

std::string ReadText(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class PulseTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = std::string(MARIVELLE_BUILD_DIR) + "/pulse-test-" + std::to_string(getpid());
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir + "/home");
        std::filesystem::create_directories(Dir + "/run");
        std::filesystem::permissions(Dir + "/run", std::filesystem::perms::owner_all);
        std::ofstream(Dir + "/client.conf") << "autospawn = no\n";
        // Everything the server and its clients look at stays in our folder,
        // so the test neither meets nor disturbs a desktop's sound server.
        // The guards put the caller's values back when the test ends.
        SetEnv("HOME", Dir + "/home");
        SetEnv("XDG_RUNTIME_DIR", Dir + "/run");
        SetEnv("XDG_CONFIG_HOME", Dir + "/home/.config");
        SetEnv("PULSE_SERVER", "unix:" + Dir + "/native");
        SetEnv("PULSE_CLIENTCONFIG", Dir + "/client.conf");
    }

    void SetEnv(const char* name, const std::string& value) {
        Env.push_back(std::make_unique<TScopedEnv>(name, value.c_str()));
    }

    void TearDown() override {
        Recorder.Stop(SIGINT);
        Server.Stop(SIGTERM);
        std::filesystem::remove_all(Dir);
    }

    // Empty when the server answers; otherwise why not.
    std::string StartServer() {
        const std::vector<std::string> args = {
            "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
            "--disable-shm=yes", "--log-target=stderr",
            "-L", std::string("module-null-sink sink_name=") + SinkName,
            "-L", "module-native-protocol-unix socket=" + Dir + "/native auth-anonymous=1"};
        if (!Server.Start(args, "/dev/null", Dir + "/server.log"))
            return "pulseaudio could not be started (is the pulseaudio package installed?)";
        for (int i = 0; i < 200; ++i) {
            if (!Server.Running()) return "pulseaudio exited:\n" + ReadText(Dir + "/server.log");
            if (Pactl({"info"}) == 0) return "";
            std::this_thread::sleep_for(50ms);
        }
        return "pulseaudio did not answer within 10 s:\n" + ReadText(Dir + "/server.log");
    }

    int Pactl(const std::vector<std::string>& args, const std::string& out = "/dev/null") {
        std::vector<std::string> all = {"pactl"};
        all.insert(all.end(), args.begin(), args.end());
        Child pactl;
        if (!pactl.Start(all, out, "/dev/null")) return -1;
        return pactl.Wait(10000ms);
    }

    // Records the sink's monitor into a raw file once the server has the
    // recording stream.
    std::string StartRecording() {
        const std::vector<std::string> args = {
            "parec", std::string("--device=") + SinkName + ".monitor", "--format=s16le",
            "--rate=" + std::to_string(RecordRate), "--channels=1", "--raw", "--latency-msec=20"};
        if (!Recorder.Start(args, Dir + "/recording.raw", Dir + "/parec.log"))
            return "parec could not be started (is the pulseaudio-utils package installed?)";
        for (int i = 0; i < 200; ++i) {
            if (!Recorder.Running()) return "parec exited:\n" + ReadText(Dir + "/parec.log");
            Pactl({"list", "short", "source-outputs"}, Dir + "/outputs.txt");
            if (!ReadText(Dir + "/outputs.txt").empty()) return "";
            std::this_thread::sleep_for(50ms);
        }
        return "parec never connected:\n" + ReadText(Dir + "/parec.log");
    }

    std::vector<double> StopRecording() {
        Recorder.Stop(SIGINT);
        std::ifstream f(Dir + "/recording.raw", std::ios::binary);
        const Bytes raw((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        return Channel16(raw);
    }

    std::vector<std::unique_ptr<TScopedEnv>> Env;
    std::string Dir;
    Child Server;
    Child Recorder;
};

}  // namespace

TEST_F(PulseTest, SoundDevicePlaysThroughAlsaIntoTheSoundServer) {
    const std::string serverError = StartServer();
    ASSERT_EQ(serverError, "") << "The sound server for this test could not start.";
    const std::string recorderError = StartRecording();
    ASSERT_EQ(recorderError, "") << "The sink's monitor could not be recorded.";

    // A quarter second of 1 kHz, looped.
    const std::string tone = Dir + "/tone.wav";
    WriteFile(tone, WaveFile(Fmt(1, 1, 22050, 16), Tone16(1000, 22050, 22050 / 4, 1, 16000)));
    TWinSoundDevice device(platform::SystemAudioOutput());
    TCustomSound* sound = device.CreateSound(tone);
    ASSERT_NE(sound, nullptr);
    sound->SetLooped(true);
    device.SetActive(true);
    ASSERT_TRUE(device.DeviceEnabled() && device.DeviceActive())
        << "ALSA's default PCM did not open on the test's sound server (is libasound2-plugins installed?)";
    // An idle null sink sleeps through blocks of up to two seconds before it
    // takes a new stream's data; play silence until it runs in step.
    std::this_thread::sleep_for(2500ms);

    sound->Play();
    std::this_thread::sleep_for(1500ms);
    sound->SetVolume(25);
    std::this_thread::sleep_for(1500ms);
    sound->Stop();
    std::this_thread::sleep_for(2000ms);
    device.SetActive(false);
    const std::vector<double> recording = StopRecording();

    // Phases from the moment the tone arrived, each measured in its middle,
    // well clear of the output's latency (a fifth of a second queued).
    size_t onset = 0;
    while (onset < recording.size() && std::abs(recording[onset]) < 2000) ++onset;
    ASSERT_LT(onset, recording.size()) << "the recording is silent (" << recording.size() << " samples)";
    const auto at = [&](double seconds) { return onset + size_t(seconds * RecordRate); };
    ASSERT_GT(recording.size(), at(4.2)) << "the recording is too short";
    const std::vector<double> loud(recording.begin() + long(at(0.4)), recording.begin() + long(at(1.0)));
    const std::vector<double> soft(recording.begin() + long(at(2.0)), recording.begin() + long(at(2.6)));
    const std::vector<double> off(recording.begin() + long(at(3.6)), recording.begin() + long(at(4.2)));

    EXPECT_NEAR(Rms(loud), 16000 / std::sqrt(2.0), 1500);
    EXPECT_NEAR(MeasuredFrequency(loud, RecordRate), 1000, 5);
    EXPECT_NEAR(Rms(loud) / Rms(soft), 4.0, 0.3) << "the level does not follow the volume";
    EXPECT_NEAR(MeasuredFrequency(soft, RecordRate), 1000, 5);
    EXPECT_LT(Rms(off), 30) << "switching the sound off did not silence it";
}

// The scene's own two sounds, as the program carries them in its archive.
TEST_F(PulseTest, TheScenesSoundsPlayAtTheirVolumeAndStop) {
    ASSERT_EQ(StartServer(), "") << "The sound server for this test could not start.";
    ASSERT_EQ(StartRecording(), "") << "The sink's monitor could not be recorded.";

    TResourceReaderGuard restore;
    TResourceFileReader& reader = TheResourceReader();
    reader.ArchiveName = "data.rfa";
    reader.Mode = 3;
    TWinSoundDevice device(platform::SystemAudioOutput());
    std::vector<TCustomSound*> sounds;
    for (const char* name : {"bubbles7.wav", "waves04.wav"}) {
        ASSERT_TRUE(reader.Open(name)) << name << " is missing from the archive";
        const std::string bytes = reader.Stream()->ReadRemaining();
        const std::string file = Dir + "/" + name;
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        TCustomSound* sound = device.CreateSound(file);
        ASSERT_NE(sound, nullptr) << name;
        sound->SetLooped(true);
        sounds.push_back(sound);
    }
    device.SetActive(true);
    ASSERT_TRUE(device.DeviceEnabled() && device.DeviceActive());
    std::this_thread::sleep_for(2500ms);

    for (TCustomSound* sound : sounds) sound->Play();
    std::this_thread::sleep_for(3000ms);
    for (TCustomSound* sound : sounds) sound->SetVolume(25);
    std::this_thread::sleep_for(3000ms);
    for (TCustomSound* sound : sounds) sound->Stop();
    std::this_thread::sleep_for(2000ms);
    device.SetActive(false);
    const std::vector<double> recording = StopRecording();

    size_t onset = 0;
    while (onset < recording.size() && std::abs(recording[onset]) < 300) ++onset;
    ASSERT_LT(onset, recording.size()) << "the recording is silent";
    const auto at = [&](double seconds) { return onset + size_t(seconds * RecordRate); };
    ASSERT_GT(recording.size(), at(7.5)) << "the recording is too short";
    const std::vector<double> loud(recording.begin() + long(at(0.3)), recording.begin() + long(at(2.7)));
    const std::vector<double> soft(recording.begin() + long(at(3.3)), recording.begin() + long(at(5.7)));
    const std::vector<double> off(recording.begin() + long(at(6.7)), recording.begin() + long(at(7.5)));
    // Waves and bubbles swell on their own, so the ratio is looser than a
    // steady tone's.
    EXPECT_GT(Rms(loud), 500);
    EXPECT_GT(Rms(loud) / Rms(soft), 2.5) << "the level does not follow the volume";
    EXPECT_LT(Rms(loud) / Rms(soft), 6.5) << "the level does not follow the volume";
    EXPECT_LT(Rms(off), 30) << "switching the sounds off did not silence them";
}
