// The Win32 dialogs as a person meets them: a dialog built from a
// description, every kind of control set and read by name, then driven
// through the controls' own messages and the keyboard in the dialog's loop.
// Only the person's changes are events; modal runs end by OK, Escape, the
// close box or Cancel, with the owner disabled meanwhile.
#include "platform/dialog_view.h"

#include <windows.h>

#include <commctrl.h>

// The interface's name, not the system's macro.
#undef CreateDialog

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using platform::ControlDesc;
using platform::ControlKind;
using platform::DialogDesc;

ControlDesc Control(const char* name, ControlKind kind, const char* caption, std::vector<std::string> items = {}) {
    ControlDesc c;
    c.Name = name;
    c.Kind = kind;
    c.Caption = caption;
    c.Items = std::move(items);
    return c;
}

// One of each kind, in three columns, as the settings dialogs use them.
DialogDesc Describe(const char* name, const char* caption) {
    DialogDesc d;
    d.Name = name;
    d.Caption = caption;
    platform::SectionDesc fishes{"Fishes", 0, {}};
    ControlDesc list = Control("List", ControlKind::CheckList, "&Schools", {"Angel", "Clown", "Tang"});
    list.MinWidth = 150;
    list.MinHeight = 90;
    ControlDesc track = Control("Track", ControlKind::TrackBar, "&Count");
    track.Max = 100;
    track.Page = 5;
    ControlDesc value = Control("Value", ControlKind::Label, "0");
    value.SameRow = true;
    value.MinWidth = 30;
    ControlDesc check = Control("Check", ControlKind::CheckBox, "&Lights");
    check.Hint = "Lights on the water";
    fishes.Controls = {list, check, Control("Combo", ControlKind::ComboBox, "&Direction", {"Left", "Right", "Both"}),
                       track, value};
    platform::SectionDesc clock{"Clock", 1, {}};
    ControlDesc note = Control("Note", ControlKind::Label, "R&D");
    clock.Controls = {Control("Swatch", ControlKind::ColorSwatch, "C&olor"), note,
                      Control("Action", ControlKind::Button, "&Act")};
    platform::SectionDesc preview{"Preview", 2, {}};
    ControlDesc panel = Control("Panel", ControlKind::Panel, "");
    panel.MinWidth = 160;
    panel.MinHeight = 120;
    preview.Controls = {panel};
    d.Sections = {fishes, clock, preview};
    ControlDesc ok = Control("Ok", ControlKind::Button, "OK");
    ok.ModalResult = platform::mrOk;
    ControlDesc cancel = Control("Cancel", ControlKind::Button, "Cancel");
    cancel.ModalResult = platform::mrCancel;
    d.Buttons = {Control("Help", ControlKind::Button, "&Help"), ok, cancel};
    return d;
}

struct Found {
    std::wstring Name;
    HWND Window = nullptr;
};

BOOL CALLBACK FindNamed(HWND child, LPARAM data) {
    auto* found = reinterpret_cast<Found*>(data);
    const auto atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(GetPropW(child, L"ControlName")));
    wchar_t name[256] = {};
    if (atom && GlobalGetAtomNameW(atom, name, 256) && found->Name == name) {
        found->Window = child;
        return FALSE;
    }
    return TRUE;
}

// A control's window, found by the name it carries, as another program
// would find it.
HWND Named(HWND dialog, const wchar_t* name) {
    Found found{name, nullptr};
    EnumChildWindows(dialog, &FindNamed, reinterpret_cast<LPARAM>(&found));
    if (!found.Window) throw std::runtime_error("no window carries that name");
    return found.Window;
}

HWND DialogWindow(const wchar_t* caption) { return FindWindowW(L"#32770", caption); }

// What the person's doings produced, in order.
struct EventLog {
    std::vector<std::string> Events;
    platform::DialogEvents Handlers() {
        platform::DialogEvents e;
        e.Change = [this](const std::string& c) { Events.push_back("Change " + c); };
        e.Click = [this](const std::string& c) { Events.push_back("Click " + c); };
        e.ItemCheck = [this](const std::string& c, int32_t i) { Events.push_back("ItemCheck " + c + " " + std::to_string(i)); };
        e.Select = [this](const std::string& c) { Events.push_back("Select " + c); };
        e.Close = [this] { Events.push_back("Close"); };
        return e;
    }
};

// Handles what is queued (painting included) without a loop of ours.
void Drain() {
    MSG msg;
    for (int round = 0; round < 5; ++round) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(20);
    }
}

