// Where the program and the system keep their files.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The separator of disk paths, and every character that ends a folder name.
#ifdef _WIN32
inline constexpr char PathDelimiter = '\\';
inline constexpr std::string_view PathSeparators = "\\/:";
#else
inline constexpr char PathDelimiter = '/';
inline constexpr std::string_view PathSeparators = "/";
#endif

class IProgramPaths {
public:
    virtual ~IProgramPaths() = default;
    // Full path of the running executable, long form, links resolved.
    virtual std::string ExecutablePath() = 0;
    // Folder the system's own libraries and helpers are loaded from
    // (Windows: the system folder; Linux: "/usr/lib").
    virtual std::string SystemPath() = 0;
    // Folder of the operating system's installation (Windows: the Windows
    // folder; Linux: "/usr", the read-only system tree).
    virtual std::string WindowsPath() = 0;
};

IProgramPaths& SystemProgramPaths();

}  // namespace platform
