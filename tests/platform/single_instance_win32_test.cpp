// The named semaphore, held by this process and by another one.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/single_instance.h"

namespace {

constexpr const char* kHolderName = "MARIVELLE_INSTANCE_HOLDER";
constexpr int kHeld = 10, kAcquired = 11;

// This test program started again with kHolderName set: it takes the name,
// says so through the event "<name>Taken" and holds it until it is killed;
// or, when the name is taken, ends with kHeld.
const bool holderStarted = [] {
    const char* name = std::getenv(kHolderName);
    if (!name) return false;
    auto result = platform::SystemSingleInstance().TryLock(name);
    if (!result.Lock) ExitProcess(result.AlreadyHeld ? kHeld : 1);
    HANDLE taken = OpenEventA(EVENT_MODIFY_STATE, FALSE, (std::string(name) + "Taken").c_str());
    if (!taken || !SetEvent(taken)) ExitProcess(2);
    for (;;) Sleep(INFINITE);
}();

// Starts the holder for name; its process handle.
HANDLE StartHolder(const std::string& name) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableA(kHolderName, name.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\"";
    const BOOL started =
        CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA(kHolderName, nullptr);
    if (!started) return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

TEST(SingleInstanceWin32, SecondHolderSeesTheNameTakenUntilReleased) {
    auto& instance = platform::SystemSingleInstance();
    auto first = instance.TryLock("marivelleSemaphore");
    ASSERT_TRUE(first.Lock);
    EXPECT_FALSE(first.AlreadyHeld);
    auto second = instance.TryLock("marivelleSemaphore");
    EXPECT_FALSE(second.Lock);
    EXPECT_TRUE(second.AlreadyHeld);
    EXPECT_TRUE(instance.TryLock("otherSemaphore").Lock) << "names are independent";
    EXPECT_TRUE(instance.TryLock("a\\b").Lock) << "a backslash is no name space";

    first.Lock.reset();
    EXPECT_TRUE(instance.TryLock("marivelleSemaphore").Lock);
}

TEST(SingleInstanceWin32, AnotherProcessSeesTheNameAndItEndsWithItsHolder) {
    const std::string name = "marivelleHolder" + std::to_string(GetCurrentProcessId());
    auto& instance = platform::SystemSingleInstance();

    // Held here: the other process bows out.
    {
        auto held = instance.TryLock(name);
        ASSERT_TRUE(held.Lock);
        HANDLE child = StartHolder(name);
        ASSERT_TRUE(child);
        ASSERT_EQ(WaitForSingleObject(child, 60000), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeProcess(child, &code);
        CloseHandle(child);
        EXPECT_EQ(code, static_cast<DWORD>(kHeld));
    }

    // Held there: this process sees it taken until the holder is killed.
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, (name + "Taken").c_str());
    ASSERT_TRUE(taken);
    HANDLE child = StartHolder(name);
    ASSERT_TRUE(child);
    HANDLE either[] = {taken, child};
    ASSERT_EQ(WaitForMultipleObjects(2, either, FALSE, 60000), WAIT_OBJECT_0) << "the holder took the name";
    auto refused = instance.TryLock(name);
    EXPECT_FALSE(refused.Lock);
    EXPECT_TRUE(refused.AlreadyHeld);
    TerminateProcess(child, 9);
    ASSERT_EQ(WaitForSingleObject(child, 60000), WAIT_OBJECT_0);
    CloseHandle(child);
    CloseHandle(taken);
    EXPECT_TRUE(instance.TryLock(name).Lock) << "the system released the dead holder's name";
}

}  // namespace
