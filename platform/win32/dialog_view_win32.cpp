// Dialogs as native Win32 dialogs, built at run time from their
// description: a dialog window from an in-memory template (so the dialog
// manager gives it the shell font, dialog units, Tab, Enter, Escape and
// access keys), its controls the standard ones, each carrying its name in a
// window property (a global atom, so another process can find it too).
// Sizes come from dialog units and the measured text, laid out as the GTK
// view lays them out: framed sections in columns, a caption before each
// slider, combo box or list, the buttons in a row at the bottom; the last
// column and the growing controls (the preview panel, the lists) take the
// room a larger window gives.
//
// The dialogs run in a Win32 message loop of their own below (the
// application object of the dialog roles), whose idle hook keeps running
// during modal runs and under the system's colour chooser.
#include "platform/dialog_view.h"
#include "platform/idle_pass.h"
#include "platform/message_reporter.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

// The interface's names, not the system's narrow/wide macros.
#undef CreateDialog
#undef ChooseColor

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <vector>

namespace platform {
namespace {

using win32::Narrow;
using win32::Widen;

// The property every control's window carries: its name as a global atom.
constexpr wchar_t kNameProperty[] = L"ControlName";
constexpr wchar_t kPanelClass[] = L"MarivellePanel";
constexpr int kFirstId = 1000;

// Layout in dialog units (the shell font's average character is 4 wide
// and 8 high), as desktop dialogs are spaced.
namespace dlu {
constexpr int Margin = 7;       // dialog edge
constexpr int Gap = 7;          // between sections, columns and the buttons
constexpr int RowGap = 4;       // between rows of a section
constexpr int CellGap = 4;      // between a caption, its control and a value
constexpr int FrameSide = 6;    // inside a group box
constexpr int FrameTop = 12;    // below a group box's title
constexpr int FrameBottom = 6;
constexpr int ButtonWidth = 50;
constexpr int ButtonHeight = 14;
constexpr int LabelHeight = 8;
constexpr int CheckHeight = 10;
constexpr int TrackHeight = 15;
constexpr int DropHeight = 120;  // a combo box's open list
}  // namespace dlu

class Win32DialogView;

// The dialog roles' application object: a Win32 message loop whose idle
// hook runs whenever no message is pending.
class Win32Loop final : public IApplicationHooks {
public:
    void SetHandlers(const ApplicationHandlers& handlers) override { Handlers = handlers; }
    void SetIdleHandler(std::function<void(bool&)> idle) override { Handlers.Idle = std::move(idle); }

    void Run() override;
    void Terminate() override {
        IsTerminated = true;
        PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);  // wakes a waiting loop
    }
    bool Terminated() const override { return IsTerminated; }
    void PostQuit(int exitCode) override { PostQuitMessage(exitCode); }

    std::string Title() const override { return AppTitle; }
    void SetTitle(const std::string& title) override { AppTitle = title; }

    void SetShowMainForm(bool show) override { ShowForm = show; }
    bool HasMainForm() const override { return MainView != nullptr; }
    bool MainFormIsTopLevel() const override { return MainView != nullptr; }
    Size MainFormSize() const override;
    void SetMainFormPosition(int32_t left, int32_t top) override;
    void CloseMainForm() override {
        HideMainForm();
        Terminate();
    }
    void HideMainForm() override;
    void ClearMainFormHandlers() override;
    // The dialogs are the only windows: there is no application window.
    void HideApplicationWindow() override {}

    Size PrimaryScreenSize() const override { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }
    void ShowCursor(bool visible) override {
        if (visible == CursorShown) return;
        CursorShown = visible;
        ::ShowCursor(visible ? TRUE : FALSE);
    }

    // Messages and idle passes until `until` holds, the run is terminated or
    // the quit message arrives (which terminates it).
    void Pump(const std::function<bool()>& until);
    // One idle pass from inside a system modal loop (colour chooser, message
    // box), which tells us through WM_ENTERIDLE that its queue is empty.
    void ForeignIdle(HWND owner);
    // An exception out of an event handler: the Exception hook, or an error
    // box; the program goes on, as after any handled error.
    void HandleException(const std::exception& e);

    void AddDialog(HWND dialog) { Dialogs.insert(dialog); }
    void RemoveDialog(HWND dialog) { Dialogs.erase(dialog); }
    void SetMainForm(Win32DialogView* view) {
        MainView = view;
        // A new main form is a new run of the program (tests make several
        // in one process).
        if (view && !Running) IsTerminated = false;
    }
    Win32DialogView* MainForm() const { return MainView; }

private:
    // false when the error ends the run.
    bool IdlePass(bool& done);
    void Dispatch(MSG& msg);

    ApplicationHandlers Handlers;
    std::string AppTitle;
    bool IsTerminated = false;
    bool Running = false;
    bool ShowForm = true;
    bool CursorShown = true;
    bool InForeignIdle = false;
    Win32DialogView* MainView = nullptr;
    std::set<HWND> Dialogs;
};

Win32Loop& TheLoop() {
    static Win32Loop loop;
    return loop;
}

// "&x" marks an access key, as the system's own controls read it; what is
// shown has the marks taken out.
std::string WithoutMarks(const std::string& caption) {
    std::string out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;
        out += caption[i];
    }
    return out;
}

