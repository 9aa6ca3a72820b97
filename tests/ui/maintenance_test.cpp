// The Maintenance tab used as a user would: the version line in every state of the update check,
// the check button, and which rows work while the game is being prepared.
#include "ui/card_states.h"
#include "ui/sandbox.h"
#include "ui/scene.h"

#include "ui/lang.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

class UiMaintenance : public UiScene {
protected:
    void SetUp() override {
        UiScene::SetUp();
        Scene::acceptDisc(app);
        app.tab = 2;
        app.updateUrl = "http://127.0.0.1:9/latest"; // nobody listens: a check fails at once
    }
};

TEST_F(UiMaintenance, VersionLineFollowsTheUpdateCheck) {
    const struct {
        int state;
        bool userAsked;
        bool french;
        const char* line;
    } cases[] = {
        {0, false, false, "This is version 0.6.1."},
        {1, true, false, "This is version 0.6.1. Checking…"},
        {1, false, true, "Version installée : 0.6.1. Vérification…"},
        {2, true, false, "This is version 0.6.1. It is the latest."},
        {2, false, true, "Version installée : 0.6.1. C'est la plus récente."},
        {3, false, false, "This is version 0.6.1. Version 0.7.0 is available (Play tab)."},
        {3, true, true,
         "Version installée : 0.6.1. La version 0.7.0 est disponible (onglet Jouer)."},
        {4, true, false, "This is version 0.6.1. Could not check: HTTP 503."},
        {4, true, true, "Version installée : 0.6.1. Vérification impossible : HTTP 503."},
        {4, false, false, "This is version 0.6.1."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ui::french = c.french;
        ui.update = newerRelease();
        ui.update.state = c.state;
        ui.update.userAsked = c.userAsked;
        ui.update.error = "HTTP 503";
        ui.frame(app);
        EXPECT_TRUE(has(c.line));
        // Nothing follows the line when there is nothing to say.
        if (c.state == 0 || (c.state == 4 && !c.userAsked)) {
            EXPECT_FALSE(has("0.6.1. "));
        }
    }
}

TEST_F(UiMaintenance, CheckButtonIsDisabledWhileCheckingAndStartsACheckTheUserAskedFor) {
    ui.update.state = 1;
    ui.frames(app, 2);
    EXPECT_TRUE(has("Check for updates"));
    EXPECT_FALSE(reachable().count(root("Check for updates")));
    EXPECT_EQ(app.updateCheck.snapshot().state, 0) << "no check was started";

    ui.update.state = 4;
    ui.frame(app);
    operate("Check for updates");
    const UpdateCheckResult started = app.updateCheck.snapshot();
    EXPECT_NE(started.state, 0);
    EXPECT_TRUE(started.userAsked);
    // The check ends before the test does: a worker still inside libcurl's start-up when the
    // process exits would leave its half-made state behind.
    ASSERT_TRUE(settle([&] { return app.updateCheck.snapshot().state == 4; }));
    EXPECT_FALSE(app.updateCheck.snapshot().error.empty());
}

TEST_F(UiMaintenance, WhileBuildingOnlyTheFolderRowsWork) {
    app.building = true;
    app.screen = Screen::Preparing;
    ui.frames(app, 2);
    std::set<ImGuiID> ids = reachable();
    EXPECT_FALSE(ids.count(root("Rebuild")));
    EXPECT_FALSE(ids.count(root("Change disc image")));
    EXPECT_TRUE(ids.count(root("Open saves folder")));
    EXPECT_TRUE(ids.count(root("Open game logs")));
    EXPECT_FALSE(ids.count(root("Open build logs"))) << "no build logs yet";

    Scene::writeBuildLog(app, "", "");
    app.building = false;
    app.screen = Screen::Ready;
    ui.frame(app);
    ids = reachable();
    for (const char* row : {"Rebuild", "Change disc image", "Open build logs"})
        EXPECT_TRUE(ids.count(root(row))) << row;

    app.gameRunning = true;
    ui.frame(app);
    EXPECT_FALSE(reachable().count(root("Rebuild")));
}

TEST_F(UiMaintenance, FolderRowsOpenTheirFolders) {
    ui.frames(app, 2);
    EXPECT_TRUE(has("Memory cards and settings: " + app.userDir));
    // One at a time: the opener stand-ins run side by side and would write in any order.
    operate("Open saves folder");
    waitForOpened(1);
    operate("Open game logs"); // the game has not run yet: its log folder does not exist
    waitForOpened(2);
    std::filesystem::create_directories(app.logsDir);
    operate("Open game logs");
    const std::vector<std::string> expected = {fileAddress(app.userDir), fileAddress(app.userDir),
                                               fileAddress(app.logsDir)};
    EXPECT_EQ(waitForOpened(3), expected);
}

TEST_F(UiMaintenance, RebuildAndChangeDiscRowsCallTheirOperations) {
    ui::french = true;
    ui.frames(app, 2);
    operate("Changer d'image disque");
    const std::vector<std::string> args = lastDialogArgs();
    EXPECT_NE(std::find(args.begin(), args.end(), "Choisir l'image disque de Quillmere"),
              args.end());
    // No kit in this release: the rebuild cannot start, and the Play tab will say so.
    operate("Reconstruire");
    EXPECT_EQ(app.screen, Screen::Failed);
    EXPECT_EQ(app.progress.error.rfind("La préparation n'a pas pu démarrer : ", 0), 0u);
}

} // namespace
