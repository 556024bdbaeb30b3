// End to end: the sound device plays through ALSA's "default" PCM into a
// PulseAudio server of our own with a null sink, and the sink's monitor is
// recorded. Needs the pulseaudio and pulseaudio-utils packages and the ALSA
// pulse plugin (libasound2-plugins). Without a server that starts, the tests
// are skipped and say why; every other wait has a deadline and fails.
#include "platform/audio_output.h"
#include "core/archive.h"
#include "sound/device.h"
#include "sound/wave_builder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
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

// Seconds of CPU the whole process has used.
double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

size_t Samples(double seconds) { return size_t(seconds * RecordRate); }

// The first sample at or after from where a tenth of a second has an RMS
// that satisfies test, or npos.
size_t FindLevel(const std::vector<double>& v, size_t from, const std::function<bool(double)>& test) {
    const size_t window = Samples(0.1);
    for (size_t at = from; at + window <= v.size(); at += window / 4)
        if (test(Rms(v, at, at + window))) return at;
    return std::string::npos;
}

class PulseTest : public ::testing::Test {
protected:
    // A quarter second of 1 kHz in the device, looped; null when it did not load.
    TCustomSound* LoopedTone(TWinSoundDevice& device) {
        const std::string tone = Dir + "/tone.wav";
        WriteFile(tone, WaveFile(Fmt(1, 1, 22050, 16), Tone16(1000, 22050, 22050 / 4, 1, 16000)));
        TCustomSound* sound = device.CreateSound(tone);
        if (sound) sound->SetLooped(true);
        return sound;
    }

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
        if (!WaitUntil([&] { return !Server.Running() || Pactl({"info"}) == 0; }, 30s) || !Server.Running())
            return "pulseaudio did not answer:\n" + ReadText(Dir + "/server.log");
        return "";
    }

    int Pactl(const std::vector<std::string>& args, const std::string& out = "/dev/null") {
        std::vector<std::string> all = {"pactl"};
        all.insert(all.end(), args.begin(), args.end());
        Child pactl;
        if (!pactl.Start(all, out, "/dev/null")) return -1;
        return pactl.Wait(10000ms);
    }

    // Records the sink's monitor into a raw file (started afresh) once the
    // server has the recording stream.
    std::string StartRecording() {
        const std::vector<std::string> args = {
            "parec", std::string("--device=") + SinkName + ".monitor", "--format=s16le",
            "--rate=" + std::to_string(RecordRate), "--channels=1", "--raw", "--latency-msec=20"};
        if (!Recorder.Start(args, Dir + "/recording.raw", Dir + "/parec.log"))
            return "parec could not be started (is the pulseaudio-utils package installed?)";
        const bool connected = WaitUntil([&] {
            if (!Recorder.Running()) return true;
            Pactl({"list", "short", "source-outputs"}, Dir + "/outputs.txt");
            return !ReadText(Dir + "/outputs.txt").empty();
        }, 30s);
        if (!Recorder.Running()) return "parec exited:\n" + ReadText(Dir + "/parec.log");
        return connected ? "" : "parec never connected:\n" + ReadText(Dir + "/parec.log");
    }

    // What the monitor has recorded so far.
    std::vector<double> Recorded() {
        std::ifstream f(Dir + "/recording.raw", std::ios::binary);
        Bytes raw((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        raw.resize(raw.size() & ~size_t(1));
        return Channel16(raw);
    }

    // Polls until done() holds; false when the deadline passed first.
    static bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }

    // Waits until the recording holds a tenth of a second, at or after from,
    // whose level satisfies test, and then seconds more; where that tenth
    // starts, or npos at the deadline. The recording is left in recording.
    size_t WaitForLevel(size_t from, const std::function<bool(double)>& test, double seconds,
                        std::vector<double>& recording) {
        size_t at = std::string::npos;
        WaitUntil([&] {
            recording = Recorded();
            if (at == std::string::npos) at = FindLevel(recording, from, test);
            return at != std::string::npos && recording.size() >= at + Samples(seconds);
        }, 60s);
        return at != std::string::npos && recording.size() >= at + Samples(seconds) ? at : std::string::npos;
    }

    // Waits until the recording is seconds longer than it is now.
    std::vector<double> RecordFor(double seconds) {
        const size_t until = Recorded().size() + Samples(seconds);
        std::vector<double> recording;
        WaitUntil([&] { return (recording = Recorded()).size() >= until; }, 60s);
        return recording;
    }

    std::vector<std::unique_ptr<TScopedEnv>> Env;
    std::string Dir;
    Child Server;
    Child Recorder;
};

// Skips the test when no sound server can be had at all.
#define START_SOUND_SERVER()                                                                  \
    do {                                                                                      \
        const std::string why = StartServer();                                                \
        if (!why.empty()) GTEST_SKIP() << "No sound server for this test: " << why;           \
        ASSERT_EQ(StartRecording(), "") << "The sink's monitor could not be recorded.";       \
    } while (0)

}  // namespace

