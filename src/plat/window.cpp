// The window, its OpenGL context, Dear ImGui's set-up, the frame's end and its pacing.
//
// Sections: size rules · opening · events and frames · shutting down
#include "plat/window.h"

#include "app/app.h"
#include "plat/backdrop.h"
#include "plat/draw_snapshot.h"
#include "plat/env.h"
#include "plat/gl_calls.h"

#include <SDL3/SDL.h>
#include <imgui.h>
#include <imgui_impl_opengl3.h>
#include <imgui_impl_sdl3.h>
#include <imgui_internal.h>

#include <cstdio>

float uiScale = 1.0f;
SDL_Window* mainWindow = nullptr;

namespace {

SDL_GLContext glContext = nullptr;
uint64_t lastPresentNs = 0;
const uint64_t kFramePeriodNs = 16666666;

// Unchanged frames: the picture on screen is kept while the draw data stays the same. Dear ImGui
// settles some interactions over two or three frames (a window sizing itself, a popup appearing),
// so the loop only starts waiting after a few unchanged frames in a row.
const int kSettleFrames = 3;
plat::DrawSnapshot shown;
int unchangedFrames = 0;
bool animating = false;
bool presentEveryFrame = false;
uint64_t presents = 0;

void setMultisample(bool on) {
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, on ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, on ? 4 : 0);
}

const SDL_WindowFlags kWindowFlags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE;

// For the benchmarks (bench/run_bench.py) only: with QM_BENCH_MARK set, the moment the first frame
// has been presented is announced on standard error, so that the time to the first frame can be
// taken from outside, and the shut-down reports the frames presented after it, so that processor
// time can be divided by frames. One look at the environment per run; a count in later frames.
bool firstFramePending = true;
bool benchMark = false;
uint64_t benchFrames = 0;
uint64_t benchFirstNs = 0;

void announceFirstFrame() {
    firstFramePending = false;
    benchMark = !plat::getEnv("QM_BENCH_MARK").empty();
    if (!benchMark) return;
    benchFirstNs = SDL_GetTicksNS();
    std::fputs("qm-bench: first frame\n", stderr);
    std::fflush(stderr);
}

void reportFrames() {
    if (!benchMark) return;
    std::fprintf(stderr, "qm-bench: %llu frames in %.3f s\n", (unsigned long long)benchFrames,
                 double(SDL_GetTicksNS() - benchFirstNs) / 1e9);
    std::fflush(stderr);
}

// Gamepads start after the first frame: finding them can take a while, and the window must not
// wait for it. While the game owns the screen the launcher lets go of them, so that it takes no
// input meant for the game and holds no device the game wants.
bool gamepadsOn = false;
bool gamepadsPending = false; // from the window's opening to its first frame
bool gamepadsAllowed = false; // from then until it is shut down

void startGamepads() {
    if (gamepadsOn || !gamepadsAllowed) return;
    gamepadsOn = SDL_InitSubSystem(SDL_INIT_GAMEPAD);
    if (gamepadsOn) ImGui_ImplSDL3_SetGamepadMode(ImGui_ImplSDL3_GamepadMode_AutoAll);
}

void stopGamepads() {
    if (!gamepadsOn) return;
    ImGui_ImplSDL3_SetGamepadMode(ImGui_ImplSDL3_GamepadMode_Manual, nullptr, 0);
    SDL_QuitSubSystem(SDL_INIT_GAMEPAD);
    gamepadsOn = false;
}

// Large enough for a task bar at scale 2.
const int kIconSize = 64;
std::vector<unsigned char> (*iconDrawer)(int size) = nullptr;

void showIcon() {
    if (!mainWindow || !iconDrawer) return;
    std::vector<unsigned char> pixels = iconDrawer(kIconSize);
    // SDL copies the pixels; the surface only borrows them for the call.
    SDL_Surface* surface = SDL_CreateSurfaceFrom(kIconSize, kIconSize, SDL_PIXELFORMAT_RGBA32,
                                                 pixels.data(), kIconSize * 4);
    if (!surface) return;
    SDL_SetWindowIcon(mainWindow, surface);
    SDL_DestroySurface(surface);
}

} // namespace

// --- size rules ----------------------------------------------------------------------------------

