// The real settings dialog: GTK on a private Xvfb server, the shipped scene
// drawn by Mesa into the dialog's preview panel, and the settings file the
// program writes. The test acts from inside GTK's loop, through GTK's own
// calls, so the widgets' real signals reach the presenter.
#include "app/program.h"
#include "app/settings_form.h"
#include "platform/dialog_view.h"
#include "platform/linux/ini_settings_store.h"
#include "scene/scene_sound.h"
#include "world/clock.h"
#include "world/underwater_world.h"

#include "test_support.h"

#include <gtk/gtk.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

// Last: the X headers define macros that clash with the ones above.
#include "app/program_runner.h"
#include "render/xvfb_fixture.h"

namespace {

// $MARIVELLE_SHOTS_SCREEN ("2560x1800") makes room for pictures of scaled dialogs.
xvfb::Environment* Screen() {
    // GTK's own settings (the colour chooser keeps its custom colours) stay
    // in memory: not in the person's desktop settings, and not behind a
    // session bus that ends with our server and takes the process with it.
    setenv("GSETTINGS_BACKEND", "memory", 1);
    int width = 1280, height = 900;
    if (const char* size = std::getenv("MARIVELLE_SHOTS_SCREEN")) std::sscanf(size, "%dx%d", &width, &height);
    return new xvfb::Environment(width, height);
}
const auto* const kServer = ::testing::AddGlobalTestEnvironment(Screen());

GtkWidget* FindNamed(GtkWidget* root, const std::string& name) {
    if (name == gtk_widget_get_name(root)) return root;
    if (!GTK_IS_CONTAINER(root)) return nullptr;
    GtkWidget* found = nullptr;
    struct Search {
        const std::string* Name;
        GtkWidget** Found;
    } search{&name, &found};
    gtk_container_forall(
        GTK_CONTAINER(root),
        [](GtkWidget* child, gpointer data) {
            auto* s = static_cast<Search*>(data);
            if (!*s->Found) *s->Found = FindNamed(child, *s->Name);
        },
        &search);
    return found;
}

// A picture of a window read from the server.
struct Shot {
    int Width = 0, Height = 0;
    std::vector<std::array<int, 3>> Pixels;
    double Luminance(double top, double bottom, int channel = -1) const {
        double sum = 0;
        long n = 0;
        for (int y = static_cast<int>(top * Height); y < static_cast<int>(bottom * Height); ++y)
            for (int x = 0; x < Width; ++x, ++n) {
                const auto& p = Pixels[static_cast<size_t>(y * Width + x)];
                sum += channel >= 0 ? p[static_cast<size_t>(channel)] : 0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2];
            }
        return n ? sum / static_cast<double>(n) : 0;
    }
};

Shot Capture(::Window window) {
    Display* d = xvfb::TheServer().Dpy;
    Shot shot;
    XWindowAttributes a{};
    if (!XGetWindowAttributes(d, window, &a)) return shot;
    XImage* image = XGetImage(d, window, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height),
                              AllPlanes, ZPixmap);
    if (!image) return shot;
    shot.Width = a.width;
    shot.Height = a.height;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            shot.Pixels.push_back({static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
                                   static_cast<int>(p & 0xFF)});
        }
    XDestroyImage(image);
    return shot;
}

// The GL window our program made inside the panel: the deepest first child.
::Window GLWindowIn(::Window panel) {
    Display* d = xvfb::TheServer().Dpy;
    ::Window w = panel;
    for (;;) {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, w, &root, &parent, &children, &count)) return 0;
        const ::Window next = count ? children[0] : 0;
        if (children) XFree(children);
        if (!next) return w == panel ? 0 : w;
        w = next;
    }
}

// The program in the settings role with the real dialog; `script` steps run
// from GTK's loop in order, each until it returns true, each within a
// generous deadline.
class SettingsDialogGtkTest : public ::testing::Test {
protected:
    using Step = std::function<bool()>;

    void SetUp() override {
        ASSERT_EQ(xvfb::TheServer().Error, "");
        ASSERT_TRUE(platform::SystemDialogs().Available());
        Config = ScratchDir("settings_dialog_gtk");
    }

