// Entry point. Until the screen-saver host arrives, the program loads the
// scene carried in the executable and prints what it holds.
#include "app/startup.h"
#include "platform/program_paths.h"
#include "platform/services.h"
#include "scene/objects.h"
#include "scene/strutil.h"

#include <cstdio>
#include <exception>

int main() {
    try {
        std::string exe = platform::SystemServices().Paths->ExecutablePath();
        auto scene = LoadMainScene(std::string(str::ExtractFilePath(exe)), nullptr);
        std::fputs(DescribeScene(*scene).c_str(), stdout);
        std::printf("%d objects in the scene\n", scene->LiveCount());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "3D Marivelle: %s\n", e.what());
        return 1;
    }
}
