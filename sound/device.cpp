#include "sound/device.h"

#include "core/archive.h"
#include "core/errors.h"
#include "core/strutil.h"

#include <algorithm>

// ---------------------------------------------------------------------------
// TCustomSound

TCustomSound::TCustomSound(TWaveSound* wave, TWinSoundDevice* device)
    : FDevice(device), FWave(wave), FVolume(device ? device->SoundVolume() : 100) {}

TCustomSound::~TCustomSound() {
    // Leaves quietly: the mixer must never see it again.
    if (FDevice) FDevice->ForgetSound(*this);
}

bool TCustomSound::Playing() const { return FDevice && FDevice->IsPlaying(*this); }

void TCustomSound::SetLooped(bool v) {
    FLooped = v;
    if (FDevice) FDevice->UpdateSound(*this);
}

void TCustomSound::SetVolume(int32_t v) {
    if (v == FVolume) return;
    FVolume = v;
    if (FDevice) FDevice->UpdateSound(*this);
}

int32_t TCustomSound::EffectiveVolume() const { return std::clamp(FVolume, 0, 100); }

void TCustomSound::SetMusic(bool v) {
    FMusic = v;
    if (FDevice) SetVolume(v ? FDevice->MusicVolume() : FDevice->SoundVolume());
}

void TCustomSound::Play() {
    if (!FDevice) return;
    // Sounds that ended are told before anything starts: an earlier end of
    // this sound comes before its new start, and no more sounds wait for
    // their OnStop than can play at once.
    TWinSoundDevice::TStart result;
    do {
        FDevice->DeliverEvents();
        result = FDevice->StartSound(*this);
    } while (result == TWinSoundDevice::TStart::EventsWaiting);
    if (result == TWinSoundDevice::TStart::Started && OnPlay) OnPlay(*this);
}

void TCustomSound::Stop() {
    if (!FDevice) return;
    FDevice->DeliverEvents();
    if (FDevice->StopSound(*this) && OnStop) OnStop(*this);
}

int32_t TCustomSound::PlayPosition() const { return FDevice ? FDevice->VoiceOf(*this).Position : 0; }

const uint8_t* TCustomSound::PlayPointer() const {
    const TMixVoice voice = FDevice ? FDevice->VoiceOf(*this) : TMixVoice{};
    if (voice.Data) return voice.Data + voice.Position;
    return FWave ? FWave->WaveData() : nullptr;
}

// ---------------------------------------------------------------------------
// TWinSoundDevice: settings and the wave cache

bool TWinSoundDevice::CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
    return str::CompareText(a, b) < 0;
}

TWinSoundDevice::TWinSoundDevice(platform::IAudioOutput& output) { Mix.Output = &output; }

TWinSoundDevice::~TWinSoundDevice() {
    StopAll();
    SetActive(false);
    if (OutputOpen) ReleaseBuffers();
    // Instances go first: they may refer to the cached waves.
    FSoundInstances.clear();
    FWaveCache.clear();
}

uint16_t TWinSoundDevice::Rate() const {
    switch (FRateIndex) {
        case 0: return 11025;
        case 2: return 44100;
        default: return 22050;
    }
}

TWaveSound* TWinSoundDevice::CachedWave(const std::string& fileName) const {
    auto it = FWaveCache.find(std::string(str::ExtractFileName(fileName)));
    return it == FWaveCache.end() ? nullptr : it->second.get();
}

TCustomSound* TWinSoundDevice::CreateSound(const std::string& fileName) {
    if (!FDeviceEnabled) return nullptr;
    const std::string name(str::ExtractFileName(fileName));
    TWaveSound* wave;
    auto it = FWaveCache.find(name);
    if (it == FWaveCache.end()) {
        auto loaded = std::make_unique<TWaveSound>(fileName);
        LoadWave(*loaded);
        wave = loaded.get();
        FWaveCache.emplace(name, std::move(loaded));
    } else {
        wave = it->second.get();
    }
    FSoundInstances.push_back(std::make_unique<TCustomSound>(wave, this));
    return FSoundInstances.back().get();
}

void TWinSoundDevice::FreeSound(TCustomSound* sound) {
    auto it = std::find_if(FSoundInstances.begin(), FSoundInstances.end(),
                           [sound](const auto& s) { return s.get() == sound; });
    if (it == FSoundInstances.end()) return;
    std::unique_ptr<TCustomSound> owned = std::move(*it);
    FSoundInstances.erase(it);
    owned->Stop();
}

void TWinSoundDevice::StopSoundsOf(const TWaveSound& wave) {
    // By index: the OnStop handlers may make new sounds.
    for (size_t i = 0; i < FSoundInstances.size(); ++i) {
        TCustomSound& sound = *FSoundInstances[i];
        if (sound.Wave() == &wave && sound.Playing()) sound.Stop();
    }
}

