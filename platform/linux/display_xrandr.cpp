// Display modes and monitors through XRandR. Modes are those of the primary
// output; a switch sets that output's CRTC to another mode and keeps the
// screen (and so every other monitor) as it is.
//
// X keeps a mode after the client that set it is gone, so a switch must be
// undone however this process ends. RestoreMode and the destructor (which
// runs at exit for the process-wide instance) do it on the ordinary paths;
// for every other death, down to SIGKILL, a guardian started at the first
// switch holds one end of a socket pair. It restores the saved configuration
// when the socket closes without a word from us, which is exactly when this
// process has died.
//
// The guardian is this program started afresh in a hidden mode, not a fork:
// a fork of a process with threads (the sound feeder) may only make
// async-signal-safe calls, and the guardian needs Xlib and the heap.
#include "platform/linux/display_xrandr.h"

#include "platform/linux/x11_error_trap.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace platform {
namespace {

// What the primary output showed before our first switch.
struct SavedConfig {
    RRCrtc Crtc = 0;
    RRMode Mode = 0;
    int X = 0;
    int Y = 0;
    Rotation Rotate = RR_Rotate_0;
    std::vector<RROutput> Outputs;
    int ScreenWidth = 0, ScreenHeight = 0, ScreenMMWidth = 0, ScreenMMHeight = 0;
    bool ScreenResized = false;
};

int RefreshRate(const XRRModeInfo& m) {
    if (!m.hTotal || !m.vTotal) return 0;
    double rate = static_cast<double>(m.dotClock) / (static_cast<double>(m.hTotal) * m.vTotal);
    if (m.modeFlags & RR_Interlace) rate *= 2;
    if (m.modeFlags & RR_DoubleScan) rate /= 2;
    return static_cast<int>(std::lround(rate));
}

bool Sideways(Rotation r) { return (r & (RR_Rotate_90 | RR_Rotate_270)) != 0; }

// Puts the saved configuration back; used by the program and its guardian.
bool ApplySaved(Display* dpy, const SavedConfig& s) {
    x11::ErrorTrap trap(dpy);
    Window root = DefaultRootWindow(dpy);
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, root);
    if (!res) return false;
    Status status = XRRSetCrtcConfig(dpy, res, s.Crtc, CurrentTime, s.X, s.Y, s.Mode, s.Rotate,
                                     const_cast<RROutput*>(s.Outputs.data()), static_cast<int>(s.Outputs.size()));
    XRRFreeScreenResources(res);
    if (s.ScreenResized) XRRSetScreenSize(dpy, root, s.ScreenWidth, s.ScreenHeight, s.ScreenMMWidth, s.ScreenMMHeight);
    return status == RRSetConfigSuccess && trap.Ok();
}

// The guardian's words on the socket: it is connected and watching; the
// program restored the mode itself and the guardian may leave.
constexpr char GuardianReady = 'R';
constexpr char GuardianDone = 'D';

// How long a starting guardian may take to connect before the switch is
// given up: a fresh process, loaded from disk on a busy machine.
constexpr int GuardianStartMilliseconds = 15000;

std::string& GuardianProgram() {
    static std::string program = "/proc/self/exe";
    return program;
}

// The guardian's command line after DisplayGuardianArgument: the socket's
// descriptor, the display, then the saved configuration.
std::vector<std::string> GuardianArguments(int fd, const std::string& displayName, const SavedConfig& s) {
    std::vector<std::string> args{std::to_string(fd), displayName, std::to_string(s.Crtc), std::to_string(s.Mode),
                                  std::to_string(s.X), std::to_string(s.Y), std::to_string(s.Rotate),
                                  std::to_string(s.ScreenWidth), std::to_string(s.ScreenHeight),
                                  std::to_string(s.ScreenMMWidth), std::to_string(s.ScreenMMHeight)};
    for (RROutput output : s.Outputs) args.push_back(std::to_string(output));
    return args;
}

