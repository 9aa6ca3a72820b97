// A stand-in launcher for the hardening tests, which kill it at random moments with SIGKILL:
//
//   save-loop FOLDER        prints "saving", then saves launcher.ini and video.ini in FOLDER
//   without
//                           pause, each alternating between its two versions
//                           (tests/hardening/settings_pair.h)
//   build RELEASE DISC      opens an App on RELEASE, accepts DISC and runs the build as the frame
//                           loop does; prints "building" once the script runs and "ended SCREEN"
//   check RELEASE DISC      the same for a disc check; prints "checking", then "ended MESSAGE"
//   game RELEASE            starts the built game (plain, as App::launchGame does), prints
//                           "playing" and waits
//
// Children are started from the main thread, as the launcher's frame thread starts them.
#include "../hardening/settings_pair.h"

#include "app/app.h"
#include "plat/clock.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int saveLoop(const std::string& folder) {
    const std::string launcher = folder + "/launcher.ini";
    const std::string video = folder + "/video.ini";
    say("saving");
    // A test that dies must not leave us saving for ever.
    const pid_t parent = getppid();
    for (bool second = true; getppid() == parent; second = !second) {
        saveLauncherSettings(qmharden::launcherVersion(second), launcher);
        saveVideoSettings(qmharden::videoVersion(second), video);
    }
    return 0;
}

int build(App& app, const std::string& disc) {
    app.settings.disc = disc;
    app.startBuild();
    if (!app.building) {
        say("not started: " + app.progress.error);
        return 2;
    }
    say("building");
    while (app.building) {
        app.pollBuild();
        plat::sleepMs(5);
    }
    say("ended " + std::to_string(int(app.screen)) + " " + app.statusMessage + app.progress.error);
    return 0;
}

int check(App& app, const std::string& disc) {
    app.startDiscCheck(disc);
    if (!app.checkingDisc) {
        say("not started: " + app.discDetail);
        return 2;
    }
    say("checking");
    while (app.checkingDisc) {
        app.pollDiscCheck();
        plat::sleepMs(5);
    }
    say("ended " + (app.discMessage.empty() ? "accepted" : app.discMessage));
    return 0;
}

int play(App& app) {
    app.launchGame();
    if (!app.gameRunning) {
        say("not started: " + app.gameStartError);
        return 2;
    }
    say("playing");
    for (;;)
        plat::sleepMs(1000);
}

} // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "save-loop" && argc == 3) return saveLoop(argv[2]);
    if ((cmd == "build" || cmd == "check") && argc == 4) {
        App app;
        app.openRelease(argv[2]);
        return cmd == "build" ? build(app, argv[3]) : check(app, argv[3]);
    }
    if (cmd == "game" && argc == 3) {
        App app;
        app.openRelease(argv[2]);
        return play(app);
    }
    std::fprintf(stderr, "usage: qm_hardening_child save-loop FOLDER | build RELEASE DISC | "
                         "check RELEASE DISC | game RELEASE\n");
    return 2;
}
