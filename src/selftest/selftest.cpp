// The scripted self-test: set-up, the step machinery and the script.
//
// Sections: set-up and stepping · small steps · the script · disc and build tests · game tests
#include "selftest/selftest.h"

#include "app/app.h"
#include "app/options.h"
#include "app/settings.h"
#include "plat/clock.h"
#include "plat/env.h"
#include "plat/fs.h"
#include "ui/lang.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>

// --- set-up and stepping ------------------------------------------------------------------------

void Selftest::setUp(App& app, const LaunchOptions& opts) {
    disc = opts.selftest;
    shotsDir = opts.shots.empty() ? plat::joinPath(opts.release, "selftest") : opts.shots;
    plat::makeDirs(shotsDir);
    wrongDisc = opts.wrong;
    errorDemo = opts.errorDemo;
    cancel = opts.cancel;
    screens = opts.screens;
    playSeconds = opts.playSeconds;
    crashSeconds = opts.crashSeconds;
    openLog();
    note("release %s, user folder %s", app.releaseDir, app.userDir);
    build();
}

void Selftest::step(App& app) {
    if (current >= steps.size()) return;
    double now = plat::now();
    if (stepStart == 0) stepStart = now;
    double elapsed = now - stepStart;
    if (elapsed != 0 && elapsed < 0.000001) elapsed = 0.000001;
    if (steps[current].run(app, elapsed)) {
        ++current;
        stepStart = 0;
    }
}

void Selftest::setCaptureDir(const char* name) {
    if (captureDir.empty()) captureDir = plat::getEnv("ZOLT_CAPTURE_WINDOW_DIR");
    if (captureDir.empty()) return;
    std::string dir = plat::joinPath(captureDir, name);
    plat::makeDirs(dir);
    plat::setEnv("ZOLT_CAPTURE_WINDOW_DIR", dir);
}

// --- small steps ---------------------------------------------------------------------------------

SelftestStep Selftest::shot(const std::string& name, double wait) {
    auto requested = std::make_shared<bool>(false);
    return {"shot " + name, [this, name, wait, requested](App& app, double elapsed) {
                if (elapsed < wait) return false;
                if (!*requested) {
                    app.screenshotPath = plat::joinPath(shotsDir, name + ".png");
                    *requested = true;
                    return false;
                }
                if (!app.screenshotPath.empty()) return false;
                note("screenshot %s", name);
                return true;
            }};
}

SelftestStep Selftest::discCheck() {
    return {"check the disc", [this](App& app, double elapsed) {
                if (elapsed == 0) app.startDiscCheck(disc);
                if (elapsed < 0.2 || app.checkingDisc) return false;
                note("disc check: %s", app.discMessage.empty() ? "ok" : app.discMessage);
                return true;
            }};
}

SelftestStep Selftest::instant(const char* name, std::function<void(App&)> action) {
    return {name, [action](App& app, double) {
                action(app);
                return true;
            }};
}

// --- the script ----------------------------------------------------------------------------------

void (*Selftest::testScript)(Selftest&) = nullptr;

