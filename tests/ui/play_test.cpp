// The Play tab used as a user would, on real files and real child processes: the disc variant,
// the ready variant with a real game run, the game's result, the rebuild notice and the update
// block.
//
// Sections: disc variant · ready variant and the game · game result · rebuild notice · updates
#include "ui/card_states.h"
#include "ui/sandbox.h"
#include "ui/scene.h"

#include "plat/fs.h"
#include "ui/lang.h"
#include "ui/screens.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using UiPlay = UiScene;

// --- disc variant --------------------------------------------------------------------------------

TEST(UiPlayTexts, LowSpaceWarningKeepsAFullStopInBothLanguages) {
    const uint64_t gib = uint64_t(1) << 30;
    const struct {
        uint64_t bytes;
        bool french;
        const char* expected;
    } cases[] = {
        {gib * 7 / 2, false, "Only 3.5 GB free on this drive."},
        {gib * 7 / 2, true, "Seulement 3.5 Go libres sur ce disque."},
        {uint64_t(4.96 * double(gib)), false, "Only 5.0 GB free on this drive."},
        {gib * 5, false, ""}, // 5.0 GiB is enough
        {gib * 5 - 1, true, "Seulement 5.0 Go libres sur ce disque."},
        {0, false, ""}, // a query that failed
        {1, false, "Only 0.0 GB free on this drive."},
    };
    for (const auto& c : cases) {
        ui::french = c.french;
        EXPECT_EQ(ui::lowSpaceWarning(c.bytes), c.expected) << c.bytes;
    }
    ui::french = false;
}

TEST_F(UiPlay, FreshDiscOffersToPrepareWithTheFocusOnIt) {
    Scene::acceptDisc(app);
    ui.frames(app, 2);
    EXPECT_TRUE(has("Your disc is ready"));
    EXPECT_TRUE(has("USA disc (SQMU-40420)  ·  Quillmere (USA).iso"));
    EXPECT_TRUE(has("It takes a few minutes and about 10 GB of free space."));
    EXPECT_EQ(Headless::focusId(), root("Prepare the game"));
    EXPECT_FALSE(has("Ready to play"));

    // The release has no kit here, so the build cannot start: the failure shows instead.
    operate("Prepare the game");
    EXPECT_EQ(app.screen, Screen::Failed);
    EXPECT_EQ(app.progress.error.rfind("The build could not start: ", 0), 0u) << app.progress.error;
}

TEST_F(UiPlay, MovedImageAsksForItAgainInsteadOfPreparing) {
    Scene::acceptDisc(app);
    const std::string moved = app.settings.disc;
    std::filesystem::rename(moved, moved + ".elsewhere");
    ui::french = true;
    ui.frames(app, 2);
    EXPECT_TRUE(has("L'image disque n'est plus à son emplacement. Choisissez-la à nouveau."));
    EXPECT_TRUE(has(moved));
    const std::set<ImGuiID> ids = reachable();
    EXPECT_FALSE(ids.count(root("Préparer le jeu")));
    EXPECT_TRUE(ids.count(root("Choisir votre image disque…")));
    operate("Choisir votre image disque…");
    const std::vector<std::string> args = lastDialogArgs();
    EXPECT_NE(std::find(args.begin(), args.end(), "Choisir l'image disque de Quillmere"),
              args.end());
}

// --- ready variant and the game ------------------------------------------------------------------

TEST_F(UiPlay, PlayHasTheFocusIsDisabledWhileTheGameRunsAndItsEndIsReported) {
    Scene::acceptDisc(app);
    // The game runs until the test lets it end, then ends with exit code 3 and no report.
    Scene::buildGame(app, "#!/bin/sh\nwhile [ ! -e \"$0.end\" ]; do sleep 0.02; done\nexit 3\n");
    ui.frames(app, 2);
    EXPECT_TRUE(has("Ready to play"));
    EXPECT_TRUE(has("Quillmere (USA).iso"));
    EXPECT_TRUE(has("F2"));
    EXPECT_TRUE(has("In the game, F2 opens the settings: controls, video and cheats."));
    EXPECT_FALSE(has("Your disc is ready"));
    ASSERT_EQ(Headless::focusId(), root("Play##play"));

    operate("Play##play");
    ASSERT_TRUE(app.gameRunning) << app.gameStartError;
    ui.frame(app);
    EXPECT_FALSE(reachable().count(root("Play##play")));

    TempDir::writeTo(app.gameExe + ".end", "");
    ASSERT_TRUE(settle([&] { return !app.gameRunning; }));
    ui.frames(app, 2);
    EXPECT_TRUE(has("The game closed unexpectedly."));
    EXPECT_TRUE(has("exit code 3"));
    const std::set<ImGuiID> ids = reachable();
    EXPECT_TRUE(ids.count(root("Play##play")));
    EXPECT_TRUE(ids.count(root("Open log")));
    EXPECT_FALSE(ids.count(root("Open crash report")));
}

