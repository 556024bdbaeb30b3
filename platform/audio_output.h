// PCM output fed with a ring of fixed-size buffers: the caller queues
// buffers, the output plays them in order and reports each one done once the
// system has taken it, and the caller refills and queues it again.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

struct AudioFormat {
    uint16_t Channels = 1;
    uint32_t SamplesPerSec = 22050;
    uint16_t BitsPerSample = 16;  // 8: unsigned bytes; 16: signed little-endian

    uint32_t FrameBytes() const { return uint32_t(Channels) * (BitsPerSample / 8u); }
};

class IAudioOutput {
public:
    // Runs on the output's own thread, once for every buffer the system has
    // taken. Never runs after Reset or Close returned, so whoever calls
    // those must not hold a lock that this function takes.
    using BufferDone = std::function<void()>;

    virtual ~IAudioOutput() = default;

    // Opens the default output for buffers of bufferBytes (whole frames), at
    // most bufferCount of them queued. False when no output can be opened.
    virtual bool Open(const AudioFormat& format, uint32_t bufferBytes, uint32_t bufferCount,
                      BufferDone done) = 0;
    virtual bool IsOpen() const = 0;
    // False while an open output has lost the system's device (unplugged,
    // sound server gone). It keeps its queued buffers, reports none done,
    // and looks for the device again at growing intervals.
    virtual bool Connected() const = 0;

    // Makes a block of bufferBytes known as one of the ring's buffers. False
    // when not open, the size is not the buffer size, or the ring is full.
    virtual bool PrepareBuffer(const uint8_t* block, uint32_t size) = 0;
    // False for a block that is unknown or still queued.
    virtual bool UnprepareBuffer(const uint8_t* block) = 0;

    // Queues a prepared block; never blocks. The block must not change until
    // it is reported done (or the output was reset). Safe from inside done.
    virtual bool Write(const uint8_t* block, uint32_t size) = 0;

    virtual bool Pause() = 0;
    virtual bool Restart() = 0;
    // Drops every queued buffer without reporting it done; stays open.
    virtual bool Reset() = 0;
    // Drops everything and closes; false when it was not open.
    virtual bool Close() = 0;
};

// The output of this OS: ALSA's "default" PCM on Linux, fed by a thread that
// hands one buffer to ALSA each time ALSA has room for it.
IAudioOutput& SystemAudioOutput();

}  // namespace platform