// Steps run one per idle pass of the application's loop, so that what one
// step posts is handled before the next; a run that outlives its deadline
// is ended so that the test fails instead of hanging.
class Script {
public:
    Script(platform::IDialogView& view, std::vector<std::function<void()>> steps)
        : View(view), Steps(std::move(steps)), Deadline(std::chrono::steady_clock::now() + std::chrono::seconds(60)) {
        platform::SystemDialogs().Application().SetIdleHandler([this](bool& done) {
            if (Next < Steps.size()) Steps[Next++]();
            if (std::chrono::steady_clock::now() > Deadline) {
                TimedOut = true;
                View.Close(-1);
            }
            done = false;
        });
    }
    ~Script() { platform::SystemDialogs().Application().SetIdleHandler({}); }
    bool Finished() const { return Next == Steps.size(); }

    platform::IDialogView& View;
    std::vector<std::function<void()>> Steps;
    size_t Next = 0;
    bool TimedOut = false;
    std::chrono::steady_clock::time_point Deadline;
};

void Key(HWND target, WPARAM key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

// A 24-bit BMP of what the screen shows of `window`'s client area (without
// a window manager Wine draws no frame).
void Screenshot(HWND window, const std::string& path) {
    RECT r;
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const int stride = (w * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<size_t>(stride) * static_cast<size_t>(h));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info, sizeof info, 1, out);
        std::fwrite(pixels.data(), 1, pixels.size(), out);
        std::fclose(out);
    }
}

COLORREF ScreenPixel(HWND window, int x, int y) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
}

TEST(DialogViewWin32, SettersSetAndReadEveryKindOfControlAndFireNothing) {
    auto& dialogs = platform::SystemDialogs();
    ASSERT_TRUE(dialogs.Available());
    auto view = dialogs.CreateDialog(Describe("FormSetters", "Setters \xC3\xA9"));
    EventLog log;
    view->SetEvents(log.Handlers());
    HWND dialog = DialogWindow(L"Setters \u00E9");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(view->PanelWindow("Panel"), 0u) << "no panel window before the dialog shows";

    view->SetCaption("Fish \xE2\x80\x93 Tank");
    EXPECT_EQ(view->Caption(), "Fish \xE2\x80\x93 Tank");

    EXPECT_EQ(view->Items("Combo"), (std::vector<std::string>{"Left", "Right", "Both"}));
    view->SetItems("Combo", {"Salt Water - 1", "Fresh Water - 2 \xC3\xBC"});
    view->SetItemIndex("Combo", 1);
    EXPECT_EQ(view->Items("Combo"), (std::vector<std::string>{"Salt Water - 1", "Fresh Water - 2 \xC3\xBC"}));
    EXPECT_EQ(view->ItemIndex("Combo"), 1);
    view->SetItemIndex("Combo", -1);
    EXPECT_EQ(view->ItemIndex("Combo"), -1);

    EXPECT_EQ(view->Items("List"), (std::vector<std::string>{"Angel", "Clown", "Tang"}));
    view->SetItems("List", {"Angel", "Clown", "Tang", "Discus \xC3\xA9"});
    view->SetItemChecked("List", 1, true);
    view->SetItemChecked("List", 3, true);
    view->SetItemChecked("List", 3, false);
    view->SetItemIndex("List", 2);
    EXPECT_EQ(view->Items("List").back(), "Discus \xC3\xA9");
    EXPECT_TRUE(view->ItemChecked("List", 1));
    EXPECT_FALSE(view->ItemChecked("List", 0));
    EXPECT_FALSE(view->ItemChecked("List", 3));
    EXPECT_EQ(view->ItemIndex("List"), 2);
    EXPECT_THROW(view->SetItemChecked("List", 4, true), std::out_of_range);
    EXPECT_THROW(view->ItemChecked("Combo", 0), std::out_of_range);

    view->SetRange("Track", 0, 1000, 10);
    view->SetPosition("Track", 1500);
    EXPECT_EQ(view->Position("Track"), 1000) << "clamped to the range";
    view->SetPosition("Track", 250);
    EXPECT_EQ(view->Position("Track"), 250);

    view->SetChecked("Check", true);
    EXPECT_TRUE(view->Checked("Check"));
    EXPECT_EQ(SendMessageW(Named(dialog, L"Check"), BM_GETCHECK, 0, 0), BST_CHECKED);

    // Buttons and captions mark access keys; the text read back is what shows.
    EXPECT_EQ(view->Text("Check"), "Lights");
    view->SetText("Check", "&Caustic");
    EXPECT_EQ(view->Text("Check"), "Caustic");
    EXPECT_EQ(view->Text("Combo"), "Direction");
    EXPECT_EQ(view->Text("Note"), "R&D") << "a label shows its text as it is";
    view->SetText("Value", "250");
    EXPECT_EQ(view->Text("Value"), "250");
    // A label whose text grows makes room for it.
    view->SetText("Value", "250 fish in four schools, every one of them striped");
    {
        HWND value = Named(dialog, L"Value");
        HDC dc = GetDC(value);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(value, WM_GETFONT, 0, 0)));
        RECT text{0, 0, 0, 0};
        DrawTextW(dc, L"250 fish in four schools, every one of them striped", -1, &text, DT_CALCRECT | DT_NOPREFIX);
        SelectObject(dc, old);
        ReleaseDC(value, dc);
        RECT shown;
        GetClientRect(value, &shown);
        EXPECT_GE(shown.right, text.right) << "the longer text is cut off";
    }

    view->SetEnabled("Combo", false);
    view->SetFormEnabled(false);
    EXPECT_FALSE(view->FormEnabled());
    EXPECT_FALSE(IsWindowEnabled(Named(dialog, L"Check")));
    EXPECT_TRUE(view->Enabled("Check")) << "the control's own state stays";
    view->SetFormEnabled(true);
    EXPECT_TRUE(IsWindowEnabled(Named(dialog, L"Check")));
    EXPECT_FALSE(IsWindowEnabled(Named(dialog, L"Combo"))) << "a disabled control stays disabled";
    EXPECT_FALSE(view->Enabled("Combo"));

    view->SetVisible("Note", false);
    EXPECT_FALSE(view->Visible("Note"));
    EXPECT_FALSE(IsWindowVisible(Named(dialog, L"Note")));

    view->SetColor("Swatch", 0x00336699);
    EXPECT_EQ(view->Color("Swatch"), 0x00336699u);

    EXPECT_THROW(view->Checked("Nothing"), std::out_of_range);
    EXPECT_THROW(view->PanelWindow("Check"), std::out_of_range);

    view->Show();
    Drain();
    EXPECT_TRUE(view->Showing());
    HWND panel = reinterpret_cast<HWND>(view->PanelWindow("Panel"));
    ASSERT_EQ(panel, Named(dialog, L"Panel"));
    RECT client;
    GetClientRect(panel, &client);
    EXPECT_GE(client.right, 160);
    EXPECT_GE(client.bottom, 120);

    // Every setter above was quiet, the filling of the lists included.
    EXPECT_TRUE(log.Events.empty()) << log.Events.front();
    view->Hide();
    EXPECT_FALSE(view->Showing());
}

