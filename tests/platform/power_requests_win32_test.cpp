// The Win32 power requests as the host polls them: the system's sleep
// announcement, broadcast to every top-level window, is taken once; the
// running-saver flag is what the system then reports.
#include "platform/power_requests.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Delivers what was sent to this thread's windows, as the host's loop does.
void Pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

TEST(PowerRequestsWin32, TheSleepAnnouncementIsTakenOnceAndOnlyForSleep) {
    platform::IPowerRequests& power = platform::SystemPowerRequests();
    EXPECT_FALSE(power.TakeSleepNotice()) << "nothing announced yet (this also starts listening)";
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0, SMTO_ABORTIFHUNG, 5000, &answer);
    Pump();
    EXPECT_FALSE(power.TakeSleepNotice()) << "waking up is no reason to end";
    SendMessageTimeoutW(HWND_BROADCAST, WM_POWERBROADCAST, PBT_APMSUSPEND, 0, SMTO_ABORTIFHUNG, 5000, &answer);
    Pump();
    EXPECT_TRUE(power.TakeSleepNotice());
    EXPECT_FALSE(power.TakeSleepNotice()) << "one announcement, one notice";
}

TEST(PowerRequestsWin32, TheRunningSaverFlagIsSetAndCleared) {
    platform::IPowerRequests& power = platform::SystemPowerRequests();
    BOOL running = FALSE;
    power.SetScreenSaverRunning(true);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING, 0, &running, 0));
    EXPECT_TRUE(running);
    power.SetScreenSaverRunning(false);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING, 0, &running, 0));
    EXPECT_FALSE(running);
}

}  // namespace