template <class T>
bool ParseNumber(const char* text, T& value) {
    std::string_view v(text);
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    return ec == std::errc() && end == v.data() + v.size();
}

bool ParseGuardianArguments(int count, char** args, int& fd, std::string& displayName, SavedConfig& s) {
    if (count < 12) return false;
    unsigned rotation = 0;
    displayName = args[1];
    bool ok = ParseNumber(args[0], fd) && ParseNumber(args[2], s.Crtc) && ParseNumber(args[3], s.Mode) &&
              ParseNumber(args[4], s.X) && ParseNumber(args[5], s.Y) && ParseNumber(args[6], rotation) &&
              ParseNumber(args[7], s.ScreenWidth) && ParseNumber(args[8], s.ScreenHeight) &&
              ParseNumber(args[9], s.ScreenMMWidth) && ParseNumber(args[10], s.ScreenMMHeight);
    s.Rotate = static_cast<Rotation>(rotation);
    for (int i = 11; ok && i < count; ++i) {
        RROutput output = 0;
        ok = ParseNumber(args[i], output);
        s.Outputs.push_back(output);
    }
    return ok && fd >= 0;
}

// Puts the screen back to its saved size when a switch had to grow it; the
// guardian learns of that only from the screen itself.
void RestoreScreenSize(Display* dpy, const SavedConfig& s) {
    x11::ErrorTrap trap(dpy);
    Window root = DefaultRootWindow(dpy), parent;
    int x, y;
    unsigned width = 0, height = 0, border, depth;
    if (!XGetGeometry(dpy, root, &parent, &x, &y, &width, &height, &border, &depth)) return;
    if (static_cast<int>(width) != s.ScreenWidth || static_cast<int>(height) != s.ScreenHeight)
        XRRSetScreenSize(dpy, root, s.ScreenWidth, s.ScreenHeight, s.ScreenMMWidth, s.ScreenMMHeight);
    XSync(dpy, False);
}

class XRandRDisplaySettings final : public IDisplaySettings {
public:
    explicit XRandRDisplaySettings(const char* displayName) : Name(displayName ? displayName : "") {}

    ~XRandRDisplaySettings() override {
        RestoreMode();
        if (Dpy) XCloseDisplay(Dpy);
    }

    bool EnumMode(int index, DisplayMode& mode) override {
        if (index == 0) LoadModes();
        if (index < 0 || static_cast<size_t>(index) >= Modes.size()) return false;
        mode = Modes[static_cast<size_t>(index)].Mode;
        return true;
    }

    bool TestMode(const DisplayMode& mode) override {
        if (!Connect() || mode.BitsPerPixel != DesktopBits) return false;
        if (Modes.empty()) LoadModes();
        const Entry* e = Find(mode);
        if (!e) return false;
        int minW, minH, maxW, maxH;
        if (!XRRGetScreenSizeRange(Dpy, DefaultRootWindow(Dpy), &minW, &minH, &maxW, &maxH)) return false;
        int w = e->Mode.Width, h = e->Mode.Height;
        if (Sideways(CrtcRotation)) std::swap(w, h);
        return w <= maxW && h <= maxH;
    }

    DisplayMode CurrentMode() override {
        DisplayMode m;
        if (!Connect()) return m;
        m.Width = DisplayWidth(Dpy, DefaultScreen(Dpy));
        m.Height = DisplayHeight(Dpy, DefaultScreen(Dpy));
        m.BitsPerPixel = DesktopBits;
        if (HasRandR) {
            // Outputs and CRTCs come and go with hot-plugging; a vanished one
            // is an error reply, not the end of the program.
            x11::ErrorTrap trap(Dpy);
            XRRScreenResources* res = XRRGetScreenResourcesCurrent(Dpy, DefaultRootWindow(Dpy));
            RRCrtc crtc = res ? PrimaryCrtc(res) : 0;
            if (crtc) {
                if (XRRCrtcInfo* info = XRRGetCrtcInfo(Dpy, res, crtc)) {
                    if (info->mode) {
                        m.Width = static_cast<int32_t>(info->width);
                        m.Height = static_cast<int32_t>(info->height);
                    }
                    XRRFreeCrtcInfo(info);
                }
            }
            if (res) XRRFreeScreenResources(res);
        }
        return m;
    }