TEST(DialogViewWin32, ThePersonsChangesThroughTheControlsAreEvents) {
    auto view = platform::SystemDialogs().CreateDialog(Describe("FormPerson", "Person"));
    EventLog log;
    view->SetEvents(log.Handlers());
    view->Show();
    Drain();
    HWND dialog = DialogWindow(L"Person");
    ASSERT_TRUE(dialog);

    SendMessageW(Named(dialog, L"Check"), BM_CLICK, 0, 0);
    EXPECT_TRUE(view->Checked("Check"));

    HWND combo = Named(dialog, L"Combo");
    SendMessageW(combo, CB_SETCURSEL, 2, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    EXPECT_EQ(view->ItemIndex("Combo"), 2);

    // A drag reports each step and its end: one event per new position.
    HWND track = Named(dialog, L"Track");
    SendMessageW(track, TBM_SETPOS, TRUE, 40);
    SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 40), reinterpret_cast<LPARAM>(track));
    SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(track));
    EXPECT_EQ(view->Position("Track"), 40);
    // The slider's own keyboard handling.
    SendMessageW(track, WM_KEYDOWN, VK_RIGHT, 1);
    SendMessageW(track, WM_KEYUP, VK_RIGHT, static_cast<LPARAM>(0xC0000001u));
    EXPECT_EQ(view->Position("Track"), 41);

    // The list changes an item's check image when its box is clicked.
    HWND list = Named(dialog, L"List");
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(2);
    SendMessageW(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&item));
    EXPECT_TRUE(view->ItemChecked("List", 1));
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(view->ItemIndex("List"), 2);

    SendMessageW(Named(dialog, L"Swatch"), BM_CLICK, 0, 0);
    SendMessageW(Named(dialog, L"Action"), BM_CLICK, 0, 0);
    // A modeless dialog's close box asks the handler, and stays.
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(view->Showing());

    EXPECT_EQ(log.Events, (std::vector<std::string>{"Change Check", "Change Combo", "Change Track", "Change Track",
                                                    "ItemCheck List 1", "Select List", "Click Swatch", "Click Action",
                                                    "Close"}));

    // Setters after the person's changes stay quiet.
    log.Events.clear();
    view->SetChecked("Check", false);
    view->SetItemIndex("Combo", 0);
    view->SetPosition("Track", 7);
    view->SetItemChecked("List", 1, false);
    view->SetItemIndex("List", 0);
    Drain();
    EXPECT_TRUE(log.Events.empty()) << log.Events.front();
}

