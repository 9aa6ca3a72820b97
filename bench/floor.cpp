// The floor of our own stack: the least a program can do to show the launcher's window. It opens
// the same 1120 × 760 SDL3 window with the same OpenGL 3.3 core context (double buffered, 4×
// multisampling, vertical synchronisation) as the launcher, sets up Dear ImGui with its SDL3 and
// OpenGL 3 back ends, and draws one text each frame with ImGui's built-in font, at most 60 frames
// a second. Every launcher figure of the benchmark is divided by this program's figure.
//
//   qm-bench-floor [SECONDS]   runs for SECONDS (default: until closed)
//
// Like the launcher with QM_BENCH_MARK set, it says "qm-bench: first frame" on standard error once
// its first frame has been presented.
#include <SDL3/SDL.h>
#include <imgui.h>
#include <imgui_impl_opengl3.h>
#include <imgui_impl_sdl3.h>

#include <cstdio>
#include <cstdlib>

namespace {

const uint64_t kFramePeriodNs = 16666666;

// The three OpenGL calls of the frame, looked up once the context is current.
using ViewportFn = void (*)(int, int, int, int);
using ClearColorFn = void (*)(float, float, float, float);
using ClearFn = void (*)(unsigned);
ViewportFn viewport = nullptr;
ClearColorFn clearColor = nullptr;
ClearFn clear = nullptr;
const unsigned kColorBufferBit = 0x00004000;

bool open(SDL_Window*& window, SDL_GLContext& context) {
    if (!SDL_Init(SDL_INIT_VIDEO)) return false;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 4);
    window = SDL_CreateWindow("floor", 1120, 760, SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE);
    if (!window) return false;
    context = SDL_GL_CreateContext(window);
    if (!context || !SDL_GL_MakeCurrent(window, context)) return false;
    SDL_GL_SetSwapInterval(1);
    viewport = reinterpret_cast<ViewportFn>(SDL_GL_GetProcAddress("glViewport"));
    clearColor = reinterpret_cast<ClearColorFn>(SDL_GL_GetProcAddress("glClearColor"));
    clear = reinterpret_cast<ClearFn>(SDL_GL_GetProcAddress("glClear"));
    if (!viewport || !clearColor || !clear) return false;
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;
    ImGui::GetIO().LogFilename = nullptr;
    return ImGui_ImplSDL3_InitForOpenGL(window, context) && ImGui_ImplOpenGL3_Init("#version 330");
}

bool quitRequested() {
    SDL_Event e;
    bool quit = false;
    while (SDL_PollEvent(&e)) {
        ImGui_ImplSDL3_ProcessEvent(&e);
        if (e.type == SDL_EVENT_QUIT || e.type == SDL_EVENT_WINDOW_CLOSE_REQUESTED) quit = true;
    }
    return quit;
}

void drawText() {
    ImGui::SetNextWindowPos(ImVec2(40, 40));
    ImGui::Begin("##floor", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoBackground);
    ImGui::TextUnformatted("Select your disc image");
    ImGui::End();
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 0;
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    if (!open(window, context)) {
        std::fprintf(stderr, "floor: %s\n", SDL_GetError());
        return 1;
    }
    const uint64_t start = SDL_GetTicksNS();
    uint64_t last = start;
    bool first = true;
    long frames = 0; // after the first, as the launcher counts them
    uint64_t firstNs = start;
    while (!quitRequested()) {
        if (seconds > 0 && double(SDL_GetTicksNS() - start) / 1e9 > seconds) break;
        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplSDL3_NewFrame();
        ImGui::NewFrame();
        drawText();
        ImGui::Render();
        int w = 0, h = 0;
        SDL_GetWindowSizeInPixels(window, &w, &h);
        viewport(0, 0, w, h);
        clearColor(1 / 255.0f, 3 / 255.0f, 10 / 255.0f, 1);
        clear(kColorBufferBit);
        ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
        SDL_GL_SwapWindow(window);
        if (first) {
            first = false;
            firstNs = SDL_GetTicksNS();
            std::fputs("qm-bench: first frame\n", stderr);
            std::fflush(stderr);
        } else {
            ++frames;
        }
        // The plainest pacing there is: one sleep to the next frame's time.
        const uint64_t now = SDL_GetTicksNS();
        if (now - last < kFramePeriodNs) SDL_DelayNS(last + kFramePeriodNs - now);
        last = SDL_GetTicksNS();
    }
    std::fprintf(stderr, "qm-bench: %ld frames in %.3f s\n", frames,
                 double(SDL_GetTicksNS() - firstNs) / 1e9);
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL3_Shutdown();
    ImGui::DestroyContext();
    SDL_GL_DestroyContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
