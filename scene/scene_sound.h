// The scene's ambient sounds: a list that configures the sound device and
// holds one object per wave, each keeping its sound playing while visible.
#pragma once

#include "scene/objects.h"
#include "sound/device.h"

#include <cstdint>
#include <string>

class TClassRegistry;

class TSceneSoundList : public TResource {
public:
    TSceneSoundList();
    std::string_view ClassName() const override { return "TSceneSoundList"; }

    // Reads the device settings and applies them before the children load.
    void ReadProperties(TResourceLoader& loader) override;
    void WriteProperties(TResourceLoader& loader) override;
    // The visible children keep playing; the output is open exactly while
    // something plays. The device's queued sound events are delivered here.
    void Render() override;
    void LoadSettings() override;
    void SaveSettings() override;

    // Kept in the device, not in the list.
    int32_t SoundVolume() const { return Device->SoundVolume(); }
    void SetSoundVolume(int32_t v) { Device->SetSoundVolume(v); }
    int32_t MusicVolume() const { return Device->MusicVolume(); }
    void SetMusicVolume(int32_t v) { Device->SetMusicVolume(v); }

    bool InitDevice = false;
    int32_t Channels = 1;
    uint8_t Bits = 1;  // the device's 16-bit flag: 1 is 16 bits, 0 is 8
    uint8_t Rate = 1;  // the device's rate index: 0 is 11025, 1 is 22050, 2 is 44100
    // The process-wide device; tests put in one of their own before loading.
    TWinSoundDevice* Device;
};

// Plays one wave file. The sound instance belongs to the device; this object
// only uses it. The instance may end in the mix at any time (see
// sound/device.h), so everything here asks it for its state instead of
// remembering it.
class TSceneSound : public TMainSceneObject {
public:
    TSceneSound() = default;
    std::string_view ClassName() const override { return "TSceneSound"; }

    void ReadProperties(TResourceLoader& loader) override;
    void WriteProperties(TResourceLoader& loader) override;
    // Hiding stops the sound.
    void SetVisible(bool visible) override;
    // Starts the sound when it is not playing.
    void Render() override;

    // Its instance goes with it, so a freed scene leaves nothing playing.
    ~TSceneSound() override;

    const std::string& FileName() const { return FFileName; }
    // Lets the old instance go and asks the device for a new one, for the
    // name itself when it has a directory part, else for the list's Path
    // followed by the name. No instance while the device is disabled.
    void SetFileName(const std::string& name);
    TCustomSound* Sound() const { return FSound; }

private:
    TWinSoundDevice& Device() const;
    void FreeInstance();

    TCustomSound* FSound = nullptr;
    std::string FFileName;
    // The script's values, kept for writing back when there is no instance.
    bool FLooped = false;
    bool FMusic = false;
    int32_t FVolume = 100;
    int32_t FPan = 0;
};

// Enters the two classes into the registry the loader creates objects with.
void RegisterSoundClasses(TClassRegistry& registry);
