// Where users meet the saver: the XScreenSaver daemon running the built
// program as its hack, a settings dialog's window hosting the preview, and
// the full-screen saver ended by the keyboard and the mouse. Each runs the
// program on a private Xvfb server, drives it with the real clients
// (xscreensaver, xscreensaver-command, xdotool) and reads the screen back.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Last: the X headers define macros that clash with the ones above.
#include "program_runner.h"

#include <X11/extensions/Xfixes.h>
#include <X11/Xutil.h>
#include <pwd.h>
#include <sys/prctl.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using program_runner::ReadAll;
using program_runner::StillRunning;

// -ac: the daemon runs as a user of its own, who holds no key to the server.
const auto* const environment = ::testing::AddGlobalTestEnvironment(new xvfb::Environment(1280, 720, {"-ac"}));
constexpr int ScreenWidth = 1280, ScreenHeight = 720;

Display* Dpy() { return xvfb::TheServer().Dpy; }
::Window Root() { return DefaultRootWindow(Dpy()); }

// Windows of other clients come and go under the tests' feet.
int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// ---------------------------------------------------------------- processes

std::vector<std::string> ToolEnvironment() {
    const char* path = std::getenv("PATH");
    return {"DISPLAY=" + xvfb::TheServer().Name, "PATH=" + std::string(path ? path : "/usr/bin:/bin")};
}

// Runs a client to its end: its exit code, -1 when it failed or hung.
int RunTool(const std::vector<std::string>& argv, const std::vector<std::string>& env, const fs::path& dir) {
    const pid_t pid = program_runner::Start(argv, env, dir, dir / "tool.out", dir / "tool.err");
    if (pid < 0) return -1;
    const int code = program_runner::WaitForExit(pid, 30s);
    if (code != StillRunning) return code;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

int Xdotool(const std::vector<std::string>& args, const fs::path& dir) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunTool(argv, ToolEnvironment(), dir);
}

// The program running in `dir` with the tests' display, killed when the
// test ends before it does.
struct TProgram {
    pid_t Pid = -1;
    fs::path Dir;
    TProgram(const std::vector<std::string>& args, const fs::path& dir) : Dir(dir) {
        std::vector<std::string> argv = {MARIVELLE_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        Pid = program_runner::Start(argv, program_runner::ProgramEnvironment(dir), dir, dir / "stdout.txt",
                                    dir / "stderr.txt");
    }
    ~TProgram() {
        if (Pid > 0 && program_runner::WaitForExit(Pid, 0ms) == StillRunning) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
        }
    }
    bool Running() { return Pid > 0 && program_runner::WaitForExit(Pid, 0ms) == StillRunning; }
    // Its exit code once it ends within `limit` (-1: by a signal; StillRunning).
    int Exit(std::chrono::milliseconds limit = 10s) {
        const int code = program_runner::WaitForExit(Pid, limit);
        if (code != StillRunning) Pid = -1;
        return code;
    }
    std::string Err() const { return ReadAll(Dir / "stderr.txt"); }
};

// Processes running the program file `exe`.
std::vector<pid_t> ProcessesOf(const fs::path& exe) {
    std::vector<pid_t> pids;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        if (fs::read_symlink(entry.path() / "exe", ec) == exe) pids.push_back(std::stoi(name));
    }
    return pids;
}

bool HasEnvironment(pid_t pid, const std::string& variable) {
    const std::string env = ReadAll("/proc/" + std::to_string(pid) + "/environ");
    return env.starts_with(variable + "=") || env.find('\0' + variable + "=") != std::string::npos;
}

// ---------------------------------------------------------------- the screen

struct TShot {
    int Width = 0, Height = 0;
    std::vector<std::array<int, 3>> Pixels;  // red, green, blue; rows top-down

    // Mean colour of the rows from `top` to `bottom` (fractions of the height).
    std::array<double, 3> Mean(double top, double bottom) const {
        std::array<double, 3> sum{};
        long n = 0;
        for (int y = static_cast<int>(top * Height); y < static_cast<int>(bottom * Height); ++y)
            for (int x = 0; x < Width; ++x, ++n)
                for (int c = 0; c < 3; ++c) sum[c] += Pixels[static_cast<size_t>(y * Width + x)][c];
        for (double& s : sum) s = n ? s / static_cast<double>(n) : 0;
        return sum;
    }
    long Differences(const TShot& o) const {
        if (o.Pixels.size() != Pixels.size()) return static_cast<long>(Pixels.size());
        long n = 0;
        for (size_t i = 0; i < Pixels.size(); ++i) n += Pixels[i] != o.Pixels[i];
        return n;
    }
};

