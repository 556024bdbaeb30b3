#include <cerrno>
#include <ctime>

#include "platform/clock.h"

namespace platform {
namespace {

class LinuxClock final : public IClock {
public:
    uint32_t TickCount() override {
        timespec ts {};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        // Wraps like the 32-bit tick the timer logic expects.
        auto ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
        return static_cast<uint32_t>(ms);
    }

    void Sleep(uint32_t ms) override {
        timespec left {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }

    // The kernel's timers are already fine-grained; there is nothing to ask.
    std::optional<uint32_t> MinTimerPeriod() override { return 1; }
    bool BeginTimerPeriod(uint32_t) override { return true; }
    void EndTimerPeriod(uint32_t) override {}
};

}  // namespace

IClock& SystemClock() {
    static LinuxClock clock;
    return clock;
}

}  // namespace platform
