// Every screen and window, in both languages and at scale 1 and 2, drawn headless: no Dear ImGui
// error, no two items with one identifier, and every item hovered once; and, at the design size
// and at the smallest window, the card above the footer with every control of it in view once the
// keyboard reaches it. The states of the card's tabs and panels are in card_states.cpp.
#include "support/temp_dir.h"
#include "ui/card_states.h"
#include "ui/harness.h"

#include "app/app.h"
#include "ui/lang.h"
#include "ui/widgets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

namespace {

void ready(App& app, int tab) {
    app.screen = Screen::Ready;
    app.tab = tab;
}

const UiState kStates[] = {
    {"missing",
     [](App& app, Headless&, const std::string&) {
         app.screen = Screen::Missing;
         app.missingItem = "source/tools/qm_build.py";
         app.releaseDir = "/home/ann/Downloads/Quillmere-PC-port-release-0.6.1-with-a-very-long-"
                          "folder-name-that-does-not-fit/on/one/line/at/all";
     }},
    {"welcome", [](App& app, Headless&, const std::string&) { app.screen = Screen::NoDisc; }},
    {"welcome_checking",
     [](App& app, Headless&, const std::string&) {
         app.checkingDisc = true;
         app.discUnderCheck = "/discs/Quillmere (USA).iso";
     }},
    {"welcome_refused",
     [](App& app, Headless&, const std::string&) {
         app.discMessage =
             "This is the European disc. Only the USA disc (SQMU-40420) is supported.";
         app.discDetail = "SLES-50321 is the European release (boots with a PAL region check)";
     }},
    {"welcome_whats_new",
     [](App& app, Headless&, const std::string&) {
         app.whatsNewText = kSampleChangelog;
         app.whatsNewVersion = "0.6.1";
         app.showWhatsNew = true;
     }},
    {"settings_windowed", [](App& app, Headless&, const std::string&) { ready(app, 1); }},
    {"settings_fullscreen",
     [](App& app, Headless&, const std::string&) {
         ready(app, 1);
         app.video.mode = "fullscreen";
         app.video.width = 1000; // a size the list does not offer
         app.video.height = 700;
         app.video.exists = true;
     }},
    {"settings_borderless",
     [](App& app, Headless&, const std::string&) {
         ready(app, 1);
         app.video.mode = "borderless";
         app.settings.motion = false;
         app.settings.update_check = false;
     }},
    {"footer_update",
     [](App& app, Headless& ui, const std::string&) {
         ready(app, 1);
         app.whatsNewText = kSampleChangelog;
         ui.update.state = 3;
     }},
    {"quit_confirmation",
     [](App& app, Headless&, const std::string&) {
         app.screen = Screen::Preparing;
         app.tab = 1;
         app.building = true;
         app.quitAsked = true;
     }},
    {"play", [](App& app, Headless&, const std::string&) { ready(app, 0); }},
    {"maintenance", [](App& app, Headless&, const std::string&) { ready(app, 2); }},
    {"preparing", [](App& app, Headless&, const std::string&) { app.screen = Screen::Preparing; }},
    {"failure", [](App& app, Headless&, const std::string&) { app.screen = Screen::Failed; }},
};

struct Param {
    const UiState* state;
    bool french;
    float scale;
    bool smallest = false; // the window's minimum size instead of the design size
};

std::vector<Param> allParams(bool bothSizes) {
    std::vector<Param> out;
    std::vector<const UiState*> states;
    for (const UiState& s : kStates)
        states.push_back(&s);
    for (const UiState& s : cardStates())
        states.push_back(&s);
    for (const UiState* s : states)
        for (bool fr : {false, true})
            for (float scale : {1.0f, 2.0f})
                for (bool smallest : {false, true})
                    if (bothSizes || !smallest) out.push_back({s, fr, scale, smallest});
    return out;
}

// Shown in test listings as the test name says, not as raw bytes.
void PrintTo(const Param& p, std::ostream* os) {
    *os << p.state->name << (p.french ? " fr" : " en") << " x" << p.scale
        << (p.smallest ? " smallest" : "");
}

class UiEveryScreen : public ::testing::TestWithParam<Param> {
protected:
    void SetUp() override {
        app.launcherIni = user.file("launcher.ini");
        app.videoIni = user.file("video.ini");
        ui::french = GetParam().french;
        GetParam().state->set(app, ui, user.path());
        ui.frames(app, 3);
    }
    void TearDown() override {
        ui::french = false;
        EXPECT_TRUE(ui.problems().empty()) << ::testing::PrintToString(ui.problems());
    }

