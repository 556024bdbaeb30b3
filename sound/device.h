// The process-wide sound device: a cache of loaded waves, the sound instances
// made from them, and the output ring that a software mixer keeps filled.
//
// Threads: everything is called from the main thread except the output's
// buffer-done callback, which mixes on the output's own thread. The state
// both threads touch (the playing list, positions, volumes, the playing flag
// and count) is guarded by the device's StateLock, held only for short
// sections that never allocate or wait.
//
// Events: OnPlay fires on the thread that called Play. OnStop fires on the
// thread that stopped the sound: the caller of Stop or StopAll, or, when a
// sound that is not looped reaches its end, the thread that mixed that
// buffer: the output's thread (the main thread only while SetActive queues
// the first buffers). Neither fires with StateLock held, so handlers may
// call Play and Stop; a handler on the output's thread must not do more
// than that (no loading, freeing or device changes).
#pragma once

#include "platform/audio_output.h"
#include "sound/mixer.h"
#include "sound/wave.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TCustomSoundDevice;

// A sound instance: one way of playing a cached wave. Instances belong to
// the device that made them.
class TCustomSound {
public:
    using TSoundEvent = std::function<void(TCustomSound& sound)>;

    TCustomSound(TWaveSound* wave, TCustomSoundDevice* device);
    virtual ~TCustomSound() = default;
    TCustomSound(const TCustomSound&) = delete;
    TCustomSound& operator=(const TCustomSound&) = delete;

    TSoundEvent OnPlay;
    TSoundEvent OnStop;

    bool Playing() const { return FPlaying.load(); }
    bool Looped() const { return FLooped.load(); }
    void SetLooped(bool v) { FLooped = v; }
    int32_t Volume() const { return FVolume; }
    void SetVolume(int32_t v);
    int32_t Pan() const { return FPan; }
    void SetPan(int32_t p);
    bool Music() const { return FMusic; }
    // Takes the device's music or sound volume.
    void SetMusic(bool v);
    TWaveSound* Wave() const { return FWave; }
    TCustomSoundDevice* Device() const { return FDevice; }

    virtual void Play() = 0;
    virtual void Stop() = 0;

protected:
    friend class TCustomSoundDevice;
    virtual void PanChanged() {}
    virtual void VolumeChanged() {}

    std::atomic<bool> FPlaying{false};  // written under the device's StateLock
    std::atomic<bool> FLooped{false};
    int32_t FVolume = 100;
    int32_t FPan = 0;
    TCustomSoundDevice* FDevice;
    TWaveSound* FWave;
    bool FMusic = false;
};

class TCustomSoundDevice {
public:
    TCustomSoundDevice() = default;
    virtual ~TCustomSoundDevice();
    TCustomSoundDevice(const TCustomSoundDevice&) = delete;
    TCustomSoundDevice& operator=(const TCustomSoundDevice&) = delete;

    // Waves are read from the resource archive instead of the disk.
    bool FromArchive = false;

    // Nothing when the device is not enabled. The wave is loaded once per
    // file name (without its path) and shared by every instance made from it.
    // Raises the wave's load or conversion error.
    TCustomSound* CreateSound(const std::string& fileName);
    // Stops and frees an instance this device made.
    void FreeSound(TCustomSound* sound);
    // (Re)loads the wave and converts it to the device's format; sounds
    // playing it are stopped first. Nothing when not enabled.
    void LoadWave(TWaveSound& wave);

    // Opens or closes the output; a failure disables the device silently.
    void SetActive(bool v);
    // Stores the format and re-enables the device, reopens the output when it
    // was active, and reloads every cached wave in the new format. Sounds
    // playing cached waves are stopped first.
    virtual void SetFormat(uint8_t rateIndex, bool bits16, int16_t channels);
    void SetSoundVolume(int32_t v);
    void SetMusicVolume(int32_t v);

    // Open and close the output; they raise their errors (SetActive is the
    // caller that absorbs them).
    virtual void Activate() = 0;
    virtual void Deactivate() = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    virtual void StopAll() = 0;

    bool DeviceActive() const { return FDeviceActive; }
    bool DeviceEnabled() const { return FDeviceEnabled; }
    bool DevicePaused() const { return FDevicePaused; }
    int16_t Channels() const { return FChannels; }
    bool Bits16() const { return FBits16; }
    uint8_t RateIndex() const { return FRateIndex; }
    uint16_t Rate() const;  // samples per second from RateIndex
    uint16_t BitsPerSample() const { return FBits16 ? 16 : 8; }
    int32_t SoundVolume() const { return FSoundVolume; }
    int32_t MusicVolume() const { return FMusicVolume; }
    int32_t PlayingCount() const { return FPlayingCount.load(); }
    const std::vector<std::unique_ptr<TCustomSound>>& SoundInstances() const { return FSoundInstances; }
    // The cached wave of that file name (path ignored), or nullptr.
    TWaveSound* CachedWave(const std::string& fileName) const;
    size_t WaveCacheCount() const { return FWaveCache.size(); }

protected:
    virtual std::unique_ptr<TCustomSound> CreateSoundInstance(TWaveSound* wave) = 0;

