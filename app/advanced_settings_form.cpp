#include "app/advanced_settings_form.h"

#include "render/frame_scaler.h"
#include "scene/objects.h"
#include "scene/scene_sound.h"
#include "scene/scene_textures.h"
#include "world/clock.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

using platform::ControlDesc;
using platform::ControlKind;

ControlDesc Control(const char* name, ControlKind kind, const char* caption, std::vector<std::string> items = {}) {
    ControlDesc c;
    c.Name = name;
    c.Kind = kind;
    c.Caption = caption;
    c.Items = std::move(items);
    return c;
}

// The chosen entry's text; empty when nothing is chosen.
std::string SelectedText(const platform::IDialogView& view, const std::string& combo) {
    const int32_t index = view.ItemIndex(combo);
    const std::vector<std::string> items = view.Items(combo);
    return index >= 0 && index < static_cast<int32_t>(items.size()) ? items[static_cast<size_t>(index)] : "";
}

std::vector<std::string> PowerLabels() {
    return {std::begin(PowerDelayLabels), std::end(PowerDelayLabels)};
}

// One label per size of kRenderScales, in its order.
std::vector<std::string> RenderScaleLabels() {
    static_assert(std::size(kRenderScales) == 2);
    return {"Full", "Half"};
}

// The swatch shows the clock's colour without its alpha, which stays the
// clock's own: a chosen colour never makes the clock transparent.
constexpr uint32_t kRGB = 0x00FFFFFF;

}  // namespace

platform::DialogDesc TFormAdvancedSettings::Describe() {
    platform::DialogDesc d;
    d.Name = "FormAdvancedSettings";
    d.Caption = "Advanced Settings";

    platform::SectionDesc display{"Display", 0, {}};
    display.Controls = {Control("ComboBoxDepth", ControlKind::ComboBox, "Color &Depth"),
                        Control("ComboBoxResolution", ControlKind::ComboBox, "&Resolution"),
                        Control("CheckBoxDesktop", ControlKind::CheckBox, "Des&ktop Resolution"),
                        Control("ComboBoxMultiMonitors", ControlKind::ComboBox, "&Monitor"),
                        Control("CheckBoxWaitSync", ControlKind::CheckBox, "&Wait Sync"),
                        Control("CheckBoxFPS", ControlKind::CheckBox, "Display &FPS"),
                        Control("CheckBoxFixedFPS", ControlKind::CheckBox, "&Low CPU Usage")};

    platform::SectionDesc rendering{"Rendering", 0, {}};
    rendering.Controls = {
        Control("ComboBoxRenderer", ControlKind::ComboBox, "Re&nderer", {"OpenGL", "DirectX"}),
        Control("ComboBoxTextures", ControlKind::ComboBox, "&Textures",
                {"Compressed", "True Color (32 bit)", "High Color (16 bit)"}),
        Control("ComboBoxQuality", ControlKind::ComboBox, "&Quality", {"High", "Normal", "Low"}),
        Control("ComboBoxRenderScale", ControlKind::ComboBox, "Render &Size", RenderScaleLabels())};

    platform::SectionDesc power{"Power", 1, {}};
    power.Controls = {Control("ComboBoxPowerOff", ControlKind::ComboBox, "&Power Off", PowerLabels()),
                      Control("ComboBoxMonitorOff", ControlKind::ComboBox, "Monitor &Off", PowerLabels()),
                      Control("CheckBoxRunAsProg", ControlKind::CheckBox, "Run As Pro&gram"),
                      Control("CheckBoxMouseMove", ControlKind::CheckBox, "E&xit on Mouse Move")};

    platform::SectionDesc clock{"Clock", 1, {}};
    ControlDesc swatch = Control("ShapeColor", ControlKind::ColorSwatch, "&Color");
    swatch.Hint = "Click to choose the clock's color";
    swatch.MinWidth = 48;
    swatch.MinHeight = 20;
    clock.Controls = {Control("ComboBoxClockMode", ControlKind::ComboBox, "Mod&e", {"None", "24-Hour", "12-Hour"}),
                      swatch};

    platform::SectionDesc sounds{"Sounds", 2, {}};
    ControlDesc list = Control("CheckListBoxSounds", ControlKind::CheckList, "");
    list.MinWidth = 180;
    list.MinHeight = 100;
    ControlDesc volume = Control("TrackBarSoundVolume", ControlKind::TrackBar, "");
    volume.Max = 100;
    volume.Page = 10;
    volume.MinWidth = 140;
    ControlDesc value = Control("LabelSoundVolume", ControlKind::Label, "");
    value.SameRow = true;
    value.MinWidth = 32;
    sounds.Controls = {list, Control("LabelVolume", ControlKind::Label, ""), volume, value};

    d.Sections = {display, rendering, power, clock, sounds};

    ControlDesc ok = Control("ButtonOk", ControlKind::Button, "OK");
    ok.ModalResult = platform::mrOk;
    ControlDesc cancel = Control("ButtonCancel", ControlKind::Button, "Cancel");
    cancel.ModalResult = platform::mrCancel;
    d.Buttons = {ok, cancel};
    return d;
}

