#include "scene/scene_sound.h"

#include "scene/loader.h"
#include "scene/registry.h"
#include "core/strutil.h"

#include <algorithm>
#include <limits>

// ---------------------------------------------------------------------------
// TSceneSoundList

TSceneSoundList::TSceneSoundList() : Device(&SoundDevice()) { ProcessOptions = poRender; }

void TSceneSoundList::ReadProperties(TResourceLoader& loader) {
    InitDevice = loader.ReadBool("InitDevice", InitDevice);
    Rate = uint8_t(loader.ReadInteger("Rate", Rate));
    Bits = uint8_t(loader.ReadInteger("Bits", Bits));
    Channels = loader.ReadInteger("Channels", Channels);
    const int32_t soundVolume = loader.ReadInteger("SoundVolume", Device->SoundVolume());
    const int32_t musicVolume = loader.ReadInteger("MusicVolume", Device->MusicVolume());
    if (InitDevice)
        Device->SetFormat(Rate, Bits != 0,
                          int16_t(std::clamp<int32_t>(Channels, std::numeric_limits<int16_t>::min(),
                                                      std::numeric_limits<int16_t>::max())));
    Device->SetSoundVolume(soundVolume);
    Device->SetMusicVolume(musicVolume);
    Device->FromArchive = loader.FromArchive;
    TResource::ReadProperties(loader);
}

void TSceneSoundList::WriteProperties(TResourceLoader& loader) {
    TResource::WriteProperties(loader);
    loader.WriteBool("InitDevice", InitDevice);
    loader.WriteInteger("Rate", Rate);
    loader.WriteInteger("Bits", Bits);
    loader.WriteInteger("Channels", Channels);
    loader.WriteInteger("SoundVolume", Device->SoundVolume());
    loader.WriteInteger("MusicVolume", Device->MusicVolume());
}

void TSceneSoundList::Render() {
    Device->DeliverEvents();
    TResource::Render();
    Device->SetActive(Device->PlayingCount() > 0);
}

void TSceneSoundList::LoadSettings() {
    if (ISceneHost* host = HostOf(*this)) {
        const std::string& list = Name();
        Device->SetSoundVolume(host->ReadInteger(list + " SoundVolume", Device->SoundVolume()));
        Device->SetMusicVolume(host->ReadInteger(list + " MusicVolume", Device->MusicVolume()));
        Device->SetActive(host->ReadBool(list + " Active", Device->DeviceEnabled() && Device->DeviceActive()));
        for (int i = 0, n = GetCount(); i < n; ++i) {
            auto* sound = dynamic_cast<TSceneSound*>(GetItem(i));
            if (!sound) continue;
            const std::string& name = sound->Name();
            sound->SetVisible(host->ReadBool(name + "Played", sound->Visible()));
            if (TCustomSound* instance = sound->Sound()) {
                instance->SetVolume(host->ReadInteger(name + "Volume", instance->Volume()));
                instance->SetPan(host->ReadInteger(name + "Pan", instance->Pan()));
            }
        }
    }
    TResource::LoadSettings();
}

void TSceneSoundList::SaveSettings() {
    if (ISceneHost* host = HostOf(*this)) {
        const std::string& list = Name();
        host->WriteInteger(list + " SoundVolume", Device->SoundVolume());
        host->WriteInteger(list + " MusicVolume", Device->MusicVolume());
        host->WriteBool(list + " Active", Device->DeviceEnabled() && Device->DeviceActive());
        for (int i = 0, n = GetCount(); i < n; ++i) {
            auto* sound = dynamic_cast<TSceneSound*>(GetItem(i));
            if (!sound) continue;
            const std::string& name = sound->Name();
            TCustomSound* instance = sound->Sound();
            host->WriteBool(name + "Played", sound->Visible());
            host->WriteInteger(name + "Volume", instance ? instance->Volume() : 0);
            host->WriteInteger(name + "Pan", instance ? instance->Pan() : 0);
        }
    }
    TResource::SaveSettings();
}

// ---------------------------------------------------------------------------
// TSceneSound

TWinSoundDevice& TSceneSound::Device() const {
    if (auto* list = dynamic_cast<TSceneSoundList*>(Owner)) return *list->Device;
    return SoundDevice();
}

TSceneSound::~TSceneSound() { FreeInstance(); }

void TSceneSound::FreeInstance() {
    if (!FSound) return;
    TCustomSound* old = FSound;
    FSound = nullptr;
    if (old->Device()) old->Device()->FreeSound(old);
}

void TSceneSound::SetFileName(const std::string& name) {
    FreeInstance();
    FFileName = name;
    auto* resource = dynamic_cast<TResource*>(Owner);
    FSound = Device().CreateSound(resource ? str::CombinePath(resource->Path, name) : name);
}

void TSceneSound::ReadProperties(TResourceLoader& loader) {
    TMainSceneObject::ReadProperties(loader);
    SetFileName(loader.ReadString("FileName", FFileName));
    if (FSound) {
        FSound->SetLooped(loader.ReadBool("Looped", FSound->Looped()));
        FSound->SetMusic(loader.ReadBool("Music", FSound->Music()));
        FSound->SetVolume(loader.ReadInteger("Volume", FSound->Volume()));
        FSound->SetPan(loader.ReadInteger("Pan", FSound->Pan()));
    } else {
        // Nothing to play them with (the device is disabled); kept so that
        // saving the scene does not lose them.
        FLooped = loader.ReadBool("Looped", FLooped);
        FMusic = loader.ReadBool("Music", FMusic);
        FVolume = loader.ReadInteger("Volume", FVolume);
        FPan = loader.ReadInteger("Pan", FPan);
    }
}

void TSceneSound::WriteProperties(TResourceLoader& loader) {
    loader.WriteString("FileName", FFileName);
    loader.WriteBool("Looped", FSound ? FSound->Looped() : FLooped);
    loader.WriteBool("Music", FSound ? FSound->Music() : FMusic);
    loader.WriteInteger("Volume", FSound ? FSound->Volume() : FVolume);
    loader.WriteInteger("Pan", FSound ? FSound->Pan() : FPan);
    TMainSceneObject::WriteProperties(loader);
}

void TSceneSound::SetVisible(bool visible) {
    TMainSceneObject::SetVisible(visible);
    if (!visible && FSound) FSound->Stop();
}

void TSceneSound::Render() {
    if (FSound && !FSound->Playing()) FSound->Play();
}

void RegisterSoundClasses(TClassRegistry& registry) {
    registry.Register<TSceneSoundList>("TSceneSoundList");
    registry.Register<TSceneSound>("TSceneSound");
}
