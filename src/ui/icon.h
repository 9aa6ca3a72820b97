// The launcher's icon, drawn from the background's own pieces: the blue glow rising from below
// and the bars, on a rounded square. Needs no window, so a tool can write it to files.
#pragma once

#include <vector>

namespace ui {

// size × size RGBA pixels, top row first; transparent outside the rounded square.
std::vector<unsigned char> drawIcon(int size);

} // namespace ui
