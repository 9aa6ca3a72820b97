// The few OpenGL calls the launcher and the game make themselves; everything else is drawn by
// Dear ImGui, whose back end loads its own. Looked up through SDL once a context is current.
#pragma once

#include <string>

namespace plat::gl {

// Looks the six entry points up; false when one is missing (the others are still usable).
bool load();
// Sets the viewport to w x h pixels and clears it to the colour.
void clear(int w, int h, float r, float g, float b);
// Saves the back buffer's w x h pixels as an RGB PNG, rows top-down. False without glReadPixels.
bool saveBackBuffer(const std::string& path, int w, int h);

} // namespace plat::gl
