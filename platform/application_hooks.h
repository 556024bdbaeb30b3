// The GUI toolkit's application object as the framework uses it: the message
// loop with its hooks, termination, the main form and the mouse cursor.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace platform {

// A window message in the Windows encoding; other systems translate their
// events into it so the host logic is the same everywhere.
struct WindowMessage {
    uint32_t Msg = 0;
    uintptr_t WParam = 0;
    intptr_t LParam = 0;
    intptr_t Result = 0;
};

// Message codes the framework handles, in the Windows encoding.
namespace wm {
inline constexpr uint32_t Close = 0x0010;
inline constexpr uint32_t PowerBroadcast = 0x0218;
}  // namespace wm

// Power broadcast events (the WParam of wm::PowerBroadcast) and the answer
// that refuses a query.
namespace pbt {
inline constexpr uintptr_t QuerySuspend = 0;
inline constexpr uintptr_t QueryStandby = 1;
inline constexpr uintptr_t Suspend = 4;
inline constexpr uintptr_t Standby = 5;
inline constexpr uintptr_t ResumeCritical = 6;
inline constexpr uintptr_t ResumeSuspend = 7;
inline constexpr uintptr_t ResumeStandby = 8;
inline constexpr intptr_t QueryDeny = 0x424D5144;
}  // namespace pbt

// What a hint about to be shown is about.
struct HintInfo {
    int32_t CursorX = 0;
    int32_t CursorY = 0;
    int32_t MaxWidth = 0;
};

struct Size {
    int32_t Width = 0;
    int32_t Height = 0;
};

// The application object's hooks. An empty function is a detached hook. A
// hook may replace itself while it runs, so callers invoke a copy.
struct ApplicationHandlers {
    std::function<void(const std::exception&)> Exception;
    std::function<void(WindowMessage&, bool& handled)> Message;
    std::function<void()> Hint;
    std::function<void(bool& done)> Idle;
    std::function<void()> Deactivate;
    std::function<void()> Activate;
    std::function<void()> Minimize;
    std::function<void()> Restore;
    std::function<void(WindowMessage& key, bool& handled)> ShortCut;
    std::function<void(std::string& hint, bool& canShow, HintInfo& info)> ShowHint;
};

class IApplicationHooks {
public:
    virtual ~IApplicationHooks() = default;

    // Replaces every hook above (the help hook belongs to the toolkit).
    virtual void SetHandlers(const ApplicationHandlers& handlers) = 0;
    // Detaches (empty) or re-attaches the idle hook alone.
    virtual void SetIdleHandler(std::function<void(bool& done)> idle) = 0;

    // Runs the message loop until termination. The idle hook runs whenever
    // no message is pending; "done" false keeps it spinning.
    virtual void Run() = 0;
    virtual void Terminate() = 0;
    virtual bool Terminated() const = 0;
    // Posts the quit message with the exit code.
    virtual void PostQuit(int exitCode) = 0;

    virtual std::string Title() const = 0;
    virtual void SetTitle(const std::string& title) = 0;

    // Whether the loop shows the main form when it starts.
    virtual void SetShowMainForm(bool show) = 0;
    virtual bool HasMainForm() const = 0;
    // The main form has neither a parent control nor a parent window.
    virtual bool MainFormIsTopLevel() const = 0;
    virtual Size MainFormSize() const = 0;
    virtual void SetMainFormPosition(int32_t left, int32_t top) = 0;
    virtual void CloseMainForm() = 0;
    // Hides the main form when it has a window.
    virtual void HideMainForm() = 0;
    // Drops the main form's create, destroy, activate, deactivate, close,
    // close-query, paint, resize and show handlers.
    virtual void ClearMainFormHandlers() = 0;
    // Hides the application's own top-level window, if it has one.
    virtual void HideApplicationWindow() = 0;

    virtual Size PrimaryScreenSize() const = 0;
    virtual void ShowCursor(bool visible) = 0;
};

// A loop without windows: runs the idle hook until termination, or until
// the hook is detached or reports done (no messages could ever arrive). The
// toolkit's application object replaces it with the host.
IApplicationHooks& SystemApplication();

}  // namespace platform
