// The audio output on ALSA's "default" PCM. Queued buffers wait in a small
// ring; a feeder thread owns the PCM, hands the oldest buffer to ALSA as soon
// as ALSA has room for it and then reports it done, which is when the caller
// refills it. Pause and restart requests go to the feeder too, so no two
// threads ever use the PCM at once.
//
// A PCM that fails for good (device unplugged, sound server gone) is closed
// by the feeder, which then tries to open it again at growing intervals
// while the queued buffers wait; nothing is reported done in between, so the
// mixer rests too.

#include "platform/audio_output.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {
namespace {

// ALSA reports a missing sound card on stderr; without a card the program
// simply plays nothing.
void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

// ALSA's own ring holds this many of our buffers, behind our queue.
constexpr snd_pcm_uframes_t AlsaPeriods = 8;

// Waits between attempts to open a lost PCM: doubling from the first to the
// last, which then repeats.
constexpr std::chrono::milliseconds FirstRetry{100};
constexpr std::chrono::milliseconds LastRetry{3200};
// PCM errors, or wake-ups without room, in a row before the PCM counts as
// lost; each error also waits a little longer than the one before.
constexpr int MaxFailures = 8;
constexpr int MaxIdleWakes = 200;

class AlsaAudioOutput final : public IAudioOutput {
public:
    ~AlsaAudioOutput() override { Close(); }

    bool Open(const AudioFormat& format, uint32_t bufferBytes, uint32_t bufferCount,
              BufferDone done) override {
        if (IsOpen() || !done || bufferCount == 0 || format.Channels == 0 ||
            (format.BitsPerSample != 8 && format.BitsPerSample != 16) || format.SamplesPerSec == 0 ||
            bufferBytes == 0 || bufferBytes % format.FrameBytes() != 0)
            return false;
        static std::once_flag quiet;
        std::call_once(quiet, [] { snd_lib_error_set_handler(&SilentAlsaErrors); });

        Format = format;
        BufferBytes = bufferBytes;
        PeriodFrames = bufferBytes / format.FrameBytes();
        if (!OpenPcm()) return false;
        const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wake < 0) {
            ClosePcm();
            return false;
        }
        WakeFd = wake;
        Done = std::move(done);
        {
            std::lock_guard guard(Lock);
            Opened = true;
            Prepared.clear();
            Prepared.reserve(bufferCount);
            Ring.assign(bufferCount, nullptr);
            Head = Count = 0;
            WantPaused = false;
        }
        StartFeeder();
        return true;
    }

    bool IsOpen() const override {
        std::lock_guard guard(Lock);
        return Opened;
    }

    bool Connected() const override { return Live.load(); }

    bool PrepareBuffer(const uint8_t* block, uint32_t size) override {
        std::lock_guard guard(Lock);
        if (!Opened || !block || size != BufferBytes || Prepared.size() >= Ring.size() ||
            std::find(Prepared.begin(), Prepared.end(), block) != Prepared.end())
            return false;
        Prepared.push_back(block);
        return true;
    }

    bool UnprepareBuffer(const uint8_t* block) override {
        std::lock_guard guard(Lock);
        auto it = std::find(Prepared.begin(), Prepared.end(), block);
        if (it == Prepared.end() || IsQueued(block)) return false;
        Prepared.erase(it);
        return true;
    }

    bool Write(const uint8_t* block, uint32_t size) override {
        {
            std::lock_guard guard(Lock);
            if (!Opened || size != BufferBytes || Count == Ring.size() || IsQueued(block) ||
                std::find(Prepared.begin(), Prepared.end(), block) == Prepared.end())
                return false;
            Ring[(Head + Count) % Ring.size()] = block;
            ++Count;
        }
        Wake();
        return true;
    }

    bool Pause() override { return RequestPause(true); }
    bool Restart() override { return RequestPause(false); }

