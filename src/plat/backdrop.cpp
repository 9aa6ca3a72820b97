// The still layers: asked for by the interface each frame, made after a shown frame, copied in by
// a draw callback.
#include "plat/backdrop.h"

#include "plat/gl_calls.h"
#include "plat/window.h"

#include <SDL3/SDL.h>
#include <imgui.h>
#include <imgui_impl_opengl3.h>

namespace plat {

namespace {

struct Backdrop {
    gl::Layer layer;
    LayerPainter painter = nullptr; // what the layer holds, drawn for a window of size
    ImVec2 size;
    LayerPainter asked = nullptr; // what this frame asked for
    ImVec2 askedSize;
    bool given = false;                // and got
    int lastWidth = 0, lastHeight = 0; // the window's pixels at the frame before
    bool enabled = true;
    bool refused = false; // the driver has no layers like the window: never ask again
    uint64_t copies = 0;
};
Backdrop state;

bool sameSize(ImVec2 a, ImVec2 b) {
    return a.x == b.x && a.y == b.y;
}

bool holds(LayerPainter paint, ImVec2 size, int w, int h) {
    return state.layer.framebuffer && state.painter == paint && sameSize(state.size, size) &&
           state.layer.width == w && state.layer.height == h;
}

void turnOver(const ImDrawList*, const ImDrawCmd*) {
    gl::turnProjectionOver();
}

bool atlasReady() {
    const ImTextureData* atlas = ImGui::GetIO().Fonts->TexData;
    return atlas && atlas->Status == ImTextureStatus_OK && atlas->TexID != ImTextureID_Invalid;
}

// Draws the layer with Dear ImGui's own renderer, the same program, state and vertices as a frame,
// into a buffer cleared like a frame.
void paintLayer(const ImDrawData& frame) {
    ImDrawList list(ImGui::GetDrawListSharedData());
    list._ResetForNewFrame();
    list.PushTexture(ImGui::GetIO().Fonts->TexRef);
    list.PushClipRect(
        frame.DisplayPos,
        ImVec2(frame.DisplayPos.x + frame.DisplaySize.x, frame.DisplayPos.y + frame.DisplaySize.y),
        false);
    list.AddCallback(turnOver, nullptr);
    state.painter(list, state.size.x, state.size.y);
    ImDrawData data;
    data.Valid = true;
    data.DisplayPos = frame.DisplayPos;
    data.DisplaySize = frame.DisplaySize;
    data.FramebufferScale = frame.FramebufferScale;
    data.AddDrawList(&list);
    gl::drawToLayer(state.layer);
    ImGui_ImplOpenGL3_RenderDrawData(&data);
    gl::drawToWindow();
}

} // namespace

bool backdropReady(LayerPainter paint, float width, float height) {
    if (!state.enabled || state.refused || !mainWindow) return false;
    state.asked = paint;
    state.askedSize = ImVec2(width, height);
    int w = 0, h = 0;
    SDL_GetWindowSizeInPixels(mainWindow, &w, &h);
    state.given = holds(paint, state.askedSize, w, h);
    return state.given;
}

bool backdropCoversFrame() {
    return state.given;
}

void copyBackdrop(const ImDrawList*, const ImDrawCmd*) {
    if (!state.layer.framebuffer) return;
    gl::copyLayerToWindow(state.layer);
    ++state.copies;
}

uint64_t backdropCopies() {
    return state.copies;
}

void makeBackdrop(const ImDrawData& frame, int w, int h) {
    const LayerPainter paint = state.asked;
    state.asked = nullptr;
    state.given = false;
    // While the window is being sized every frame has a new size: wait for one to hold.
    const bool steady = w == state.lastWidth && h == state.lastHeight;
    state.lastWidth = w;
    state.lastHeight = h;
    if (!paint || !state.enabled || state.refused || !steady) return;
    if (holds(paint, state.askedSize, w, h)) return;
    if (!sameSize(state.askedSize, frame.DisplaySize) || !atlasReady()) return;
    gl::destroyLayer(state.layer);
    state.painter = paint;
    state.size = state.askedSize;
    if (!gl::createLayer(state.layer, w, h)) {
        state.refused = true;
        return;
    }
    paintLayer(frame);
    // One copy into the back buffer, which the next frame clears: a driver that cannot copy the
    // layer into the window says so here, before any frame counts on it.
    gl::copyLayerToWindow(state.layer);
    if (!gl::noErrors()) {
        gl::destroyLayer(state.layer);
        state.refused = true;
    }
}

void setBackdropEnabled(bool on) {
    state.enabled = on;
}

void freeBackdrop() {
    gl::destroyLayer(state.layer);
}

void releaseBackdrop() {
    gl::destroyLayer(state.layer);
    state = {};
}

} // namespace plat