TFormAdvancedSettings::TFormAdvancedSettings(TGLScreenSaver& host, platform::IDialogSystem& dialogs)
    : FHost(host), FView(dialogs.CreateDialog(Describe())) {
    platform::DialogEvents events;
    events.Change = [this](const std::string& control) { Changed(control); };
    events.Click = [this](const std::string& control) { Clicked(control); };
    events.ItemCheck = [this](const std::string& control, int32_t) {
        if (control == "CheckListBoxSounds") SoundChecked();
    };
    events.Select = [this](const std::string& control) {
        if (control == "CheckListBoxSounds") SoundSelected();
    };
    FView->SetEvents(events);
    FView->SetPosition("TrackBarSoundVolume", 50);
}

TFormAdvancedSettings::~TFormAdvancedSettings() = default;

int32_t TFormAdvancedSettings::Execute(platform::IDialogView* owner) {
    Fill();
    const int32_t result = FView->ShowModal(owner);
    if (result == platform::mrOk)
        Apply();
    else
        Cancel();
    return result;
}

TSceneTextureList* TFormAdvancedSettings::Textures() const {
    TMainScene* scene = FHost.Scene();
    return scene ? dynamic_cast<TSceneTextureList*>(scene->FindObject("Textures")) : nullptr;
}

TGLClock* TFormAdvancedSettings::Clock() const {
    TMainScene* scene = FHost.Scene();
    return scene ? dynamic_cast<TGLClock*>(scene->FindObject("GLClock")) : nullptr;
}

TSceneSoundList* TFormAdvancedSettings::Sounds() const {
    TMainScene* scene = FHost.Scene();
    return scene ? dynamic_cast<TSceneSoundList*>(scene->FindObject("Sounds")) : nullptr;
}

void TFormAdvancedSettings::Fill() {
    platform::IDialogView& v = *FView;
    FReady = false;
    TGLDisplay& display = FHost.GLDisplay();
    FSavedMode.Assign(display.FullScreenMode());
    FSavedDesktopOnly = display.DesktopOnly;

    std::vector<std::string> depths;
    display.ColorDepthNames(depths);
    v.SetItems("ComboBoxDepth", depths);
    FillScreenSizes();
    v.SetChecked("CheckBoxDesktop", display.DesktopOnly);
    v.SetEnabled("ComboBoxDepth", !display.DesktopOnly);
    v.SetEnabled("ComboBoxResolution", !display.DesktopOnly);

    if (TSceneTextureList* textures = Textures()) {
        v.SetItemIndex("ComboBoxTextures", textures->ColorBit());
        v.SetItemIndex("ComboBoxQuality", textures->Quality());
    }
    v.SetChecked("CheckBoxWaitSync", FHost.OpenGL().WaitSync);
    v.SetItemIndex("ComboBoxRenderScale", RenderScaleIndex(FHost.Viewport().RenderScale));
    // The software renderer has no entry: nothing is chosen, and OK keeps it.
    const int32_t renderer = FHost.OpenGL().RendererKind();
    v.SetItemIndex("ComboBoxRenderer", renderer < 2 ? renderer : -1);
    v.SetItemIndex("ComboBoxPowerOff", FHost.PowerOffIndex());
    v.SetItemIndex("ComboBoxMonitorOff", FHost.MonitorOffIndex());
    v.SetChecked("CheckBoxMouseMove", FHost.MouseMoveExit);
    v.SetChecked("CheckBoxRunAsProg", FHost.RunAsProgram);
    v.SetChecked("CheckBoxFixedFPS", FHost.FixedFPS);
    if (TGLClock* clock = Clock()) {
        v.SetItemIndex("ComboBoxClockMode", clock->ClockMode >= 0 && clock->ClockMode <= 2 ? clock->ClockMode : -1);
        v.SetColor("ShapeColor", clock->ClockColor & kRGB);
    }
    if (TMainScene* scene = FHost.Scene()) v.SetChecked("CheckBoxFPS", scene->FPSShown());

    // "Primary Monitor", one entry per monitor, "Dual View", "Virtual
    // Desktop": the window's Monitor (-1 primary) plus one. A stored monitor
    // that is gone selects nothing, so OK keeps it for when it is back.
    FHost.RefreshMonitors();
    std::vector<std::string> monitors{"Primary Monitor"};
    const int32_t count = static_cast<int32_t>(FHost.Monitors().size());
    for (int32_t i = 1; i <= count; ++i) monitors.push_back(std::to_string(i) + " - Monitor");
    monitors.emplace_back("Dual View");
    monitors.emplace_back("Virtual Desktop");
    v.SetItems("ComboBoxMultiMonitors", monitors);
    const int32_t monitor = FHost.GLWindow().Monitor + 1;
    v.SetItemIndex("ComboBoxMultiMonitors",
                   monitor >= 0 && monitor < static_cast<int32_t>(monitors.size()) ? monitor : -1);

    std::vector<std::string> names;
    std::vector<bool> playing;
    if (TSceneSoundList* sounds = Sounds()) {
        for (int i = 0, n = sounds->GetCount(); i < n; ++i) {
            if (auto* sound = dynamic_cast<TSceneSound*>(sounds->GetItem(i))) {
                names.push_back(sound->Name());
                playing.push_back(sound->Visible());
            }
        }
    }
    v.SetItems("CheckListBoxSounds", names);
    for (size_t i = 0; i < names.size(); ++i)
        v.SetItemChecked("CheckListBoxSounds", static_cast<int32_t>(i), playing[i]);
    if (v.ItemIndex("CheckListBoxSounds") < 0 && !names.empty()) v.SetItemIndex("CheckListBoxSounds", 0);
    v.SetRange("TrackBarSoundVolume", 0, 100, 10);
    SoundSelected();
    FReady = true;
}

