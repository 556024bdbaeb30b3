#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

extern char** environ;

#include "app/application.h"
#include "platform/linux/ini_settings_store.h"
#include "platform/null/null_services.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using platform::IniSettingsStore;
using platform::SettingsAccess;
using platform::SettingsRoot;

const std::string Key = "Software\\Marivelle Works\\3D Marivelle 1";

class IniStoreTest : public ::testing::Test {
protected:
    fs::path Folder, User, Machine;

    void SetUp() override {
        char pattern[] = "/tmp/marivelle-ini-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
        User = Folder / "config";
        Machine = Folder / "xdg";
    }
    void TearDown() override { fs::remove_all(Folder); }

    IniSettingsStore Store() { return IniSettingsStore(User.string(), Machine.string()); }

    static void WriteText(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    static std::string ReadText(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(IniStoreTest, KeyPathsMapToFilesUnderTheRoots) {
    IniSettingsStore store = Store();
    EXPECT_EQ(store.FileName(SettingsRoot::User, Key), (User / "Marivelle Works" / "3D Marivelle 1.conf").string());
    EXPECT_EQ(store.FileName(SettingsRoot::Machine, Key),
              (Machine / "Marivelle Works" / "3D Marivelle 1.conf").string());
    EXPECT_EQ(store.FileName(SettingsRoot::User, "Software\\3D Marivelle 1"), (User / "3D Marivelle 1.conf").string());
    // Names never lead out of the root.
    EXPECT_EQ(store.FileName(SettingsRoot::User, "Software\\..\\a/b"), (User / "_" / "a_b.conf").string());
    EXPECT_EQ(store.FileName(SettingsRoot::User, "Software\\"), "");
}

TEST_F(IniStoreTest, DefaultRootsFollowTheEnvironment) {
    TScopedEnv config("XDG_CONFIG_HOME", User.c_str());
    TScopedEnv dirs("XDG_CONFIG_DIRS", nullptr);
    TScopedEnv home("HOME", Folder.c_str());
    IniSettingsStore store;
    EXPECT_EQ(store.FileName(SettingsRoot::User, "Software\\T 1"), (User / "T 1.conf").string());
    EXPECT_EQ(store.FileName(SettingsRoot::Machine, "Software\\C\\T 1"), "/etc/xdg/C/T 1.conf");
    // The first machine folder is the one written.
    dirs.Set((Machine.string() + ":/etc/xdg").c_str());
    EXPECT_EQ(store.FileName(SettingsRoot::Machine, "Software\\C\\T 1"), (Machine / "C" / "T 1.conf").string());
    // Relative folders are ignored.
    dirs.Set("relative/xdg");
    config.Set("relative/config");
    EXPECT_EQ(store.FileName(SettingsRoot::Machine, "Software\\C\\T 1"), "/etc/xdg/C/T 1.conf");
    EXPECT_EQ(store.FileName(SettingsRoot::User, "Software\\T 1"), (Folder / ".config" / "T 1.conf").string());
}

TEST_F(IniStoreTest, ComplementedNamesAndAwkwardValuesRoundTrip) {
    std::string everyByte;
    for (int b = 0; b < 256; ++b) everyByte += static_cast<char>(b);
    std::string scrambled = "DataPath";
    for (char& c : scrambled) c = static_cast<char>(~static_cast<unsigned char>(c));
    const std::vector<std::pair<std::string, std::string>> values = {
        {scrambled, "/srv/marivelle/"},
        {"lines", "one\ntwo\r\nthree"},
        {"a=b", "c=d=e"},
        {"[section]", "[not a section]"},
        {"#comment", ";also not"},
        {"  padded  ", "  padded  "},
        {"back\\slash", "\\x41 stays literal"},
        {"empty", ""},
        {std::string("nul\0in name", 11), std::string("nul\0in value", 12)},
        {everyByte, everyByte},
        {"", "unnamed"},
    };
    {
        IniSettingsStore store = Store();
        auto key = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadWrite);
        ASSERT_TRUE(key);
        for (const auto& [name, value] : values) ASSERT_TRUE(key->Write(name, value)) << name;
    }
    IniSettingsStore store = Store();
    auto key = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadOnly);
    ASSERT_TRUE(key);
    for (const auto& [name, value] : values) {
        auto read = key->Read(name);
        EXPECT_FALSE(read.Failed);
        EXPECT_EQ(read.Value, value) << name;
    }
    EXPECT_FALSE(key->Read("absent").Value);
    EXPECT_FALSE(key->Write("x", "y")) << "a read-only key does not write";
}

TEST_F(IniStoreTest, WritesAreAtomicAndLeaveOnlyTheFile) {
    IniSettingsStore store = Store();
    auto key = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadWrite);
    ASSERT_TRUE(key);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(key->Write("n" + std::to_string(i), std::to_string(i)));
    std::vector<std::string> entries;
    for (const auto& e : fs::directory_iterator(User / "Marivelle Works")) entries.push_back(e.path().filename());
    EXPECT_EQ(entries, std::vector<std::string>{"3D Marivelle 1.conf"});
    EXPECT_EQ(fs::status(User / "Marivelle Works" / "3D Marivelle 1.conf").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(IniStoreTest, ReadOnlyOpenNeedsTheFileReadWriteCreatesIt) {
    IniSettingsStore store = Store();
    EXPECT_FALSE(store.Open(SettingsRoot::User, Key, SettingsAccess::ReadOnly));
    EXPECT_FALSE(fs::exists(User)) << "reading creates nothing";
    auto key = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadWrite);
    ASSERT_TRUE(key);
    EXPECT_TRUE(fs::is_directory(User / "Marivelle Works"));
    EXPECT_FALSE(key->Read("x").Value);
}

TEST_F(IniStoreTest, WriteKeepsValuesAnotherWriterAddedMeanwhile) {
    IniSettingsStore store = Store();
    auto mine = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadWrite);
    auto theirs = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadWrite);
    ASSERT_TRUE(mine && theirs);
    ASSERT_TRUE(theirs->Write("theirs", "1"));
    ASSERT_TRUE(mine->Write("mine", "2"));
    auto check = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadOnly);
    EXPECT_EQ(check->Read("theirs").Value, "1");
    EXPECT_EQ(check->Read("mine").Value, "2");
}