void Selftest::build() {
    steps.clear();
    if (testScript) {
        testScript(*this);
        return;
    }
    if (screens) {
        buildScreens();
        return;
    }
    steps.push_back(shot("01-welcome", 1.5));
    steps.push_back(instant("french welcome", [](App&) { ui::french = true; }));
    steps.push_back(shot("02-welcome-fr", 0.8));
    steps.push_back(instant("english", [](App&) { ui::french = false; }));
    if (!wrongDisc.empty()) {
        steps.push_back({"check the wrong disc", [this](App& app, double elapsed) {
                             if (elapsed == 0) app.startDiscCheck(wrongDisc);
                             return elapsed > 0.2 && !app.checkingDisc;
                         }});
        steps.push_back(shot("03-wrong-disc", 0.8));
    }
    if (errorDemo) {
        steps.push_back(vanishingDiscTest());
        steps.push_back({"wait for the error", [](App& app, double) { return !app.building; }});
        steps.push_back(shot("04-build-error", 0.8));
    }
    steps.push_back(discCheck());
    steps.push_back(shot("05-ready", 0.8));
    steps.push_back(buildTest());
    steps.push_back(shot("09-built", 1));
    steps.push_back(instant("settings", [](App& app) { app.tab = 1; }));
    steps.push_back(shot("10-settings", 0.8));
    steps.push_back(instant("video change", [](App& app) {
        app.video.mode = "windowed";
        app.video.width = 1280;
        app.video.height = 960;
        saveVideoSettings(app.video, app.videoIni);
        app.video.exists = true;
    }));
    steps.push_back(shot("11-settings-saved", 0.8));
    steps.push_back(instant("maintenance", [](App& app) { app.tab = 2; }));
    steps.push_back(shot("12-maintenance", 0.8));
    steps.push_back(instant("french", [](App& app) {
        ui::french = true;
        app.tab = 0;
    }));
    steps.push_back(shot("13-play-fr", 0.8));
    steps.push_back(instant("french settings", [](App& app) { app.tab = 1; }));
    steps.push_back(shot("14-settings-fr", 0.8));
    steps.push_back(instant("english", [](App& app) {
        ui::french = false;
        app.tab = 0;
    }));
    steps.push_back(playTest());
    steps.push_back(shot("15-after-play", 1.5));
    if (crashSeconds > 0) {
        steps.push_back(crashTest());
        steps.push_back(shot("16-crash", 1.5));
    }
    steps.push_back(instant("quit", [this](App& app) {
        note("selftest done");
        app.quitNow = true;
    }));
}

// --- disc and build tests ------------------------------------------------------------------------

SelftestStep Selftest::vanishingDiscTest() {
    std::string path = plat::joinPath(shotsDir, "vanishing-disc.iso");
    return {"check a disc that then vanishes", [this, path](App& app, double elapsed) {
                if (elapsed == 0) {
                    plat::removePath(path);
                    plat::hardLink(disc, path);
                    app.startDiscCheck(path);
                    return false;
                }
                if (elapsed < 0.2 || app.checkingDisc) return false;
                plat::removePath(path);
                note("disc check: %s", app.discMessage.empty() ? "ok" : app.discMessage);
                app.startBuild();
                return true;
            }};
}

namespace {

struct BuildTestState {
    std::set<std::string> shotSteps;
    bool stoppedAtCompile = false;
    bool halfShotTaken = false;
    int resumeState = 0; // 0 none, 1 stopped and photographed, 2 resumed
};

std::string fixed6(double v) {
    char buf[64];
    snprintf(buf, sizeof buf, "%f", v);
    return buf;
}

} // namespace

