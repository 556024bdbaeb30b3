#include <cstdio>

#include "platform/message_reporter.h"

namespace platform {
namespace {

class StderrReporter final : public IMessageReporter {
public:
    void ShowError(const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
    }
};

}  // namespace

IMessageReporter& SystemMessageReporter() {
    static StderrReporter reporter;
    return reporter;
}

}  // namespace platform
