// The interface's own processor time per frame: ui::drawBackground plus ui::drawFrame for each
// screen, drawn headless with the interface tests' harness (SDL's dummy video driver, Dear ImGui
// rendering into draw lists that nobody shows), and Dear ImGui's own demo window drawn the same
// way in the same run as the reference. Only the drawing calls are timed, in processor time of the
// drawing thread: the harness's frame start, render and checks are outside the measured time.
//
// Counters per frame: allocs (calls of operator new and of Dear ImGui's allocator during the
// timed calls) and vtx (vertices in the frame's draw data); digest, a hash of every vertex and
// index of the 30th frame (the frames before timing starts, at fixed times), shows that a change
// meant to be faster drew exactly the same.
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
#include <cstdlib>
#include <ctime>
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
         app.whatsNewText = kSampleChangelog;
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

// The frame thread's processor time in seconds: the drawing is single-threaded work, and this
// clock leaves out whatever else a busy machine ran meanwhile.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Runs frames of the harness in which only draw() is timed.
// FNV-1a over the vertices and indices of the last rendered frame, folded to 24 bits so that it
// prints exactly as a benchmark counter.
double drawDigest() {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void* data, size_t n) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < n; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
    };
    if (ImDrawData* data = ImGui::GetDrawData())
        for (const ImDrawList* list : data->CmdLists) {
            mix(list->VtxBuffer.Data, size_t(list->VtxBuffer.size_in_bytes()));
            mix(list->IdxBuffer.Data, size_t(list->IdxBuffer.size_in_bytes()));
        }
    return double((h ^ (h >> 24) ^ (h >> 48)) & 0xFFFFFF);
}

template <typename Draw> void timeFrames(benchmark::State& state, Headless& ui, Draw draw) {
    for (int i = 0; i < 30; ++i) // warm-up: glyphs baked, windows laid out, layouts settled
        ui.run([&] { draw(); });
    state.counters["digest"] = drawDigest();
    long frames = 0;
    allocations = 0;
    for (auto _ : state) {
        double seconds = 0;
        ui.run([&] {
            ImGui::LogFinish(); // the harness logs texts for its tests; the launcher does not
            counting = true;
            const double t0 = threadSeconds();
            draw();
            seconds = threadSeconds() - t0;
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
        benchmark::RegisterBenchmark(s.name, [&s](benchmark::State& st) {
            screenBench(st, s);
        })->UseManualTime();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
