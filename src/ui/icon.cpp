// The icon: the gradient at a point · the bars · one pixel from its samples.
#include "ui/icon.h"

#include "ui/background.h"

#include <algorithm>
#include <cmath>

namespace ui {

namespace {

struct Colour {
    float r, g, b;
};

Colour fromRgb(uint32_t rgb) {
    return {float((rgb >> 16) & 0xFF), float((rgb >> 8) & 0xFF), float(rgb & 0xFF)};
}

Colour over(Colour under, Colour top, float alpha) {
    return {under.r + (top.r - under.r) * alpha, under.g + (top.g - under.g) * alpha,
            under.b + (top.b - under.b) * alpha};
}

// The icon shows the middle bars of the background, wider and brighter than in the window so that
// they still read at 32 pixels.
constexpr int kFirstBar = 5, kBars = 5;
constexpr float kBoost = 2.6f;

// What every pixel needs, worked out once: the gradient's vertex colours and the bars.
struct Scene {
    Colour grid[kBackgroundRows][kBackgroundColumns];
    BarGeometry bars[kBars];
};

// The background's gradient at (u, v) in 0..1, between its grid's vertices as the mesh blends them.
Colour gradientAt(const Scene& scene, float u, float v) {
    const float x = u * float(kBackgroundColumns - 1), y = v * float(kBackgroundRows - 1);
    const int j = std::clamp(int(x), 0, kBackgroundColumns - 2);
    const int r = std::clamp(int(y), 0, kBackgroundRows - 2);
    const float fx = x - float(j), fy = y - float(r);
    const Colour top = over(scene.grid[r][j], scene.grid[r][j + 1], fx);
    const Colour bottom = over(scene.grid[r + 1][j], scene.grid[r + 1][j + 1], fx);
    return over(top, bottom, fy);
}

bool inside(float x, float y, float left, float top, float right, float bottom) {
    return x >= left && x < right && y >= top && y < bottom;
}

Scene setUp(float size) {
    Scene scene;
    for (int r = 0; r < kBackgroundRows; ++r)
        for (int j = 0; j < kBackgroundColumns; ++j) {
            const Rgb8 c = backgroundGridColour(r, j);
            scene.grid[r][j] = {float(c.r), float(c.g), float(c.b)};
        }
    const float wide = size * float(kBackgroundBars) / float(kBars);
    const float shift = wide * float(kFirstBar) / float(kBackgroundBars);
    const float high = size * 1.7f;
    for (int i = 0; i < kBars; ++i) {
        BarGeometry b = backgroundBar(kFirstBar + i, 0, false, wide, high);
        b.glowLeft -= shift;
        b.glowRight -= shift;
        b.glowTop -= high - size;
        scene.bars[i] = b;
    }
    return scene;
}

Colour barsAt(const Scene& scene, Colour c, float x, float y, float size) {
    for (const BarGeometry& b : scene.bars) {
        const float left = b.glowLeft, right = b.glowRight, top = b.glowTop;
        for (int k = 3; k >= 1; --k) {
            const float g = size / 64.0f * 3.5f * float(k * k) * 0.5f;
            if (inside(x, y, left - g, top - g, right + g, size))
                c = over(c, fromRgb(0x4F74FF), 0.03f * kBoost * b.pulse / float(k));
        }
        if (!inside(x, y, left, top, right, size)) continue;
        const float t = (y - top) / std::max(size - top, 1.0f);
        c = over(c, over(fromRgb(0x6F8DFF), fromRgb(0x14328F), t),
                 kBoost * b.pulse * (0.26f + (0.06f - 0.26f) * t));
        if (y < top + std::max(size / 48.0f, 1.0f))
            c = over(c, fromRgb(0xC9DBFF), std::min(1.0f, 0.35f * kBoost * b.pulse));
    }
    return c;
}

// Inside the square with corners rounded at radius.
bool inRoundedSquare(float x, float y, float size, float radius) {
    const float cx = std::clamp(x, radius, size - radius),
                cy = std::clamp(y, radius, size - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

} // namespace

std::vector<unsigned char> drawIcon(int size) {
    std::vector<unsigned char> pixels(size_t(size) * size_t(size) * 4, 0);
    const float s = float(size), radius = s * 0.2f;
    const Scene scene = setUp(s);
    constexpr int kSamples = 4; // per side, for smooth edges at small sizes
    for (int py = 0; py < size; ++py)
        for (int px = 0; px < size; ++px) {
            Colour sum{0, 0, 0};
            int covered = 0;
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    const float x = float(px) + (float(sx) + 0.5f) / kSamples;
                    const float y = float(py) + (float(sy) + 0.5f) / kSamples;
                    if (!inRoundedSquare(x, y, s, radius)) continue;
                    // The glow sits a little higher than in the window, so the square shows it.
                    const Colour c =
                        barsAt(scene, gradientAt(scene, x / s, 0.15f + 0.85f * y / s), x, y, s);
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                    ++covered;
                }
            unsigned char* p = &pixels[(size_t(py) * size_t(size) + size_t(px)) * 4];
            if (covered == 0) continue;
            p[0] = (unsigned char)std::lround(sum.r / float(covered));
            p[1] = (unsigned char)std::lround(sum.g / float(covered));
            p[2] = (unsigned char)std::lround(sum.b / float(covered));
            p[3] = (unsigned char)std::lround(255.0f * float(covered) / (kSamples * kSamples));
        }
    return pixels;
}

} // namespace ui