    TempDir user;
    App app;
    Headless ui{GetParam().scale, GetParam().smallest ? ImVec2(980, 700) : ImVec2(1120, 760)};
};

TEST_P(UiEveryScreen, DrawsWithoutErrorsOrSharedIdentifiers) {
    ui.hoverEveryItem(app);
    // The Settings tab's list, open, with its entries hovered too.
    const ImGuiID list = Headless::idIn("##root", "##resolution");
    for (const Headless::Item& item : ui.tabThrough(app))
        if (item.id == list) {
            ui.click(app, item.rect.GetCenter());
            ui.frames(app, 2);
            EXPECT_NE(Headless::focusWindow().find("##Combo"), std::string::npos);
            ui.hoverEveryItem(app);
            break;
        }
}

std::string paramName(const ::testing::TestParamInfo<Param>& info) {
    return std::string(info.param.state->name) + (info.param.french ? "_fr" : "_en") +
           (info.param.scale > 1 ? "_x2" : "_x1") + (info.param.smallest ? "_smallest" : "");
}

INSTANTIATE_TEST_SUITE_P(States, UiEveryScreen, ::testing::ValuesIn(allParams(false)), paramName);

// --- the card and the footer ---------------------------------------------------------------------

class UiCardAboveTheFooter : public UiEveryScreen {};

TEST_P(UiCardAboveTheFooter, AndEveryControlOfItInViewWhenTheKeyboardReachesIt) {
    const ui::CardArea card = ui::lastCardArea();
    const std::vector<Headless::Item> items = ui.tabThrough(app);
    // A modal window holds the keyboard; the card behind it shows in the other states as well.
    if (Headless::focusWindow() != "##root") return;
    const ImGuiID site = Headless::idIn("##root", "Tallyglass ›##site");
    const auto footer = std::find_if(items.begin(), items.end(),
                                     [&](const Headless::Item& item) { return item.id == site; });
    ASSERT_NE(footer, items.end());
    const float footerTop = footer->rect.Min.y;
    EXPECT_LE(card.max.y, footerTop);

    // Dear ImGui counts an item one pixel past the region's edge as in view.
    const ImGuiWindow* region = Headless::childOf("##root");
    ASSERT_NE(region, nullptr);
    for (const Headless::Item& item : items) {
        if (item.window != region->Name) continue;
        EXPECT_GE(item.rect.Min.y, card.min.y - 1) << item.id;
        EXPECT_LE(item.rect.Max.y, card.max.y + 1) << item.id;
        EXPECT_LE(item.rect.Max.y, footerTop) << item.id;
    }
}

INSTANTIATE_TEST_SUITE_P(States, UiCardAboveTheFooter, ::testing::ValuesIn(allParams(true)),
                         paramName);

// The detector itself: two buttons with one label must be reported, or the sweep above proves
// nothing.
TEST(UiHarness, NoticesTwoItemsWithOneIdentifier) {
    Headless ui(1.0f);
    ImRect first;
    auto twins = [&] {
        ImGui::Begin("twins");
        ImGui::Button("Same##x");
        first = ImRect(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
        ImGui::Button("Same##x");
        ImGui::End();
    };
    ui.run(twins);
    ImGui::GetIO().AddMousePosEvent(first.GetCenter().x, first.GetCenter().y);
    for (int i = 0; i < 4; ++i)
        ui.run(twins);
    EXPECT_FALSE(ui.problems().empty());
}

TEST(UiHarness, NoticesAnUnbalancedStack) {
    Headless ui(1.0f);
    ImGui::GetIO().ConfigErrorRecoveryEnableAssert = false; // report it, even in a debug build
    ui.run([] {
        ImGui::Begin("unbalanced");
        ImGui::PushStyleVar(ImGuiStyleVar_Alpha, 0.5f);
        ImGui::End();
    });
    EXPECT_FALSE(ui.problems().empty());
}

} // namespace
