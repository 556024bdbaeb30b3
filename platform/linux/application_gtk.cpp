// GTK's main loop as the application object. Frames come from an idle
// source, so every GTK event is handled between two of them; the frame
// pacing (and the "Low CPU Usage" cap) are the framework's short sleeps
// inside each pass. When a pass reports nothing to draw, the idle source
// goes and the loop sleeps until GTK, the GL windows' X connection or a
// signal wakes it.
#include "platform/linux/application_gtk.h"
#include "platform/idle_pass.h"
#include "platform/linux/application_local.h"

#include "platform/dialog_view.h"
#include "platform/gl_window.h"
#include "platform/linux/gl_window_x11.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>

namespace platform {
namespace {

// A waiting loop looks again at least this often (input already queued in
// Xlib's buffer never makes the connection readable).
constexpr guint kWaitSliceMs = 100;

class GtkLoop final : public IApplicationHooks {
public:
    void SetHandlers(const ApplicationHandlers& handlers) override {
        Handlers = handlers;
        if (Running) WakeIdle();
    }
    void SetIdleHandler(std::function<void(bool&)> idle) override {
        Handlers.Idle = std::move(idle);
        if (Running && Handlers.Idle) WakeIdle();
    }

    void Run() override {
        if (IsTerminated) return;
        Loop = g_main_loop_new(nullptr, FALSE);
        const guint signals[] = {g_unix_signal_add(SIGTERM, &GtkLoop::OnSignal, this),
                                 g_unix_signal_add(SIGINT, &GtkLoop::OnSignal, this),
                                 g_unix_signal_add(SIGHUP, &GtkLoop::OnSignal, this)};
        if (ShowForm && MainView) MainView->Show();
        Running = true;
        WakeIdle();
        if (!IsTerminated) g_main_loop_run(Loop);
        Running = false;
        StopWaiting();
        if (IdleSource) g_source_remove(IdleSource);
        IdleSource = 0;
        for (guint s : signals) g_source_remove(s);
        g_main_loop_unref(Loop);
        Loop = nullptr;
        // What GTK still has to say to the server (hiding the form).
        while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
    }
    void Terminate() override {
        IsTerminated = true;
        if (Loop) g_main_loop_quit(Loop);
    }
    bool Terminated() const override { return IsTerminated; }
    void PostQuit(int) override { Terminate(); }

    std::string Title() const override { return AppTitle; }
    void SetTitle(const std::string& title) override { AppTitle = title; }

    void SetShowMainForm(bool show) override { ShowForm = show; }
    bool HasMainForm() const override { return MainView != nullptr; }
    bool MainFormIsTopLevel() const override { return MainWindow != nullptr; }
    Size MainFormSize() const override {
        if (!MainWindow) return {};
        gint w = 0, h = 0;
        gtk_window_get_size(MainWindow, &w, &h);
        return {w, h};
    }
    void SetMainFormPosition(int32_t left, int32_t top) override {
        if (MainWindow) gtk_window_move(MainWindow, left, top);
    }
    // Closing the main form ends the program.
    void CloseMainForm() override {
        HideMainForm();
        Terminate();
    }
    void HideMainForm() override {
        if (MainView) MainView->Hide();
    }
    void ClearMainFormHandlers() override {
        if (MainView) MainView->SetEvents({});
    }
    // GTK has no hidden application window of its own.
    void HideApplicationWindow() override {}

    Size PrimaryScreenSize() const override {
        if (Primary.Width <= 0 || Primary.Height <= 0) Primary = PrimaryMonitorSize();
        return Primary;
    }
    void ShowCursor(bool visible) override { SystemGLWindows().SetCursorVisible(visible); }

    // A new main form is a new run of the program (tests make several in
    // one process).
    void SetMainForm(IDialogView* view, GtkWindow* window) {
        MainView = view;
        MainWindow = window;
        if (view && !Running) IsTerminated = false;
    }

private:
    static gboolean OnSignal(gpointer self) {
        static_cast<GtkLoop*>(self)->Terminate();
        return G_SOURCE_CONTINUE;
    }

    static gboolean OnIdle(gpointer data) {
        auto* self = static_cast<GtkLoop*>(data);
        return self->IdlePass() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
    }

    // One pass of the idle hook; false when the source should go.
    bool IdlePass() {
        if (IsTerminated) {
            IdleSource = 0;
            return false;
        }
        auto idle = Handlers.Idle;
        if (!idle) {
            // Detached (a pass is starting the scene): re-attaching wakes us.
            IdleSource = 0;
            return false;
        }
        bool done = true;
        if (!RunIdlePass(idle, Handlers, AppTitle, done)) Terminate();
        if (IsTerminated) {
            IdleSource = 0;
            return false;
        }
        if (!done || SystemGLWindows().WaitForMessages(0)) return true;
        // Nothing to draw: sleep until input, a GTK event or the next slice.
        IdleSource = 0;
        Wait();
        return false;
    }

    void WakeIdle() {
        StopWaiting();
        if (!IdleSource && !IsTerminated) IdleSource = g_idle_add(&GtkLoop::OnIdle, this);
    }

    void Wait() {
        StopWaiting();
        const int fd = GLWindowsConnectionFd();
        if (fd >= 0) FdSource = g_unix_fd_add(fd, G_IO_IN, &GtkLoop::OnWake, this);
        TimerSource = g_timeout_add(kWaitSliceMs, &GtkLoop::OnWakeTimer, this);
    }
    void StopWaiting() {
        if (FdSource) g_source_remove(FdSource);
        if (TimerSource) g_source_remove(TimerSource);
        FdSource = TimerSource = 0;
    }
    static gboolean OnWake(gint, GIOCondition, gpointer data) {
        auto* self = static_cast<GtkLoop*>(data);
        self->FdSource = 0;
        self->WakeIdle();
        return G_SOURCE_REMOVE;
    }
    static gboolean OnWakeTimer(gpointer data) {
        auto* self = static_cast<GtkLoop*>(data);
        self->TimerSource = 0;
        self->WakeIdle();
        return G_SOURCE_REMOVE;
    }

    ApplicationHandlers Handlers;
    std::string AppTitle;
    bool IsTerminated = false;
    bool Running = false;
    bool ShowForm = true;
    GMainLoop* Loop = nullptr;
    guint IdleSource = 0, FdSource = 0, TimerSource = 0;
    IDialogView* MainView = nullptr;
    GtkWindow* MainWindow = nullptr;
    mutable Size Primary;
};

GtkLoop& TheLoop() {
    static GtkLoop loop;
    return loop;
}

}  // namespace

IApplicationHooks& GtkApplication() { return TheLoop(); }

void SetGtkMainForm(IDialogView* view, GtkWindow* window) { TheLoop().SetMainForm(view, window); }

}  // namespace platform
