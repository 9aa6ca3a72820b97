// The background: grid colours · bar geometry · drawing (gradient mesh, bars, scan lines, the still
// layers kept).
#include "ui/background.h"

#include "plat/backdrop.h"
#include "plat/window.h"
#include "ui/desktop.h"
#include "ui/frame.h"
#include "ui/widgets.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace ui {

// --- grid colours --------------------------------------------------------------------------------

Rgb8 backgroundGridColour(int r, int j) {
    const double u = double(j) / 48.0, v = double(r) / 30.0;
    const double d1 = std::sqrt(std::pow((u - 0.5) / 0.62, 2) + std::pow((v - 1.02) / 1.05, 2));
    const double d2 = std::sqrt(4 * (u - 0.5) * (u - 0.5) + 4 * (v - 0.5) * (v - 0.5));
    double R, G, B;
    if (d1 < 0.55) {
        const double t = d1 / 0.55;
        R = 20 - 15 * t;
        G = 50 - 39 * t;
        B = 143 - 105 * t;
    } else {
        const double t = std::min((d1 - 0.55) / 0.45, 1.0);
        R = 5 - 4 * t;
        G = 11 - 8 * t;
        B = 38 - 28 * t;
    }
    const double k = std::clamp((d2 / 1.414 - 0.45) / 0.55, 0.0, 1.0);
    const double f = 1 - 0.65 * k * k * (3 - 2 * k);
    return {uint8_t(R * f), uint8_t(G * f), uint8_t(B * f)};
}

// --- bar geometry --------------------------------------------------------------------------------

namespace {

// A bar's own random number, 0 to 1.
float barHash(int i) {
    const float hs = std::sin(12.9898f * float(i)) * 43758.546875f;
    return hs - std::floor(hs);
}

// A bar's height as a share of the window's, before its slow swell of up to 7 %.
double barShare(int i, float h) {
    const double x01 = (i + 0.5) / 15.0;
    return (1 - 1.2 * std::fabs(x01 - 0.5)) * 0.22 * (0.55 + 0.45 * h) + 0.08;
}

} // namespace

BarGeometry backgroundBar(int i, double time, bool motion, float W, float H) {
    const double t1 = motion ? 0.35 * time : 0.0, t2 = motion ? 0.5 * time : 0.0;
    const float h = barHash(i);
    const double s1 = std::sin(1.7 * i + t1), s2 = std::sin(2.3 * i + t2);
    const double x01 = (i + 0.5) / 15.0;
    const double w = (0.018 + 0.01 * h) * W;
    const double cx = (x01 + (h - 0.5) * 0.02) * W;
    const double hb = barShare(i, h) * H * (1 + 0.07 * s1);
    const double top = H - hb;
    BarGeometry bar;
    bar.pulse = float(0.85 + 0.15 * s2);
    bar.glowLeft = float(cx - w / 2);
    bar.glowRight = float(cx + w / 2);
    bar.glowTop = float(top);
    bar.x0 = std::floor(bar.glowLeft);
    bar.w = std::floor(float(w));
    bar.top = std::floor(float(top));
    bar.hb = std::floor(float(hb));
    return bar;
}

int scanLineCount(float height) {
    const int h = int(height);
    return h <= 0 ? 0 : (h + 2) / 3;
}

float barGlowReach(float scale) {
    return 3.5f * 9.0f * scale; // the outermost of drawBar's three glows
}

float barsHighestRow(float H, float scale) {
    double highest = H;
    for (int i = 0; i < kBackgroundBars; ++i)
        highest = std::min(highest, H - barShare(i, barHash(i)) * H * 1.07);
    // Two pixels to spare: a filled shape's antialiased fringe reaches half a pixel further out,
    // and the bar's own numbers are rounded to float.
    return std::max(0.0f, std::floor(float(highest) - barGlowReach(scale)) - 2);
}

int firstScanLineFrom(float row) {
    return row <= 0 ? 0 : int(std::ceil(row / 3));
}

// --- drawing -------------------------------------------------------------------------------------

