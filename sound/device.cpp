#include "sound/device.h"

#include "core/archive.h"
#include "core/errors.h"
#include "core/strutil.h"

#include <algorithm>

// ---------------------------------------------------------------------------
// TCustomSound

TCustomSound::TCustomSound(TWaveSound* wave, TCustomSoundDevice* device)
    : FVolume(device ? device->SoundVolume() : 100), FDevice(device), FWave(wave) {}

void TCustomSound::SetVolume(int32_t v) {
    if (v == FVolume) return;
    FVolume = v;
    VolumeChanged();
}

void TCustomSound::SetPan(int32_t p) {
    if (p == FPan) return;
    FPan = p;
    PanChanged();
}

void TCustomSound::SetMusic(bool v) {
    FMusic = v;
    if (FDevice) SetVolume(v ? FDevice->MusicVolume() : FDevice->SoundVolume());
}

// ---------------------------------------------------------------------------
// TCustomSoundDevice

bool TCustomSoundDevice::CaseInsensitiveLess::operator()(const std::string& a,
                                                         const std::string& b) const {
    return str::CompareText(a, b) < 0;
}

TCustomSoundDevice::~TCustomSoundDevice() {
    // Instances go first: they may refer to the cached waves.
    for (auto& sound : FSoundInstances) sound->FDevice = nullptr;
    FSoundInstances.clear();
    FWaveCache.clear();
}

void TCustomSoundDevice::Shutdown() {
    StopAll();
    SetActive(false);
}

uint16_t TCustomSoundDevice::Rate() const {
    switch (FRateIndex) {
        case 0: return 11025;
        case 2: return 44100;
        default: return 22050;
    }
}

TWaveSound* TCustomSoundDevice::CachedWave(const std::string& fileName) const {
    auto it = FWaveCache.find(std::string(str::ExtractFileName(fileName)));
    return it == FWaveCache.end() ? nullptr : it->second.get();
}

TCustomSound* TCustomSoundDevice::CreateSound(const std::string& fileName) {
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
    FSoundInstances.push_back(CreateSoundInstance(wave));
    return FSoundInstances.back().get();
}

void TCustomSoundDevice::FreeSound(TCustomSound* sound) {
    auto it = std::find_if(FSoundInstances.begin(), FSoundInstances.end(),
                           [sound](const auto& s) { return s.get() == sound; });
    if (it == FSoundInstances.end()) return;
    std::unique_ptr<TCustomSound> owned = std::move(*it);
    FSoundInstances.erase(it);
    owned->Stop();
}

void TCustomSoundDevice::StopSoundsOf(const TWaveSound& wave) {
    for (auto& sound : FSoundInstances)
        if (sound->Wave() == &wave && sound->Playing()) sound->Stop();
}

