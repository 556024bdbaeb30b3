// Settings dialogs as the presenters see them: a window of named controls
// with plain values, built from a description, that reports what the person
// changes and clicks.
//
// How a dialog is described: a DialogDesc lists sections (framed groups
// with a title) placed in columns, each holding its controls top to bottom;
// a control with SameRow set sits to the right of the one before it (a
// slider and the label showing its value), and the dialog's Buttons form one
// row along the bottom. Every control has a unique Name: the presenter reads
// and sets it by that name, events name it, and the toolkit's widget carries
// it so that tests find it. A button with a ModalResult ends a modal run of
// its dialog with that result (after its Click event); closing the window
// ends it with mrCancel. Setters never fire events: only the person's own
// changes do, so a presenter filling its controls hears nothing back.
#pragma once

#include "platform/application_hooks.h"
#include "platform/gl_context.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class ControlKind : uint8_t {
    Label,
    Button,
    CheckBox,
    ComboBox,     // a drop-down list of fixed items
    TrackBar,     // a horizontal slider with a range and a page step
    CheckList,    // a list of items, each with a check box; one may be selected
    ColorSwatch,  // a coloured box; clicking it fires Click
    Panel,        // an empty area whose native window hosts GL output
};

// How a modal run ended.
inline constexpr int32_t mrNone = 0;
inline constexpr int32_t mrOk = 1;
inline constexpr int32_t mrCancel = 2;

struct ControlDesc {
    std::string Name;
    ControlKind Kind = ControlKind::Label;
    // Button, check-box and label text; for a slider, combo box or check
    // list the label put before it (none when empty). "&" before a letter
    // makes it the access key (Alt and the letter), "&&" is a plain "&".
    std::string Caption;
    std::vector<std::string> Items;  // combo box and check list
    int32_t Min = 0;                 // slider range and page step
    int32_t Max = 100;
    int32_t Page = 1;
    std::string Hint;  // tooltip
    bool Visible = true;
    bool SameRow = false;
    int32_t ModalResult = mrNone;  // buttons
    // Least size in pixels (0: the toolkit's choice); panels and lists.
    int32_t MinWidth = 0;
    int32_t MinHeight = 0;
};

struct SectionDesc {
    std::string Title;  // empty: no frame
    int32_t Column = 0;
    std::vector<ControlDesc> Controls;
};

struct DialogDesc {
    std::string Name;
    std::string Caption;
    std::vector<SectionDesc> Sections;
    std::vector<ControlDesc> Buttons;
};

// What the person did. An empty function ignores that kind of event.
struct DialogEvents {
    // A check box, combo box index or slider position changed.
    std::function<void(const std::string& control)> Change;
    // A button or a colour swatch was clicked.
    std::function<void(const std::string& control)> Click;
    // The check of one item of a check list changed.
    std::function<void(const std::string& control, int32_t item)> ItemCheck;
    // The selected item of a check list changed.
    std::function<void(const std::string& control)> Select;
    // The window's close box (a modeless dialog stays open; the handler
    // decides).
    std::function<void()> Close;
};

// What the about box shows.
struct AboutInfo {
    std::string ProgramName;
    std::string Version;
    std::string Comments;  // free text, several lines
    std::string Copyright;
    std::string License;
    std::string Website;  // empty: none shown
};

class IDialogView {
public:
    virtual ~IDialogView() = default;

    virtual void SetEvents(const DialogEvents& events) = 0;

    virtual void SetCaption(const std::string& caption) = 0;
    virtual std::string Caption() const = 0;
    // The whole dialog takes input or not (greyed while it is filled).
    virtual void SetFormEnabled(bool enabled) = 0;
    virtual bool FormEnabled() const = 0;

    // --- controls by name; an unknown name raises std::out_of_range ---
    virtual void SetItems(const std::string& control, const std::vector<std::string>& items) = 0;
    virtual std::vector<std::string> Items(const std::string& control) const = 0;
    // -1: nothing selected.
    virtual void SetItemIndex(const std::string& control, int32_t index) = 0;
    virtual int32_t ItemIndex(const std::string& control) const = 0;
    virtual void SetRange(const std::string& control, int32_t min, int32_t max, int32_t page) = 0;
    // Clamped to the range.
    virtual void SetPosition(const std::string& control, int32_t position) = 0;
    virtual int32_t Position(const std::string& control) const = 0;
    virtual void SetChecked(const std::string& control, bool checked) = 0;
    virtual bool Checked(const std::string& control) const = 0;
    virtual void SetItemChecked(const std::string& control, int32_t item, bool checked) = 0;
    virtual bool ItemChecked(const std::string& control, int32_t item) const = 0;
    // A label's text, a button's or check box's caption.
    virtual void SetText(const std::string& control, const std::string& text) = 0;
    virtual std::string Text(const std::string& control) const = 0;
    virtual void SetEnabled(const std::string& control, bool enabled) = 0;
    virtual bool Enabled(const std::string& control) const = 0;
    virtual void SetVisible(const std::string& control, bool visible) = 0;
    virtual bool Visible(const std::string& control) const = 0;
    virtual void SetHint(const std::string& control, const std::string& hint) = 0;
    // 0x00BBGGRR, a colour swatch.
    virtual void SetColor(const std::string& control, uint32_t color) = 0;
    virtual uint32_t Color(const std::string& control) const = 0;
    // The native window of a panel, as a parent for GL windows; 0 before
    // the dialog is shown.
    virtual GLWindowHandle PanelWindow(const std::string& control) = 0;

    // --- the window ---
    // Shows a modeless dialog, centred on the screen.
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool Showing() const = 0;
    // Shows the dialog modally over `owner` (centred on it; nullptr: on the
    // screen) and returns how it ended. The application's loop, its idle
    // work included, keeps running meanwhile.
    virtual int32_t ShowModal(IDialogView* owner) = 0;
    // Ends a modal run with `result`, or hides a modeless dialog.
    virtual void Close(int32_t result) = 0;
    // The hourglass over the dialog while long work runs.
    virtual void SetBusy(bool busy) = 0;

    // --- standard dialogs over this one ---
    // The system's colour chooser starting at `color`; false when cancelled.
    virtual bool ChooseColor(const std::string& title, uint32_t& color) = 0;
    virtual void ShowAbout(const AboutInfo& about) = 0;
};

class IDialogSystem {
public:
    virtual ~IDialogSystem() = default;
    // Whether dialogs can be shown at all (a desktop session to show them on).
    virtual bool Available() = 0;
    // Raises std::runtime_error when the dialog cannot be made.
    virtual std::unique_ptr<IDialogView> CreateDialog(const DialogDesc& desc) = 0;
    // The application object whose loop runs these dialogs (the toolkit's
    // own loop); its main form is the first dialog made.
    virtual IApplicationHooks& Application() = 0;
};

// This OS's dialogs; lives for the whole process.
IDialogSystem& SystemDialogs();

}  // namespace platform
