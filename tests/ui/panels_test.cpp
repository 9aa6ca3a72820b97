// The preparing and failure panels used as a user would: a real build script run and stopped,
// the step grid's notes and the estimate, the failure's advice, the details on the clipboard and
// the step's log.
//
// Sections: preparing panel · failure panel
#include "ui/sandbox.h"
#include "ui/scene.h"

#include "plat/clock.h"
#include "plat/fs.h"
#include "ui/lang.h"
#include "ui/screens.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using UiPreparing = UiScene;
using S = StepState;

size_t occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// --- preparing panel -----------------------------------------------------------------------------

// A build script that reports the first step at 40 % and then works until it is stopped.
const char* const kSlowBuild = "import time\n"
                               "print('PROGRESS verify', flush=True)\n"
                               "print('PERCENT verify 40', flush=True)\n"
                               "time.sleep(120)\n";

TEST_F(UiPreparing, StopEndsTheRunAndThePlayTabOffersToContinue) {
    Scene::acceptDisc(app);
    app.pythonExe = "/usr/bin/python3";
    app.sourceDir = dir.path();
    app.buildScript = dir.write("qm_build.py", kSlowBuild);
    ui.frames(app, 2);
    operate("Prepare the game");
    ASSERT_TRUE(app.building) << app.progress.error;
    ASSERT_TRUE(settle([&] { return app.progress.steps[0].percent == 40; }));

    ui.frames(app, 2);
    EXPECT_TRUE(has("Preparing the game"));
    EXPECT_TRUE(has("Checking the disc"));
    EXPECT_TRUE(has("40 %"));
    EXPECT_TRUE(has("Elapsed "));
    EXPECT_FALSE(reachable().count(root("Prepare the game")));

    operate("Stop");
    EXPECT_TRUE(app.stopRequested);
    ui.frame(app);
    EXPECT_TRUE(has("Stopping…"));
    EXPECT_FALSE(reachable().count(root("Stopping…"))) << "a second stop is impossible";

    ASSERT_TRUE(settle([&] { return !app.building; }));
    EXPECT_EQ(app.screen, Screen::Ready);
    ui.frames(app, 2);
    EXPECT_TRUE(has("Preparing was stopped"));
    EXPECT_TRUE(has("It continues where it left off."));
    EXPECT_TRUE(has("Stopped. Preparing continues from there next time."));
    EXPECT_EQ(Headless::focusId(), root("Continue preparing"));
}

TEST_F(UiPreparing, StepsShowTheirStateNotesAndTheEstimate) {
    app.screen = Screen::Preparing;
    app.building = true;
    BuildProgress& p = app.progress;
    p.reset(plat::now() - 700);
    const S states[] = {S::Skipped, S::Done,    S::Done,    S::Done,
                        S::Skipped, S::Running, S::Pending, S::Failed};
    for (size_t i = 0; i < p.steps.size(); ++i)
        p.steps[i].state = states[i];
    p.steps[1].seconds = 0.6; // too short to show
    p.steps[2].seconds = 75;
    p.steps[3].seconds = 3725;
    p.steps[5].percent = 37;
    p.steps[5].startedAt = plat::now() - 400;
    ui.frames(app, 2);
    // Weights 2 + 60 + 7 done and 37 % of 280 out of 405: 42 %. The observed rate (over 6 s per
    // unit) is held at 6, so 232.4 units left are 1394 s, shown as 31 minutes.
    EXPECT_TRUE(has("42 %"));
    EXPECT_TRUE(has("37 %"));
    EXPECT_TRUE(has("1:15"));
    EXPECT_TRUE(has("1:02:05"));
    EXPECT_FALSE(has("0:01"));
    EXPECT_EQ(occurrences(ui.texts(), "done before"), 2u);
    EXPECT_TRUE(has("  ·  about 31 min left"));
    for (const char* label : {"Checking the disc", "Converting textures",
                              "Compiling (the long part)", "Assembling the game folder"})
        EXPECT_TRUE(has(label)) << label;

    ui::french = true;
    ui.frame(app);
    EXPECT_EQ(occurrences(ui.texts(), "déjà fait"), 2u);
    EXPECT_TRUE(has("Écoulé "));
    EXPECT_TRUE(has("  ·  environ 31 min restantes"));
    EXPECT_TRUE(has("Conversion des textures"));
}

TEST_F(UiPreparing, EarlyRunHasNoEstimateAndARunningStepShowsItsPercentFromOne) {
    app.screen = Screen::Preparing;
    app.building = true;
    app.progress.reset(plat::now() - 3);
    app.progress.steps[0].state = S::Running;
    ui.frames(app, 2);
    EXPECT_TRUE(has("Elapsed 0:0"));
    EXPECT_FALSE(has("left"));
    EXPECT_EQ(occurrences(ui.texts(), "0 %"), 1u) << "the overall figure, and no note at 0 %";

    app.progress.steps[0].percent = 1;
    ui.frame(app);
    EXPECT_EQ(occurrences(ui.texts(), "1 %"), 1u);
}

