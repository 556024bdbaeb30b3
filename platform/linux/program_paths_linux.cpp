#include <unistd.h>

#include <string>
#include <vector>

#include "platform/program_paths.h"

namespace platform {
namespace {

class LinuxProgramPaths final : public IProgramPaths {
public:
    std::string ExecutablePath() override {
        std::vector<char> buffer(256);
        for (;;) {
            ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
            if (n < 0) return {};
            if (static_cast<size_t>(n) < buffer.size()) {
                std::string path(buffer.data(), static_cast<size_t>(n));
                // The file was replaced while we run; its old name is still ours.
                constexpr std::string_view deleted = " (deleted)";
                if (path.size() > deleted.size() && path.ends_with(deleted))
                    path.resize(path.size() - deleted.size());
                return path;
            }
            if (buffer.size() >= 65536) return {};
            buffer.resize(buffer.size() * 2);
        }
    }

    std::string SystemPath() override { return "/usr/lib"; }
    std::string WindowsPath() override { return "/usr"; }
};

}  // namespace

IProgramPaths& SystemProgramPaths() {
    static LinuxProgramPaths paths;
    return paths;
}

}  // namespace platform
