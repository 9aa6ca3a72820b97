// Every state the Play tab, its blocks, the two panels and the Maintenance tab show, on real files.
//
// Sections: helpers · Play tab · update block · game result · preparing panel · failure panel ·
// Maintenance tab
#include "ui/card_states.h"

#include "ui/scene.h"

#include "app/app.h"
#include "plat/clock.h"
#include "plat/fs.h"

namespace {

// --- helpers -------------------------------------------------------------------------------------

void play(App& app, const std::string& root) {
    Scene::layOut(app, root);
    Scene::acceptDisc(app);
}

void ready(App& app, const std::string& root) {
    play(app, root);
    Scene::buildGame(app);
}

void installing(App& app, const std::string& root, const char* phase) {
    ready(app, root);
    app.installState = 2;
    app.installVersion = "0.7.0";
    app.installPhase = phase;
    app.installGot = 3;
    app.installTotal = 4;
}

void stepStates(BuildProgress& p, std::initializer_list<StepState> states) {
    size_t i = 0;
    for (StepState s : states)
        p.steps[i++].state = s;
}

void failed(App& app, const std::string& root, const char* step, const char* error) {
    play(app, root);
    app.settings.build_pending = true;
    app.screen = Screen::Failed;
    app.progress.reset(plat::now() - 30);
    app.progress.failedStep = step;
    app.progress.error = error;
}

void maintenance(App& app, Headless& ui, const std::string& root, int state, bool userAsked) {
    ready(app, root);
    app.tab = 2;
    ui.update = newerRelease();
    ui.update.state = state;
    ui.update.userAsked = userAsked;
    ui.update.error = "could not connect to the server";
}

using S = StepState;

// --- the states ----------------------------------------------------------------------------------

std::vector<UiState> makeStates() {
    return {
        // Play tab, disc variant.
        {"play_fresh", [](App& app, Headless&, const std::string& root) { play(app, root); }},
        {"play_pending",
         [](App& app, Headless&, const std::string& root) {
             play(app, root);
             app.settings.build_pending = true;
         }},
        {"play_pending_built_stopped",
         [](App& app, Headless&, const std::string& root) {
             ready(app, root);
             app.sourceCommit = "another commit"; // no notice while a build is pending
             app.settings.build_pending = true;
             app.statusMessage = "Stopped. Preparing continues from there next time.";
             app.statusColour = 0xFFC35C;
         }},
        {"play_moved_image",
         [](App& app, Headless&, const std::string& root) {
             play(app, root);
             app.settings.disc += ".moved";
         }},
        {"play_checking_and_refused",
         [](App& app, Headless&, const std::string& root) {
             play(app, root);
             app.checkingDisc = true;
             app.discUnderCheck = "/discs/other.iso";
             app.discMessage = "This disc image is another game.";
             app.discDetail = "SLUS-20001 boots another game";
         }},
        // Play tab, ready variant.
        {"play_ready", [](App& app, Headless&, const std::string& root) { ready(app, root); }},
        {"play_ready_prepared",
         [](App& app, Headless&, const std::string& root) {
             ready(app, root);
             app.statusMessage = "The game is ready. Prepared in 12:04.";
             app.statusColour = 0x4FE0A3;
         }},
        {"play_ready_game_running",
         [](App& app, Headless& ui, const std::string& root) {
             ready(app, root);
             app.gameRunning = true;
             ui.update = newerRelease(); // Update is disabled while the game runs
         }},
        {"play_rebuild_version",
         [](App& app, Headless& ui, const std::string& root) {
             ready(app, root);
             app.sourceVersion = "0.7.0";
             app.sourceCommit = "9f3c1e0";
             app.whatsNewText = "### Added\n- Rebuilds only what changed.\n";
             ui.update = newerRelease(); // hidden behind the notice
         }},
        {"play_rebuild_new_code",
         [](App& app, Headless&, const std::string& root) {
             ready(app, root);
             app.builtFromCommit.clear();
         }},
        // Update block.
        {"update_offer",
         [](App& app, Headless& ui, const std::string& root) {
             ready(app, root);
             ui.update = newerRelease();
         }},
        {"update_offer_same_as_source",
         [](App& app, Headless& ui, const std::string& root) {
             ready(app, root);
             app.sourceVersion = "0.7.0";
             ui.update = newerRelease();
         }},
        {"update_downloading",
         [](App& app, Headless&, const std::string& root) {
             ready(app, root);
             app.installState = 1;
             app.installVersion = "0.7.0";
             app.installGot = 52400000;
             app.installTotal = 131000000;
         }},
        {"update_downloading_no_total",
         [](App& app, Headless&, const std::string& root) {
             play(app, root);
             app.installState = 1;
             app.installVersion = "0.7.0";
             app.installGot = 1200000;
         }},
        {"update_verify",
         [](App& app, Headless&, const std::string& root) { installing(app, root, "verify"); }},
        {"update_extract",
         [](App& app, Headless&, const std::string& root) { installing(app, root, "extract"); }},
        {"update_install",
         [](App& app, Headless&, const std::string& root) { installing(app, root, "install"); }},
        {"update_other_phase",
         [](App& app, Headless&, const std::string& root) { installing(app, root, "done"); }},
        {"update_restarting",
         [](App& app, Headless&, const std::string& root) {
             installing(app, root, "done");
             app.installState = 3;
         }},
        {"update_failed",
         [](App& app, Headless& ui, const std::string& root) {
             ready(app, root);
             app.installState = 4;
             app.installVersion = "0.7.0";
             app.installError = "The download failed: HTTP 404.";
             ui.update = newerRelease();
         }},
        // Game result.
        {"game_crash_report",
         [](App& app, Headless&, const std::string& root) {
             ready(app, root);
             app.crashReport = plat::joinPath(app.crashesDir, "crash-2024-05-01-221501.txt");
             app.gameExitCode = -1073741819;
         }},
        {"game_start_error",
         [](App& app, Headless&, const std::string& root) {
             ready(app, root);
             app.gameStartError = "Exec format error";
         }},
        {"game_negative_exit_code",
         [](App& app, Headless& ui, const std::string& root) {
             ready(app, root);
             app.gameFailed = true;
             app.gameExitCode = -1073741819;
             ui.update = newerRelease(); // every block at once
         }},
        // Preparing panel.
        {"preparing_early",
         [](App& app, Headless&, const std::string& root) {
             play(app, root);
             app.screen = Screen::Preparing;
             app.building = true;
             app.progress.reset(plat::now() - 3);
             app.progress.steps[0].state = S::Running;
         }},
        {"preparing_late",
         [](App& app, Headless&, const std::string& root) {
             play(app, root);
             app.screen = Screen::Preparing;
             app.building = true;
             BuildProgress& p = app.progress;
             p.reset(plat::now() - 700);
             stepStates(p, {S::Skipped, S::Done, S::Done, S::Done, S::Skipped, S::Running,
                            S::Pending, S::Failed});
             p.steps[1].seconds = 0.6;
             p.steps[2].seconds = 75;
             p.steps[3].seconds = 3725;
             p.steps[5].percent = 37;
             p.steps[5].startedAt = plat::now() - 400;
         }},
        {"preparing_stopping",
         [](App& app, Headless&, const std::string& root) {
             play(app, root);
             app.screen = Screen::Preparing;
             app.building = true;
             app.stopRequested = true;
             app.progress.reset(plat::now() - 60);
             stepStates(app.progress, {S::Done, S::Running});
         }},
        // Failure panel.
        {"failure_known_step",
         [](App& app, Headless&, const std::string& root) {
             failed(app, root, "compile", "ninja: error: No space left on device");
         }},
        {"failure_unknown_step",
         [](App& app, Headless&, const std::string& root) {
             failed(app, root, "link", "the linker ran out of patience");
             Scene::writeBuildLog(app, "link", "line 1\nline 2\n");
         }},
        {"failure_french_message",
         [](App& app, Headless&, const std::string& root) {
             failed(app, root, "verify",
                    "La préparation n'a pas pu démarrer : Aucun fichier ou dossier de ce type");
         }},
        {"failure_image_gone",
         [](App& app, Headless&, const std::string& root) {
             failed(app, root, "verify", "/discs/Quillmere (USA).iso does not exist");
         }},
        // Maintenance tab.
        {"maintenance_idle",
         [](App& app, Headless& ui, const std::string& root) {
             maintenance(app, ui, root, 0, false);
             Scene::writeBuildLog(app, "", "");
         }},
        {"maintenance_checking",
         [](App& app, Headless& ui, const std::string& root) {
             maintenance(app, ui, root, 1, true);
         }},
        {"maintenance_latest",
         [](App& app, Headless& ui, const std::string& root) {
             maintenance(app, ui, root, 2, true);
         }},
        {"maintenance_newer",
         [](App& app, Headless& ui, const std::string& root) {
             maintenance(app, ui, root, 3, false);
         }},
        {"maintenance_failed_asked",
         [](App& app, Headless& ui, const std::string& root) {
             maintenance(app, ui, root, 4, true);
         }},
        {"maintenance_failed_at_start",
         [](App& app, Headless& ui, const std::string& root) {
             maintenance(app, ui, root, 4, false);
         }},
        {"maintenance_while_building",
         [](App& app, Headless& ui, const std::string& root) {
             maintenance(app, ui, root, 2, false);
             app.screen = Screen::Preparing;
             app.building = true;
             app.progress.reset(plat::now());
         }},
    };
}

} // namespace

const std::vector<UiState>& cardStates() {
    static const std::vector<UiState> states = makeStates();
    return states;
}

const char* const kSampleChangelog =
    "### Added\n"
    "- A **new** `kit`, with a [guide](https://example.invalid/g).\n"
    "- A long entry that goes on and on about what changed in this\n"
    "  release, so that it has to wrap inside the window's width.\n"
    "\n"
    "### Fixed\n"
    "- The disc check accepts images on network drives.\n";

UpdateCheckResult newerRelease() {
    UpdateCheckResult r;
    r.state = 3;
    r.latestVersion = "0.7.0";
    r.tag = "v0.7.0";
    r.releasePageUrl = std::string(kReleasePagePrefix) + r.tag;
    return r;
}
