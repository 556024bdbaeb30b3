// A display double: offers the modes the test lists, refuses the ones it is
// told to, and remembers every switch and restore.
#pragma once

#include "platform/display.h"

#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace platform {

class NullDisplaySettings final : public IDisplaySettings {
public:
    std::vector<DisplayMode> Modes;  // what EnumMode reports, in order
    DisplayMode Desktop{1024, 768, 32, 0};
    // Modes (width, height, bits) that fail the test change or the switch.
    std::set<std::tuple<int32_t, int32_t, int32_t>> FailTest, FailChange;
    std::vector<MonitorInfo> MonitorList{MonitorInfo{"default", 0, 0, 1024, 768, true}};

    std::vector<DisplayMode> Changes;  // every successful switch
    int Restores = 0;                  // restores of a switched mode
    int RestoreCalls = 0;              // every RestoreMode call
    int Tests = 0;

    bool EnumMode(int index, DisplayMode& mode) override {
        if (index < 0 || static_cast<size_t>(index) >= Modes.size()) return false;
        mode = Modes[static_cast<size_t>(index)];
        return true;
    }
    bool TestMode(const DisplayMode& mode) override {
        ++Tests;
        return !FailTest.count({mode.Width, mode.Height, mode.BitsPerPixel});
    }
    DisplayMode CurrentMode() override {
        if (Switched) return DisplayMode{Active.Width, Active.Height, Active.BitsPerPixel, 0};
        return Desktop;
    }
    bool ChangeMode(const DisplayMode& mode) override {
        if (FailChange.count({mode.Width, mode.Height, mode.BitsPerPixel})) return false;
        Changes.push_back(mode);
        Active = mode;
        Switched = true;
        return true;
    }
    void RestoreMode() override {
        ++RestoreCalls;
        if (Switched) ++Restores;
        Switched = false;
    }
    bool ModeChanged() const override { return Switched; }
    std::vector<MonitorInfo> Monitors() override { return MonitorList; }
    MonitorInfo VirtualDesktop() override { return MonitorInfo{"", 0, 0, Desktop.Width, Desktop.Height, false}; }

    bool Switched = false;
    DisplayMode Active;
};

}  // namespace platform