    void Run(std::vector<Step> script) {
        TScopedEnv config("XDG_CONFIG_HOME", Config.c_str());
        TProgramOptions options = ParseProgramOptions({"-c"});
        ASSERT_TRUE(options.SettingsDialog);
        platform::Services services = platform::SystemServices();
        services.Application = &platform::SystemDialogs().Application();
        // The host's own values go to the machine-wide folder: a scratch one,
        // so that runs neither share them nor change the machine's.
        platform::IniSettingsStore store(Config.string(), (Config / "machine").string());
        services.Settings = &store;
        program = std::make_unique<TAquariumProgram>(options, ".EXE", services);
        form = std::make_unique<TFormSettings>(*program, platform::SystemDialogs());
        Script = std::move(script);
        Next = 0;
        Deadline = g_get_monotonic_time() + 90 * G_TIME_SPAN_SECOND;
        const guint tick = g_timeout_add(20, &SettingsDialogGtkTest::OnTick, this);
        program->Run();
        g_source_remove(tick);
        EXPECT_EQ(Next, Script.size()) << "the script stopped at step " << Next;
        form.reset();
        program.reset();
    }

    static gboolean OnTick(gpointer data) {
        auto* self = static_cast<SettingsDialogGtkTest*>(data);
        if (self->Next >= self->Script.size()) return G_SOURCE_CONTINUE;
        if (self->Script[self->Next]()) {
            ++self->Next;
            self->Deadline = g_get_monotonic_time() + 90 * G_TIME_SPAN_SECOND;
        } else if (g_get_monotonic_time() > self->Deadline) {
            ADD_FAILURE() << "step " << self->Next << " did not come about in time";
            self->program->CloseApplication();
            self->Next = self->Script.size() + 1;
        }
        return G_SOURCE_CONTINUE;
    }

