#include "platform/message_reporter.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

class MessageBoxReporter final : public IMessageReporter {
public:
    void ShowError(const std::string& caption, const std::string& text) override {
        // Task-modal: no window of ours is the owner, yet none of them may
        // take input while the box is up.
        MessageBoxW(nullptr, win32::Widen(text).c_str(), win32::Widen(caption).c_str(),
                    MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
    }
};

}  // namespace

IMessageReporter& SystemMessageReporter() {
    static MessageBoxReporter reporter;
    return reporter;
}

}  // namespace platform