WindowFit fitWindow(int width, int height, float scale, bool haveMode, int modeW, int modeH) {
    float l = 1.0f;
    int availW = modeW - 40, availH = modeH - 80;
    if (scale > 0) {
        float s = scale < 1 ? 1 : (scale > 3 ? 3 : scale);
        if (!haveMode) {
            l = s;
        } else if (s <= 1) {
            l = 1;
        } else {
            float fit = float(availH) / float(height);
            float fitW = float(availW) / float(width);
            if (fitW < fit) fit = fitW;
            if (fit > 0.5f && s > fit)
                l = fit > 1 ? fit : 1;
            else
                l = s;
        }
    }
    int w = int(float(width) * l), h = int(float(height) * l);
    if (haveMode) {
        if (availW < w) w = availW;
        if (availH < h) h = availH;
    }
    return {l, w, h};
}

// --- opening -------------------------------------------------------------------------------------

bool openWindow(const char* title, int width, int height, float requestedScale,
                std::string& error) {
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (!SDL_Init(SDL_INIT_VIDEO)) {
        error = std::string("SDL could not start: ") + SDL_GetError();
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    setMultisample(true);

    SDL_DisplayID display = SDL_GetPrimaryDisplay();
    float scale = requestedScale > 0 ? requestedScale : 0;
    if (scale <= 0) {
        float content = SDL_GetDisplayContentScale(display);
        if (content > 0) scale = content;
    }
    const SDL_DisplayMode* mode = SDL_GetDesktopDisplayMode(display);
    WindowFit fit =
        fitWindow(width, height, scale, mode != nullptr, mode ? mode->w : 0, mode ? mode->h : 0);
    uiScale = fit.scale;

    mainWindow = SDL_CreateWindow(title, fit.width, fit.height, kWindowFlags);
    if (!mainWindow) {
        setMultisample(false);
        mainWindow = SDL_CreateWindow(title, fit.width, fit.height, kWindowFlags);
    }
    if (!mainWindow) {
        error = std::string("the window could not be opened: ") + SDL_GetError();
        return false;
    }
    const std::string glError = "OpenGL 3.3 is not available (update the graphics driver): ";
    glContext = SDL_GL_CreateContext(mainWindow);
    if (!glContext) {
        setMultisample(false);
        SDL_DestroyWindow(mainWindow);
        mainWindow = SDL_CreateWindow(title, fit.width, fit.height, kWindowFlags);
        if (mainWindow) glContext = SDL_GL_CreateContext(mainWindow);
        if (!mainWindow || !glContext) {
            error = glError + SDL_GetError();
            return false;
        }
    }
    if (!SDL_GL_MakeCurrent(mainWindow, glContext)) {
        error = glError + SDL_GetError();
        return false;
    }
    SDL_GL_SetSwapInterval(1);
    plat::gl::load(); // a missing entry point only disables what needs it

    SDL_SetWindowPosition(mainWindow, SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                          SDL_WINDOWPOS_CENTERED_DISPLAY(display));
    SDL_ShowWindow(mainWindow);

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    // No layout file and no log file: set before the first frame, which is when ImGui would read.
    ImGui::GetIO().IniFilename = nullptr;
    ImGui::GetIO().LogFilename = nullptr;
    if (!ImGui_ImplSDL3_InitForOpenGL(mainWindow, glContext) ||
        !ImGui_ImplOpenGL3_Init("#version 330")) {
        error = "ImGui's SDL3 / OpenGL 3 backends could not start";
        return false;
    }
    presentEveryFrame = plat::getEnv("QM_PRESENT_EVERY_FRAME") == "1";
    plat::setBackdropEnabled(!presentEveryFrame);
    lastPresentNs = SDL_GetTicksNS();
    gamepadsPending = true;
    return true;
}

void setMinimumWindowSize(int width, int height) {
    if (mainWindow) SDL_SetWindowMinimumSize(mainWindow, width, height);
}

void setWindowIcon(std::vector<unsigned char> (*draw)(int size)) {
    iconDrawer = draw;
}

// --- events and frames ---------------------------------------------------------------------------

bool pollEvents() {
    bool close = false;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        ImGui_ImplSDL3_ProcessEvent(&e);
        unchangedFrames = 0;
        // The window system may have lost what was on screen: present the next frame again.
        if (e.type == SDL_EVENT_WINDOW_EXPOSED || e.type == SDL_EVENT_WINDOW_SHOWN ||
            e.type == SDL_EVENT_WINDOW_RESTORED || e.type == SDL_EVENT_WINDOW_PIXEL_SIZE_CHANGED)
            shown.forget();
        if (e.type == SDL_EVENT_QUIT) close = true;
        if (e.type == SDL_EVENT_WINDOW_CLOSE_REQUESTED && mainWindow &&
            e.window.windowID == SDL_GetWindowID(mainWindow))
            close = true;
    }
    return close;
}

