// GL output windows as plain Xlib windows on a connection of their own; X
// events are translated into the Windows messages and key codes the host
// expects.
#include "platform/gl_window.h"
#include "platform/linux/gl_window_x11.h"
#include "platform/linux/x11_error_trap.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <poll.h>

#include <algorithm>
#include <map>
#include <set>

namespace platform {
namespace {

uintptr_t VirtualKey(KeySym sym) {
    if (sym >= XK_a && sym <= XK_z) return 'A' + (sym - XK_a);
    if (sym >= XK_A && sym <= XK_Z) return 'A' + (sym - XK_A);
    if (sym >= XK_0 && sym <= XK_9) return '0' + (sym - XK_0);
    if (sym >= XK_F1 && sym <= XK_F12) return 0x70 + (sym - XK_F1);
    switch (sym) {
        case XK_Print: return vk::Snapshot;
        case XK_Shift_L:
        case XK_Shift_R: return vk::Shift;
        case XK_Control_L:
        case XK_Control_R: return vk::Control;
        case XK_Alt_L:
        case XK_Alt_R: return 0x12;
        case XK_Escape: return vk::Escape;
        case XK_Return: return 0x0D;
        case XK_space: return 0x20;
        case XK_Tab: return 0x09;
        case XK_BackSpace: return 0x08;
        case XK_Left: return 0x25;
        case XK_Up: return 0x26;
        case XK_Right: return 0x27;
        case XK_Down: return 0x28;
        default: return 0xFF;  // a key without a code of its own still counts as a key
    }
}

unsigned long Pixel(uint32_t bgr) {
    // TrueColor 24-bit: 0x00RRGGBB.
    return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

intptr_t Point(int x, int y) { return static_cast<intptr_t>((x & 0xFFFF) | ((y & 0xFFFF) << 16)); }

class X11GLWindows final : public IGLWindowSystem {
public:
    ~X11GLWindows() override {
        if (Dpy) XCloseDisplay(Dpy);  // frees the cursor too
    }

    GLWindowHandle CreateGLWindow(const GLWindowParams& p) override {
        if (!Open()) return 0;
        x11::ErrorTrap trap(Dpy);
        const ::Window root = DefaultRootWindow(Dpy);
        ::Window parent = p.Parent ? static_cast<::Window>(p.Parent) : root;
        // A foreign parent: watch it, so that the child follows its size.
        const bool foreignParent = parent != root && !Ours.count(parent);
        XWindowAttributes parentAttributes{};
        if (foreignParent) {
            if (!XGetWindowAttributes(Dpy, parent, &parentAttributes) || !trap.Ok()) return 0;
            XSelectInput(Dpy, parent, StructureNotifyMask);
        }
        XSetWindowAttributes a{};
        a.background_pixel = Pixel(p.Color);
        a.border_pixel = 0;
        a.override_redirect = p.FullScreen ? True : False;
        a.event_mask = StructureNotifyMask | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                       PointerMotionMask | ExposureMask | FocusChangeMask;
        a.cursor = CursorHidden ? BlankCursor() : None;
        ::Window w = XCreateWindow(Dpy, parent, p.Left, p.Top, static_cast<unsigned>(std::max(p.Width, 1)),
                                   static_cast<unsigned>(std::max(p.Height, 1)), 0, CopyFromParent, InputOutput,
                                   CopyFromParent,
                                   CWBackPixel | CWBorderPixel | CWOverrideRedirect | CWEventMask | CWCursor, &a);
        if (!trap.Ok() || !w) return 0;
        if (foreignParent) Followers[parent] = w;
        if (!p.Parent) {
            XSetWMProtocols(Dpy, w, &DeleteWindow, 1);
            SetTitle(w, p.Title);
        }
        XMapRaised(Dpy, w);
        if (p.FullScreen) XSetInputFocus(Dpy, w, RevertToParent, CurrentTime);
        if (!trap.Ok()) {
            XDestroyWindow(Dpy, w);
            XSync(Dpy, False);
            return 0;
        }
        Ours.insert(w);
        return static_cast<GLWindowHandle>(w);
    }

    void DestroyGLWindow(GLWindowHandle window) override {
        if (!Dpy || !Ours.count(window)) return;
        {
            x11::ErrorTrap trap(Dpy);
            XDestroyWindow(Dpy, static_cast<::Window>(window));
            trap.Ok();
        }
        // The host already knows; its DestroyNotify is not passed on.
        Ours.erase(window);
        ForgetFollower(window);
        CloseWhenUnused();
    }

    bool WindowSize(GLWindowHandle window, int32_t& width, int32_t& height) override {
        if (!Open() || !window) return false;
        x11::ErrorTrap trap(Dpy);
        XWindowAttributes a{};
        Status ok = XGetWindowAttributes(Dpy, static_cast<::Window>(window), &a);
        if (!trap.Ok() || !ok) return false;
        width = a.width;
        height = a.height;
        return true;
    }

    void ProcessMessages(const std::function<void(GLWindowHandle, WindowMessage&)>& handler) override {
        if (!Dpy) return;
        while (XPending(Dpy) > 0) {
            XEvent e;
            XNextEvent(Dpy, &e);
            GLWindowHandle w = static_cast<GLWindowHandle>(e.xany.window);
            WindowMessage msg;
            switch (e.type) {
                case ConfigureNotify:
                    w = static_cast<GLWindowHandle>(e.xconfigure.window);
                    if (auto follower = Followers.find(e.xconfigure.window); follower != Followers.end()) {
                        // The foreign parent changed size: the child follows, and
                        // its own ConfigureNotify tells the host.
                        x11::ErrorTrap trap(Dpy);
                        XResizeWindow(Dpy, follower->second, static_cast<unsigned>(std::max(e.xconfigure.width, 1)),
                                      static_cast<unsigned>(std::max(e.xconfigure.height, 1)));
                        trap.Ok();
                        continue;
                    }
                    msg.Msg = wm::Size;
                    msg.LParam = static_cast<intptr_t>((e.xconfigure.width & 0xFFFF) |
                                                       ((e.xconfigure.height & 0xFFFF) << 16));
                    break;
                case DestroyNotify:
                    w = static_cast<GLWindowHandle>(e.xdestroywindow.window);
                    if (!Ours.erase(w)) continue;
                    ForgetFollower(w);
                    msg.Msg = wm::Destroy;
                    break;
                case ClientMessage:
                    if (static_cast<Atom>(e.xclient.data.l[0]) != DeleteWindow) continue;
                    msg.Msg = wm::Close;
                    break;
                case MotionNotify:
                    msg.Msg = wm::MouseMove;
                    msg.LParam = Point(e.xmotion.x, e.xmotion.y);
                    break;
                case ButtonPress:
                    // Wheel steps (buttons 4 and up) count as middle clicks.
                    msg.Msg = e.xbutton.button == Button1   ? wm::LButtonDown
                              : e.xbutton.button == Button3 ? wm::RButtonDown
                                                            : wm::MButtonDown;
                    msg.LParam = Point(e.xbutton.x, e.xbutton.y);
                    break;
                case ButtonRelease:
                    // The wheel's steps come as press and release; the press counted.
                    if (e.xbutton.button > Button3) continue;
                    msg.Msg = e.xbutton.button == Button1   ? wm::LButtonUp
                              : e.xbutton.button == Button3 ? wm::RButtonUp
                                                            : wm::MButtonUp;
                    msg.LParam = Point(e.xbutton.x, e.xbutton.y);
                    break;
                case KeyPress:
                case KeyRelease: {
                    KeySym sym = XLookupKeysym(&e.xkey, 0);
                    uintptr_t key = VirtualKey(sym);
                    bool down = e.type == KeyPress;
                    if (down)
                        Held.insert(key);
                    else
                        Held.erase(key);
                    msg.Msg = down ? wm::KeyDown : wm::KeyUp;
                    msg.WParam = key;
                    break;
                }
                default: continue;
            }
            handler(w, msg);
            if (!Dpy) return;
        }
        CloseWhenUnused();
    }

    bool KeyDown(uintptr_t virtualKey) const override { return Held.count(virtualKey) != 0; }

    void SetCursorVisible(bool visible) override {
        CursorHidden = !visible;
        if (!Dpy) return;
        x11::ErrorTrap trap(Dpy);
        for (GLWindowHandle w : Ours) XDefineCursor(Dpy, static_cast<::Window>(w), CursorHidden ? BlankCursor() : None);
        XFlush(Dpy);
        trap.Ok();
    }

    bool WaitForMessages(int32_t timeoutMs) override {
        if (!Dpy || Ours.empty()) return false;
        if (XPending(Dpy) > 0) return true;
        pollfd fd{ConnectionNumber(Dpy), POLLIN, 0};
        return poll(&fd, 1, timeoutMs) > 0;
    }

    // X has input focus but no foreground window a program could name.
    GLWindowHandle ForegroundWindow() override { return 0; }
    // X windows cannot be disabled; a dialog's own toolkit keeps it modal.
    void EnableWindow(GLWindowHandle, bool) override {}

    int ConnectionFd() const { return Dpy ? ConnectionNumber(Dpy) : -1; }

private:
    void ForgetFollower(GLWindowHandle child) {
        for (auto it = Followers.begin(); it != Followers.end(); ++it)
            if (it->second == child) {
                Followers.erase(it);
                return;
            }
    }

    // An invisible cursor: a 1x1 pixmap cursor with an empty mask.
    ::Cursor BlankCursor() {
        if (Blank) return Blank;
        static const char empty[1] = {0};
        Pixmap bits = XCreateBitmapFromData(Dpy, DefaultRootWindow(Dpy), empty, 1, 1);
        XColor black{};
        Blank = XCreatePixmapCursor(Dpy, bits, bits, &black, &black, 0, 0);
        XFreePixmap(Dpy, bits);
        return Blank;
    }

    // Without windows the connection has nothing to listen to; keeping it
    // would tie the process to a server that may go away.
    void CloseWhenUnused() {
        if (!Dpy || !Ours.empty()) return;
        XCloseDisplay(Dpy);
        Dpy = nullptr;
        Blank = 0;
        Held.clear();
        Followers.clear();
    }

    // The UTF-8 name modern desktops read, and the Latin-1 one older ones do
    // (exact for ASCII titles, which is all we give).
    void SetTitle(::Window w, const std::string& title) {
        if (title.empty()) return;
        const auto* bytes = reinterpret_cast<const unsigned char*>(title.data());
        const int length = static_cast<int>(title.size());
        XChangeProperty(Dpy, w, NetWmName, Utf8String, 8, PropModeReplace, bytes, length);
        XChangeProperty(Dpy, w, XA_WM_NAME, XA_STRING, 8, PropModeReplace, bytes, length);
    }

    bool Open() {
        if (Dpy) return true;
        x11::LetStrayErrorsPass();
        Dpy = XOpenDisplay(nullptr);
        if (!Dpy) return false;
        DeleteWindow = XInternAtom(Dpy, "WM_DELETE_WINDOW", False);
        NetWmName = XInternAtom(Dpy, "_NET_WM_NAME", False);
        Utf8String = XInternAtom(Dpy, "UTF8_STRING", False);
        return true;
    }

    Display* Dpy = nullptr;
    Atom DeleteWindow = 0, NetWmName = 0, Utf8String = 0;
    std::set<GLWindowHandle> Ours;
    std::set<uintptr_t> Held;
    // Foreign parents we watch, and the child of ours that fills each.
    std::map<::Window, ::Window> Followers;
    ::Cursor Blank = 0;
    bool CursorHidden = false;
};

}  // namespace

namespace {
X11GLWindows& TheWindows() {
    static X11GLWindows windows;
    return windows;
}
}  // namespace

IGLWindowSystem& SystemGLWindows() { return TheWindows(); }

int GLWindowsConnectionFd() { return TheWindows().ConnectionFd(); }

}  // namespace platform
