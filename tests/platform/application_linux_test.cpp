#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/application_hooks.h"

namespace {

TEST(HeadlessApplicationTest, LoopSpinsUntilTerminatedAndRoutesExceptions) {
    auto& app = platform::SystemApplication();
    int passes = 0;
    std::string caught;
    platform::ApplicationHandlers handlers;
    handlers.Idle = [&](bool& done) {
        ++passes;
        done = false;
        if (passes == 3) throw std::runtime_error("third");
        if (passes == 5) app.Terminate();
    };
    handlers.Exception = [&](const std::exception& e) { caught = e.what(); };
    app.SetHandlers(handlers);
    app.Run();
    EXPECT_EQ(passes, 5);
    EXPECT_EQ(caught, "third");
    EXPECT_TRUE(app.Terminated());
}

}  // namespace
