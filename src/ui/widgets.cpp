// Widgets, part one: colours · text · buttons · pills · default focus.
#include "ui/widgets.h"

#include "plat/window.h"

#include <imgui_internal.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ui {

ImFont* mainFont = nullptr;
ImFont* monoFont = nullptr;

namespace {

bool defaultFocusPending = false;

// The screens' default buttons of this frame and the last one (a screen and a modal window each
// have one).
struct DefaultButtons {
    ImGuiID ids[4] = {};
    int frames[4] = {-1, -1, -1, -1};
};
DefaultButtons defaults;

void rememberDefault(ImGuiID id) {
    const int frame = GImGui->FrameCount;
    int slot = 0;
    for (int i = 0; i < 4; ++i) {
        if (defaults.ids[i] == id) {
            slot = i;
            break;
        }
        if (defaults.frames[i] < defaults.frames[slot]) slot = i;
    }
    defaults.ids[slot] = id;
    defaults.frames[slot] = frame;
}

bool isDefault(ImGuiID id) {
    for (int i = 0; i < 4; ++i)
        if (defaults.ids[i] == id && defaults.frames[i] >= GImGui->FrameCount - 1) return true;
    return false;
}

bool activationPressed() {
    ImGuiContext& g = *GImGui; // ImGuiKey_NavGamepadActivate reads it
    for (ImGuiKey key :
         {ImGuiKey_Enter, ImGuiKey_KeypadEnter, ImGuiKey_Space, ImGuiKey_NavGamepadActivate})
        if (ImGui::IsKeyPressed(key, ImGuiInputFlags_None, ImGuiKeyOwner_NoOwner)) return true;
    return false;
}

// Dear ImGui spends the first Enter after it moved the focus by itself on showing the focus frame.
// On a screen's default button that press is already the user's answer: it acts at once.
void actAtOnceOnDefault(ImGuiID id) {
    ImGuiContext& g = *GImGui;
    if (g.NavId != id || g.NavCursorVisible || g.ActiveId != 0 || !isDefault(id)) return;
    if (!activationPressed()) return;
    g.NavCursorVisible = g.NavHighlightItemUnderNav = true;
    g.NavActivateId = g.NavActivateDownId = g.NavActivatePressedId = id;
    g.NavActivateFlags = ImGuiActivateFlags_PreferInput;
}

// An item whose visible text changes when it is used ("… on" becoming "… off", "Français"
// becoming "English") comes back under a new identifier at the same place; the keyboard focus
// follows it there instead of being lost.
struct FocusFollow {
    ImGuiID from = 0;
    ImVec2 at;
    int frame = -1;
};
FocusFollow follow;

void followRelabelledItem(ImGuiID id, ImVec2 min, bool clicked, bool enabled) {
    ImGuiContext& g = *GImGui;
    if (clicked && g.NavId == id) {
        follow = {id, min, g.FrameCount};
        return;
    }
    if (follow.from == 0 || g.FrameCount != follow.frame + 1 || !enabled) return;
    if (id == follow.from || g.NavId != follow.from || min.x != follow.at.x || min.y != follow.at.y)
        return;
    const bool cursorVisible = g.NavCursorVisible;
    ImGui::SetFocusID(id, ImGui::GetCurrentWindow());
    g.NavCursorVisible = cursorVisible;
    g.NavIdIsAlive = true;
    follow.from = 0;
}

ImFont* fontOrCurrent(ImFont* font) {
    return font ? font : ImGui::GetFont();
}

// A rounded rectangle grown by 2.5 × i × s on every side, four times, fainter outwards.
void drawGlow(ImDrawList* dl, ImVec2 min, ImVec2 max, float rounding, uint32_t rgb,
              float alphaAtOne) {
    for (int i = 1; i <= 4; ++i) {
        float g = 2.5f * float(i) * px(1);
        dl->AddRectFilled(ImVec2(min.x - g, min.y - g), ImVec2(max.x + g, max.y + g),
                          withAlpha(rgb, alphaAtOne / float(i)), rounding + g);
    }
}

struct ItemState {
    ImVec2 min, max;
    bool clicked, hovered, held, focused;
};

// Reserves the widget's area with an invisible button and reads its state at once.
ItemState reserve(const char* label, ImVec2 size, bool enabled) {
    if (!enabled) ImGui::BeginDisabled();
    ItemState st{};
    if (enabled) actAtOnceOnDefault(ImGui::GetID(label));
    // Invisible buttons stay out of keyboard navigation unless asked in.
    st.clicked = ImGui::InvisibleButton(label, size, ImGuiButtonFlags_EnableNav);
    st.hovered = ImGui::IsItemHovered();
    st.held = ImGui::IsItemActive();
    st.focused = ImGui::IsItemFocused();
    st.min = ImGui::GetItemRectMin();
    st.max = ImGui::GetItemRectMax();
    if (!enabled) ImGui::EndDisabled();
    st.clicked = st.clicked && enabled;
    followRelabelledItem(ImGui::GetItemID(), st.min, st.clicked, enabled);
    return st;
}

} // namespace

