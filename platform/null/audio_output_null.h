// An audio output double: records what it is asked to do and plays nothing.
// The test decides when the "system" consumes buffers (Consume), or lets a
// thread of its own consume them continuously (StartPlayer). Every call can
// be made to fail.
#pragma once

#include "platform/audio_output.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class RecordingAudioOutput final : public IAudioOutput {
public:
    ~RecordingAudioOutput() override;

    bool FailOpen = false;
    bool FailPrepare = false;
    bool FailUnprepare = false;
    bool FailPause = false;
    bool FailRestart = false;
    bool FailReset = false;
    bool FailClose = false;

    bool Open(const AudioFormat& format, uint32_t bufferBytes, uint32_t bufferCount,
              BufferDone done) override;
    bool IsOpen() const override;
    bool Connected() const override { return IsOpen(); }
    bool PrepareBuffer(const uint8_t* block, uint32_t size) override;
    bool UnprepareBuffer(const uint8_t* block) override;
    bool Write(const uint8_t* block, uint32_t size) override;
    bool Pause() override;
    bool Restart() override;
    bool Reset() override;
    bool Close() override;

    // Takes up to count of the oldest queued buffers as the system would:
    // appends their bytes to Played() and reports each done on the calling
    // thread. Nothing is taken while paused. Returns how many were taken.
    size_t Consume(size_t count);
    // A thread that keeps consuming whatever is queued, until StopPlayer.
    void StartPlayer();
    void StopPlayer();

    AudioFormat OpenedFormat() const;
    uint32_t BufferBytes() const;
    uint32_t BufferCount() const;
    size_t Queued() const;
    size_t PreparedCount() const;
    size_t Writes() const;
    bool Paused() const;
    int Opens() const;
    int Closes() const;
    // Every byte consumed since the last ClearPlayed, in order.
    std::vector<uint8_t> Played() const;
    void ClearPlayed();

private:
    void WaitIdle(std::unique_lock<std::mutex>& lock);

    mutable std::mutex Lock;
    std::condition_variable Changed;
    bool Opened = false;
    AudioFormat Format;
    uint32_t Bytes = 0;
    uint32_t Count = 0;
    BufferDone Done;
    std::vector<const uint8_t*> Prepared;
    std::deque<const uint8_t*> Queue;
    std::vector<uint8_t> PlayedBytes;
    size_t WriteCount = 0;
    int OpenCount = 0;
    int CloseCount = 0;
    int Reporting = 0;  // done calls in progress
    bool IsPaused = false;
    bool PlayerStop = false;
    std::thread Player;
};

}  // namespace platform
