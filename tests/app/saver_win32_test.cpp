// The built saver file in its roles under Windows (Wine on a private X
// server): full screen on /s, ended by a key but not by Shift; on /p a
// window filling one of ours, following its size and ending when it goes,
// whose film shows the aquarium at that size; a film recorded by the
// program role; and on /c the settings dialog with
// the aquarium's window in its preview, whose OK writes the registry and
// whose Cancel writes nothing. Every picture must show the
// aquarium's layers in the colours of the water the test chose.
#include "film_checks.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace film_checks;
using Clock = std::chrono::steady_clock;

// Wine starts a program in a second or two and llvmpipe loads the scene in a
// few more; these only bound a run that went wrong.
constexpr auto kStartDeadline = std::chrono::seconds(90);
constexpr auto kEndDeadline = std::chrono::seconds(60);
constexpr int kWater = 1;  // "Salt Water - 2"

const fs::path BuildDir = MARIVELLE_BUILD_DIR;
const fs::path Saver = BuildDir / "marivelle.scr";

// The scene's settings, where the program reads them.
void StoreSceneSettings(int fishCount, int bubbleCount) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Tarnwick Software\\3D Marivelle 4", 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    auto set = [&](const wchar_t* name, int value) {
        const std::wstring text = std::to_wstring(value);
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    };
    set(L"WaterBackgroundIndex", kWater);
    set(L"FishTypeIndex", 0);
    set(L"FishCount", fishCount);
    set(L"BubbleCount", bubbleCount);
    set(L"UseBackground", 1);
    RegCloseKey(key);
}

// Handles messages of this thread's windows (the preview's parent is ours,
// and the saver's child window sends to it).
void Pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

class SaverProcess {
public:
    SaverProcess(const std::wstring& arguments, const fs::path& folder = BuildDir) {
        std::wstring line = L"\"" + Saver.wstring() + L"\" " + arguments;
        std::vector<wchar_t> writable(line.begin(), line.end());
        writable.push_back(0);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (CreateProcessW(Saver.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                           &pi)) {
            CloseHandle(pi.hThread);
            Process = pi.hProcess;
        }
    }
    ~SaverProcess() {
        if (!Process) return;
        if (Running()) TerminateProcess(Process, 99);
        WaitForSingleObject(Process, 10'000);
        CloseHandle(Process);
    }
    bool Started() const { return Process != nullptr; }
    bool Running() const { return Process && WaitForSingleObject(Process, 0) == WAIT_TIMEOUT; }
    // The exit code once it ended within the deadline, pumping meanwhile.
    bool WaitForEnd(DWORD& code) const {
        const auto end = Clock::now() + kEndDeadline;
        while (Clock::now() < end) {
            Pump();
            if (MsgWaitForMultipleObjects(1, &Process, FALSE, 100, QS_ALLINPUT) == WAIT_OBJECT_0) {
                GetExitCodeProcess(Process, &code);
                return true;
            }
        }
        return false;
    }

    HANDLE Process = nullptr;
};

// What the screen shows in a rectangle, as the person sees it.
TFrame Capture(const RECT& r) {
    TFrame f;
    f.Width = r.right - r.left;
    f.Height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = f.Width;
    info.bmiHeader.biHeight = -f.Height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, f.Width, f.Height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const auto* bgra = static_cast<const uint8_t*>(bits);
    f.Pixels.resize(static_cast<size_t>(f.Width) * f.Height);
    for (size_t i = 0; bgra && i < f.Pixels.size(); ++i) f.Pixels[i] = {bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i]};
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return f;
}

// Pixels that differ between two pictures of the same rectangle.
long Differing(const TFrame& a, const TFrame& b) {
    long n = 0;
    for (size_t i = 0; i < a.Pixels.size() && i < b.Pixels.size(); ++i) n += a.Pixels[i] != b.Pixels[i];
    return n;
}