TEST(DialogViewWin32, ModalRunsTakeTheKeyboardAndEndByOkEscapeCloseBoxOrCancel) {
    auto& dialogs = platform::SystemDialogs();
    auto owner = dialogs.CreateDialog(Describe("FormOwner", "Owner"));
    auto view = dialogs.CreateDialog(Describe("FormModal", "Modal"));
    EventLog log;
    view->SetEvents(log.Handlers());
    owner->Show();
    Drain();
    HWND ownerWindow = DialogWindow(L"Owner");
    HWND dialog = DialogWindow(L"Modal");
    ASSERT_TRUE(ownerWindow && dialog);

    // Tab goes from the first control to the next in the description's
    // order; an access key moves to the control its caption names; Space
    // ticks the focused check box; Enter is OK.
    bool ownerDisabled = false;
    HWND afterTab = nullptr, afterAccessKey = nullptr;
    {
        Script script(*view, {
                                 [&] {
                                     ownerDisabled = !IsWindowEnabled(ownerWindow);
                                     Key(GetFocus(), VK_TAB);
                                 },
                                 [&] {
                                     afterTab = GetFocus();
                                     PostMessageW(GetFocus(), WM_SYSCHAR, 'd', static_cast<LPARAM>(1u << 29));
                                 },
                                 [&] {
                                     afterAccessKey = GetFocus();
                                     SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Named(dialog, L"Check")), TRUE);
                                 },
                                 [&] { Key(GetFocus(), VK_SPACE); },
                                 [&] { Key(GetFocus(), VK_RETURN); },
                             });
        EXPECT_EQ(view->ShowModal(owner.get()), platform::mrOk);
        EXPECT_FALSE(script.TimedOut);
        EXPECT_TRUE(script.Finished()) << "the idle work runs during the modal run";
    }
    EXPECT_TRUE(ownerDisabled) << "the owner takes no input while the dialog runs";
    EXPECT_TRUE(IsWindowEnabled(ownerWindow));
    EXPECT_FALSE(view->Showing());
    EXPECT_EQ(afterTab, Named(dialog, L"Check"));
    EXPECT_EQ(afterAccessKey, Named(dialog, L"Combo"));
    EXPECT_TRUE(view->Checked("Check"));
    EXPECT_EQ(log.Events, (std::vector<std::string>{"Change Check", "Click Ok"}));

    // Escape and the close box end the run as cancelled, without a click;
    // the Cancel button clicks first.
    const std::vector<std::pair<std::function<void()>, std::vector<std::string>>> endings = {
        {[&] { Key(GetFocus(), VK_ESCAPE); }, {}},
        {[&] { PostMessageW(dialog, WM_CLOSE, 0, 0); }, {}},
        {[&] { PostMessageW(Named(dialog, L"Cancel"), BM_CLICK, 0, 0); }, {"Click Cancel"}},
    };
    for (const auto& [end, events] : endings) {
        log.Events.clear();
        Script script(*view, {end});
        EXPECT_EQ(view->ShowModal(owner.get()), platform::mrCancel);
        EXPECT_FALSE(script.TimedOut);
        EXPECT_EQ(log.Events, events);
        EXPECT_TRUE(IsWindowEnabled(ownerWindow));
    }
}

