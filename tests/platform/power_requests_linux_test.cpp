// The Linux power requests against real peers: two private dbus-daemons
// standing in for the system and the session bus, python3-dbusmock's logind
// on the first and a mocked org.freedesktop.ScreenSaver on the second, and a
// private Xvfb for the server's own saver and DPMS.
#include <gtest/gtest.h>

#include "platform/linux/power_requests_linux.h"

#include <gio/gio.h>

#include "render/xvfb_fixture.h"

#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

// The C allocator, counted per thread, for the poll that must not allocate
// (GLib allocates with malloc, not operator new). The sanitizers bring
// allocators of their own, so their builds leave it out.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MARIVELLE_NO_MALLOC_COUNT 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define MARIVELLE_NO_MALLOC_COUNT 1
#endif
#endif
#ifndef MARIVELLE_NO_MALLOC_COUNT
namespace {
thread_local unsigned long ThreadAllocations = 0;
}
extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);
extern "C" void* malloc(size_t size) {
    ++ThreadAllocations;
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
    ++ThreadAllocations;
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, size_t size) {
    ++ThreadAllocations;
    return __libc_realloc(block, size);
}
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* LoginName = "org.freedesktop.login1";
constexpr const char* LoginPath = "/org/freedesktop/login1";
constexpr const char* LoginManager = "org.freedesktop.login1.Manager";
constexpr const char* SaverName = "org.freedesktop.ScreenSaver";
constexpr const char* SaverPath = "/org/freedesktop/ScreenSaver";
constexpr const char* MockInterface = "org.freedesktop.DBus.Mock";
// Debian's interpreter, which the python3-dbusmock package installs into.
constexpr const char* Python = "/usr/bin/python3";

template <class Ready>
bool WaitFor(Ready ready, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto end = Clock::now() + limit;
    while (!ready()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A child process that goes when the test does; its standard output to
// outFd, or nowhere.
pid_t Spawn(const std::vector<std::string>& args, int outFd = -1) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    int null = open("/dev/null", O_WRONLY);
    dup2(outFd >= 0 ? outFd : null, 1);
    dup2(null, 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

void Stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

bool Running(pid_t pid) { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; }

// A dbus-daemon of our own and the test's own connection to it.
struct Bus {
    pid_t Pid = -1;
    std::string Address;
    GDBusConnection* Connection = nullptr;

    std::string Start() {
        int fds[2];
        if (pipe(fds) != 0) return "pipe failed";
        Pid = Spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1",
                     "--address=unix:tmpdir=/tmp"},
                    fds[1]);
        close(fds[1]);
        pollfd p {fds[0], POLLIN, 0};
        char c;
        while (poll(&p, 1, 30000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') Address += c;
        close(fds[0]);
        if (Address.empty()) return "dbus-daemon did not start (is the dbus-daemon package installed?)";
        GError* error = nullptr;
        auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                       G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
        Connection = g_dbus_connection_new_for_address_sync(Address.c_str(), flags, nullptr, nullptr, &error);
        std::string why = error ? error->message : "";
        g_clear_error(&error);
        return Connection ? "" : "cannot connect to the private bus: " + why;
    }

    void Close() {
        if (Connection) {
            g_dbus_connection_close_sync(Connection, nullptr, nullptr);
            g_object_unref(Connection);
        }
        Connection = nullptr;
        ::Stop(Pid);
    }

    // The reply, or nullptr with the error in *why.
    GVariant* Call(const char* name, const char* path, const char* iface, const char* method, GVariant* args,
                   const char* replyType, std::string* why = nullptr) {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(Connection, name, path, iface, method, args,
                                                      replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                                      G_DBUS_CALL_FLAGS_NONE, 20000, nullptr, &error);
        if (error && why) *why = error->message;
        g_clear_error(&error);
        return reply;
    }

    bool HasOwner(const char* name) {
        GVariant* reply = Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "NameHasOwner", g_variant_new("(s)", name), "(b)");
        if (!reply) return false;
        gboolean owned = FALSE;
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
        return owned;
    }
};

// A python3-dbusmock process on a bus; empty when it came up.
std::string StartMock(Bus& bus, const char* busAddressVariable, std::vector<std::string> args, const char* name,
                      pid_t& pid) {
    setenv(busAddressVariable, bus.Address.c_str(), 1);
    args.insert(args.begin(), {Python, "-m", "dbusmock"});
    pid = Spawn(args);
    if (!WaitFor([&] { return bus.HasOwner(name) || !Running(pid); }) || !bus.HasOwner(name))
        return std::string("python3-dbusmock did not take ") + name + " (is the python3-dbusmock package installed?)";
    return "";
}

struct Peers {
    Bus System, Session;
    pid_t Logind = -1, Saver = -1;
    std::string Error;

    void Start() {
        Error = System.Start();
        if (Error.empty()) Error = Session.Start();
        // Our connections read these when they are first made.
        if (Error.empty()) Error = StartMock(System, "DBUS_SYSTEM_BUS_ADDRESS", {"--template", "logind"}, LoginName, Logind);
        if (Error.empty())
            Error = StartMock(Session, "DBUS_SESSION_BUS_ADDRESS", {SaverName, SaverPath, SaverName}, SaverName, Saver);
        if (!Error.empty()) return;
        // The screen saver hands out cookie 7.
        std::string why;
        for (auto [method, in, out, code] : {std::tuple {"Inhibit", "ss", "u", "ret = 7"}, {"UnInhibit", "u", "", ""}}) {
            GVariant* reply = Session.Call(SaverName, SaverPath, MockInterface, "AddMethod",
                                           g_variant_new("(sssss)", "", method, in, out, code), nullptr, &why);
            if (!reply) Error = "AddMethod failed: " + why;
            else g_variant_unref(reply);
        }
        xvfb::TheServer().Start(320, 240);
        if (Error.empty()) Error = xvfb::TheServer().Error;
    }

    void Stop() {
        xvfb::TheServer().Stop();
        ::Stop(Saver);
        ::Stop(Logind);
        Session.Close();
        System.Close();
    }
};

Peers& ThePeers() {
    static Peers peers;
    return peers;
}

class PeersEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ThePeers().Start(); }
    void TearDown() override { ThePeers().Stop(); }
};

