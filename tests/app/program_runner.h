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

// Runs the program with args in `dir` (its working folder, with "home",
// "config" and "run" inside) and waits up to `limit` for it to end.
// `display` replaces the test server's name when given.
inline RunResult RunProgram(const std::vector<std::string>& args, const std::filesystem::path& dir,
                            std::chrono::seconds limit = std::chrono::seconds(120), const std::string& display = "") {
    namespace fs = std::filesystem;
    RunResult result;
    const fs::path home = dir / "home", config = dir / "config", runtime = dir / "run";
    fs::create_directories(home);
    fs::create_directories(config);
    fs::create_directories(runtime);
    chmod(runtime.c_str(), 0700);
    std::vector<std::string> env = {"DISPLAY=" + (display.empty() ? xvfb::TheServer().Name : display),
                                    "HOME=" + home.string(),
                                    "XDG_CONFIG_HOME=" + config.string(), "XDG_RUNTIME_DIR=" + runtime.string()};
    for (char** e = environ; *e; ++e) {
        std::string_view entry(*e);
        if (entry.starts_with("DISPLAY=") || entry.starts_with("HOME=") || entry.starts_with("XDG_")) continue;
        env.emplace_back(entry);
    }
    std::vector<std::string> argv = {MARIVELLE_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp, envp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string out = (dir / "stdout.txt").string(), err = (dir / "stderr.txt").string();

    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0) _exit(126);
        dup2(o, 1);
        dup2(e, 2);
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    if (pid < 0) {
        result.Err = "fork failed\n";
        return result;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        result.Err = "killed after " + std::to_string(limit.count()) + " s\n";
    }
    if (done == pid && WIFEXITED(status)) result.ExitCode = WEXITSTATUS(status);
    result.Out = ReadAll(out);
    result.Err += ReadAll(err);
    return result;
}

}  // namespace program_runner
