// Every screen and window, in both languages and at scale 1 and 2, drawn headless: no Dear ImGui
// error, no two items with one identifier, and every item hovered once. The states of the card's
// tabs and panels are in card_states.cpp.
#include "support/temp_dir.h"
#include "ui/card_states.h"
#include "ui/harness.h"

#include "app/app.h"
#include "ui/lang.h"

#include <gtest/gtest.h>

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
};

std::vector<Param> allParams() {
    std::vector<Param> out;
    std::vector<const UiState*> states;
    for (const UiState& s : kStates)
        states.push_back(&s);
    for (const UiState& s : cardStates())
        states.push_back(&s);
    for (const UiState* s : states)
        for (bool fr : {false, true})
            for (float scale : {1.0f, 2.0f})
                out.push_back({s, fr, scale});
    return out;
}

// Shown in test listings as the test name says, not as raw bytes.
void PrintTo(const Param& p, std::ostream* os) {
    *os << p.state->name << (p.french ? " fr" : " en") << " x" << p.scale;
}

class UiEveryScreen : public ::testing::TestWithParam<Param> {
protected:
    void TearDown() override { ui::french = false; }
};

TEST_P(UiEveryScreen, DrawsWithoutErrorsOrSharedIdentifiers) {
    const Param p = GetParam();
    TempDir user;
    App app;
    app.launcherIni = user.file("launcher.ini");
    app.videoIni = user.file("video.ini");
    ui::french = p.french;
    Headless ui(p.scale);
    p.state->set(app, ui, user.path());
    ui.frames(app, 3);
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
    EXPECT_TRUE(ui.problems().empty()) << ::testing::PrintToString(ui.problems());
}

std::string paramName(const ::testing::TestParamInfo<Param>& info) {
    return std::string(info.param.state->name) + (info.param.french ? "_fr" : "_en") +
           (info.param.scale > 1 ? "_x2" : "_x1");
}

INSTANTIATE_TEST_SUITE_P(States, UiEveryScreen, ::testing::ValuesIn(allParams()), paramName);

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
