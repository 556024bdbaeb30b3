// The program's own path in its long form, and the system's folders.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/program_paths.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kReportTo = "MARIVELLE_PATHS_REPORT";

// This test program started again with kReportTo set writes the path it
// finds for itself to that file and ends.
const bool reporterStarted = [] {
    const char* file = std::getenv(kReportTo);
    if (!file) return false;
    std::ofstream(file, std::ios::binary) << platform::SystemProgramPaths().ExecutablePath();
    ExitProcess(0);
}();

TEST(ProgramPathsWin32, TheExecutableAndTheSystemFolders) {
    auto& paths = platform::SystemProgramPaths();
    const std::string exe = paths.ExecutablePath();
    ASSERT_GE(exe.size(), 3u);
    EXPECT_EQ(exe.substr(1, 2), ":\\");
    EXPECT_EQ(fs::path(exe).filename(), "platform_program_paths_win32_test.exe");
    EXPECT_TRUE(fs::equivalent(exe, fs::path(MARIVELLE_BUILD_DIR) / "tests" / "platform_program_paths_win32_test.exe"));

    const std::string system = paths.SystemPath(), windows = paths.WindowsPath();
    EXPECT_TRUE(fs::exists(fs::path(system) / "kernel32.dll")) << system;
    EXPECT_TRUE(fs::is_directory(windows)) << windows;
    EXPECT_EQ(system.rfind(windows, 0), 0u) << "the system folder lies in the Windows folder";
}

TEST(ProgramPathsWin32, AProgramStartedByItsShortNameFindsItsLongName) {
    const fs::path folder = ScratchDir("paths") / "A Folder With A Long Name";
    fs::create_directories(folder);
    const fs::path copy = folder / "a program with a long name.exe";
    fs::copy_file(fs::path(MARIVELLE_BUILD_DIR) / "tests" / "platform_program_paths_win32_test.exe", copy);
    wchar_t shortName[MAX_PATH] = {};
    const DWORD n = GetShortPathNameW(copy.wstring().c_str(), shortName, MAX_PATH);
    ASSERT_GT(n, 0u);
    ASSERT_LT(n, static_cast<DWORD>(MAX_PATH));
    ASSERT_EQ(std::wstring(shortName).find(L"long name"), std::wstring::npos) << "the system made a short name";

    const fs::path report = folder.parent_path() / "report.txt";
    SetEnvironmentVariableW(L"MARIVELLE_PATHS_REPORT", report.wstring().c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + std::wstring(shortName) + L"\"";
    const BOOL started =
        CreateProcessW(shortName, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableW(L"MARIVELLE_PATHS_REPORT", nullptr);
    ASSERT_TRUE(started);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::string reported = ReadText(report);
    EXPECT_EQ(fs::path(reported).filename(), "a program with a long name.exe") << reported;
    EXPECT_NE(reported.find("A Folder With A Long Name"), std::string::npos) << reported;
}

}  // namespace
