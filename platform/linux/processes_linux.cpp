// Child processes with posix_spawn (the program may have threads, so no
// fork), priorities as nice values, documents through GIO's default
// applications, libraries with dlopen.
#include "platform/processes.h"

#include <dlfcn.h>
#include <gio/gio.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace platform {
namespace {

// Blank-separated words; a double-quoted stretch keeps its blanks.
std::vector<std::string> SplitParameters(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

int NiceValue(uint32_t priorityClass) {
    switch (priorityClass) {
        case priority::Idle: return 19;
        case priority::High: return -10;
        case priority::RealTime: return -20;
        default: return 0;
    }
}

class LinuxChild final : public IChildProcess {
public:
    explicit LinuxChild(pid_t pid) : Pid(pid) {}
    // A child that has ended is reaped here; one still running is left to
    // run on (it becomes init's when we end).
    ~LinuxChild() override {
        if (!Ended) waitpid(Pid, nullptr, WNOHANG);
    }

    uint32_t ExitCode() override {
        if (Ended) return Code;
        int status = 0;
        const pid_t done = waitpid(Pid, &status, WNOHANG);
        if (done == 0) return StillActive;
        Ended = true;
        if (done < 0)
            Code = 1;
        else if (WIFEXITED(status))
            Code = static_cast<uint32_t>(WEXITSTATUS(status));
        else
            Code = 128u + static_cast<uint32_t>(WTERMSIG(status));
        return Code;
    }

private:
    pid_t Pid;
    bool Ended = false;
    uint32_t Code = 0;
};

class LinuxProcesses final : public IProcesses {
public:
    std::unique_ptr<IChildProcess> Create(const ProcessStart& start, std::string& error) override {
        std::vector<std::string> args = SplitParameters(start.Parameters);
        args.insert(args.begin(), start.File);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!start.Directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, start.Directory.c_str());
        pid_t pid = 0;
        const int result = posix_spawn(&pid, start.File.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (result != 0) {
            error = std::strerror(result);
            return nullptr;
        }
        // Set just after the start; the child's first moments do not matter.
        if (const int nice = NiceValue(start.PriorityClass)) setpriority(PRIO_PROCESS, static_cast<id_t>(pid), nice);
        return std::make_unique<LinuxChild>(pid);
    }

    void SetOwnPriority(uint32_t priorityClass) override {
        setpriority(PRIO_PROCESS, 0, NiceValue(priorityClass));
    }

    bool OpenDocument(const std::string& fileOrUri, std::string& error) override {
        // A path becomes a file: address; an address is taken as it is.
        gchar* uri = nullptr;
        if (!fileOrUri.empty() && fileOrUri[0] == '/') {
            GError* failure = nullptr;
            uri = g_filename_to_uri(fileOrUri.c_str(), nullptr, &failure);
            if (!uri) {
                error = failure ? failure->message : "not a file name";
                if (failure) g_error_free(failure);
                return false;
            }
        } else {
            uri = g_strdup(fileOrUri.c_str());
        }
        GError* failure = nullptr;
        const bool opened = g_app_info_launch_default_for_uri(uri, nullptr, &failure);
        g_free(uri);
        if (!opened) {
            error = failure ? failure->message : "no application opens it";
            if (failure) g_error_free(failure);
        }
        return opened;
    }

    uintptr_t LoadLibrary(const std::string& fileName) override {
        return reinterpret_cast<uintptr_t>(dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL));
    }
    void* LibraryEntry(uintptr_t library, const std::string& name) override {
        return library ? dlsym(reinterpret_cast<void*>(library), name.c_str()) : nullptr;
    }
    void FreeLibrary(uintptr_t library) override {
        if (library) dlclose(reinterpret_cast<void*>(library));
    }
};

}  // namespace

IProcesses& SystemProcesses() {
    static LinuxProcesses processes;
    return processes;
}

}  // namespace platform
