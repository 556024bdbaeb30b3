// The application object on Win32 for the roles without dialogs (saver,
// preview, a program window): the message loop dispatches what is pending,
// runs one idle pass, and when the pass has nothing to draw waits for a
// message in short slices. WM_QUIT or Terminate ends it. The dialog roles bring their own loop.
#include "platform/application_hooks.h"
#include "platform/gl_window.h"
#include "platform/idle_pass.h"

#include <windows.h>

namespace platform {
namespace {

// How long a done loop sleeps at most before it looks again.
constexpr DWORD kWaitSliceMs = 100;

class Win32Application final : public IApplicationHooks {
public:
    void SetHandlers(const ApplicationHandlers& handlers) override { Handlers = handlers; }
    void SetIdleHandler(std::function<void(bool&)> idle) override { Handlers.Idle = std::move(idle); }

    void Run() override {
        while (!IsTerminated) {
            MSG m;
            while (!IsTerminated && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
                if (m.message == WM_QUIT) {
                    IsTerminated = true;
                    break;
                }
                TranslateMessage(&m);
                DispatchMessageW(&m);
            }
            if (IsTerminated) break;
            auto idle = Handlers.Idle;
            bool done = true;
            if (idle && !RunIdlePass(idle, Handlers, AppTitle, done)) IsTerminated = true;
            // Nothing to draw (paused, or the hook detached): sleep until a
            // message comes, a slice at most.
            if (done && !IsTerminated)
                MsgWaitForMultipleObjectsEx(0, nullptr, kWaitSliceMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
    }
    void Terminate() override { IsTerminated = true; }
    bool Terminated() const override { return IsTerminated; }
    void PostQuit(int exitCode) override {
        PostQuitMessage(exitCode);
        IsTerminated = true;
    }

    std::string Title() const override { return AppTitle; }
    void SetTitle(const std::string& title) override { AppTitle = title; }

    // The GL window is the only window these roles show.
    void SetShowMainForm(bool) override {}
    bool HasMainForm() const override { return false; }
    bool MainFormIsTopLevel() const override { return false; }
    Size MainFormSize() const override { return {}; }
    void SetMainFormPosition(int32_t, int32_t) override {}
    void CloseMainForm() override {}
    void HideMainForm() override {}
    void ClearMainFormHandlers() override {}
    void HideApplicationWindow() override {}

    Size PrimaryScreenSize() const override { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }
    void ShowCursor(bool visible) override { SystemGLWindows().SetCursorVisible(visible); }

private:
    ApplicationHandlers Handlers;
    std::string AppTitle;
    bool IsTerminated = false;
};

}  // namespace

IApplicationHooks& SystemApplication() {
    static Win32Application application;
    return application;
}

}  // namespace platform
