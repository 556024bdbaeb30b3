// The audio output on ALSA's "default" PCM. Queued buffers wait in a small
// ring; a feeder thread owns the PCM, hands the oldest buffer to ALSA as soon
// as ALSA has room for it and then reports it done, which is when the caller
// refills it. Pause and restart requests go to the feeder too, so no two
// threads ever use the PCM at once.

#include "platform/audio_output.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

class AlsaAudioOutput final : public IAudioOutput {
public:
    ~AlsaAudioOutput() override { Close(); }

    bool Open(const AudioFormat& format, uint32_t bufferBytes, uint32_t bufferCount,
              BufferDone done) override {
        if (Pcm || !done || bufferCount == 0 || format.Channels == 0 ||
            (format.BitsPerSample != 8 && format.BitsPerSample != 16) || format.SamplesPerSec == 0 ||
            bufferBytes == 0 || bufferBytes % format.FrameBytes() != 0)
            return false;
        static std::once_flag quiet;
        std::call_once(quiet, [] { snd_lib_error_set_handler(&SilentAlsaErrors); });

        snd_pcm_t* pcm = nullptr;
        if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
        const snd_pcm_uframes_t periodFrames = bufferBytes / format.FrameBytes();
        bool canPause = false;
        snd_pcm_uframes_t ringFrames = 0;
        if (!Configure(pcm, format, periodFrames, canPause, ringFrames)) {
            snd_pcm_close(pcm);
            return false;
        }
        const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wake < 0) {
            snd_pcm_close(pcm);
            return false;
        }
        Pcm = pcm;
        WakeFd = wake;
        Format = format;
        BufferBytes = bufferBytes;
        PeriodFrames = periodFrames;
        RingFrames = std::max<snd_pcm_uframes_t>(ringFrames, 1);
        CanPause = canPause;
        Done = std::move(done);
        Prepared.clear();
        Prepared.reserve(bufferCount);
        Ring.assign(bufferCount, nullptr);
        Head = Count = 0;
        WantPaused = false;
        StartFeeder();
        return true;
    }

    bool IsOpen() const override { return Pcm != nullptr; }

    bool PrepareBuffer(const uint8_t* block, uint32_t size) override {
        std::lock_guard guard(Lock);
        if (!Pcm || !block || size != BufferBytes || Prepared.size() >= Ring.size() ||
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
            if (!Pcm || size != BufferBytes || Count == Ring.size() || IsQueued(block) ||
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
        if (!Pcm || OnFeeder()) return false;
        StopFeeder();
        snd_pcm_drop(Pcm);
        snd_pcm_prepare(Pcm);
        Paused = false;
        {
            std::lock_guard guard(Lock);
            Head = Count = 0;
        }
        StartFeeder();
        return true;
    }

    bool Close() override {
        if (!Pcm || OnFeeder()) return false;
        StopFeeder();
        snd_pcm_drop(Pcm);
        snd_pcm_close(Pcm);
        close(WakeFd);
        std::lock_guard guard(Lock);
        Pcm = nullptr;
        WakeFd = -1;
        Prepared.clear();
        Ring.clear();
        Head = Count = 0;
        Done = nullptr;
        return true;
    }

private:
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
            if (!Pcm) return false;
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

    void Feed() {
        const int pcmFds = std::max(snd_pcm_poll_descriptors_count(Pcm), 0);
        std::vector<pollfd> fds(size_t(pcmFds) + 1);
        snd_pcm_poll_descriptors(Pcm, fds.data(), unsigned(pcmFds));
        fds[size_t(pcmFds)] = pollfd{WakeFd, POLLIN, 0};
        snd_pcm_uframes_t offset = 0;  // frames of the oldest buffer already handed over

        for (;;) {
            const uint8_t* block = nullptr;
            bool wantPaused;
            {
                std::lock_guard guard(Lock);
                if (StopRequested) return;
                wantPaused = WantPaused;
                if (Count) block = Ring[Head];
            }
            if (wantPaused != Paused) ApplyPause(wantPaused);
            if (Paused || !block) {
                poll(&fds[size_t(pcmFds)], 1, -1);
                DrainWake();
                continue;
            }
            const snd_pcm_sframes_t avail = snd_pcm_avail_update(Pcm);
            if (avail < 0) {
                snd_pcm_recover(Pcm, int(avail), 1);
                continue;
            }
            // Whole buffers at a time, unless ALSA's ring is smaller than one.
            if (snd_pcm_uframes_t(avail) < std::min(PeriodFrames - offset, RingFrames)) {
                WaitForRoom(fds, pcmFds);
                continue;
            }
            const snd_pcm_sframes_t written = snd_pcm_writei(
                Pcm, block + offset * Format.FrameBytes(), PeriodFrames - offset);
            if (written == -EAGAIN) {
                WaitForRoom(fds, pcmFds);
                continue;
            }
            if (written < 0) {
                snd_pcm_recover(Pcm, int(written), 1);
                continue;
            }
            offset += snd_pcm_uframes_t(written);
            if (offset < PeriodFrames) continue;
            offset = 0;
            {
                std::lock_guard guard(Lock);
                Head = (Head + 1) % Ring.size();
                --Count;
            }
            Done();
        }
    }

    void WaitForRoom(std::vector<pollfd>& fds, int pcmFds) {
        for (auto& fd : fds) fd.revents = 0;
        // The timeout only guards against a PCM that never signals.
        poll(fds.data(), fds.size(), 100);
        if (fds[size_t(pcmFds)].revents) DrainWake();
        unsigned short events = 0;
        snd_pcm_poll_descriptors_revents(Pcm, fds.data(), unsigned(pcmFds), &events);
        if (events & POLLERR) {
            const snd_pcm_state_t state = snd_pcm_state(Pcm);
            if (state == SND_PCM_STATE_XRUN) snd_pcm_recover(Pcm, -EPIPE, 1);
            if (state == SND_PCM_STATE_SUSPENDED) snd_pcm_recover(Pcm, -ESTRPIPE, 1);
        }
    }

    // Owned by the caller's thread while the feeder is stopped, by the feeder
    // while it runs.
    snd_pcm_t* Pcm = nullptr;
    int WakeFd = -1;
    AudioFormat Format;
    uint32_t BufferBytes = 0;
    snd_pcm_uframes_t PeriodFrames = 0;  // frames of one of our buffers
    snd_pcm_uframes_t RingFrames = 0;    // frames ALSA itself holds
    bool CanPause = false;
    bool Paused = false;
    BufferDone Done;
    std::thread Feeder;

    // Guarded by Lock.
    std::mutex Lock;
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