SelftestStep Selftest::buildTest() {
    auto st = std::make_shared<BuildTestState>();
    return {"build", [this, st](App& app, double elapsed) {
                if (elapsed == 0) {
                    buildStart = plat::now();
                    app.startBuild();
                    note("build started");
                    return false;
                }
                if (!app.screenshotPath.empty()) return false;
                if (st->resumeState == 1) {
                    st->resumeState = 2;
                    note("build resumed");
                    app.startBuild();
                    return false;
                }
                if (app.building) {
                    int i = app.progress.runningStep();
                    if (i < 0) return false;
                    const BuildStep& s = app.progress.steps[size_t(i)];
                    if (!st->shotSteps.count(s.name) && plat::now() - s.startedAt > 1) {
                        st->shotSteps.insert(s.name);
                        note("step %s", s.name);
                        app.screenshotPath = plat::joinPath(
                            shotsDir, "06-build-" + std::to_string(i + 1) + "-" + s.name + ".png");
                    }
                    if (s.name != "compile") return false;
                    if (cancel && !st->stoppedAtCompile) {
                        if (s.percent < 40) return false;
                        st->stoppedAtCompile = true;
                        note("stop at compile %s %%", std::to_string(s.percent));
                        if (app.building) app.stopBuild();
                    }
                    if (!st->halfShotTaken && s.percent > 49) {
                        st->halfShotTaken = true;
                        app.screenshotPath = plat::joinPath(shotsDir, "07-build-compile-half.png");
                    }
                    return false;
                }
                if (app.screen == Screen::Ready && st->stoppedAtCompile && st->resumeState == 0) {
                    app.screenshotPath = plat::joinPath(shotsDir, "08-stopped.png");
                    st->resumeState = 1;
                    return false;
                }
                for (const BuildStep& s : app.progress.steps)
                    note("  %s", s.name + " " +
                                     (s.state == StepState::Skipped ? std::string("skipped")
                                                                    : fixed6(s.seconds) + " s"));
                std::string result = app.screen == Screen::Ready ? std::string("ready")
                                                                 : "failed: " + app.progress.error;
                note("build ended after %s s: %s", fixed6(plat::now() - buildStart), result);
                note("notice: %s (launcher.ini last_build_seconds %s)", app.statusMessage,
                     fixed6(app.settings.last_build_seconds));
                if (errorDemo) return true;
                if (app.screen == Screen::Ready && pathExists(app.gameExe) &&
                    pathExists(app.gameElf))
                    return true;
                note("FAIL build did not produce a playable game");
                failed = true;
                app.quitNow = true;
                return true;
            }};
}

// --- game tests ----------------------------------------------------------------------------------

void Selftest::logGameEnd(App& app) {
    note("game exited, code %s, crash report: %s", std::to_string(app.gameExitCode),
         app.crashReport.empty() ? "none" : app.crashReport);
}

SelftestStep Selftest::playTest() {
    auto killed = std::make_shared<bool>(false);
    return {"play", [this, killed](App& app, double elapsed) {
                if (elapsed == 0) {
                    setCaptureDir("play");
                    app.launchGame();
                    note("game started (pid %s)", std::to_string(app.game.pid()));
                    if (!errorDemo && !app.gameRunning) {
                        note("FAIL game did not start");
                        failed = true;
                        app.quitNow = true;
                    }
                    return false;
                }
                if (app.gameRunning) {
                    if (elapsed < playSeconds) return false;
                    if (elapsed < playSeconds + 0.1) note("asking the game to close");
                    app.game.closeWindows();
                    if (app.game.running() && elapsed >= playSeconds + 30) {
                        if (!*killed) note("the game did not close: ending it");
                        app.game.kill();
                        *killed = true;
                    }
                    return false;
                }
                logGameEnd(app);
                if (!errorDemo && app.gameExitCode != 0) failed = true;
                return true;
            }};
}

SelftestStep Selftest::crashTest() {
    return {"crash", [this](App& app, double elapsed) {
                if (elapsed == 0) {
                    setCaptureDir("crash");
                    plat::setEnv("ZOLT_TEST_CRASH", std::to_string((long long)std::trunc(
                                                        std::min(crashSeconds, 1e15))));
                    plat::setEnv("ZOLT_NO_DIALOGS", "1");
                    app.launchGame();
                    plat::setEnv("ZOLT_TEST_CRASH", "");
                    plat::setEnv("ZOLT_NO_DIALOGS", "");
                    note("game started to crash (pid %s)", std::to_string(app.game.pid()));
                    if (!errorDemo && !app.gameRunning) {
                        failed = true;
                        app.quitNow = true;
                        note("FAIL crash-test game did not start");
                    }
                    return false;
                }
                if (app.gameRunning) {
                    if (elapsed > 90 + crashSeconds) app.game.kill();
                    return false;
                }
                logGameEnd(app);
                if (!errorDemo && !(app.gameExitCode != 0 && !app.crashReport.empty()))
                    failed = true;
                return true;
            }};
}