    bool ChangeMode(const DisplayMode& mode) override {
        if (!Connect() || !HasRandR || mode.BitsPerPixel != DesktopBits) return false;
        if (Modes.empty()) LoadModes();
        const Entry* e = Find(mode);
        if (!e) return false;
        x11::ErrorTrap outer(Dpy);
        Window root = DefaultRootWindow(Dpy);
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(Dpy, root);
        if (!res) return false;
        RRCrtc crtc = PrimaryCrtc(res);
        XRRCrtcInfo* info = crtc ? XRRGetCrtcInfo(Dpy, res, crtc) : nullptr;
        if (!info || !info->mode) {
            if (info) XRRFreeCrtcInfo(info);
            XRRFreeScreenResources(res);
            return false;
        }
        bool first = !Changed;
        if (first) {
            Saved = SavedConfig{};
            Saved.Crtc = crtc;
            Saved.Mode = info->mode;
            Saved.X = info->x;
            Saved.Y = info->y;
            Saved.Rotate = info->rotation;
            Saved.Outputs.assign(info->outputs, info->outputs + info->noutput);
            Saved.ScreenWidth = DisplayWidth(Dpy, DefaultScreen(Dpy));
            Saved.ScreenHeight = DisplayHeight(Dpy, DefaultScreen(Dpy));
            Saved.ScreenMMWidth = DisplayWidthMM(Dpy, DefaultScreen(Dpy));
            Saved.ScreenMMHeight = DisplayHeightMM(Dpy, DefaultScreen(Dpy));
            // No switch without someone to undo it should we die.
            if (!StartGuardian()) {
                XRRFreeCrtcInfo(info);
                XRRFreeScreenResources(res);
                return false;
            }
        }
        int w = e->Mode.Width, h = e->Mode.Height;
        if (Sideways(info->rotation)) std::swap(w, h);
        bool ok;
        {
            x11::ErrorTrap trap(Dpy);
            int needW = std::max(Saved.ScreenWidth, info->x + w);
            int needH = std::max(Saved.ScreenHeight, info->y + h);
            if (needW > DisplayWidth(Dpy, DefaultScreen(Dpy)) || needH > DisplayHeight(Dpy, DefaultScreen(Dpy))) {
                XRRSetScreenSize(Dpy, root, needW, needH, Saved.ScreenMMWidth, Saved.ScreenMMHeight);
                Saved.ScreenResized = true;
            }
            Status status = XRRSetCrtcConfig(Dpy, res, crtc, CurrentTime, info->x, info->y, e->Id, info->rotation,
                                             info->outputs, info->noutput);
            ok = status == RRSetConfigSuccess && trap.Ok();
        }
        XRRFreeCrtcInfo(info);
        XRRFreeScreenResources(res);
        if (ok) {
            Changed = true;
        } else if (first) {
            if (Saved.ScreenResized) ApplySaved(Dpy, Saved);
            StopGuardian();
        }
        return ok;
    }

    void RestoreMode() override {
        if (!Changed) return;
        if (Dpy) ApplySaved(Dpy, Saved);
        Changed = false;
        StopGuardian();
    }

    bool ModeChanged() const override { return Changed; }

