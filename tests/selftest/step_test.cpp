// The self-test's step machinery: the first call of a step sees exactly 0, a screenshot step
// takes its wait plus one drawn frame, and the build test stops at compile and resumes.
#include "app/app.h"
#include "plat/clock.h"
#include "selftest/selftest.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

TEST(Step, FirstCallSeesExactlyZeroAndLaterCallsArePositive) {
    App app;
    Selftest st;
    std::vector<double> seen;
    st.steps.push_back({"a", [&](App&, double e) {
                            seen.push_back(e);
                            return seen.size() == 3;
                        }});
    st.steps.push_back({"b", [&](App&, double e) {
                            seen.push_back(e);
                            return true;
                        }});
    for (int i = 0; i < 4; ++i)
        st.step(app);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0], 0.0);
    EXPECT_GT(seen[1], 0.0);
    EXPECT_GE(seen[2], seen[1]);
    EXPECT_EQ(seen[3], 0.0); // the next step begins afresh
    EXPECT_TRUE(st.finished());
    st.step(app); // nothing left: no call
    EXPECT_EQ(seen.size(), 4u);
}

TEST(Step, ScreenshotStepWaitsThenAsksForOneFrame) {
    TempDir dir;
    App app;
    Selftest st;
    st.shotsDir = dir.path();
    st.steps.push_back(st.shot("01-welcome", 0.05));
    st.step(app);
    EXPECT_EQ(app.screenshotPath, "");
    plat::sleepMs(80);
    st.step(app);
    EXPECT_EQ(app.screenshotPath, dir.file("01-welcome.png"));
    st.step(app); // the frame has not been drawn yet
    EXPECT_FALSE(st.finished());
    app.screenshotPath.clear(); // what the frame's end does
    st.step(app);
    EXPECT_TRUE(st.finished());
}

TEST(Script, PlainRunHasTwentyTwoSteps) {
    Selftest st;
    st.build();
    EXPECT_EQ(st.steps.size(), 22u);
    st.wrongDisc = "w";
    st.errorDemo = true;
    st.crashSeconds = 3;
    st.build();
    EXPECT_EQ(st.steps.size(), 29u);
    st.screens = true;
    st.build();
    EXPECT_EQ(st.steps.size(), 13u);
}

// The build test over a scripted App: the compile step runs, the test stops it at 40 %, asks for
// the stopped screenshot once the stop took effect, then starts the build again.
TEST(Script, BuildTestStopsAtCompileAndResumes) {
    TempDir dir;
    App app;
    app.settings.disc = ""; // startBuild does nothing: the test plays the build's part
    app.launcherIni = dir.file("launcher.ini");
    Selftest st;
    st.shotsDir = dir.path();
    st.cancel = true;
    st.build();
    size_t buildIndex = 0;
    while (st.steps[buildIndex].name != "build")
        ++buildIndex;
    SelftestStep build = st.steps[buildIndex];

    app.progress.reset(plat::now() - 10);
    EXPECT_FALSE(build.run(app, 0));
    app.building = true;
    app.screen = Screen::Preparing;
    app.progress.feed("PROGRESS compile", plat::now() - 5);
    app.progress.feed("PERCENT compile 30", 0);
    EXPECT_FALSE(build.run(app, 1));
    EXPECT_EQ(app.screenshotPath, dir.file("06-build-7-compile.png"));
    app.screenshotPath.clear();
    app.progress.feed("PERCENT compile 55", 0);
    EXPECT_FALSE(build.run(app, 2));
    // Stopped at >= 40 %, and the half shot asked in the same call replaces any step shot.
    EXPECT_TRUE(app.stopRequested);
    EXPECT_EQ(app.screenshotPath, dir.file("07-build-compile-half.png"));
    app.screenshotPath.clear();
    app.building = false;
    app.screen = Screen::Ready;
    EXPECT_FALSE(build.run(app, 3));
    EXPECT_EQ(app.screenshotPath, dir.file("08-stopped.png"));
    EXPECT_FALSE(build.run(app, 4)); // waits for the screenshot
    app.screenshotPath.clear();
    EXPECT_FALSE(build.run(app, 5)); // resumes: startBuild is called (here without a disc)
    EXPECT_FALSE(app.building);
    // The build has ended for good: the summary, then done without a game → failure.
    EXPECT_TRUE(build.run(app, 6));
    EXPECT_TRUE(st.failed);
    EXPECT_TRUE(app.quitNow);
}

} // namespace
