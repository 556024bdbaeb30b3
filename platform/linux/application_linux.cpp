// The application object on Linux: a loop that runs the idle hook, waits on
// the GL windows' X connection when the hook is done, and ends cleanly on
// SIGTERM, SIGINT or SIGHUP (a saver daemon ends its hacks with SIGTERM).
#include "platform/application_hooks.h"
#include "platform/idle_pass.h"
#include "platform/linux/application_local.h"
#include "platform/display.h"
#include "platform/gl_window.h"

#include <csignal>

namespace platform {

Size PrimaryMonitorSize() {
    const std::vector<MonitorInfo> monitors = SystemDisplaySettings().Monitors();
    for (const MonitorInfo& m : monitors)
        if (m.Primary) return {m.Width, m.Height};
    if (monitors.empty()) return {};
    return {monitors.front().Width, monitors.front().Height};
}

namespace {

volatile std::sig_atomic_t EndRequested = 0;

// Only a flag: the loop sees it on its next pass, and a waiting loop wakes
// within the wait's timeout.
extern "C" void RequestEnd(int) { EndRequested = 1; }

void CatchEndSignals() {
    struct sigaction action {};
    action.sa_handler = &RequestEnd;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

// How long a done loop sleeps at most before it looks at the flag again.
constexpr int32_t kWaitSliceMs = 100;

class LinuxApplication final : public IApplicationHooks {
public:
    void SetHandlers(const ApplicationHandlers& handlers) override { Handlers = handlers; }
    void SetIdleHandler(std::function<void(bool&)> idle) override { Handlers.Idle = std::move(idle); }

    void Run() override {
        CatchEndSignals();
        while (!IsTerminated) {
            if (EndRequested) {
                IsTerminated = true;
                break;
            }
            auto idle = Handlers.Idle;
            if (!idle) break;
            bool done = true;
            if (!RunIdlePass(idle, Handlers, AppTitle, done)) IsTerminated = true;
            // Without windows no message could ever wake a waiting loop.
            if (done && !IsTerminated && !EndRequested && !SystemGLWindows().WaitForMessages(kWaitSliceMs)) break;
        }
    }
    void Terminate() override { IsTerminated = true; }
    bool Terminated() const override { return IsTerminated; }
    void PostQuit(int) override { IsTerminated = true; }

    std::string Title() const override { return AppTitle; }
    void SetTitle(const std::string& title) override { AppTitle = title; }

    void SetShowMainForm(bool) override {}
    bool HasMainForm() const override { return false; }
    bool MainFormIsTopLevel() const override { return false; }
    Size MainFormSize() const override { return {}; }
    void SetMainFormPosition(int32_t, int32_t) override {}
    void CloseMainForm() override {}
    void HideMainForm() override {}
    void ClearMainFormHandlers() override {}
    void HideApplicationWindow() override {}

    // Asked for every frame's viewport, so the answer is kept once known.
    Size PrimaryScreenSize() const override {
        if (Primary.Width <= 0 || Primary.Height <= 0) Primary = PrimaryMonitorSize();
        return Primary;
    }

    void ShowCursor(bool visible) override { SystemGLWindows().SetCursorVisible(visible); }

private:
    ApplicationHandlers Handlers;
    std::string AppTitle;
    bool IsTerminated = false;
    mutable Size Primary;
};

}  // namespace

IApplicationHooks& SystemApplication() {
    static LinuxApplication application;
    return application;
}

}  // namespace platform