    std::vector<MonitorInfo> Monitors() override {
        std::vector<MonitorInfo> list;
        if (!Connect()) return list;
        if (HasMonitors) {
            x11::ErrorTrap trap(Dpy);
            int count = 0;
            XRRMonitorInfo* monitors = XRRGetMonitors(Dpy, DefaultRootWindow(Dpy), True, &count);
            for (int i = 0; monitors && i < count; ++i) {
                MonitorInfo m;
                if (char* name = monitors[i].name ? XGetAtomName(Dpy, monitors[i].name) : nullptr) {
                    m.Name = name;
                    XFree(name);
                }
                m.Left = monitors[i].x;
                m.Top = monitors[i].y;
                m.Width = monitors[i].width;
                m.Height = monitors[i].height;
                m.Primary = monitors[i].primary != 0;
                list.push_back(m);
            }
            if (monitors) XRRFreeMonitors(monitors);
            // With no output marked primary, X treats the first as such.
            if (!list.empty() && std::none_of(list.begin(), list.end(), [](const MonitorInfo& m) { return m.Primary; }))
                list.front().Primary = true;
            std::stable_partition(list.begin(), list.end(), [](const MonitorInfo& m) { return m.Primary; });
        }
        // Servers without RandR 1.5, and multi-screen servers joined by
        // Xinerama (whose RandR sees the first screen only), tell their
        // screens through Xinerama.
        if (std::vector<MonitorInfo> heads = XineramaMonitors(); heads.size() > list.size()) list = std::move(heads);
        if (list.empty()) {
            MonitorInfo whole = VirtualDesktop();
            whole.Primary = true;
            list.push_back(whole);
        }
        return list;
    }

    std::vector<MonitorInfo> XineramaMonitors() {
        std::vector<MonitorInfo> list;
        int eventBase = 0, errorBase = 0;
        if (!XineramaQueryExtension(Dpy, &eventBase, &errorBase) || !XineramaIsActive(Dpy)) return list;
        x11::ErrorTrap trap(Dpy);
        int count = 0;
        XineramaScreenInfo* screens = XineramaQueryScreens(Dpy, &count);
        for (int i = 0; screens && i < count; ++i) {
            MonitorInfo m;
            m.Name = "Xinerama-" + std::to_string(screens[i].screen_number);
            m.Left = screens[i].x_org;
            m.Top = screens[i].y_org;
            m.Width = screens[i].width;
            m.Height = screens[i].height;
            m.Primary = i == 0;  // Xinerama has no primary; X treats the first as such
            list.push_back(m);
        }
        if (screens) XFree(screens);
        return list;
    }

    std::string UnavailableReason() override {
        const char* name = std::getenv("DISPLAY");
        if (!name || !*name) return "There is no X display to show the aquarium on: DISPLAY is not set.";
        if (!Connect())
            return std::string("The X display \"") + name +
                   "\" cannot be opened: is the X server running, and may this user connect to it?";
        int opcode = 0, event = 0, error = 0;
        if (!XQueryExtension(Dpy, "GLX", &opcode, &event, &error))
            return std::string("The X display \"") + name +
                   "\" offers no OpenGL (its GLX extension is missing): install the Mesa or vendor GL drivers, "
                   "or start the X server with GLX.";
        XVisualInfo wanted{};
        wanted.screen = DefaultScreen(Dpy);
        wanted.c_class = TrueColor;
        int count = 0;
        XVisualInfo* visuals = XGetVisualInfo(Dpy, VisualScreenMask | VisualClassMask, &wanted, &count);
        bool deep = false;
        for (int i = 0; i < count; ++i) deep = deep || visuals[i].depth >= 16;
        if (visuals) XFree(visuals);
        if (!deep)
            return std::string("The X display \"") + name +
                   "\" has no colour visual of at least 16 bits: run the X server at a depth of 16 or 24 bits.";
        return {};
    }

    MonitorInfo VirtualDesktop() override {
        MonitorInfo m;
        if (!Connect()) return m;
        m.Width = DisplayWidth(Dpy, DefaultScreen(Dpy));
        m.Height = DisplayHeight(Dpy, DefaultScreen(Dpy));
        return m;
    }

private:
    struct Entry {
        DisplayMode Mode;
        RRMode Id = 0;
    };

