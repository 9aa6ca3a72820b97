// The build run: start, stop and follow the build script, then decide ready, stopped or failed.
#include "app/app.h"
#include "plat/clock.h"
#include "plat/fs.h"
#include "prep/duration.h"
#include "ui/lang.h"

// Every path handed to a child is absolute: the child runs in another working folder, where a
// relative --release would name something else.
std::vector<std::string> App::scriptArgs() const {
    return {"-I", "-X", "utf8", plat::absolutePath(buildScript)};
}

void App::startBuild() {
    if (building || settings.disc.empty()) return;
    std::vector<std::string> a = scriptArgs();
    a.insert(a.end(), {"--disc", plat::absolutePath(settings.disc), "--out",
                       plat::absolutePath(buildDir), "--game", plat::absolutePath(gameDir)});
    progress.reset(plat::now());
    stopRequested = false;
    buildTimeCounted = false;
    if (!settings.build_pending) settings.pending_build_seconds = 0;
    statusMessage.clear();

    std::string err;
    if (build.start(pythonExe, a, sourceDir, true, err)) {
        building = true;
        settings.build_pending = true;
        saveLauncherSettings(settings, launcherIni);
        screen = Screen::Preparing;
        tab = 0;
    } else {
        progress.failedStep = "verify";
        progress.error =
            ui::tr("The build could not start: ", "La préparation n'a pas pu démarrer : ") + err;
        screen = Screen::Failed;
    }
}

// Adds this run's working time to the pending total, once per run.
static void countRunTime(App& app, double now) {
    if (app.buildTimeCounted) return;
    app.buildTimeCounted = true;
    app.settings.pending_build_seconds += now - app.progress.runStart;
    saveLauncherSettings(app.settings, app.launcherIni);
}

void App::stopBuild() {
    stopRequested = true;
    build.kill();
    countRunTime(*this, plat::now());
}

void App::pollBuild() {
    if (!building) return;
    double now = plat::now();
    progress.feed(build.takeLines(), now);
    if (build.running()) return;
    build.waitOutput(2000);
    progress.feed(build.takeLines(), now);
    building = false;
    int code = build.exitCode();
    countRunTime(*this, now);

    if (progress.finished && code == 0) {
        settings.last_build_seconds = settings.pending_build_seconds;
        settings.pending_build_seconds = 0;
        settings.build_pending = false;
        settings.built = true;
        saveLauncherSettings(settings, launcherIni);
        loadReleaseIdentity();
        screen = Screen::Ready;
        std::string d = formatDuration(settings.last_build_seconds);
        statusMessage = ui::french ? "Le jeu est prêt. Préparé en " + d + "."
                                   : "The game is ready. Prepared in " + d + ".";
        statusColour = 0x4FE0A3;
    } else if (stopRequested) {
        screen = Screen::Ready;
        statusMessage = ui::tr("Stopped. Preparing continues from there next time.",
                               "Arrêté. La préparation reprendra à partir de là.");
        statusColour = 0xFFC35C;
    } else {
        if (progress.error.empty()) {
            int i = progress.runningStep();
            progress.failedStep = i >= 0 ? progress.steps[size_t(i)].name : "";
            std::string c = std::to_string(code);
            progress.error = ui::french ? "La préparation s'est arrêtée (code " + c + ")."
                                        : "The build stopped unexpectedly (exit code " + c + ").";
        }
        screen = Screen::Failed;
    }
}
