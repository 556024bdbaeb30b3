#include "platform/power_requests.h"

namespace platform {
namespace {

class LinuxPowerRequests final : public IPowerRequests {
public:
    bool SetExecutionState(bool, bool) override { return false; }
    bool SuspendSystem() override { return false; }
    bool MonitorOff() override { return false; }
    bool TakeSleepNotice() override { return false; }
};

}  // namespace

IPowerRequests& SystemPowerRequests() {
    static LinuxPowerRequests power;
    return power;
}

}  // namespace platform
