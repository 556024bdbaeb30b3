#include "platform/null/audio_output_null.h"

#include <algorithm>

namespace platform {

RecordingAudioOutput::~RecordingAudioOutput() {
    StopPlayer();
    FailClose = false;
    Close();
}

bool RecordingAudioOutput::Open(const AudioFormat& format, uint32_t bufferBytes,
                                uint32_t bufferCount, BufferDone done) {
    std::lock_guard guard(Lock);
    if (FailOpen || Opened || !done || bufferBytes == 0 || bufferCount == 0 ||
        format.FrameBytes() == 0 || bufferBytes % format.FrameBytes() != 0)
        return false;
    Opened = true;
    Format = format;
    Bytes = bufferBytes;
    Count = bufferCount;
    Done = std::move(done);
    IsPaused = false;
    ++OpenCount;
    return true;
}

bool RecordingAudioOutput::IsOpen() const {
    std::lock_guard guard(Lock);
    return Opened;
}

bool RecordingAudioOutput::PrepareBuffer(const uint8_t* block, uint32_t size) {
    std::lock_guard guard(Lock);
    if (FailPrepare || !Opened || !block || size != Bytes || Prepared.size() >= Count ||
        std::count(Prepared.begin(), Prepared.end(), block))
        return false;
    Prepared.push_back(block);
    return true;
}

bool RecordingAudioOutput::UnprepareBuffer(const uint8_t* block) {
    std::lock_guard guard(Lock);
    auto it = std::find(Prepared.begin(), Prepared.end(), block);
    if (FailUnprepare || it == Prepared.end() || std::count(Queue.begin(), Queue.end(), block))
        return false;
    Prepared.erase(it);
    return true;
}

bool RecordingAudioOutput::Write(const uint8_t* block, uint32_t size) {
    {
        std::lock_guard guard(Lock);
        if (!Opened || size != Bytes || Queue.size() >= Count ||
            !std::count(Prepared.begin(), Prepared.end(), block) ||
            std::count(Queue.begin(), Queue.end(), block))
            return false;
        Queue.push_back(block);
        ++WriteCount;
    }
    Changed.notify_all();
    return true;
}

bool RecordingAudioOutput::Pause() {
    std::lock_guard guard(Lock);
    if (FailPause || !Opened) return false;
    IsPaused = true;
    return true;
}

bool RecordingAudioOutput::Restart() {
    {
        std::lock_guard guard(Lock);
        if (FailRestart || !Opened) return false;
        IsPaused = false;
    }
    Changed.notify_all();
    return true;
}

void RecordingAudioOutput::WaitIdle(std::unique_lock<std::mutex>& lock) {
    Changed.wait(lock, [this] { return Reporting == 0; });
}

bool RecordingAudioOutput::Reset() {
    std::unique_lock lock(Lock);
    if (FailReset || !Opened) return false;
    Queue.clear();
    WaitIdle(lock);
    return true;
}

bool RecordingAudioOutput::Close() {
    std::unique_lock lock(Lock);
    if (FailClose || !Opened) return false;
    Queue.clear();
    WaitIdle(lock);
    Opened = false;
    Prepared.clear();
    Done = nullptr;
    ++CloseCount;
    return true;
}

size_t RecordingAudioOutput::Consume(size_t count) {
    size_t taken = 0;
    while (taken < count) {
        BufferDone done;
        {
            std::lock_guard guard(Lock);
            if (!Opened || IsPaused || Queue.empty()) break;
            const uint8_t* block = Queue.front();
            Queue.pop_front();
            PlayedBytes.insert(PlayedBytes.end(), block, block + Bytes);
            done = Done;
            ++Reporting;
        }
        done();
        {
            std::lock_guard guard(Lock);
            --Reporting;
        }
        Changed.notify_all();
        ++taken;
    }
    return taken;
}

void RecordingAudioOutput::StartPlayer() {
    StopPlayer();
    {
        std::lock_guard guard(Lock);
        PlayerStop = false;
    }
    Player = std::thread([this] {
        for (;;) {
            {
                std::unique_lock lock(Lock);
                Changed.wait(lock, [this] {
                    return PlayerStop || (Opened && !IsPaused && !Queue.empty());
                });
                if (PlayerStop) return;
            }
            Consume(1);
        }
    });
}

void RecordingAudioOutput::StopPlayer() {
    {
        std::lock_guard guard(Lock);
        PlayerStop = true;
    }
    Changed.notify_all();
    if (Player.joinable()) Player.join();
}

AudioFormat RecordingAudioOutput::OpenedFormat() const {
    std::lock_guard guard(Lock);
    return Format;
}
uint32_t RecordingAudioOutput::BufferBytes() const {
    std::lock_guard guard(Lock);
    return Bytes;
}
uint32_t RecordingAudioOutput::BufferCount() const {
    std::lock_guard guard(Lock);
    return Count;
}
size_t RecordingAudioOutput::Queued() const {
    std::lock_guard guard(Lock);
    return Queue.size();
}
size_t RecordingAudioOutput::PreparedCount() const {
    std::lock_guard guard(Lock);
    return Prepared.size();
}
size_t RecordingAudioOutput::Writes() const {
    std::lock_guard guard(Lock);
    return WriteCount;
}
bool RecordingAudioOutput::Paused() const {
    std::lock_guard guard(Lock);
    return IsPaused;
}
int RecordingAudioOutput::Opens() const {
    std::lock_guard guard(Lock);
    return OpenCount;
}
int RecordingAudioOutput::Closes() const {
    std::lock_guard guard(Lock);
    return CloseCount;
}
std::vector<uint8_t> RecordingAudioOutput::Played() const {
    std::lock_guard guard(Lock);
    return PlayedBytes;
}
void RecordingAudioOutput::ClearPlayed() {
    std::lock_guard guard(Lock);
    PlayedBytes.clear();
}

}  // namespace platform
