// Widgets drawn alone in a window of their own: clicks, sizes, and what lands on the draw list.
#include "ui/harness.h"

#include "ui/widgets.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Draws body inside a window "w" at (0, 0) and returns nothing; geometry is read afterwards.
void inWindow(Headless& ui, const std::function<void()>& body) {
    ui.run([&] {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImVec2(1000, 600));
        ImGui::Begin("w", nullptr, ImGuiWindowFlags_NoDecoration);
        body();
        ImGui::End();
    });
}

ImDrawList* drawListOf(const char* window) {
    return ImGui::FindWindowByName(window)->DrawList;
}

void clickAt(Headless& ui, const std::function<void()>& body, ImVec2 at) {
    ImGuiIO& io = ImGui::GetIO();
    io.AddMousePosEvent(at.x, at.y);
    inWindow(ui, body);
    io.AddMouseButtonEvent(0, true);
    inWindow(ui, body);
    io.AddMouseButtonEvent(0, false);
    inWindow(ui, body);
}

class UiWidgets : public ::testing::TestWithParam<float> {};

TEST_P(UiWidgets, DisabledButtonsAndPillsNeverReportAClick) {
    Headless ui(GetParam());
    for (bool enabled : {true, false}) {
        for (int kind = 0; kind < 5; ++kind) {
            int clicks = 0;
            ImRect rect;
            auto body = [&] {
                const bool hit =
                    kind < 4 ? ui::button("Go##b", ImVec2(0, 0), ui::ButtonKind(kind), enabled, 20)
                             : ui::pill("Go##p", false, 18, enabled);
                clicks += hit ? 1 : 0;
                rect = ImRect(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
            };
            inWindow(ui, body);
            clickAt(ui, body, rect.GetCenter());
            EXPECT_EQ(clicks, enabled ? 1 : 0) << "kind " << kind << " enabled " << enabled;
        }
    }
    EXPECT_TRUE(ui.problems().empty()) << ::testing::PrintToString(ui.problems());
}

TEST_P(UiWidgets, AutomaticSizesFollowTheText) {
    const float s = GetParam();
    Headless ui(s);
    ImVec2 link, primary, pill, text;
    inWindow(ui, [&] {
        text = ui::measureText("Tallyglass ›", 16, 0);
        ui::button("Tallyglass ›##site", ImVec2(0, 0), ui::ButtonKind::Link, true, 16);
        link = ImGui::GetItemRectSize();
        ui::button("Tallyglass ›##big", ImVec2(0, 0), ui::ButtonKind::Primary, true, 16);
        primary = ImGui::GetItemRectSize();
        ui::pill("Tallyglass ›##pill", false, 16, true);
        pill = ImGui::GetItemRectSize();
    });
    EXPECT_NEAR(link.x, text.x + 4 * s, 1);
    EXPECT_NEAR(link.y, text.y + 4 * s, 1);
    EXPECT_NEAR(primary.x, text.x + 44 * s, 1);
    EXPECT_NEAR(primary.y, text.y + 22 * s, 1);
    EXPECT_NEAR(pill.x, text.x + 30 * s, 1);
    EXPECT_NEAR(pill.y, text.y + 14 * s, 1);
}

TEST_P(UiWidgets, LetterSpacingWidensByGapsBetweenCodePoints) {
    const float s = GetParam();
    Headless ui(s);
    ImVec2 plain, spaced;
    inWindow(ui, [&] {
        plain = ui::measureText("Réglages ›", 24, 0);
        spaced = ui::measureText("Réglages ›", 24, 5);
    });
    // Ten code points (not twelve bytes): nine gaps.
    EXPECT_NEAR(spaced.x - plain.x, 9 * 5 * s, 0.01);
    EXPECT_EQ(spaced.y, plain.y);
}

// Spaced text draws each code point's own glyph, left to right, also when the text is the first
// to need its glyphs at this size: baking them grows the font's glyph store while the text is laid
// out, which must not leave the layout holding glyphs from before the growth.
TEST_P(UiWidgets, SpacedTextDrawsEachCodePointsGlyphInOrder) {
    Headless ui(GetParam());
    // Short enough to fit the window whole: a glyph outside the clip rectangle draws nothing.
    const char* text = "ÀÂÇÉÈÊËÎÏÔÙÛÜŸÆŒ àâçéèêëîïôùûüÿæœ";
    const float size = 23.5f; // drawn nowhere else, so every glyph is baked by this text
    std::vector<ImDrawVert> verts;
    std::vector<ImVec4> expected; // the UV rectangle of each visible glyph, in order
    inWindow(ui, [&] {
        ImDrawList* dl = ImGui::GetWindowDrawList();
        const int first = dl->VtxBuffer.Size;
        ui::drawSpacedText(dl, ImVec2(10, 10), text, size, IM_COL32_WHITE, 3);
        verts.assign(dl->VtxBuffer.Data + first, dl->VtxBuffer.Data + dl->VtxBuffer.Size);
        ImFontBaked* baked = ui::mainFont->GetFontBaked(size);
        const char* end = text + std::strlen(text);
        for (const char* p = text; p < end;) {
            unsigned int c = 0;
            p += ImTextCharFromUtf8(&c, p, end);
            const ImFontGlyph* g = baked->FindGlyph(ImWchar(c));
            if (g->Visible) expected.push_back(ImVec4(g->U0, g->V0, g->U1, g->V1));
        }
    });
    ASSERT_EQ(verts.size(), expected.size() * 4);
    for (size_t i = 0; i < expected.size(); ++i) {
        const ImDrawVert* quad = &verts[i * 4]; // PrimRectUV: top left, ..., bottom right third
        EXPECT_EQ(quad[0].uv.x, expected[i].x) << "glyph " << i;
        EXPECT_EQ(quad[0].uv.y, expected[i].y) << "glyph " << i;
        EXPECT_EQ(quad[2].uv.x, expected[i].z) << "glyph " << i;
        EXPECT_EQ(quad[2].uv.y, expected[i].w) << "glyph " << i;
        if (i > 0) {
            EXPECT_GT(quad[0].pos.x, verts[(i - 1) * 4].pos.x) << "glyph " << i;
        }
    }
}

TEST_P(UiWidgets, AlertBoxIsAsTallAsItsTexts) {
    const float s = GetParam();
    Headless ui(s);
    ImVec2 bare, withDetail;
    float message = 0, detail = 0;
    const char* msg = "This file is not a PS2 disc image.";
    const char* det = "not an ISO9660 disc image";
    inWindow(ui, [&] {
        ui::alertBox(msg, "", ui::kError, 500 * s);
        bare = ImGui::GetItemRectSize();
        ui::alertBox(msg, det, ui::kError, 500 * s);
        withDetail = ImGui::GetItemRectSize();
        message = ui::mainFont->CalcTextSizeA(19 * s, FLT_MAX, 464 * s, msg).y;
        detail = ui::monoFont->CalcTextSizeA(15 * s, FLT_MAX, 464 * s, det).y;
    });
    EXPECT_FLOAT_EQ(bare.x, 500 * s);
    EXPECT_FLOAT_EQ(bare.y, 24 * s + message);
    EXPECT_FLOAT_EQ(withDetail.y, 24 * s + message + 6 * s + detail);
}

// The fill is the only opaque part of a progress bar; the shimmer is white at alpha 0x3C.
struct BarPaint {
    float fillRight = -1;
    int shimmer = 0;
};

BarPaint paintOf(Headless& ui, float fraction, float s, float& left) {
    inWindow(ui, [&] {
        ui::progressBar(fraction, ImVec2(600 * s, 18 * s), 0.25);
        left = ImGui::GetItemRectMin().x;
    });
    BarPaint paint;
    for (const ImDrawVert& v : drawListOf("w")->VtxBuffer) {
        if ((v.col >> IM_COL32_A_SHIFT) == 0xFF)
            paint.fillRight = std::max(paint.fillRight, v.pos.x);
        if (v.col == IM_COL32(255, 255, 255, 0x3C)) ++paint.shimmer;
    }
    return paint;
}

TEST_P(UiWidgets, ProgressBarFillIsNeverNarrowerThanACircle) {
    const float s = GetParam();
    Headless ui(s);
    float left = 0;
    BarPaint empty = paintOf(ui, 0, s, left);
    EXPECT_LT(empty.fillRight, 0) << "only the track at 0";
    BarPaint tiny = paintOf(ui, 0.01f, s, left);
    EXPECT_NEAR(tiny.fillRight - left, 18 * s, 1.0);
    BarPaint half = paintOf(ui, 0.5f, s, left);
    EXPECT_NEAR(half.fillRight - left, 300 * s, 1.0);
    EXPECT_GT(half.shimmer, 0);
    BarPaint full = paintOf(ui, 1.0f, s, left);
    EXPECT_NEAR(full.fillRight - left, 600 * s, 1.0);
    EXPECT_EQ(full.shimmer, 0) << "no shimmer on a full bar";
    BarPaint over = paintOf(ui, 7.0f, s, left);
    EXPECT_NEAR(over.fillRight - left, 600 * s, 1.0);
}

TEST_P(UiWidgets, CardWrapsItsContentAndFramesIt) {
    const float s = GetParam();
    Headless ui(s);
    ImRect text, card;
    ImVec2 origin;
    inWindow(ui, [&] {
        origin = ImGui::GetCursorScreenPos();
        ui::beginCard(400 * s, 30, 500 * s, false);
        ui::textWrapped("A long paragraph that cannot fit on one line of a card only four hundred "
                        "pixels wide, so it has to wrap several times.",
                        19, ui::kLight);
        text = ImRect(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
        ui::closeCard();
        card = ImRect(origin, ImVec2(origin.x + 400 * s, ImGui::GetItemRectMax().y));
    });
    EXPECT_FLOAT_EQ(text.Min.x, origin.x + 30 * s);
    EXPECT_FLOAT_EQ(text.Min.y, origin.y + 30 * s);
    EXPECT_LE(text.Max.x, origin.x + 370 * s + 0.5f);
    EXPECT_GE(text.GetHeight(), 2 * 19 * s) << "wrapped onto several lines";
    EXPECT_FLOAT_EQ(card.Max.y, text.Max.y + 30 * s);
    EXPECT_TRUE(ui.problems().empty()) << ::testing::PrintToString(ui.problems());
}

// Content taller than the card's limit: the card stops at the limit, and the content scrolls
// inside it as far as its bottom inset.
TEST_P(UiWidgets, CardStopsAtItsLimitAndScrollsTheRest) {
    const float s = GetParam();
    Headless ui(s);
    ImVec2 origin;
    float bottom = 0;
    const auto draw = [&] {
        origin = ImGui::GetCursorScreenPos();
        ui::beginCard(400 * s, 30, 200 * s, false);
        ImGui::Dummy(ImVec2(1, 400 * s));
        ui::closeCard();
        bottom = ImGui::GetItemRectMax().y;
    };
    inWindow(ui, draw);
    inWindow(ui, draw);
    EXPECT_FLOAT_EQ(bottom, origin.y + 200 * s);
    EXPECT_FLOAT_EQ(ui::lastCardArea().max.y, origin.y + 200 * s);
    const ImGuiWindow* region = Headless::childOf("w");
    ASSERT_NE(region, nullptr);
    EXPECT_FLOAT_EQ(region->ScrollMax.y, (30 + 400 + 30 - 200) * s);
    EXPECT_TRUE(ui.problems().empty()) << ::testing::PrintToString(ui.problems());
}

INSTANTIATE_TEST_SUITE_P(Scales, UiWidgets, ::testing::Values(1.0f, 2.0f),
                         [](const ::testing::TestParamInfo<float>& info) {
                             return info.param > 1 ? std::string("x2") : std::string("x1");
                         });

} // namespace
