#include "app/settings_form.h"

#include "app/advanced_settings_form.h"
#include "core/errors.h"
#include "world/underwater_world.h"

#include <string>
#include <vector>

namespace {

constexpr const char* kHomePage = "https://tarnwick.github.io/marivelle/";

// Where the GL window lives inside the dialog.
constexpr const char* kPanel = "GLWindow";

platform::ControlDesc Check(const char* name, const char* caption, const char* hint = "") {
    platform::ControlDesc c;
    c.Name = name;
    c.Kind = platform::ControlKind::CheckBox;
    c.Caption = caption;
    c.Hint = hint;
    return c;
}

platform::ControlDesc Slider(const char* name, const char* caption, int32_t max, int32_t page) {
    platform::ControlDesc c;
    c.Name = name;
    c.Kind = platform::ControlKind::TrackBar;
    c.Caption = caption;
    c.Max = max;
    c.Page = page;
    c.MinWidth = 180;
    return c;
}

platform::ControlDesc ValueLabel(const char* name) {
    platform::ControlDesc c;
    c.Name = name;
    c.Kind = platform::ControlKind::Label;
    c.SameRow = true;
    c.MinWidth = 40;
    return c;
}

platform::ControlDesc Combo(const char* name, const char* caption, std::vector<std::string> items = {}) {
    platform::ControlDesc c;
    c.Name = name;
    c.Kind = platform::ControlKind::ComboBox;
    c.Caption = caption;
    c.Items = std::move(items);
    return c;
}

platform::ControlDesc Button(const char* name, const char* caption, int32_t result = platform::mrNone) {
    platform::ControlDesc c;
    c.Name = name;
    c.Kind = platform::ControlKind::Button;
    c.Caption = caption;
    c.ModalResult = result;
    return c;
}

}  // namespace

platform::DialogDesc TFormSettings::Describe() {
    using platform::ControlDesc;
    using platform::ControlKind;
    platform::DialogDesc d;
    d.Name = "FormSettings";
    d.Caption = "3D Marivelle";

    platform::SectionDesc fishes{"Fishes", 0, {}};
    ControlDesc list;
    list.Name = "CheckListBoxFishes";
    list.Kind = ControlKind::CheckList;
    list.MinWidth = 200;
    list.MinHeight = 180;
    fishes.Controls = {list,
                       Check("CheckBoxFishCaustic", "Fish Caustic"),
                       Combo("ComboBoxDirection", "&Direction", {"Left to Right", "Right to Left", "Both"}),
                       Slider("TrackBarFishCount", "&Fish Count", 100, 5),
                       ValueLabel("LabelFishCount")};

    platform::SectionDesc water{"Environment", 1, {}};
    ControlDesc flat = Check("CheckBoxFlat", "Flat");
    flat.Visible = false;
    water.Controls = {Combo("ComboBoxBackgrounds", "&Background"),
                      Check("CheckBoxLights", "Lights"),
                      Check("CheckBoxCaustic", "Caustic"),
                      Check("CheckBoxBackground", "Background Picture"),
                      flat,
                      Slider("TrackBarBubblesCount", "B&ubbles", 1000, 10),
                      ValueLabel("LabelBubblesCount")};

    platform::SectionDesc view{"View", 1, {}};
    view.Controls = {Check("CheckBoxWideScreen", "WideScreen (16:9)"),
                     Check("CheckBoxEmulateDepth", "Emulate Depth", "Enable If Screen Saver runs without Acceleration")};

    platform::SectionDesc preview{"Preview", 2, {}};
    ControlDesc panel;
    panel.Name = kPanel;
    panel.Kind = ControlKind::Panel;
    panel.MinWidth = 320;
    panel.MinHeight = 240;
    preview.Controls = {panel, Button("ButtonPreview", "Full Screen &Preview")};

    d.Sections = {fishes, water, view, preview};

    ControlDesc feedback = Button("ButtonFeedBack", "FeedBack");
    // No issue page is configured, so there is nowhere to send feedback.
    feedback.Visible = false;
    d.Buttons = {Button("ButtonAdvanced", "&Advanced..."),
                 Button("ButtonAbout", "A&bout"),
                 Button("ButtonHelp", "&Help"),
                 feedback,
                 Button("ButtonOk", "OK", platform::mrOk),
                 Button("ButtonCancel", "Cancel", platform::mrCancel)};
    return d;
}

