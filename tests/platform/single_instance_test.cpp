#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

class SingleInstanceTest : public ::testing::Test {
protected:
    fs::path Folder;
    std::string SavedRuntime;
    bool HadRuntime = false;

    void SetUp() override {
        char pattern[] = "/tmp/marivelle-lock-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
        if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) {
            HadRuntime = true;
            SavedRuntime = runtime;
        }
        setenv("XDG_RUNTIME_DIR", Folder.c_str(), 1);
    }
    void TearDown() override {
        if (HadRuntime)
            setenv("XDG_RUNTIME_DIR", SavedRuntime.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        fs::remove_all(Folder);
    }
};

TEST_F(SingleInstanceTest, SecondHolderSeesTheNameTakenUntilReleased) {
    auto& instance = platform::SystemSingleInstance();
    auto first = instance.TryLock("marivelleSemaphore");
    ASSERT_TRUE(first.Lock);
    EXPECT_FALSE(first.AlreadyHeld);
    EXPECT_TRUE(fs::exists(Folder / "marivelleSemaphore.lock"));

    auto second = instance.TryLock("marivelleSemaphore");
    EXPECT_FALSE(second.Lock);
    EXPECT_TRUE(second.AlreadyHeld);
    EXPECT_TRUE(instance.TryLock("otherSemaphore").Lock) << "names are independent";

    first.Lock.reset();
    EXPECT_TRUE(instance.TryLock("marivelleSemaphore").Lock);
}

TEST_F(SingleInstanceTest, AnotherProcessSeesTheLockAndItDiesWithItsHolder) {
    auto& instance = platform::SystemSingleInstance();
    auto held = instance.TryLock("Semaphore");
    ASSERT_TRUE(held.Lock);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto r = platform::SystemSingleInstance().TryLock("Semaphore");
        _exit(r.AlreadyHeld && !r.Lock ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    held.Lock.reset();
    child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Take the lock and exit without releasing it.
        auto r = platform::SystemSingleInstance().TryLock("Semaphore");
        _exit(r.Lock ? 0 : 1);
    }
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(instance.TryLock("Semaphore").Lock) << "released when its process ended";
}

TEST_F(SingleInstanceTest, NamesStayInsideTheFolderAndTmpIsTheFallback) {
    auto& instance = platform::SystemSingleInstance();
    auto slashed = instance.TryLock("../up");
    ASSERT_TRUE(slashed.Lock);
    EXPECT_TRUE(fs::exists(Folder / ".._up.lock"));

    unsetenv("XDG_RUNTIME_DIR");
    std::string name = "marivelle-test-" + std::to_string(getpid());
    fs::path fallback = "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
    {
        auto lock = instance.TryLock(name);
        EXPECT_TRUE(lock.Lock);
        EXPECT_TRUE(fs::exists(fallback));
    }
    fs::remove(fallback);
}

}  // namespace
