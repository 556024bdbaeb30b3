// The error box as a user meets it: it appears with the caption and the
// text, and ShowError returns when it is dismissed.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/message_reporter.h"

namespace {

BOOL CALLBACK CollectText(HWND child, LPARAM texts) {
    wchar_t text[256] = {};
    GetWindowTextW(child, text, 256);
    *reinterpret_cast<std::wstring*>(texts) += std::wstring(text) + L"|";
    return TRUE;
}

TEST(MessageReporterWin32, TheBoxShowsTheTextAndReturnsWhenDismissed) {
    std::atomic<bool> returned = false;
    std::thread user([&] {
        platform::SystemMessageReporter().ShowError("3D Marivelle",
                                                    "TWinSoundDevice.Activate error: waveOutOpen failed \xE2\x80\x93 \xC3\xBC");
        returned = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    HWND box = nullptr;
    while (!box && std::chrono::steady_clock::now() < deadline) {
        box = FindWindowW(L"#32770", L"3D Marivelle");
        if (!box) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(box) << "no box appeared";
    std::wstring texts;
    EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&texts));
    EXPECT_NE(texts.find(L"TWinSoundDevice.Activate error: waveOutOpen failed \u2013 \u00FC|"), std::wstring::npos);
    EXPECT_FALSE(returned) << "the box waits for the user";

    PostMessageW(box, WM_COMMAND, IDOK, 0);
    while (!returned && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(returned);
    if (returned)
        user.join();
    else
        user.detach();
}

}  // namespace
