// Runs the built program (MARIVELLE_EXE) as a child process on the tests'
// Xvfb server, with its home, settings and lock folders inside a folder of
// the test's own, so runs never meet the user's files or each other.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Last: the X headers define macros that clash with the ones above.
#include "render/xvfb_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace program_runner {

struct RunResult {
    int ExitCode = -1;  // -1 when it did not end on its own
    std::string Out, Err;
};

inline std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The program's environment for a run in `dir`: its home, settings and
// runtime folders inside it, the tests' display (or `display` when given),
// the rest inherited.
inline std::vector<std::string> ProgramEnvironment(const std::filesystem::path& dir, const std::string& display = "") {
    namespace fs = std::filesystem;
    const fs::path home = dir / "home", config = dir / "config", machine = dir / "machine", runtime = dir / "run";
    fs::create_directories(home);
    fs::create_directories(config);
    fs::create_directories(machine);
    fs::create_directories(runtime);
    chmod(runtime.c_str(), 0700);
    std::vector<std::string> env = {"DISPLAY=" + (display.empty() ? xvfb::TheServer().Name : display),
                                    "HOME=" + home.string(), "XDG_CONFIG_HOME=" + config.string(),
                                    "XDG_CONFIG_DIRS=" + machine.string(), "XDG_RUNTIME_DIR=" + runtime.string()};
    for (char** e = environ; *e; ++e) {
        std::string_view entry(*e);
        if (entry.starts_with("DISPLAY=") || entry.starts_with("HOME=") || entry.starts_with("XDG_")) continue;
        env.emplace_back(entry);
    }
    return env;
}

// Starts argv (argv[0] looked up in PATH) with `env` in the folder `dir`,
// its output going to the files `out` and `err`; its process id, -1 when
// it could not be started.
inline pid_t Start(std::vector<std::string> argv, std::vector<std::string> env, const std::filesystem::path& dir,
                   const std::filesystem::path& out, const std::filesystem::path& err) {
    std::vector<char*> argp, envp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0) _exit(126);
        dup2(o, 1);
        dup2(e, 2);
        execvpe(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    return pid;
}

inline constexpr int StillRunning = -2;

// Waits up to `limit` for the child `pid` to end: its exit code, -1 when a
// signal ended it, StillRunning when it has not ended in time.
inline int WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (done == 0) return StillRunning;
    return done == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs the program with args in `dir` (its working folder, with "home",
// "config" and "run" inside) and waits up to `limit` for it to end.
// `display` replaces the test server's name when given.
inline RunResult RunProgram(const std::vector<std::string>& args, const std::filesystem::path& dir,
                            std::chrono::seconds limit = std::chrono::seconds(120), const std::string& display = "") {
    RunResult result;
    std::vector<std::string> argv = {MARIVELLE_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::filesystem::path out = dir / "stdout.txt", err = dir / "stderr.txt";
    const pid_t pid = Start(argv, ProgramEnvironment(dir, display), dir, out, err);
    if (pid < 0) {
        result.Err = "fork failed\n";
        return result;
    }
    result.ExitCode = WaitForExit(pid, limit);
    if (result.ExitCode == StillRunning) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        result.ExitCode = -1;
        result.Err = "killed after " + std::to_string(limit.count()) + " s\n";
    }
    result.Out = ReadAll(out);
    result.Err += ReadAll(err);
    return result;
}

}  // namespace program_runner