    bool Reset() override {
        if (!IsOpen() || OnFeeder()) return false;
        StopFeeder();
        if (Pcm) {
            snd_pcm_drop(Pcm);
            snd_pcm_prepare(Pcm);
        }
        Paused = false;
        {
            std::lock_guard guard(Lock);
            Head = Count = 0;
        }
        StartFeeder();
        return true;
    }

    bool Close() override {
        if (!IsOpen() || OnFeeder()) return false;
        StopFeeder();
        if (Pcm) snd_pcm_drop(Pcm);
        ClosePcm();
        close(WakeFd);
        std::lock_guard guard(Lock);
        Opened = false;
        WakeFd = -1;
        Prepared.clear();
        Ring.clear();
        Head = Count = 0;
        Done = nullptr;
        return true;
    }

private:
    // Opens and configures "default" in Format; on failure Pcm stays null.
    bool OpenPcm() {
        snd_pcm_t* pcm = nullptr;
        if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
        bool canPause = false;
        snd_pcm_uframes_t ringFrames = 0;
        if (!Configure(pcm, Format, PeriodFrames, canPause, ringFrames)) {
            snd_pcm_close(pcm);
            return false;
        }
        Pcm = pcm;
        RingFrames = std::max<snd_pcm_uframes_t>(ringFrames, 1);
        CanPause = canPause;
        Paused = false;
        Live = true;
        return true;
    }

    void ClosePcm() {
        if (Pcm) snd_pcm_close(Pcm);
        Pcm = nullptr;
        Live = false;
    }