std::wstring WindowText(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool Captioned(const ControlDesc& d) {
    return !d.Caption.empty() && (d.Kind == ControlKind::TrackBar || d.Kind == ControlKind::ComboBox ||
                                  d.Kind == ControlKind::CheckList || d.Kind == ControlKind::ColorSwatch);
}

bool Grows(ControlKind kind) { return kind == ControlKind::Panel || kind == ControlKind::CheckList; }

// The panel hosts GL output: black until that covers it, and whatever
// window it holds follows its size.
LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SIZE) {
        for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            SetWindowPos(child, nullptr, 0, 0, LOWORD(lp), HIWORD(lp), SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// A control and the windows that make it up.
struct Control {
    ControlDesc Desc;
    HWND Hwnd = nullptr;
    HWND Caption = nullptr;  // the label before it, if any
    int Id = 0;
    ATOM NameAtom = 0;
    bool Enabled = true;
    bool Visible = true;
    uint32_t Color = 0;   // colour swatch
    int32_t Position = 0;  // slider: the last position an event was made for
    int FieldHeight = 0;   // combo box: its closed height
    std::wstring Hint;
};

struct Section {
    SectionDesc Desc;
    HWND Frame = nullptr;
    std::vector<Control*> Controls;
};

// One row of a section: a control and what sits to its right.
struct Row {
    Control* Main = nullptr;
    Control* Extra = nullptr;
    int Height = 0;
};

class Win32DialogView final : public IDialogView {
public:
    explicit Win32DialogView(const DialogDesc& desc) : Name(desc.Name) {
        const std::vector<WORD> layout = Template();
        Dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(layout.data()), nullptr,
                                            &Win32DialogView::DialogProc, reinterpret_cast<LPARAM>(this));
        if (!Dialog) throw std::runtime_error("cannot make dialog " + desc.Name + ": " + win32::ErrorText(GetLastError()));
        SetWindowTextW(Dialog, Widen(desc.Caption).c_str());
        // The program's icon in the title bar and the task bar, at the sizes each asks for.
        for (WPARAM kind : {ICON_SMALL, ICON_BIG}) {
            const int side = GetSystemMetrics(kind == ICON_SMALL ? SM_CXSMICON : SM_CXICON);
            if (HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, side, side, LR_SHARED))
                SendMessageW(Dialog, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
        }
        Font = reinterpret_cast<HFONT>(SendMessageW(Dialog, WM_GETFONT, 0, 0));
        RECT units{0, 0, 4, 8};
        MapDialogRect(Dialog, &units);
        BaseX = std::max<int>(1, units.right);
        BaseY = std::max<int>(1, units.bottom);
        Tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Dialog, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
        if (!Name.empty()) Tag(Dialog, Name, DialogAtom);

        Quiet quiet(*this);
        for (const SectionDesc& s : desc.Sections) {
            Section& section = Sections.emplace_back();
            section.Desc = s;
            if (!s.Title.empty())
                section.Frame = Child(WC_BUTTONW, s.Title, WS_VISIBLE | BS_GROUPBOX, 0, 0);
            for (const ControlDesc& c : s.Controls) section.Controls.push_back(&Add(c));
        }
        for (const ControlDesc& c : desc.Buttons) Buttons.push_back(&Add(c));
        for (Control* c : Buttons)
            if (c->Desc.ModalResult == mrOk) SendMessageW(Dialog, DM_SETDEFID, static_cast<WPARAM>(c->Id), 0);

        // The window starts at the least size its controls need.
        Relayout();
        TheLoop().AddDialog(Dialog);
    }

    ~Win32DialogView() override {
        if (TheLoop().MainForm() == this) TheLoop().SetMainForm(nullptr);
        if (InModal) Close(mrCancel);
        TheLoop().RemoveDialog(Dialog);
        for (auto& [name, c] : Controls) Untag(c.Hwnd, c.NameAtom);
        Untag(Dialog, DialogAtom);
        SetWindowLongPtrW(Dialog, DWLP_USER, 0);
        DestroyWindow(Tips);
        DestroyWindow(Dialog);
    }

    void SetEvents(const DialogEvents& events) override { Events = events; }
    void SetCaption(const std::string& caption) override { SetWindowTextW(Dialog, Widen(caption).c_str()); }
    std::string Caption() const override { return Narrow(WindowText(Dialog)); }
    // The controls, not the window: a modal run over this dialog disables
    // the window itself.
    void SetFormEnabled(bool enabled) override {
        FormIsEnabled = enabled;
        for (auto& [name, c] : Controls) ApplyEnabled(c);
        for (Section& s : Sections)
            if (s.Frame) EnableWindow(s.Frame, enabled);
    }
    bool FormEnabled() const override { return FormIsEnabled; }

    void SetItems(const std::string& name, const std::vector<std::string>& items) override {
        Control& c = At(name);
        Quiet quiet(*this);
        if (c.Desc.Kind == ControlKind::ComboBox) {
            SendMessageW(c.Hwnd, CB_RESETCONTENT, 0, 0);
            for (const std::string& item : items)
                SendMessageW(c.Hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
            Relayout();  // the longest entry shows whole
        } else if (c.Desc.Kind == ControlKind::CheckList) {
            SendMessageW(c.Hwnd, LVM_DELETEALLITEMS, 0, 0);
            for (const std::string& item : items) {
                std::wstring text = Widen(item);
                LVITEMW it{};
                it.mask = LVIF_TEXT;
                it.iItem = static_cast<int>(SendMessageW(c.Hwnd, LVM_GETITEMCOUNT, 0, 0));
                it.pszText = text.data();
                SendMessageW(c.Hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it));
            }
            FitListColumn(c);
        } else {
            throw std::out_of_range(name + " has no items");
        }
    }
    std::vector<std::string> Items(const std::string& name) const override {
        const Control& c = At(name);
        std::vector<std::string> items;
        if (c.Desc.Kind == ControlKind::ComboBox) {
            const auto count = SendMessageW(c.Hwnd, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                std::wstring text(static_cast<size_t>(SendMessageW(c.Hwnd, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
                text.resize(static_cast<size_t>(
                    SendMessageW(c.Hwnd, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
                items.push_back(Narrow(text));
            }
        } else if (c.Desc.Kind == ControlKind::CheckList) {
            const int count = ItemCount(c);
            for (int i = 0; i < count; ++i) items.push_back(ItemText(c, i));
        }
        return items;
    }
    void SetItemIndex(const std::string& name, int32_t index) override {
        Control& c = At(name);
        Quiet quiet(*this);
        if (c.Desc.Kind == ControlKind::ComboBox) {
            SendMessageW(c.Hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        } else if (c.Desc.Kind == ControlKind::CheckList) {
            SetItemState(c, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
            if (index >= 0 && index < ItemCount(c)) {
                SetItemState(c, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
                SendMessageW(c.Hwnd, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
            }
        }
    }
    int32_t ItemIndex(const std::string& name) const override {
        const Control& c = At(name);
        if (c.Desc.Kind == ControlKind::ComboBox) return static_cast<int32_t>(SendMessageW(c.Hwnd, CB_GETCURSEL, 0, 0));
        if (c.Desc.Kind == ControlKind::CheckList)
            return static_cast<int32_t>(SendMessageW(c.Hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        return -1;
    }
    void SetRange(const std::string& name, int32_t min, int32_t max, int32_t page) override {
        Control& c = At(name);
        Quiet quiet(*this);
        SendMessageW(c.Hwnd, TBM_SETRANGEMIN, FALSE, min);
        SendMessageW(c.Hwnd, TBM_SETRANGEMAX, TRUE, std::max(min, max));
        SendMessageW(c.Hwnd, TBM_SETPAGESIZE, 0, std::max(1, page));
        c.Position = Position(name);
    }
    void SetPosition(const std::string& name, int32_t position) override {
        Control& c = At(name);
        SendMessageW(c.Hwnd, TBM_SETPOS, TRUE, position);
        c.Position = Position(name);
    }
    int32_t Position(const std::string& name) const override {
        return static_cast<int32_t>(SendMessageW(At(name).Hwnd, TBM_GETPOS, 0, 0));
    }
    void SetChecked(const std::string& name, bool checked) override {
        SendMessageW(At(name).Hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    bool Checked(const std::string& name) const override {
        return SendMessageW(At(name).Hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    void SetItemChecked(const std::string& name, int32_t item, bool checked) override {
        Control& c = Item(name, item);
        Quiet quiet(*this);
        SetItemState(c, item, INDEXTOSTATEIMAGEMASK(checked ? 2 : 1), LVIS_STATEIMAGEMASK);
    }
    bool ItemChecked(const std::string& name, int32_t item) const override {
        const Control& c = const_cast<Win32DialogView*>(this)->Item(name, item);
        const auto state = SendMessageW(c.Hwnd, LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_STATEIMAGEMASK);
        return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
    }
    void SetText(const std::string& name, const std::string& text) override {
        Control& c = At(name);
        SetWindowTextW(c.Caption ? c.Caption : c.Hwnd, Widen(text).c_str());
        // A label whose text no longer fits makes room for it.
        if (c.Desc.Kind == ControlKind::Label) {
            RECT now;
            GetClientRect(c.Hwnd, &now);
            const SIZE need = Preferred(c);
            if (need.cx > now.right || need.cy > now.bottom) Relayout();
        }
    }
    std::string Text(const std::string& name) const override {
        const Control& c = At(name);
        const std::string text = Narrow(WindowText(c.Caption ? c.Caption : c.Hwnd));
        // A label shows its text as it is; other captions mark access keys.
        return c.Desc.Kind == ControlKind::Label ? text : WithoutMarks(text);
    }
    void SetEnabled(const std::string& name, bool enabled) override {
        Control& c = At(name);
        c.Enabled = enabled;
        ApplyEnabled(c);
    }
    bool Enabled(const std::string& name) const override { return At(name).Enabled; }
    void SetVisible(const std::string& name, bool visible) override {
        Control& c = At(name);
        if (c.Visible == visible) return;
        c.Visible = visible;
        for (HWND w : {c.Hwnd, c.Caption})
            if (w) ShowWindow(w, visible ? SW_SHOWNA : SW_HIDE);
        Relayout();
    }
    bool Visible(const std::string& name) const override { return At(name).Visible; }
    void SetHint(const std::string& name, const std::string& hint) override {
        Control& c = At(name);
        const bool had = !c.Hint.empty();
        c.Hint = Widen(hint);
        for (HWND w : {c.Hwnd, c.Caption}) {
            if (!w) continue;
            TOOLINFOW tool = Tool(w);
            if (c.Hint.empty())
                SendMessageW(Tips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
            else
                SendMessageW(Tips, had ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
    void SetColor(const std::string& name, uint32_t color) override {
        Control& c = At(name);
        c.Color = color & 0x00FFFFFF;
        InvalidateRect(c.Hwnd, nullptr, TRUE);
    }
    uint32_t Color(const std::string& name) const override { return At(name).Color; }

    GLWindowHandle PanelWindow(const std::string& name) override {
        Control& c = At(name);
        if (c.Desc.Kind != ControlKind::Panel) throw std::out_of_range(name + " is no panel");
        if (!IsWindowVisible(Dialog)) return 0;
        return reinterpret_cast<GLWindowHandle>(c.Hwnd);
    }

    void Show() override {
        CentreOver(nullptr);
        ShowWindow(Dialog, SW_SHOW);
        Activate();
    }
    void Hide() override { ShowWindow(Dialog, SW_HIDE); }
    bool Showing() const override { return IsWindowVisible(Dialog) != FALSE; }

    // The owner is disabled while the run lasts, and this dialog stays above
    // it; the application's loop, idle work included, runs meanwhile.
    int32_t ShowModal(IDialogView* owner) override {
        auto* parent = dynamic_cast<Win32DialogView*>(owner);
        HWND ownerWindow = parent ? parent->Dialog : nullptr;
        SetWindowLongPtrW(Dialog, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(ownerWindow));
        CentreOver(ownerWindow);
        const bool reenable = ownerWindow && IsWindowEnabled(ownerWindow);
        if (ownerWindow) EnableWindow(ownerWindow, FALSE);
        ModalResult = mrNone;
        InModal = true;
        ShowWindow(Dialog, SW_SHOW);
        Activate();
        TheLoop().Pump([this] { return ModalResult != mrNone; });
        InModal = false;
        // The owner first, so that it, not some other program, is activated
        // when this one goes.
        if (reenable) EnableWindow(ownerWindow, TRUE);
        ShowWindow(Dialog, SW_HIDE);
        if (ownerWindow) SetActiveWindow(ownerWindow);
        return ModalResult == mrNone ? mrCancel : ModalResult;
    }
    void Close(int32_t result) override {
        if (InModal) {
            ModalResult = result;
            PostMessageW(Dialog, WM_NULL, 0, 0);  // wakes a waiting loop
        } else {
            Hide();
        }
    }
    void SetBusy(bool busy) override {
        Busy = busy;
        SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
    }

    bool ChooseColor(const std::string& title, uint32_t& color) override {
        static COLORREF custom[16] = {};
        std::wstring caption = Widen(title);
        CHOOSECOLORW cc{};
        cc.lStructSize = sizeof cc;
        cc.hwndOwner = Dialog;
        cc.rgbResult = color & 0x00FFFFFF;
        cc.lpCustColors = custom;
        cc.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ANYCOLOR | CC_ENABLEHOOK;
        cc.lCustData = reinterpret_cast<LPARAM>(caption.c_str());
        cc.lpfnHook = [](HWND box, UINT msg, WPARAM, LPARAM lp) -> UINT_PTR {
            if (msg == WM_INITDIALOG)
                SetWindowTextW(box, reinterpret_cast<const wchar_t*>(reinterpret_cast<CHOOSECOLORW*>(lp)->lCustData));
            return 0;
        };
        if (!ChooseColorW(&cc)) return false;
        color = cc.rgbResult & 0x00FFFFFF;
        return true;
    }
    // A described dialog of our own rather than a message box: it runs in
    // our loop, so the preview keeps moving behind it.
    void ShowAbout(const AboutInfo& about) override {
        DialogDesc d;
        d.Name = "FormAbout";
        d.Caption = "About " + about.ProgramName;
        SectionDesc texts;
        auto label = [&texts](const char* name, const std::string& text) {
            if (text.empty()) return;
            ControlDesc c;
            c.Name = name;
            c.Caption = text;
            texts.Controls.push_back(c);
        };
        label("LabelProgram", about.ProgramName + " " + about.Version);
        label("LabelComments", about.Comments);
        label("LabelCopyright", about.Copyright);
        label("LabelLicense", about.License);
        label("LabelWebsite", about.Website);
        d.Sections = {texts};
        ControlDesc ok;
        ok.Name = "ButtonOk";
        ok.Kind = ControlKind::Button;
        ok.Caption = "OK";
        ok.ModalResult = mrOk;
        d.Buttons = {ok};
        Win32DialogView(d).ShowModal(this);
    }

    HWND Window() const { return Dialog; }

private:
    // Setters never fire events: the notifications look at this.
    struct Quiet {
        explicit Quiet(Win32DialogView& view) : View(view) { ++View.Filling; }
        ~Quiet() { --View.Filling; }
        Win32DialogView& View;
    };

    // An empty dialog with the shell font; its controls are made by Add.
    static std::vector<WORD> Template() {
        std::vector<WORD> t;
        auto dword = [&t](DWORD v) {
            t.push_back(LOWORD(v));
            t.push_back(HIWORD(v));
        };
        auto text = [&t](const wchar_t* s) {
            for (; *s; ++s) t.push_back(*s);
            t.push_back(0);
        };
        t.push_back(1);       // DLGTEMPLATEEX version
        t.push_back(0xFFFF);  // signature
        dword(0);             // help id
        dword(WS_EX_CONTROLPARENT);
        dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | DS_SHELLFONT | DS_3DLOOK);
        t.push_back(0);                            // no items
        for (int i = 0; i < 4; ++i) t.push_back(0);  // x, y, cx, cy: set after the layout
        t.push_back(0);                            // no menu
        t.push_back(0);                            // the dialog class
        t.push_back(0);                            // no title yet
        t.push_back(8);                            // point size
        t.push_back(FW_NORMAL);
        t.push_back(0x0100);  // not italic; the default character set
        text(L"MS Shell Dlg");
        return t;
    }

    HWND Child(const wchar_t* cls, const std::string& text, DWORD style, DWORD exStyle, int id) {
        HWND w = CreateWindowExW(exStyle, cls, Widen(text).c_str(), WS_CHILD | style, 0, 0, 0, 0, Dialog,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
        if (!w) throw std::runtime_error("cannot make a control of dialog " + Name + ": " + win32::ErrorText(GetLastError()));
        SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
        return w;
    }

    static void Tag(HWND w, const std::string& name, ATOM& atom) {
        atom = GlobalAddAtomW(Widen(name).c_str());
        SetPropW(w, kNameProperty, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(atom)));
    }
    static void Untag(HWND w, ATOM atom) {
        if (!atom) return;
        RemovePropW(w, kNameProperty);
        GlobalDeleteAtom(atom);
    }

    Control& Add(const ControlDesc& desc) {
        if (Controls.count(desc.Name)) throw std::runtime_error("two controls named " + desc.Name + " in dialog " + Name);
        Control& c = Controls[desc.Name];
        c.Desc = desc;
        c.Id = kFirstId + static_cast<int>(ById.size());
        c.Visible = desc.Visible;
        const DWORD shown = desc.Visible ? WS_VISIBLE : 0;
        const DWORD input = shown | WS_TABSTOP | WS_GROUP;
        // The caption comes first: its access key moves to the control after it.
        if (Captioned(desc)) c.Caption = Child(WC_STATICW, desc.Caption, shown | SS_LEFT, 0, -1);
        switch (desc.Kind) {
            case ControlKind::Label:
                c.Hwnd = Child(WC_STATICW, desc.Caption, shown | SS_NOPREFIX | (desc.SameRow ? SS_RIGHT : SS_LEFT), 0, c.Id);
                break;
            case ControlKind::Button:
                c.Hwnd = Child(WC_BUTTONW, desc.Caption,
                               input | (desc.ModalResult == mrOk ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, c.Id);
                break;
            case ControlKind::CheckBox:
                c.Hwnd = Child(WC_BUTTONW, desc.Caption, input | BS_AUTOCHECKBOX, 0, c.Id);
                break;
            case ControlKind::ComboBox:
                c.Hwnd = Child(WC_COMBOBOXW, "", input | WS_VSCROLL | CBS_DROPDOWNLIST, 0, c.Id);
                SetWindowPos(c.Hwnd, nullptr, 0, 0, 100, Dy(dlu::DropHeight), SWP_NOZORDER | SWP_NOACTIVATE);
                {
                    RECT r;
                    GetWindowRect(c.Hwnd, &r);
                    c.FieldHeight = r.bottom - r.top;
                }
                for (const std::string& item : desc.Items)
                    SendMessageW(c.Hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
                break;
            case ControlKind::TrackBar:
                c.Hwnd = Child(TRACKBAR_CLASSW, "", input | TBS_HORZ | TBS_NOTICKS, 0, c.Id);
                SendMessageW(c.Hwnd, TBM_SETRANGEMIN, FALSE, desc.Min);
                SendMessageW(c.Hwnd, TBM_SETRANGEMAX, FALSE, std::max(desc.Min, desc.Max));
                SendMessageW(c.Hwnd, TBM_SETPAGESIZE, 0, std::max(1, desc.Page));
                c.Position = static_cast<int32_t>(SendMessageW(c.Hwnd, TBM_GETPOS, 0, 0));
                break;
            case ControlKind::CheckList: {
                c.Hwnd = Child(WC_LISTVIEWW, "",
                               input | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                               WS_EX_CLIENTEDGE, c.Id);
                SendMessageW(c.Hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                             LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
                LVCOLUMNW column{};
                column.mask = LVCF_WIDTH;
                column.cx = 100;
                SendMessageW(c.Hwnd, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
                break;
            }
            case ControlKind::ColorSwatch:
                c.Hwnd = Child(WC_BUTTONW, WithoutMarks(desc.Caption), input | BS_OWNERDRAW, 0, c.Id);
                break;
            case ControlKind::Panel:
                c.Hwnd = Child(kPanelClass, "", shown | WS_CLIPCHILDREN, 0, c.Id);
                break;
        }
        ById[c.Id] = &c;
        Tag(c.Hwnd, desc.Name, c.NameAtom);
        if (desc.Kind == ControlKind::CheckList && !desc.Items.empty()) SetItems(desc.Name, desc.Items);
        if (!desc.Hint.empty()) SetHint(desc.Name, desc.Hint);
        return c;
    }

    Control& At(const std::string& name) {
        auto it = Controls.find(name);
        if (it == Controls.end()) throw std::out_of_range("no control '" + name + "' in dialog " + Name);
        return it->second;
    }
    const Control& At(const std::string& name) const { return const_cast<Win32DialogView*>(this)->At(name); }

    Control& Item(const std::string& name, int32_t item) {
        Control& c = At(name);
        if (c.Desc.Kind != ControlKind::CheckList || item < 0 || item >= ItemCount(c))
            throw std::out_of_range("no item " + std::to_string(item) + " in " + name);
        return c;
    }
    static int ItemCount(const Control& c) { return static_cast<int>(SendMessageW(c.Hwnd, LVM_GETITEMCOUNT, 0, 0)); }
    static std::string ItemText(const Control& c, int item) {
        std::wstring text(512, L'\0');
        LVITEMW it{};
        it.iSubItem = 0;
        it.pszText = text.data();
        it.cchTextMax = static_cast<int>(text.size());
        text.resize(static_cast<size_t>(
            SendMessageW(c.Hwnd, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it))));
        return Narrow(text);
    }
    static void SetItemState(const Control& c, int item, UINT state, UINT mask) {
        LVITEMW it{};
        it.stateMask = mask;
        it.state = state;
        SendMessageW(c.Hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it));
    }
    static void FitListColumn(const Control& c) {
        RECT r;
        GetClientRect(c.Hwnd, &r);
        SendMessageW(c.Hwnd, LVM_SETCOLUMNWIDTH, 0, std::max<LONG>(r.right, 20));
    }

    void ApplyEnabled(const Control& c) {
        const BOOL on = c.Enabled && FormIsEnabled;
        for (HWND w : {c.Hwnd, c.Caption})
            if (w) EnableWindow(w, on);
    }

    TOOLINFOW Tool(HWND w) {
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;  // what every version of the common controls takes
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = Dialog;
        tool.uId = reinterpret_cast<UINT_PTR>(w);
        tool.lpszText = At(NameOf(w)).Hint.data();
        return tool;
    }
    std::string NameOf(HWND w) const {
        for (const auto& [name, c] : Controls)
            if (c.Hwnd == w || c.Caption == w) return name;
        return {};
    }

    // --- layout, in pixels from dialog units and measured text ---
    int Dx(int units) const { return MulDiv(units, BaseX, 4); }
    int Dy(int units) const { return MulDiv(units, BaseY, 8); }

    // The size of a text in the dialog's font; a label's may have lines.
    SIZE TextSize(const std::wstring& text, UINT format) const {
        HDC dc = GetDC(Dialog);
        HGDIOBJ old = SelectObject(dc, Font);
        RECT r{0, 0, 0, 0};
        DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | format);
        SelectObject(dc, old);
        ReleaseDC(Dialog, dc);
        return {r.right - r.left, r.bottom - r.top};
    }
    int TextWidth(const std::wstring& text, bool marks) const {
        return TextSize(text, DT_SINGLELINE | (marks ? 0 : DT_NOPREFIX)).cx;
    }

    SIZE Preferred(const Control& c) const {
        const ControlDesc& d = c.Desc;
        int w = 0, h = 0;
        switch (d.Kind) {
            case ControlKind::Label: {
                const SIZE text = TextSize(WindowText(c.Hwnd), DT_NOPREFIX);
                w = text.cx;
                h = std::max<int>(Dy(dlu::LabelHeight), text.cy);
                break;
            }
            case ControlKind::Button:
                w = std::max(Dx(dlu::ButtonWidth), TextWidth(WindowText(c.Hwnd), true) + Dx(10));
                h = Dy(dlu::ButtonHeight);
                break;
            case ControlKind::CheckBox:
                w = TextWidth(WindowText(c.Hwnd), true) + Dx(14);
                h = Dy(dlu::CheckHeight);
                break;
            case ControlKind::ComboBox: {
                w = Dx(60);
                const auto count = SendMessageW(c.Hwnd, CB_GETCOUNT, 0, 0);
                for (LRESULT i = 0; i < count; ++i) {
                    std::wstring text(static_cast<size_t>(SendMessageW(c.Hwnd, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
                    text.resize(static_cast<size_t>(
                        SendMessageW(c.Hwnd, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
                    w = std::max(w, TextWidth(text, false) + GetSystemMetrics(SM_CXVSCROLL) + Dx(8));
                }
                h = c.FieldHeight;
                break;
            }
            case ControlKind::TrackBar:
                w = Dx(80);
                h = Dy(dlu::TrackHeight);
                break;
            case ControlKind::CheckList:
                w = Dx(80);
                h = Dy(40);
                break;
            case ControlKind::ColorSwatch:
                w = Dx(24);
                h = Dy(dlu::ButtonHeight);
                break;
            case ControlKind::Panel:
                w = Dx(80);
                h = Dy(60);
                break;
        }
        return {std::max(w, d.MinWidth), std::max(h, d.MinHeight)};
    }

    // A section's rows of visible controls and the widths of its three
    // cells: caption, control, value.
    struct Plan {
        std::vector<Row> Rows;
        int CaptionW = 0, ControlW = 0, SpanW = 0, ExtraW = 0;
        int Width = 0, Height = 0;  // the frame's, when it has one
        bool Grows = false;
    };

    Plan PlanSection(const Section& s) const {
        Plan p;
        for (Control* c : s.Controls) {
            if (!c->Visible) continue;
            const SIZE size = Preferred(*c);
            if (c->Desc.SameRow && !p.Rows.empty() && !p.Rows.back().Extra) {
                p.Rows.back().Extra = c;
                p.Rows.back().Height = std::max<int>(p.Rows.back().Height, size.cy);
                p.ExtraW = std::max<int>(p.ExtraW, size.cx);
                continue;
            }
            Row& row = p.Rows.emplace_back();
            row.Main = c;
            row.Height = size.cy;
            if (c->Caption) {
                p.CaptionW = std::max(p.CaptionW, TextWidth(WindowText(c->Caption), true));
                p.ControlW = std::max<int>(p.ControlW, size.cx);
                row.Height = std::max(row.Height, Dy(dlu::LabelHeight));
            } else {
                p.SpanW = std::max<int>(p.SpanW, size.cx);
            }
            p.Grows = p.Grows || Grows(c->Desc.Kind);
        }
        const int left = std::max(p.CaptionW ? p.CaptionW + Dx(dlu::CellGap) + p.ControlW : p.ControlW, p.SpanW);
        p.Width = left + (p.ExtraW ? Dx(dlu::CellGap) + p.ExtraW : 0);
        for (const Row& r : p.Rows) p.Height += r.Height;
        if (p.Rows.size() > 1) p.Height += Dy(dlu::RowGap) * static_cast<int>(p.Rows.size() - 1);
        if (s.Frame) {
            p.Width = std::max(p.Width, TextWidth(WindowText(s.Frame), false) + Dx(8)) + 2 * Dx(dlu::FrameSide);
            p.Height += Dy(dlu::FrameTop) + Dy(dlu::FrameBottom);
        }
        return p;
    }

    int ColumnCount() const {
        int n = 0;
        for (const Section& s : Sections) n = std::max(n, s.Desc.Column + 1);
        return n;
    }

    // Columns' widths and heights as the sections need them.
    void MeasureColumns(std::vector<int>& widths, std::vector<int>& heights) const {
        widths.assign(static_cast<size_t>(ColumnCount()), 0);
        heights.assign(widths.size(), 0);
        for (const Section& s : Sections) {
            const Plan p = PlanSection(s);
            auto col = static_cast<size_t>(s.Desc.Column);
            widths[col] = std::max(widths[col], p.Width);
            heights[col] += (heights[col] ? Dy(dlu::Gap) : 0) + p.Height;
        }
    }

    int ButtonsWidth() const {
        int w = 0;
        for (const Control* b : Buttons)
            if (b->Visible) w += (w ? Dx(dlu::CellGap) : 0) + Preferred(*b).cx;
        return w;
    }

    SIZE LeastClient() const {
        std::vector<int> widths, heights;
        MeasureColumns(widths, heights);
        int w = 0, h = 0;
        for (size_t i = 0; i < widths.size(); ++i) {
            w += (i ? Dx(dlu::Gap) : 0) + widths[i];
            h = std::max(h, heights[i]);
        }
        w = std::max(w, ButtonsWidth());
        return {w + 2 * Dx(dlu::Margin), h + Dy(dlu::Gap) + Dy(dlu::ButtonHeight) + 2 * Dy(dlu::Margin)};
    }

    // After a control appears or goes: the window grows when it must.
    void Relayout() {
        const SIZE least = LeastClient();
        RECT frame{0, 0, least.cx, least.cy};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(Dialog, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrW(Dialog, GWL_EXSTYLE)));
        LeastWindow = {frame.right - frame.left, frame.bottom - frame.top};
        RECT now;
        GetWindowRect(Dialog, &now);
        const int w = std::max<int>(now.right - now.left, LeastWindow.cx);
        const int h = std::max<int>(now.bottom - now.top, LeastWindow.cy);
        if (w != now.right - now.left || h != now.bottom - now.top)
            SetWindowPos(Dialog, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        else
            Layout();
    }

    // Places every control in the client area; the last column takes the
    // spare width, the growing section of each column the spare height.
    void Layout() {
        if (Placing) return;
        Placing = true;
        RECT client;
        GetClientRect(Dialog, &client);
        std::vector<int> widths, heights;
        MeasureColumns(widths, heights);
        const int margin = Dx(dlu::Margin), top = Dy(dlu::Margin);
        const int buttonH = Dy(dlu::ButtonHeight);
        const int contentH = std::max<int>(0, client.bottom - 2 * top - Dy(dlu::Gap) - buttonH);
        int used = 0;
        for (size_t i = 0; i < widths.size(); ++i) used += (i ? Dx(dlu::Gap) : 0) + widths[i];
        if (!widths.empty()) widths.back() += std::max<int>(0, client.right - 2 * margin - used);

        HDWP batch = BeginDeferWindowPos(static_cast<int>(Controls.size() + Sections.size()));
        int x = margin;
        for (size_t col = 0; col < widths.size(); ++col) {
            int y = top;
            bool spared = false;
            for (Section& s : Sections) {
                if (static_cast<size_t>(s.Desc.Column) != col) continue;
                const Plan p = PlanSection(s);
                int h = p.Height;
                if (p.Grows && !spared) {
                    h += std::max(0, contentH - heights[col]);
                    spared = true;
                }
                PlaceSection(batch, s, p, x, y, widths[col], h);
                y += h + Dy(dlu::Gap);
            }
            x += widths[col] + Dx(dlu::Gap);
        }
        PlaceButtons(batch, client);
        EndDeferWindowPos(batch);
        for (auto& [name, c] : Controls)
            if (c.Desc.Kind == ControlKind::CheckList) FitListColumn(c);
        InvalidateRect(Dialog, nullptr, TRUE);
        Placing = false;
    }

    void Place(HDWP& batch, HWND w, int x, int y, int cx, int cy) {
        batch = DeferWindowPos(batch, w, nullptr, x, y, std::max(cx, 1), std::max(cy, 1), SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void PlaceSection(HDWP& batch, Section& s, const Plan& p, int x, int y, int w, int h) {
        if (s.Frame) Place(batch, s.Frame, x, y, w, h);
        const int side = s.Frame ? Dx(dlu::FrameSide) : 0;
        const int ix = x + side, innerW = w - 2 * side;
        int iy = y + (s.Frame ? Dy(dlu::FrameTop) : 0);
        const int spare = h - p.Height;
        const int cell = Dx(dlu::CellGap);
        const int leftW = innerW - (p.ExtraW ? cell + p.ExtraW : 0);
        bool spared = false;
        for (const Row& r : p.Rows) {
            int rowH = r.Height;
            if (!spared && Grows(r.Main->Desc.Kind)) {
                rowH += std::max(0, spare);
                spared = true;
            }
            Control& c = *r.Main;
            const SIZE size = Preferred(c);
            // Fixed-height controls sit in the middle of their row.
            const int cy = Grows(c.Desc.Kind) ? rowH : static_cast<int>(size.cy);
            const int cyTop = iy + (rowH - cy) / 2;
            const int dropped = c.Desc.Kind == ControlKind::ComboBox ? Dy(dlu::DropHeight) : 0;
            if (c.Caption) {
                const int labelH = Dy(dlu::LabelHeight);
                // A list's caption sits at its top, others beside the middle.
                const int labelY = Grows(c.Desc.Kind) ? iy + 2 : iy + (rowH - labelH) / 2;
                Place(batch, c.Caption, ix, labelY, p.CaptionW, labelH);
                const int cx = c.Desc.Kind == ControlKind::ColorSwatch ? static_cast<int>(size.cx)
                                                                     : leftW - p.CaptionW - cell;
                Place(batch, c.Hwnd, ix + p.CaptionW + cell, cyTop, cx, cy + dropped);
            } else {
                Place(batch, c.Hwnd, ix, cyTop, leftW, cy + dropped);
            }
            if (r.Extra) {
                const SIZE extra = Preferred(*r.Extra);
                Place(batch, r.Extra->Hwnd, ix + innerW - p.ExtraW, iy + (rowH - extra.cy) / 2, p.ExtraW, extra.cy);
            }
            iy += rowH + Dy(dlu::RowGap);
        }
    }

    // Buttons without a modal result (help, about) at the start, the
    // others at the end, as desktop dialogs have them.
    void PlaceButtons(HDWP& batch, const RECT& client) {
        const int y = client.bottom - Dy(dlu::Margin) - Dy(dlu::ButtonHeight);
        int left = Dx(dlu::Margin);
        int right = client.right - Dx(dlu::Margin);
        for (Control* b : Buttons) {
            if (!b->Visible || b->Desc.ModalResult != mrNone) continue;
            const int w = Preferred(*b).cx;
            Place(batch, b->Hwnd, left, y, w, Dy(dlu::ButtonHeight));
            left += w + Dx(dlu::CellGap);
        }
        for (auto it = Buttons.rbegin(); it != Buttons.rend(); ++it) {
            Control* b = *it;
            if (!b->Visible || b->Desc.ModalResult == mrNone) continue;
            const int w = Preferred(*b).cx;
            right -= w;
            Place(batch, b->Hwnd, right, y, w, Dy(dlu::ButtonHeight));
            right -= Dx(dlu::CellGap);
        }
    }

    // Centred over `owner`'s window, or over the work area of the screen.
    void CentreOver(HWND owner) {
        RECT area, me;
        if (owner && IsWindowVisible(owner)) {
            GetWindowRect(owner, &area);
        } else {
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        }
        GetWindowRect(Dialog, &me);
        const int w = me.right - me.left, h = me.bottom - me.top;
        const int x = std::max<int>(0, area.left + (area.right - area.left - w) / 2);
        const int y = std::max<int>(0, area.top + (area.bottom - area.top - h) / 2);
        SetWindowPos(Dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void Activate() {
        SetForegroundWindow(Dialog);
        if (HWND first = GetNextDlgTabItem(Dialog, nullptr, FALSE)) SendMessageW(Dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    }

    // --- the person's doings ---
    template <typename Fn>
    void Fire(Fn&& fn) {
        try {
            fn();
        } catch (const std::exception& e) {
            // No exception may cross the system's window procedures.
            TheLoop().HandleException(e);
        }
    }

    void OnCommand(int id, int code, HWND from) {
        if (!from) {
            // Escape: the close box, as in the GTK view.
            if (id == IDCANCEL) OnCloseBox();
            return;
        }
        auto it = ById.find(id);
        if (it == ById.end()) return;
        Control& c = *it->second;
        const std::string name = c.Desc.Name;
        if (c.Desc.Kind == ControlKind::CheckBox && code == BN_CLICKED) {
            if (!Filling) Fire([&] {
                    if (auto handler = Events.Change) handler(name);
                });
        } else if ((c.Desc.Kind == ControlKind::Button || c.Desc.Kind == ControlKind::ColorSwatch) &&
                   code == BN_CLICKED) {
            const int32_t result = c.Desc.ModalResult;
            const bool modal = InModal;
            Fire([&] {
                if (auto handler = Events.Click) handler(name);
            });
            if (modal && result != mrNone) Close(result);
        } else if (c.Desc.Kind == ControlKind::ComboBox && code == CBN_SELCHANGE) {
            if (!Filling) Fire([&] {
                    if (auto handler = Events.Change) handler(name);
                });
        }
    }

    // A slider reports every step and the end of a drag: one event per new
    // position.
    void OnScroll(HWND from) {
        const std::string name = NameOf(from);
        if (name.empty()) return;
        Control& c = At(name);
        const auto position = static_cast<int32_t>(SendMessageW(c.Hwnd, TBM_GETPOS, 0, 0));
        if (position == c.Position) return;
        c.Position = position;
        if (!Filling) Fire([&] {
                if (auto handler = Events.Change) handler(name);
            });
    }

    void OnListChanged(const NMLISTVIEW& change) {
        if (Filling || change.iItem < 0 || !(change.uChanged & LVIF_STATE)) return;
        const std::string name = NameOf(change.hdr.hwndFrom);
        if (name.empty()) return;
        const UINT before = (change.uOldState & LVIS_STATEIMAGEMASK) >> 12;
        const UINT after = (change.uNewState & LVIS_STATEIMAGEMASK) >> 12;
        // A new item gets its first check box image: no change of the person's.
        if (before && after && before != after) Fire([&] {
                if (auto handler = Events.ItemCheck) handler(name, change.iItem);
            });
        if ((change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED)) Fire([&] {
                if (auto handler = Events.Select) handler(name);
            });
    }

    void OnCloseBox() {
        if (InModal) {
            Close(mrCancel);
        } else {
            Fire([&] {
                if (auto handler = Events.Close) handler();
            });
        }
    }

    void DrawSwatch(const DRAWITEMSTRUCT& item) {
        const Control* c = ById.count(static_cast<int>(item.CtlID)) ? ById[static_cast<int>(item.CtlID)] : nullptr;
        if (!c) return;
        RECT r = item.rcItem;
        DrawEdge(item.hDC, &r, (item.itemState & ODS_SELECTED) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);
        InflateRect(&r, -2, -2);
        HBRUSH brush = CreateSolidBrush((item.itemState & ODS_DISABLED) ? GetSysColor(COLOR_BTNFACE) : c->Color);
        FillRect(item.hDC, &r, brush);
        DeleteObject(brush);
        if (item.itemState & ODS_FOCUS) {
            InflateRect(&r, 1, 1);
            DrawFocusRect(item.hDC, &r);
        }
    }

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_INITDIALOG) {
            SetWindowLongPtrW(hwnd, DWLP_USER, lp);
            return FALSE;
        }
        auto* v = reinterpret_cast<Win32DialogView*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (!v) return FALSE;
        switch (msg) {
            case WM_COMMAND:
                v->OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
                return TRUE;
            case WM_HSCROLL:
                if (lp) v->OnScroll(reinterpret_cast<HWND>(lp));
                return TRUE;
            case WM_NOTIFY: {
                const auto* header = reinterpret_cast<const NMHDR*>(lp);
                if (header->code == LVN_ITEMCHANGED) v->OnListChanged(*reinterpret_cast<const NMLISTVIEW*>(lp));
                return FALSE;
            }
            case WM_DRAWITEM:
                v->DrawSwatch(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
                return TRUE;
            case WM_CLOSE:
                v->OnCloseBox();
                return TRUE;
            case WM_SYSCOMMAND:
                // The saver and the monitor's power-down wait while a dialog
                // is in front.
                if ((wp & 0xFFF0) == SC_SCREENSAVE || (wp & 0xFFF0) == SC_MONITORPOWER) {
                    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
                    return TRUE;
                }
                return FALSE;
            case WM_SIZE:
                if (wp != SIZE_MINIMIZED) v->Layout();
                return FALSE;
            case WM_GETMINMAXINFO:
                reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize = {v->LeastWindow.cx, v->LeastWindow.cy};
                return TRUE;
            case WM_SETCURSOR:
                if (!v->Busy) return FALSE;
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
                return TRUE;
            case WM_ENTERIDLE:
                TheLoop().ForeignIdle(hwnd);
                return FALSE;
            default:
                return FALSE;
        }
    }

    std::string Name;
    HWND Dialog = nullptr;
    HWND Tips = nullptr;
    HFONT Font = nullptr;
    ATOM DialogAtom = 0;
    int BaseX = 6, BaseY = 13;
    SIZE LeastWindow{0, 0};
    // std::map keeps each Control where it is: sections and ids point at them.
    std::map<std::string, Control> Controls;
    std::map<int, Control*> ById;
    std::vector<Section> Sections;
    std::vector<Control*> Buttons;
    DialogEvents Events;
    int Filling = 0;
    bool FormIsEnabled = true;
    bool InModal = false;
    bool Busy = false;
    bool Placing = false;
    int32_t ModalResult = mrNone;
};

// --- the loop ---

void Win32Loop::Run() {
    if (IsTerminated) return;
    if (ShowForm && MainView) MainView->Show();
    Running = true;
    Pump([] { return false; });
    Running = false;
}

Size Win32Loop::MainFormSize() const {
    if (!MainView) return {};
    RECT r;
    GetWindowRect(MainView->Window(), &r);
    return {r.right - r.left, r.bottom - r.top};
}

void Win32Loop::SetMainFormPosition(int32_t left, int32_t top) {
    if (MainView) SetWindowPos(MainView->Window(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Loop::HideMainForm() {
    if (MainView) MainView->Hide();
}

void Win32Loop::ClearMainFormHandlers() {
    if (MainView) MainView->SetEvents({});
}

bool Win32Loop::IdlePass(bool& done) {
    auto idle = Handlers.Idle;  // the hook may replace itself while it runs
    return !idle || RunIdlePass(idle, Handlers, AppTitle, done);
}

void Win32Loop::HandleException(const std::exception& e) {
    if (auto handler = Handlers.Exception)
        handler(e);
    else
        SystemMessageReporter().ShowError(AppTitle, e.what());
}

void Win32Loop::Dispatch(MSG& msg) {
    if (auto hook = Handlers.Message) {
        WindowMessage message{msg.message, msg.wParam, msg.lParam, 0};
        bool handled = false;
        hook(message, handled);
        if (handled) return;
    }
    // Tab, Enter, Escape and access keys in our dialogs.
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && Dialogs.count(root) && IsDialogMessageW(root, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void Win32Loop::Pump(const std::function<bool()>& until) {
    // How long a loop with nothing to draw sleeps at most before it looks
    // at its end again.
    constexpr DWORD kWaitSliceMs = 100;
    while (!IsTerminated && !until()) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                IsTerminated = true;
                break;
            }
            Dispatch(msg);
            continue;
        }
        bool done = true;
        if (!IdlePass(done)) {
            IsTerminated = true;
            break;
        }
        if (done && !IsTerminated && !until())
            MsgWaitForMultipleObjectsEx(0, nullptr, kWaitSliceMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void Win32Loop::ForeignIdle(HWND owner) {
    if (InForeignIdle || IsTerminated) return;
    InForeignIdle = true;
    bool done = true;
    if (!IdlePass(done)) IsTerminated = true;
    InForeignIdle = false;
    // The other loop calls again only after a message: one more frame
    // wanted means one more message for it.
    if (!done && !IsTerminated) PostMessageW(owner, WM_NULL, 0, 0);
}

class Win32DialogSystem final : public IDialogSystem {
public:
    bool Available() override {
        if (!Tried) {
            Tried = true;
            INITCOMMONCONTROLSEX controls{};
            controls.dwSize = sizeof controls;
            controls.dwICC = ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_WIN95_CLASSES;
            WNDCLASSEXW panel{};
            panel.cbSize = sizeof panel;
            panel.lpfnWndProc = &PanelProc;
            panel.hInstance = GetModuleHandleW(nullptr);
            panel.hCursor = LoadCursorW(nullptr, IDC_ARROW);
            panel.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
            panel.lpszClassName = kPanelClass;
            Ready = InitCommonControlsEx(&controls) && RegisterClassExW(&panel);
        }
        return Ready;
    }
    std::unique_ptr<IDialogView> CreateDialog(const DialogDesc& desc) override {
        if (!Available()) throw std::runtime_error("dialogs need the common controls");
        auto view = std::make_unique<Win32DialogView>(desc);
        if (!TheLoop().HasMainForm()) TheLoop().SetMainForm(view.get());
        return view;
    }
    IApplicationHooks& Application() override { return TheLoop(); }

private:
    bool Tried = false;
    bool Ready = false;
};

}  // namespace

IDialogSystem& SystemDialogs() {
    static Win32DialogSystem dialogs;
    return dialogs;
}

}  // namespace platform
