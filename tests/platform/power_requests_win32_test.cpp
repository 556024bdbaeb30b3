// The Win32 power requests as the host polls them: the system's sleep
// announcement, broadcast to every top-level window, is taken once; its
// question whether it may sleep is answered as told; the
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

TEST(PowerRequestsWin32, ASystemAskingToSleepIsRefusedOnlyWhileTold) {
    platform::IPowerRequests& power = platform::SystemPowerRequests();
    power.AllowSleepQueries(false);
    HWND listener = FindWindowW(L"Marivelle Power Notices", nullptr);
    ASSERT_NE(listener, nullptr) << "no window hears the system's questions";
    for (WPARAM query : {PBT_APMQUERYSUSPEND, PBT_APMQUERYSTANDBY})
        EXPECT_EQ(SendMessageW(listener, WM_POWERBROADCAST, query, 0), BROADCAST_QUERY_DENY);
    power.AllowSleepQueries(true);
    EXPECT_EQ(SendMessageW(listener, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0), TRUE);
    EXPECT_FALSE(power.TakeSleepNotice()) << "a question is no announcement";
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
