// The still layers behind the interface: a picture that depends only on the window's size, drawn
// once into an offscreen buffer and copied into each frame instead of being drawn again. The copy
// moves samples unchanged, so a frame that copies the layer is the same to the bit as one that
// draws it.
#pragma once

#include <cstdint>

struct ImDrawCmd;
struct ImDrawData;
struct ImDrawList;

namespace plat {

// Draws the layer into list for a window of width x height (Dear ImGui's units), exactly as the
// frame would draw it.
using LayerPainter = void (*)(ImDrawList& list, float width, float height);

// True when paint's layer is ready for a window of width x height: the caller adds copyBackdrop as
// a callback where the layer belongs instead of drawing it. Else the caller draws the layer this
// frame, and the layer is made after a frame or two at the same size.
bool backdropReady(LayerPainter paint, float width, float height);
// The draw callback that copies the layer into the frame being rendered.
void copyBackdrop(const ImDrawList* list, const ImDrawCmd* cmd);
// How many frames copied the layer since the process started.
uint64_t backdropCopies();

// For the window: true when this frame copies the layer, which covers every pixel, so that
// clearing the frame first would be wasted.
bool backdropCoversFrame();
// For the window: makes the layer once a frame asked for it, after that frame was shown.
void makeBackdrop(const ImDrawData& frame, int pixelWidth, int pixelHeight);
// Off: every frame draws its layer itself, as before layers were kept.
void setBackdropEnabled(bool on);
// Frees the layer while the window is hidden; frames that ask for it again get it made again.
void freeBackdrop();
// Frees the layer and forgets every setting; before the OpenGL context goes.
void releaseBackdrop();

} // namespace plat