// The dialog as it shows: the preview panel black inside its frame, the
// face around it the system's; the picture is kept for a person to look at.
TEST(DialogViewWin32, TheDialogShowsItsSectionsAndABlackPanel) {
    auto view = platform::SystemDialogs().CreateDialog(Describe("FormLook", "Look"));
    view->SetItemChecked("List", 0, true);
    view->SetColor("Swatch", 0x000080FF);
    view->Show();
    Drain();
    HWND dialog = DialogWindow(L"Look");
    ASSERT_TRUE(dialog);
    // Above the windows of tests running beside this one, away from the
    // middle of the screen where their boxes show.
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Drain();
    Screenshot(dialog, std::string(MARIVELLE_BUILD_DIR) + "\\dialog_view_win32.bmp");

    HWND panel = reinterpret_cast<HWND>(view->PanelWindow("Panel"));
    RECT r;
    GetClientRect(panel, &r);
    EXPECT_EQ(ScreenPixel(panel, r.right / 2, r.bottom / 2), RGB(0, 0, 0));
    EXPECT_EQ(ScreenPixel(dialog, 2, 2), GetSysColor(COLOR_BTNFACE));
    // The sections side by side: the panel right of the list.
    RECT list, shown;
    GetWindowRect(Named(dialog, L"List"), &list);
    GetWindowRect(panel, &shown);
    EXPECT_GT(shown.left, list.right);

    // A larger window grows the panel.
    RECT before;
    GetWindowRect(dialog, &before);
    SetWindowPos(dialog, nullptr, 0, 0, before.right - before.left + 100, before.bottom - before.top + 80,
                 SWP_NOMOVE | SWP_NOZORDER);
    RECT grown;
    GetClientRect(panel, &grown);
    EXPECT_EQ(grown.right, r.right + 100);
    EXPECT_EQ(grown.bottom, r.bottom + 80);
}

}  // namespace

BOOL CALLBACK CollectText(HWND child, LPARAM texts) {
    wchar_t text[512] = {};
    GetWindowTextW(child, text, 512);
    *reinterpret_cast<std::wstring*>(texts) += std::wstring(text) + L"|";
    return TRUE;
}

// The colour chooser runs the system's modal loop, the about box ours; the
// idle work (the preview's frames) goes on under both, and what the person
// picks comes back.
TEST(DialogViewWin32, TheColourChooserAndTheAboutBoxKeepTheIdleWorkRunning) {
    auto& dialogs = platform::SystemDialogs();
    auto view = dialogs.CreateDialog(Describe("FormStandard", "Standard"));
    view->Show();
    Drain();

    // The person's part, acted from the idle hook once the box is up.
    std::function<void(HWND)> act;
    const wchar_t* title = L"";
    int passes = 0;
    dialogs.Application().SetIdleHandler([&](bool& done) {
        done = false;
        ++passes;
        if (HWND box = FindWindowW(L"#32770", title); box && act) {
            auto once = act;
            act = nullptr;
            once(box);
        }
    });
    // A box that never goes would hang the test: it is cancelled late.
    std::atomic<bool> finished = false, rescued = false;
    std::thread watchdog([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!finished && std::chrono::steady_clock::now() < deadline) Sleep(50);
        while (!finished) {
            rescued = true;
            for (const wchar_t* t : {L"Clock Colour", L"About Fishes"})
                if (HWND box = FindWindowW(L"#32770", t)) PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
            Sleep(200);
        }
    });

    // The red, green and blue fields of the chooser, then OK.
    title = L"Clock Colour";
    act = [](HWND box) {
        SetDlgItemTextW(box, 706, L"18");
        SetDlgItemTextW(box, 707, L"52");
        SetDlgItemTextW(box, 708, L"86");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    };
    uint32_t color = 0x00FFFFFF;
    EXPECT_TRUE(view->ChooseColor("Clock Colour", color));
    EXPECT_EQ(color, 0x00563412u);
    EXPECT_GT(passes, 0);

    act = [](HWND box) { PostMessageW(box, WM_COMMAND, IDCANCEL, 0); };
    EXPECT_FALSE(view->ChooseColor("Clock Colour", color));
    EXPECT_EQ(color, 0x00563412u) << "a cancelled choice keeps the colour";

    std::wstring texts;
    title = L"About Fishes";
    act = [&texts](HWND box) {
        EnumChildWindows(box, &CollectText, reinterpret_cast<LPARAM>(&texts));
        PostMessageW(Named(box, L"ButtonOk"), BM_CLICK, 0, 0);
    };
    platform::AboutInfo about;
    about.ProgramName = "Fishes";
    about.Version = "4.0";
    about.Comments = "A 3D aquarium.\n\nOpenGL version: 2.1 Mesa";
    about.Copyright = "Copyright \xC2\xA9 Tarnwick Software";
    passes = 0;
    view->ShowAbout(about);
    EXPECT_GT(passes, 0);
    EXPECT_NE(texts.find(L"A 3D aquarium.\n\nOpenGL version: 2.1 Mesa|"), std::wstring::npos);
    EXPECT_NE(texts.find(L"Copyright \u00A9 Tarnwick Software"), std::wstring::npos);

    finished = true;
    watchdog.join();
    EXPECT_FALSE(rescued) << "a box did not end as the person ended it";
    dialogs.Application().SetIdleHandler({});
}
