// The frame loop with a real window: while the game owns the screen it blocks between polls
// instead of spinning, and the quit request ends it.
#include "app/app.h"
#include "app/frame_loop.h"
#include "plat/clock.h"
#include "plat/env.h"
#include "plat/window.h"
#include "selftest/selftest.h"
#include "ui/frame.h"

#include <gtest/gtest.h>
#include <imgui.h>

namespace {

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

} // namespace
