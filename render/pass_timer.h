// What each pass of a frame costs, for measuring only (--pass-times): its
// draw calls and their vertices, the pixels it wrote (an occlusion query's samples) and the
// milliseconds GL took for it, with glFinish on both sides. Off, a mark is
// one test of a flag and GL runs as usual.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string_view>

struct TPassCost {
    std::string_view Name;
    int64_t DrawCalls = 0;
    // Vertices (or indices) the draw calls named.
    int64_t Vertices = 0;
    int64_t Pixels = 0;
    double Milliseconds = 0;
};

class TPassTimer {
public:
    static constexpr int MaxPasses = 48;

    // Wraps the draw entries of `gl` to count calls; needs a current context.
    void Enable();
    void Disable();
    bool Enabled() const { return FEnabled; }

    // A frame starts: the first frame (uploads, first-use costs) is left out
    // of the sums.
    void BeginFrame();
    // Ends the pass running and starts the one called name; a name must live
    // as long as the timer (a literal or an object's name).
    void Begin(std::string_view name) {
        if (FEnabled) Switch(name);
    }
    void EndFrame();

    int64_t Frames() const { return FFrames; }
    int PassCount() const { return FCount; }
    const TPassCost& Pass(int i) const { return FPasses[static_cast<size_t>(i)]; }

    // One line per pass and a total: draw calls, pixels and milliseconds per
    // frame, and each pass's share of the time; pixels also in screens of
    // width x height.
    void Print(int width, int height) const;

private:
    void Switch(std::string_view name);
    void Close();
    TPassCost& Find(std::string_view name);

    bool FEnabled = false;
    bool FCounting = false;
    bool FOpen = false;
    unsigned FQuery = 0;
    int64_t FFrames = 0;
    int64_t FSeenFrames = 0;
    int FCount = 0;
    TPassCost* FCurrent = nullptr;
    std::chrono::steady_clock::time_point FStarted;
    std::array<TPassCost, MaxPasses> FPasses{};
};

TPassTimer& ThePassTimer();