// --- colours -------------------------------------------------------------------------------------

ImU32 withAlphaByte(uint32_t rgb, uint32_t alphaByte) {
    return IM_COL32((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, alphaByte & 0xFF);
}

ImU32 withAlpha(uint32_t rgb, float alpha) {
    float f = std::clamp(alpha, 0.0f, 1.0f);
    return withAlphaByte(rgb, uint32_t(255.0f * f));
}

const char* labelEnd(const char* label) {
    const char* hashes = std::strstr(label, "##");
    return hashes ? hashes : label + std::strlen(label);
}

float px(float length) {
    return length * uiScale;
}

void spacer(float height) {
    ImGui::Dummy(ImVec2(1, px(height)));
}

// --- text ----------------------------------------------------------------------------------------

static void pushText(float size, uint32_t rgb, float alpha) {
    ImGui::PushFont(mainFont, px(size));
    ImGui::PushStyleColor(ImGuiCol_Text, withAlpha(rgb, alpha));
}

static void popText() {
    ImGui::PopStyleColor();
    ImGui::PopFont();
}

void text(const char* str, float size, uint32_t rgb, float alpha) {
    pushText(size, rgb, alpha);
    ImGui::TextUnformatted(str);
    popText();
}

void textWrapped(const char* str, float size, uint32_t rgb, float alpha) {
    pushText(size, rgb, alpha);
    ImGui::TextWrapped("%s", str);
    popText();
}

ImVec2 measureText(const char* str, float size, float spacing, const char* end) {
    if (!end) end = str + std::strlen(str);
    ImVec2 t = fontOrCurrent(mainFont)->CalcTextSizeA(px(size), FLT_MAX, 0.0f, str, end);
    if (spacing > 0) {
        int codePoints = 0;
        for (const char* p = str; p < end; ++p)
            if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) ++codePoints;
        if (codePoints > 1) t.x += spacing * px(1) * float(codePoints - 1);
    }
    return t;
}