void TCustomSoundDevice::LoadWave(TWaveSound& wave) {
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

void TCustomSoundDevice::SetActive(bool v) {
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

void TCustomSoundDevice::SetFormat(uint8_t rateIndex, bool bits16, int16_t channels) {
    // Every cached wave is about to be replaced.
    for (auto& [name, wave] : FWaveCache) StopSoundsOf(*wave);
    FRateIndex = rateIndex;
    FBits16 = bits16;
    FChannels = channels;
    FDeviceEnabled = true;
    if (FDeviceEnabled && FDeviceActive) {
        SetActive(false);
        SetActive(true);
    }
    for (auto& [name, wave] : FWaveCache) LoadWave(*wave);
}

void TCustomSoundDevice::SetSoundVolume(int32_t v) {
    if (v == FSoundVolume) return;
    FSoundVolume = std::clamp(v, 0, 100);
    for (auto& sound : FSoundInstances)
        if (!sound->Music()) sound->SetVolume(FSoundVolume);
}

void TCustomSoundDevice::SetMusicVolume(int32_t v) {
    if (v == FMusicVolume) return;
    FMusicVolume = std::clamp(v, 0, 100);
    for (auto& sound : FSoundInstances)
        if (sound->Music()) sound->SetVolume(FMusicVolume);
}

// ---------------------------------------------------------------------------
// TWinSound

TWinSound::TWinSound(TWaveSound* wave, TWinSoundDevice* device)
    : TCustomSound(wave, device), Owner(device) {
    Voice.Volume = std::clamp(FVolume, 0, 100);
}

TWinSound::~TWinSound() {
    // Leaves quietly: the mixer must never see it again, and no OnStop of it
    // may still be running on the output's thread.
    if (!FDevice) return;
    std::unique_lock lock(Owner->StateLock);
    if (FPlaying) {
        Owner->RemovePlaying(this);
        FPlaying = false;
        --Owner->FPlayingCount;
    }
    Owner->WaitForEvents(lock);
}

void TWinSound::Play() {
    if (!FDevice) return;
    bool started;
    {
        std::lock_guard guard(Owner->StateLock);
        if (FPlaying) return;
        Voice.Data = FWave ? FWave->WaveData() : nullptr;
        Voice.Size = FWave ? FWave->WaveDataSize() : 0;
        Voice.Position = 0;
        Voice.Volume = std::clamp(FVolume, 0, 100);
        Voice.Finished = false;
        started = Owner->StartPlaying(this);
        if (started) {
            FPlaying = true;
            ++Owner->FPlayingCount;
        }
    }
    if (started && OnPlay) OnPlay(*this);
}

void TWinSound::Stop() {
    if (!FDevice) return;
    {
        std::lock_guard guard(Owner->StateLock);
        if (!FPlaying) return;
        Owner->RemovePlaying(this);
        FPlaying = false;
        --Owner->FPlayingCount;
    }
    if (OnStop) OnStop(*this);
}

int32_t TWinSound::PlayPosition() const {
    if (!FDevice) return Voice.Position;
    std::lock_guard guard(Owner->StateLock);
    return Voice.Position;
}

const uint8_t* TWinSound::PlayPointer() const {
    if (!FDevice) return Voice.Data ? Voice.Data + Voice.Position : nullptr;
    std::lock_guard guard(Owner->StateLock);
    return Voice.Data ? Voice.Data + Voice.Position : nullptr;
}

int32_t TWinSound::EffectiveVolume() const {
    if (!FDevice) return Voice.Volume;
    std::lock_guard guard(Owner->StateLock);
    return Voice.Volume;
}

void TWinSound::VolumeChanged() {
    if (!FDevice) return;
    std::lock_guard guard(Owner->StateLock);
    Voice.Volume = std::clamp(FVolume, 0, 100);
}

// ---------------------------------------------------------------------------
// TWinSoundDevice

TWinSoundDevice::TWinSoundDevice(platform::IAudioOutput& output) : FOutput(&output) {}

TWinSoundDevice::~TWinSoundDevice() {
    Shutdown();
    if (OutputOpen) ReleaseBuffers();
}

std::unique_ptr<TCustomSound> TWinSoundDevice::CreateSoundInstance(TWaveSound* wave) {
    return std::make_unique<TWinSound>(wave, this);
}

void TWinSoundDevice::SetOutput(platform::IAudioOutput& output) {
    const bool wasActive = DeviceActive();
    SetActive(false);
    FOutput = &output;
    SetActive(wasActive);
}

std::vector<uint8_t> TWinSoundDevice::OutputFormat() const {
    const uint32_t channels = uint16_t(Channels());
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

void TWinSoundDevice::Activate() {
    const int16_t channels = Channels();
    FFormat.Channels = channels > 0 ? uint16_t(channels) : 0;
    FFormat.SamplesPerSec = Rate();
    FFormat.BitsPerSample = BitsPerSample();
    const uint32_t average = FFormat.FrameBytes() * FFormat.SamplesPerSec;
    // 64 frames at 11025 Hz, scaled: 256 bytes at 22050 Hz 16-bit mono.
    const uint32_t bufferBytes = average / 11025 * 64;
    if (!FOutput->Open(FFormat, bufferBytes, BufferCount, [this] { BufferDone(); }))
        throw Exception("TWinSoundDevice.Activate error: waveOutOpen failed");
    OutputOpen = true;
    FBufferBytes = int32_t(bufferBytes);
    const uint8_t silence = FFormat.BitsPerSample == 8 ? 128 : 0;
    for (auto& block : OutBuffers) {
        block.assign(bufferBytes, silence);
        if (!FOutput->PrepareBuffer(block.data(), bufferBytes)) {
            ReleaseBuffers();
            throw Exception("TWinSoundDevice.Activate error: waveOutPrepareHeader failed");
        }
    }
    StoppedList stopped{};
    int stoppedCount = 0;
    {
        std::lock_guard guard(StateLock);
        Stopping = false;
        FCurrentBuffer = 0;
        FQueuedCount = 0;
        for (int i = 0; i < BufferCount; ++i) FillBuffer(stopped, stoppedCount);
    }
    FireStopped(stopped, stoppedCount);
}

void TWinSoundDevice::ReleaseBuffers() {
    // The output may still hold blocks it has not given back: they are only
    // freed once it is closed.
    FOutput->Reset();
    for (auto& block : OutBuffers)
        if (!block.empty()) FOutput->UnprepareBuffer(block.data());
    FOutput->Close();
    if (!FOutput->IsOpen())
        for (auto& block : OutBuffers) std::vector<uint8_t>().swap(block);
    OutputOpen = false;
}

void TWinSoundDevice::Deactivate() {
    // Nothing was opened (the device was never activated or is disabled).
    if (!OutputOpen) return;
    {
        std::lock_guard guard(StateLock);
        Stopping = true;
    }
    // Everything is released even when a step fails; the first failure is
    // reported afterwards.
    const char* failure = nullptr;
    if (!FOutput->Reset()) failure = "TWinSoundDevice.Deactivate error: waveOutReset failed";
    {
        std::lock_guard guard(StateLock);
        FQueuedCount = 0;
    }
    for (auto& block : OutBuffers)
        if (!block.empty() && !FOutput->UnprepareBuffer(block.data()) && !failure)
            failure = "TWinSoundDevice.Deactivate error: waveOutUnprepareHeader failed";
    if (!FOutput->Close() && !failure) failure = "TWinSoundDevice.Deactivate error: waveOutClose failed";
    if (!FOutput->IsOpen())
        for (auto& block : OutBuffers) std::vector<uint8_t>().swap(block);
    OutputOpen = false;
    if (failure) throw Exception(failure);
}

void TWinSoundDevice::Pause() {
    FDevicePaused = true;
    if (!FOutput->Pause()) throw Exception("TWinSoundDevice.Pause error: waveOutPause failed");
}

void TWinSoundDevice::Resume() {
    FDevicePaused = false;
    if (!FOutput->Restart()) throw Exception("TWinSoundDevice.Resume error: waveOutRestart failed");
}

void TWinSoundDevice::StopAll() {
    for (;;) {
        TWinSound* last;
        {
            std::lock_guard guard(StateLock);
            if (PlayingListSize == 0) return;
            last = PlayingList[size_t(PlayingListSize - 1)];
        }
        last->Stop();
    }
}

bool TWinSoundDevice::StartPlaying(TWinSound* sound) {
    if (!DeviceEnabled() || PlayingListSize >= MaxPlaying) return false;
    // A wave that is empty, failed to load or is not in the output format
    // would never advance the mix, or mix garbage.
    const TWaveSound* wave = sound->Wave();
    const int32_t frameBytes = int32_t(uint16_t(Channels())) * (BitsPerSample() / 8);
    if (!wave || !wave->WaveLoaded() || frameBytes <= 0 || wave->WaveDataSize() < frameBytes ||
        wave->FormatTag() != TWaveSound::FormatTagPcm || wave->Channels() != uint16_t(Channels()) ||
        wave->SamplesPerSec() != Rate() || wave->BitsPerSample() != BitsPerSample())
        return false;
    PlayingList[size_t(PlayingListSize++)] = sound;
    return true;
}

void TWinSoundDevice::RemovePlaying(TWinSound* sound) {
    for (int32_t i = 0; i < PlayingListSize; ++i) {
        if (PlayingList[size_t(i)] != sound) continue;
        for (int32_t j = i + 1; j < PlayingListSize; ++j) PlayingList[size_t(j - 1)] = PlayingList[size_t(j)];
        PlayingList[size_t(--PlayingListSize)] = nullptr;
        return;
    }
}

void TWinSoundDevice::FillBuffer(StoppedList& stopped, int& stoppedCount) {
    uint8_t* out = OutBuffers[size_t(FCurrentBuffer)].data();
    TMixVoice* voices[MaxPlaying];
    for (int32_t i = 0; i < PlayingListSize; ++i) {
        TWinSound* sound = PlayingList[size_t(i)];
        sound->Voice.Looped = sound->Looped();
        voices[i] = &sound->Voice;
    }
    MixBlock(out, FBufferBytes, int32_t(FFormat.FrameBytes()), FFormat.BitsPerSample == 16, voices,
             PlayingListSize);
    // Finished sounds leave the list in list order; OnStop comes later, with
    // the lock released.
    for (int32_t i = 0; i < PlayingListSize;) {
        TWinSound* sound = PlayingList[size_t(i)];
        if (!sound->Voice.Finished) {
            ++i;
            continue;
        }
        RemovePlaying(sound);
        sound->FPlaying = false;
        --FPlayingCount;
        // At most eight sounds can stop before the lock is released.
        if (stoppedCount < int(stopped.size())) stopped[size_t(stoppedCount++)] = sound;
    }
    FOutput->Write(out, uint32_t(FBufferBytes));
    FCurrentBuffer = (FCurrentBuffer + 1) % BufferCount;
    ++FQueuedCount;
}

void TWinSoundDevice::BufferDone() {
    StoppedList stopped{};
    int stoppedCount = 0;
    {
        std::lock_guard guard(StateLock);
        --FQueuedCount;
        if (Stopping) return;
        FillBuffer(stopped, stoppedCount);
        if (stoppedCount == 0) return;
        ++EventsFiring;
        EventThread = std::this_thread::get_id();
    }
    FireStopped(stopped, stoppedCount);
    {
        std::lock_guard guard(StateLock);
        --EventsFiring;
    }
    EventsDone.notify_all();
}

void TWinSoundDevice::FireStopped(const StoppedList& stopped, int count) {
    for (int i = 0; i < count; ++i)
        if (stopped[size_t(i)]->OnStop) stopped[size_t(i)]->OnStop(*stopped[size_t(i)]);
}

void TWinSoundDevice::WaitForEvents(std::unique_lock<std::mutex>& lock) {
    // A handler freeing sounds on the output's thread must not wait on itself.
    if (EventsFiring && EventThread == std::this_thread::get_id()) return;
    EventsDone.wait(lock, [this] { return EventsFiring == 0; });
}

int32_t TWinSoundDevice::PlayingListCount() const {
    std::lock_guard guard(StateLock);
    return PlayingListSize;
}

TWinSound* TWinSoundDevice::PlayingSound(int index) const {
    std::lock_guard guard(StateLock);
    return index >= 0 && index < PlayingListSize ? PlayingList[size_t(index)] : nullptr;
}

int32_t TWinSoundDevice::CurrentBuffer() const {
    std::lock_guard guard(StateLock);
    return FCurrentBuffer;
}

int32_t TWinSoundDevice::QueuedCount() const {
    std::lock_guard guard(StateLock);
    return FQueuedCount;
}

int32_t TWinSoundDevice::BufferBytes() const { return FBufferBytes; }

TWinSoundDevice& SoundDevice() {
    static TWinSoundDevice device(platform::SystemAudioOutput());
    return device;
}