    bool Connect() {
        if (Dpy) return true;
        if (Failed) return false;
        Dpy = XOpenDisplay(Name.empty() ? nullptr : Name.c_str());
        if (!Dpy) {
            Failed = true;
            return false;
        }
        int depth = DefaultDepth(Dpy, DefaultScreen(Dpy));
        DesktopBits = depth;
        int count = 0;
        if (XPixmapFormatValues* formats = XListPixmapFormats(Dpy, &count)) {
            for (int i = 0; i < count; ++i)
                if (formats[i].depth == depth) DesktopBits = formats[i].bits_per_pixel;
            XFree(formats);
        }
        int eventBase = 0, errorBase = 0, major = 0, minor = 0;
        if (XRRQueryExtension(Dpy, &eventBase, &errorBase) && XRRQueryVersion(Dpy, &major, &minor)) {
            HasRandR = major > 1 || (major == 1 && minor >= 3);  // CRTCs, primary output, current resources
            HasMonitors = major > 1 || (major == 1 && minor >= 5);
        }
        return true;
    }

    // The CRTC of the primary output, or of the first output that has one.
    RRCrtc PrimaryCrtc(XRRScreenResources* res, RROutput* outputFound = nullptr) {
        RROutput primary = XRRGetOutputPrimary(Dpy, DefaultRootWindow(Dpy));
        std::vector<RROutput> order;
        if (primary) order.push_back(primary);
        for (int i = 0; i < res->noutput; ++i) order.push_back(res->outputs[i]);
        for (RROutput output : order) {
            XRROutputInfo* info = XRRGetOutputInfo(Dpy, res, output);
            if (!info) continue;
            RRCrtc crtc = info->connection == RR_Connected ? info->crtc : 0;
            XRRFreeOutputInfo(info);
            if (crtc) {
                if (outputFound) *outputFound = output;
                return crtc;
            }
        }
        return 0;
    }

    void LoadModes() {
        Modes.clear();
        if (!Connect()) return;
        if (!HasRandR) {
            DisplayMode only = CurrentMode();
            Modes.push_back(Entry{only, 0});
            return;
        }
        x11::ErrorTrap trap(Dpy);
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(Dpy, DefaultRootWindow(Dpy));
        if (!res) return;
        RROutput output = 0;
        RRCrtc crtc = PrimaryCrtc(res, &output);
        if (crtc) {
            if (XRRCrtcInfo* c = XRRGetCrtcInfo(Dpy, res, crtc)) {
                CrtcRotation = c->rotation;
                XRRFreeCrtcInfo(c);
            }
        }
        if (XRROutputInfo* info = output ? XRRGetOutputInfo(Dpy, res, output) : nullptr) {
            for (int i = 0; i < info->nmode; ++i) {
                for (int k = 0; k < res->nmode; ++k) {
                    const XRRModeInfo& m = res->modes[k];
                    if (m.id != info->modes[i]) continue;
                    Entry e;
                    e.Id = m.id;
                    e.Mode.Width = static_cast<int32_t>(m.width);
                    e.Mode.Height = static_cast<int32_t>(m.height);
                    e.Mode.BitsPerPixel = DesktopBits;
                    e.Mode.Frequency = RefreshRate(m);
                    Modes.push_back(e);
                }
            }
            XRRFreeOutputInfo(info);
        }
        XRRFreeScreenResources(res);
    }

    // The mode of that size whose refresh rate is closest to the one asked.
    const Entry* Find(const DisplayMode& mode) const {
        const Entry* best = nullptr;
        for (const Entry& e : Modes) {
            if (e.Mode.Width != mode.Width || e.Mode.Height != mode.Height) continue;
            if (!best || std::abs(e.Mode.Frequency - mode.Frequency) < std::abs(best->Mode.Frequency - mode.Frequency))
                best = &e;
        }
        return best;
    }