// Waits until the rectangle shows `changes` pictures in a row that each
// differ from the one before (the aquarium moving) while `alive` holds;
// gives the last one, or an empty picture when the deadline passed.
TFrame WaitForMotion(const RECT& r, int changes, const std::function<bool()>& alive,
                     std::chrono::seconds deadline = std::chrono::seconds(kStartDeadline)) {
    const auto end = Clock::now() + deadline;
    TFrame last = Capture(r);
    int seen = 0;
    while (Clock::now() < end && alive()) {
        Pump();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        TFrame now = Capture(r);
        // A tenth of the pixels: a cursor or a caret is not the aquarium.
        if (Differing(now, last) > static_cast<long>(now.Pixels.size() / 10)) {
            if (++seen >= changes) return now;
        }
        last = std::move(now);
    }
    return {};
}

void PressKey(WORD key) {
    INPUT input[2]{};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

void SavePicture(const TFrame& f, const std::string& name) {
    TPicture picture;
    picture.SetSize(f.Width, f.Height, 24);
    for (int y = 0; y < f.Height; ++y)
        for (int x = 0; x < f.Width; ++x) {
            const auto& p = f.At(x, y);
            uint8_t* bgr = picture.Row(y) + 3 * x;
            bgr[0] = p[2];
            bgr[1] = p[1];
            bgr[2] = p[0];
        }
    const std::vector<uint8_t> bytes = WriteBMP(picture);
    std::ofstream(BuildDir / "tests" / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(SaverFile, SlashSFillsTheScreenWithTheAquariumAndAKeyButNotShiftEndsIt) {
    StoreSceneSettings(40, 400);
    SaverProcess saver(L"/s");
    ASSERT_TRUE(saver.Started());
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const TFrame shown = WaitForMotion(screen, 3, [&] { return saver.Running(); });
    ASSERT_TRUE(saver.Running()) << "the saver ended by itself";
    ASSERT_FALSE(shown.Pixels.empty()) << "the screen never showed the aquarium moving";
    SavePicture(shown, "saver_fullscreen.bmp");
    CheckLayers({shown}, kWater, "the screen under /s");

    PressKey(VK_SHIFT);
    // Frames go on after Shift: each pass handles its input before drawing.
    EXPECT_FALSE(WaitForMotion(screen, 3, [&] { return saver.Running(); }).Pixels.empty());
    EXPECT_TRUE(saver.Running()) << "Shift ended the saver";

    PressKey('A');
    DWORD code = 1;
    ASSERT_TRUE(saver.WaitForEnd(code)) << "a key did not end the saver";
    EXPECT_EQ(code, 0u);
}

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// A window of the test's for the saver to draw into, the size of the little
// monitor picture in the display settings (4:3).
HWND MakePreviewParent() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &ParentProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = CreateSolidBrush(RGB(255, 0, 255));
    wc.lpszClassName = L"Preview Parent";
    RegisterClassW(&wc);  // made by the first call; later ones find it
    HWND parent = CreateWindowExW(0, wc.lpszClassName, L"Preview", WS_POPUP | WS_VISIBLE, 100, 120, 320, 240, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    Pump();
    return parent;
}

TEST(SaverFile, SlashPFillsTheGivenWindowFollowsItsSizeAndEndsWithIt) {
    StoreSceneSettings(40, 400);
    HWND parent = MakePreviewParent();
    ASSERT_NE(parent, nullptr);
    SaverProcess saver(L"/p " + std::to_wstring(reinterpret_cast<uintptr_t>(parent)));
    ASSERT_TRUE(saver.Started());

    // The saver's window inside ours, filling it, and following it when it
    // grows. (Wine shows nothing of GL drawn into a child window, so the
    // picture itself is checked in the preview's film below.)
    auto childFills = [&](HWND& child) {
        const auto end = Clock::now() + kStartDeadline;
        while (Clock::now() < end && saver.Running()) {
            Pump();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            child = FindWindowExW(parent, nullptr, L"Marivelle GL Window", nullptr);
            RECT outer{}, inner{};
            if (!child || !GetClientRect(parent, &outer) || !GetClientRect(child, &inner)) continue;
            if (inner.right == outer.right && inner.bottom == outer.bottom && IsWindowVisible(child)) return true;
        }
        return false;
    };
    HWND child = nullptr;
    ASSERT_TRUE(childFills(child)) << "no window of the saver fills the given one";
    SetWindowPos(parent, nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER);
    HWND sameChild = nullptr;
    EXPECT_TRUE(childFills(sameChild)) << "the saver's window did not follow the larger parent";
    EXPECT_EQ(sameChild, child);
    ASSERT_TRUE(saver.Running());

    DestroyWindow(parent);
    DWORD code = 1;
    ASSERT_TRUE(saver.WaitForEnd(code)) << "the preview outlived its window";
    EXPECT_EQ(code, 0u);
}

// A control of the saver's dialogs, found by the name its window carries.
struct ControlSearch {
    DWORD Process;
    std::wstring Name;
    HWND Found = nullptr;
};

BOOL CALLBACK MatchControl(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<ControlSearch*>(p);
    const auto atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(GetPropW(w, L"ControlName")));
    wchar_t text[128] = {};
    if (atom && GlobalGetAtomNameW(atom, text, 128) && s->Name == text) s->Found = w;
    return s->Found ? FALSE : TRUE;
}

BOOL CALLBACK SearchWindow(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<ControlSearch*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == s->Process) EnumChildWindows(w, &MatchControl, p);
    return s->Found ? FALSE : TRUE;
}

HWND FindControl(DWORD processId, const std::wstring& name) {
    ControlSearch search{processId, name};
    EnumWindows(&SearchWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

// What `reg query` prints for one value of the program's key; empty when
// the value is not there.
std::string RegQuery(const std::string& value) {
    const std::string command =
        "reg query \"HKCU\\Software\\Tarnwick Software\\3D Marivelle 4\" /v " + value + " 2>nul";
    std::string out;
    if (FILE* pipe = _popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        _pclose(pipe);
    }
    return out.find(value) == std::string::npos ? std::string() : out;
}

void DeleteValue(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tarnwick Software\\3D Marivelle 4", 0, KEY_SET_VALUE, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
}

// The settings role up to its dialog: the control asked for, once the
// dialog is filled and the saver's GL window fills the preview panel. (As with /p, Wine shows nothing
// of the GL drawn into that child window on the screen; the preview's film
// checks what a child window draws.)
HWND OpenSettings(SaverProcess& saver, const std::wstring& control, const std::string& picture = {}) {
    const DWORD id = GetProcessId(saver.Process);
    const auto end = Clock::now() + kStartDeadline;
    while (Clock::now() < end && saver.Running()) {
        Pump();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        HWND found = FindControl(id, control);
        HWND panel = FindControl(id, L"GLWindow");
        HWND gl = panel ? FindWindowExW(panel, nullptr, L"Marivelle GL Window", nullptr) : nullptr;
        RECT outer{}, inner{};
        if (!found || !gl || !GetClientRect(panel, &outer) || !GetClientRect(gl, &inner)) continue;
        if (inner.right != outer.right || inner.bottom != outer.bottom || !IsWindowVisible(gl)) continue;
        // Filled from the settings once the scene runs, and enabled again
        // once filled: the waters listed, one chosen, the schools listed.
        HWND waters = FindControl(id, L"ComboBoxBackgrounds");
        HWND fishes = FindControl(id, L"CheckListBoxFishes");
        DWORD_PTR count = 0, chosen = static_cast<DWORD_PTR>(CB_ERR), schools = 0;
        if (!waters || !fishes || !IsWindowEnabled(waters) ||
            !SendMessageTimeoutW(waters, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count) ||
            !SendMessageTimeoutW(waters, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &chosen) || count == 0 ||
            static_cast<LRESULT>(chosen) == CB_ERR ||
            !SendMessageTimeoutW(fishes, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &schools) || schools == 0)
            continue;
        if (!picture.empty()) {
            // Painted as it now stands before it is taken.
            HWND root = GetAncestor(panel, GA_ROOT);
            RedrawWindow(root, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            RECT dialog{};
            GetWindowRect(root, &dialog);
            SavePicture(Capture(dialog), picture);
        }
        return found;
    }
    return nullptr;
}

TEST(SaverFile, SlashCHostsTheAquariumInItsPreviewAndOkWritesTheRegistryWhileCancelWritesNothing) {
    StoreSceneSettings(40, 400);
    DeleteValue(L"UseLights");
    {
        SaverProcess saver(L"/c");
        ASSERT_TRUE(saver.Started());
        HWND lights = OpenSettings(saver, L"CheckBoxLights");
        ASSERT_NE(lights, nullptr) << "no dialog with the aquarium in its preview appeared";
        DWORD_PTR result = 0;
        SendMessageTimeoutW(lights, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10'000, &result);
        HWND cancel = FindControl(GetProcessId(saver.Process), L"ButtonCancel");
        ASSERT_NE(cancel, nullptr);
        SendMessageTimeoutW(cancel, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10'000, &result);
        DWORD code = 1;
        ASSERT_TRUE(saver.WaitForEnd(code)) << "Cancel did not end the settings";
        EXPECT_EQ(code, 0u);
    }
    EXPECT_EQ(RegQuery("UseLights"), "") << "Cancel wrote the setting";
    EXPECT_NE(RegQuery("FishCount").find("40"), std::string::npos);

    SaverProcess saver(L"/c");
    ASSERT_TRUE(saver.Started());
    HWND lights = OpenSettings(saver, L"CheckBoxLights", "saver_settings.bmp");
    ASSERT_NE(lights, nullptr) << "no dialog with the aquarium in its preview appeared";
    DWORD_PTR before = 0, result = 0;
    SendMessageTimeoutW(lights, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 10'000, &before);
    SendMessageTimeoutW(lights, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10'000, &result);
    HWND ok = FindControl(GetProcessId(saver.Process), L"ButtonOk");
    ASSERT_NE(ok, nullptr);
    SendMessageTimeoutW(ok, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 10'000, &result);
    DWORD code = 1;
    ASSERT_TRUE(saver.WaitForEnd(code)) << "OK did not end the settings";
    EXPECT_EQ(code, 0u);
    const std::string shown = RegQuery("UseLights");
    ASSERT_NE(shown, "") << "OK wrote no UseLights value";
    const bool stored = shown.find("True") != std::string::npos || shown.find("REG_SZ    1") != std::string::npos;
    EXPECT_EQ(stored, before != BST_CHECKED) << shown;
}

// Runs the saver file with a film asked for, in a scratch folder named for
// the case, and checks the film's frames: their size, and the aquarium's
// layers in them.
void RecordAndCheckFilm(const std::string& name, const std::wstring& arguments, int width, int height) {
    const fs::path folder = BuildDir / "tests" / "scratch" / name;
    fs::remove_all(folder);
    fs::create_directories(folder / "film");
    DWORD code = 1;
    {
        SaverProcess program(arguments + L" --record-film 1 4 film\\f.bmp", folder);
        ASSERT_TRUE(program.Started());
        ASSERT_TRUE(program.WaitForEnd(code)) << "the film was not finished in time";
    }
    ASSERT_EQ(code, 0u);
    std::vector<TFrame> frames;
    for (int i = 1; i <= 4; ++i) {
        char file[32];
        std::snprintf(file, sizeof file, "f%05d.bmp", i);
        std::ifstream in(folder / "film" / file, std::ios::binary);
        ASSERT_TRUE(in) << file << " was not written";
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        frames.push_back(FrameOf(ReadBMP(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())));
        ASSERT_EQ(frames.back().Width, width);
        ASSERT_EQ(frames.back().Height, height);
    }
    CheckLayers(frames, kWater, folder.string());
}

TEST(SaverFile, TheProgramRecordsAFilmWhoseFramesShowTheAquarium) {
    StoreSceneSettings(40, 400);
    RecordAndCheckFilm("saver_film", L"--size 480x270", 480, 270);
}

// Wine never shows GL drawn into a child window on the screen, so the
// preview's picture is read back from its own GL surface: the aquarium,
// drawn at the size of the window it was given.
TEST(SaverFile, SlashPDrawsTheAquariumAtTheSizeOfTheGivenWindow) {
    StoreSceneSettings(40, 400);
    HWND parent = MakePreviewParent();
    ASSERT_NE(parent, nullptr);
    RecordAndCheckFilm("saver_preview_film", L"/p " + std::to_wstring(reinterpret_cast<uintptr_t>(parent)), 320, 240);
    DestroyWindow(parent);
}

}  // namespace