void TWinSoundDevice::LoadWave(TWaveSound& wave) {
    if (!FDeviceEnabled) return;
    // The mixer must not be reading the bytes that are about to be replaced.
    StopSoundsOf(wave);
    if (FromArchive) {
        TResourceFileReader& reader = TheResourceReader();
        if (reader.Open(wave.WaveFileName) && reader.Stream())
            wave.LoadFromStream(*reader.Stream());
        else
            wave.ClearWave();
    } else {
        wave.LoadFromFile();
    }
    wave.ConvertTo(uint16_t(FChannels), Rate(), BitsPerSample());
}

void TWinSoundDevice::SetActive(bool v) {
    if (v == FDeviceActive) return;
    FDeviceActive = v;
    try {
        if (FDeviceEnabled && FDeviceActive)
            Activate();
        else
            Deactivate();
    } catch (const std::exception&) {
        FDeviceEnabled = false;
        FDeviceActive = false;
    }
}

void TWinSoundDevice::SetFormat(uint8_t rateIndex, bool bits16, int16_t channels) {
    // Every cached wave is about to be replaced.
    for (auto& [name, wave] : FWaveCache) StopSoundsOf(*wave);
    FRateIndex = rateIndex;
    FBits16 = bits16;
    FChannels = channels;
    FDeviceEnabled = true;
    if (FDeviceActive) {
        SetActive(false);
        SetActive(true);
    }
    for (auto& [name, wave] : FWaveCache) LoadWave(*wave);
}

void TWinSoundDevice::SetSoundVolume(int32_t v) {
    if (v == FSoundVolume) return;
    FSoundVolume = std::clamp(v, 0, 100);
    for (auto& sound : FSoundInstances)
        if (!sound->Music()) sound->SetVolume(FSoundVolume);
}

void TWinSoundDevice::SetMusicVolume(int32_t v) {
    if (v == FMusicVolume) return;
    FMusicVolume = std::clamp(v, 0, 100);
    for (auto& sound : FSoundInstances)
        if (sound->Music()) sound->SetVolume(FMusicVolume);
}

void TWinSoundDevice::SetOutput(platform::IAudioOutput& output) {
    const bool wasActive = FDeviceActive;
    SetActive(false);
    {
        std::lock_guard guard(MixLock);
        Mix.Output = &output;
    }
    SetActive(wasActive);
}

