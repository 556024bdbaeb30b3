// Plain windows for OpenGL output: a top-level window (or a top-most one
// covering the screen) or a child of another window, whose events reach the
// host as window messages in the Windows encoding.
#pragma once

#include "platform/application_hooks.h"
#include "platform/gl_context.h"

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

namespace wm {
inline constexpr uint32_t Destroy = 0x0002;
inline constexpr uint32_t Size = 0x0005;  // LParam: width | height << 16
inline constexpr uint32_t EraseBackground = 0x0014;
inline constexpr uint32_t KeyDown = 0x0100;
inline constexpr uint32_t KeyUp = 0x0101;
inline constexpr uint32_t SysCommand = 0x0112;
// Mouse messages: LParam x | y << 16 in window coordinates.
inline constexpr uint32_t MouseMove = 0x0200;
inline constexpr uint32_t LButtonDown = 0x0201;
inline constexpr uint32_t RButtonDown = 0x0204;
inline constexpr uint32_t LButtonUp = 0x0202;
inline constexpr uint32_t LButtonDblClk = 0x0203;
inline constexpr uint32_t RButtonUp = 0x0205;
inline constexpr uint32_t RButtonDblClk = 0x0206;
inline constexpr uint32_t MButtonDown = 0x0207;
inline constexpr uint32_t MButtonUp = 0x0208;
inline constexpr uint32_t MButtonDblClk = 0x0209;
inline constexpr uint32_t SysKeyDown = 0x0104;
}  // namespace wm

namespace sc {
inline constexpr uintptr_t Close = 0xF060;
inline constexpr uintptr_t ScreenSave = 0xF140;
inline constexpr uintptr_t MonitorPower = 0xF170;
}  // namespace sc

// Virtual-key codes the host looks at.
namespace vk {
inline constexpr uintptr_t Shift = 0x10;
inline constexpr uintptr_t Control = 0x11;
inline constexpr uintptr_t Escape = 0x1B;
inline constexpr uintptr_t Snapshot = 0x2C;  // Print Screen
}  // namespace vk

// A child window fills its parent and follows the parent's size; when the
// parent goes, so does the child (the host sees wm::Destroy).
struct GLWindowParams {
    GLWindowHandle Parent = 0;  // 0: a top-level window
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 640;
    int32_t Height = 480;
    // Top-most, undecorated, over everything else on the given bounds.
    bool FullScreen = false;
    uint32_t Color = 0;  // background, 0x00BBGGRR
    std::string Title;   // what the desktop shows for a top-level window
};

class IGLWindowSystem {
public:
    virtual ~IGLWindowSystem() = default;

    // A mapped window; 0 when none could be made.
    virtual GLWindowHandle CreateGLWindow(const GLWindowParams& params) = 0;
    virtual void DestroyGLWindow(GLWindowHandle window) = 0;
    // Size of any window (also a foreign parent); false when it does not exist.
    virtual bool WindowSize(GLWindowHandle window, int32_t& width, int32_t& height) = 0;
    // Hands every pending event of the windows made here to `handler`, as
    // messages of the window they belong to.
    virtual void ProcessMessages(const std::function<void(GLWindowHandle, WindowMessage&)>& handler) = 0;
    // Whether the key is held down, as far as the events seen so far tell.
    virtual bool KeyDown(uintptr_t virtualKey) const = 0;
    // Shows or hides the mouse cursor over every window made here, also
    // over those made later.
    virtual void SetCursorVisible(bool visible) = 0;
    // Blocks until an event for the windows made here is pending, or for at
    // most timeoutMs; false at once when there are no windows to wait on.
    virtual bool WaitForMessages(int32_t timeoutMs) = 0;
    // The window the person works in now, or 0 where the system has no such
    // notion.
    virtual GLWindowHandle ForegroundWindow() = 0;
    // Lets any window (also a foreign one) take input or not; nothing where
    // windows cannot be disabled.
    virtual void EnableWindow(GLWindowHandle window, bool enabled) = 0;
};

// This OS's windows; lives for the whole process.
IGLWindowSystem& SystemGLWindows();

}  // namespace platform
