// The audio output through waveOut on the wave mapper. The system signals an
// event whenever it has finished a buffer; a notifier thread of ours waits
// on it and reports the finished buffers, oldest first, so the caller's done
// function never runs inside the system's own callback (where waveOut calls
// are not allowed) and may queue the next buffer at once.
#include "platform/audio_output.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {
namespace {

class WaveOutput final : public IAudioOutput {
public:
    ~WaveOutput() override { Close(); }

    bool Open(const AudioFormat& format, uint32_t bufferBytes, uint32_t bufferCount, BufferDone done) override {
        if (IsOpen() || !done || bufferCount == 0 || format.Channels == 0 ||
            (format.BitsPerSample != 8 && format.BitsPerSample != 16) || format.SamplesPerSec == 0 ||
            bufferBytes == 0 || bufferBytes % format.FrameBytes() != 0)
            return false;
        WAVEFORMATEX wf{};
        wf.wFormatTag = WAVE_FORMAT_PCM;
        wf.nChannels = format.Channels;
        wf.nSamplesPerSec = format.SamplesPerSec;
        wf.wBitsPerSample = format.BitsPerSample;
        wf.nBlockAlign = static_cast<WORD>(format.FrameBytes());
        wf.nAvgBytesPerSec = wf.nSamplesPerSec * wf.nBlockAlign;
        Finished = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        Stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!Finished || !Stop ||
            waveOutOpen(&Wave, WAVE_MAPPER, &wf, reinterpret_cast<DWORD_PTR>(Finished), 0, CALLBACK_EVENT) !=
                MMSYSERR_NOERROR) {
            Wave = nullptr;
            CloseEvents();
            return false;
        }
        Done = std::move(done);
        {
            std::lock_guard guard(Lock);
            Opened = true;
            BufferBytes = bufferBytes;
            Capacity = bufferCount;
        }
        StartNotifier();
        return true;
    }

    bool IsOpen() const override {
        std::lock_guard guard(Lock);
        return Opened;
    }

    // The wave mapper follows the system's choice of device; there is no
    // loss of it to report.
    bool Connected() const override { return IsOpen(); }

    bool PrepareBuffer(const uint8_t* block, uint32_t size) override {
        std::lock_guard guard(Lock);
        if (!Opened || !block || size != BufferBytes || Headers.size() >= Capacity || Find(block)) return false;
        auto header = std::make_unique<WAVEHDR>();
        header->lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(block));
        header->dwBufferLength = size;
        if (waveOutPrepareHeader(Wave, header.get(), sizeof(WAVEHDR)) != MMSYSERR_NOERROR) return false;
        Headers.push_back(std::move(header));
        return true;
    }

    bool UnprepareBuffer(const uint8_t* block) override {
        std::lock_guard guard(Lock);
        WAVEHDR* header = Find(block);
        if (!header || IsQueued(header)) return false;
        waveOutUnprepareHeader(Wave, header, sizeof(WAVEHDR));
        Headers.erase(std::find_if(Headers.begin(), Headers.end(), [&](const auto& h) { return h.get() == header; }));
        return true;
    }

    bool Write(const uint8_t* block, uint32_t size) override {
        std::lock_guard guard(Lock);
        WAVEHDR* header = Opened && size == BufferBytes ? Find(block) : nullptr;
        if (!header || IsQueued(header)) return false;
        // The done flag of its last round must not report it again.
        header->dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
        if (waveOutWrite(Wave, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) return false;
        Queue.push_back(header);
        return true;
    }

    bool Pause() override { return IsOpen() && waveOutPause(Wave) == MMSYSERR_NOERROR; }
    bool Restart() override { return IsOpen() && waveOutRestart(Wave) == MMSYSERR_NOERROR; }

    bool Reset() override {
        if (!IsOpen() || OnNotifier()) return false;
        StopNotifier();
        waveOutReset(Wave);
        {
            std::lock_guard guard(Lock);
            Queue.clear();
        }
        StartNotifier();
        return true;
    }

    bool Close() override {
        if (!IsOpen() || OnNotifier()) return false;
        StopNotifier();
        waveOutReset(Wave);
        std::lock_guard guard(Lock);
        for (auto& header : Headers) waveOutUnprepareHeader(Wave, header.get(), sizeof(WAVEHDR));
        Headers.clear();
        Queue.clear();
        waveOutClose(Wave);
        Wave = nullptr;
        CloseEvents();
        Opened = false;
        Done = nullptr;
        return true;
    }

private:
    WAVEHDR* Find(const uint8_t* block) const {
        for (const auto& header : Headers)
            if (reinterpret_cast<const uint8_t*>(header->lpData) == block) return header.get();
        return nullptr;
    }
    bool IsQueued(const WAVEHDR* header) const { return std::find(Queue.begin(), Queue.end(), header) != Queue.end(); }
    bool OnNotifier() const { return Notifier.get_id() == std::this_thread::get_id(); }

    void StartNotifier() {
        ResetEvent(Stop);
        Notifier = std::thread([this] { Notify(); });
    }
    void StopNotifier() {
        SetEvent(Stop);
        if (Notifier.joinable()) Notifier.join();
    }

    void Notify() {
        HANDLE events[] = {Stop, Finished};
        while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            for (;;) {
                {
                    std::lock_guard guard(Lock);
                    // The system sets the flag from its own thread.
                    if (Queue.empty() || !(static_cast<volatile DWORD&>(Queue.front()->dwFlags) & WHDR_DONE)) break;
                    Queue.pop_front();
                }
                if (WaitForSingleObject(Stop, 0) == WAIT_OBJECT_0) return;
                Done();
            }
        }
    }

    void CloseEvents() {
        if (Finished) CloseHandle(Finished);
        if (Stop) CloseHandle(Stop);
        Finished = Stop = nullptr;
    }

    mutable std::mutex Lock;
    bool Opened = false;
    uint32_t BufferBytes = 0;
    size_t Capacity = 0;
    std::vector<std::unique_ptr<WAVEHDR>> Headers;  // the prepared buffers
    std::deque<WAVEHDR*> Queue;                     // written, oldest first
    HWAVEOUT Wave = nullptr;
    HANDLE Finished = nullptr;
    HANDLE Stop = nullptr;
    BufferDone Done;
    std::thread Notifier;
};

}  // namespace

IAudioOutput& SystemAudioOutput() {
    static WaveOutput output;
    return output;
}

}  // namespace platform
