// The real build script driven through the App, without a window: disc checks on every fixture
// image, and build runs that complete, stop and continue, fail, end without a result or flood.
#include "app/app.h"
#include "plat/clock.h"
#include "plat/env.h"
#include "plat/fs.h"
#include "prep/prep_support.h"
#include "support/temp_dir.h"
#include "ui/lang.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

using prep_test::fixtureDiscs;

// A fresh release and user folder per test, with the launcher's App opened on them.
class BuildRun : public ::testing::Test {
protected:
    TempDir release, user;
    std::unique_ptr<App> app;

    void SetUp() override {
        prep_test::makeRelease(release.path());
        plat::setEnv("ZOLT_USER_DIR", user.path());
        plat::setEnv("QM_BUILD_PACE", "0");
        ui::french = false;
        app = std::make_unique<App>();
        app->openRelease(release.path());
        ASSERT_EQ(app->screen, Screen::NoDisc) << app->missingItem;
    }
    void TearDown() override {
        for (const char* v : {"QM_BUILD_PACE", "QM_BUILD_FAIL_STEP", "QM_BUILD_NO_RESULT",
                              "QM_BUILD_FLOOD", "QM_BUILD_HANG"})
            plat::setEnv(v, "");
    }

    static std::string disc(const char* name) { return plat::joinPath(fixtureDiscs(), name); }

    bool waitFor(const std::function<bool()>& done, double seconds = 120) {
        double t0 = plat::now();
        while (!done()) {
            if (plat::now() - t0 > seconds) return false;
            app->pollDiscCheck();
            app->pollBuild();
            plat::sleepMs(10);
        }
        return true;
    }
    void check(const std::string& path) {
        app->startDiscCheck(path);
        ASSERT_TRUE(waitFor([&] { return !app->checkingDisc; }));
    }
    void buildToEnd() {
        app->startBuild();
        ASSERT_TRUE(app->building);
        ASSERT_EQ(app->screen, Screen::Preparing);
        ASSERT_TRUE(waitFor([&] { return !app->building; }));
    }
    LauncherSettings stored() {
        LauncherSettings s;
        loadLauncherSettings(app->launcherIni, s);
        return s;
    }
};

struct CheckCase {
    const char* file;
    const char* message; // empty: accepted
};

TEST_F(BuildRun, EveryFixtureDiscGivesItsMessage) {
    const CheckCase cases[] = {
        {"european.iso", "This is the European disc. Only the USA disc (SQMU-40420) is supported."},
        {"other.iso", "This disc image is another game."},
        {"modified.iso", "This copy differs from the USA disc: modified or damaged. Make a fresh "
                         "copy of your disc."},
        {"not-an-image.bin", "This file is not a PS2 disc image."},
        {"missing.iso", "This file is no longer there."},
        {"good.cue", ""},
        {"good.iso", ""},
    };
    for (const auto& c : cases) {
        check(disc(c.file));
        EXPECT_EQ(app->discMessage, c.message) << c.file << ": " << app->discDetail;
        if (*c.message) {
            EXPECT_FALSE(app->discDetail.empty()) << c.file;
        } else {
            EXPECT_EQ(app->settings.disc, disc(c.file));
            EXPECT_EQ(stored().disc, disc(c.file));
            EXPECT_EQ(app->screen, Screen::Ready);
        }
    }
}

TEST_F(BuildRun, RefusalKeepsTheDiscAcceptedBefore) {
    check(disc("good.iso"));
    check(disc("other.iso"));
    EXPECT_EQ(app->settings.disc, disc("good.iso"));
    EXPECT_EQ(app->screen, Screen::Ready);
}

TEST_F(BuildRun, FastBuildEndsReadyWithItsTimeRecorded) {
    check(disc("good.iso"));
    buildToEnd();
    EXPECT_EQ(app->screen, Screen::Ready) << app->progress.error;
    EXPECT_EQ(app->statusColour, 0x4FE0A3u);
    EXPECT_TRUE(app->statusMessage.starts_with("The game is ready. Prepared in "))
        << app->statusMessage;
    EXPECT_TRUE(pathExists(app->gameExe));
    EXPECT_TRUE(pathExists(app->gameElf));
    EXPECT_EQ(app->builtFromCommit, std::string(40, '1'));
    LauncherSettings s = stored();
    EXPECT_FALSE(s.build_pending);
    EXPECT_TRUE(s.built);
    EXPECT_EQ(s.pending_build_seconds, 0);
    EXPECT_EQ(app->progress.fraction(), 1);
    for (const BuildStep& step : app->progress.steps)
        EXPECT_EQ(step.state, StepState::Done);
}

