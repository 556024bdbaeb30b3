#include "platform/idle_pass.h"

#include "platform/message_reporter.h"

namespace platform {

bool RunIdlePass(const std::function<void(bool&)>& idle, const ApplicationHandlers& handlers,
                 const std::string& title, bool& done) {
    try {
        idle(done);
    } catch (const std::exception& e) {
        // A copy: the hook may replace itself while it runs.
        auto handler = handlers.Exception;
        if (!handler) {
            SystemMessageReporter().ShowError(title, e.what());
            return false;
        }
        handler(e);
    }
    return true;
}

}  // namespace platform
