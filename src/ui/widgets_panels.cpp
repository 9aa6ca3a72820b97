// Widgets, part two: the card · alert box · action row · progress bar · spinner · step icons.
#include "ui/widgets.h"

#include <imgui_internal.h>

#include <algorithm>
#include <cmath>

namespace ui {

// --- card ----------------------------------------------------------------------------------------

namespace {

struct OpenCard {
    ImVec2 origin;
    float width = 0;
    float inset = 0;
    float height = 0;
    bool open = false;
};
OpenCard card;
CardArea lastArea;

} // namespace

// The content lives in a child region as tall as the card may grow, so that what does not fit
// scrolls inside the card instead of running on under whatever is below it. The region is
// transparent and flattened into the panel's keyboard navigation, and its items keep the
// identifiers they would have in the panel itself: where the content fits, the card looks and
// behaves as if the region were not there.
void beginCard(float width, float inset, float maxHeight, bool fromTop) {
    IM_ASSERT(!card.open && "cards do not nest");
    card.origin = ImGui::GetCursorScreenPos();
    card.width = width;
    card.inset = px(inset);
    card.height = std::max(maxHeight, 2 * card.inset);
    card.open = true;
    const ImGuiID panelIds = ImGui::GetCurrentWindow()->IDStack.back();
    if (fromTop) ImGui::SetNextWindowScroll(ImVec2(0, 0));
    ImGui::BeginChild("##card", ImVec2(width, card.height), ImGuiChildFlags_NavFlattened,
                      ImGuiWindowFlags_NoBackground);
    ImGui::PushOverrideID(panelIds);
    // The region's corner is held to whole pixels; the content keeps the card's own corner.
    const ImVec2 o = card.origin;
    ImGui::SetCursorScreenPos(ImVec2(o.x + card.inset, o.y + card.inset - ImGui::GetScrollY()));
    ImGui::BeginGroup();
    ImGui::PushTextWrapPos(o.x + width - card.inset - ImGui::GetWindowPos().x);
}

void closeCard() {
    IM_ASSERT(card.open);
    ImGui::PopTextWrapPos();
    ImGui::EndGroup();
    // The bottom inset belongs to the scrolled content, so that scrolling to the end shows it.
    const float contentBottom = ImGui::GetItemRectMax().y;
    ImGui::SetCursorScreenPos(ImVec2(card.origin.x, contentBottom));
    ImGui::Dummy(ImVec2(0, card.inset));
    const float unscrolled = contentBottom + ImGui::GetScrollY() + card.inset;
    ImGui::PopID();
    ImGui::EndChild();

    const ImVec2 o = card.origin;
    const float w = card.width;
    const float bottom = std::min(unscrolled, o.y + card.height);
    // The panel is drawn before its child region, so the card's body lies behind the content.
    ImDrawList* dl = ImGui::GetWindowDrawList();
    dl->AddRectFilled(ImVec2(o.x, o.y + px(6)), ImVec2(o.x + w, bottom + px(10)),
                      IM_COL32(0, 0, 0, 0x46), px(16));
    dl->AddRectFilled(o, ImVec2(o.x + w, bottom), withAlphaByte(0x080E24, 0xCD), px(14));
    const ImU32 sheen = withAlphaByte(kNavy, 0x3C), clear = withAlphaByte(kNavy, 0);
    dl->AddRectFilledMultiColor(ImVec2(o.x + px(14), o.y + 1),
                                ImVec2(o.x + w - px(14), o.y + px(40)), sheen, sheen, clear, clear);
    dl->AddRect(o, ImVec2(o.x + w, bottom), withAlphaByte(kPeriwinkle, 0x2E), px(14), 0, px(1));
    ImGui::SetCursorScreenPos(ImVec2(o.x, bottom));
    ImGui::Dummy(ImVec2(w, 0));
    card.open = false;
    lastArea = {o, ImVec2(o.x + w, bottom)};
}

CardArea lastCardArea() {
    return lastArea;
}

// --- alert box -----------------------------------------------------------------------------------

void alertBox(const char* message, const char* detail, uint32_t rgb, float width) {
    ImFont* main = mainFont ? mainFont : ImGui::GetFont();
    ImFont* mono = monoFont ? monoFont : main;
    const float textWidth = width - px(36);
    const bool hasDetail = detail && detail[0];
    const float mh = main->CalcTextSizeA(px(19), FLT_MAX, textWidth, message).y;
    const float dh = hasDetail ? mono->CalcTextSizeA(px(15), FLT_MAX, textWidth, detail).y : 0;
    const float height = px(24) + mh + (hasDetail ? px(6) + dh : 0);

    const ImVec2 p = ImGui::GetCursorScreenPos();
    const ImVec2 q(p.x + width, p.y + height);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    dl->AddRectFilled(p, q, withAlpha(rgb, 0.08f), px(12));
    dl->AddRect(p, q, withAlpha(rgb, 0.45f), px(12), 0, px(1));
    dl->AddRectFilled(p, ImVec2(p.x + px(4), q.y), withAlpha(rgb, 0.9f), px(12),
                      ImDrawFlags_RoundCornersLeft);
    const ImVec2 mp(p.x + px(18), p.y + px(12));
    dl->AddText(main, px(19), mp, withAlphaByte(rgb, 0xFF), message, nullptr, textWidth);
    logText(mp, message, nullptr);
    if (hasDetail) {
        const ImVec2 dp(mp.x, mp.y + mh + px(6));
        dl->AddText(mono, px(15), dp, withAlphaByte(kMuted, 0xFF), detail, nullptr, textWidth);
        logText(dp, detail, nullptr);
    }
    ImGui::Dummy(ImVec2(width, height));
}

// --- action row ----------------------------------------------------------------------------------

bool actionRow(float buttonWidth, float rowWidth, const char* label, const char* description,
               bool enabled) {
    const float y0 = ImGui::GetCursorPosY();
    const bool clicked =
        button(label, ImVec2(buttonWidth, px(42)), ButtonKind::Secondary, enabled, 18);
    ImGui::SameLine(0, px(18));
    ImGui::SetCursorPosY(y0 + px(9));
    ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + rowWidth - buttonWidth - px(20));
    textWrapped(description, 17, kMuted);
    ImGui::PopTextWrapPos();
    const float after = ImGui::GetCursorPosY() - ImGui::GetStyle().ItemSpacing.y;
    ImGui::SetCursorPosY(std::max(after, y0 + px(42)));
    ImGui::Dummy(ImVec2(1, 0));
    return clicked;
}