// --- failure panel -------------------------------------------------------------------------------

class UiFailurePanel : public UiScene {
protected:
    void fail(const char* step, const char* error) {
        Scene::acceptDisc(app);
        app.screen = Screen::Failed;
        app.progress.reset(plat::now());
        app.progress.failedStep = step;
        app.progress.error = error;
    }
};

TEST_F(UiFailurePanel, AdviceFollowsTheReason) {
    const struct {
        const char* step;
        const char* error;
        bool french;
        const char* at;
        const char* advice;
    } cases[] = {
        {"compile", "ninja: error: No space left on device", false, "At: Compiling (the long part)",
         "The drive is full. Free some space and try again."},
        {"packs", "needs 6 GB of free space", true, "Étape : Conversion des textures",
         "Le disque est plein. Libérez de la place et réessayez."},
        {"verify", "/discs/q.iso does not exist", false, "At: Checking the disc",
         "The disc image is no longer where it was. Select it again."},
        {"extract", "/discs/q.iso does not exist", false, "At: Reading the disc's files",
         "Try again. If it stops at the same place, copy the details and send them to us."},
        {"link", "the linker gave up", false, "At: link",
         "Try again. If it stops at the same place, copy the details and send them to us."},
        {"verify", "La préparation n'a pas pu démarrer : Permission non accordée", true,
         "Étape : Vérification du disque",
         "Réessayez. Si cela s'arrête au même endroit, copiez les détails et envoyez-les nous."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        fail(c.step, c.error);
        ui::french = c.french;
        ui.frame(app);
        EXPECT_TRUE(has(c.french ? "La préparation s'est arrêtée" : "Preparing stopped"));
        EXPECT_TRUE(has(c.at));
        EXPECT_TRUE(has(c.advice));
        EXPECT_TRUE(has(c.error)) << "the build's own words as the detail";
    }
}

TEST_F(UiFailurePanel, CopyDetailsPutsTheReportOnTheClipboardAndSaysSoForTwoSeconds) {
    fail("compile", "ninja: build stopped: subcommand failed.");
    app.progress.output = {"PROGRESS compile", "ERROR compile ninja: build stopped"};
    Scene::writeBuildLog(app, "compile", "[1/2] cc a.c\n[2/2] cc b.c\nerror: b.c:3\n");
    ui.frames(app, 2);
    operate("Copy details");
    EXPECT_EQ(std::string(ImGui::GetClipboardText()), app.failureDetails());
    EXPECT_NE(app.failureDetails().find("error: b.c:3"), std::string::npos);
    const double copiedAt = ui::copiedAt;
    EXPECT_GT(copiedAt, 0);
    ui.frame(app);
    EXPECT_TRUE(has("Copied"));
    EXPECT_FALSE(has("Copy details"));

    ui.time = copiedAt + 1.95;
    ui.frame(app); // the frame's time is a sixtieth later: still under two seconds
    EXPECT_TRUE(has("Copied"));
    ui.frames(app, 3);
    EXPECT_TRUE(has("Copy details"));
}

TEST_F(UiFailurePanel, OpenLogOpensTheStepsLogOrElseTheFolder) {
    fail("packs", "texture 0x3f failed");
    Scene::writeBuildLog(app, "", "");
    ui.frames(app, 2);
    operate("Open log");
    EXPECT_EQ(waitForOpened(1), std::vector<std::string>{fileAddress(app.buildLogsDir)});

    Scene::writeBuildLog(app, "packs", "converted 12 of 13\n");
    operate("Open log");
    const std::vector<std::string> expected = {fileAddress(app.buildLogsDir),
                                               fileAddress(app.stepLogPath())};
    EXPECT_EQ(waitForOpened(2), expected);
}

TEST_F(UiFailurePanel, TryAgainHasTheFocusAndChangeDiscOpensTheDialog) {
    fail("compile", "ninja: build stopped: subcommand failed.");
    ui.frames(app, 2);
    ASSERT_EQ(Headless::focusId(), root("Try again"));
    // No kit in this release: the new run cannot start, and says so.
    operate("Try again");
    EXPECT_EQ(app.progress.failedStep, "verify");
    EXPECT_EQ(app.progress.error.rfind("The build could not start: ", 0), 0u) << app.progress.error;

    operate("Change disc image");
    const std::vector<std::string> args = lastDialogArgs();
    EXPECT_NE(std::find(args.begin(), args.end(), "Select your Quillmere disc image"), args.end());
}

} // namespace
