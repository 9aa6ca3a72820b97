// The frame loop with a real window: while the game owns the screen, or while the picture stays
// the same, it blocks between polls instead of spinning; input is drawn at once; the quit request
// ends it.
#include "app/app.h"
#include "app/frame_loop.h"
#include "plat/clock.h"
#include "plat/env.h"
#include "plat/window.h"
#include "selftest/selftest.h"
#include "ui/frame.h"

#include <SDL3/SDL.h>
#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <utility>

namespace {

void pushKey(SDL_Keycode key, SDL_Scancode code, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_EVENT_KEY_DOWN : SDL_EVENT_KEY_UP;
    e.key.windowID = SDL_GetWindowID(mainWindow);
    e.key.key = key;
    e.key.scancode = code;
    e.key.down = down;
    SDL_PushEvent(&e);
}

class FrameLoop : public ::testing::Test {
protected:
    void SetUp() override {
        if (plat::getEnv("DISPLAY").empty()) GTEST_SKIP() << "no X server";
        std::string error;
        ASSERT_TRUE(openWindow("QM Launcher test", 1120, 760, 1, error)) << error;
        ImGui::StyleColorsDark();
        ui::setupFontsAndStyle();
    }
    void TearDown() override {
        if (mainWindow) shutdownWindow();
    }
};

TEST_F(FrameLoop, HiddenLoopPollsAboutTenTimesASecond) {
    App app;
    app.gameOwnsScreen = true;
    Selftest st;
    st.disc = "active";
    int passes = 0;
    st.steps.push_back({"count", [&](App& a, double elapsed) {
                            ++passes;
                            if (elapsed >= 2) a.quitNow = true;
                            return false;
                        }});
    double t0 = plat::now();
    runFrameLoop(app, st);
    double seconds = plat::now() - t0;
    // About 20 passes in 2 s; a loop that did not block would make thousands.
    EXPECT_GE(passes, 2);
    EXPECT_LE(passes, 60) << "in " << seconds << " s";
}

TEST_F(FrameLoop, VisibleLoopIsPacedAndEndsOnTheQuitRequest) {
    App app;
    Selftest st;
    st.disc = "active";
    int frames = 0;
    double first = 0;
    st.steps.push_back({"count", [&](App& a, double) {
                            if (++frames == 1) first = plat::now();
                            if (frames == 13) a.quitNow = true;
                            return false;
                        }});
    runFrameLoop(app, st);
    double seconds = plat::now() - first;
    EXPECT_EQ(frames, 13);
    // Twelve presented frames at no more than 60 a second; a busy machine only makes it slower.
    EXPECT_GE(seconds, 12 * 0.0166);
}

// The welcome screen with motion off: after a second to settle, a second without a single new
// frame on screen while the polls go on; then Tab, whose focus ring is presented within a few
// frames, as every frame was drawn before.
TEST_F(FrameLoop, IdleWindowPresentsNothingUntilAKeyPress) {
    App app;
    app.settings.motion = false;
    Selftest st;
    st.disc = "active";
    int idlePolls = 0, framesAfterKey = 0;
    uint64_t idleFrom = 0, idleTo = 0, seen = 0, drawnAfter = 0;
    // The focused item and whether its ring is shown.
    auto focus = [] { return std::pair(GImGui->NavId, GImGui->NavCursorVisible); };
    std::pair<ImGuiID, bool> focusBefore;
    st.steps.push_back({"idle", [&](App& a, double elapsed) {
                            if (elapsed < 1) return false;
                            if (elapsed < 2) {
                                if (idlePolls++ == 0) idleFrom = presentedFrames();
                                return false;
                            }
                            if (framesAfterKey++ == 0) {
                                idleTo = seen = presentedFrames();
                                focusBefore = focus();
                                pushKey(SDLK_TAB, SDL_SCANCODE_TAB, true);
                                pushKey(SDLK_TAB, SDL_SCANCODE_TAB, false);
                            } else if (drawnAfter == 0 && presentedFrames() > seen &&
                                       focus() != focusBefore) {
                                drawnAfter = uint64_t(framesAfterKey - 1);
                            }
                            seen = presentedFrames();
                            if (framesAfterKey == 12 || elapsed > 5) a.quitNow = true;
                            return false;
                        }});
    runFrameLoop(app, st);
    // None at all when the window is alone; another test's window on the same display may
    // uncover this one, which must then be presented again.
    EXPECT_LE(idleTo - idleFrom, 2u) << "frames presented while nothing changed";
    // Ten polls a second, give or take a busy machine; a loop that kept drawing would make 60.
    EXPECT_GE(idlePolls, 5);
    EXPECT_LE(idlePolls, 30);
    // The frame that moved the focus was presented, within a few frames of the key press.
    EXPECT_GE(drawnAfter, 1u) << "the key press was never presented";
    EXPECT_LE(drawnAfter, 3u);
}

} // namespace