namespace {

const int kCells = (kBackgroundRows - 1) * (kBackgroundColumns - 1);
const int kIndices = kCells * 6;                            // 8640
const int kVertices = kBackgroundRows * kBackgroundColumns; // 1519

const std::array<ImU32, kVertices>& gridColours() {
    static const std::array<ImU32, kVertices> colours = [] {
        std::array<ImU32, kVertices> c{};
        for (int r = 0; r < kBackgroundRows; ++r)
            for (int j = 0; j < kBackgroundColumns; ++j) {
                Rgb8 v = backgroundGridColour(r, j);
                c[size_t(r * kBackgroundColumns + j)] = IM_COL32(v.r, v.g, v.b, 255);
            }
        return c;
    }();
    return colours;
}

void drawGradient(ImDrawList* dl, float W, float H) {
    const std::array<ImU32, kVertices>& colours = gridColours();
    dl->PrimReserve(kIndices, kVertices);
    const unsigned base = dl->_VtxCurrentIdx;
    const ImVec2 uv = dl->_Data->TexUvWhitePixel;
    for (int r = 0; r < kBackgroundRows; ++r)
        for (int j = 0; j < kBackgroundColumns; ++j)
            dl->PrimWriteVtx(ImVec2(float(j) * W / 48.0f, float(r) * H / 30.0f), uv,
                             colours[size_t(r * kBackgroundColumns + j)]);
    for (int r = 0; r < kBackgroundRows - 1; ++r)
        for (int j = 0; j < kBackgroundColumns - 1; ++j) {
            const unsigned n = base + unsigned(r * kBackgroundColumns + j);
            dl->PrimWriteIdx(ImDrawIdx(n));
            dl->PrimWriteIdx(ImDrawIdx(n + 1));
            dl->PrimWriteIdx(ImDrawIdx(n + 50));
            dl->PrimWriteIdx(ImDrawIdx(n));
            dl->PrimWriteIdx(ImDrawIdx(n + 50));
            dl->PrimWriteIdx(ImDrawIdx(n + 49));
        }
}

void drawBar(ImDrawList* dl, const BarGeometry& b, float H) {
    for (int k = 3; k >= 1; --k) {
        const float g = 3.5f * float(k * k) * uiScale; // k = 3: barGlowReach
        const ImVec2 min(b.glowLeft - g, b.glowTop - g), max(b.glowRight + g, H);
        const float rounding = 0.15f * std::min(max.x - min.x, max.y - min.y);
        dl->AddRectFilled(min, max, withAlpha(0x4F74FF, 0.03f * b.pulse / float(k)), rounding);
    }
    const ImU32 top = withAlpha(0x6F8DFF, 0.26f * b.pulse);
    const ImU32 bottom = withAlpha(0x14328F, 0.06f * b.pulse);
    dl->AddRectFilledMultiColor(ImVec2(b.x0, b.top), ImVec2(b.x0 + b.w, b.top + b.hb), top, top,
                                bottom, bottom);
    dl->AddRectFilled(ImVec2(b.x0, b.top), ImVec2(b.x0 + b.w, b.top + std::floor(2 * uiScale)),
                      withAlpha(0xC9DBFF, 0.35f * b.pulse));
}

// The scan lines from..to-1 are plain rectangles, the same as AddRectFilled makes, reserved at
// once.
void drawScanLines(ImDrawList* dl, float W, int from, int to) {
    if (to <= from) return;
    const ImU32 line = IM_COL32(255, 255, 255, 5);
    dl->PrimReserve((to - from) * 6, (to - from) * 4);
    for (int n = from; n < to; ++n) {
        const float y = float(3 * n);
        dl->PrimRect(ImVec2(0, y), ImVec2(W, y + 1), line);
    }
}

int firstLiveScanLine(float H) {
    return std::min(firstScanLineFrom(barsHighestRow(H, uiScale)), scanLineCount(H));
}

void paintStillLayers(ImDrawList& dl, float W, float H) {
    drawGradient(&dl, W, H);
    drawScanLines(&dl, W, 0, firstLiveScanLine(H));
}

} // namespace

void drawBackground(double time, bool motion) {
    const WindowSize size = windowSize();
    const float W = float(size.width), H = float(size.height);
    ImDrawList* dl = ImGui::GetBackgroundDrawList();
    // The gradient and the scan lines above the bars stay the same while the size does: copied
    // from a layer drawn once when there is one. The lines among the bars are drawn over them.
    const bool kept = plat::backdropReady(paintStillLayers, W, H);
    if (kept)
        dl->AddCallback(plat::copyBackdrop, nullptr);
    else
        drawGradient(dl, W, H);
    for (int i = 0; i < kBackgroundBars; ++i)
        drawBar(dl, backgroundBar(i, time, motion, W, H), H);
    drawScanLines(dl, W, kept ? firstLiveScanLine(H) : 0, scanLineCount(H));
}

} // namespace ui