    GtkWidget* Widget(const std::string& name) {
        GList* windows = gtk_window_list_toplevels();
        GtkWidget* found = nullptr;
        for (GList* w = windows; w && !found; w = w->next)
            if (std::string("FormSettings") == gtk_widget_get_name(GTK_WIDGET(w->data)))
                found = FindNamed(GTK_WIDGET(w->data), name);
        g_list_free(windows);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    Step Ready() {
        return [this] { return form->DialogReady(); };
    }
    // Frames drawn since this step began.
    Step Frames(int64_t count) {
        auto start = std::make_shared<int64_t>(-1);
        return [this, start, count] {
            if (*start < 0) *start = program->FramesDrawn();
            return program->FramesDrawn() >= *start + count;
        };
    }
    Step Act(std::function<void()> act) {
        return [act] {
            act();
            return true;
        };
    }
    std::string SettingsFile() { return ReadText(Config / "Tarnwick Software" / "3D Marivelle 4.conf"); }

    std::filesystem::path Config;
    std::unique_ptr<TAquariumProgram> program;
    std::unique_ptr<TFormSettings> form;
    std::vector<Step> Script;
    size_t Next = 0;
    gint64 Deadline = 0;
};

TEST_F(SettingsDialogGtkTest, WidgetsActOnTheLiveAquariumInThePanelAndOkStoresThem) {
    Shot salt, fresh;
    std::string firstSchool;
    Run({Ready(), Frames(5),
         Act([&] {
             EXPECT_EQ(gtk_window_get_title(GTK_WINDOW(gtk_widget_get_toplevel(Widget("ButtonOk")))),
                       std::string("3D Marivelle v4.0"));
             salt = Capture(GLWindowIn(gdk_x11_window_get_xid(gtk_widget_get_window(Widget("GLWindow")))));

             gtk_range_set_value(GTK_RANGE(Widget("TrackBarFishCount")), 55);
             EXPECT_EQ(program->World()->FishCount(), 55);
             EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(Widget("LabelFishCount")))), "55");

             gtk_combo_box_set_active(GTK_COMBO_BOX(Widget("ComboBoxBackgrounds")), 4);
             EXPECT_EQ(program->World()->WaterBackgroundIndex(), 4);
             EXPECT_EQ(program->World()->FishTypeIndex(), 1) << "fresh water has its own fish";

             // A click on the first school's check box, as the tree view's
             // toggle reports it.
             GtkTreeViewColumn* column = gtk_tree_view_get_column(GTK_TREE_VIEW(Widget("CheckListBoxFishes")), 0);
             GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(column));
             firstSchool = program->World()->SchoolNames.front();
             g_signal_emit_by_name(cells->data, "toggled", "0");
             g_list_free(cells);
             EXPECT_FALSE(program->World()->IsSchoolVisible(firstSchool));

             gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Widget("CheckBoxLights")), FALSE);
             EXPECT_FALSE(program->World()->UseLights());
             gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Widget("CheckBoxLights")), TRUE);
         }),
         Frames(5), Act([&] {
             fresh = Capture(GLWindowIn(gdk_x11_window_get_xid(gtk_widget_get_window(Widget("GLWindow")))));
             // A larger dialog: the panel grows and the GL window follows it.
             GtkWindow* window = GTK_WINDOW(gtk_widget_get_toplevel(Widget("GLWindow")));
             gint w = 0, h = 0;
             gtk_window_get_size(window, &w, &h);
             gtk_window_resize(window, w + 200, h + 150);
         }),
         [&] {
             GtkWidget* panel = Widget("GLWindow");
             XWindowAttributes gl{};
             const ::Window child = GLWindowIn(gdk_x11_window_get_xid(gtk_widget_get_window(panel)));
             return child && XGetWindowAttributes(xvfb::TheServer().Dpy, child, &gl) &&
                    gtk_widget_get_allocated_width(panel) > salt.Width &&
                    gtk_widget_get_allocated_height(panel) > salt.Height + 100 &&
                    gl.width == gtk_widget_get_allocated_width(panel) &&
                    gl.height == gtk_widget_get_allocated_height(panel);
         },
         Frames(3), Act([&] { gtk_button_clicked(GTK_BUTTON(Widget("ButtonOk"))); })});

    // The panel shows the aquarium: a bright surface over darker water, a
    // sea bed of another colour below; the fresh water looks different from
    // the salt water.
    for (const Shot* shot : {&salt, &fresh}) {
        ASSERT_GT(shot->Width, 100);
        EXPECT_GT(shot->Luminance(0, 1), 40) << "the panel is black";
        EXPECT_GT(shot->Luminance(0, 0.06), shot->Luminance(0.25, 0.4) + 10) << "no bright surface";
        double seaBed = 0;
        for (int c = 0; c < 3; ++c) seaBed += std::abs(shot->Luminance(0.88, 1, c) - shot->Luminance(0.25, 0.4, c));
        EXPECT_GT(seaBed, 60) << "no sea bed below the water";
    }
    double difference = 0;
    for (size_t i = 0; i < std::min(salt.Pixels.size(), fresh.Pixels.size()); ++i)
        for (size_t c = 0; c < 3; ++c) difference += std::abs(salt.Pixels[i][c] - fresh.Pixels[i][c]);
    EXPECT_GT(difference / static_cast<double>(salt.Pixels.size()), 20) << "the water did not change";

    const std::string stored = SettingsFile();
    EXPECT_NE(stored.find("FishCount=55"), std::string::npos) << stored;
    EXPECT_NE(stored.find("WaterBackgroundIndex=4"), std::string::npos) << stored;
}

TEST_F(SettingsDialogGtkTest, CancelAndTheCloseBoxWriteNothing) {
    Run({Ready(), Act([&] {
             gtk_range_set_value(GTK_RANGE(Widget("TrackBarFishCount")), 77);
             EXPECT_EQ(program->World()->FishCount(), 77);
             gtk_button_clicked(GTK_BUTTON(Widget("ButtonCancel")));
         })});
    EXPECT_EQ(SettingsFile().find("FishCount="), std::string::npos);

    Run({Ready(), Act([&] {
             gtk_range_set_value(GTK_RANGE(Widget("TrackBarFishCount")), 77);
             GtkWidget* window = gtk_widget_get_toplevel(Widget("ButtonOk"));
             GdkEvent* close = gdk_event_new(GDK_DELETE);
             close->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
             gtk_main_do_event(close);
             gdk_event_free(close);
         })});
    EXPECT_EQ(SettingsFile().find("FishCount="), std::string::npos);
}

