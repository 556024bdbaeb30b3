// A dialog double: its controls are plain state made from the description.
// Tests act as the person does (User* calls change a control and fire its
// event, as the toolkit would) and read what the presenter set.
#pragma once

#include "platform/dialog_view.h"
#include "platform/null/null_services.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct RecordedControl {
    ControlDesc Desc;
    std::vector<std::string> Items;
    std::vector<bool> ItemChecks;
    int32_t ItemIndex = -1;
    int32_t Min = 0, Max = 100, Page = 1;
    int32_t Position = 0;
    bool Checked = false;
    std::string Text;
    bool Enabled = true;
    bool Visible = true;
    std::string Hint;
    uint32_t Color = 0;
};

class RecordingDialogSystem;

class RecordingDialogView final : public IDialogView {
public:
    explicit RecordingDialogView(const DialogDesc& desc, RecordingDialogSystem* system = nullptr);
    ~RecordingDialogView() override;

    void SetEvents(const DialogEvents& events) override { Events = events; }
    void SetCaption(const std::string& caption) override { FCaption = caption; }
    std::string Caption() const override { return FCaption; }
    void SetFormEnabled(bool enabled) override;
    bool FormEnabled() const override { return FFormEnabled; }

    void SetItems(const std::string& control, const std::vector<std::string>& items) override;
    std::vector<std::string> Items(const std::string& control) const override { return At(control).Items; }
    void SetItemIndex(const std::string& control, int32_t index) override;
    int32_t ItemIndex(const std::string& control) const override { return At(control).ItemIndex; }
    void SetRange(const std::string& control, int32_t min, int32_t max, int32_t page) override;
    void SetPosition(const std::string& control, int32_t position) override;
    int32_t Position(const std::string& control) const override { return At(control).Position; }
    void SetChecked(const std::string& control, bool checked) override { At(control).Checked = checked; }
    bool Checked(const std::string& control) const override { return At(control).Checked; }
    void SetItemChecked(const std::string& control, int32_t item, bool checked) override;
    bool ItemChecked(const std::string& control, int32_t item) const override;
    void SetText(const std::string& control, const std::string& text) override { At(control).Text = text; }
    std::string Text(const std::string& control) const override { return At(control).Text; }
    void SetEnabled(const std::string& control, bool enabled) override { At(control).Enabled = enabled; }
    bool Enabled(const std::string& control) const override { return At(control).Enabled; }
    void SetVisible(const std::string& control, bool visible) override { At(control).Visible = visible; }
    bool Visible(const std::string& control) const override { return At(control).Visible; }
    void SetHint(const std::string& control, const std::string& hint) override { At(control).Hint = hint; }
    void SetColor(const std::string& control, uint32_t color) override { At(control).Color = color; }
    uint32_t Color(const std::string& control) const override { return At(control).Color; }
    GLWindowHandle PanelWindow(const std::string& control) override;

    void Show() override;
    void Hide() override;
    bool Showing() const override { return FShowing; }
    // Runs ModalRun (the test's part as the person) and returns its result;
    // without one the run ends with mrCancel at once.
    int32_t ShowModal(IDialogView* owner) override;
    void Close(int32_t result) override;
    void SetBusy(bool busy) override;

    bool ChooseColor(const std::string& title, uint32_t& color) override;
    void ShowAbout(const AboutInfo& about) override { Abouts.push_back(about); }

    // --- the person's side ---
    void UserSetPosition(const std::string& control, int32_t position);
    void UserSetChecked(const std::string& control, bool checked);
    void UserSetItemIndex(const std::string& control, int32_t index);
    void UserSetItemChecked(const std::string& control, int32_t item, bool checked);
    void UserSelect(const std::string& control, int32_t item);
    void UserClick(const std::string& control);
    void UserClose();

    RecordedControl& At(const std::string& control);
    const RecordedControl& At(const std::string& control) const;

    DialogDesc Desc;
    DialogEvents Events;
    std::map<std::string, RecordedControl> Controls;
    std::function<int32_t(RecordingDialogView& self)> ModalRun;
    IDialogView* ModalOwner = nullptr;
    int32_t ModalResult = mrNone;
    // What ChooseColor answers: a colour, or cancelled when unset.
    bool ColorChosen = false;
    uint32_t ChosenColor = 0;
    std::vector<std::string> ColorTitles;
    std::vector<AboutInfo> Abouts;
    // "Show", "Hide", "Close(1)", "Busy(1)", "FormEnabled(0)", ... in order.
    std::vector<std::string> Log;
    GLWindowHandle Panel = 0x5000;

private:
    RecordingDialogSystem* System;
    std::string FCaption;
    bool FFormEnabled = true;
    bool FShowing = false;
    bool FInModal = false;
};

class RecordingDialogSystem final : public IDialogSystem {
public:
    bool Available() override { return IsAvailable; }
    // A dialog made while ModalRuns holds its name gets that as its
    // ModalRun, so a test can act in a dialog the presenter makes and frees
    // by itself.
    std::unique_ptr<IDialogView> CreateDialog(const DialogDesc& desc) override;

    // The living dialog of that name; std::out_of_range when there is none.
    RecordingDialogView& Dialog(const std::string& name);
    IApplicationHooks& Application() override { return App; }
    bool Has(const std::string& name) const { return Live.count(name) != 0; }

    bool IsAvailable = true;
    std::map<std::string, std::function<int32_t(RecordingDialogView&)>> ModalRuns;
    std::map<std::string, RecordingDialogView*> Live;
    std::vector<std::string> Created;  // names, in order
    RecordingApplication App;
};

}  // namespace platform
