// Power requests on Linux. The display is kept on by suspending the X
// server's own saver (on a connection of our own: the suspension lasts as
// long as the connection) and by the session's org.freedesktop.ScreenSaver
// inhibit where a session offers one; the system is kept awake by a logind
// inhibitor, which lasts as long as we hold its file descriptor. Suspend and
// the PrepareForSleep announcement go through logind on the system bus;
// monitors go off through DPMS.
//
// Both buses are private connections made on first use. Their signals are
// dispatched in a main context of our own, iterated without blocking when
// the host polls for sleep notices, so no thread of ours is added (GDBus
// runs its own worker).
#include "platform/linux/power_requests_linux.h"

// GLib before the X headers, whose macros (Bool, Status, None) it must not see.
#include <gio/gio.h>
#include <gio/gunixfdlist.h>

#include "platform/linux/x11_error_trap.h"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace platform {
namespace {

constexpr const char* ProgramName = "3D Marivelle";
constexpr const char* InhibitReason = "The aquarium is showing";

constexpr const char* LoginName = "org.freedesktop.login1";
constexpr const char* LoginPath = "/org/freedesktop/login1";
constexpr const char* LoginManager = "org.freedesktop.login1.Manager";
constexpr const char* SaverName = "org.freedesktop.ScreenSaver";
constexpr const char* SaverPath = "/org/freedesktop/ScreenSaver";
constexpr const char* SaverInterface = "org.freedesktop.ScreenSaver";

// Peers answer a local bus in milliseconds; a stuck one must not hang the
// program for the bus's default 25 s.
constexpr int CallTimeoutMs = 1000;

// Makes our context the thread's default for the span of a scope, so that
// a connection made or a signal subscribed in it dispatches there.
class ContextScope {
public:
    explicit ContextScope(GMainContext* context) : Context(context) { g_main_context_push_thread_default(Context); }
    ~ContextScope() { g_main_context_pop_thread_default(Context); }
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;

private:
    GMainContext* Context;
};

// One message bus, connected on first use; one that could not be reached
// is not tried again.
struct Bus {
    GBusType Type;
    GDBusConnection* Connection = nullptr;
    bool Tried = false;
};

// A session bus is announced by its address or by the socket in the user's
// runtime folder, where GLib looks next.
bool SessionBusAnnounced() {
    const char* address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return true;
    const char* runtime = g_getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return false;
    struct stat status {};
    return stat((std::string(runtime) + "/bus").c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

GDBusConnection* Connect(GBusType type) {
    // Without an announced session bus GLib would launch one of its own
    // (dbus-launch): a daemon that outlives us, where no screen saver listens.
    if (type == G_BUS_TYPE_SESSION && !SessionBusAnnounced()) return nullptr;
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(type, nullptr, &error);
    g_clear_error(&error);
    if (!address) return nullptr;
    if (g_str_has_prefix(address, "autolaunch:")) {
        g_free(address);
        return nullptr;
    }
    auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                   G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(address, flags, nullptr, nullptr, &error);
    g_clear_error(&error);
    g_free(address);
    return connection;
}

void Close(Bus& bus) {
    if (!bus.Connection) return;
    // Releases sent without waiting for an answer must leave before the
    // connection goes: closing drops what is still queued.
    g_dbus_connection_flush_sync(bus.Connection, nullptr, nullptr);
    g_dbus_connection_close_sync(bus.Connection, nullptr, nullptr);
    g_object_unref(bus.Connection);
    bus.Connection = nullptr;
}

class LinuxPowerRequests final : public IPowerRequests {
public:
    explicit LinuxPowerRequests(const char* displayName)
        : DisplayName(displayName ? displayName : ""), HasDisplayName(displayName != nullptr),
          Context(g_main_context_new()) {}

    ~LinuxPowerRequests() override {
        ResumeServerSaver();
        UninhibitSession();
        ReleaseSleepInhibitor();
        if (System.Connection && Subscription) g_dbus_connection_signal_unsubscribe(System.Connection, Subscription);
        Close(Session);
        Close(System);
        // Whatever the buses queued for us is dropped with the context.
        while (g_main_context_iteration(Context, FALSE)) {
        }
        g_main_context_unref(Context);
    }

    LinuxPowerRequests(const LinuxPowerRequests&) = delete;
    LinuxPowerRequests& operator=(const LinuxPowerRequests&) = delete;

    bool SetExecutionState(bool needDisplay, bool needSystem) override {
        if (needDisplay) {
            if (!SaverDisplay) SuspendServerSaver();
            if (!SessionInhibited) InhibitSession();
        } else {
            ResumeServerSaver();
            UninhibitSession();
        }
        if (needSystem) {
            if (SleepInhibitor < 0) TakeSleepInhibitor();
        } else {
            ReleaseSleepInhibitor();
        }
        if (!needDisplay && !needSystem) return true;
        bool display = SaverDisplay || SessionInhibited;
        bool system = SleepInhibitor >= 0;
        return (needDisplay && display) || (needSystem && system);
    }

    bool SuspendSystem() override {
        GDBusConnection* bus = SystemBus();
        if (!bus) return false;
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(bus, LoginName, LoginPath, LoginManager, "Suspend",
                                                      g_variant_new("(b)", FALSE), nullptr, G_DBUS_CALL_FLAGS_NONE,
                                                      CallTimeoutMs, nullptr, &error);
        g_clear_error(&error);
        if (!reply) return false;
        g_variant_unref(reply);
        return true;
    }

    bool MonitorOff() override {
        Display* dpy = OpenDisplay();
        if (!dpy) return false;
        bool done = false;
        int eventBase = 0, errorBase = 0;
        if (DPMSQueryExtension(dpy, &eventBase, &errorBase) && DPMSCapable(dpy)) {
            x11::ErrorTrap trap(dpy);
            // A level can only be forced with DPMS enabled. It stays
            // enabled: disabling it again would light the monitors.
            CARD16 level = 0;
            BOOL enabled = False;
            DPMSInfo(dpy, &level, &enabled);
            if (!enabled) DPMSEnable(dpy);
            DPMSForceLevel(dpy, DPMSModeOff);
            done = trap.Ok();
        }
        XCloseDisplay(dpy);
        return done;
    }

    bool TakeSleepNotice() override {
        if (!SystemBus()) return false;
        g_main_context_iteration(Context, FALSE);
        if (SleepNotices == 0) return false;
        --SleepNotices;
        return true;
    }

    // The X server and the desktop keep no running-saver flag; the display
    // request above is what keeps their savers away.
    void SetScreenSaverRunning(bool) override {}
    // logind asks nobody before it sleeps; the sleep inhibitor taken with
    // SetExecutionState is how a program says no there.
    void AllowSleepQueries(bool) override {}

private:
    Display* OpenDisplay() const { return XOpenDisplay(HasDisplayName ? DisplayName.c_str() : nullptr); }

    // The connection of a bus, made on first use.
    GDBusConnection* Connection(Bus& bus) {
        if (!bus.Tried) {
            bus.Tried = true;
            ContextScope scope(Context);
            bus.Connection = Connect(bus.Type);
        }
        return bus.Connection;
    }

    GDBusConnection* SystemBus() {
        bool first = !System.Tried;
        GDBusConnection* bus = Connection(System);
        if (first && bus) {
            ContextScope scope(Context);
            Subscription = g_dbus_connection_signal_subscribe(bus, LoginName, LoginManager, "PrepareForSleep",
                                                              LoginPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                                                              &LinuxPowerRequests::OnPrepareForSleep, this, nullptr);
        }
        return bus;
    }

    static void OnPrepareForSleep(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                  GVariant* parameters, gpointer self) {
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
        gboolean starting = FALSE;
        g_variant_get(parameters, "(b)", &starting);
        // PrepareForSleep(false) is the resume.
        if (starting) ++static_cast<LinuxPowerRequests*>(self)->SleepNotices;
    }

    void SuspendServerSaver() {
        Display* dpy = OpenDisplay();
        if (!dpy) return;
        int eventBase = 0, errorBase = 0, major = 0, minor = 0;
        bool ok = XScreenSaverQueryExtension(dpy, &eventBase, &errorBase) &&
                  XScreenSaverQueryVersion(dpy, &major, &minor) && (major > 1 || (major == 1 && minor >= 1));
        if (ok) {
            x11::ErrorTrap trap(dpy);
            XScreenSaverSuspend(dpy, True);
            ok = trap.Ok();
        }
        if (!ok) {
            XCloseDisplay(dpy);
            return;
        }
        SaverDisplay = dpy;
    }

    void ResumeServerSaver() {
        if (!SaverDisplay) return;
        XScreenSaverSuspend(SaverDisplay, False);
        XCloseDisplay(SaverDisplay);
        SaverDisplay = nullptr;
    }

    void InhibitSession() {
        GDBusConnection* bus = Connection(Session);
        if (!bus) return;
        // Only a screen saver that runs is asked; none is started for us.
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(
            bus, SaverName, SaverPath, SaverInterface, "Inhibit", g_variant_new("(ss)", ProgramName, InhibitReason),
            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, CallTimeoutMs, nullptr, &error);
        g_clear_error(&error);
        if (!reply) return;
        g_variant_get(reply, "(u)", &SessionCookie);
        g_variant_unref(reply);
        SessionInhibited = true;
    }

    void UninhibitSession() {
        if (!SessionInhibited) return;
        SessionInhibited = false;
        // No callback: sent without waiting for the answer.
        g_dbus_connection_call(Session.Connection, SaverName, SaverPath, SaverInterface, "UnInhibit",
                               g_variant_new("(u)", SessionCookie), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1,
                               nullptr, nullptr, nullptr);
        g_dbus_connection_flush_sync(Session.Connection, nullptr, nullptr);
    }

    void TakeSleepInhibitor() {
        GDBusConnection* bus = SystemBus();
        if (!bus) return;
        GError* error = nullptr;
        GUnixFDList* fds = nullptr;
        GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
            bus, LoginName, LoginPath, LoginManager, "Inhibit",
            g_variant_new("(ssss)", "sleep:idle", ProgramName, InhibitReason, "block"), G_VARIANT_TYPE("(h)"),
            G_DBUS_CALL_FLAGS_NONE, CallTimeoutMs, nullptr, &fds, nullptr, &error);
        g_clear_error(&error);
        if (reply) {
            gint32 index = -1;
            g_variant_get(reply, "(h)", &index);
            if (fds && index >= 0 && index < g_unix_fd_list_get_length(fds)) {
                // A duplicate that closes on exec; the list closes its own.
                SleepInhibitor = g_unix_fd_list_get(fds, index, &error);
                g_clear_error(&error);
            }
            g_variant_unref(reply);
        }
        if (fds) g_object_unref(fds);
    }

    void ReleaseSleepInhibitor() {
        if (SleepInhibitor < 0) return;
        close(SleepInhibitor);
        SleepInhibitor = -1;
    }

    std::string DisplayName;
    bool HasDisplayName;
    GMainContext* Context;
    Bus System {G_BUS_TYPE_SYSTEM};
    Bus Session {G_BUS_TYPE_SESSION};
    guint Subscription = 0;
    uint32_t SleepNotices = 0;      // announcements not yet taken
    Display* SaverDisplay = nullptr;  // open while the server's saver is suspended
    bool SessionInhibited = false;
    guint32 SessionCookie = 0;
    int SleepInhibitor = -1;          // logind's inhibitor descriptor
};

}  // namespace

std::unique_ptr<IPowerRequests> CreateLinuxPowerRequests(const char* displayName) {
    return std::make_unique<LinuxPowerRequests>(displayName);
}

IPowerRequests& SystemPowerRequests() {
    static LinuxPowerRequests power(nullptr);
    return power;
}

}  // namespace platform
