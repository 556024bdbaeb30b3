#include "platform/program_paths.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

// The long form of a path: each short (8.3) component spelled out.
std::wstring LongPath(const std::wstring& path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return path;
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(n + 1);
    }
}

// A folder a "get directory" call fills in, which says how much room it
// needs when the buffer is too small.
template <class Get>
std::string Folder(Get get) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const UINT n = get(buffer.data(), static_cast<UINT>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return win32::Narrow(std::wstring_view(buffer.data(), n));
        buffer.resize(n + 1);
    }
}

class Win32ProgramPaths final : public IProgramPaths {
public:
    std::string ExecutablePath() override {
        // The call truncates without saying how much room it needs.
        std::vector<wchar_t> buffer(MAX_PATH);
        for (;;) {
            const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (n == 0) return {};
            if (n < buffer.size()) return win32::Narrow(LongPath(std::wstring(buffer.data(), n)));
            if (buffer.size() >= 32768) return {};
            buffer.resize(buffer.size() * 2);
        }
    }

    std::string SystemPath() override { return Folder(GetSystemDirectoryW); }
    std::string WindowsPath() override { return Folder(GetWindowsDirectoryW); }
};

}  // namespace

IProgramPaths& SystemProgramPaths() {
    static Win32ProgramPaths paths;
    return paths;
}

}  // namespace platform