// The window's picture (with its children's), or a part of it.
TShot Grab(::Window w, int left = 0, int top = 0, int width = 0, int height = 0) {
    TShot shot;
    XWindowAttributes a{};
    if (!XGetWindowAttributes(Dpy(), w, &a)) return shot;
    if (width <= 0) width = a.width;
    if (height <= 0) height = a.height;
    XImage* image = XGetImage(Dpy(), w, left, top, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (!image) return shot;
    auto channel = [](unsigned long pixel, unsigned long mask) {
        if (!mask) return 0;
        while (!(mask & 1)) {
            mask >>= 1;
            pixel >>= 1;
        }
        return static_cast<int>((pixel & mask) * 255 / mask);
    };
    shot.Width = width;
    shot.Height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            shot.Pixels.push_back({channel(p, image->red_mask), channel(p, image->green_mask),
                                   channel(p, image->blue_mask)});
        }
    XDestroyImage(image);
    return shot;
}

// "" when the window shows the aquarium: bright blue water at the top and
// the warmer sea bed at the bottom; else what it shows.
std::string AquariumProblem(::Window w) {
    const TShot shot = Grab(w);
    if (shot.Pixels.empty()) return "the window cannot be read";
    const auto top = shot.Mean(0, 0.1), bed = shot.Mean(0.85, 1);
    const double topLight = 0.25 * top[0] + 0.625 * top[1] + 0.125 * top[2];
    const bool ok = topLight > 80 && top[2] > top[0] + 30 && bed[0] - bed[2] > top[0] - top[2] + 50;
    return ok ? "" : "top " + std::to_string(int(top[0])) + "," + std::to_string(int(top[1])) + "," +
                         std::to_string(int(top[2])) + ", bottom " + std::to_string(int(bed[0])) + "," +
                         std::to_string(int(bed[1])) + "," + std::to_string(int(bed[2]));
}

std::string WaitForAquarium(::Window w) {
    std::string problem;
    // A program under the sanitizers on a busy machine takes its time.
    WaitUntil([&] { return (problem = AquariumProblem(w)).empty(); }, 90s);
    return problem;
}

// True once the middle of the window has changed `frames` times: the
// program went on drawing (and so took the input sent before).
bool FramesPass(::Window w, int frames = 2) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(Dpy(), w, &a)) return false;
    const auto middle = [&] { return Grab(w, a.width / 4, a.height / 4, a.width / 2, a.height / 2); };
    TShot last = middle();
    for (int i = 0; i < frames; ++i) {
        TShot next;
        if (!WaitUntil([&] { return (next = middle()).Differences(last) > 50; }, 15s)) return false;
        last = std::move(next);
    }
    return true;
}

XWindowAttributes Attributes(::Window w) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(Dpy(), w, &a)) a.map_state = IsUnmapped;
    return a;
}

std::vector<::Window> Children(::Window w) {
    ::Window root = 0, parent = 0, *list = nullptr;
    unsigned n = 0;
    std::vector<::Window> out;
    if (XQueryTree(Dpy(), w, &root, &parent, &list, &n)) out.assign(list, list + n);
    if (list) XFree(list);
    return out;
}

bool Inside(::Window w, ::Window ancestor) {
    for (int depth = 0; w && depth < 32; ++depth) {
        if (w == ancestor) return true;
        ::Window root = 0, parent = 0, *list = nullptr;
        unsigned n = 0;
        if (!XQueryTree(Dpy(), w, &root, &parent, &list, &n)) return false;
        if (list) XFree(list);
        w = parent;
    }
    return false;
}

// The shown, borderless top-level window that covers the screen, or 0.
::Window FullScreenWindow() {
    for (::Window w : Children(Root())) {
        const XWindowAttributes a = Attributes(w);
        if (a.map_state == IsViewable && a.x == 0 && a.y == 0 && a.width == ScreenWidth &&
            a.height == ScreenHeight && a.border_width == 0)
            return w;
    }
    return 0;
}