TEST_F(BuildRun, StopAndContinueSkipsFinishedStepsAndSumsTheTime) {
    check(disc("good.iso"));
    plat::setEnv("QM_BUILD_HANG", "packs");
    app->startBuild();
    ASSERT_TRUE(waitFor([&] {
        int i = app->progress.runningStep();
        return i >= 0 && app->progress.steps[size_t(i)].name == "packs";
    }));
    plat::sleepMs(300);
    app->stopBuild();
    app->stopBuild(); // a second stop counts the time once
    double firstRun = app->settings.pending_build_seconds;
    EXPECT_GT(firstRun, 0.25);
    ASSERT_TRUE(waitFor([&] { return !app->building; }));
    EXPECT_EQ(app->screen, Screen::Ready);
    EXPECT_EQ(app->statusMessage, "Stopped. Preparing continues from there next time.");
    EXPECT_EQ(app->statusColour, 0xFFC35Cu);
    EXPECT_TRUE(stored().build_pending);
    EXPECT_DOUBLE_EQ(stored().pending_build_seconds, double(long(firstRun + 0.5)));

    plat::setEnv("QM_BUILD_HANG", "");
    buildToEnd();
    ASSERT_EQ(app->screen, Screen::Ready) << app->progress.error;
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(app->progress.steps[i].state, StepState::Skipped) << app->progress.steps[i].name;
    EXPECT_GE(app->settings.last_build_seconds, firstRun);
}

TEST_F(BuildRun, FailingStepShowsItsReasonAndKeepsTheBuildPending) {
    check(disc("good.iso"));
    plat::setEnv("QM_BUILD_FAIL_STEP", "packs");
    buildToEnd();
    EXPECT_EQ(app->screen, Screen::Failed);
    EXPECT_EQ(app->progress.failedStep, "packs");
    EXPECT_FALSE(app->progress.error.empty());
    EXPECT_TRUE(stored().build_pending);
    EXPECT_NE(app->failureDetails().find("--- packs.log (last lines) ---"), std::string::npos);
}

TEST_F(BuildRun, ExitWithoutResultIsAnUnexpectedStop) {
    check(disc("good.iso"));
    plat::setEnv("QM_BUILD_NO_RESULT", "1");
    buildToEnd();
    EXPECT_EQ(app->screen, Screen::Failed);
    EXPECT_EQ(app->progress.error, "The build stopped unexpectedly (exit code 0).");
}

TEST_F(BuildRun, VanishedDiscFailsAtVerify) {
    TempDir tmp;
    std::string copy = tmp.file("vanishing.iso");
    ASSERT_TRUE(plat::hardLink(disc("good.iso"), copy));
    check(copy);
    ASSERT_EQ(app->settings.disc, copy);
    plat::removePath(copy);
    buildToEnd();
    EXPECT_EQ(app->screen, Screen::Failed);
    EXPECT_EQ(app->progress.failedStep, "verify");
    EXPECT_NE(app->progress.error.find("does not exist"), std::string::npos) << app->progress.error;
}

TEST_F(BuildRun, MissingInterpreterFailsToStartWithTheSystemsReason) {
    check(disc("good.iso"));
    plat::removePath(app->pythonExe);
    app->startBuild();
    EXPECT_FALSE(app->building);
    EXPECT_EQ(app->screen, Screen::Failed);
    EXPECT_EQ(app->progress.failedStep, "verify");
    EXPECT_TRUE(app->progress.error.starts_with("The build could not start: "))
        << app->progress.error;
}

TEST_F(BuildRun, AFloodOfOutputKeepsTheRecordBounded) {
    check(disc("good.iso"));
    plat::setEnv("QM_BUILD_FLOOD", "1000000");
    buildToEnd();
    EXPECT_EQ(app->screen, Screen::Ready) << app->progress.error;
    EXPECT_EQ(app->progress.output.size(), kOutputLinesKept);
}

} // namespace
