// The launcher's own widgets, drawn on Dear ImGui's draw lists: texts, titles, buttons, pills,
// the content card, alert boxes, action rows, the progress bar, the spinner and the step icons.
//
// Sizes are in pixels at interface scale 1: every widget multiplies them by uiScale itself
// unless a parameter says "already scaled". Colours are #RRGGBB values (0xRRGGBB).
#pragma once

#include "prep/progress.h"

#include <imgui.h>

#include <cstdint>

namespace ui {

// --- palette -------------------------------------------------------------------------------------

inline constexpr uint32_t kLight = 0xE8EFFF;      // light text
inline constexpr uint32_t kMuted = 0x9AACCF;      // muted text
inline constexpr uint32_t kDim = 0x64759A;        // captions, hints, the version line
inline constexpr uint32_t kAccent = 0x7EA6FF;     // accent blue
inline constexpr uint32_t kViolet = 0xB79BFF;     // violet
inline constexpr uint32_t kSuccess = 0x4FE0A3;    // success green
inline constexpr uint32_t kWarning = 0xFFC35C;    // warning amber
inline constexpr uint32_t kError = 0xFF6B7A;      // error red
inline constexpr uint32_t kNavy = 0x1E3278;       // navy fill
inline constexpr uint32_t kPeriwinkle = 0x8CAAFF; // periwinkle border

// Set once by setupFontsAndStyle. monoFont is mainFont when no fixed-width font could be loaded.
extern ImFont* mainFont;
extern ImFont* monoFont;

// ImGui's packed colour from #RRGGBB and an alpha fraction: the fraction is held within 0..1 and
// the alpha byte is trunc(255 × fraction).
ImU32 withAlpha(uint32_t rgb, float alpha);
// The same with the alpha byte given as is.
ImU32 withAlphaByte(uint32_t rgb, uint32_t alphaByte);

// Where a label's visible text ends: at its first "##", else at its end (ImGui's rule).
const char* labelEnd(const char* label);

// A length at interface scale 1 multiplied by uiScale: px(12) is "12s".
float px(float length);

// --- text ----------------------------------------------------------------------------------------

// One unformatted text item in the main font; it wraps at an enclosing wrap position.
void text(const char* str, float size, uint32_t rgb, float alpha = 1.0f);
// A wrapped text item (at the wrap position in force, else at the window's edge).
void textWrapped(const char* str, float size, uint32_t rgb, float alpha = 1.0f);
// The main font's size of str (up to end, or its terminating zero) at size × s, without
// wrapping; letter spacing (unscaled) widens it by spacing × s per gap between code points.
ImVec2 measureText(const char* str, float size, float spacing, const char* end = nullptr);
// Draws only. size is already scaled; spacing is not.
void drawSpacedText(ImDrawList* drawList, ImVec2 pos, const char* str, float size, ImU32 colour,
                    float spacing);
// Glow rings, the text, and two bold copies; draws on the current window's draw list only.
void fancyText(ImVec2 pos, const char* str, float size, uint32_t rgb, float spacing, bool bold,
               float glow);
// A glowing title at the cursor, followed by an item of its size.
void title(const char* str, uint32_t rgb);
// Hands a text drawn straight on a draw list to Dear ImGui's log, as ImGui's own texts are, so
// that a log capture (and the tests) reads what the user sees. end may be null.
void logText(ImVec2 pos, const char* str, const char* end);
// Draws only: str in the main font at size × s on the current window's draw list, no item.
void drawText(ImVec2 pos, float size, ImU32 colour, const char* str);

// --- buttons and pills ---------------------------------------------------------------------------

enum class ButtonKind : int32_t { Primary = 0, Secondary = 1, Danger = 2, Link = 3 };

// size: 0 or less in either direction means "fit the text". True on the frame an enabled button
// is clicked (by mouse, or by Enter/Space while it has the keyboard focus).
bool button(const char* label, ImVec2 size, ButtonKind kind, bool enabled, float fontSize);
// A fully rounded toggle. True on the frame an enabled pill is clicked.
bool pill(const char* label, bool selected, float fontSize, bool enabled);

// Makes the item just drawn the one that has the keyboard focus when its screen appears.
void takeDefaultFocus();
// While on, the next takeDefaultFocus in the main panel moves the focus there (its screen changed);
// the frame turns it on when the card's content changes and off once the card is drawn.
void requestDefaultFocus(bool on);

// B on a gamepad (the east button): it stands for Escape, and on the quit question for "Keep
// going".
bool gamepadBack();

// --- panels --------------------------------------------------------------------------------------

// width and maxHeight are already scaled; inset is not. Content taller than maxHeight scrolls
// inside the card; fromTop scrolls it back to its top (new content). Cards do not nest.
void beginCard(float width, float inset, float maxHeight, bool fromTop);
void closeCard();
// Where the card closed last lies on the screen: its body, without the shadow below it.
struct CardArea {
    ImVec2 min, max;
};
CardArea lastCardArea();
// A tinted box with the message and an optional fixed-width detail line; an item of its size.
void alertBox(const char* message, const char* detail, uint32_t rgb, float width);
// A secondary button with its explanation beside it; widths already scaled.
bool actionRow(float buttonWidth, float rowWidth, const char* label, const char* description,
               bool enabled);
// size already scaled; time in seconds drives the shimmer.
void progressBar(float fraction, ImVec2 size, double time);
// centre in screen pixels; radius unscaled.
void spinner(ImVec2 centre, float radius, double time);
void stepIcon(ImVec2 centre, StepState state, double time);

// An empty item of width 1 and the given (unscaled) height.
void spacer(float height);

} // namespace ui
