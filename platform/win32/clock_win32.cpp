// The multimedia timer: a millisecond tick that wraps at 2^32, and requests
// for a finer scheduler period so that short sleeps stay short.
#include "platform/clock.h"

#include <windows.h>
#include <mmsystem.h>

namespace platform {
namespace {

class Win32Clock final : public IClock {
public:
    uint32_t TickCount() override { return timeGetTime(); }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }

    std::optional<uint32_t> MinTimerPeriod() override {
        TIMECAPS caps{};
        if (timeGetDevCaps(&caps, sizeof caps) != MMSYSERR_NOERROR) return std::nullopt;
        return caps.wPeriodMin;
    }
    bool BeginTimerPeriod(uint32_t ms) override { return timeBeginPeriod(ms) == TIMERR_NOERROR; }
    void EndTimerPeriod(uint32_t ms) override { timeEndPeriod(ms); }
};

}  // namespace

IClock& SystemClock() {
    static Win32Clock clock;
    return clock;
}

}  // namespace platform
