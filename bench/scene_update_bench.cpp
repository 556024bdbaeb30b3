// The per-frame scene update without GL: the events and animation passes of
// the shipped scene, loaded from the archive carried in this executable and
// configured the way the program does it, stepped at a fixed 1/60 s.
// Reports microseconds and operator-new calls per frame; after the warm-up
// the update is meant to allocate nothing.
#include "app/startup.h"
#include "bench/alloc_counter.h"
#include "scene/objects.h"
#include "tests/scene/memory_scene_host.h"
#include "world/fishes.h"
#include "world/underwater_world.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr float FrameStep = 1.0f / 60;
// Ten seconds of scene time before measuring: lazy set-up, first spawns.
constexpr int WarmUpFrames = 600;

// The scene with its host, as the program holds them.
struct TLoadedScene {
    TMemorySceneHost Host{nullptr};
    std::unique_ptr<TMainScene> Scene;
    std::unique_ptr<TUnderWaterWorld> World;

    // Counts below 0 keep what the settings give (the defaults of an empty store).
    TLoadedScene(int fishCount, int bubbleCount) {
        Host.SceneView.WindowWidth = 1280;
        Host.SceneView.WindowHeight = 720;
        Host.SceneView.Aspect = 1280.0 / 720;
        Scene = LoadMainScene("/nonexistent/", &Host);
        Scene->LoadSettings();
        World = std::make_unique<TUnderWaterWorld>();
        World->FApp = &Host;
        World->FScene = Scene.get();
        World->LoadSettings();
        if (fishCount >= 0) World->SetFishCount(fishCount);
        if (bubbleCount >= 0) World->SetBubbleCount(bubbleCount);
    }

    // Fishes of type Fish in the schools of the renderers; the hidden
    // renderer's schools are animated too.
    int CountFish(bool shownOnly) const {
        int count = 0;
        for (const auto& [name, renderer] : World->Renderers) {
            if (shownOnly && !renderer->Visible()) continue;
            for (int i = 0; i < renderer->GetCount(); ++i)
                if (auto* school = dynamic_cast<const TFishes*>(renderer->GetItem(i)); school && school->FishType == ftFish)
                    count += school->ParticleCount();
        }
        return count;
    }

    // What the program does each frame, short of drawing.
    void Step() {
        World->SetScreenCount(1);
        Scene->ProcessEvents(FrameStep);
        Scene->Animate(FrameStep);
    }
};

void SceneUpdate(benchmark::State& state, int fishCount, int bubbleCount) {
    TLoadedScene loaded(fishCount, bubbleCount);
    // The first frame loads what the animation needs (meshes, swim frames).
    bench::TAllocationProbe firstFrame;
    loaded.Step();
    const uint64_t firstFrameNews = firstFrame.News();
    bench::TAllocationProbe warmUp;
    for (int i = 1; i < WarmUpFrames; ++i) loaded.Step();
    const uint64_t warmUpNews = warmUp.News();

    // Counted per step so that the benchmark loop's own work stays out.
    uint64_t news = 0;
    for (auto _ : state) {
        const uint64_t before = bench::AllocationCounts().News;
        loaded.Step();
        news += bench::AllocationCounts().News - before;
    }
    state.counters["allocs/frame"] = benchmark::Counter(static_cast<double>(news), benchmark::Counter::kAvgIterations);
    state.counters["allocs"] = static_cast<double>(news);
    state.counters["frame1_allocs"] = static_cast<double>(firstFrameNews);
    state.counters["warmup_allocs"] = static_cast<double>(warmUpNews);
    state.counters["objects"] = loaded.Scene->LiveCount();
    state.counters["fish_shown"] = loaded.CountFish(true);
    state.counters["fish_all"] = loaded.CountFish(false);
    state.counters["bubbles"] = loaded.World->GetBubbleCount();
}

// The settings a fresh installation starts with: 20 fish, 50 bubbles.
void BM_SceneUpdateDefault(benchmark::State& state) { SceneUpdate(state, -1, -1); }
// A crowded aquarium.
void BM_SceneUpdate100Fish1000Bubbles(benchmark::State& state) { SceneUpdate(state, 100, 1000); }

// Building the scene from the archive, for scale.
void BM_LoadMainScene(benchmark::State& state) {
    TMemorySceneHost host(nullptr);
    uint64_t news = 0;
    for (auto _ : state) {
        bench::TAllocationProbe probe;
        auto scene = LoadMainScene("/nonexistent/", &host);
        benchmark::DoNotOptimize(scene.get());
        news += probe.News();
    }
    state.counters["allocs/load"] = benchmark::Counter(static_cast<double>(news), benchmark::Counter::kAvgIterations);
}

}  // namespace

BENCHMARK(BM_SceneUpdateDefault)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SceneUpdate100Fish1000Bubbles)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadMainScene)->Unit(benchmark::kMillisecond);