namespace {

// Where ImDrawList::AddText would put a single character's glyph at pos: the position truncated to
// whole pixels, nothing on a row outside the clip rectangle or beside it. False when it draws
// nothing.
bool glyphRect(const ImDrawList* dl, const ImFontGlyph* glyph, float scale, float size, ImVec2 pos,
               ImVec2& min, ImVec2& max) {
    const ImVec4& clip = dl->_CmdHeader.ClipRect;
    const float x = IM_TRUNC(pos.x), y = IM_TRUNC(pos.y);
    if (y > clip.w || y + size < clip.y || !glyph->Visible) return false;
    min = ImVec2(x + glyph->X0 * scale, y + glyph->Y0 * scale);
    max = ImVec2(x + glyph->X1 * scale, y + glyph->Y1 * scale);
    return min.x <= clip.z && max.x >= clip.x;
}

bool isLineBreak(unsigned int c) {
    return c == '\n' || c == '\r';
}

// The copies fancyText draws, in order: three rings of eight glow copies, the text, two bold
// copies.
template <typename Draw>
void fancyCopies(ImVec2 pos, float glow, bool bold, uint32_t rgb, Draw draw) {
    if (glow > 0) {
        for (int i = 1; i <= 3; ++i) {
            float radius = 1.6f * float(i) * px(1);
            ImU32 c = withAlphaByte(0x6E9BFF, uint32_t(glow * 255.0f * 0.1f / float(i)));
            for (int j = 0; j < 8; ++j) {
                float a = float(j) * IM_PI / 4.0f;
                ImVec2 off =
                    j == 0 ? ImVec2(radius, 0) : ImVec2(std::cos(a) * radius, std::sin(a) * radius);
                draw(ImVec2(pos.x + off.x, pos.y + off.y), c);
            }
        }
    }
    const ImU32 solid = withAlphaByte(rgb, 0xFF);
    draw(pos, solid);
    if (bold) {
        draw(ImVec2(pos.x + px(0.55f), pos.y), solid);
        draw(ImVec2(pos.x + px(0.3f), pos.y + px(0.3f)), solid);
    }
}

// Spaced text, laid out once: each code point's glyph (none for a line break, which only moves
// on) and the step to the next one. The title and the header draw the same text up to 27 times a
// frame, each copy at its own position; only the layout is shared, so every copy gets exactly the
// vertices that AddText would give each of its code points.
struct SpacedGlyph {
    const ImFontGlyph* glyph;
    float step;
};

struct SpacedRun {
    ImFontBaked* baked = nullptr;
    float scale = 1;
    ImVector<SpacedGlyph> glyphs; // reused from frame to frame: no allocation once grown
};

SpacedRun& layOutSpaced(ImFont* font, const char* str, float size, float spacing) {
    static SpacedRun run; // the frame thread's only
    run.baked = font->GetFontBaked(size);
    run.scale = size / run.baked->Size;
    run.glyphs.resize(0);
    // Every glyph is baked before any is taken: baking one may grow the baked font's glyph
    // vector and so move the glyphs taken before it. Baking may also move the atlas to a new
    // texture, which starts a new draw command: that happens before any vertex is written.
    const char* end = str + std::strlen(str);
    for (const char* p = str; p < end;) {
        unsigned int c = 0;
        int n = ImTextCharFromUtf8(&c, p, end);
        if (n <= 0) break;
        if (!isLineBreak(c)) {
            run.baked->FindGlyph(ImWchar(c));
            run.baked->GetCharAdvance(ImWchar(c));
        }
        p += n;
    }
    for (const char* p = str; p < end;) {
        unsigned int c = 0;
        int n = ImTextCharFromUtf8(&c, p, end);
        if (n <= 0) break;
        SpacedGlyph g{nullptr, 0};
        if (!isLineBreak(c)) {
            g.glyph = run.baked->FindGlyph(ImWchar(c));
            g.step = run.baked->GetCharAdvance(ImWchar(c)) * run.scale;
        }
        g.step = g.step + spacing * px(1);
        run.glyphs.push_back(g);
        p += n;
    }
    return run;
}

void drawRun(ImDrawList* dl, const SpacedRun& run, ImVec2 pos, float size, ImU32 colour) {
    if ((colour & IM_COL32_A_MASK) == 0) return;
    for (const SpacedGlyph& g : run.glyphs) {
        ImVec2 min, max;
        if (g.glyph && glyphRect(dl, g.glyph, run.scale, size, pos, min, max)) {
            dl->PrimReserve(6, 4);
            dl->PrimRectUV(min, max, ImVec2(g.glyph->U0, g.glyph->V0),
                           ImVec2(g.glyph->U1, g.glyph->V1),
                           g.glyph->Colored ? colour | ~IM_COL32_A_MASK : colour);
        }
        pos.x += g.step;
    }
}

} // namespace

void drawSpacedText(ImDrawList* dl, ImVec2 pos, const char* str, float size, ImU32 colour,
                    float spacing) {
    ImFont* font = fontOrCurrent(mainFont);
    if (spacing <= 0) {
        dl->AddText(font, size, pos, colour, str);
        return;
    }
    drawRun(dl, layOutSpaced(font, str, size, spacing), pos, size, colour);
}

