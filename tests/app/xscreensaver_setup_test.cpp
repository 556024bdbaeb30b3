// Adding the saver to a person's XScreenSaver settings file.
#include "app/xscreensaver_setup.h"

#include "core/errors.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

const char* const kSettings =
    "timeout:\t0:10:00\n"
    "mode:\t\trandom\n"
    "programs:\t\t\t\t\t\t\t      \\\n"
    "\t\t\t\tmaze -root\t\t\t\t    \\n\\\n"
    "  GL: \t\t\t\tsuperquadrics -root\t\t\t    \\n\\\n"
    "\n"
    "pointerHysteresis: 10\n";

TEST(XScreenSaverSetup, AddsOneEntryOnceAndKeepsEverythingElse) {
    const fs::path dir = ScratchDir("xscreensaver");
    const fs::path file = dir / ".xscreensaver";
    Write(file, kSettings);
    InstallXScreenSaverEntry(file.string());
    const std::string once = Read(file);
    EXPECT_NE(InstallXScreenSaverEntry(file.string()).find("already"), std::string::npos);
    EXPECT_EQ(Read(file), once) << "a second run changes nothing";
    EXPECT_EQ(Count(once, kXScreenSaverCommand), 1u);
    for (const char* kept : {"maze -root", "superquadrics -root", "pointerHysteresis: 10", "mode:\t\trandom"})
        EXPECT_NE(once.find(kept), std::string::npos) << kept;
    // Ours is an entry of the list: between its opening line and its end.
    EXPECT_LT(once.find("programs:"), once.find(kXScreenSaverCommand));
    EXPECT_LT(once.find(kXScreenSaverCommand), once.find("pointerHysteresis"));
    EXPECT_EQ(Read(dir / ".xscreensaver.bak"), kSettings) << "the original is kept once";

    // A file without a list gets one; a missing file is made.
    EXPECT_NE(WithXScreenSaverEntry("mode: one\n").find("programs:"), std::string::npos);
    fs::remove(file);
    InstallXScreenSaverEntry(file.string());
    EXPECT_EQ(Count(Read(file), kXScreenSaverCommand), 1u);
}

TEST(XScreenSaverSetup, AReadOnlyFileIsLeftAsItWasWithTheReason) {
    const fs::path dir = ScratchDir("xscreensaver");
    const fs::path file = dir / ".xscreensaver";
    Write(file, kSettings);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    try {
        InstallXScreenSaverEntry(file.string());
        ADD_FAILURE() << "a read-only file was changed";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("read-only"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Read(file), kSettings);
    EXPECT_FALSE(fs::exists(dir / ".xscreensaver.bak"));
}

}  // namespace