    // Starts the guardian and waits until it watches; false when it cannot.
    bool StartGuardian() {
        if (GuardianPid > 0) return true;
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
        // dup2 onto the same number would keep close-on-exec.
        const int childFd = fds[1] == 3 ? 4 : 3;
        std::string program = GuardianProgram(), mode = DisplayGuardianArgument;
        std::vector<std::string> args = GuardianArguments(childFd, DisplayString(Dpy), Saved);
        std::vector<char*> argv{program.data(), mode.data()};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attr;
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_adddup2(&actions, fds[1], childFd);
        // Out of the terminal's process group (a ^C is for the program), with
        // no signal blocked or ignored from whichever thread starts it.
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &all);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        pid_t pid = -1;
        int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            return false;
        }
        GuardianFd = fds[0];
        GuardianPid = pid;
        if (AwaitReady()) return true;
        // A program without the hidden mode, or no X for it: stop it.
        kill(GuardianPid, SIGKILL);
        Reap();
        return false;
    }

    bool AwaitReady() {
        pollfd p{GuardianFd, POLLIN, 0};
        int n;
        do {
            n = poll(&p, 1, GuardianStartMilliseconds);
        } while (n < 0 && errno == EINTR);
        if (n != 1) return false;
        char word = 0;
        ssize_t got;
        do {
            got = read(GuardianFd, &word, 1);
        } while (got < 0 && errno == EINTR);
        return got == 1 && word == GuardianReady;
    }

    void StopGuardian() {
        if (GuardianPid <= 0) return;
        ssize_t n;
        do {
            n = write(GuardianFd, &GuardianDone, 1);
        } while (n < 0 && errno == EINTR);
        Reap();
    }

    void Reap() {
        close(GuardianFd);
        while (waitpid(GuardianPid, nullptr, 0) < 0 && errno == EINTR) {
        }
        GuardianFd = -1;
        GuardianPid = -1;
    }

    std::string Name;
    Display* Dpy = nullptr;
    bool Failed = false;
    bool HasRandR = false;
    bool HasMonitors = false;
    int DesktopBits = 0;
    Rotation CrtcRotation = RR_Rotate_0;
    std::vector<Entry> Modes;
    SavedConfig Saved;
    bool Changed = false;
    pid_t GuardianPid = -1;
    int GuardianFd = -1;
};

}  // namespace

void SetDisplayGuardianProgram(const std::string& path) { GuardianProgram() = path; }

int RunDisplayGuardian(int argc, char** argv) {
    int fd = -1;
    std::string displayName;
    SavedConfig saved;
    if (argc < 2 || !ParseGuardianArguments(argc - 2, argv + 2, fd, displayName, saved)) return 2;
    signal(SIGINT, SIG_IGN);
    signal(SIGHUP, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    // Whatever else the program left open without close-on-exec is not ours
    // to hold: a lock file, a sound device.
    if (fd > 3) close_range(3, static_cast<unsigned>(fd) - 1, 0);
    close_range(static_cast<unsigned>(fd) + 1, ~0U, 0);
    // Connect now, while the program's credentials are certainly there.
    Display* dpy = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!dpy) return 1;
    ssize_t n;
    do {
        n = write(fd, &GuardianReady, 1);
    } while (n < 0 && errno == EINTR);
    char word = 0;
    if (n == 1) {
        do {
            n = read(fd, &word, 1);
        } while (n < 0 && errno == EINTR);
        if (!(n == 1 && word == GuardianDone)) {
            ApplySaved(dpy, saved);
            RestoreScreenSize(dpy, saved);
        }
    }
    XCloseDisplay(dpy);
    return 0;
}

std::unique_ptr<IDisplaySettings> CreateXRandRDisplaySettings(const char* displayName) {
    return std::make_unique<XRandRDisplaySettings>(displayName);
}

const char* const kDesktopName = "X display";

IDisplaySettings& SystemDisplaySettings() {
    // Destroyed at exit, which restores a mode still switched.
    static std::unique_ptr<IDisplaySettings> display = CreateXRandRDisplaySettings(nullptr);
    return *display;
}

}  // namespace platform
