#include "app/execute_pro.h"

#include "app/application.h"
#include "core/errors.h"
#include "core/strutil.h"
#include "platform/program_paths.h"

namespace {

// The system's words about a failure are cut to this length.
constexpr size_t kMessageLimit = 512;
// How long the wait sleeps between looks at the child.
constexpr uint32_t kWaitSliceMs = 100;

bool NamesAProgram(const std::string& fileName) { return str::LowerCase(fileName).find(".exe") != std::string::npos; }

}  // namespace

TCommandLineParts SplitCommandLine(const std::string& commandLine) {
    TCommandLineParts parts;
    parts.FileName = commandLine;
    for (size_t blank = commandLine.find(' '); blank != std::string::npos; blank = commandLine.find(' ', blank + 1)) {
        const std::string_view head(commandLine.data(), blank);
        const size_t folderEnd = head.find_last_of(platform::PathSeparators);
        const std::string_view name = folderEnd == std::string_view::npos ? head : head.substr(folderEnd + 1);
        if (name.find('.') == std::string_view::npos) continue;
        parts.FileName = std::string(head);
        parts.Parameters = commandLine.substr(blank + 1);
        break;
    }
    const size_t folderEnd = parts.FileName.find_last_of(platform::PathSeparators);
    if (folderEnd != std::string::npos) parts.Folder = parts.FileName.substr(0, folderEnd + 1);
    return parts;
}

void TExecutePro::SetCommandLine(const std::string& commandLine) {
    FCommandLine = commandLine;
    FParts = SplitCommandLine(commandLine);
    if (DefaultDirectory.empty()) DefaultDirectory = FParts.Folder;
}

uint32_t TExecutePro::PriorityClass(TExecPriority priority) {
    switch (priority) {
        case epHigh: return platform::priority::High;
        case epIdle: return platform::priority::Idle;
        case epRealTime: return platform::priority::RealTime;
        case epNormal: break;
    }
    return platform::priority::Normal;
}

uint32_t TExecutePro::ShowCommand(TExecWindowStyle style) {
    switch (style) {
        case ewHide: return platform::show::Hide;
        case ewMaximize: return platform::show::Maximize;
        case ewMinimize: return platform::show::Minimize;
        case ewShow: break;
    }
    return platform::show::Normal;
}

void TExecutePro::Execute() {
    if (Mode == emProcess || (Mode == emAuto && NamesAProgram(FParts.FileName)))
        ProcessExecute();
    else
        ShellExecute();
}

void TExecutePro::ProcessExecute() {
    platform::ProcessStart start;
    start.File = FParts.FileName;
    start.Parameters = FParts.Parameters;
    start.Directory = DefaultDirectory;
    start.PriorityClass = PriorityClass(Priority);
    start.ShowCommand = ShowCommand(WindowStyle);
    std::string why;
    const std::unique_ptr<platform::IChildProcess> child = Processes.Create(start, why);
    if (!child) {
        if (why.size() > kMessageLimit) why.resize(kMessageLimit);
        App.HandleException(Exception("TExecutePro.ProcessExecute error:  CommandLine: " + FCommandLine +
                                      " DefaultDirectory: " + DefaultDirectory + " Message: " + why));
        return;
    }
    if (Wait) WaitFor(*child);
}

void TExecutePro::ShellExecute() {
    // The shell starts a program with its parameters; the desktop's opener
    // knows documents only, so a program is started here as the shell would.
    if (NamesAProgram(FParts.FileName)) {
        ProcessExecute();
        return;
    }
    std::string why;
    if (!Processes.OpenDocument(FParts.FileName, why)) {
        if (why.size() > kMessageLimit) why.resize(kMessageLimit);
        App.HandleException(Exception("TExecutePro.ShellExecute error:  CommandLine: " + FCommandLine +
                                      " Message: " + why));
    }
}

void TExecutePro::WaitFor(platform::IChildProcess& child) {
    // Frames go on meanwhile: the application's idle work runs on each pass.
    while (child.ExitCode() == platform::StillActive && !App.Terminating()) {
        App.ProcessMessages();
        Clock.Sleep(kWaitSliceMs);
    }
}
