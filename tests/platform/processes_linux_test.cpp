// The Linux processes service against real children and GIO's choice of
// application: what a child is given, what it ends with, what a missing
// program says, and a page opened by the person's default browser.
#include "platform/processes.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The child's exit code, or StillActive when it has not ended in time.
uint32_t WaitForEnd(platform::IChildProcess& child, std::chrono::seconds limit = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    uint32_t code = child.ExitCode();
    while (code == platform::StillActive && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
        code = child.ExitCode();
    }
    return code;
}

bool WaitForFile(const fs::path& file, std::chrono::seconds limit = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!(fs::exists(file) && fs::file_size(file) > 0) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    return fs::exists(file) && fs::file_size(file) > 0;
}

TEST(ProcessesLinuxTest, AChildGetsItsWordsAndFolderAndItsExitCodeIsSeen) {
    const fs::path dir = ScratchDir("processes");
    platform::ProcessStart start;
    start.File = "/bin/sh";
    // The quoted words are one argument.
    start.Parameters = "-c \"pwd > where; exit 7\"";
    start.Directory = dir.string();
    std::string error;
    auto child = platform::SystemProcesses().Create(start, error);
    ASSERT_TRUE(child) << error;
    EXPECT_EQ(WaitForEnd(*child), 7u);
    EXPECT_EQ(child->ExitCode(), 7u) << "the code stays once the child is reaped";
    EXPECT_EQ(ReadText(dir / "where"), dir.string() + "\n");

    start.File = (dir / "missing.EXE").string();
    EXPECT_FALSE(platform::SystemProcesses().Create(start, error));
    EXPECT_EQ(error, "No such file or directory");
}

TEST(ProcessesLinuxTest, APageOpensWithThePersonsDefaultBrowser) {
    const fs::path dir = ScratchDir("browser");
    fs::create_directories(dir / "data/applications");
    fs::create_directories(dir / "config");
    const fs::path opened = dir / "opened";
    WriteText(dir / "data/applications/test-browser.desktop",
              "[Desktop Entry]\nType=Application\nName=Test Browser\nMimeType=text/html;\n"
              "Exec=/bin/sh -c \"echo \\\\\"\\\\$1\\\\\" > " + opened.string() + "\" sh %u\n");
    WriteText(dir / "config/mimeapps.list", "[Default Applications]\ntext/html=test-browser.desktop\n");
    const fs::path page = dir / "Help.html";
    WriteText(page, "<!DOCTYPE html><html><head><title>t</title></head><body></body></html>");
    // GIO reads these folders on first use, which is here.
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    setenv("XDG_DATA_DIRS", "/usr/share", 1);
    std::string error;
    ASSERT_TRUE(platform::SystemProcesses().OpenDocument(page.string(), error)) << error;
    ASSERT_TRUE(WaitForFile(opened)) << "the browser was not started";
    EXPECT_EQ(ReadText(opened), page.string() + "\n") << "a local page reaches the browser as its file";

    EXPECT_FALSE(platform::SystemProcesses().OpenDocument("nosuchscheme-x:thing", error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
