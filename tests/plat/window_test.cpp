// The real window under an X server: the size rules, and one screenshot through the frame's end.
#include "app/app.h"
#include "plat/env.h"
#include "plat/window.h"
#include "support/png_read.h"
#include "support/temp_dir.h"

#include <SDL3/SDL.h>
#include <gtest/gtest.h>

namespace {

struct FitCase {
    const char* name;
    float scale;
    bool haveMode;
    int modeW, modeH;
    float wantScale;
    int wantW, wantH;
};

class WindowFitRules : public ::testing::TestWithParam<FitCase> {};

TEST_P(WindowFitRules, ScaleAndSize) {
    const FitCase& c = GetParam();
    WindowFit f = fitWindow(1120, 760, c.scale, c.haveMode, c.modeW, c.modeH);
    EXPECT_NEAR(f.scale, c.wantScale, 1e-4);
    EXPECT_EQ(f.width, c.wantW);
    EXPECT_EQ(f.height, c.wantH);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowFitRules,
    ::testing::Values(
        // 2 does not fit 1920 x 1080: the largest scale that does is min(1000/760, 1880/1120).
        FitCase{"two_on_full_hd", 2, true, 1920, 1080, 1000.0f / 760, 1473, 1000},
        FitCase{"fits_as_asked", 1.2f, true, 1920, 1080, 1.2f, 1344, 912},
        FitCase{"never_below_one", 0.75f, true, 1920, 1080, 1, 1120, 760},
        FitCase{"half_is_one", 0.5f, true, 1920, 1080, 1, 1120, 760},
        FitCase{"clamped_to_three_first", 5, true, 3840, 2160, 2080.0f / 760, 3065, 2080},
        FitCase{"no_scale_small_desktop", 0, true, 1280, 720, 1, 1120, 640},
        FitCase{"no_mode_keeps_scale", 2, false, 0, 0, 2, 2240, 1520},
        // Too small even for half the design size: the clamped scale stays, the window is cut.
        FitCase{"tiny_desktop", 2, true, 600, 400, 2, 560, 320}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Window, MinimumSizeOfTheFittedScaleCutsTowardZero) {
    WindowFit f = fitWindow(1120, 760, 2, true, 1920, 1080);
    EXPECT_EQ(int(980 * f.scale), 1289);
    EXPECT_EQ(int(700 * f.scale), 921);
}

TEST(Window, ScreenshotHasTheWindowSizeAndTheClearColour) {
    if (plat::getEnv("DISPLAY").empty()) GTEST_SKIP() << "no X server";
    TempDir dir;
    std::string error;
    ASSERT_TRUE(openWindow("QM Launcher test", 1120, 760, 1, error)) << error;
    App app;
    for (int frame = 0; frame < 3; ++frame) {
        pollEvents();
        beginFrame();
        if (frame == 2) app.screenshotPath = dir.file("shot.png");
        endFrame(app);
        app.screenshotPath.clear();
    }
    int w = 0, h = 0;
    SDL_GetWindowSizeInPixels(mainWindow, &w, &h);
    shutdownWindow();

    PngImage img = readStoredPng(dir.file("shot.png"));
    ASSERT_TRUE(img.ok);
    EXPECT_EQ(int(img.width), w);
    EXPECT_EQ(int(img.height), h);
    EXPECT_EQ(img.channels, 3u);
    for (auto [x, y] :
         {std::pair{0u, 0u}, {img.width / 2, img.height / 2}, {img.width - 1, img.height - 1}}) {
        const unsigned char* p = img.at(x, y);
        EXPECT_EQ(p[0], 1);
        EXPECT_EQ(p[1], 3);
        EXPECT_EQ(p[2], 10);
    }
}

} // namespace
