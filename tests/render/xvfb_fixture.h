// A private Xvfb server for a rendering test executable, and a window with
// an active GL context on it whose frame buffer the test reads back.
//
// Include it after GoogleTest and our own headers: the X headers define
// macros (None, Bool, Status, ...) that would break them.
#pragma once

#include <gtest/gtest.h>

#include "render/gl_table.h"
#include "render/opengl.h"

#include <X11/Xlib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace xvfb {

// The server; its display becomes $DISPLAY while it runs.
struct Server {
    pid_t Pid = -1;
    std::string Error;
    std::string Name;  // ":N"
    Display* Dpy = nullptr;

    // extra: more Xvfb arguments, such as further screens and "+xinerama".
    void Start(int width, int height, const std::vector<std::string>& extra = {}) {
        int fds[2];
        if (pipe(fds) != 0) {
            Error = "pipe failed";
            return;
        }
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        Pid = fork();
        if (Pid == 0) {
            close(fds[0]);
            int null = open("/dev/null", O_WRONLY);
            if (null >= 0) {
                dup2(null, 1);
                dup2(null, 2);
            }
            std::string fd = std::to_string(fds[1]);
            std::vector<std::string> args = {"Xvfb", "-displayfd", fd, "-screen", "0", screen, "-nolisten", "tcp"};
            args.insert(args.end(), extra.begin(), extra.end());
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execvp("Xvfb", argv.data());
            _exit(127);
        }
        close(fds[1]);
        if (Pid < 0) {
            close(fds[0]);
            Error = "fork failed";
            return;
        }
        // Xvfb writes its display number once it accepts connections.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (poll(&p, 1, 30000) > 0) {
            char c;
            if (read(fds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        close(fds[0]);
        if (number.empty()) {
            Error = "Xvfb could not be started (is the xvfb package installed?)";
            return;
        }
        Name = ":" + number;
        setenv("DISPLAY", Name.c_str(), 1);
        Dpy = XOpenDisplay(Name.c_str());
        if (!Dpy) Error = "cannot connect to the Xvfb server at " + Name;
    }

    void Stop() {
        if (Dpy) XCloseDisplay(Dpy);
        Dpy = nullptr;
        if (Pid > 0) {
            kill(Pid, SIGTERM);
            waitpid(Pid, nullptr, 0);
        }
        Pid = -1;
    }
};

inline Server& TheServer() {
    static Server server;
    return server;
}

// Starts the server before the first test and stops it after the last:
//   const auto* const env = ::testing::AddGlobalTestEnvironment(new xvfb::Environment(640, 480));
class Environment : public ::testing::Environment {
public:
    Environment(int width, int height, std::vector<std::string> extra = {})
        : Width(width), Height(height), Extra(std::move(extra)) {}
    void SetUp() override { TheServer().Start(Width, Height, Extra); }
    void TearDown() override { TheServer().Stop(); }

private:
    int Width, Height;
    std::vector<std::string> Extra;
};

// A mapped window of the given size with GL active on it and the viewport
// covering it.
class GLWindow {
public:
    // Empty when it worked, else why not.
    std::string Open(int width, int height) {
        Server& server = TheServer();
        if (!server.Error.empty() || !server.Dpy) return server.Error.empty() ? "no X server" : server.Error;
        Display* d = server.Dpy;
        Width = width;
        Height = height;
        Win = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), 0, 0, 0);
        XMapWindow(d, Win);
        XSync(d, False);
        OpenGL.Activate(Win);
        if (!OpenGL.Active()) return "GL did not start on Xvfb";
        gl.Viewport(0, 0, width, height);
        return "";
    }

    void Close() {
        if (OpenGL.Active()) OpenGL.Deactivate();
        Server& server = TheServer();
        if (server.Dpy && Win) {
            XDestroyWindow(server.Dpy, Win);
            XSync(server.Dpy, False);
        }
        Win = 0;
    }

    void Clear() {
        gl.ClearColor(0, 0, 0, 1);
        gl.Clear(GL_COLOR_BUFFER_BIT);
    }

    // The pixel at window point (x, y), y from the bottom.
    std::array<int, 3> Pixel(int x, int y) const {
        uint8_t rgb[3] = {};
        gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
        gl.ReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        return {rgb[0], rgb[1], rgb[2]};
    }

    // Pixels in x0 <= x < x1, y0 <= y < y1 with any channel above `level`.
    int LitPixels(int x0, int y0, int x1, int y1, int level = 40) const {
        if (x1 <= x0 || y1 <= y0) return 0;
        std::vector<uint8_t> rgb(static_cast<size_t>(x1 - x0) * static_cast<size_t>(y1 - y0) * 3);
        gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
        gl.ReadPixels(x0, y0, x1 - x0, y1 - y0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        int lit = 0;
        for (size_t i = 0; i < rgb.size(); i += 3)
            if (rgb[i] > level || rgb[i + 1] > level || rgb[i + 2] > level) ++lit;
        return lit;
    }

    ::Window Win = 0;
    int Width = 0, Height = 0;
    TCustomOpenGL OpenGL;
};

}  // namespace xvfb