// --- progress bar --------------------------------------------------------------------------------

static void drawShimmer(ImDrawList* dl, ImVec2 min, ImVec2 max, double time) {
    const float fillWidth = max.x - min.x;
    const float m = std::fmod(float(160.0 * double(px(1)) * time), fillWidth + px(80));
    const float xc = min.x + m - px(40);
    const ImU32 none = IM_COL32(255, 255, 255, 0), peak = IM_COL32(255, 255, 255, 0x3C);
    dl->PushClipRect(min, max, true);
    dl->AddRectFilledMultiColor(ImVec2(xc - px(40), min.y), ImVec2(xc, max.y), none, peak, peak,
                                none);
    dl->AddRectFilledMultiColor(ImVec2(xc, min.y), ImVec2(xc + px(40), max.y), peak, none, none,
                                peak);
    dl->PopClipRect();
}

void progressBar(float fraction, ImVec2 size, double time) {
    ImGui::Dummy(size);
    const ImVec2 min = ImGui::GetItemRectMin(), max = ImGui::GetItemRectMax();
    const float r = size.y / 2;
    ImDrawList* dl = ImGui::GetWindowDrawList();
    dl->AddRectFilled(min, max, withAlphaByte(kNavy, 0x5A), r);
    dl->AddRect(min, max, withAlphaByte(kPeriwinkle, 0x2E), r, 0, px(1));
    const float f = std::clamp(fraction, 0.0f, 1.0f);
    if (!(f > 0)) return;
    const ImVec2 fillMax(min.x + std::max(size.x * f, size.y), max.y);
    for (int i = 1; i <= 4; ++i) {
        float g = 2.5f * float(i) * px(1);
        dl->AddRectFilled(ImVec2(min.x - g, min.y - g), ImVec2(fillMax.x + g, fillMax.y + g),
                          withAlpha(kAccent, 0.063f / float(i)), r + g);
    }
    const int v0 = dl->VtxBuffer.Size;
    dl->AddRectFilled(min, fillMax, IM_COL32_WHITE, r);
    ImGui::ShadeVertsLinearColorGradientKeepAlpha(
        dl, v0, dl->VtxBuffer.Size, min, ImVec2(max.x, min.y), withAlphaByte(kAccent, 0xFF),
        withAlphaByte(kViolet, 0xFF));
    if (f < 1) drawShimmer(dl, min, fillMax, time);
}

// --- spinner and step icons ----------------------------------------------------------------------

void spinner(ImVec2 centre, float radius, double time) {
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const float a0 = float(5.0 * time);
    dl->PathArcTo(centre, px(radius), a0, a0 + 4.2f, 32);
    dl->PathStroke(withAlphaByte(kAccent, 0xFF), 0, px(3));
}

static void drawCheck(ImDrawList* dl, ImVec2 c, float r, ImU32 colour) {
    const ImVec2 points[3] = {ImVec2(c.x - 0.45f * r, c.y + 0.02f * r),
                              ImVec2(c.x - 0.1f * r, c.y + 0.38f * r),
                              ImVec2(c.x + 0.5f * r, c.y - 0.38f * r)};
    dl->AddPolyline(points, 3, colour, ImDrawFlags_None, px(2));
}

void stepIcon(ImVec2 c, StepState state, double time) {
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const float r = px(9);
    switch (state) {
    case StepState::Pending:
        dl->AddCircle(c, 0.7f * r, withAlphaByte(kDim, 0xCC), 0, px(1.5f));
        break;
    case StepState::Running: {
        const float breath = 0.5f + 0.5f * float(std::sin(4.0 * time));
        dl->AddCircleFilled(c, r * (1.2f + 0.5f * breath), withAlphaByte(kAccent, 0x26));
        dl->AddCircleFilled(c, 0.75f * r, withAlphaByte(kAccent, 0xFF));
        break;
    }
    case StepState::Done:
    case StepState::Skipped: {
        const bool before = state == StepState::Skipped;
        dl->AddCircleFilled(c, r, withAlphaByte(kSuccess, before ? 0x1E : 0x38));
        dl->AddCircle(c, r, withAlphaByte(kSuccess, before ? 0x7F : 0xE5), 0, px(1.5f));
        drawCheck(dl, c, r, withAlphaByte(kSuccess, before ? 0x99 : 0xFF));
        break;
    }
    default: {
        const float k = 0.4f * r;
        const ImU32 red = withAlphaByte(kError, 0xFF);
        dl->AddCircleFilled(c, r, withAlphaByte(kError, 0x38));
        dl->AddCircle(c, r, red, 0, px(1.5f));
        dl->AddLine(ImVec2(c.x - k, c.y - k), ImVec2(c.x + k, c.y + k), red, px(2));
        dl->AddLine(ImVec2(c.x + k, c.y - k), ImVec2(c.x - k, c.y + k), red, px(2));
        break;
    }
    }
}

} // namespace ui
