// Entry point: the aquarium in the role its command line asks for.
#include "app/program.h"
#include "app/settings_form.h"
#include "app/xscreensaver_setup.h"
#include "core/strutil.h"
#include "platform/command_line.h"
#include "platform/dialog_view.h"
#include "platform/gl_window.h"
#include "platform/hidden_modes.h"
#include "render/pass_timer.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

// The program file's extension, upper-cased; a file without one (as
// programs are on Linux) counts as ".EXE".
std::string Extension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return ".EXE";
    return str::UpperCase(name.substr(dot));
}

// The settings dialog with the aquarium in its preview panel, on the
// toolkit's own loop.
int RunSettings(const std::string& name, const TProgramOptions& options, const std::string& ext) {
    platform::IDialogSystem& dialogs = platform::SystemDialogs();
    if (!dialogs.Available()) {
        std::fprintf(stderr, "%s: the settings need a desktop session to show them on (is DISPLAY right?)\n",
                     name.c_str());
        return 2;
    }
    platform::Services services = platform::SystemServices();
    services.Application = &dialogs.Application();
    TAquariumProgram program(options, ext, services);
    TFormSettings form(program, dialogs);
    return program.Run();
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto helper = platform::RunHiddenMode(argc, argv)) return *helper;
    const std::vector<std::string> commandLine = platform::ProgramArguments(argc, argv);
    const std::string name = commandLine.empty() ? "marivelle" : std::string(str::ExtractFileName(commandLine[0]));
    const char* saverWindow = std::getenv("XSCREENSAVER_WINDOW");
    const TProgramOptions options =
        ParseProgramOptions(std::vector<std::string>(commandLine.begin() + (commandLine.empty() ? 0 : 1), commandLine.end()),
                            saverWindow ? saverWindow : "");
    if (!options.Error.empty()) {
        std::fprintf(stderr, "%s: %s\n\n%s", name.c_str(), options.Error.c_str(), ProgramUsage(name).c_str());
        return 2;
    }
    if (options.Help) {
        std::fputs(ProgramUsage(name).c_str(), stdout);
        return 0;
    }
    if (options.InstallXScreenSaver) {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            std::fprintf(stderr, "%s: HOME is not set, so there is no ~/.xscreensaver to change\n", name.c_str());
            return 1;
        }
        try {
            std::puts(InstallXScreenSaverEntry(std::string(home) + "/.xscreensaver").c_str());
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), e.what());
            return 1;
        }
    }
    try {
        if (options.SettingsDialog) return RunSettings(name, options, Extension(name));
        TAquariumProgram program(options, Extension(name));
        if (program.Role() == srPassword) {
            // The system's own dialog ran already, where there is one.
            if (!program.PasswordChangeFound())
                std::puts("3D Marivelle keeps no password of its own: your desktop's screen locker handles passwords.");
            return 0;
        }
        // A preview or a daemon's window that does not exist has nothing to
        // draw into.
        const uintptr_t parent = program.Role() == srPreview || program.DaemonWindow ? program.ParentHandle() : 0;
        int32_t width = 0, height = 0;
        if (parent && !platform::SystemGLWindows().WindowSize(parent, width, height)) {
            std::fprintf(stderr, "%s: there is no window 0x%lx to draw into (is DISPLAY right?)\n", name.c_str(),
                         static_cast<unsigned long>(parent));
            return 2;
        }
        if (program.Role() == srPreview && !parent) {
            std::fprintf(stderr, "%s: the preview needs the id of the window to draw into\n", name.c_str());
            return 2;
        }
        const int code = program.Run();
        if (options.Frames > 0 && program.FramesDrawn() > 0) {
            std::printf("%lld frames; first frame %u ms after start", static_cast<long long>(program.FramesDrawn()),
                        program.StartupMilliseconds());
            // The frames after the first, over the time they took.
            const uint32_t ms = program.RunMilliseconds();
            if (program.FramesDrawn() > 1 && ms > 0)
                std::printf("; then %.1f fps over %u ms", 1000.0 * static_cast<double>(program.FramesDrawn() - 1) / ms,
                            ms);
            std::printf("\n");
        }
        if (options.PassTimes) ThePassTimer().Print(options.Width, options.Height);
        return code;
    } catch (const EConvertError& e) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "3D Marivelle: %s\n", e.what());
        return 1;
    }
}
