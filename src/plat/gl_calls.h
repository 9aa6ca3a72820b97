// The few OpenGL calls the launcher and the game make themselves; everything else is drawn by
// Dear ImGui, whose back end loads its own. Looked up through SDL once a context is current.
#pragma once

#include <string>

namespace plat::gl {

// Looks the six entry points up; false when one is missing (the others are still usable). The
// offscreen layers' entry points are looked up too, but only layers need them.
bool load();
// Sets the viewport to w x h pixels and clears it to the colour.
void clear(int w, int h, float r, float g, float b);
// The same, to the colour every launcher frame starts from.
void clearFrame(int w, int h);
// Saves the back buffer's w x h pixels as an RGB PNG, rows top-down. False without glReadPixels.
bool saveBackBuffer(const std::string& path, int w, int h);

// An offscreen colour buffer with the window's own number of samples, for a picture drawn once and
// copied into many frames.
struct Layer {
    unsigned framebuffer = 0, renderbuffer = 0;
    int width = 0, height = 0;
};
// False without framebuffer objects, or when the driver refuses the buffer.
bool createLayer(Layer& layer, int w, int h);
void destroyLayer(Layer& layer);
// Draws into the layer, cleared like a frame, until drawToWindow.
void drawToLayer(const Layer& layer);
void drawToWindow();
// The window's buffer holds its top row first and an offscreen one its bottom row first. Drawn
// upside down, with the projection of the current program turned over, the layer holds every
// sample where the window would: the copy then moves samples and never moves a sample's position.
void turnProjectionOver();
// Copies the whole layer into the window's back buffer, turning it the right way up. Leaves the
// scissor test and the read framebuffer as it found them.
void copyLayerToWindow(const Layer& layer);
// True when no call since the last look failed. Reads every pending error, which may wait for the
// driver: for checks once in a while, not in every frame.
bool noErrors();
} // namespace plat::gl
