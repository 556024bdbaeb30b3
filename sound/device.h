// The process-wide sound device: a cache of loaded waves, the sound instances
// made from them, and a ring of 33 small output buffers that a software mixer
// keeps filled, refilling each one as the output hands it back.
//
// Threads: everything is called from the main thread except the output's
// buffer-done callback, which mixes the next buffer on the output's own
// thread. That thread touches only the mix state (TMixState below), and only
// with MixLock held; it never reads a sound object or its events.
//
// Events: OnPlay and OnStop fire on the main thread. OnPlay fires in Play;
// OnStop in Stop, StopAll and FreeSound. A sound that is not looped and
// reaches its end in the mix is queued, and its OnStop fires at the next
// DeliverEvents (the scene's sound list calls it every frame), or earlier
// when the main thread plays, stops or frees sounds. A queued sound without
// an OnStop is simply dropped. No event fires with MixLock held, so
// handlers may play and stop sounds; a handler must not free its own sound.
#pragma once

#include "platform/audio_output.h"
#include "sound/mixer.h"
#include "sound/wave.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TWinSoundDevice;

// A sound instance: one way of playing a cached wave. Instances belong to
// the device that made them; all of their state is the main thread's.
class TCustomSound final {
public:
    using TSoundEvent = std::function<void(TCustomSound& sound)>;

    TCustomSound(TWaveSound* wave, TWinSoundDevice* device);
    ~TCustomSound();
    TCustomSound(const TCustomSound&) = delete;
    TCustomSound& operator=(const TCustomSound&) = delete;

    TSoundEvent OnPlay;
    TSoundEvent OnStop;

    bool Playing() const;
    bool Looped() const { return FLooped; }
    void SetLooped(bool v);
    int32_t Volume() const { return FVolume; }
    void SetVolume(int32_t v);
    int32_t EffectiveVolume() const;  // Volume limited to 0..100
    int32_t Pan() const { return FPan; }
    void SetPan(int32_t p) { FPan = p; }  // stored only
    bool Music() const { return FMusic; }
    // Takes the device's music or sound volume.
    void SetMusic(bool v);
    TWaveSound* Wave() const { return FWave; }
    TWinSoundDevice* Device() const { return FDevice; }

    // Nothing when already playing. Starts only when the device is enabled,
    // fewer than eight sounds play, and the wave holds at least one frame in
    // the device's format.
    void Play();
    void Stop();

    // Bytes of the wave mixed so far, and the next byte to mix; 0 and the
    // start of the data while not playing.
    int32_t PlayPosition() const;
    const uint8_t* PlayPointer() const;

private:
    TWinSoundDevice* FDevice;
    TWaveSound* FWave;
    bool FLooped = false;
    int32_t FVolume = 100;
    int32_t FPan = 0;
    bool FMusic = false;
};

// The device over a platform audio output: 33 small buffers kept queued,
// each refilled by mixing up to eight playing sounds as soon as the output
// has taken it.
class TWinSoundDevice {
public:
    static constexpr int BufferCount = 33;
    static constexpr int MaxPlaying = MaxMixVoices;

    explicit TWinSoundDevice(platform::IAudioOutput& output);
    ~TWinSoundDevice();
    TWinSoundDevice(const TWinSoundDevice&) = delete;
    TWinSoundDevice& operator=(const TWinSoundDevice&) = delete;

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
    void SetFormat(uint8_t rateIndex, bool bits16, int16_t channels);
    void SetSoundVolume(int32_t v);
    void SetMusicVolume(int32_t v);
    // Switches to another output: closed on the old one, reopened on the new
    // one when it was active.
    void SetOutput(platform::IAudioOutput& output);

    // Open and close the output; they raise their errors (SetActive is the
    // caller that absorbs them).
    void Activate();
    void Deactivate();
    void Pause();
    void Resume();
    void StopAll();
    // Fires OnStop for the sounds that ended in the mix since the last call.
    void DeliverEvents();

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
    const std::vector<std::unique_ptr<TCustomSound>>& SoundInstances() const { return FSoundInstances; }
    // The cached wave of that file name (path ignored), or nullptr.
    TWaveSound* CachedWave(const std::string& fileName) const;
    size_t WaveCacheCount() const { return FWaveCache.size(); }
    platform::IAudioOutput& Output() const { return *Mix.Output; }
    // The output format record (18 bytes, PCM) of the current settings.
    std::vector<uint8_t> OutputFormat() const;

    // The mix state, read under MixLock.
    int32_t PlayingCount() const;
    int32_t PlayingListCount() const { return PlayingCount(); }
    TCustomSound* PlayingSound(int index) const;
    int32_t CurrentBuffer() const;
    int32_t QueuedCount() const;
    int32_t BufferBytes() const;

private:
    friend class TCustomSound;

    // One playing sound: which instance (never dereferenced by the mixer)
    // and where the mix is in its wave.
    struct TPlayingSound {
        TCustomSound* Sound = nullptr;
        TMixVoice Voice;
    };
    // Everything the output's thread touches. The main thread writes it only
    // under MixLock too, so it may read Output without the lock.
    struct TMixState {
        platform::IAudioOutput* Output = nullptr;
        std::array<std::vector<uint8_t>, BufferCount> Buffers;
        uint32_t BufferBytes = 0;
        int32_t FrameBytes = 0;
        bool Bits16 = true;
        std::array<TPlayingSound, MaxPlaying> Playing{};  // in the order they started
        int32_t PlayingCount = 0;
        std::array<TCustomSound*, MaxPlaying> Ended{};  // waiting for DeliverEvents
        int32_t EndedCount = 0;
        int32_t CurrentBuffer = 0;
        int32_t QueuedCount = 0;
        bool Stopping = true;  // buffers handed back are not refilled
    };

    // For TCustomSound: the mix side of its operations.
    enum class TStart { Started, Refused, EventsWaiting };
    TStart StartSound(TCustomSound& sound);
    bool StopSound(const TCustomSound& sound);
    void UpdateSound(const TCustomSound& sound);
    bool IsPlaying(const TCustomSound& sound) const;
    TMixVoice VoiceOf(const TCustomSound& sound) const;
    void ForgetSound(const TCustomSound& sound);

    // With MixLock held.
    int FindPlaying(const TCustomSound& sound) const;
    void RemovePlaying(int index);
    void FillBuffer();
    // The output's callback.
    void BufferDone();

    void StopSoundsOf(const TWaveSound& wave);
    void ReleaseBuffers();

    struct CaseInsensitiveLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };

    // The main thread's.
    bool FDeviceActive = false;
    bool FDeviceEnabled = true;
    bool FDevicePaused = false;
    int16_t FChannels = 1;
    bool FBits16 = true;
    uint8_t FRateIndex = 1;
    int32_t FSoundVolume = 100;
    int32_t FMusicVolume = 100;
    bool OutputOpen = false;
    std::vector<std::unique_ptr<TCustomSound>> FSoundInstances;
    std::map<std::string, std::unique_ptr<TWaveSound>, CaseInsensitiveLess> FWaveCache;

    mutable std::mutex MixLock;
    TMixState Mix;  // guarded by MixLock
};

// The device of the process, on the system's audio output. Created on first
// use, destroyed at exit.
TWinSoundDevice& SoundDevice();
