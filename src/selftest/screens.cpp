// The screenshot tour: every screen of the release as it is, in both languages, after the update
// check had its chance to answer. No disc check, no build, no game.
#include "app/app.h"
#include "selftest/selftest.h"
#include "ui/lang.h"

void Selftest::buildScreens() {
    steps.push_back({"wait for the update check", [](App& app, double elapsed) {
                         if (elapsed > 6) return true;
                         return elapsed > 0.5 && app.updateCheck.snapshot().state != 1;
                     }});
    steps.push_back(shot("s1-play", 0.5));
    steps.push_back(instant("settings", [](App& app) { app.tab = 1; }));
    steps.push_back(shot("s2-settings", 0.8));
    steps.push_back(instant("maintenance", [](App& app) { app.tab = 2; }));
    steps.push_back(shot("s3-maintenance", 0.8));
    steps.push_back(instant("french", [](App& app) {
        ui::french = true;
        app.tab = 0;
    }));
    steps.push_back(shot("s4-play-fr", 0.8));
    steps.push_back(instant("french maintenance", [](App& app) { app.tab = 2; }));
    steps.push_back(shot("s5-maintenance-fr", 0.8));
    steps.push_back(instant("what's new", [](App& app) {
        ui::french = false;
        app.tab = 0;
        app.showWhatsNew = !app.whatsNewText.empty();
    }));
    steps.push_back(shot("s6-whats-new", 0.8));
    steps.push_back(instant("quit", [this](App& app) {
        UpdateCheckResult r = app.updateCheck.snapshot();
        note("update check: state %s, %s", std::to_string(r.state),
             r.latestVersion + " " + r.releasePageUrl + " " + r.error);
        note("source %s, built from %s", app.sourceCommit, app.builtFromCommit);
        note("screens done");
        app.quitNow = true;
    }));
}
