// The headless interface: set-up · frames · input · walking the items · checks.
#include "ui/harness.h"

#include "app/app.h"
#include "plat/window.h"
#include "ui/frame.h"

#include <SDL3/SDL.h>

#include <set>

// --- set-up --------------------------------------------------------------------------------------

Headless::Headless(float scale, ImVec2 size) : width_(size.x * scale), height_(size.y * scale) {
    SDL_SetHint(SDL_HINT_VIDEO_DRIVER, "dummy");
    if (!SDL_Init(SDL_INIT_VIDEO)) problems_.push_back(std::string("SDL: ") + SDL_GetError());
    mainWindow = SDL_CreateWindow("ui test", int(width_), int(height_), 0);
    if (!mainWindow) problems_.push_back(std::string("window: ") + SDL_GetError());
    uiScale = scale;

    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    // The renderer that is not there takes every texture request at once (see serviceTextures).
    io.BackendFlags |=
        ImGuiBackendFlags_RendererHasTextures | ImGuiBackendFlags_RendererHasVtxOffset;
    io.ConfigDebugHighlightIdConflicts = true;
    // Errors are read from the debug log by check(); they need not reach the terminal too.
    GImGui->DebugLogFlags &= ~ImGuiDebugLogFlags_OutputToTTY;
    ImGui::StyleColorsDark();
    ui::setupFontsAndStyle();
}

Headless::~Headless() {
    ImGui::DestroyContext();
    if (mainWindow) SDL_DestroyWindow(mainWindow);
    mainWindow = nullptr;
    uiScale = 1;
    SDL_Quit();
    SDL_ResetHint(SDL_HINT_VIDEO_DRIVER);
}

// --- frames --------------------------------------------------------------------------------------

static void serviceTextures() {
    for (ImTextureData* tex : ImGui::GetPlatformIO().Textures) {
        if (tex->Status == ImTextureStatus_WantCreate ||
            tex->Status == ImTextureStatus_WantUpdates) {
            tex->SetTexID(ImTextureID(1));
            tex->SetStatus(ImTextureStatus_OK);
        } else if (tex->Status == ImTextureStatus_WantDestroy && tex->UnusedFrames > 0) {
            tex->SetTexID(ImTextureID_Invalid);
            tex->SetStatus(ImTextureStatus_Destroyed);
        }
    }
}

void Headless::run(const std::function<void()>& draw) {
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(width_, height_);
    io.DeltaTime = 1.0f / 60.0f;
    time += 1.0 / 60.0;
    ImGui::NewFrame();
    ImGui::LogToBuffer();
    draw();
    texts_ = GImGui->LogBuffer.c_str();
    ImGui::LogFinish();
    ImGui::Render();
    serviceTextures();
    check();
}

void Headless::frame(App& app) {
    run([&] {
        app.frameTime = time;
        ui::drawBackground(time, app.settings.motion);
        ui::drawFrame(app, update);
    });
}

void Headless::frames(App& app, int count) {
    for (int i = 0; i < count; ++i)
        frame(app);
}

// --- input ---------------------------------------------------------------------------------------

void Headless::press(App& app, ImGuiKey key) {
    ImGui::GetIO().AddKeyEvent(key, true);
    frame(app);
    ImGui::GetIO().AddKeyEvent(key, false);
    frame(app);
}

void Headless::moveMouse(App& app, ImVec2 pos) {
    ImGui::GetIO().AddMousePosEvent(pos.x, pos.y);
    frame(app);
}

void Headless::click(App& app, ImVec2 pos) {
    moveMouse(app, pos);
    ImGui::GetIO().AddMouseButtonEvent(0, true);
    frame(app);
    ImGui::GetIO().AddMouseButtonEvent(0, false);
    frame(app);
}

// --- walking the items ---------------------------------------------------------------------------

ImGuiID Headless::idIn(const char* window, const char* label) {
    ImGuiWindow* w = ImGui::FindWindowByName(window);
    return w ? ImHashStr(label, 0, w->ID) : 0;
}

ImGuiWindow* Headless::childOf(const char* window) {
    ImGuiWindow* parent = ImGui::FindWindowByName(window);
    for (ImGuiWindow* w : GImGui->Windows)
        if (parent && w->ParentWindow == parent && (w->Flags & ImGuiWindowFlags_ChildWindow))
            return w;
    return nullptr;
}

std::string Headless::focusWindow() {
    ImGuiWindow* w = GImGui->NavWindow;
    return w ? w->RootWindowForNav->Name : "";
}

ImGuiID Headless::focusId() {
    return GImGui->NavId;
}

std::vector<Headless::Item> Headless::tabThrough(App& app) {
    std::vector<Item> items;
    std::set<ImGuiID> seen;
    for (int n = 0; n < 100; ++n) {
        press(app, ImGuiKey_Tab);
        ImGuiContext& g = *GImGui;
        if (g.NavId == 0 || !g.NavWindow) continue;
        if (!seen.insert(g.NavId).second) break;
        ImRect r = ImGui::WindowRectRelToAbs(g.NavWindow, g.NavWindow->NavRectRel[g.NavLayer]);
        items.push_back({g.NavId, r, g.NavWindow->Name});
    }
    return items;
}

bool Headless::focus(App& app, ImGuiID id) {
    for (int n = 0; n < 100 && id != 0; ++n) {
        if (GImGui->NavId == id && GImGui->NavCursorVisible) return true;
        press(app, ImGuiKey_Tab);
    }
    return false;
}

void Headless::hoverEveryItem(App& app) {
    for (const Item& item : tabThrough(app)) {
        // Two frames: Dear ImGui counts the items that share the hovered identifier in the frame
        // after the one in which the mouse reached it.
        moveMouse(app, item.rect.GetCenter());
        frame(app);
    }
    moveMouse(app, ImVec2(-FLT_MAX, -FLT_MAX));
}

// --- checks --------------------------------------------------------------------------------------

void Headless::check() {
    ImGuiContext& g = *GImGui;
    if (!g.ErrorFirst) {
        problems_.push_back("Dear ImGui reported an error: " + std::string(g.DebugLogBuf.c_str()));
        g.ErrorFirst = true;
        g.DebugLogBuf.clear();
    }
    if (g.HoveredIdPreviousFrameItemCount > 1) {
        ImGuiWindow* w = g.HoveredWindow;
        problems_.push_back(std::to_string(g.HoveredIdPreviousFrameItemCount) +
                            " items share one identifier in window " + (w ? w->Name : "?"));
    }
}