void waitEvents(double seconds) {
    SDL_WaitEventTimeout(nullptr, int32_t(seconds * 1000));
}

void beginFrame() {
    animating = false;
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL3_NewFrame();
    ImGui::NewFrame();
}

void restartFramePacing() {
    lastPresentNs = SDL_GetTicksNS();
    shown.forget();
}

bool pictureSettled() {
    if (presentEveryFrame || animating || unchangedFrames < kSettleFrames) return false;
    // Events Dear ImGui spreads over several frames (a press and its release) are not handled yet.
    return GImGui && GImGui->InputEventsQueue.empty() && GImGui->ActiveId == 0;
}

void keepAnimating() {
    animating = true;
}

void setPresentEveryFrame(bool on) {
    presentEveryFrame = on;
    plat::setBackdropEnabled(!on);
    shown.forget();
}

uint64_t presentedFrames() {
    return presents;
}

void hideMainWindow() {
    if (mainWindow) SDL_HideWindow(mainWindow);
    stopGamepads();
    // The game wants the memory more than the hidden window wants its layer.
    plat::freeBackdrop();
}

void showMainWindow() {
    if (mainWindow) {
        SDL_ShowWindow(mainWindow);
        SDL_RaiseWindow(mainWindow);
    }
    startGamepads();
    restartFramePacing();
}

namespace {

void pace() {
    uint64_t now = SDL_GetTicksNS();
    if (now - lastPresentNs <= kFramePeriodNs - 1)
        SDL_DelayPrecise(lastPresentNs + kFramePeriodNs - now);
    lastPresentNs = SDL_GetTicksNS();
}

} // namespace

void endFrame(App& app) {
    ImGui::Render();
    int w = 0, h = 0;
    if (mainWindow) SDL_GetWindowSizeInPixels(mainWindow, &w, &h);
    // Taken on every frame, so that the old way's frames leave the snapshot current too.
    const bool same = shown.sameAsLast(*ImGui::GetDrawData(), w, h);
    if (same && !presentEveryFrame && app.screenshotPath.empty()) {
        ++unchangedFrames;
        plat::makeBackdrop(*ImGui::GetDrawData(), w, h);
        pace();
        return;
    }
    unchangedFrames = 0;
    if (!plat::backdropCoversFrame()) plat::gl::clearFrame(w, h);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    // The exact frame about to be presented; a zero-sized (minimised) window writes nothing.
    if (!app.screenshotPath.empty()) plat::gl::saveBackBuffer(app.screenshotPath, w, h);
    SDL_GL_SwapWindow(mainWindow);
    ++presents;
    if (firstFramePending)
        announceFirstFrame();
    else
        benchFrames += benchMark;
    if (gamepadsPending) {
        gamepadsPending = false;
        gamepadsAllowed = true;
        showIcon();
        startGamepads();
    }
    plat::makeBackdrop(*ImGui::GetDrawData(), w, h);
    pace();
}

// --- shutting down -------------------------------------------------------------------------------

void shutdownWindow() {
    reportFrames();
    stopGamepads();
    gamepadsPending = gamepadsAllowed = false;
    plat::releaseBackdrop();
    if (ImGui::GetCurrentContext()) {
        ImGui_ImplOpenGL3_Shutdown();
        ImGui_ImplSDL3_Shutdown();
        ImGui::DestroyContext();
    }
    if (glContext) SDL_GL_DestroyContext(glContext);
    if (mainWindow) SDL_DestroyWindow(mainWindow);
    glContext = nullptr;
    mainWindow = nullptr;
    SDL_Quit();
}