void TFormAdvancedSettings::FillScreenSizes() {
    TGLDisplay& display = FHost.GLDisplay();
    std::vector<std::string> sizes;
    display.ScreenSizeNames(sizes);
    FView->SetItems("ComboBoxResolution", sizes);
    SelectDisplayEntries();
}

void TFormAdvancedSettings::SelectDisplayEntries() {
    TGLDisplay& display = FHost.GLDisplay();
    FView->SetItemIndex("ComboBoxDepth", display.FullScreenDepthIndex());
    FView->SetItemIndex("ComboBoxResolution", display.FullScreenModeIndex());
}

TSceneSound* TFormAdvancedSettings::SelectedSound() const {
    TSceneSoundList* sounds = Sounds();
    const int32_t index = FView->ItemIndex("CheckListBoxSounds");
    const std::vector<std::string> names = FView->Items("CheckListBoxSounds");
    if (!sounds || index < 0 || index >= static_cast<int32_t>(names.size())) return nullptr;
    return dynamic_cast<TSceneSound*>(sounds->FindObject(names[static_cast<size_t>(index)]));
}

void TFormAdvancedSettings::SoundSelected() {
    platform::IDialogView& v = *FView;
    TSceneSound* sound = SelectedSound();
    TCustomSound* instance = sound ? sound->Sound() : nullptr;
    // Without a sound device there is no instance whose volume to set.
    v.SetEnabled("TrackBarSoundVolume", instance != nullptr);
    if (instance) v.SetPosition("TrackBarSoundVolume", instance->Volume());
    v.SetText("LabelVolume", sound ? sound->Name() + " Volume" : "");
    v.SetText("LabelSoundVolume", std::to_string(v.Position("TrackBarSoundVolume")));
}

void TFormAdvancedSettings::SoundChecked() {
    TSceneSoundList* sounds = Sounds();
    if (!FReady || !sounds) return;
    const std::vector<std::string> names = FView->Items("CheckListBoxSounds");
    for (size_t i = 0; i < names.size(); ++i)
        if (TMainObject* sound = sounds->FindObject(names[i]))
            sound->SetVisible(FView->ItemChecked("CheckListBoxSounds", static_cast<int32_t>(i)));
}

void TFormAdvancedSettings::Changed(const std::string& control) {
    if (!FReady) return;
    platform::IDialogView& v = *FView;
    TGLDisplay& display = FHost.GLDisplay();
    if (control == "ComboBoxDepth") {
        const std::string depth = SelectedText(v, control);
        if (display.DesktopOnly || depth.empty()) return;
        display.FullScreenMode().SetDepthText(depth);
        FillScreenSizes();
    } else if (control == "ComboBoxResolution") {
        const std::string size = SelectedText(v, control);
        if (display.DesktopOnly || size.empty()) return;
        display.FullScreenMode().SetSizeText(size);
    } else if (control == "CheckBoxDesktop") {
        display.DesktopOnly = v.Checked(control);
        v.SetEnabled("ComboBoxDepth", !display.DesktopOnly);
        v.SetEnabled("ComboBoxResolution", !display.DesktopOnly);
        SelectDisplayEntries();
    } else if (control == "TrackBarSoundVolume") {
        const int32_t volume = v.Position(control);
        v.SetText("LabelSoundVolume", std::to_string(volume));
        TSceneSound* sound = SelectedSound();
        if (sound && sound->Sound()) sound->Sound()->SetVolume(volume);
    }
}