void fancyText(ImVec2 pos, const char* str, float size, uint32_t rgb, float spacing, bool bold,
               float glow) {
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const float fs = px(size);
    if (spacing <= 0) {
        // Unspaced text is one AddText per copy.
        fancyCopies(pos, glow, bold, rgb,
                    [&](ImVec2 at, ImU32 c) { drawSpacedText(dl, at, str, fs, c, spacing); });
        return;
    }
    const SpacedRun& run = layOutSpaced(fontOrCurrent(mainFont), str, fs, spacing);
    fancyCopies(pos, glow, bold, rgb, [&](ImVec2 at, ImU32 c) { drawRun(dl, run, at, fs, c); });
}

void logText(ImVec2 pos, const char* str, const char* end) {
    if (!GImGui->LogEnabled) return;
    // Given an end, the log keeps a "##" that is part of the text (a path, a message).
    ImGui::LogRenderedText(&pos, str, end ? end : str + std::strlen(str));
}

void drawText(ImVec2 pos, float size, ImU32 colour, const char* str) {
    ImGui::GetWindowDrawList()->AddText(fontOrCurrent(mainFont), px(size), pos, colour, str);
    logText(pos, str, nullptr);
}

void title(const char* str, uint32_t rgb) {
    fancyText(ImGui::GetCursorScreenPos(), str, 30, rgb, 0.5f, true, 0.5f);
    logText(ImGui::GetCursorScreenPos(), str, nullptr);
    ImGui::Dummy(measureText(str, 30, 0.5f));
}

// --- buttons -------------------------------------------------------------------------------------

static void drawPrimary(ImDrawList* dl, const ItemState& st, float r, bool enabled) {
    if (enabled)
        drawGlow(dl, st.min, st.max, r, kAccent, st.hovered || st.focused ? 0.112f : 0.056f);
    uint32_t from = 0x7398EA, to = 0xA88EEA;
    if (st.held) {
        from = 0x6B8DD8;
        to = 0x9B83D8;
    } else if (st.hovered) {
        from = kAccent;
        to = kViolet;
    }
    int v0 = dl->VtxBuffer.Size;
    dl->AddRectFilled(st.min, st.max, IM_COL32_WHITE, r);
    ImGui::ShadeVertsLinearColorGradientKeepAlpha(dl, v0, dl->VtxBuffer.Size, st.min, st.max,
                                                  withAlphaByte(from, 0xFF),
                                                  withAlphaByte(to, 0xFF));
    dl->AddRect(st.min, st.max, withAlpha(0xDBE7FF, 0.55f * (enabled ? 1.0f : 0.4f)), r, 0,
                px(1.2f));
}

static void drawFramed(ImDrawList* dl, const ItemState& st, float r, bool enabled, uint32_t glow,
                       uint32_t border) {
    const float m = enabled ? 1.0f : 0.4f;
    const bool lit = st.hovered || st.focused;
    if (enabled && lit) drawGlow(dl, st.min, st.max, r, glow, 0.049f);
    uint32_t fill = enabled ? 0x59 : 0x23;
    if (st.held)
        fill = enabled ? 0x99 : 0x3D;
    else if (st.hovered)
        fill = uint32_t(127.5f * m);
    dl->AddRectFilled(st.min, st.max, withAlphaByte(kNavy, fill), r);
    dl->AddRect(st.min, st.max, withAlpha(border, (lit ? 0.55f : 0.25f) * m), r, 0, px(1));
}

