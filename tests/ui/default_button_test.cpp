// Each screen's default button answers the first Enter (or Space) while the focus frame is not
// shown yet: that first press is the user's answer, not a request to show where the focus is.
#include "ui/sandbox.h"
#include "ui/scene.h"

#include "plat/clock.h"

#include <gtest/gtest.h>

namespace {

struct DefaultButton {
    const char* screen;
    const char* window; // where the default button is
    const char* label;
    ImGuiKey key;
    std::function<void(App&)> set;
    // What the button did; a press spent on showing the focus frame does none of it.
    std::function<bool(App&)> acted;
};

void PrintTo(const DefaultButton& c, std::ostream* os) {
    *os << c.screen;
}

class UiDefaultButton : public UiScene, public ::testing::WithParamInterface<DefaultButton> {};

bool dialogShown(App&) {
    return !lastDialogArgs().empty();
}

bool buildTried(App& app) {
    return app.screen == Screen::Failed && app.progress.failedStep == "verify";
}

bool gameStarted(App& app) {
    return app.gameRunning;
}

const DefaultButton kScreens[] = {
    {"welcome", "##root", "Select your disc image…", ImGuiKey_Enter,
     [](App& app) { app.screen = Screen::NoDisc; }, dialogShown},
    {"ready", "##root", "Play##play", ImGuiKey_Enter,
     [](App& app) {
         Scene::acceptDisc(app);
         Scene::buildGame(app);
     },
     gameStarted},
    {"ready-space", "##root", "Play##play", ImGuiKey_Space,
     [](App& app) {
         Scene::acceptDisc(app);
         Scene::buildGame(app);
     },
     gameStarted},
    // No kit in this release: the build is tried and fails at once.
    {"disc", "##root", "Prepare the game", ImGuiKey_Enter, Scene::acceptDisc, buildTried},
    {"failure", "##root", "Try again", ImGuiKey_KeypadEnter,
     [](App& app) {
         Scene::acceptDisc(app);
         app.screen = Screen::Failed;
         app.progress.reset(plat::now());
         app.progress.failedStep = "compile";
         app.progress.error = "ninja: build stopped: subcommand failed.";
     },
     buildTried},
    // A on a gamepad, as the SDL back end reports it.
    {"ready-gamepad", "##root", "Play##play", ImGuiKey_GamepadFaceDown,
     [](App& app) {
         ImGui::GetIO().BackendFlags |= ImGuiBackendFlags_HasGamepad;
         Scene::acceptDisc(app);
         Scene::buildGame(app);
     },
     gameStarted},
    {"quit", "##quit", "Keep going", ImGuiKey_Enter,
     [](App& app) {
         app.screen = Screen::Preparing;
         app.tab = 1;
         app.building = true;
         app.quitAsked = true;
     },
     [](App&) { return Headless::focusWindow() != "##quit"; }},
};

TEST_P(UiDefaultButton, FirstPressActs) {
    const DefaultButton& c = GetParam();
    c.set(app);
    ui.frames(app, 2);
    ASSERT_EQ(Headless::focusId(), Headless::idIn(c.window, c.label));
    ASSERT_FALSE(GImGui->NavCursorVisible) << "the focus frame is not shown before any key";
    ui.press(app, c.key);
    EXPECT_TRUE(c.acted(app));
    EXPECT_FALSE(app.quitNow);
    if (app.gameRunning) {
        EXPECT_TRUE(settle([&] { return !app.gameRunning; }));
    }
    app.building = false;
}

INSTANTIATE_TEST_SUITE_P(Screens, UiDefaultButton, ::testing::ValuesIn(kScreens),
                         [](const auto& info) {
                             std::string name = info.param.screen;
                             for (char& ch : name)
                                 if (ch == '-') ch = '_';
                             return name;
                         });

} // namespace
