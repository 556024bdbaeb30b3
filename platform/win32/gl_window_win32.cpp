// GL output windows on Win32. The window procedure answers what must be
// answered at once (background erasing, the system commands a saver keeps
// away, the cursor) and queues the rest, already in the encoding the host
// reads; ProcessMessages hands the queue over between two frames. A child
// of a foreign window (the preview in the display settings) follows its
// parent's size by looking at it on every pass, since another process's
// window cannot be watched, and goes when the parent goes.
#include "platform/gl_window.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

constexpr wchar_t kClassName[] = L"Marivelle GL Window";

struct WindowState {
    HWND Parent = nullptr;  // a foreign parent the window follows
    bool FullScreen = false;
    bool TopLevel = false;
};

class Win32GLWindows final : public IGLWindowSystem {
public:
    Win32GLWindows() {
        // Room for a burst of input between two frames without allocating.
        Pending.reserve(256);
        Delivering.reserve(256);
    }

    GLWindowHandle CreateGLWindow(const GLWindowParams& p) override {
        if (!Register()) return 0;
        WindowState state;
        DWORD style = WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_VISIBLE;
        DWORD exStyle = 0;
        HWND parent = nullptr;
        int x = p.Left, y = p.Top;
        int w = std::max(p.Width, 1), h = std::max(p.Height, 1);
        if (p.FullScreen) {
            style |= WS_POPUP;
            exStyle = WS_EX_TOPMOST | WS_EX_APPWINDOW;
            state.FullScreen = true;
        } else if (p.Parent) {
            parent = reinterpret_cast<HWND>(p.Parent);
            if (!IsWindow(parent)) return 0;
            style |= WS_CHILD | WS_TABSTOP;
            if (!Ours.count(p.Parent)) state.Parent = parent;
        } else {
            // A window of its own whose inside has the size asked for.
            style |= WS_OVERLAPPEDWINDOW;
            RECT r{0, 0, w, h};
            AdjustWindowRectEx(&r, style, FALSE, exStyle);
            w = r.right - r.left;
            h = r.bottom - r.top;
            x = std::max(x, 0);
            y = std::max(y, 0);
            state.TopLevel = true;
        }
        HWND hwnd = CreateWindowExW(exStyle, kClassName, win32::Widen(p.Title).c_str(), style, x, y, w, h, parent,
                                    nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!hwnd) return 0;
        const auto handle = reinterpret_cast<GLWindowHandle>(hwnd);
        Ours[handle] = state;
        if (p.FullScreen) {
            SetWindowPos(hwnd, HWND_TOPMOST, x, y, w, h, SWP_SHOWWINDOW);
            SetForegroundWindow(hwnd);
            SetFocus(hwnd);
        }
        if (CursorHidden) SetCursor(nullptr);
        return handle;
    }

    void DestroyGLWindow(GLWindowHandle window) override {
        auto it = Ours.find(window);
        if (it == Ours.end()) return;
        // The host already knows: its WM_DESTROY is not passed on.
        Ours.erase(it);
        DestroyWindow(reinterpret_cast<HWND>(window));
        Forget(window);
    }

    bool WindowSize(GLWindowHandle window, int32_t& width, int32_t& height) override {
        HWND hwnd = reinterpret_cast<HWND>(window);
        RECT r{};
        if (!window || !IsWindow(hwnd) || !GetClientRect(hwnd, &r)) return false;
        width = r.right - r.left;
        height = r.bottom - r.top;
        return true;
    }

    void ProcessMessages(const std::function<void(GLWindowHandle, WindowMessage&)>& handler) override {
        Pump();
        Follow();
        // The handler may make or destroy windows, which queues more.
        Delivering.swap(Pending);
        for (auto& [window, msg] : Delivering) handler(window, msg);
        Delivering.clear();
    }

    bool KeyDown(uintptr_t virtualKey) const override {
        return (GetKeyState(static_cast<int>(virtualKey)) & 0x8000) != 0;
    }

    void SetCursorVisible(bool visible) override {
        CursorHidden = !visible;
        POINT at{};
        GetCursorPos(&at);
        // Now, when the cursor is over one of ours; WM_SETCURSOR keeps it so.
        if (Ours.count(reinterpret_cast<GLWindowHandle>(WindowFromPoint(at))))
            SetCursor(CursorHidden ? nullptr : LoadCursorW(nullptr, IDC_ARROW));
    }

