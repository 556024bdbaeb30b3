// Catches the X protocol errors of one connection for the span of a few
// requests, instead of letting Xlib's default handler end the process (a
// parent window that vanished, a mode the server refuses). Errors of other
// connections still go to the handler that was installed before.
#pragma once

#include <X11/Xlib.h>
#include <unistd.h>

namespace platform::x11 {

class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : Dpy(display), Outer(Active) {
        XSync(Dpy, False);
        Active = this;
        Previous = XSetErrorHandler(&ErrorTrap::Handler);
    }
    ~ErrorTrap() { Finish(); }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Waits for the server's answer to everything sent so far; true when
    // no error arrived since the trap was set.
    bool Ok() {
        XSync(Dpy, False);
        return ErrorCode == 0;
    }
    int Error() {
        XSync(Dpy, False);
        return ErrorCode;
    }

private:
    void Finish() {
        if (Done) return;
        Done = true;
        XSync(Dpy, False);
        XSetErrorHandler(Previous);
        Active = Outer;
    }

    static int Handler(Display* display, XErrorEvent* event) {
        for (ErrorTrap* t = Active; t; t = t->Outer) {
            if (t->Dpy == display) {
                if (t->ErrorCode == 0) t->ErrorCode = event->error_code;
                return 0;
            }
        }
        ErrorTrap* outermost = Active;
        while (outermost && outermost->Outer) outermost = outermost->Outer;
        return outermost && outermost->Previous ? outermost->Previous(display, event) : 0;
    }

    Display* Dpy;
    ErrorTrap* Outer;
    XErrorHandler Previous = nullptr;
    int ErrorCode = 0;
    bool Done = false;
    static inline ErrorTrap* Active = nullptr;
};

// Xlib's own handler ends the process on any error. A window we draw into
// can vanish between two requests (a preview's parent closed, a daemon
// ending the hack): the DestroyNotify that follows ends the run cleanly, so
// errors outside a trap are let pass instead. Installed once per process.
// A lost connection (the X server gone) ends the process at once and
// quietly: there is nothing left to show, and a switched mode is the
// guardian's to restore.
inline void LetStrayErrorsPass() {
    static const bool installed = [] {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        XSetIOErrorHandler([](Display*) -> int { _exit(0); });
        return true;
    }();
    (void)installed;
}

}  // namespace platform::x11