const auto* const Env = ::testing::AddGlobalTestEnvironment(new PeersEnvironment);

// A method a mock logged: its name and arguments as text.
struct LoggedCall {
    std::string Method;
    std::string Args;
};

std::vector<LoggedCall> Calls(Bus& bus, const char* name, const char* path) {
    std::vector<LoggedCall> calls;
    GVariant* reply = bus.Call(name, path, MockInterface, "GetCalls", nullptr, "(a(tsav))");
    if (!reply) return calls;
    GVariantIter* iter = nullptr;
    g_variant_get(reply, "(a(tsav))", &iter);
    guint64 stamp = 0;
    const gchar* method = nullptr;
    GVariant* args = nullptr;
    while (g_variant_iter_loop(iter, "(t&s@av)", &stamp, &method, &args)) {
        gchar* text = g_variant_print(args, FALSE);
        calls.push_back({method, text});
        g_free(text);
    }
    g_variant_iter_free(iter);
    g_variant_unref(reply);
    return calls;
}

void ClearCalls(Bus& bus, const char* name, const char* path) {
    GVariant* reply = bus.Call(name, path, MockInterface, "ClearCalls", nullptr, nullptr);
    if (reply) g_variant_unref(reply);
}

int CountCalls(const std::vector<LoggedCall>& calls, const std::string& method) {
    int n = 0;
    for (const LoggedCall& c : calls) n += c.Method == method;
    return n;
}