TEST_F(IniStoreTest, GarbageReadsAsEmpty) {
    fs::path file = User / "Marivelle Works" / "3D Marivelle 1.conf";
    std::mt19937 random(7);
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>(random());
    garbage[17] = '\0';
    garbage += "\nname=value\n";  // a good line does not rescue a binary file
    WriteText(file, garbage);
    IniSettingsStore store = Store();
    auto key = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadOnly);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->Read("name").Value);

    // Writing replaces the garbage with a sound file.
    auto writer = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadWrite);
    ASSERT_TRUE(writer->Write("fresh", "1"));
    EXPECT_EQ(platform::ParseSettingsText(ReadText(file)), (platform::SettingsValues {{"fresh", "1"}}));

    WriteText(file, std::string(platform::MaxSettingsFileSize + 1, 'a') + "=b\n");
    EXPECT_FALSE(Store().Open(SettingsRoot::User, Key, SettingsAccess::ReadOnly)->Read(std::string(
        platform::MaxSettingsFileSize + 1, 'a')).Value);
}

TEST_F(IniStoreTest, MalformedLinesAreSkippedAndTheRestKept) {
    platform::SettingsValues values = platform::ParseSettingsText(
        "# comment\n"
        "[Section]\n"
        "  spaced = value with spaces  \r\n"
        "no separator\n"
        "bad\\escape=1\n"
        "bad=\\xZZ\n"
        "cut=\\x4\n"
        "first=1\n"
        "first=2\n"
        "hex\\x3Dname=\\x0a\n"
        "last=no newline");
    EXPECT_EQ(values, (platform::SettingsValues {{"spaced", "value with spaces"},
                                                 {"first", "2"},
                                                 {"hex=name", "\n"},
                                                 {"last", "no newline"}}));
}

