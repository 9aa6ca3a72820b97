// The pieces of the full-window background (drawn by drawBackground, frame.h) that do not need
// Dear ImGui: the gradient's vertex colours, the bars' geometry and the scan lines.
#pragma once

#include <cstdint>

namespace ui {

inline constexpr int kBackgroundRows = 31;    // grid rows of vertices (30 cells down)
inline constexpr int kBackgroundColumns = 49; // grid columns of vertices (48 cells across)
inline constexpr int kBackgroundBars = 15;

struct Rgb8 {
    uint8_t r, g, b;
    bool operator==(const Rgb8&) const = default;
};

// The colour of the gradient's vertex at row r (0..30, top to bottom) and column j (0..48): a blue
// glow rising from just below the bottom edge, fading to near black, under a soft vignette.
Rgb8 backgroundGridColour(int r, int j);

// One bar at a moment. The glow uses the exact numbers; body and cap are snapped to whole pixels.
struct BarGeometry {
    float pulse;               // brightness factor, 0.7 to 1.0
    float glowLeft, glowRight; // x0 and x1 before snapping
    float glowTop;             // top before snapping
    float x0, w, top, hb;      // snapped: left edge, width, top, height (floored)
};

// Bar i (0..14) in a window of W × H pixels at time seconds; with motion off the bar is frozen at
// its time-zero state.
BarGeometry backgroundBar(int i, double time, bool motion, float width, float height);

// How many 1-pixel scan lines a window of the given height gets: one every 3 pixels from the top.
int scanLineCount(float height);

// The glow around a bar reaches this far beyond it, in pixels at the interface scale.
float barGlowReach(float scale);
// The first of the window's rows that a bar or its glow can touch at any moment, in whole pixels:
// the rows above it never change, at the given interface scale.
float barsHighestRow(float height, float scale);
// The first scan line at or below row (the lines above lie wholly above it).
int firstScanLineFrom(float row);

} // namespace ui