// logind's inhibitors as "what who mode".
std::vector<std::string> Inhibitors(Bus& bus) {
    std::vector<std::string> list;
    GVariant* reply = bus.Call(LoginName, LoginPath, LoginManager, "ListInhibitors", nullptr, "(a(ssssuu))");
    if (!reply) return {"ListInhibitors failed"};
    GVariantIter* iter = nullptr;
    g_variant_get(reply, "(a(ssssuu))", &iter);
    const gchar *what = nullptr, *who = nullptr, *why = nullptr, *mode = nullptr;
    guint32 uid = 0, pid = 0;
    while (g_variant_iter_loop(iter, "(&s&s&s&suu)", &what, &who, &why, &mode, &uid, &pid))
        list.push_back(std::string(what) + " " + who + " " + mode);
    g_variant_iter_free(iter);
    g_variant_unref(reply);
    return list;
}

void EmitPrepareForSleep(bool starting) {
    GVariantBuilder args;
    g_variant_builder_init(&args, G_VARIANT_TYPE("av"));
    g_variant_builder_add(&args, "v", g_variant_new_boolean(starting));
    GVariant* reply = ThePeers().System.Call(LoginName, LoginPath, MockInterface, "EmitSignal",
                                             g_variant_new("(sssav)", LoginManager, "PrepareForSleep", "b", &args),
                                             nullptr);
    ASSERT_NE(reply, nullptr);
    g_variant_unref(reply);
}

class PowerRequestsLinux : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ThePeers().Error, ""); }
    Bus& System() { return ThePeers().System; }
    Bus& Session() { return ThePeers().Session; }
};

TEST_F(PowerRequestsLinux, SuspendAsksLogindOnceAndReportsARefusal) {
    ClearCalls(System(), LoginName, LoginPath);
    auto power = platform::CreateLinuxPowerRequests();
    EXPECT_TRUE(power->SuspendSystem());
    auto calls = Calls(System(), LoginName, LoginPath);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Method, "Suspend");
    EXPECT_EQ(calls[0].Args, "[<false>]");  // never interactive

    GVariant* reply = System().Call(
        LoginName, LoginPath, MockInterface, "AddMethod",
        g_variant_new("(sssss)", "", "Suspend", "b", "",
                      "raise dbus.exceptions.DBusException('denied', name='org.freedesktop.DBus.Error.AccessDenied')"),
        nullptr);
    ASSERT_NE(reply, nullptr);
    g_variant_unref(reply);
    EXPECT_FALSE(power->SuspendSystem());
}

TEST_F(PowerRequestsLinux, SleepInhibitorIsHeldUntilTurnedOffOrDestroyed) {
    auto power = platform::CreateLinuxPowerRequests();
    const std::vector<std::string> held {"sleep:idle 3D Marivelle block"};
    EXPECT_TRUE(power->SetExecutionState(false, true));
    EXPECT_EQ(Inhibitors(System()), held);
    // The same request again keeps the one inhibitor.
    EXPECT_TRUE(power->SetExecutionState(false, true));
    EXPECT_EQ(Inhibitors(System()), held);

    EXPECT_TRUE(power->SetExecutionState(false, false));
    EXPECT_TRUE(WaitFor([&] { return Inhibitors(System()).empty(); })) << "released when turned off";

    EXPECT_TRUE(power->SetExecutionState(false, true));
    EXPECT_EQ(Inhibitors(System()), held);
    power.reset();
    EXPECT_TRUE(WaitFor([&] { return Inhibitors(System()).empty(); })) << "released when destroyed";
}

TEST_F(PowerRequestsLinux, EachSleepAnnouncementIsTakenOnce) {
    auto power = platform::CreateLinuxPowerRequests();
    EXPECT_FALSE(power->TakeSleepNotice());
    // A round trip through the bus after the subscription: logind hears
    // from us only once the bus has our match rule.
    EXPECT_TRUE(power->SetExecutionState(false, true));

    EmitPrepareForSleep(false);  // a resume is no announcement
    EmitPrepareForSleep(true);
    EmitPrepareForSleep(true);
    int notices = 0;
    EXPECT_TRUE(WaitFor([&] {
        notices += power->TakeSleepNotice();
        return notices >= 2;
    }));
    // All three signals came in order, so nothing is left to arrive.
    EXPECT_EQ(notices, 2);
    EXPECT_FALSE(power->TakeSleepNotice());
}

