// A named lock shared by every process of the user's session, held while its
// object lives and released by the system when the process ends.
#pragma once

#include <memory>
#include <string>

namespace platform {

class IInstanceLock {
public:
    virtual ~IInstanceLock() = default;
};

struct InstanceLockResult {
    std::unique_ptr<IInstanceLock> Lock;  // null unless acquired
    bool AlreadyHeld = false;             // another holder has the name
};

class ISingleInstance {
public:
    virtual ~ISingleInstance() = default;
    // Never blocks. A failure other than "already held" gives neither a lock
    // nor AlreadyHeld.
    virtual InstanceLockResult TryLock(const std::string& name) = 0;
};

// flock on $XDG_RUNTIME_DIR/<name>.lock, else /tmp/<name>-<uid>.lock.
ISingleInstance& SystemSingleInstance();

}  // namespace platform
