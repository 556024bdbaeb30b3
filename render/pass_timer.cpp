#include "render/pass_timer.h"

#include "render/gl_table.h"

#include <cstdio>

namespace {

int64_t DrawCalls = 0;
int64_t Vertices = 0;
decltype(TGLTable::DrawArrays) RealDrawArrays = nullptr;
decltype(TGLTable::DrawElements) RealDrawElements = nullptr;
decltype(TGLTable::CallList) RealCallList = nullptr;

void MGL_APIENTRY CountDrawArrays(GLenum mode, GLint first, GLsizei count) {
    ++DrawCalls;
    Vertices += count;
    RealDrawArrays(mode, first, count);
}

void MGL_APIENTRY CountDrawElements(GLenum mode, GLsizei count, GLenum type, const GLvoid* indices) {
    ++DrawCalls;
    Vertices += count;
    RealDrawElements(mode, count, type, indices);
}

void MGL_APIENTRY CountCallList(GLuint list) {
    ++DrawCalls;
    RealCallList(list);
}

bool HasQueries() { return gl.GenQueriesARB && gl.BeginQueryARB && gl.EndQueryARB && gl.GetQueryObjectuivARB; }

}  // namespace

TPassTimer& ThePassTimer() {
    static TPassTimer timer;
    return timer;
}

void TPassTimer::Enable() {
    if (FEnabled) return;
    FEnabled = true;
    RealDrawArrays = gl.DrawArrays;
    RealDrawElements = gl.DrawElements;
    RealCallList = gl.CallList;
    gl.DrawArrays = &CountDrawArrays;
    gl.DrawElements = &CountDrawElements;
    gl.CallList = &CountCallList;
    if (HasQueries() && FQuery == 0) gl.GenQueriesARB(1, &FQuery);
}

void TPassTimer::Disable() {
    if (!FEnabled) return;
    if (FOpen) Close();
    if (gl.DrawArrays == &CountDrawArrays) gl.DrawArrays = RealDrawArrays;
    if (gl.DrawElements == &CountDrawElements) gl.DrawElements = RealDrawElements;
    if (gl.CallList == &CountCallList) gl.CallList = RealCallList;
    if (FQuery != 0 && gl.DeleteQueriesARB) gl.DeleteQueriesARB(1, &FQuery);
    FQuery = 0;
    FEnabled = false;
}

TPassCost& TPassTimer::Find(std::string_view name) {
    for (int i = 0; i < FCount; ++i)
        if (FPasses[static_cast<size_t>(i)].Name == name) return FPasses[static_cast<size_t>(i)];
    // A frame with more passes than there is room for adds the rest to the last.
    if (FCount == MaxPasses) return FPasses[MaxPasses - 1];
    TPassCost& pass = FPasses[static_cast<size_t>(FCount++)];
    pass = TPassCost{name};
    return pass;
}

void TPassTimer::BeginFrame() {
    if (!FEnabled) return;
    // The first frame uploads the textures; it is timed but not summed.
    FCounting = FSeenFrames++ > 0;
    if (FCounting) ++FFrames;
    Switch("clear");
}

void TPassTimer::Switch(std::string_view name) {
    if (FOpen) Close();
    gl.Finish();
    FCurrent = FCounting ? &Find(name) : nullptr;
    DrawCalls = 0;
    Vertices = 0;
    if (FQuery != 0) gl.BeginQueryARB(GL_SAMPLES_PASSED_ARB, FQuery);
    FStarted = std::chrono::steady_clock::now();
    FOpen = true;
}

void TPassTimer::Close() {
    gl.Finish();
    const auto ended = std::chrono::steady_clock::now();
    GLuint samples = 0;
    if (FQuery != 0) {
        gl.EndQueryARB(GL_SAMPLES_PASSED_ARB);
        gl.GetQueryObjectuivARB(FQuery, GL_QUERY_RESULT_ARB, &samples);
    }
    FOpen = false;
    if (!FCurrent) return;
    FCurrent->DrawCalls += DrawCalls;
    FCurrent->Vertices += Vertices;
    FCurrent->Pixels += samples;
    FCurrent->Milliseconds += std::chrono::duration<double, std::milli>(ended - FStarted).count();
}

void TPassTimer::EndFrame() {
    if (FEnabled && FOpen) Close();
}

void TPassTimer::Print(int width, int height) const {
    if (FFrames == 0) return;
    const double frames = static_cast<double>(FFrames);
    const double screen = width > 0 && height > 0 ? static_cast<double>(width) * height : 0;
    double total = 0;
    int64_t calls = 0, vertices = 0, pixels = 0;
    for (int i = 0; i < FCount; ++i) {
        total += FPasses[static_cast<size_t>(i)].Milliseconds;
        calls += FPasses[static_cast<size_t>(i)].DrawCalls;
        vertices += FPasses[static_cast<size_t>(i)].Vertices;
        pixels += FPasses[static_cast<size_t>(i)].Pixels;
    }
    std::printf("Pass times over %lld frames at %dx%d (glFinish around each pass):\n", static_cast<long long>(FFrames),
                width, height);
    std::printf("  %-26s %7s %9s %10s %8s %8s %6s\n", "pass", "draws", "vertices", "pixels", "screens", "ms",
                "share");
    auto line = [&](std::string_view name, int64_t d, int64_t v, int64_t p, double ms) {
        std::printf("  %-26.*s %7.1f %9.0f %10.0f %8.2f %8.3f %5.1f%%\n", static_cast<int>(name.size()), name.data(),
                    static_cast<double>(d) / frames, static_cast<double>(v) / frames, static_cast<double>(p) / frames,
                    screen > 0 ? static_cast<double>(p) / frames / screen : 0.0, ms / frames,
                    total > 0 ? 100.0 * ms / total : 0.0);
    };
    for (int i = 0; i < FCount; ++i) {
        const TPassCost& pass = FPasses[static_cast<size_t>(i)];
        line(pass.Name, pass.DrawCalls, pass.Vertices, pass.Pixels, pass.Milliseconds);
    }
    line("total", calls, vertices, pixels, total);
}