TEST_F(PowerRequestsLinux, PollingWithNothingAnnouncedNeitherAllocatesNorBlocks) {
#ifdef MARIVELLE_NO_MALLOC_COUNT
    GTEST_SKIP() << "the sanitizer's allocator is not counted";
#else
    auto power = platform::CreateLinuxPowerRequests();
    EXPECT_TRUE(power->SetExecutionState(false, true));  // connected and subscribed
    EXPECT_FALSE(power->TakeSleepNotice());
    const unsigned long before = ThreadAllocations;
    const auto start = Clock::now();
    for (int pass = 0; pass < 1000; ++pass) EXPECT_FALSE(power->TakeSleepNotice());
    EXPECT_EQ(ThreadAllocations - before, 0u);
    // A thousand polls that waited on anything would take seconds.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
#endif
}

TEST_F(PowerRequestsLinux, SessionScreenSaverIsInhibitedWhileTheDisplayIsNeeded) {
    ClearCalls(Session(), SaverName, SaverPath);
    auto power = platform::CreateLinuxPowerRequests();
    EXPECT_TRUE(power->SetExecutionState(true, false));
    EXPECT_TRUE(power->SetExecutionState(true, false));
    auto calls = Calls(Session(), SaverName, SaverPath);
    ASSERT_EQ(calls.size(), 1u) << "inhibited once";
    EXPECT_EQ(calls[0].Method, "Inhibit");
    EXPECT_EQ(calls[0].Args.rfind("[<'3D Marivelle'>, <'", 0), 0u) << calls[0].Args;

    EXPECT_TRUE(power->SetExecutionState(false, false));
    EXPECT_TRUE(WaitFor([&] { return CountCalls(Calls(Session(), SaverName, SaverPath), "UnInhibit") == 1; }));
    EXPECT_EQ(Calls(Session(), SaverName, SaverPath).back().Args, "[<uint32 7>]");

    EXPECT_TRUE(power->SetExecutionState(true, true));
    power.reset();
    EXPECT_TRUE(WaitFor([&] { return CountCalls(Calls(Session(), SaverName, SaverPath), "UnInhibit") == 2; }))
        << "uninhibited when destroyed";
}