TFormSettings::TFormSettings(TGLScreenSaver& host, platform::IDialogSystem& dialogs)
    : FHost(host), FDialogs(dialogs), FView(dialogs.CreateDialog(Describe())) {
    platform::DialogEvents events;
    events.Change = [this](const std::string& control) { Changed(control); };
    events.ItemCheck = [this](const std::string& control, int32_t item) { ItemChecked(control, item); };
    events.Click = [this](const std::string& control) { Clicked(control); };
    events.Close = [this] { FHost.CloseApplication(); };
    FView->SetEvents(events);

    // The scene starts behind the hourglass, with the GL window inside the
    // preview panel.
    FHostStart = FHost.OnStart;
    FHost.OnStart = [this](TCustomApplicationPro* sender) {
        if (IsDialogRole()) FHost.GLWindow().ParentWindow = FView->PanelWindow(kPanel);
        FView->SetBusy(true);
        try {
            if (FHostStart) FHostStart(sender);
        } catch (...) {
            FView->SetBusy(false);
            throw;
        }
        FView->SetBusy(false);
    };
    FHostStartOpenGL = FHost.OnStartOpenGL;
    FHost.OnStartOpenGL = [this](TCustomApplicationPro* sender) {
        if (FHostStartOpenGL) FHostStartOpenGL(sender);
        if (!FHost.IsFullScreen() && IsDialogRole()) FillDialog();
    };
}

TFormSettings::~TFormSettings() {
    FHost.OnStart = FHostStart;
    FHost.OnStartOpenGL = FHostStartOpenGL;
}

bool TFormSettings::IsDialogRole() const { return FHost.Role() == srProgram || FHost.Role() == srConfig; }

void TFormSettings::Show() {
    if (!IsDialogRole()) return;
    FView->Show();
}

void TFormSettings::FillDialog() {
    platform::IDialogView& v = *FView;
    v.SetFormEnabled(false);
    FDialogReady = false;
    struct Restore {
        TFormSettings& Form;
        ~Restore() {
            Form.FView->SetFormEnabled(true);
            Form.FDialogReady = true;
        }
    } restore{*this};

    TUnderWaterWorld* world = FHost.World();
    if (!world) throw Exception("TFormSettings.FillDialog error: the scene has not started");
    v.SetCaption(FHost.Title + " v" + FHost.MajorVersion + "." + FHost.MinorVersion);

    v.SetChecked("CheckBoxEmulateDepth", world->EmulateDepth());
    v.SetChecked("CheckBoxFlat", world->Flat());
    v.SetChecked("CheckBoxLights", world->UseLights());
    v.SetChecked("CheckBoxCaustic", world->UseCaustic());
    v.SetChecked("CheckBoxFishCaustic", world->FishCaustic());
    v.SetChecked("CheckBoxBackground", world->UseBackground());
    v.SetChecked("CheckBoxWideScreen", FHost.Viewport().WideScreen);

    FillFishList();

    std::vector<std::string> waters;
    for (const auto& [name, water] : world->Waters) waters.push_back(name);
    v.SetItems("ComboBoxBackgrounds", waters);
    v.SetItemIndex("ComboBoxBackgrounds", world->WaterBackgroundIndex());

    v.SetRange("TrackBarBubblesCount", 0, 1000, 10);
    v.SetPosition("TrackBarBubblesCount", world->GetBubbleCount());
    v.SetText("LabelBubblesCount", std::to_string(v.Position("TrackBarBubblesCount")));
    v.SetRange("TrackBarFishCount", 0, 100, 5);
    v.SetPosition("TrackBarFishCount", world->FishCount());
    v.SetText("LabelFishCount", std::to_string(v.Position("TrackBarFishCount")));
    v.SetItemIndex("ComboBoxDirection", static_cast<int32_t>(world->FishDirection()));
}

void TFormSettings::FillFishList() {
    TUnderWaterWorld& world = *FHost.World();
    const std::vector<std::string> names = world.SchoolNames;
    FView->SetItems("CheckListBoxFishes", names);
    for (size_t i = 0; i < names.size(); ++i)
        FView->SetItemChecked("CheckListBoxFishes", static_cast<int32_t>(i), world.IsSchoolVisible(names[i]));
}

