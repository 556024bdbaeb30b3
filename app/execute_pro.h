// The process launcher: runs a command line as a child process or opens it
// with the desktop's default application, and can wait for the child while
// the application goes on drawing frames.
#pragma once

#include "platform/clock.h"
#include "platform/processes.h"

#include <cstdint>
#include <string>

class TCustomApplicationPro;

enum TExecMode : uint8_t { emAuto, emProcess, emShell };
enum TExecPriority : uint8_t { epNormal, epHigh, epIdle, epRealTime };
enum TExecWindowStyle : uint8_t { ewShow, ewHide, ewMaximize, ewMinimize };

// The file and the parameters of a command line. The file's name ends at
// the first blank after a "." in that name, so folders may hold blanks and
// parameters may hold dots and slashes; a name without a "." takes the
// whole line.
struct TCommandLineParts {
    std::string FileName;
    std::string Parameters;
    std::string Folder;  // the file's folder, with its last delimiter
};
TCommandLineParts SplitCommandLine(const std::string& commandLine);

class TExecutePro {
public:
    // `application` goes on with its frames while Execute waits.
    TExecutePro(TCustomApplicationPro& application, platform::IProcesses& processes, platform::IClock& clock)
        : App(application), Processes(processes), Clock(clock) {}

    TExecMode Mode = emAuto;
    TExecPriority Priority = epNormal;
    TExecWindowStyle WindowStyle = ewMinimize;
    bool Wait = true;
    std::string DefaultDirectory;

    const std::string& CommandLine() const { return FCommandLine; }
    // Also splits it, and gives DefaultDirectory the file's folder when
    // it has none.
    void SetCommandLine(const std::string& commandLine);
    const std::string& FileName() const { return FParts.FileName; }
    const std::string& Parameters() const { return FParts.Parameters; }

    // Starts the command; with Wait, returns when the child has ended or
    // the application terminates. A child that cannot be started is
    // reported through the application's exception report, not raised.
    void Execute();

    static uint32_t PriorityClass(TExecPriority priority);
    static uint32_t ShowCommand(TExecWindowStyle style);

private:
    void ProcessExecute();
    void ShellExecute();
    void WaitFor(platform::IChildProcess& child);

    TCustomApplicationPro& App;
    platform::IProcesses& Processes;
    platform::IClock& Clock;
    std::string FCommandLine;
    TCommandLineParts FParts;
};