TEST_F(IniStoreTest, UnwritableMachineRootMakesTheFrameworkWriteForTheUser) {
    // A machine root below a plain file can never be created.
    WriteText(Folder / "blocked", "");
    IniSettingsStore store(User.string(), (Folder / "blocked" / "xdg").string());
    EXPECT_FALSE(store.Open(SettingsRoot::Machine, Key, SettingsAccess::ReadWrite));

    platform::NullServices null;
    platform::Services services = null.Get();
    services.Settings = &store;
    TCustomGraphicApplicationPro app(services);
    app.Title = "3D Marivelle";
    app.Company = "Marivelle Works";
    app.FixedFPS = true;
    app.DataPath = "/srv/data/";
    app.SaveOptions();

    TCustomGraphicApplicationPro again(services);
    again.Title = "3D Marivelle";
    again.Company = "Marivelle Works";
    again.LoadOptions();
    EXPECT_TRUE(again.FixedFPS);
    EXPECT_EQ(again.DataPath, "/srv/data/");
    EXPECT_TRUE(fs::exists(User / "Marivelle Works" / "3D Marivelle 1.conf"));
}

TEST_F(IniStoreTest, MachineValueWinsOverTheUsersOnDisk) {
    IniSettingsStore store = Store();
    ASSERT_TRUE(store.Open(SettingsRoot::Machine, Key, SettingsAccess::ReadWrite)->Write("V", "machine"));
    auto user = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadWrite);
    ASSERT_TRUE(user->Write("V", "user"));
    ASSERT_TRUE(user->Write("U", "only mine"));

    platform::NullServices null;
    platform::Services services = null.Get();
    services.Settings = &store;
    TCustomApplicationPro app(services);
    app.Title = "3D Marivelle";
    app.Company = "Marivelle Works";
    app.SetUseMachineKey(true);
    EXPECT_EQ(app.ReadString("V", ""), "machine");
    EXPECT_EQ(app.ReadString("U", ""), "only mine");
    EXPECT_EQ(app.ReadString("W", "none"), "none");
}

// A writer killed at any moment: this test program started again with
// kWriterRoot set stores generation after generation of one value until
// it is killed. The values differ in length, so a torn file would show.
constexpr const char* kWriterRoot = "MARIVELLE_SETTINGS_WRITER_ROOT";

std::string GenerationValue(long generation) {
    return std::to_string(generation) + ":" +
           std::string(static_cast<size_t>(1000 + generation * 7919 % 8000), static_cast<char>('a' + generation % 26));
}

// The generation a stored value is of; -1 when it is no such value.
long GenerationOf(const std::string& value) {
    long generation = std::strtol(value.c_str(), nullptr, 10);
    return generation > 0 && value == GenerationValue(generation) ? generation : -1;
}

const bool writerStarted = [] {
    const char* root = std::getenv(kWriterRoot);
    if (!root) return false;
    IniSettingsStore store(root);
    auto key = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadWrite);
    if (!key) _exit(3);
    auto stored = key->Read("Value").Value;
    long generation = stored ? GenerationOf(*stored) : 0;
    if (generation < 0) _exit(4);
    if (write(1, "w", 1) != 1) _exit(5);
    for (;;)
        if (!key->Write("Value", GenerationValue(++generation))) _exit(6);
}();

