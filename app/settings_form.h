// The settings dialog: fills its controls from the world once GL runs, lets
// every control act on the running scene at once, and writes the settings
// only on OK. The preview panel hosts the host's GL window.
#pragma once

#include "app/screen_saver.h"
#include "platform/dialog_view.h"

#include <memory>
#include <string>

class TFormSettings {
public:
    // Makes the dialog and hooks it to the host's events; the host (and
    // the dialog system) outlive the form.
    TFormSettings(TGLScreenSaver& host, platform::IDialogSystem& dialogs);
    ~TFormSettings();
    TFormSettings(const TFormSettings&) = delete;
    TFormSettings& operator=(const TFormSettings&) = delete;

    // The main dialog: its sections, controls and buttons.
    static platform::DialogDesc Describe();

    // Shows the dialog (program and configuration roles); the GL window
    // opens inside its preview panel when the scene starts.
    void Show();
    // Controls from the world, the caption from the title and version.
    void FillDialog();
    bool DialogReady() const { return FDialogReady; }

    platform::IDialogView& View() { return *FView; }
    TGLScreenSaver& Host() { return FHost; }

private:
    void Changed(const std::string& control);
    void ItemChecked(const std::string& control, int32_t item);
    void Clicked(const std::string& control);
    void FillFishList();
    void ShowAbout();
    bool IsDialogRole() const;

    TGLScreenSaver& FHost;
    platform::IDialogSystem& FDialogs;
    std::unique_ptr<platform::IDialogView> FView;
    bool FDialogReady = false;
    // The host's own handlers, run inside ours and put back at the end.
    TCustomApplicationPro::TNotifyEvent FHostStart;
    TCustomApplicationPro::TNotifyEvent FHostStartOpenGL;
};
