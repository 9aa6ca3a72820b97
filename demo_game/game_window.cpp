// Opening · the three modes · frames, captures and pacing · closing.
#include "game_window.h"

#include "game_config.h"
#include "plat/gl_calls.h"

#include <SDL3/SDL.h>
#include <imgui.h>
#include <imgui_impl_opengl3.h>
#include <imgui_impl_sdl3.h>

#include <algorithm>
#include <vector>

namespace {

SDL_Window* window = nullptr;
SDL_GLContext glContext = nullptr;
uint64_t lastPresentNs = 0;

SDL_DisplayID windowDisplay() {
    SDL_DisplayID d = window ? SDL_GetDisplayForWindow(window) : 0;
    return d ? d : SDL_GetPrimaryDisplay();
}

SDL_Rect displayBounds() {
    SDL_Rect r{0, 0, kDefaultWidth, kDefaultHeight};
    SDL_GetDisplayBounds(windowDisplay(), &r);
    return r;
}

// --- the three modes -----------------------------------------------------------------------------

void makeWindowed(int width, int height) {
    SDL_SetWindowFullscreen(window, false);
    SDL_SetWindowBordered(window, true);
    SDL_SetWindowSize(window, width, height);
    SDL_DisplayID d = windowDisplay();
    SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED_DISPLAY(d),
                          SDL_WINDOWPOS_CENTERED_DISPLAY(d));
}

// A plain window without frame that covers the monitor: it needs no help from a window manager
// and switching to it and away from it never changes the monitor's mode.
void makeBorderless() {
    SDL_SetWindowFullscreen(window, false);
    SDL_SetWindowBordered(window, false);
    SDL_Rect r = displayBounds();
    SDL_SetWindowSize(window, r.w, r.h);
    SDL_SetWindowPosition(window, r.x, r.y);
}

// The monitor switches to its mode nearest to the size; a monitor that offers none close enough
// keeps its desktop mode, which SDL calls full screen on the desktop.
void makeFullscreen(int width, int height) {
    SDL_SetWindowBordered(window, true);
    SDL_DisplayMode closest{};
    bool found =
        SDL_GetClosestFullscreenDisplayMode(windowDisplay(), width, height, 0.0f, false, &closest);
    SDL_SetWindowFullscreenMode(window, found ? &closest : nullptr);
    SDL_SetWindowFullscreen(window, true);
}

} // namespace

void applyWindowMode(int width, int height, const std::string& mode) {
    if (!window) return;
    if (mode == "fullscreen")
        makeFullscreen(width, height);
    else if (mode == "borderless")
        makeBorderless();
    else
        makeWindowed(width, height);
    SDL_SyncWindow(window);
}

// --- opening -------------------------------------------------------------------------------------

bool openGameWindow(int width, int height, const std::string& mode, std::string& err) {
    if (!SDL_Init(SDL_INIT_VIDEO)) {
        err = std::string("the video system could not start: ") + SDL_GetError();
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);

    SDL_WindowFlags flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (mode == "borderless") flags |= SDL_WINDOW_BORDERLESS;
    window = SDL_CreateWindow(kGameTitle, width, height, flags);
    if (!window) {
        err = std::string("the window could not be opened: ") + SDL_GetError();
        return false;
    }
    glContext = SDL_GL_CreateContext(window);
    if (!glContext || !SDL_GL_MakeCurrent(window, glContext)) {
        err = std::string("OpenGL 3.3 is not available: ") + SDL_GetError();
        return false;
    }
    if (!plat::gl::load()) {
        err = "the OpenGL driver lacks basic functions";
        return false;
    }
    SDL_GL_SetSwapInterval(1);
    applyWindowMode(width, height, mode);
    SDL_ShowWindow(window);
    SDL_SyncWindow(window);

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr; // the game keeps its settings in video.ini only
    ImGui::GetIO().LogFilename = nullptr;
    ImGui::StyleColorsDark();
    if (!ImGui_ImplSDL3_InitForOpenGL(window, glContext) ||
        !ImGui_ImplOpenGL3_Init("#version 330")) {
        err = "the interface could not start on OpenGL 3.3";
        return false;
    }
    lastPresentNs = SDL_GetTicksNS();
    return true;
}

SDL_Window* gameWindow() {
    return window;
}

void windowSize(int& width, int& height) {
    width = height = 0;
    if (window) SDL_GetWindowSize(window, &width, &height);
}

void monitorSize(int& width, int& height) {
    SDL_Rect r = displayBounds();
    width = r.w;
    height = r.h;
}

// --- frames, captures and pacing -----------------------------------------------------------------

void beginGameFrame() {
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL3_NewFrame();
    ImGui::NewFrame();
}

void endGameFrame(int fps, const std::string& capturePath) {
    ImGui::Render();
    int w = 0, h = 0;
    SDL_GetWindowSizeInPixels(window, &w, &h);
    plat::gl::clear(w, h, 0, 0, 0);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    if (!capturePath.empty()) plat::gl::saveBackBuffer(capturePath, w, h);
    SDL_GL_SwapWindow(window);

    // Vertical sync alone does not pace a window that the system does not show (minimised, or a
    // virtual display): the sleep keeps the game from spinning.
    const uint64_t period = 1000000000ull / uint64_t(fps > 0 ? fps : 60);
    uint64_t now = SDL_GetTicksNS();
    if (now - lastPresentNs < period) SDL_DelayPrecise(lastPresentNs + period - now);
    lastPresentNs = SDL_GetTicksNS();
}

// --- closing -------------------------------------------------------------------------------------

void closeGameWindow() {
    if (ImGui::GetCurrentContext()) {
        ImGui_ImplOpenGL3_Shutdown();
        ImGui_ImplSDL3_Shutdown();
        ImGui::DestroyContext();
    }
    if (glContext) SDL_GL_DestroyContext(glContext);
    if (window) SDL_DestroyWindow(window);
    glContext = nullptr;
    window = nullptr;
    SDL_Quit();
}
