// The interface's own processor time per frame: ui::drawBackground plus ui::drawFrame for each
// screen, drawn headless with the interface tests' harness (SDL's dummy video driver, Dear ImGui
// rendering into draw lists that nobody shows), and Dear ImGui's own demo window drawn the same
// way in the same run as the reference. Only the drawing calls are timed: the harness's frame
// start, render and checks are outside the measured time.
//
// Counters per frame: allocs (calls of operator new and of Dear ImGui's allocator during the
// timed calls) and vtx (vertices in the frame's draw data).
//
// Sections: allocation counting · the screens · the benchmarks · main
#include "ui/card_states.h"
#include "ui/harness.h"

#include "app/app.h"
#include "support/temp_dir.h"
#include "ui/background.h"
#include "ui/frame.h"
#include "ui/lang.h"

#include <benchmark/benchmark.h>
#include <imgui.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>

// --- allocation counting -------------------------------------------------------------------------

namespace {
std::atomic<long> allocations{0};
std::atomic<bool> counting{false};

void* countedAlloc(std::size_t n) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t n) {
    return countedAlloc(n);
}
void* operator new[](std::size_t n) {
    return countedAlloc(n);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

// The interface tests' desktop stand-ins (ui/sandbox.h) are not needed: no benchmark opens a
// dialog or a folder.
const std::string& fakeDesktopDir() {
    static const std::string dir = "/nonexistent";
    return dir;
}
void setDialogAnswer(const std::string&, int) {}

namespace {

void* imguiAlloc(std::size_t n, void*) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
    return std::malloc(n);
}
void imguiFree(void* p, void*) {
    std::free(p);
}

// --- the screens ---------------------------------------------------------------------------------

const char* const kChangelog = "### Added\n"
                               "- A **new** `kit`, with a [guide](https://example.invalid/g).\n"
                               "- A long entry that goes on and on about what changed in this\n"
                               "  release, so that it has to wrap inside the window's width.\n"
                               "\n"
                               "### Fixed\n"
                               "- The disc check accepts images on network drives.\n";

// The screens a user spends time on: the states of the interface tests by name, or a few of
// their own (the welcome screen, the Settings tab, What's new).
struct BenchScreen {
    const char* name;
    const char* cardState; // a state of cardStates(), or nullptr for set below
    void (*set)(App&);
};

const BenchScreen kScreens[] = {
    {"welcome", nullptr, [](App& app) { app.screen = Screen::NoDisc; }},
    {"welcome_whats_new", nullptr,
     [](App& app) {
         app.screen = Screen::NoDisc;
         app.whatsNewText = kChangelog;
         app.whatsNewVersion = "0.6.1";
         app.showWhatsNew = true;
     }},
    {"play_ready", "play_ready", nullptr},
    {"settings", nullptr,
     [](App& app) {
         app.screen = Screen::Ready;
         app.tab = 1;
     }},
    {"maintenance", "maintenance_idle", nullptr},
    {"preparing", "preparing_late", nullptr},
    {"failure", "failure_known_step", nullptr},
};

const UiState* cardState(const char* name) {
    for (const UiState& s : cardStates())
        if (std::string(s.name) == name) return &s;
    return nullptr;
}

// --- the benchmarks ------------------------------------------------------------------------------

using Clock = std::chrono::steady_clock;

// Runs frames of the harness in which only draw() is timed.
template <typename Draw> void timeFrames(benchmark::State& state, Headless& ui, Draw draw) {
    for (int i = 0; i < 30; ++i) // warm-up: glyphs baked, windows laid out, layouts settled
        ui.run([&] { draw(); });
    long frames = 0;
    allocations = 0;
    for (auto _ : state) {
        double seconds = 0;
        ui.run([&] {
            ImGui::LogFinish(); // the harness logs texts for its tests; the launcher does not
            counting = true;
            const auto t0 = Clock::now();
            draw();
            seconds = std::chrono::duration<double>(Clock::now() - t0).count();
            counting = false;
        });
        state.SetIterationTime(seconds);
        ++frames;
    }
    state.counters["allocs"] = double(allocations.load()) / double(frames > 0 ? frames : 1);
    ImDrawData* data = ImGui::GetDrawData();
    state.counters["vtx"] = data ? double(data->TotalVtxCount) : 0;
}

void screenBench(benchmark::State& state, const BenchScreen& screen) {
    TempDir root;
    App app;
    app.launcherIni = root.file("launcher.ini");
    app.videoIni = root.file("video.ini");
    Headless ui(1.0f);
    if (screen.cardState) {
        const UiState* s = cardState(screen.cardState);
        if (!s) {
            state.SkipWithError("no such state in the interface tests");
            return;
        }
        s->set(app, ui, root.path());
    } else {
        screen.set(app);
    }
    timeFrames(state, ui, [&] {
        app.frameTime = ui.time;
        ui::drawBackground(ui.time, app.settings.motion);
        ui::drawFrame(app, ui.update);
    });
}

void demoBench(benchmark::State& state) {
    Headless ui(1.0f);
    timeFrames(state, ui, [] { ImGui::ShowDemoWindow(); });
}

} // namespace

// --- main ----------------------------------------------------------------------------------------

int main(int argc, char** argv) {
    ImGui::SetAllocatorFunctions(imguiAlloc, imguiFree);
    benchmark::RegisterBenchmark("imgui_demo_window", demoBench)->UseManualTime();
    for (const BenchScreen& s : kScreens)
        benchmark::RegisterBenchmark(s.name, [&s](benchmark::State& st) { screenBench(st, s); })
            ->UseManualTime();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