bool HasFocus(::Window w) {
    ::Window focus = 0;
    int revert = 0;
    XGetInputFocus(Dpy(), &focus, &revert);
    return focus != PointerRoot && Inside(focus, w);
}

// Every pixel of the pointer's current cursor is transparent.
bool CursorHidden() {
    int event = 0, error = 0;
    if (!XFixesQueryExtension(Dpy(), &event, &error)) return false;
    XFixesCursorImage* cursor = XFixesGetCursorImage(Dpy());
    if (!cursor) return false;
    bool clear = true;
    for (size_t i = 0; i < size_t(cursor->width) * cursor->height; ++i) clear = clear && (cursor->pixels[i] >> 24) == 0;
    XFree(cursor);
    return clear;
}

// ---------------------------------------------------------------- the daemon

// XScreenSaver runs no hack as root: the daemon and its commands run as
// "nobody" when the tests run as root.
std::vector<std::string> AsDaemonUser(std::vector<std::string> argv) {
    if (getuid() == 0) argv.insert(argv.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    return argv;
}

// A folder the daemon's user can enter, with its home and a copy of the
// program on its PATH (the build folder may sit where only root may go);
// the daemon, its hack and the folder go when the test ends.
struct TDaemonSetup {
    fs::path Dir, Home, Hack;
    std::vector<std::string> Sanitizers;
    pid_t Daemon = -1;

    TDaemonSetup() {
        char name[] = "/tmp/marivelle-xscreensaver-XXXXXX";
        if (!mkdtemp(name)) return;
        Dir = name;
        Home = Dir / "home";
        Hack = Dir / "bin" / "marivelle";
        fs::create_directories(Home);
        fs::create_directories(Hack.parent_path());
        fs::copy_file(MARIVELLE_EXE, Hack);
        for (const fs::path& p : {Dir, Home, Hack.parent_path(), Hack}) chmod(p.c_str(), 0755);
        std::ofstream(Home / ".xscreensaver") << "mode: one\nselected: 0\nlock: False\nsplash: False\n"
                                                 "fade: False\nunfade: False\ndpmsEnabled: False\n"
                                                 "timeout: 0:30:00\ncycle: 0\n"
                                                 "programs: marivelle --root \\n\n";
        // Sanitizer builds: the hack keeps the tests' options, with the
        // suppressions where the daemon's user can read them.
        for (const std::string variable : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
            const char* value = std::getenv(variable.c_str());
            if (!value) continue;
            std::string options = value;
            if (const size_t at = options.find("suppressions="); at != std::string::npos) {
                const size_t from = at + 13, to = std::min(options.find(':', from), options.size());
                const fs::path copy = Dir / (variable + ".supp");
                fs::copy_file(options.substr(from, to - from), copy, fs::copy_options::overwrite_existing);
                chmod(copy.c_str(), 0644);
                options.replace(from, to - from, copy.string());
            }
            Sanitizers.push_back(variable + "=" + options);
        }
        if (const passwd* nobody = getpwnam("nobody"); nobody && getuid() == 0)
            for (const fs::path& p : {Home, Home / ".xscreensaver"})
                if (chown(p.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) Dir.clear();
    }

    ~TDaemonSetup() {
        if (Daemon > 0) {
            kill(Daemon, SIGTERM);
            if (program_runner::WaitForExit(Daemon, 10s) == StillRunning) {
                kill(Daemon, SIGKILL);
                waitpid(Daemon, nullptr, 0);
            }
        }
        for (pid_t pid : ProcessesOf(Hack)) kill(pid, SIGKILL);
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        if (!Dir.empty()) fs::remove_all(Dir);
    }

    std::vector<std::string> Environment() const {
        std::vector<std::string> env = {"DISPLAY=" + xvfb::TheServer().Name, "HOME=" + Home.string(),
                                        "PATH=" + Hack.parent_path().string() + ":/usr/bin:/bin"};
        env.insert(env.end(), Sanitizers.begin(), Sanitizers.end());
        return env;
    }
    void Start() {
        Daemon = program_runner::Start(AsDaemonUser({"xscreensaver", "--no-splash", "--verbose"}), Environment(), Dir,
                                       Dir / "daemon.log", Dir / "daemon.log");
    }
    int Command(const std::string& what) {
        return RunTool(AsDaemonUser({"xscreensaver-command", what}), Environment(), Dir);
    }
    std::string Log() const { return ReadAll(Dir / "daemon.log"); }
};

// How a process that need not be our child ended: gone, and its exit code
// when it became ours to collect (-1: a signal ended it).
struct TEnding {
    bool Gone = false;
    std::optional<int> Code;
};

TEnding WaitForEnd(pid_t pid, std::chrono::milliseconds limit) {
    TEnding end;
    WaitUntil(
        [&] {
            int status = 0;
            const pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == pid) {
                end.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return end.Gone = true;
            }
            // Another's child: gone once its parent has collected it.
            return end.Gone = r < 0 && errno == ECHILD && !fs::exists("/proc/" + std::to_string(pid));
        },
        limit);
    return end;
}

// ---------------------------------------------------------------- the tests

TEST(SaverClientsTest, TheXScreenSaverDaemonRunsTheAquariumOnTheScreenAndEndsIt) {
    ASSERT_EQ(xvfb::TheServer().Error, "");
    XSetErrorHandler(IgnoreXErrors);
    // The hack is the daemon's grandchild; when its parent leaves first it
    // becomes ours, and so does its exit status.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    TDaemonSetup daemon;
    ASSERT_FALSE(daemon.Dir.empty()) << "no scratch folder for the daemon's user";
    daemon.Start();
    ASSERT_GT(daemon.Daemon, 0);
    ASSERT_TRUE(WaitUntil([&] { return daemon.Command("-activate") == 0; })) << daemon.Log();

    pid_t hack = 0;
    ASSERT_TRUE(WaitUntil([&] {
        for (pid_t pid : ProcessesOf(daemon.Hack))
            if (HasEnvironment(pid, "XSCREENSAVER_WINDOW")) hack = pid;
        return hack != 0;
    })) << "the daemon started no hack:\n"
        << daemon.Log();
    ASSERT_EQ(WaitForAquarium(Root()), "") << daemon.Log();
    const TShot first = Grab(Root());
    EXPECT_TRUE(WaitUntil([&] { return Grab(Root()).Differences(first) > 1000; }, 10s)) << "the aquarium stands still";

    const auto asked = std::chrono::steady_clock::now();
    ASSERT_EQ(daemon.Command("-deactivate"), 0) << daemon.Log();
    const TEnding end = WaitForEnd(hack, 15s);
    EXPECT_TRUE(end.Gone) << "the hack outlived the daemon's signal:\n" << daemon.Log();
    std::printf("the hack was gone %lld ms after the deactivation\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - asked)
                                           .count()));
    if (end.Code)
        EXPECT_EQ(*end.Code, 0) << "the hack's exit on the daemon's signal";
    else
        std::printf("the daemon collected the hack itself: its exit status could not be seen\n");
    EXPECT_TRUE(WaitUntil([&] { return ProcessesOf(daemon.Hack).empty(); }, 10s)) << "a stray process remains";
}