TEST_F(PulseTest, SoundDevicePlaysThroughAlsaIntoTheSoundServer) {
    START_SOUND_SERVER();

    TWinSoundDevice device(platform::SystemAudioOutput());
    TCustomSound* sound = LoopedTone(device);
    ASSERT_NE(sound, nullptr);
    device.SetActive(true);
    ASSERT_TRUE(device.DeviceEnabled() && device.DeviceActive())
        << "ALSA's default PCM did not open on the test's sound server (is libasound2-plugins installed?)";
    sound->Play();

    // Each phase is measured once the recording shows it, clear of its edges.
    std::vector<double> recording;
    const size_t loudAt = WaitForLevel(0, [](double rms) { return rms > 5000; }, 1.0, recording);
    ASSERT_NE(loudAt, std::string::npos) << "the tone never arrived (" << recording.size() << " samples)";
    const size_t loudEnd = recording.size();
    sound->SetVolume(25);
    const size_t softAt = WaitForLevel(loudEnd, [](double rms) { return rms < 4000; }, 0.9, recording);
    ASSERT_NE(softAt, std::string::npos) << "the level does not follow the volume";
    const size_t softEnd = recording.size();
    sound->Stop();
    const size_t offAt = WaitForLevel(softEnd, [](double rms) { return rms < 30; }, 0.8, recording);
    ASSERT_NE(offAt, std::string::npos) << "switching the sound off did not silence it";
    device.SetActive(false);

    const std::vector<double> loud(recording.begin() + long(loudAt + Samples(0.3)),
                                   recording.begin() + long(loudAt + Samples(0.9)));
    const std::vector<double> soft(recording.begin() + long(softAt + Samples(0.3)),
                                   recording.begin() + long(softAt + Samples(0.9)));
    const std::vector<double> off(recording.begin() + long(offAt + Samples(0.2)),
                                  recording.begin() + long(offAt + Samples(0.8)));
    EXPECT_NEAR(Rms(loud), 16000 / std::sqrt(2.0), 1500);
    EXPECT_NEAR(MeasuredFrequency(loud, RecordRate), 1000, 5);
    EXPECT_NEAR(Rms(loud) / Rms(soft), 4.0, 0.3) << "the level does not follow the volume";
    EXPECT_NEAR(MeasuredFrequency(soft, RecordRate), 1000, 5);
    EXPECT_LT(Rms(off), 30) << "switching the sound off did not silence it";
}

// The scene's own two sounds, as the program carries them in its archive.
TEST_F(PulseTest, TheScenesSoundsPlayAtTheirVolumeAndStop) {
    START_SOUND_SERVER();

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
    for (TCustomSound* sound : sounds) sound->Play();

    // Waves and bubbles swell on their own, so the soft phase is taken from
    // well after the change (the output holds a fifth of a second) and the
    // ratio is looser than a steady tone's.
    std::vector<double> recording;
    const size_t loudAt = WaitForLevel(0, [](double rms) { return rms > 300; }, 2.7, recording);
    ASSERT_NE(loudAt, std::string::npos) << "the recording is silent (" << recording.size() << " samples)";
    const size_t softFrom = recording.size() + Samples(1.0);
    for (TCustomSound* sound : sounds) sound->SetVolume(25);
    recording = RecordFor(3.4);
    ASSERT_GE(recording.size(), softFrom + Samples(2.4)) << "the recording stopped growing";
    const size_t softEnd = recording.size();
    for (TCustomSound* sound : sounds) sound->Stop();
    const size_t offAt = WaitForLevel(softEnd, [](double rms) { return rms < 30; }, 0.8, recording);
    ASSERT_NE(offAt, std::string::npos) << "switching the sounds off did not silence them";
    device.SetActive(false);

    const std::vector<double> loud(recording.begin() + long(loudAt + Samples(0.3)),
                                   recording.begin() + long(loudAt + Samples(2.7)));
    const std::vector<double> soft(recording.begin() + long(softFrom), recording.begin() + long(softFrom + Samples(2.4)));
    const std::vector<double> off(recording.begin() + long(offAt + Samples(0.2)),
                                  recording.begin() + long(offAt + Samples(0.8)));
    EXPECT_GT(Rms(loud), 500);
    EXPECT_GT(Rms(loud) / Rms(soft), 2.5) << "the level does not follow the volume";
    EXPECT_LT(Rms(loud) / Rms(soft), 6.5) << "the level does not follow the volume";
    EXPECT_LT(Rms(off), 30) << "switching the sounds off did not silence them";
}

// The sound server dies under a playing sound and comes back later: the
// output waits for it without burning the CPU, and plays again once it is
// there.
TEST_F(PulseTest, ALostSoundServerIsWaitedForQuietlyAndFoundAgain) {
    START_SOUND_SERVER();
    TWinSoundDevice device(platform::SystemAudioOutput());
    TCustomSound* sound = LoopedTone(device);
    ASSERT_NE(sound, nullptr);
    device.SetActive(true);
    ASSERT_TRUE(device.DeviceEnabled() && device.DeviceActive());
    sound->Play();
    std::vector<double> recording;
    ASSERT_NE(WaitForLevel(0, [](double rms) { return rms > 5000; }, 0.1, recording), std::string::npos)
        << "the tone never arrived";

    Server.Stop(SIGKILL);
    Recorder.Stop(SIGINT);
    ASSERT_TRUE(WaitUntil([&] { return !device.Output().Connected(); }, 30s))
        << "the output did not notice that the server is gone";
    // Measured over a fixed span: a feeder spinning on the dead PCM would
    // use all of it.
    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(2s);
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    std::printf("CPU while the server was gone: %.3f s in %.3f s\n", cpu, wall);
    EXPECT_LT(cpu, 0.25 * wall) << "the output spins while the server is gone";
    // The program goes on as if nothing happened.
    EXPECT_TRUE(device.DeviceEnabled() && device.DeviceActive());
    sound->SetVolume(50);
    sound->Stop();
    sound->Play();
    EXPECT_TRUE(sound->Playing());

    const std::string why = StartServer();
    ASSERT_EQ(why, "") << "the sound server did not start again";
    ASSERT_EQ(StartRecording(), "") << "The sink's monitor could not be recorded.";
    EXPECT_NE(WaitForLevel(0, [](double rms) { return rms > 2000; }, 0.1, recording), std::string::npos)
        << "no sound after the server came back";
    EXPECT_TRUE(device.Output().Connected());
    device.SetActive(false);
}
