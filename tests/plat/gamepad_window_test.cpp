// The real window under an X server, driven by an SDL virtual gamepad as a player on the couch
// would: a shoulder button to Settings, the D-pad and A to choose a size and the borderless
// window, B back to Play, What's new opened with A and closed with B. Each stage is checked in
// video.ini, in the launcher's state and in a screenshot of the frame.
#include "app/app.h"
#include "plat/env.h"
#include "plat/window.h"
#include "support/png_read.h"
#include "support/temp_dir.h"
#include "support/virtual_pad.h"
#include "ui/frame.h"

#include <SDL3/SDL.h>
#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <vector>

namespace {

class GamepadWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (plat::getEnv("DISPLAY").empty()) GTEST_SKIP() << "no X server";
        // Other tests' windows on the same X server may take the keyboard focus; SDL would then
        // hold the pad's input back from this window.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        std::string error;
        ASSERT_TRUE(openWindow("QM Launcher test", 1120, 760, 1, error)) << error;
        ImGui::StyleColorsDark();
        ui::setupFontsAndStyle();
        app.screen = Screen::Ready;
        app.videoIni = dir.file("video.ini");
        app.launcherIni = dir.file("launcher.ini");
        app.whatsNewText = "### Added\n- Gamepads.\n";
        app.whatsNewVersion = "0.6.1";
        frames(2); // the gamepad subsystem starts after the first frame

        ASSERT_TRUE(pad.attach(error)) << error;
        frames(3);
        ASSERT_TRUE(ImGui::GetIO().BackendFlags & ImGuiBackendFlags_HasGamepad);
    }
    void TearDown() override {
        pad.detach();
        if (mainWindow) shutdownWindow();
        SDL_ResetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS);
    }

    void frames(int count, const std::string& screenshot = "") {
        for (int i = 0; i < count; ++i) {
            pollEvents();
            beginFrame();
            ui::drawBackground(0, false);
            ui::drawFrame(app);
            if (i == count - 1 && !screenshot.empty()) app.screenshotPath = dir.file(screenshot);
            endFrame(app);
            app.screenshotPath.clear();
        }
    }
    void press(SDL_GamepadButton button) {
        // Held for one frame: frames drawn by software take long enough for a longer hold to
        // repeat.
        pad.set(button, true);
        frames(1);
        pad.set(button, false);
        frames(2);
    }
    static ImGuiID focus() { return GImGui->NavId; }
    static ImGuiID root(const char* label) {
        return ImGui::FindWindowByName("##root")->GetID(label);
    }
    // Presses the button until the focus is on the item; false when it never gets there.
    bool moveTo(SDL_GamepadButton button, const char* label) {
        for (int i = 0; i < 30 && focus() != root(label); ++i)
            press(button);
        return focus() == root(label);
    }
    VideoSettings saved() const {
        VideoSettings v;
        EXPECT_TRUE(loadVideoSettings(app.videoIni, v));
        return v;
    }
    // The screenshot's pixels, after checking it has the window's size.
    std::vector<unsigned char> shot(const std::string& name) {
        PngImage img = readStoredPng(dir.file(name));
        EXPECT_TRUE(img.ok) << name;
        int w = 0, h = 0;
        SDL_GetWindowSizeInPixels(mainWindow, &w, &h);
        EXPECT_EQ(int(img.width), w);
        EXPECT_EQ(int(img.height), h);
        return img.ok ? std::vector<unsigned char>(img.at(0, 0),
                                                   img.at(0, 0) + img.width * img.height * 3)
                      : std::vector<unsigned char>();
    }

    TempDir dir;
    App app;
    VirtualPad pad;
};

TEST_F(GamepadWindow, ShoulderDpadAAndBDriveTheLauncher) {
    frames(1, "play.png");
    const std::vector<unsigned char> play = shot("play.png");

    press(SDL_GAMEPAD_BUTTON_RIGHT_SHOULDER);
    ASSERT_EQ(app.tab, 1);
    EXPECT_EQ(focus(), root("Settings##tab1"));
    frames(1, "settings.png");
    EXPECT_NE(shot("settings.png"), play);

    // The size list is under the first of the window modes.
    ASSERT_TRUE(moveTo(SDL_GAMEPAD_BUTTON_DPAD_DOWN, "Borderless window##mode2"));
    ASSERT_TRUE(moveTo(SDL_GAMEPAD_BUTTON_DPAD_LEFT, "Windowed##mode0"));
    ASSERT_TRUE(moveTo(SDL_GAMEPAD_BUTTON_DPAD_DOWN, "##resolution"));
    press(SDL_GAMEPAD_BUTTON_SOUTH);
    press(SDL_GAMEPAD_BUTTON_DPAD_DOWN);
    press(SDL_GAMEPAD_BUTTON_SOUTH);
    EXPECT_EQ(saved().width, 640);
    EXPECT_EQ(saved().height, 480);
    ASSERT_TRUE(moveTo(SDL_GAMEPAD_BUTTON_DPAD_UP, "Windowed##mode0"));
    ASSERT_TRUE(moveTo(SDL_GAMEPAD_BUTTON_DPAD_RIGHT, "Borderless window##mode2"));
    press(SDL_GAMEPAD_BUTTON_SOUTH);
    EXPECT_EQ(saved().mode, "borderless");
    EXPECT_EQ(saved().width, 640);
    frames(1, "borderless.png");
    EXPECT_NE(shot("borderless.png"), shot("settings.png"));

    press(SDL_GAMEPAD_BUTTON_EAST);
    EXPECT_EQ(app.tab, 0);
    frames(1, "back.png");
    EXPECT_EQ(shot("back.png"), play) << "back on Play, the same frame as before";

    ASSERT_TRUE(moveTo(SDL_GAMEPAD_BUTTON_DPAD_DOWN, "What's new ›##whatsnew-footer"));
    press(SDL_GAMEPAD_BUTTON_SOUTH);
    EXPECT_TRUE(ImGui::IsPopupOpen("##whatsnew", ImGuiPopupFlags_AnyPopupId));
    frames(1, "whatsnew.png");
    EXPECT_NE(shot("whatsnew.png"), play);
    press(SDL_GAMEPAD_BUTTON_EAST);
    EXPECT_FALSE(ImGui::IsPopupOpen("##whatsnew", ImGuiPopupFlags_AnyPopupId));
}

// While the game owns the screen the launcher is hidden and holds no gamepad.
TEST_F(GamepadWindow, HiddenLauncherLetsGoOfTheGamepads) {
    hideMainWindow();
    EXPECT_FALSE(SDL_WasInit(SDL_INIT_GAMEPAD));
    showMainWindow();
    frames(3);
    EXPECT_TRUE(SDL_WasInit(SDL_INIT_GAMEPAD));
    press(SDL_GAMEPAD_BUTTON_RIGHT_SHOULDER);
    EXPECT_EQ(app.tab, 1) << "the gamepad works again once the launcher is back";
}

} // namespace
