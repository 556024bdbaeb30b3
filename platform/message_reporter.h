// Modal error reports to the user.
#pragma once

#include <string>

namespace platform {

class IMessageReporter {
public:
    virtual ~IMessageReporter() = default;
    // Shows text with an error icon and waits until the user dismissed it.
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;
};

// Standard error on Linux until the dialogs arrive.
IMessageReporter& SystemMessageReporter();

}  // namespace platform