// A client run to its end within 30 s; its exit code, -1 when it hung.
int Tool(const std::vector<std::string>& argv, const std::filesystem::path& dir) {
    const char* path = std::getenv("PATH");
    const pid_t pid = program_runner::Start(
        argv, {"DISPLAY=" + xvfb::TheServer().Name, "PATH=" + std::string(path ? path : "/usr/bin:/bin")}, dir,
        dir / "tool.out", dir / "tool.err");
    const int code = pid < 0 ? -1 : program_runner::WaitForExit(pid, std::chrono::seconds(30));
    if (code != program_runner::StillRunning) return code;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

// The built program as a person uses it: the dialog comes up with its
// caption, the fish slider is reached by its access key and moved by three
// steps, Return presses OK, and the settings file has the new count.
TEST(SettingsProgramTest, TheKeyboardMovesTheFishSliderAndReturnSavesIt) {
    ASSERT_EQ(xvfb::TheServer().Error, "");
    const std::filesystem::path dir = ScratchDir("settings_program");
    const pid_t pid = program_runner::Start({MARIVELLE_EXE, "-c"}, program_runner::ProgramEnvironment(dir), dir,
                                            dir / "stdout.txt", dir / "stderr.txt");
    ASSERT_GT(pid, 0);
    // The caption carries the version once the dialog is filled.
    std::string window;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (window.empty() && std::chrono::steady_clock::now() < deadline &&
           program_runner::WaitForExit(pid, std::chrono::milliseconds(0)) == program_runner::StillRunning) {
        if (Tool({"xdotool", "search", "--onlyvisible", "--name", "^3D Marivelle v4\\.0$"}, dir) == 0) {
            window = ReadText(dir / "tool.out");
            window = window.substr(0, window.find('\n'));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ASSERT_FALSE(window.empty()) << ReadText(dir / "stderr.txt");
    EXPECT_EQ(Tool({"xdotool", "windowfocus", "--sync", window}, dir), 0);
    EXPECT_EQ(Tool({"xdotool", "key", "--window", window, "alt+f", "Right", "Right", "Right", "Return"}, dir), 0);
    const int code = program_runner::WaitForExit(pid, std::chrono::seconds(60));
    if (code == program_runner::StillRunning) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    EXPECT_EQ(code, 0) << ReadText(dir / "stderr.txt");
    const std::string stored = ReadText(dir / "config" / "Tarnwick Software" / "3D Marivelle 4.conf");
    EXPECT_NE(stored.find("FishCount=23"), std::string::npos) << stored;
}

// A toplevel of that name, when it is on the screen.
GtkWidget* ShownDialog(const std::string& name) {
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* w = windows; w && !found; w = w->next)
        if (name == gtk_widget_get_name(GTK_WIDGET(w->data)) && gtk_widget_get_mapped(GTK_WIDGET(w->data)))
            found = GTK_WIDGET(w->data);
    g_list_free(windows);
    return found;
}

// With $MARIVELLE_SHOTS set, the screen is kept as <that>-<name>.png for a
// person to look at.
void KeepScreen(const std::string& name) {
    const char* prefix = std::getenv("MARIVELLE_SHOTS");
    if (!prefix || !*prefix) return;
    GdkWindow* root = gdk_get_default_root_window();
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root), gdk_window_get_height(root));
    ASSERT_NE(shot, nullptr);
    EXPECT_TRUE(gdk_pixbuf_save(shot, (std::string(prefix) + "-" + name + ".png").c_str(), "png", nullptr, nullptr));
    g_object_unref(shot);
}

// Runs a click whose handler runs a modal loop of its own from a separate
// source, so that the script's steps go on inside that loop.
void ClickLater(GtkWidget* button) {
    g_idle_add(
        [](gpointer data) {
            gtk_button_clicked(GTK_BUTTON(data));
            return G_SOURCE_REMOVE;
        },
        button);
}