bool button(const char* label, ImVec2 size, ButtonKind kind, bool enabled, float fontSize) {
    const char* end = labelEnd(label);
    const ImVec2 t = measureText(label, fontSize, 0, end);
    const bool link = kind == ButtonKind::Link;
    if (size.x <= 0) size.x = t.x + px(link ? 4 : 44);
    if (size.y <= 0) size.y = t.y + px(link ? 4 : 22);
    const ItemState st = reserve(label, size, enabled);

    ImDrawList* dl = ImGui::GetWindowDrawList();
    const uint32_t a = enabled ? 0xFF : 0x66;
    const float r = std::min(size.y / 2, px(16));
    const ImVec2 tp(st.min.x + (size.x - t.x) / 2, st.min.y + (size.y - t.y) / 2 - px(1));
    ImFont* font = fontOrCurrent(mainFont);
    const float fs = px(fontSize);
    logText(tp, label, end);
    switch (kind) {
    case ButtonKind::Primary: {
        drawPrimary(dl, st, r, enabled);
        const ImU32 c = withAlphaByte(0x050B26, a);
        dl->AddText(font, fs, tp, c, label, end);
        dl->AddText(font, fs, ImVec2(tp.x + px(0.5f), tp.y), c, label, end);
        break;
    }
    case ButtonKind::Secondary:
    case ButtonKind::Danger: {
        const bool danger = kind == ButtonKind::Danger;
        drawFramed(dl, st, r, enabled, danger ? kError : kAccent, danger ? kError : kPeriwinkle);
        dl->AddText(font, fs, tp, withAlphaByte(danger ? kError : kLight, a), label, end);
        break;
    }
    case ButtonKind::Link: {
        const bool lit = st.hovered || st.focused;
        dl->AddText(font, fs, tp, withAlphaByte(lit ? kLight : 0x9EC0FF, a), label, end);
        if (st.hovered)
            dl->AddLine(ImVec2(tp.x, tp.y + t.y), ImVec2(tp.x + t.x, tp.y + t.y),
                        withAlphaByte(kLight, 0xCC), px(1));
        break;
    }
    }
    return st.clicked;
}

// --- pills ---------------------------------------------------------------------------------------

bool pill(const char* label, bool selected, float fontSize, bool enabled) {
    const char* end = labelEnd(label);
    const ImVec2 t = measureText(label, fontSize, 0, end);
    const ImVec2 size(t.x + px(30), t.y + px(14));
    const ItemState st = reserve(label, size, enabled);

    ImDrawList* dl = ImGui::GetWindowDrawList();
    const float m = enabled ? 1.0f : 0.4f;
    const uint32_t a = enabled ? 0xFF : 0x66;
    const float r = size.y / 2;
    uint32_t textRgb = kMuted;
    if (selected) {
        drawGlow(dl, st.min, st.max, r, kViolet, 0.042f);
        dl->AddRectFilled(st.min, st.max, withAlpha(kViolet, 0.2f * m), r);
        dl->AddRect(st.min, st.max, withAlpha(kViolet, 0.65f * m), r, 0, px(1));
        textRgb = kLight;
    } else if (st.hovered || st.focused) {
        dl->AddRectFilled(st.min, st.max, withAlphaByte(kNavy, 0x72), r);
        textRgb = st.hovered ? kLight : kMuted;
    }
    const ImVec2 tp(st.min.x + (size.x - t.x) / 2, st.min.y + (size.y - t.y) / 2 - px(1));
    dl->AddText(fontOrCurrent(mainFont), px(fontSize), tp, withAlphaByte(textRgb, a), label, end);
    return st.clicked;
}

bool gamepadBack() {
    return ImGui::IsKeyPressed(ImGuiKey_GamepadFaceRight, false);
}

// --- default focus -------------------------------------------------------------------------------

void requestDefaultFocus(bool on) {
    defaultFocusPending = on;
}

void takeDefaultFocus() {
    ImGuiContext& g = *GImGui;
    ImGuiWindow* window = ImGui::GetCurrentWindow();
    rememberDefault(g.LastItemData.ID);
    if (window->Appearing) {
        ImGui::SetItemDefaultFocus();
        return;
    }
    // A window that stays open (the root panel) never appears again: when its content changes,
    // the new screen's default button is focused directly, unless a popup holds the focus.
    if (!defaultFocusPending) return;
    defaultFocusPending = false;
    // The card's region shares the panel's navigation: focus in either is the panel's.
    const bool panelHasFocus =
        !g.NavWindow || g.NavWindow->RootWindowForNav == window->RootWindowForNav;
    if (g.LastItemData.ID != 0 && panelHasFocus) ImGui::SetFocusID(g.LastItemData.ID, window);
}

} // namespace ui