std::vector<uint8_t> TWinSoundDevice::OutputFormat() const {
    const uint32_t channels = uint16_t(FChannels);
    const uint32_t rate = Rate();
    const uint32_t bits = BitsPerSample();
    const uint32_t blockAlign = bits * channels / 8;
    const uint32_t avg = blockAlign * rate;
    std::vector<uint8_t> f(TWaveSound::FormatRecordSize, 0);
    auto put = [&f](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) f[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put(0, TWaveSound::FormatTagPcm, 2);
    put(2, channels, 2);
    put(4, rate, 4);
    put(8, avg, 4);
    put(12, blockAlign, 2);
    put(14, bits, 2);
    return f;
}

// ---------------------------------------------------------------------------
// TWinSoundDevice: the output

void TWinSoundDevice::Activate() {
    platform::AudioFormat format;
    format.Channels = FChannels > 0 ? uint16_t(FChannels) : 0;
    format.SamplesPerSec = Rate();
    format.BitsPerSample = BitsPerSample();
    // 64 frames at 11025 Hz, scaled: 256 bytes at 22050 Hz 16-bit mono.
    const uint32_t bufferBytes = format.FrameBytes() * format.SamplesPerSec / 11025 * 64;
    platform::IAudioOutput& output = *Mix.Output;
    if (!output.Open(format, bufferBytes, BufferCount, [this] { BufferDone(); }))
        throw Exception("TWinSoundDevice.Activate error: waveOutOpen failed");
    OutputOpen = true;
    {
        // Nothing is queued yet, so the output's thread is not mixing.
        std::lock_guard guard(MixLock);
        Mix.BufferBytes = bufferBytes;
        Mix.FrameBytes = int32_t(format.FrameBytes());
        Mix.Bits16 = format.BitsPerSample == 16;
        for (auto& block : Mix.Buffers) block.assign(bufferBytes, Mix.Bits16 ? 0 : 128);
    }
    for (auto& block : Mix.Buffers) {
        if (!output.PrepareBuffer(block.data(), bufferBytes)) {
            ReleaseBuffers();
            throw Exception("TWinSoundDevice.Activate error: waveOutPrepareHeader failed");
        }
    }
    {
        std::lock_guard guard(MixLock);
        Mix.Stopping = false;
        Mix.CurrentBuffer = 0;
        Mix.QueuedCount = 0;
        for (int i = 0; i < BufferCount; ++i) FillBuffer();
    }
    // Sounds shorter than the ring have already ended.
    DeliverEvents();
}

void TWinSoundDevice::ReleaseBuffers() {
    // The output may still hold blocks it has not given back: they are only
    // freed once it is closed.
    platform::IAudioOutput& output = *Mix.Output;
    output.Reset();
    for (auto& block : Mix.Buffers)
        if (!block.empty()) output.UnprepareBuffer(block.data());
    output.Close();
    if (!output.IsOpen()) {
        std::lock_guard guard(MixLock);
        for (auto& block : Mix.Buffers) std::vector<uint8_t>().swap(block);
    }
    OutputOpen = false;
}

void TWinSoundDevice::Deactivate() {
    // Nothing was opened (the device was never activated or is disabled).
    if (!OutputOpen) return;
    {
        std::lock_guard guard(MixLock);
        Mix.Stopping = true;
    }
    // Everything is released even when a step fails; the first failure is
    // reported afterwards. MixLock is not held: Reset waits for a running
    // BufferDone.
    platform::IAudioOutput& output = *Mix.Output;
    const char* failure = nullptr;
    if (!output.Reset()) failure = "TWinSoundDevice.Deactivate error: waveOutReset failed";
    {
        std::lock_guard guard(MixLock);
        Mix.QueuedCount = 0;
    }
    for (auto& block : Mix.Buffers)
        if (!block.empty() && !output.UnprepareBuffer(block.data()) && !failure)
            failure = "TWinSoundDevice.Deactivate error: waveOutUnprepareHeader failed";
    if (!output.Close() && !failure) failure = "TWinSoundDevice.Deactivate error: waveOutClose failed";
    if (!output.IsOpen()) {
        std::lock_guard guard(MixLock);
        for (auto& block : Mix.Buffers) std::vector<uint8_t>().swap(block);
    }
    OutputOpen = false;
    if (failure) throw Exception(failure);
}

void TWinSoundDevice::Pause() {
    FDevicePaused = true;
    if (!Mix.Output->Pause()) throw Exception("TWinSoundDevice.Pause error: waveOutPause failed");
}

void TWinSoundDevice::Resume() {
    FDevicePaused = false;
    if (!Mix.Output->Restart()) throw Exception("TWinSoundDevice.Resume error: waveOutRestart failed");
}

void TWinSoundDevice::StopAll() {
    DeliverEvents();
    for (;;) {
        TCustomSound* last;
        {
            std::lock_guard guard(MixLock);
            if (Mix.PlayingCount == 0) return;
            last = Mix.Playing[size_t(Mix.PlayingCount - 1)].Sound;
        }
        last->Stop();
    }
}

void TWinSoundDevice::DeliverEvents() {
    // One at a time: a handler may play, stop or free other sounds.
    for (;;) {
        TCustomSound* sound;
        {
            std::lock_guard guard(MixLock);
            if (Mix.EndedCount == 0) return;
            sound = Mix.Ended[0];
            std::copy(Mix.Ended.begin() + 1, Mix.Ended.begin() + Mix.EndedCount, Mix.Ended.begin());
            Mix.Ended[size_t(--Mix.EndedCount)] = nullptr;
        }
        if (sound->OnStop) sound->OnStop(*sound);
    }
}

// ---------------------------------------------------------------------------
// TWinSoundDevice: the mix

int TWinSoundDevice::FindPlaying(const TCustomSound& sound) const {
    for (int i = 0; i < Mix.PlayingCount; ++i)
        if (Mix.Playing[size_t(i)].Sound == &sound) return i;
    return -1;
}

void TWinSoundDevice::RemovePlaying(int index) {
    std::copy(Mix.Playing.begin() + index + 1, Mix.Playing.begin() + Mix.PlayingCount, Mix.Playing.begin() + index);
    Mix.Playing[size_t(--Mix.PlayingCount)] = TPlayingSound{};
}

TWinSoundDevice::TStart TWinSoundDevice::StartSound(TCustomSound& sound) {
    // A wave that is empty, failed to load or is not in the output format
    // would never advance the mix, or mix garbage.
    const TWaveSound* wave = sound.Wave();
    const int32_t frameBytes = int32_t(uint16_t(FChannels)) * (BitsPerSample() / 8);
    if (!FDeviceEnabled || !wave || !wave->WaveLoaded() || frameBytes <= 0 || wave->WaveDataSize() < frameBytes ||
        wave->FormatTag() != TWaveSound::FormatTagPcm || wave->Channels() != uint16_t(FChannels) ||
        wave->SamplesPerSec() != Rate() || wave->BitsPerSample() != BitsPerSample())
        return TStart::Refused;
    std::lock_guard guard(MixLock);
    if (Mix.EndedCount > 0) return TStart::EventsWaiting;
    if (FindPlaying(sound) >= 0 || Mix.PlayingCount >= MaxPlaying) return TStart::Refused;
    TPlayingSound& slot = Mix.Playing[size_t(Mix.PlayingCount++)];
    slot.Sound = &sound;
    slot.Voice = TMixVoice{};
    slot.Voice.Data = wave->WaveData();
    slot.Voice.Size = wave->WaveDataSize();
    slot.Voice.Volume = sound.EffectiveVolume();
    slot.Voice.Looped = sound.Looped();
    return TStart::Started;
}

bool TWinSoundDevice::StopSound(const TCustomSound& sound) {
    std::lock_guard guard(MixLock);
    const int index = FindPlaying(sound);
    if (index < 0) return false;
    RemovePlaying(index);
    return true;
}

void TWinSoundDevice::UpdateSound(const TCustomSound& sound) {
    std::lock_guard guard(MixLock);
    const int index = FindPlaying(sound);
    if (index < 0) return;
    Mix.Playing[size_t(index)].Voice.Volume = sound.EffectiveVolume();
    Mix.Playing[size_t(index)].Voice.Looped = sound.Looped();
}

bool TWinSoundDevice::IsPlaying(const TCustomSound& sound) const {
    std::lock_guard guard(MixLock);
    return FindPlaying(sound) >= 0;
}

TMixVoice TWinSoundDevice::VoiceOf(const TCustomSound& sound) const {
    std::lock_guard guard(MixLock);
    const int index = FindPlaying(sound);
    return index < 0 ? TMixVoice{} : Mix.Playing[size_t(index)].Voice;
}

void TWinSoundDevice::ForgetSound(const TCustomSound& sound) {
    std::lock_guard guard(MixLock);
    if (const int index = FindPlaying(sound); index >= 0) RemovePlaying(index);
    auto end = std::remove(Mix.Ended.begin(), Mix.Ended.begin() + Mix.EndedCount, &sound);
    std::fill(end, Mix.Ended.begin() + Mix.EndedCount, nullptr);
    Mix.EndedCount = int32_t(end - Mix.Ended.begin());
}

void TWinSoundDevice::FillBuffer() {
    uint8_t* out = Mix.Buffers[size_t(Mix.CurrentBuffer)].data();
    TMixVoice* voices[MaxPlaying];
    for (int32_t i = 0; i < Mix.PlayingCount; ++i) voices[i] = &Mix.Playing[size_t(i)].Voice;
    MixBlock(out, int32_t(Mix.BufferBytes), Mix.FrameBytes, Mix.Bits16, voices, Mix.PlayingCount);
    // Finished sounds leave the list in list order; their OnStop waits for
    // the main thread. Nothing starts while sounds wait there, so eight
    // places are enough.
    for (int32_t i = 0; i < Mix.PlayingCount;) {
        if (!Mix.Playing[size_t(i)].Voice.Finished) {
            ++i;
            continue;
        }
        if (Mix.EndedCount < MaxPlaying) Mix.Ended[size_t(Mix.EndedCount++)] = Mix.Playing[size_t(i)].Sound;
        RemovePlaying(i);
    }
    Mix.Output->Write(out, Mix.BufferBytes);
    Mix.CurrentBuffer = (Mix.CurrentBuffer + 1) % BufferCount;
    ++Mix.QueuedCount;
}

void TWinSoundDevice::BufferDone() {
    std::lock_guard guard(MixLock);
    --Mix.QueuedCount;
    if (!Mix.Stopping) FillBuffer();
}

int32_t TWinSoundDevice::PlayingCount() const {
    std::lock_guard guard(MixLock);
    return Mix.PlayingCount;
}

TCustomSound* TWinSoundDevice::PlayingSound(int index) const {
    std::lock_guard guard(MixLock);
    return index >= 0 && index < Mix.PlayingCount ? Mix.Playing[size_t(index)].Sound : nullptr;
}

int32_t TWinSoundDevice::CurrentBuffer() const {
    std::lock_guard guard(MixLock);
    return Mix.CurrentBuffer;
}

int32_t TWinSoundDevice::QueuedCount() const {
    std::lock_guard guard(MixLock);
    return Mix.QueuedCount;
}

int32_t TWinSoundDevice::BufferBytes() const {
    std::lock_guard guard(MixLock);
    return int32_t(Mix.BufferBytes);
}

TWinSoundDevice& SoundDevice() {
    static TWinSoundDevice device(platform::SystemAudioOutput());
    return device;
}
