// Which input ends a full-screen saver run: any key but the modifiers and
// Print Screen, a system key, a button released or double-clicked, and, when
// the person asked for it, a mouse move clearly beyond the pointer's jitter.
// Kept apart from the host so that it can be driven alone (tests, fuzzing).
#pragma once

#include "platform/application_hooks.h"

#include <cstdint>

class TExitRules {
public:
    // Moves ignored after a reset while the pointer settles.
    static constexpr int32_t MovesIgnored = 5;
    // A move ends the run only beyond this many pixels in x and in y.
    static constexpr int32_t MoveSlack = 2;

    // Starts the mouse tracking afresh: the next moves are the pointer
    // settling, the one after them the reference point.
    void Reset();
    // True when this message ends the run; mouse moves count only with
    // `mouseMoveExit`.
    bool IsExitMessage(const platform::WindowMessage& msg, bool mouseMoveExit);

private:
    // The reference point, and the moves still ignored. Any point can be
    // the reference, (-1, -1) too: a captured pointer left of the window.
    bool FHasReference = false;
    int32_t FMouseX = 0;
    int32_t FMouseY = 0;
    int32_t FMovesToIgnore = 0;
};