TEST_F(IniStoreTest, AWriterKilledAtAnyMomentLeavesTheOldFileOrTheNew) {
    const fs::path file = User / "Marivelle Works" / "3D Marivelle 1.conf";
    const std::string env = std::string(kWriterRoot) + "=" + User.string();
    std::vector<char*> envp{const_cast<char*>(env.c_str())};
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    envp.push_back(nullptr);
    char self[] = "/proc/self/exe";
    char* argv[] = {self, nullptr};
    std::mt19937 random(11);
    // Kills land anywhere within a few writes, timed here: a slow machine
    // (sanitizers, load) gives its writers longer.
    long window = 6000;
    {
        auto probe = Store().Open(SettingsRoot::User, "Software\\Probe Works\\Probe 1", SettingsAccess::ReadWrite);
        ASSERT_TRUE(probe);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 5; ++i) ASSERT_TRUE(probe->Write("Value", std::to_string(i)));
        const auto each = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start) / 5;
        window = std::max<long>(window, 3 * static_cast<long>(each.count()));
    }
    // Three hundred kills at least, and three hundred generations written
    // across them, so the kills fall both between writes and inside them.
    // Where the writers hardly get going the window widens.
    long last = 0;
    int run = 0;
    for (; (run < 300 || last < 300) && run < 3000 && !HasFailure(); ++run) {
        if (run % 50 == 49 && last < run) window = std::min(2 * window, 1000000L);
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, self, &actions, nullptr, argv, envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        char started = 0;
        const bool writing = read(fds[0], &started, 1) == 1;
        close(fds[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % window));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(writing) << "the writer ended before writing, status " << status;
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the writer failed, status " << status;

        if (!fs::exists(file)) continue;  // killed before its first write
        const std::string text = ReadText(file);
        std::string damage;
        platform::SettingsValues values = platform::ParseSettingsText(text, &damage);
        ASSERT_EQ(damage, "") << "run " << run;
        ASSERT_EQ(values.size(), 1u) << "run " << run << ": " << text.size() << " bytes";
        const long generation = GenerationOf(values["Value"]);
        ASSERT_GT(generation, 0) << "run " << run << ": a value that was never written";
        ASSERT_EQ(text, platform::FormatSettingsText(values)) << "run " << run;
        ASSERT_GE(generation, last) << "run " << run << ": an older file came back";
        last = generation;
    }
    ASSERT_GE(last, 300) << "the writers hardly wrote in " << run << " kills: they proved little";
    // What killed writers left half-written goes with the next write.
    auto key = Store().Open(SettingsRoot::User, Key, SettingsAccess::ReadWrite);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->Write("Value", GenerationValue(last + 1)));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(file.parent_path())) names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{file.filename().string()});
}

// A damaged file opens with what can be read, and says so on standard error.
TEST_F(IniStoreTest, ADamagedFileGivesWhatCanBeReadAndOneLineAboutIt) {
    const fs::path file = User / "Marivelle Works" / "3D Marivelle 1.conf";
    std::mt19937 random(5);
    std::string junk;
    for (int i = 0; i < 3000; ++i) junk += static_cast<char>(random() % 255 + 1);  // no NUL
    WriteText(file, "kept=1\n" + junk + "\ncut=\\x4\n" + std::string(600000, 'h') + "=huge\nalso=2\ntorn");
    testing::internal::CaptureStderr();
    auto key = Store().Open(SettingsRoot::User, Key, SettingsAccess::ReadOnly);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(key);
    EXPECT_EQ(key->Read("kept").Value, "1");
    EXPECT_EQ(key->Read("also").Value, "2");
    EXPECT_EQ(key->Read(std::string(600000, 'h')).Value, "huge") << "a long line is no damage";
    EXPECT_EQ(err.rfind("Settings file \"" + file.string() + "\" ", 0), 0u) << err;
    EXPECT_NE(err.find("cannot be read, the first is line "), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    WriteText(file, std::string(platform::MaxSettingsFileSize + 10, 'x'));
    testing::internal::CaptureStderr();
    key = Store().Open(SettingsRoot::User, Key, SettingsAccess::ReadWrite);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("is larger than 1048576 bytes"), std::string::npos);
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->Write("fresh", "1")) << "a damaged file is replaced by a sound one";
    EXPECT_EQ(ReadText(file), platform::FormatSettingsText({{"fresh", "1"}}));
}

}  // namespace