void TFormSettings::Changed(const std::string& control) {
    TUnderWaterWorld* world = FHost.World();
    if (!FDialogReady || !world) return;
    platform::IDialogView& v = *FView;
    if (control == "TrackBarFishCount") {
        const int32_t count = v.Position(control);
        v.SetText("LabelFishCount", std::to_string(count));
        world->SetFishCount(count);
    } else if (control == "TrackBarBubblesCount") {
        const int32_t count = v.Position(control);
        v.SetText("LabelBubblesCount", std::to_string(count));
        world->SetBubbleCount(count);
    } else if (control == "CheckBoxEmulateDepth") {
        world->SetEmulateDepth(v.Checked(control));
    } else if (control == "CheckBoxFlat") {
        world->SetFlat(v.Checked(control));
    } else if (control == "CheckBoxLights") {
        world->SetUseLights(v.Checked(control));
    } else if (control == "CheckBoxCaustic") {
        world->SetUseCaustic(v.Checked(control));
    } else if (control == "CheckBoxFishCaustic") {
        world->SetFishCaustic(v.Checked(control));
    } else if (control == "CheckBoxBackground") {
        world->SetUseBackground(v.Checked(control));
    } else if (control == "CheckBoxWideScreen") {
        FHost.Viewport().WideScreen = v.Checked(control);
    } else if (control == "ComboBoxBackgrounds") {
        const int32_t index = v.ItemIndex(control);
        if (index < 0) return;
        world->SetWaterBackgroundIndex(index);
        // Fresh waters have their own schools: "Fresh" in the entry's name
        // picks the second renderer (its 1-based position, 0 when absent,
        // clamped by the world to the last renderer).
        const std::vector<std::string> items = v.Items(control);
        const size_t fresh = static_cast<size_t>(index) < items.size() ? items[static_cast<size_t>(index)].find("Fresh")
                                                                       : std::string::npos;
        world->SetFishTypeIndex(fresh == std::string::npos ? 0 : static_cast<int32_t>(fresh) + 1);
        FillFishList();
    } else if (control == "ComboBoxDirection") {
        const int32_t index = v.ItemIndex(control);
        if (index >= 0) world->SetFishDirection(static_cast<TFishDirection>(index));
    }
}

void TFormSettings::ItemChecked(const std::string& control, int32_t) {
    TUnderWaterWorld* world = FHost.World();
    if (!FDialogReady || !world || control != "CheckListBoxFishes") return;
    const std::vector<std::string> items = FView->Items(control);
    for (size_t i = 0; i < items.size(); ++i)
        world->SetSchoolVisible(items[i], FView->ItemChecked(control, static_cast<int32_t>(i)));
}

void TFormSettings::Clicked(const std::string& control) {
    if (control == "ButtonOk") {
        FHost.SaveOptions();
        FHost.CloseApplication();
    } else if (control == "ButtonCancel") {
        FHost.CloseApplication();
    } else if (control == "ButtonPreview") {
        // Full screen until an exit rule brings the dialog back; the moves
        // of the click itself must not end it.
        FHost.ResetMouseTracking();
        FHost.GLDisplay().SetFullScreen(true);
    } else if (control == "ButtonHelp") {
        FHost.ShowHelp();
    } else if (control == "ButtonAbout") {
        ShowAbout();
    } else if (control == "ButtonAdvanced") {
        // Made, run over this dialog and freed; it acts on the running scene.
        if (FDialogReady && FHost.Scene()) TFormAdvancedSettings(FHost, FDialogs).Execute(FView.get());
    }
}

void TFormSettings::ShowAbout() {
    platform::AboutInfo about;
    about.ProgramName = FHost.Title;
    about.Version = FHost.VersionText();
    TCustomOpenGL& gl = FHost.OpenGL();
    if (gl.Active()) {
        about.Comments = "A 3D aquarium screen saver.\n\nOpenGL version: " + gl.Version() +
                         "\nRenderer: " + gl.Renderer() + "\nVendor: " + gl.Vendor();
    } else {
        about.Comments = "A 3D aquarium screen saver.\n\nOpenGL has not started.";
    }
    about.Copyright = "Copyright \u00A9 " + FHost.Company;
    about.License = "Proprietary";
    about.Website = kHomePage;
    FView->ShowAbout(about);
}