TEST_F(UiPlay, PlayIsAbsentWhileTheGameIsBeingPrepared) {
    Scene::acceptDisc(app);
    Scene::buildGame(app);
    app.screen = Screen::Preparing;
    app.building = true;
    app.progress.reset(0);
    ui.frames(app, 2);
    EXPECT_TRUE(has("Preparing the game"));
    EXPECT_FALSE(reachable().count(root("Play##play")));
    app.launchGame(); // what the button would do: nothing while building
    EXPECT_FALSE(app.gameRunning);
}

// --- game result ---------------------------------------------------------------------------------

TEST_F(UiPlay, GameResultNamesWhatHappenedAndOffersWhatHelps) {
    const struct {
        const char* name;
        bool french;
        std::string report, startError;
        int32_t exitCode;
        const char* heading;
        std::string detail;
    } cases[] = {
        {"report", false, "crash-1.txt", "", 0, "The game closed unexpectedly.", "crash-1.txt"},
        {"start error", false, "", "Exec format error", 0, "The game could not start.",
         "Exec format error"},
        {"negative code", false, "", "", -1073741819, "The game closed unexpectedly.",
         "exit code -1073741819"},
        {"negative code fr", true, "", "", -1073741819, "Le jeu s'est fermé de façon inattendue.",
         "exit code -1073741819"},
        {"start error fr", true, "", "Exec format error", 0, "Le jeu n'a pas pu démarrer.",
         "Exec format error"},
    };
    Scene::acceptDisc(app);
    Scene::buildGame(app);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui::french = c.french;
        app.crashReport = c.report.empty() ? "" : plat::joinPath(app.crashesDir, c.report);
        app.gameStartError = c.startError;
        app.gameExitCode = c.exitCode;
        app.gameFailed = c.report.empty() && c.exitCode != 0;
        ui.frames(app, 2);
        EXPECT_TRUE(has(c.heading));
        EXPECT_TRUE(has(c.detail));
        EXPECT_EQ(has(ui::french ? "Ouvrir le rapport de plantage" : "Open crash report"),
                  !c.report.empty());
        EXPECT_TRUE(has(ui::french ? "Ouvrir le journal" : "Open log"));
    }
}

TEST_F(UiPlay, ResultButtonsOpenTheReportAndTheLogFolder) {
    Scene::acceptDisc(app);
    Scene::buildGame(app);
    std::filesystem::create_directories(app.crashesDir);
    std::filesystem::create_directories(app.logsDir);
    app.crashReport = plat::joinPath(app.crashesDir, "crash 1.txt");
    TempDir::writeTo(app.crashReport, "what went wrong");
    ui.frames(app, 2);
    operate("Open crash report");
    EXPECT_EQ(waitForOpened(1), std::vector<std::string>{fileAddress(app.crashReport)});
    operate("Open log", ImGuiKey_Space);
    const std::vector<std::string> expected = {fileAddress(app.crashReport),
                                               fileAddress(app.logsDir)};
    EXPECT_EQ(waitForOpened(2), expected);
}

// --- rebuild notice ------------------------------------------------------------------------------

