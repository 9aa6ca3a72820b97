// The card in the smallest window, where the tallest screens do not fit above the footer: their
// content scrolls inside the card, the keyboard reaches every control and brings it into view, and
// new content starts at its top.
#include "support/temp_dir.h"
#include "ui/card_states.h"
#include "ui/harness.h"

#include "app/app.h"
#include "ui/lang.h"
#include "ui/widgets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

const char* const kLastControl = "Vérifier les mises à jour au démarrage : oui##updates";
const char* const kFirstControl = "Fenêtré##mode0";

ImGuiID root(const char* label) {
    return Headless::idIn("##root", label);
}

// The focused control where it is drawn now.
ImRect focusedRect() {
    ImGuiWindow* w = GImGui->NavWindow;
    return ImGui::WindowRectRelToAbs(w, w->NavRectRel[ImGuiNavLayer_Main]);
}

// French Settings with the saved notice, the tallest screen, in the smallest window.
class UiCardScroll : public ::testing::TestWithParam<float> {
protected:
    void SetUp() override {
        ui::french = true;
        app.launcherIni = user.file("launcher.ini");
        app.videoIni = user.file("video.ini");
        app.screen = Screen::Ready;
        app.tab = 1;
        app.video.exists = true;
        ui.frames(app, 3);
        region = Headless::childOf("##root");
        ASSERT_NE(region, nullptr);
    }
    void TearDown() override {
        ui::french = false;
        EXPECT_TRUE(ui.problems().empty()) << ::testing::PrintToString(ui.problems());
    }

    // Fully inside the card as drawn (Dear ImGui counts one pixel past the region's edge as in
    // view); the footer is checked once its link has been reached.
    ::testing::AssertionResult inCard(const ImRect& r) const {
        const ui::CardArea card = ui::lastCardArea();
        if (r.Min.y >= card.min.y - 1 && r.Max.y <= card.max.y + 1)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "rows " << r.Min.y << ".." << r.Max.y << " outside the card's " << card.min.y
               << ".." << card.max.y;
    }
    // Tabs on to the footer's first link; its top.
    float footerTop() {
        EXPECT_TRUE(ui.focus(app, root("Tallyglass ›##site")));
        return focusedRect().Min.y;
    }

    TempDir user;
    App app;
    Headless ui{GetParam(), ImVec2(980, 700)};
    ImGuiWindow* region = nullptr;
};

TEST_P(UiCardScroll, TabReachesTheLastControlAndShowsItAboveTheFooter) {
    EXPECT_EQ(region->Scroll.y, 0);
    EXPECT_GT(region->ScrollMax.y, 0) << "the content is taller than the card";

    ASSERT_TRUE(ui.focus(app, root(kLastControl)));
    const ImRect last = focusedRect();
    EXPECT_TRUE(inCard(last));
    EXPECT_GT(region->Scroll.y, 0);
    ui.press(app, ImGuiKey_Space);
    EXPECT_FALSE(app.settings.update_check) << "the control works where it scrolled to";

    const float footer = footerTop();
    EXPECT_LE(last.Max.y, footer);
    EXPECT_LE(ui::lastCardArea().max.y, footer);
}

TEST_P(UiCardScroll, ArrowsGoDownToTheLastControlAndBackUpToTheFirst) {
    ASSERT_TRUE(ui.focus(app, root(kFirstControl)));
    for (int i = 0; i < 10 && Headless::focusId() != root(kLastControl); ++i)
        ui.press(app, ImGuiKey_DownArrow);
    ASSERT_EQ(Headless::focusId(), root(kLastControl));
    const ImRect last = focusedRect();
    EXPECT_TRUE(inCard(last));

    for (int i = 0; i < 10 && Headless::focusId() != root(kFirstControl); ++i)
        ui.press(app, ImGuiKey_UpArrow);
    ASSERT_EQ(Headless::focusId(), root(kFirstControl));
    EXPECT_TRUE(inCard(focusedRect()));

    EXPECT_LE(last.Max.y, footerTop());
}

// Settings left scrolled to its end for a Play tab that is itself too tall: the Play tab shows
// from its top, with its default button in view.
TEST_P(UiCardScroll, NewContentStartsAtItsTop) {
    const UiState& everyBlock =
        *std::find_if(cardStates().begin(), cardStates().end(), [](const UiState& s) {
            return std::string(s.name) == "game_negative_exit_code";
        });
    TempDir files;
    everyBlock.set(app, ui, files.path());
    app.tab = 1;
    ui.frames(app, 2);
    ASSERT_TRUE(ui.focus(app, root(kLastControl)));
    ASSERT_GT(region->Scroll.y, 0);

    ui.press(app, ImGuiKey_Escape);
    ASSERT_EQ(app.tab, 0);
    EXPECT_GT(region->ScrollMax.y, 0) << "the Play tab is taller than the card too";
    EXPECT_EQ(region->Scroll.y, 0);
    EXPECT_EQ(Headless::focusId(), root("Jouer##play"));
    EXPECT_TRUE(inCard(focusedRect()));
}

INSTANTIATE_TEST_SUITE_P(Scales, UiCardScroll, ::testing::Values(1.0f, 2.0f),
                         [](const ::testing::TestParamInfo<float>& info) {
                             return info.param > 1 ? std::string("x2") : std::string("x1");
                         });

} // namespace
