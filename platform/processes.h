// Other programs and documents: starting a program as a child process and
// watching it, our own scheduling priority, opening a document or address
// with the desktop's default application, and the system's own libraries
// loaded by file name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Priority classes and show commands in the Windows encoding; other systems
// map them onto what they have (on Linux: nice values; windows are the
// child's own business).
namespace priority {
inline constexpr uint32_t Normal = 0x20;
inline constexpr uint32_t Idle = 0x40;
inline constexpr uint32_t High = 0x80;
inline constexpr uint32_t RealTime = 0x100;
}  // namespace priority
namespace show {
inline constexpr uint32_t Hide = 0;
inline constexpr uint32_t Maximize = 3;
inline constexpr uint32_t Normal = 5;
inline constexpr uint32_t Minimize = 6;
}  // namespace show

// The exit code of a process that has not ended yet.
inline constexpr uint32_t StillActive = 259;

struct ProcessStart {
    std::string File;                     // the program file
    // The rest of the command line: split into arguments at blanks, a
    // double-quoted part keeping its blanks.
    std::string Parameters;
    std::string Directory;                // its working folder; empty: ours
    uint32_t PriorityClass = priority::Normal;
    uint32_t ShowCommand = show::Normal;
};

class IChildProcess {
public:
    virtual ~IChildProcess() = default;
    // StillActive while it runs; then its exit code.
    virtual uint32_t ExitCode() = 0;
};

class IProcesses {
public:
    virtual ~IProcesses() = default;
    // The started child, or nullptr with the system's words in `error`.
    virtual std::unique_ptr<IChildProcess> Create(const ProcessStart& start, std::string& error) = 0;
    // This process's own priority class; a refusal changes nothing.
    virtual void SetOwnPriority(uint32_t priorityClass) = 0;
    // Opens a file or an address with the desktop's default application;
    // false with the reason in `error`.
    virtual bool OpenDocument(const std::string& fileOrUri, std::string& error) = 0;

    // A library of the system by its full file name; 0 when it cannot be
    // loaded. Entries are looked up in it until it is freed.
    virtual uintptr_t LoadLibrary(const std::string& fileName) = 0;
    virtual void* LibraryEntry(uintptr_t library, const std::string& name) = 0;
    virtual void FreeLibrary(uintptr_t library) = 0;
};

IProcesses& SystemProcesses();

}  // namespace platform