    static bool Configure(snd_pcm_t* pcm, const AudioFormat& format, snd_pcm_uframes_t periodFrames,
                          bool& canPause, snd_pcm_uframes_t& ringFrames) {
        snd_pcm_hw_params_t* hw;
        snd_pcm_hw_params_alloca(&hw);
        unsigned rate = format.SamplesPerSec;
        snd_pcm_uframes_t period = periodFrames;
        snd_pcm_uframes_t ring = periodFrames * AlsaPeriods;
        if (snd_pcm_hw_params_any(pcm, hw) < 0) return false;
        // Resampling in ALSA where the device lacks the rate; not every
        // plugin offers the switch.
        snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);
        if (snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
            snd_pcm_hw_params_set_format(pcm, hw, format.BitsPerSample == 16 ? SND_PCM_FORMAT_S16_LE
                                                                              : SND_PCM_FORMAT_U8) < 0 ||
            snd_pcm_hw_params_set_channels(pcm, hw, format.Channels) < 0 ||
            snd_pcm_hw_params_set_rate_near(pcm, hw, &rate, nullptr) < 0 ||
            snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr) < 0 ||
            snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &ring) < 0 ||
            snd_pcm_hw_params(pcm, hw) < 0)
            return false;
        canPause = snd_pcm_hw_params_can_pause(hw) != 0;
        ringFrames = ring;
        snd_pcm_hw_params_get_buffer_size(hw, &ringFrames);

        snd_pcm_sw_params_t* sw;
        snd_pcm_sw_params_alloca(&sw);
        snd_pcm_uframes_t actualPeriod = period;
        snd_pcm_hw_params_get_period_size(hw, &actualPeriod, nullptr);
        return snd_pcm_sw_params_current(pcm, sw) >= 0 &&
               snd_pcm_sw_params_set_start_threshold(pcm, sw, std::min(periodFrames, ring)) >= 0 &&
               snd_pcm_sw_params_set_avail_min(pcm, sw, std::min(periodFrames, actualPeriod)) >= 0 &&
               snd_pcm_sw_params(pcm, sw) >= 0 && snd_pcm_prepare(pcm) >= 0;
    }

    bool IsQueued(const uint8_t* block) const {
        for (size_t i = 0; i < Count; ++i)
            if (Ring[(Head + i) % Ring.size()] == block) return true;
        return false;
    }

    bool OnFeeder() const { return Feeder.joinable() && Feeder.get_id() == std::this_thread::get_id(); }

    void Wake() {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(WakeFd, &one, sizeof one);
    }

    void DrainWake() {
        uint64_t value;
        [[maybe_unused]] ssize_t n = read(WakeFd, &value, sizeof value);
    }

    bool RequestPause(bool paused) {
        {
            std::lock_guard guard(Lock);
            if (!Opened) return false;
            WantPaused = paused;
        }
        Wake();
        return true;
    }

    void StartFeeder() {
        {
            std::lock_guard guard(Lock);
            StopRequested = false;
        }
        Feeder = std::thread([this] { Feed(); });
    }

    void StopFeeder() {
        {
            std::lock_guard guard(Lock);
            StopRequested = true;
        }
        Wake();
        if (Feeder.joinable()) Feeder.join();
    }

    // Pauses with the PCM's own pause where it has one; otherwise drops what
    // ALSA holds (a few milliseconds) and starts afresh on restart.
    void ApplyPause(bool paused) {
        const snd_pcm_state_t state = snd_pcm_state(Pcm);
        if (paused) {
            if (state == SND_PCM_STATE_RUNNING) {
                if (!CanPause || snd_pcm_pause(Pcm, 1) < 0) {
                    snd_pcm_drop(Pcm);
                    snd_pcm_prepare(Pcm);
                }
            }
        } else if (state == SND_PCM_STATE_PAUSED) {
            if (snd_pcm_pause(Pcm, 0) < 0) {
                snd_pcm_drop(Pcm);
                snd_pcm_prepare(Pcm);
            }
        }
        Paused = paused;
    }

    // The PCM's poll descriptors followed by the wake descriptor.
    int PollDescriptors(std::vector<pollfd>& fds) {
        const int pcmFds = std::max(snd_pcm_poll_descriptors_count(Pcm), 0);
        fds.assign(size_t(pcmFds) + 1, pollfd{});
        snd_pcm_poll_descriptors(Pcm, fds.data(), unsigned(pcmFds));
        fds[size_t(pcmFds)] = pollfd{WakeFd, POLLIN, 0};
        return pcmFds;
    }

    // Sleeps until woken or the time is up (-1: until woken).
    void WaitForWake(int milliseconds) {
        pollfd wake{WakeFd, POLLIN, 0};
        if (poll(&wake, 1, milliseconds) > 0) DrainWake();
    }

    void Feed() {
        using Clock = std::chrono::steady_clock;
        std::vector<pollfd> fds;
        int pcmFds = Pcm ? PollDescriptors(fds) : 0;
        snd_pcm_uframes_t offset = 0;  // frames of the oldest buffer already handed over
        int failures = 0;              // PCM errors since a buffer was last handed over
        int idleWakes = 0;             // wake-ups for the PCM that found no room
        auto retry = FirstRetry;
        auto nextTry = Clock::now();

        // Gives up on the PCM; the loop opens it again later.
        const auto lose = [&] {
            ClosePcm();
            nextTry = Clock::now() + retry;
            retry = std::min(retry * 2, LastRetry);
        };
        // After an error: recovers the PCM, waiting longer the more errors
        // came in a row, or gives it up when it cannot be recovered.
        const auto recover = [&](int error) {
            if (++failures > MaxFailures || snd_pcm_recover(Pcm, error, 1) < 0) {
                lose();
                return;
            }
            if (failures > 1) WaitForWake(5 << failures);
        };

        for (;;) {
            const uint8_t* block = nullptr;
            bool wantPaused;
            {
                std::lock_guard guard(Lock);
                if (StopRequested) return;
                wantPaused = WantPaused;
                if (Count) block = Ring[Head];
            }
            if (!Pcm) {
                const auto now = Clock::now();
                if (now < nextTry) {
                    WaitForWake(int(std::chrono::ceil<std::chrono::milliseconds>(nextTry - now).count()));
                } else if (OpenPcm()) {
                    pcmFds = PollDescriptors(fds);
                    offset = failures = idleWakes = 0;
                } else {
                    nextTry = now + retry;
                    retry = std::min(retry * 2, LastRetry);
                }
                continue;
            }
            if (wantPaused != Paused) ApplyPause(wantPaused);
            if (Paused || !block) {
                WaitForWake(-1);
                continue;
            }
            const snd_pcm_sframes_t avail = snd_pcm_avail_update(Pcm);
            if (avail < 0) {
                recover(int(avail));
                continue;
            }
            // Whole buffers at a time, unless ALSA's ring is smaller than one.
            if (snd_pcm_uframes_t(avail) < std::min(PeriodFrames - offset, RingFrames)) {
                if (!WaitForRoom(fds, pcmFds, recover) && ++idleWakes > MaxIdleWakes) lose();
                continue;
            }
            const snd_pcm_sframes_t written = snd_pcm_writei(
                Pcm, block + offset * Format.FrameBytes(), PeriodFrames - offset);
            if (written == -EAGAIN) {
                if (!WaitForRoom(fds, pcmFds, recover) && ++idleWakes > MaxIdleWakes) lose();
                continue;
            }
            if (written < 0) {
                recover(int(written));
                continue;
            }
            idleWakes = 0;
            offset += snd_pcm_uframes_t(written);
            if (offset < PeriodFrames) continue;
            offset = 0;
            failures = 0;
            retry = FirstRetry;
            {
                std::lock_guard guard(Lock);
                Head = (Head + 1) % Ring.size();
                --Count;
            }
            Done();
        }
    }

    // Waits until ALSA has room or the caller wakes the feeder. False when
    // the PCM said it had something to report and yet there was no room:
    // a PCM that keeps doing that is broken, and would keep the feeder busy.
    template <typename Recover>
    bool WaitForRoom(std::vector<pollfd>& fds, int pcmFds, const Recover& recover) {
        for (auto& fd : fds) fd.revents = 0;
        // The timeout only guards against a PCM that never signals.
        const int ready = poll(fds.data(), fds.size(), 100);
        if (ready < 0) return errno == EINTR;
        if (fds[size_t(pcmFds)].revents) DrainWake();
        unsigned short events = 0;
        if (snd_pcm_poll_descriptors_revents(Pcm, fds.data(), unsigned(pcmFds), &events) < 0) {
            recover(-EIO);
            return true;
        }
        if (events & (POLLERR | POLLHUP | POLLNVAL)) {
            const snd_pcm_state_t state = snd_pcm_state(Pcm);
            recover(state == SND_PCM_STATE_XRUN        ? -EPIPE
                    : state == SND_PCM_STATE_SUSPENDED ? -ESTRPIPE
                                                       : -ENODEV);
            return true;
        }
        if (events & POLLOUT) return true;
        // Woken by the caller, or the timeout: no sign of trouble.
        return fds[size_t(pcmFds)].revents != 0 || ready == 0 ||
               std::none_of(fds.begin(), fds.begin() + pcmFds, [](const pollfd& fd) { return fd.revents; });
    }

    // Owned by the caller's thread while the feeder is stopped, by the feeder
    // while it runs.
    snd_pcm_t* Pcm = nullptr;  // null while lost
    int WakeFd = -1;
    AudioFormat Format;
    uint32_t BufferBytes = 0;
    snd_pcm_uframes_t PeriodFrames = 0;  // frames of one of our buffers
    snd_pcm_uframes_t RingFrames = 0;    // frames ALSA itself holds
    bool CanPause = false;
    bool Paused = false;
    BufferDone Done;
    std::thread Feeder;

    std::atomic<bool> Live{false};  // Pcm is there; read by Connected

    // Guarded by Lock.
    mutable std::mutex Lock;
    bool Opened = false;
    std::vector<const uint8_t*> Prepared;
    std::vector<const uint8_t*> Ring;
    size_t Head = 0;
    size_t Count = 0;
    bool WantPaused = false;
    bool StopRequested = false;
};

}  // namespace

IAudioOutput& SystemAudioOutput() {
    static AlsaAudioOutput output;
    return output;
}

}  // namespace platform