// The server's saver, set to start after one idle second, stays off while
// the display is needed and starts once it no longer is.
TEST_F(PowerRequestsLinux, ServerSaverIsSuspendedWhileTheDisplayIsNeeded) {
    Display* dpy = xvfb::TheServer().Dpy;
    int eventBase = 0, errorBase = 0;
    ASSERT_TRUE(XScreenSaverQueryExtension(dpy, &eventBase, &errorBase));
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    auto state = [&] {
        XScreenSaverQueryInfo(dpy, DefaultRootWindow(dpy), info);
        return info->state;
    };

    auto power = platform::CreateLinuxPowerRequests();
    EXPECT_TRUE(power->SetExecutionState(true, false));
    XSetScreenSaver(dpy, 1, 0, DontPreferBlanking, AllowExposures);
    XForceScreenSaver(dpy, ScreenSaverReset);
    XSync(dpy, False);
    // Three times the timeout, watched throughout.
    const auto end = Clock::now() + std::chrono::seconds(3);
    bool stayedOff = true;
    while (Clock::now() < end && stayedOff) {
        stayedOff = state() != ScreenSaverOn;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(stayedOff);

    EXPECT_TRUE(power->SetExecutionState(false, false));
    EXPECT_TRUE(WaitFor([&] { return state() == ScreenSaverOn; })) << "the saver starts once released";

    EXPECT_TRUE(power->SetExecutionState(true, false));
    XForceScreenSaver(dpy, ScreenSaverReset);
    power.reset();
    EXPECT_TRUE(WaitFor([&] { return state() == ScreenSaverOn; })) << "released when destroyed";

    XFree(info);
    XSetScreenSaver(dpy, -1, -1, DefaultBlanking, DefaultExposures);
    XForceScreenSaver(dpy, ScreenSaverReset);
    XSync(dpy, False);
}

// Off through DPMS where the server can; Xvfb builds without DPMS get a
// plain false.
TEST_F(PowerRequestsLinux, MonitorOffUsesDpmsWhenTheServerIsCapable) {
    Display* dpy = xvfb::TheServer().Dpy;
    int eventBase = 0, errorBase = 0;
    bool capable = DPMSQueryExtension(dpy, &eventBase, &errorBase) && DPMSCapable(dpy);
    auto power = platform::CreateLinuxPowerRequests();
    EXPECT_EQ(power->MonitorOff(), capable);
    if (capable) {
        CARD16 level = 0;
        BOOL enabled = False;
        DPMSInfo(dpy, &level, &enabled);
        EXPECT_EQ(level, DPMSModeOff);
        DPMSForceLevel(dpy, DPMSModeOn);
        XSync(dpy, False);
    }
}

// Without buses and X every call says no, at once, and nothing breaks; a
// bus without logind is no different.
TEST_F(PowerRequestsLinux, MissingPeersMakeEveryCallFalseQuickly) {
    const std::string display = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    const char* nowhere = "unix:path=/nonexistent/marivelle-bus";
    unsetenv("DISPLAY");
    setenv("DBUS_SYSTEM_BUS_ADDRESS", nowhere, 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", nowhere, 1);
    const auto start = Clock::now();
    {
        auto power = platform::CreateLinuxPowerRequests();
        for (int pass = 0; pass < 2; ++pass) {
            EXPECT_FALSE(power->SetExecutionState(true, true));
            EXPECT_FALSE(power->SetExecutionState(true, false));
            EXPECT_FALSE(power->SetExecutionState(false, true));
            EXPECT_FALSE(power->SuspendSystem());
            EXPECT_FALSE(power->MonitorOff());
            EXPECT_FALSE(power->TakeSleepNotice());
        }
    }
    // The session bus as the system bus: a bus, but no logind on it.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", Session().Address.c_str(), 1);
    {
        auto power = platform::CreateLinuxPowerRequests();
        EXPECT_FALSE(power->SuspendSystem());
        EXPECT_FALSE(power->SetExecutionState(false, true));
        EXPECT_FALSE(power->TakeSleepNotice());
    }
    // Far below a single D-Bus default timeout (25 s).
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    setenv("DISPLAY", display.c_str(), 1);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", System().Address.c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", Session().Address.c_str(), 1);
}

// Where no session bus is announced, none is launched for us: GLib would
// start dbus-launch, and its daemon would outlive the saver.
TEST_F(PowerRequestsLinux, NoSessionBusIsLaunchedWhereNoneIsAnnounced) {
    const std::string address = getenv("DBUS_SESSION_BUS_ADDRESS"), path = getenv("PATH") ? getenv("PATH") : "";
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntime = runtime ? runtime : "";
    char folder[] = "/tmp/marivelle-nobus-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string launcher = std::string(folder) + "/dbus-launch", marker = std::string(folder) + "/launched";
    {
        FILE* script = fopen(launcher.c_str(), "w");
        ASSERT_NE(script, nullptr);
        fprintf(script, "#!/bin/sh\ntouch '%s'\nexit 1\n", marker.c_str());
        ASSERT_EQ(fclose(script), 0);
        ASSERT_EQ(chmod(launcher.c_str(), 0755), 0);
    }
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    setenv("XDG_RUNTIME_DIR", folder, 1);  // no bus socket in it
    setenv("PATH", (std::string(folder) + ":" + path).c_str(), 1);
    {
        auto power = platform::CreateLinuxPowerRequests();
        power->SetExecutionState(true, true);
    }
    EXPECT_NE(access(marker.c_str(), F_OK), 0) << "a session bus was launched";
    setenv("PATH", path.c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    if (runtime) setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
    unlink(marker.c_str());
    unlink(launcher.c_str());
    rmdir(folder);
}

}  // namespace
