// Millisecond clock, sleeping and the scheduler's timer resolution.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

class IClock {
public:
    virtual ~IClock() = default;
    // Monotonic milliseconds; wraps around at 2^32, so only differences mean
    // anything.
    virtual uint32_t TickCount() = 0;
    // Yields the processor for about ms milliseconds.
    virtual void Sleep(uint32_t ms) = 0;
    // The finest timer period the system offers, in ms; nothing when the
    // capabilities cannot be read.
    virtual std::optional<uint32_t> MinTimerPeriod() = 0;
    // Asks for a timer period of ms while the request lives; false when
    // refused. Every granted request is released by one EndTimerPeriod with
    // the same value.
    virtual bool BeginTimerPeriod(uint32_t ms) = 0;
    virtual void EndTimerPeriod(uint32_t ms) = 0;
};

// The clock of this OS (CLOCK_MONOTONIC and nanosleep on Linux, where the
// timer period requests always succeed and change nothing).
IClock& SystemClock();

}  // namespace platform
