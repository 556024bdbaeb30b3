#include "platform/null/dialog_view_null.h"

#include <algorithm>
#include <stdexcept>

namespace platform {

RecordingDialogView::RecordingDialogView(const DialogDesc& desc, RecordingDialogSystem* system)
    : Desc(desc), System(system), FCaption(desc.Caption) {
    auto add = [this](const ControlDesc& c) {
        RecordedControl& r = Controls[c.Name];
        r.Desc = c;
        r.Items = c.Items;
        r.ItemChecks.assign(c.Items.size(), false);
        r.Min = c.Min;
        r.Max = c.Max;
        r.Page = c.Page;
        r.Position = c.Min;
        r.Text = c.Caption;
        r.Visible = c.Visible;
        r.Hint = c.Hint;
    };
    for (const SectionDesc& section : desc.Sections)
        for (const ControlDesc& c : section.Controls) add(c);
    for (const ControlDesc& c : desc.Buttons) add(c);
}

RecordingDialogView::~RecordingDialogView() {
    if (!System) return;
    auto it = System->Live.find(Desc.Name);
    if (it != System->Live.end() && it->second == this) System->Live.erase(it);
}

RecordedControl& RecordingDialogView::At(const std::string& control) {
    auto it = Controls.find(control);
    if (it == Controls.end()) throw std::out_of_range("no control '" + control + "' in dialog " + Desc.Name);
    return it->second;
}

const RecordedControl& RecordingDialogView::At(const std::string& control) const {
    return const_cast<RecordingDialogView*>(this)->At(control);
}

void RecordingDialogView::SetFormEnabled(bool enabled) {
    FFormEnabled = enabled;
    Log.push_back(std::string("FormEnabled(") + (enabled ? "1" : "0") + ")");
}

void RecordingDialogView::SetItems(const std::string& control, const std::vector<std::string>& items) {
    RecordedControl& r = At(control);
    r.Items = items;
    r.ItemChecks.assign(items.size(), false);
    r.ItemIndex = -1;
}

void RecordingDialogView::SetItemIndex(const std::string& control, int32_t index) {
    RecordedControl& r = At(control);
    r.ItemIndex = index >= 0 && index < static_cast<int32_t>(r.Items.size()) ? index : -1;
}

void RecordingDialogView::SetRange(const std::string& control, int32_t min, int32_t max, int32_t page) {
    RecordedControl& r = At(control);
    r.Min = min;
    r.Max = std::max(min, max);
    r.Page = page;
    r.Position = std::clamp(r.Position, r.Min, r.Max);
}

void RecordingDialogView::SetPosition(const std::string& control, int32_t position) {
    RecordedControl& r = At(control);
    r.Position = std::clamp(position, r.Min, r.Max);
}

void RecordingDialogView::SetItemChecked(const std::string& control, int32_t item, bool checked) {
    RecordedControl& r = At(control);
    if (item < 0 || item >= static_cast<int32_t>(r.ItemChecks.size()))
        throw std::out_of_range("no item " + std::to_string(item) + " in " + control);
    r.ItemChecks[static_cast<size_t>(item)] = checked;
}

bool RecordingDialogView::ItemChecked(const std::string& control, int32_t item) const {
    const RecordedControl& r = At(control);
    if (item < 0 || item >= static_cast<int32_t>(r.ItemChecks.size()))
        throw std::out_of_range("no item " + std::to_string(item) + " in " + control);
    return r.ItemChecks[static_cast<size_t>(item)];
}

GLWindowHandle RecordingDialogView::PanelWindow(const std::string& control) {
    At(control);
    return FShowing ? Panel : 0;
}

void RecordingDialogView::Show() {
    FShowing = true;
    Log.push_back("Show");
}

void RecordingDialogView::Hide() {
    FShowing = false;
    Log.push_back("Hide");
}

int32_t RecordingDialogView::ShowModal(IDialogView* owner) {
    ModalOwner = owner;
    ModalResult = mrNone;
    FShowing = true;
    FInModal = true;
    Log.push_back("ShowModal");
    int32_t result = ModalRun ? ModalRun(*this) : mrCancel;
    if (ModalResult != mrNone) result = ModalResult;
    FInModal = false;
    FShowing = false;
    return result;
}

void RecordingDialogView::Close(int32_t result) {
    Log.push_back("Close(" + std::to_string(result) + ")");
    if (FInModal)
        ModalResult = result;
    else
        FShowing = false;
}

void RecordingDialogView::SetBusy(bool busy) { Log.push_back(std::string("Busy(") + (busy ? "1" : "0") + ")"); }

bool RecordingDialogView::ChooseColor(const std::string& title, uint32_t& color) {
    ColorTitles.push_back(title);
    if (!ColorChosen) return false;
    color = ChosenColor;
    return true;
}

// --- the person's side: a disabled control or dialog takes no input ---

namespace {

void Require(const RecordingDialogView& view, const RecordedControl& r) {
    if (!view.FormEnabled() || !r.Enabled || !r.Visible)
        throw std::logic_error("control '" + r.Desc.Name + "' takes no input now");
}

}  // namespace

void RecordingDialogView::UserSetPosition(const std::string& control, int32_t position) {
    RecordedControl& r = At(control);
    Require(*this, r);
    r.Position = std::clamp(position, r.Min, r.Max);
    if (Events.Change) Events.Change(control);
}

void RecordingDialogView::UserSetChecked(const std::string& control, bool checked) {
    RecordedControl& r = At(control);
    Require(*this, r);
    r.Checked = checked;
    if (Events.Change) Events.Change(control);
}

void RecordingDialogView::UserSetItemIndex(const std::string& control, int32_t index) {
    RecordedControl& r = At(control);
    Require(*this, r);
    SetItemIndex(control, index);
    if (Events.Change) Events.Change(control);
}

void RecordingDialogView::UserSetItemChecked(const std::string& control, int32_t item, bool checked) {
    RecordedControl& r = At(control);
    Require(*this, r);
    SetItemChecked(control, item, checked);
    if (Events.ItemCheck) Events.ItemCheck(control, item);
}

void RecordingDialogView::UserSelect(const std::string& control, int32_t item) {
    RecordedControl& r = At(control);
    Require(*this, r);
    SetItemIndex(control, item);
    if (Events.Select) Events.Select(control);
}

void RecordingDialogView::UserClick(const std::string& control) {
    RecordedControl& r = At(control);
    Require(*this, r);
    if (Events.Click) Events.Click(control);
    if (r.Desc.ModalResult != mrNone && FInModal) ModalResult = r.Desc.ModalResult;
}

void RecordingDialogView::UserClose() {
    if (Events.Close) Events.Close();
    if (FInModal) ModalResult = mrCancel;
}

// --- the system ---

std::unique_ptr<IDialogView> RecordingDialogSystem::CreateDialog(const DialogDesc& desc) {
    auto view = std::make_unique<RecordingDialogView>(desc, this);
    auto run = ModalRuns.find(desc.Name);
    if (run != ModalRuns.end()) view->ModalRun = run->second;
    Live[desc.Name] = view.get();
    Created.push_back(desc.Name);
    return view;
}

RecordingDialogView& RecordingDialogSystem::Dialog(const std::string& name) {
    auto it = Live.find(name);
    if (it == Live.end()) throw std::out_of_range("no dialog " + name + " is open");
    return *it->second;
}

}  // namespace platform
