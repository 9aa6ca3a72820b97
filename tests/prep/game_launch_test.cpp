// The real stand-in game started through App::launchGame, under an X server: a normal close, a
// crash with its report, and the cases where nothing may start.
#include "app/app.h"
#include "plat/clock.h"
#include "plat/env.h"
#include "plat/fs.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

class GameLaunch : public ::testing::Test {
protected:
    TempDir release, user;
    std::unique_ptr<App> app;

    void SetUp() override {
        if (plat::getEnv("DISPLAY").empty()) GTEST_SKIP() << "no X server";
        plat::setEnv("ZOLT_USER_DIR", user.path());
        plat::setEnv("ZOLT_NO_DIALOGS", "1");
        app = std::make_unique<App>();
        app->openRelease(release.path());
        fs::create_directories(app->gameDir);
        fs::copy_file(std::string(QM_BIN_DIR) + "/qm", app->gameExe);
        TempDir::writeTo(app->gameElf, "\x7f"
                                       "ELF");
        TempDir::writeTo(app->discIso, "iso");
    }
    void TearDown() override {
        plat::setEnv("ZOLT_TEST_CRASH", "");
        plat::setEnv("ZOLT_NO_DIALOGS", "");
        if (app && app->game.running()) app->game.kill();
    }

    // Polls like the hidden frame loop until the game is seen to end.
    bool waitForEnd(double seconds = 60) {
        double t0 = plat::now();
        while (app->gameRunning) {
            if (plat::now() - t0 > seconds) return false;
            app->pollGame();
            plat::sleepMs(100);
        }
        return true;
    }
};

TEST_F(GameLaunch, PoliteCloseEndsWithZeroAndLeavesNoResult) {
    app->statusMessage = "The game is ready. Prepared in 0:18.";
    app->launchGame();
    ASSERT_TRUE(app->gameRunning) << app->gameStartError;
    EXPECT_TRUE(app->gameOwnsScreen);
    EXPECT_EQ(app->statusMessage, "");
    plat::sleepMs(1500);
    app->game.closeWindows();
    ASSERT_TRUE(waitForEnd());
    EXPECT_FALSE(app->gameOwnsScreen);
    EXPECT_EQ(app->gameExitCode, 0);
    EXPECT_EQ(app->crashReport, "");
    EXPECT_FALSE(app->gameFailed);
    EXPECT_EQ(app->gameStartError, "");
}

TEST_F(GameLaunch, CrashFindsTheNewReportAndNeverAnOldOne) {
    fs::create_directories(app->crashesDir);
    std::string old = plat::joinPath(app->crashesDir, "crash-old.txt");
    TempDir::writeTo(old, "an earlier crash");
    plat::setEnv("ZOLT_TEST_CRASH", "1");
    app->launchGame();
    plat::setEnv("ZOLT_TEST_CRASH", "");
    ASSERT_TRUE(app->gameRunning) << app->gameStartError;
    EXPECT_EQ(app->knownReports.count(old), 1u);
    // The old report rewritten during the run is newer than anything, and still never shown.
    plat::sleepMs(300);
    TempDir::writeTo(old, "rewritten");
    ASSERT_TRUE(waitForEnd());
    EXPECT_NE(app->gameExitCode, 0);
    EXPECT_NE(app->crashReport, "");
    EXPECT_NE(app->crashReport, old);
    EXPECT_TRUE(pathExists(app->crashReport));
    EXPECT_FALSE(app->gameFailed);
}

TEST_F(GameLaunch, CrashesFolderCreatedByTheGameIsStillSearched) {
    ASSERT_FALSE(pathExists(app->crashesDir));
    plat::setEnv("ZOLT_TEST_CRASH", "1");
    app->launchGame();
    plat::setEnv("ZOLT_TEST_CRASH", "");
    ASSERT_TRUE(app->gameRunning);
    ASSERT_TRUE(waitForEnd());
    EXPECT_TRUE(app->crashReport.starts_with(app->crashesDir)) << app->crashReport;
}

TEST_F(GameLaunch, NothingStartsWithoutTheProgramTheBootFileOrDuringABuild) {
    plat::removePath(app->gameElf);
    app->launchGame();
    EXPECT_FALSE(app->gameRunning);
    TempDir::writeTo(app->gameElf, "\x7f"
                                   "ELF");
    plat::removePath(app->gameExe);
    app->launchGame();
    EXPECT_FALSE(app->gameRunning);
    EXPECT_EQ(app->gameStartError, "");
    fs::copy_file(std::string(QM_BIN_DIR) + "/qm", app->gameExe);
    app->building = true;
    app->launchGame();
    EXPECT_FALSE(app->gameRunning);
    app->building = false;
}

TEST_F(GameLaunch, InvalidProgramGivesTheSystemsReasonAndKeepsTheWindow) {
    plat::removePath(app->gameExe);
    TempDir::writeTo(app->gameExe, "this is not a program");
    fs::permissions(app->gameExe, fs::perms::owner_all);
    app->launchGame();
    EXPECT_FALSE(app->gameRunning);
    EXPECT_FALSE(app->gameOwnsScreen);
    EXPECT_EQ(app->gameStartError, "Exec format error");
}

} // namespace
