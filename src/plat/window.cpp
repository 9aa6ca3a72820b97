// The window, its OpenGL context, Dear ImGui's set-up, the frame's end and its pacing.
//
// Sections: size rules · opening · events and frames · screenshot · shutting down
#include "plat/window.h"

#include "app/app.h"
#include "selftest/png.h"

#include <SDL3/SDL.h>
#include <imgui.h>
#include <imgui_impl_opengl3.h>
#include <imgui_impl_sdl3.h>

#include <algorithm>
#include <vector>

float uiScale = 1.0f;
SDL_Window* mainWindow = nullptr;

namespace {

SDL_GLContext glContext = nullptr;
uint64_t lastPresentNs = 0;
const uint64_t kFramePeriodNs = 16666666;

// The few OpenGL calls the launcher makes itself; everything else is drawn by Dear ImGui.
using GLenum = unsigned int;
using GLbitfield = unsigned int;
using GLint = int;
using GLsizei = int;
using GLfloat = float;
const GLenum kColorBufferBit = 0x4000;
const GLenum kBack = 0x0405;
const GLenum kPackAlignment = 0x0D05;
const GLenum kRgba = 0x1908;
const GLenum kUnsignedByte = 0x1401;
void (*glClearColor_)(GLfloat, GLfloat, GLfloat, GLfloat) = nullptr;
void (*glClear_)(GLbitfield) = nullptr;
void (*glViewport_)(GLint, GLint, GLsizei, GLsizei) = nullptr;
void (*glReadPixels_)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*) = nullptr;
void (*glPixelStorei_)(GLenum, GLint) = nullptr;
void (*glReadBuffer_)(GLenum) = nullptr;

template <class F> void lookUp(F& fn, const char* name) {
    fn = reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
}

void setMultisample(bool on) {
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, on ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, on ? 4 : 0);
}

const SDL_WindowFlags kWindowFlags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE;

} // namespace

// --- size rules ------------------------------------------------------------------------------------

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

// --- opening ---------------------------------------------------------------------------------------

bool openWindow(const char* title, int width, int height, float requestedScale, std::string& error) {
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
    WindowFit fit = fitWindow(width, height, scale, mode != nullptr, mode ? mode->w : 0,
                              mode ? mode->h : 0);
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
    lookUp(glClearColor_, "glClearColor");
    lookUp(glClear_, "glClear");
    lookUp(glViewport_, "glViewport");
    lookUp(glReadPixels_, "glReadPixels");
    lookUp(glPixelStorei_, "glPixelStorei");
    lookUp(glReadBuffer_, "glReadBuffer");

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
    lastPresentNs = SDL_GetTicksNS();
    return true;
}

void setMinimumWindowSize(int width, int height) {
    if (mainWindow) SDL_SetWindowMinimumSize(mainWindow, width, height);
}

// --- events and frames -----------------------------------------------------------------------------

bool pollEvents() {
    bool close = false;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        ImGui_ImplSDL3_ProcessEvent(&e);
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
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL3_NewFrame();
    ImGui::NewFrame();
}

void restartFramePacing() {
    lastPresentNs = SDL_GetTicksNS();
}

void hideMainWindow() {
    if (mainWindow) SDL_HideWindow(mainWindow);
}

void showMainWindow() {
    if (mainWindow) {
        SDL_ShowWindow(mainWindow);
        SDL_RaiseWindow(mainWindow);
    }
    restartFramePacing();
}

// --- screenshot ------------------------------------------------------------------------------------

static void saveScreenshot(const std::string& path, int w, int h) {
    size_t row = size_t(w) * 4;
    std::vector<unsigned char> read(row * size_t(h), 0), flipped(row * size_t(h), 0);
    if (glReadBuffer_) glReadBuffer_(kBack);
    if (glPixelStorei_) glPixelStorei_(kPackAlignment, 1);
    glReadPixels_(0, 0, w, h, kRgba, kUnsignedByte, read.data());
    // OpenGL's rows run bottom-up, the file's top-down.
    for (int r = 0; r < h; ++r)
        std::copy_n(read.data() + size_t(h - 1 - r) * row, row, flipped.data() + size_t(r) * row);
    writePng(path, flipped.data(), unsigned(w), unsigned(h), false);
}

void endFrame(App& app) {
    ImGui::Render();
    int w = 0, h = 0;
    if (mainWindow) SDL_GetWindowSizeInPixels(mainWindow, &w, &h);
    if (glViewport_) glViewport_(0, 0, w, h);
    if (glClearColor_) glClearColor_(1 / 255.0f, 3 / 255.0f, 10 / 255.0f, 1);
    if (glClear_) glClear_(kColorBufferBit);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    if (!app.screenshotPath.empty() && w > 0 && h > 0 && glReadPixels_)
        saveScreenshot(app.screenshotPath, w, h);
    SDL_GL_SwapWindow(mainWindow);

    uint64_t now = SDL_GetTicksNS();
    if (now - lastPresentNs <= kFramePeriodNs - 1)
        SDL_DelayPrecise(lastPresentNs + kFramePeriodNs - now);
    lastPresentNs = SDL_GetTicksNS();
}

// --- shutting down ---------------------------------------------------------------------------------

void shutdownWindow() {
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
