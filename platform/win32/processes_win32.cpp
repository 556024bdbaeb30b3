// Child processes with CreateProcess, documents through the shell's "open",
// libraries with LoadLibrary. Text is UTF-8 inside and wide at the calls.
#include "platform/processes.h"

#include <windows.h>
#include <shellapi.h>
// The interface's own names, not the system's wide-or-narrow macros.
#undef LoadLibrary

#include <vector>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

class Win32Child final : public IChildProcess {
public:
    explicit Win32Child(HANDLE process) : Process(process) {}
    ~Win32Child() override { CloseHandle(Process); }

    uint32_t ExitCode() override {
        DWORD code = 0;
        if (!GetExitCodeProcess(Process, &code)) return 1;
        return code;
    }

private:
    HANDLE Process;
};

// The file quoted, so that blanks in its folder keep it one argument.
std::wstring CommandLine(const ProcessStart& start) {
    std::wstring line = L"\"" + win32::Widen(start.File) + L"\"";
    if (!start.Parameters.empty()) line += L" " + win32::Widen(start.Parameters);
    return line;
}

class Win32Processes final : public IProcesses {
public:
    std::unique_ptr<IChildProcess> Create(const ProcessStart& start, std::string& error) override {
        std::wstring line = CommandLine(start);
        std::vector<wchar_t> writable(line.begin(), line.end());
        writable.push_back(0);
        const std::wstring file = win32::Widen(start.File);
        const std::wstring folder = win32::Widen(start.Directory);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = static_cast<WORD>(start.ShowCommand);
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(file.c_str(), writable.data(), nullptr, nullptr, FALSE, start.PriorityClass, nullptr,
                            folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
            error = win32::ErrorText(GetLastError());
            return nullptr;
        }
        CloseHandle(pi.hThread);
        return std::make_unique<Win32Child>(pi.hProcess);
    }

    void SetOwnPriority(uint32_t priorityClass) override { SetPriorityClass(GetCurrentProcess(), priorityClass); }

    bool OpenDocument(const std::string& fileOrUri, std::string& error) override {
        // Results above 32 mean success; the rest are old error numbers.
        const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", win32::Widen(fileOrUri).c_str(),
                                                                    nullptr, nullptr, SW_SHOWNORMAL));
        if (result > 32) return true;
        error = win32::ErrorText(result == 0 ? ERROR_NOT_ENOUGH_MEMORY : static_cast<DWORD>(result));
        return false;
    }

    uintptr_t LoadLibrary(const std::string& fileName) override {
        return reinterpret_cast<uintptr_t>(LoadLibraryW(win32::Widen(fileName).c_str()));
    }
    void* LibraryEntry(uintptr_t library, const std::string& name) override {
        if (!library) return nullptr;
        return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(library), name.c_str()));
    }
    void FreeLibrary(uintptr_t library) override {
        if (library) ::FreeLibrary(reinterpret_cast<HMODULE>(library));
    }
};

}  // namespace

IProcesses& SystemProcesses() {
    static Win32Processes processes;
    return processes;
}

}  // namespace platform