TEST(SaverClientsTest, APreviewFillsItsParentWindowFollowsItsSizeAndEndsWithIt) {
    ASSERT_EQ(xvfb::TheServer().Error, "");
    XSetErrorHandler(IgnoreXErrors);
    for (const bool windowsStyle : {false, true}) {
        SCOPED_TRACE(windowsStyle ? "/p ID" : "--window-id ID");
        const ::Window parent = XCreateSimpleWindow(Dpy(), Root(), 10, 10, 320, 240, 0, 0, 0);
        XMapWindow(Dpy(), parent);
        XSync(Dpy(), False);
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%lx", parent);
        const fs::path dir = ScratchDir(windowsStyle ? "saver-preview-p" : "saver-preview-window-id");
        TProgram program(windowsStyle ? std::vector<std::string>{"/p", std::to_string(parent)}
                                      : std::vector<std::string>{"--window-id", hex},
                         dir);

        ASSERT_EQ(WaitForAquarium(parent), "") << program.Err();
        ASSERT_EQ(Children(parent).size(), 1u);
        const ::Window child = Children(parent)[0];
        EXPECT_EQ(Attributes(child).width, 320);
        EXPECT_EQ(Attributes(child).height, 240);
        EXPECT_TRUE(FramesPass(parent)) << "the preview stands still";

        XResizeWindow(Dpy(), parent, 480, 300);
        XSync(Dpy(), False);
        EXPECT_TRUE(WaitUntil([&] { return Attributes(child).width == 480 && Attributes(child).height == 300; }))
            << "the preview keeps " << Attributes(child).width << "x" << Attributes(child).height;
        EXPECT_EQ(WaitForAquarium(parent), "") << "the preview does not fill its grown parent";

        XDestroyWindow(Dpy(), parent);
        XSync(Dpy(), False);
        EXPECT_EQ(program.Exit(), 0) << program.Err();
        EXPECT_EQ(program.Err(), "") << "a preview ends quietly with its parent";
    }
    const program_runner::RunResult bogus =
        program_runner::RunProgram({"--window-id", "0x7fffffff"}, ScratchDir("saver-preview-bogus"), 30s);
    EXPECT_EQ(bogus.ExitCode, 2);
    EXPECT_NE(bogus.Err.find("0x7fffffff"), std::string::npos) << bogus.Err;
}