    // Stops everything and closes the output; the most derived destructor
    // calls it while its overrides still exist.
    void Shutdown();
    void StopSoundsOf(const TWaveSound& wave);

    struct CaseInsensitiveLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };

    mutable std::mutex StateLock;
    std::atomic<int32_t> FPlayingCount{0};  // written under StateLock

private:
    bool FDeviceActive = false;
    int16_t FChannels = 1;
    bool FBits16 = true;
    uint8_t FRateIndex = 1;
    std::vector<std::unique_ptr<TCustomSound>> FSoundInstances;
    std::map<std::string, std::unique_ptr<TWaveSound>, CaseInsensitiveLess> FWaveCache;
    bool FDeviceEnabled = true;
    int32_t FSoundVolume = 100;
    int32_t FMusicVolume = 100;

protected:
    bool FDevicePaused = false;
};

class TWinSoundDevice;

// A sound instance mixed by TWinSoundDevice.
class TWinSound final : public TCustomSound {
public:
    TWinSound(TWaveSound* wave, TWinSoundDevice* device);
    ~TWinSound() override;

    // Nothing when already playing. Starts only when the device is enabled,
    // fewer than eight sounds play, and the wave holds at least one frame in
    // the device's format.
    void Play() override;
    void Stop() override;

    int32_t PlayPosition() const;
    const uint8_t* PlayPointer() const;
    int32_t EffectiveVolume() const;

protected:
    void VolumeChanged() override;

private:
    friend class TWinSoundDevice;
    TWinSoundDevice* Owner;
    TMixVoice Voice;  // guarded by the device's StateLock
};

// The waveform-output device: 33 small buffers kept queued on the output,
// each refilled by mixing up to eight playing sounds as soon as the output
// has taken it.
class TWinSoundDevice final : public TCustomSoundDevice {
public:
    static constexpr int BufferCount = 33;
    static constexpr int MaxPlaying = MaxMixVoices;

    explicit TWinSoundDevice(platform::IAudioOutput& output);
    ~TWinSoundDevice() override;

    // Switches to another output: closed on the old one, reopened on the new
    // one when it was active.
    void SetOutput(platform::IAudioOutput& output);
    platform::IAudioOutput& Output() const { return *FOutput; }

    void Activate() override;
    void Deactivate() override;
    void Pause() override;
    void Resume() override;
    void StopAll() override;

    // The output format record (18 bytes, PCM) of the current settings.
    std::vector<uint8_t> OutputFormat() const;
    int32_t PlayingListCount() const;
    TWinSound* PlayingSound(int index) const;
    int32_t CurrentBuffer() const;
    int32_t QueuedCount() const;
    int32_t BufferBytes() const;

protected:
    std::unique_ptr<TCustomSound> CreateSoundInstance(TWaveSound* wave) override;

private:
    friend class TWinSound;
    using StoppedList = std::array<TWinSound*, MaxPlaying>;

    // Both with StateLock held.
    bool StartPlaying(TWinSound* sound);
    void RemovePlaying(TWinSound* sound);
    void FillBuffer(StoppedList& stopped, int& stoppedCount);
    void BufferDone();
    void FireStopped(const StoppedList& stopped, int count);
    // Lets an instance go only when no OnStop is being fired from the output's
    // thread. StateLock held through lock.
    void WaitForEvents(std::unique_lock<std::mutex>& lock);
    void ReleaseBuffers();

    platform::IAudioOutput* FOutput;
    platform::AudioFormat FFormat;
    std::array<std::vector<uint8_t>, BufferCount> OutBuffers;
    int32_t FBufferBytes = 0;
    bool OutputOpen = false;

    // Guarded by StateLock.
    std::array<TWinSound*, MaxPlaying> PlayingList{};
    int32_t PlayingListSize = 0;
    int32_t FCurrentBuffer = 0;
    bool Stopping = true;
    int32_t FQueuedCount = 0;
    int32_t EventsFiring = 0;
    std::thread::id EventThread;
    std::condition_variable EventsDone;
};

// The device of the process, on the system's audio output. Created on first
// use, destroyed at exit.
TWinSoundDevice& SoundDevice();