    bool WaitForMessages(int32_t timeoutMs) override {
        if (Ours.empty()) return false;
        if (!Pending.empty()) return true;
        return MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::max(timeoutMs, 0)), QS_ALLINPUT,
                                           MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0;
    }

    GLWindowHandle ForegroundWindow() override { return reinterpret_cast<GLWindowHandle>(GetForegroundWindow()); }

    void EnableWindow(GLWindowHandle window, bool enabled) override {
        if (window && IsWindow(reinterpret_cast<HWND>(window)))
            ::EnableWindow(reinterpret_cast<HWND>(window), enabled ? TRUE : FALSE);
    }

    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        const auto handle = reinterpret_cast<GLWindowHandle>(hwnd);
        auto it = Ours.find(handle);
        if (it == Ours.end()) return DefWindowProcW(hwnd, msg, wParam, lParam);
        switch (msg) {
            case WM_ERASEBKGND: return 1;  // GL paints every pixel
            case WM_PAINT: {
                PAINTSTRUCT ps;
                BeginPaint(hwnd, &ps);
                EndPaint(hwnd, &ps);
                return 0;
            }
            case WM_SETCURSOR:
                if (LOWORD(lParam) == HTCLIENT && CursorHidden) {
                    SetCursor(nullptr);
                    return TRUE;
                }
                break;
            case WM_SYSCOMMAND: {
                const WPARAM command = wParam & 0xFFF0;
                // Neither the system's saver nor a monitor power-off may take
                // over the aquarium; only a window of its own may be closed.
                if (command == sc::ScreenSave || command == sc::MonitorPower ||
                    (command == sc::Close && !it->second.TopLevel))
                    return 0;
                break;
            }
            case WM_CLOSE:
                // The host decides (it may only leave full screen).
                Queue(handle, msg, wParam, lParam);
                return 0;
            case WM_DESTROY:
                // Destroyed from outside: the parent went, or the system ends us.
                Ours.erase(it);
                Forget(handle);
                Queue(handle, msg, 0, 0);
                return 0;
            case WM_SIZE:
            case WM_KEYDOWN:
            case WM_KEYUP:
            case WM_SYSKEYDOWN:
            case WM_MOUSEMOVE:
            case WM_LBUTTONDOWN:
            case WM_LBUTTONUP:
            case WM_LBUTTONDBLCLK:
            case WM_RBUTTONDOWN:
            case WM_RBUTTONUP:
            case WM_RBUTTONDBLCLK:
            case WM_MBUTTONDOWN:
            case WM_MBUTTONUP:
            case WM_MBUTTONDBLCLK:
                Queue(handle, msg, wParam, lParam);
                // Alt+F4 and the system menu still work for a window of its own.
                if (msg == WM_SYSKEYDOWN) break;
                return 0;
            default: break;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }

private:
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    bool Register() {
        if (Registered) return true;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
        wc.lpfnWndProc = &Win32GLWindows::StaticWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        wc.lpszClassName = kClassName;
        Registered = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
        return Registered;
    }

    void Queue(GLWindowHandle window, UINT msg, WPARAM wParam, LPARAM lParam) {
        Pending.push_back({window, WindowMessage{msg, static_cast<uintptr_t>(wParam), static_cast<intptr_t>(lParam), 0}});
    }

    // Messages for our windows waiting in the thread's queue (a film or a
    // launcher's wait runs frames outside the application's loop); messages
    // of other windows are the loop's business.
    void Pump() {
        for (size_t i = 0; i < 64; ++i) {
            MSG m;
            bool any = false;
            for (const auto& [window, state] : Ours) {
                if (!PeekMessageW(&m, reinterpret_cast<HWND>(window), 0, 0, PM_REMOVE)) continue;
                TranslateMessage(&m);
                DispatchMessageW(&m);
                any = true;
                break;  // the dispatch may have changed the map
            }
            if (!any) return;
        }
    }

    // Children of foreign windows take their parent's size, and go with it.
    void Follow() {
        for (auto it = Ours.begin(); it != Ours.end();) {
            const GLWindowHandle child = it->first;
            HWND parent = it->second.Parent;
            ++it;
            if (!parent) continue;
            HWND hwnd = reinterpret_cast<HWND>(child);
            if (!IsWindow(parent) || !IsWindow(hwnd)) {
                // Gone without a WM_DESTROY reaching us.
                Ours.erase(child);
                if (IsWindow(hwnd)) DestroyWindow(hwnd);
                Queue(child, WM_DESTROY, 0, 0);
                continue;
            }
            RECT outer{}, inner{};
            GetClientRect(parent, &outer);
            GetClientRect(hwnd, &inner);
            if (outer.right != inner.right || outer.bottom != inner.bottom)
                MoveWindow(hwnd, 0, 0, std::max<LONG>(outer.right, 1), std::max<LONG>(outer.bottom, 1), TRUE);
        }
    }

    // Messages already queued for a window the host has let go of.
    void Forget(GLWindowHandle window) {
        Pending.erase(std::remove_if(Pending.begin(), Pending.end(),
                                     [window](const auto& entry) {
                                         return entry.first == window && entry.second.Msg != WM_DESTROY;
                                     }),
                      Pending.end());
    }

    std::map<GLWindowHandle, WindowState> Ours;
    std::vector<std::pair<GLWindowHandle, WindowMessage>> Pending, Delivering;
    bool Registered = false;
    bool CursorHidden = false;
};

Win32GLWindows& TheWindows() {
    static Win32GLWindows windows;
    return windows;
}

LRESULT CALLBACK Win32GLWindows::StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return TheWindows().WindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace

IGLWindowSystem& SystemGLWindows() { return TheWindows(); }

}  // namespace platform
