// The advanced settings dialog: display mode, monitor, power timers, clock,
// sounds and rendering options. Made, filled and run modally over the main
// dialog, then freed. The sound controls act at once; everything else waits
// for OK, and Cancel puts back what the display controls changed while the
// dialog was open.
#pragma once

#include "app/screen_saver.h"
#include "platform/dialog_view.h"
#include "render/display_modes.h"

#include <cstdint>
#include <memory>
#include <string>

class TSceneSoundList;
class TSceneSound;
class TSceneTextureList;
class TGLClock;

class TFormAdvancedSettings {
public:
    // The host outlives the dialog; the scene may be absent (its controls
    // then stay empty and OK leaves it alone).
    TFormAdvancedSettings(TGLScreenSaver& host, platform::IDialogSystem& dialogs);
    ~TFormAdvancedSettings();
    TFormAdvancedSettings(const TFormAdvancedSettings&) = delete;
    TFormAdvancedSettings& operator=(const TFormAdvancedSettings&) = delete;

    static platform::DialogDesc Describe();

    // Fills the controls, runs the dialog over `owner` and applies it on OK;
    // the modal result.
    int32_t Execute(platform::IDialogView* owner);
    void Fill();
    void Apply();
    void Cancel();

    platform::IDialogView& View() { return *FView; }

private:
    void Changed(const std::string& control);
    void Clicked(const std::string& control);
    void SoundChecked();
    void SoundSelected();
    void FillScreenSizes();
    void SelectDisplayEntries();
    TSceneSound* SelectedSound() const;
    TSceneTextureList* Textures() const;
    TGLClock* Clock() const;
    TSceneSoundList* Sounds() const;

    TGLScreenSaver& FHost;
    std::unique_ptr<platform::IDialogView> FView;
    bool FReady = false;
    // The display settings the live controls change, as they were before.
    TScreenMode FSavedMode;
    bool FSavedDesktopOnly = false;
};
