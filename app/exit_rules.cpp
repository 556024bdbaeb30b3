#include "app/exit_rules.h"

#include "platform/gl_window.h"

#include <cstdlib>

void TExitRules::Reset() {
    FHasReference = false;
    FMovesToIgnore = MovesIgnored;
}

bool TExitRules::IsExitMessage(const platform::WindowMessage& msg, bool mouseMoveExit) {
    namespace wm = platform::wm;
    switch (msg.Msg) {
        case wm::MouseMove: {
            if (!mouseMoveExit) return false;
            if (FMovesToIgnore > 0) {
                --FMovesToIgnore;
                return false;
            }
            // Client coordinates are signed 16-bit halves of the low word.
            const int32_t x = static_cast<int16_t>(msg.LParam & 0xFFFF);
            const int32_t y = static_cast<int16_t>((msg.LParam >> 16) & 0xFFFF);
            if (!FHasReference) {
                FHasReference = true;
                FMouseX = x;
                FMouseY = y;
                return false;
            }
            if (std::abs(x - FMouseX) > MoveSlack && std::abs(y - FMouseY) > MoveSlack) {
                Reset();
                return true;
            }
            return false;
        }
        case wm::KeyDown:
            return msg.WParam != platform::vk::Shift && msg.WParam != platform::vk::Control &&
                   msg.WParam != platform::vk::Snapshot;
        case wm::LButtonDblClk:
        case wm::LButtonUp:
        case wm::MButtonDblClk:
        case wm::MButtonUp:
        case wm::RButtonDblClk:
        case wm::RButtonUp:
        case wm::SysKeyDown: return true;
        default: return false;
    }
}
