// A wall-clock double: the time and the regional formats are whatever the
// test sets.
#pragma once

#include "platform/local_time.h"

namespace platform {

class FixedLocalTime final : public ILocalTime {
public:
    LocalDateTime Now() override {
        ++Reads;
        return Time;
    }
    const LocaleTimeFormat& Format() override { return Locale; }

    LocalDateTime Time;
    LocaleTimeFormat Locale;
    int Reads = 0;
};

}  // namespace platform