// The host's own stored values carry bitwise-complemented names; the
// settings file writes their bytes as \xHH.
void StoreMouseMoveExit(const fs::path& dir) {
    std::string name;
    for (unsigned char c : std::string("MouseMoveExit")) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(~c));
        name += hex;
    }
    fs::create_directories(dir / "config" / "Tarnwick Software");
    std::ofstream(dir / "config" / "Tarnwick Software" / "3D Marivelle 4.conf") << name << "=1\n";
}

TEST(SaverClientsTest, TheFullScreenSaverEndsOnAKeyAndOnlyOnALargeMoveWhenAsked) {
    ASSERT_EQ(xvfb::TheServer().Error, "");
    XSetErrorHandler(IgnoreXErrors);
    ASSERT_FALSE(CursorHidden()) << "the server's own cursor must be seen to tell it from ours";
    const fs::path dir = ScratchDir("saver-role");
    ::Window saver = 0;
    auto start = [&](TProgram& program) {
        ASSERT_TRUE(WaitUntil([&] { return (saver = FullScreenWindow()) != 0; })) << program.Err();
        EXPECT_TRUE(WaitUntil([&] { return HasFocus(saver); })) << "the saver has no keyboard focus";
        EXPECT_TRUE(WaitUntil(CursorHidden)) << "the cursor shows over the saver";
        ASSERT_EQ(WaitForAquarium(saver), "") << program.Err();
    };
    {
        TProgram program({"-s"}, dir);
        start(program);
        if (HasFatalFailure()) return;
        ASSERT_EQ(Xdotool({"key", "shift"}, dir), 0);
        ASSERT_EQ(Xdotool({"mousemove_relative", "--", "200", "150"}, dir), 0);
        ASSERT_TRUE(FramesPass(saver));
        EXPECT_TRUE(program.Running()) << "Shift or a move ended the saver";
        ASSERT_EQ(Xdotool({"key", "a"}, dir), 0);
        EXPECT_EQ(program.Exit(), 0) << program.Err();
        EXPECT_TRUE(WaitUntil([] { return FullScreenWindow() == 0; }, 10s));
    }
    {
        StoreMouseMoveExit(dir);
        TProgram program({"-s"}, dir);
        start(program);
        if (HasFatalFailure()) return;
        auto move = [&](int dx, int dy) {
            EXPECT_EQ(Xdotool({"mousemove_relative", "--", std::to_string(dx), std::to_string(dy)}, dir), 0);
            EXPECT_TRUE(FramesPass(saver));
        };
        // The first moves are ignored, however large; the next sets the
        // reference point R. Moves within 2 px of R, and far in x alone, do
        // not end the saver; 3 px in x and in y from R does.
        for (int i = 0; i < 5; ++i) move(40, 30);
        EXPECT_TRUE(program.Running()) << "the first moves ended the saver";
        for (int i = 0; i < 3; ++i) {
            move(2, 2);  // R
            move(-2, -2);
        }
        move(60, 0);  // R + (58, -2)
        EXPECT_TRUE(program.Running()) << "a small move or one in x alone ended the saver";
        ASSERT_EQ(Xdotool({"mousemove_relative", "--", "-55", "5"}, dir), 0);  // R + (3, 3)
        EXPECT_EQ(program.Exit(), 0) << "the move did not end the saver: " << program.Err();
    }
}

}  // namespace