void TFormAdvancedSettings::Clicked(const std::string& control) {
    if (!FReady || control != "ShapeColor") return;
    uint32_t color = FView->Color(control);
    if (FView->ChooseColor("Clock Color", color)) FView->SetColor(control, color & kRGB);
}

void TFormAdvancedSettings::Cancel() {
    TGLDisplay& display = FHost.GLDisplay();
    display.DesktopOnly = FSavedDesktopOnly;
    display.SetFullScreenMode(FSavedMode);
}

void TFormAdvancedSettings::Apply() {
    platform::IDialogView& v = *FView;
    TGLDisplay& display = FHost.GLDisplay();

    // The mode the boxes name: the depth first, then a size offered at it
    // (the chosen one when the new depth has it too).
    const std::string size = SelectedText(v, "ComboBoxResolution");
    if (const std::string depth = SelectedText(v, "ComboBoxDepth"); !depth.empty())
        display.FullScreenMode().SetDepthText(depth);
    std::vector<std::string> sizes;
    display.ScreenSizeNames(sizes);
    v.SetItems("ComboBoxResolution", sizes);
    const auto kept = std::find(sizes.begin(), sizes.end(), size);
    v.SetItemIndex("ComboBoxResolution", kept != sizes.end() ? static_cast<int32_t>(kept - sizes.begin())
                                                             : display.FullScreenModeIndex());
    if (const std::string chosen = SelectedText(v, "ComboBoxResolution"); !chosen.empty())
        display.FullScreenMode().SetSizeText(chosen);
    display.DesktopOnly = v.Checked("CheckBoxDesktop");

    if (const int32_t monitor = v.ItemIndex("ComboBoxMultiMonitors"); monitor >= 0)
        FHost.GLWindow().Monitor = monitor - 1;
    if (const int32_t index = v.ItemIndex("ComboBoxPowerOff"); index >= 0) FHost.SetPowerOffIndex(index);
    if (const int32_t index = v.ItemIndex("ComboBoxMonitorOff"); index >= 0) FHost.SetMonitorOffIndex(index);
    if (TGLClock* clock = Clock()) {
        if (const int32_t mode = v.ItemIndex("ComboBoxClockMode"); mode >= 0) clock->SetMode(mode);
        clock->ClockColor = (clock->ClockColor & ~kRGB) | (v.Color("ShapeColor") & kRGB);
    }
    FHost.OpenGL().WaitSync = v.Checked("CheckBoxWaitSync");
    if (const int32_t index = v.ItemIndex("ComboBoxRenderScale"); index >= 0 && index < std::ssize(kRenderScales))
        FHost.Viewport().RenderScale = kRenderScales[index];

    // A new quality changes the textures' sizes, so they are made again from
    // their pictures; a new colour format only needs the texels sent again.
    if (TSceneTextureList* textures = Textures()) {
        const TTextureQuality oldQuality = textures->Quality();
        const TTextureColorBit oldColorBit = textures->ColorBit();
        if (const int32_t index = v.ItemIndex("ComboBoxTextures"); index >= 0)
            textures->SetColorBit(static_cast<TTextureColorBit>(index));
        if (const int32_t index = v.ItemIndex("ComboBoxQuality"); index >= 0)
            textures->SetQuality(static_cast<TTextureQuality>(index));
        if (textures->Quality() != oldQuality)
            textures->FreeGLTextures();
        else if (textures->ColorBit() != oldColorBit)
            textures->ReconfigureAll();
    }

    if (const int32_t renderer = v.ItemIndex("ComboBoxRenderer"); renderer >= 0)
        FHost.OpenGL().SetRendererKind(static_cast<TRendererKind>(renderer));
    FHost.RunAsProgram = v.Checked("CheckBoxRunAsProg");
    FHost.MouseMoveExit = v.Checked("CheckBoxMouseMove");
    if (TMainScene* scene = FHost.Scene()) scene->ShowFPS(v.Checked("CheckBoxFPS"));
    FHost.FixedFPS = v.Checked("CheckBoxFixedFPS");
}
