// The saver's exit rules over arbitrary message sequences. Beyond not
// crashing, the decisions must not depend on where the pointer is (moving
// every point by the same offset), on the unused high bits of a message's
// parameter, or on messages that are no input (they must not disturb the
// mouse tracking); modifier keys and, without the option, moves never end.
#include "app/exit_rules.h"
#include "platform/gl_window.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

namespace wm = platform::wm;

// Message codes worth choosing among; the last slot takes a raw code.
constexpr uint32_t kCodes[] = {wm::MouseMove,     wm::MouseMove,     wm::MouseMove,   wm::KeyDown,
                               wm::KeyUp,         wm::SysKeyDown,    wm::LButtonDown, wm::LButtonUp,
                               wm::LButtonDblClk, wm::RButtonDown,   wm::RButtonUp,   wm::MButtonUp,
                               wm::Size,          wm::EraseBackground, wm::SysCommand, 0};
constexpr size_t kCodeCount = sizeof(kCodes) / sizeof(kCodes[0]);

bool IsInput(uint32_t msg) {
    switch (msg) {
        case wm::MouseMove:
        case wm::KeyDown:
        case wm::SysKeyDown:
        case wm::LButtonUp:
        case wm::LButtonDblClk:
        case wm::MButtonUp:
        case wm::MButtonDblClk:
        case wm::RButtonUp:
        case wm::RButtonDblClk: return true;
        default: return false;
    }
}

intptr_t Point(int32_t x, int32_t y) {
    return static_cast<intptr_t>((static_cast<uint32_t>(static_cast<uint16_t>(x))) |
                                 (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16));
}

std::vector<bool> Run(const std::vector<platform::WindowMessage>& messages, bool mouseMoveExit) {
    TExitRules rules;
    rules.Reset();
    std::vector<bool> ends;
    ends.reserve(messages.size());
    for (const platform::WindowMessage& m : messages) ends.push_back(rules.IsExitMessage(m, mouseMoveExit));
    return ends;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const bool mouseMoveExit = data[0] & 1;
    const int32_t dx = static_cast<int8_t>(data[1]);
    const int32_t dy = static_cast<int8_t>(data[2]);
    data += 3;
    size -= 3;

    // Six bytes a message: code, key, x and y (little-endian 16 bits).
    std::vector<platform::WindowMessage> messages, shifted;
    std::vector<int32_t> xs, ys;
    bool shiftFits = true;
    for (; size >= 6; data += 6, size -= 6) {
        platform::WindowMessage m;
        m.Msg = kCodes[data[0] % kCodeCount];
        if (m.Msg == 0) m.Msg = data[0] * 7u;  // raw codes, input or not
        m.WParam = data[1];
        const int32_t x = static_cast<int16_t>(data[2] | data[3] << 8);
        const int32_t y = static_cast<int16_t>(data[4] | data[5] << 8);
        m.LParam = Point(x, y);
        messages.push_back(m);
        xs.push_back(x);
        ys.push_back(y);
        if (x + dx < INT16_MIN || x + dx > INT16_MAX || y + dy < INT16_MIN || y + dy > INT16_MAX) shiftFits = false;
    }
    const std::vector<bool> ends = Run(messages, mouseMoveExit);

    int32_t movesSinceReset = 0;
    for (size_t i = 0; i < messages.size(); ++i) {
        const platform::WindowMessage& m = messages[i];
        if (m.Msg == wm::KeyDown &&
            (m.WParam == platform::vk::Shift || m.WParam == platform::vk::Control || m.WParam == platform::vk::Snapshot) &&
            ends[i])
            std::abort();  // a modifier key ended the run
        if (!IsInput(m.Msg) && ends[i]) std::abort();  // no input, yet an end
        if (m.Msg == wm::MouseMove) {
            if (ends[i] && !mouseMoveExit) std::abort();  // a move ended without the option
            // The settling moves and the reference point never end.
            if (ends[i] && movesSinceReset <= TExitRules::MovesIgnored) std::abort();
            movesSinceReset = ends[i] ? 0 : movesSinceReset + 1;
        }
    }

    // Where the pointer is does not matter, nor do the parameter's high bits.
    if (shiftFits) {
        shifted = messages;
        for (size_t i = 0; i < shifted.size(); ++i) {
            if (shifted[i].Msg != wm::MouseMove) continue;
            shifted[i].LParam = Point(xs[i] + dx, ys[i] + dy);
            if constexpr (sizeof(intptr_t) > 4) shifted[i].LParam |= static_cast<intptr_t>(0x5A5A) << 32;
        }
        if (Run(shifted, mouseMoveExit) != ends) std::abort();
    }

    // Messages that are no input leave the tracking alone.
    std::vector<platform::WindowMessage> inputs;
    std::vector<bool> inputEnds;
    for (size_t i = 0; i < messages.size(); ++i)
        if (IsInput(messages[i].Msg)) {
            inputs.push_back(messages[i]);
            inputEnds.push_back(ends[i]);
        }
    if (Run(inputs, mouseMoveExit) != inputEnds) std::abort();
    return 0;
}