TEST_F(SettingsDialogGtkTest, TheAdvancedDialogRunsOverTheMainOneAndItsOkActsOnTheRunningProgram) {
    GtkWidget* advanced = nullptr;
    GtkWidget* chooser = nullptr;
    TGLClock* clock = nullptr;
    TSceneSound* sound = nullptr;
    int64_t framesBefore = 0;
    const auto in = [&](const std::string& name) {
        GtkWidget* w = advanced ? FindNamed(advanced, name) : nullptr;
        EXPECT_NE(w, nullptr) << name;
        return w;
    };
    const auto open = [&] { return (advanced = ShownDialog("FormAdvancedSettings")) != nullptr; };
    Run({Ready(), Frames(3), Act([&] {
             clock = dynamic_cast<TGLClock*>(program->Scene()->FindObject("GLClock"));
             sound = dynamic_cast<TSceneSound*>(program->Scene()->FindObject("Sounds/Waves Sound"));
             ASSERT_NE(clock, nullptr);
             ASSERT_NE(sound, nullptr);
             ASSERT_TRUE(sound->Visible());
             ClickLater(Widget("ButtonAdvanced"));
         }),
         open,
         Act([&] {
             framesBefore = program->FramesDrawn();
             EXPECT_EQ(std::string(gtk_window_get_title(GTK_WINDOW(advanced))), "Advanced Settings");
             EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(advanced)));
             EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(advanced)),
                       GTK_WINDOW(gtk_widget_get_toplevel(Widget("ButtonOk"))));
             EXPECT_EQ(std::string(gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(in("ComboBoxMultiMonitors")))),
                       "Primary Monitor");
         }),
         // The preview keeps moving behind the modal dialog.
         Frames(3), Act([&] {
             EXPECT_GT(program->FramesDrawn(), framesBefore);
             KeepScreen("advanced");
             gtk_combo_box_set_active(GTK_COMBO_BOX(in("ComboBoxPowerOff")), 11);
             gtk_combo_box_set_active(GTK_COMBO_BOX(in("ComboBoxClockMode")), 1);
             EXPECT_EQ(clock->ClockMode, 0) << "the clock waits for OK";
             // Sounds act at once: the second sound's check box, clicked.
             GtkTreeViewColumn* column = gtk_tree_view_get_column(GTK_TREE_VIEW(in("CheckListBoxSounds")), 0);
             GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(column));
             g_signal_emit_by_name(cells->data, "toggled", "1");
             g_list_free(cells);
             EXPECT_FALSE(sound->Visible());
             ClickLater(in("ShapeColor"));
         }),
         [&] {
             GList* windows = gtk_window_list_toplevels();
             for (GList* w = windows; w && !chooser; w = w->next)
                 if (GTK_IS_COLOR_CHOOSER_DIALOG(w->data) && gtk_widget_get_mapped(GTK_WIDGET(w->data)))
                     chooser = GTK_WIDGET(w->data);
             g_list_free(windows);
             return chooser != nullptr;
         },
         Frames(2), Act([&] {
             KeepScreen("colour-chooser");
             const GdkRGBA blue{0.2, 0.4, 0.6, 1.0};
             gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(chooser), &blue);
             gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_OK);
         }),
         Frames(2), Act([&] {
             KeepScreen("advanced-changed");
             gtk_button_clicked(GTK_BUTTON(in("ButtonOk")));
         }),
         [&] { return !ShownDialog("FormAdvancedSettings") && program->PowerOffIndex() == 11; },
         Act([&] {
             EXPECT_EQ(clock->ClockMode, 1);
             EXPECT_TRUE(clock->Visible());
             EXPECT_EQ(clock->ClockColor & 0x00FFFFFFu, 0x00996633u);
             EXPECT_FALSE(sound->Visible());
         }),
         Frames(3), Act([&] {
             KeepScreen("main-after");
             gtk_button_clicked(GTK_BUTTON(Widget("ButtonOk")));
         })});
    const std::string stored = SettingsFile();
    EXPECT_NE(stored.find("Clock Mode=1"), std::string::npos) << stored;
    EXPECT_NE(stored.find("Clock Color=51,102,153,"), std::string::npos) << stored;
}

}  // namespace