TEST_F(UiPlay, RebuildNoticeHidesTheUpdateOfferUntilTheGameIsRebuilt) {
    Scene::acceptDisc(app);
    Scene::buildGame(app);
    app.sourceVersion = "0.7.0-rc1";
    app.sourceCommit = "9f3c1e0";
    app.whatsNewText = "### Added\n- Rebuilds only what changed.\n";
    app.whatsNewVersion = "0.7.0-rc1";
    ui.update = newerRelease();
    ui.frames(app, 2);
    EXPECT_TRUE(has("Version 0.7.0-rc1 is installed."));
    EXPECT_TRUE(has("Rebuild the game to play it: only what changed is built again."));
    EXPECT_FALSE(has("is available."));

    operate("What's new");
    ui.frame(app);
    EXPECT_EQ(Headless::focusWindow(), "##whatsnew");
    ASSERT_TRUE(ui.focus(app, Headless::idIn("##whatsnew", "Close")));
    ui.press(app, ImGuiKey_Enter);

    app.gameRunning = true;
    ui.frame(app);
    EXPECT_FALSE(reachable().count(root("Rebuild now")));
    app.gameRunning = false;

    app.builtFromCommit = app.sourceCommit;
    ui::french = true;
    ui.frames(app, 2);
    EXPECT_FALSE(has("est installée."));
    EXPECT_TRUE(has("La version 0.7.0 est disponible."));
}

// --- updates -------------------------------------------------------------------------------------

TEST_F(UiPlay, DownloadShowsWholeMegabytesAndStopAsksTheWorkerToStop) {
    Scene::acceptDisc(app);
    Scene::buildGame(app);
    app.installState = 1;
    app.installVersion = "0.7.0";
    app.installGot = 52'600'000;
    app.installTotal = 131'000'000;
    ui.frames(app, 2);
    EXPECT_TRUE(has("Updating to version 0.7.0…"));
    EXPECT_TRUE(has("Downloading: 53 of 131 MB."));
    ui::french = true;
    app.installTotal = 0; // not declared (yet)
    ui.frame(app);
    EXPECT_TRUE(has("Mise à jour vers la version 0.7.0…"));
    EXPECT_TRUE(has("Téléchargement : 53 sur 0 Mo."));
    operate("Arrêter");
    EXPECT_TRUE(app.installStop);
}

TEST_F(UiPlay, InstallerStepsHaveTheirOwnTexts) {
    const struct {
        int state;
        const char* phase;
        const char* en;
        const char* fr;
    } cases[] = {
        {2, "verify", "Checking the download.", "Vérification du téléchargement."},
        {2, "extract", "Unpacking.", "Décompression."},
        {2, "install", "Installing.", "Installation."},
        {2, "", "Finishing.", "Finalisation."},
        {3, "done", "Finishing.", "Finalisation."},
    };
    Scene::acceptDisc(app);
    app.installVersion = "0.7.0";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.phase);
        app.installState = c.state;
        app.installPhase = c.phase;
        for (bool fr : {false, true}) {
            ui::french = fr;
            ui.frame(app);
            EXPECT_TRUE(has(fr ? c.fr : c.en));
            EXPECT_FALSE(has(fr ? "Arrêter" : "Stop")) << "only a download can be stopped";
        }
    }
}

TEST_F(UiPlay, UpdateOfferOpensTheReleasePageAndStartsTheDownload) {
    Scene::acceptDisc(app);
    Scene::buildGame(app);
    app.downloadPrefix = "http://127.0.0.1:9/"; // nobody listens: the download fails at once
    ui.update = newerRelease();
    app.building = true; // (on another tab) no update while building
    app.tab = 0;
    ui.frames(app, 2);
    EXPECT_TRUE(has("Version 0.7.0 is available."));
    EXPECT_TRUE(has("Update downloads and installs it here, then the launcher restarts"));
    EXPECT_FALSE(reachable().count(root("Update")));
    app.building = false;
    ui.frame(app);

    operate("Open the release page");
    EXPECT_EQ(waitForOpened(1), std::vector<std::string>{ui.update.releasePageUrl});
    operate("Update");
    EXPECT_EQ(app.installVersion, "0.7.0");
    EXPECT_NE(app.installState, 0);
    ASSERT_TRUE(settle([&] { return app.installState == 4; }));
    ui.frames(app, 2);
    EXPECT_TRUE(has(app.installError));
    EXPECT_EQ(app.installError.rfind("The download failed: ", 0), 0u) << app.installError;
    EXPECT_TRUE(reachable().count(root("Try again")));
}

} // namespace
