// Entry point: the aquarium in a window of its own until it is closed.
#include "app/program.h"
#include "core/strutil.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::string name = argc > 0 && argv[0] ? std::string(str::ExtractFileName(argv[0])) : "marivelle";
    const TProgramOptions options = ParseProgramOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    if (!options.Error.empty()) {
        std::fprintf(stderr, "%s: %s\n\n%s", name.c_str(), options.Error.c_str(), ProgramUsage(name).c_str());
        return 2;
    }
    if (options.Help) {
        std::fputs(ProgramUsage(name).c_str(), stdout);
        return 0;
    }
    try {
        TAquariumProgram program;
        program.Configure(options);
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
        return code;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "3D Marivelle: %s\n", e.what());
        return 1;
    }
}
