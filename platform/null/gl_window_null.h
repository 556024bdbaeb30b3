// A window-system double: hands out numbered windows, remembers how they
// were made and delivers the messages a test queues.
#pragma once

#include "platform/gl_window.h"

#include <map>
#include <set>
#include <utility>
#include <vector>

namespace platform {

class NullGLWindows final : public IGLWindowSystem {
public:
    GLWindowHandle CreateGLWindow(const GLWindowParams& params) override {
        if (FailCreate) return 0;
        GLWindowHandle handle = NextHandle++;
        Live[handle] = params;
        Created.push_back(params);
        return handle;
    }
    void DestroyGLWindow(GLWindowHandle window) override {
        Live.erase(window);
        Destroyed.push_back(window);
    }
    bool WindowSize(GLWindowHandle window, int32_t& width, int32_t& height) override {
        auto foreign = ForeignSizes.find(window);
        if (foreign != ForeignSizes.end()) {
            width = foreign->second.first;
            height = foreign->second.second;
            return true;
        }
        auto it = Live.find(window);
        if (it == Live.end()) return false;
        width = it->second.Width;
        height = it->second.Height;
        return true;
    }
    void ProcessMessages(const std::function<void(GLWindowHandle, WindowMessage&)>& handler) override {
        ++Pumps;
        std::vector<std::pair<GLWindowHandle, WindowMessage>> pending;
        pending.swap(Queue);
        for (auto& [window, msg] : pending) handler(window, msg);
    }
    bool KeyDown(uintptr_t virtualKey) const override { return Held.count(virtualKey) != 0; }
    void SetCursorVisible(bool visible) override { CursorVisible = visible; }
    bool WaitForMessages(int32_t) override {
        ++Waits;
        return !Queue.empty();
    }

    GLWindowHandle ForegroundWindow() override { return Foreground; }
    void EnableWindow(GLWindowHandle window, bool enabled) override {
        if (enabled)
            Disabled.erase(window);
        else
            Disabled.insert(window);
    }

    void Post(GLWindowHandle window, uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0) {
        Queue.push_back({window, WindowMessage{msg, wParam, lParam, 0}});
    }

    GLWindowHandle NextHandle = 0x500;
    bool FailCreate = false;
    std::map<GLWindowHandle, GLWindowParams> Live;
    std::vector<GLWindowParams> Created;
    std::vector<GLWindowHandle> Destroyed;
    std::map<GLWindowHandle, std::pair<int32_t, int32_t>> ForeignSizes;
    std::vector<std::pair<GLWindowHandle, WindowMessage>> Queue;
    std::set<uintptr_t> Held;
    GLWindowHandle Foreground = 0;
    std::set<GLWindowHandle> Disabled;
    int Pumps = 0;
    int Waits = 0;
    bool CursorVisible = true;
};

}  // namespace platform
