// Download and install, driven as the frame loop drives them, without a window:
// the installer's lines · refusals to start · a whole update with its restart · failed installs
// that leave the release as it was · another system's release · failed and stopped downloads · how
// the installer's end is judged.
//
// Each test makes a release 0.6.1 in a temporary folder, publishes 0.7.0 from it with
// fixtures/publish_070.py and serves it with fixtures/release_host.py. The installer is the
// release's own apply_update.py run by the system's Python; the restart starts a small script
// that records its folder and arguments instead of the test program.
#include "app/app.h"
#include "plat/clock.h"
#include "plat/env.h"
#include "support/temp_dir.h"
#include "ui/lang.h"
#include "update/host_support.h"
#include "update/install.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

namespace fs = std::filesystem;
using namespace qmupdate;

namespace {

#ifdef _WIN32
const std::string kArchive = "ZO_Duzoru-0.7.0-kettlewise.zip";
#else
const std::string kArchive = "ZO_Duzoru-0.7.0-kettlewise-linux-x86_64.zip";
#endif

// --- the installer's lines -----------------------------------------------------------------------

TEST(InstallerLines, EachLineChangesWhatItNames) {
    App app;
    struct Step {
        const char* line;
        const char* phase;
        unsigned long long got, total;
        const char* error;
    };
    const Step steps[] = {
        {"step verify", "verify", 0, 0, ""},
        {"progress 5 10", "verify", 5, 10, ""},
        {"progress x y", "verify", 5, 10, ""},
        {"progress 7", "verify", 5, 10, ""},
        {"step install", "install", 0, 0, ""},
        {"progress  3   9", "install", 3, 9, ""},
        {"step", "install", 3, 9, ""},
        {"done", "install", 3, 9, ""}, // four characters: ignored
        {"note something", "install", 3, 9, ""},
        {"error checksum mismatch", "install", 3, 9, "checksum mismatch"},
        {"done 0.7.0", "done", 3, 9, "checksum mismatch"},
    };
    for (const Step& s : steps) {
        applyInstallerLine(app, s.line);
        EXPECT_EQ(s.phase, app.installPhase) << s.line;
        EXPECT_EQ(s.got, app.installGot.load()) << s.line;
        EXPECT_EQ(s.total, app.installTotal.load()) << s.line;
        EXPECT_EQ(s.error, app.installError) << s.line;
    }
}

TEST(InstallerLines, AssetName) {
    EXPECT_EQ(kArchive, releaseAssetName("0.7.0"));
}

// --- the fixture ---------------------------------------------------------------------------------

class Install : public ::testing::Test {
protected:
    void SetUp() override {
        release = dir.file("release");
        published = dir.file("host");
        makeOldRelease(release);
        putFile(release + "/qm-launcher", "#!/bin/sh\necho old launcher\n", true);
        putFile(release + "/user/launcher.ini", "disc = /discs/mine.iso\n");
        putFile(release + "/game/qm", "built game\n", true);
        publish();
        before = treeOf(release);

        putFile(dir.file("restart.sh"),
                "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > " +
                    dir.file("restarted.txt") + "\n",
                true);
        app.releaseDir = release;
        app.sourceDir = release + "/source";
        app.pythonExe = kPython;
        app.restartProgram = dir.file("restart.sh");
        app.args = {"--release", release, "--ui-scale", "1.5"};
    }

    void TearDown() override { plat::setEnv("QM_UPDATE_FAIL_AT", ""); }

    void publish(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {repoFile("fixtures/publish_070.py"), release, published};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_EQ(0, runToEnd(kPython, args).exitCode);
    }

    // Starts the host and points the App at it.
    void serve() {
        host = std::make_unique<ReleaseHost>(std::vector<std::string>{"--releases", published});
        ASSERT_TRUE(host->started());
        app.updateUrl = host->base() + kLatestPath;
        app.downloadPrefix = host->base() + kDownloadPath;
    }

    // Nothing is left for the frame loop's update steps to advance.
    bool settled() {
        const int32_t check = app.updateCheck.snapshot().state;
        const bool updateNowDue = app.updateNowPending && check == 3 && app.installState == 0;
        return app.installState != 1 && app.installState != 2 && check != 1 && !updateNowDue;
    }

    // Runs the frame loop's update steps until they have nothing left to do.
    int32_t runFrames() {
        const double guard = plat::now() + 120;
        do {
            app.pollUpdate();
            app.updateNowStep();
            plat::sleepMs(10);
        } while (!settled() && plat::now() < guard);
        EXPECT_LT(plat::now(), guard) << "the install did not end";
        return app.installState;
    }

    int32_t update() {
        app.startUpdate("v0.7.0", "0.7.0");
        return runFrames();
    }

    std::string archivePath() const { return release + "/update/" + kArchive; }

    TempDir dir;
    std::string release, published;
    std::map<std::string, std::string> before;
    std::unique_ptr<ReleaseHost> host;
    App app;
};

std::string restartedWith(const TempDir& dir) {
    const double guard = plat::now() + 30;
    while (!fs::exists(dir.file("restarted.txt")) && plat::now() < guard)
        plat::sleepMs(10);
    plat::sleepMs(100); // the script writes its few lines at once
    return readBytes(dir.file("restarted.txt"));
}

// --- refusals to start ---------------------------------------------------------------------------

TEST_F(Install, StartUpdateRefusesWhileOtherWorkRunsOrWithoutARelease) {
    struct Case {
        const char* name;
        bool App::*flag;
        std::string tag, version;
        int32_t state;
    };
    const Case cases[] = {
        {"build", &App::building, "v0.7.0", "0.7.0", 0},
        {"game", &App::gameRunning, "v0.7.0", "0.7.0", 0},
        {"disc check", &App::checkingDisc, "v0.7.0", "0.7.0", 0},
        {"no tag", nullptr, "", "0.7.0", 0},
        {"no version", nullptr, "v0.7.0", "", 0},
        {"installing", nullptr, "v0.7.0", "0.7.0", 2},
        {"restarting", nullptr, "v0.7.0", "0.7.0", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        App fresh;
        fresh.releaseDir = release;
        if (c.flag) fresh.*c.flag = true;
        fresh.installState = c.state;
        fresh.startUpdate(c.tag, c.version);
        EXPECT_EQ(c.state, fresh.installState);
        EXPECT_FALSE(fresh.downloadThread.joinable());
        EXPECT_TRUE(fresh.installVersion.empty());
    }
}

// --- a whole update ------------------------------------------------------------------------------

TEST_F(Install, UpdateNowFindsInstallsAndRestarts) {
    serve();
    app.updateNowPending = true;
    app.updateCheck.start(app.updateUrl, false);
    ASSERT_EQ(3, runFrames()) << app.installError;

    EXPECT_FALSE(app.updateNowPending);
    EXPECT_TRUE(app.quitNow);
    EXPECT_EQ("done", app.installPhase);
    EXPECT_EQ("0.7.0", app.installVersion);
    const std::vector<std::string> asked = {kLatestPath,
                                            kDownloadPath + "v0.7.0/" + kArchive + ".sha256",
                                            kDownloadPath + "v0.7.0/" + kArchive};
    EXPECT_EQ(asked, host->log());

    std::map<std::string, std::string> after = treeOf(release);
    EXPECT_NE(std::string::npos, readBytes(release + "/source/release.ini").find("0.7.0"));
    EXPECT_EQ(1u, after.count("NEW_IN_0.7.0.txt"));
    EXPECT_EQ(before["user/launcher.ini"], after["user/launcher.ini"]);
    EXPECT_EQ(before["game/qm"], after["game/qm"]);
    EXPECT_EQ(before["qm-launcher"], after["qm-launcher"]); // same content, still executable
    EXPECT_FALSE(fs::exists(release + "/update"));

    EXPECT_EQ(release + "\n--release\n" + release + "\n--ui-scale\n1.5\n", restartedWith(dir));
}

TEST_F(Install, UpdateNowWithAnUpToDateReleaseNeverDownloads) {
    serve();
    host->latest(200, "{\"tag_name\": \"v0.6.1\"}");
    app.updateNowPending = true;
    app.updateCheck.start(app.updateUrl, false);
    EXPECT_EQ(0, runFrames());
    for (int i = 0; i < 20; ++i)
        app.updateNowStep();
    EXPECT_EQ(0, app.installState);
    EXPECT_TRUE(app.updateNowPending);
    EXPECT_EQ(std::vector<std::string>{kLatestPath}, host->log());
}

// --- failed installs -----------------------------------------------------------------------------

TEST_F(Install, AFailedInstallLeavesTheReleaseAsItWasAndCanBeTriedAgain) {
    serve();
    struct Case {
        const char* name;
        std::function<void()> cause, cure;
        std::string errorStart;
    };
    const Case cases[] = {
        {"wrong checksum", [&] { host->fault("badsum", "\\.sha256$"); },
         [&] { host->clearFaults(); }, "checksum mismatch"},
        {"entry climbing out",
         [&] {
             publish({"--hostile", "ZO_Duzoru-0.7.0/../../evil.txt"});
         },
         [&] { publish(); }, "archive refused: ZO_Duzoru-0.7.0/../../evil.txt"},
        {"failure part-way", [&] { plat::setEnv("QM_UPDATE_FAIL_AT", "2"); },
         [&] { plat::setEnv("QM_UPDATE_FAIL_AT", ""); }, "install failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.cause();
        ASSERT_EQ(4, update());
        EXPECT_EQ(0u, app.installError.rfind(c.errorStart, 0)) << app.installError;
        EXPECT_FALSE(app.quitNow);
        EXPECT_EQ(before, treeOf(release));
        EXPECT_FALSE(fs::exists(dir.file("evil.txt")));
        EXPECT_FALSE(fs::exists(dir.file("restarted.txt")));
        c.cure();
    }
    ASSERT_EQ(3, update()) << app.installError;
    EXPECT_TRUE(app.installError.empty());
    EXPECT_NE(std::string::npos, restartedWith(dir).find("--release"));
}

// --- another system's release --------------------------------------------------------------------

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (fs::exists(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The Windows release under this system's archive name, or no archive for this system at all:
// either ends in a message that says so, and the release stays as it was, file for file.
TEST_F(Install, AnotherSystemsReleaseOrNoneAtAllChangesNothing) {
    serve();
    const std::string sum = kDownloadPath + "v0.7.0/" + kArchive + ".sha256";
    const std::string zip = kDownloadPath + "v0.7.0/" + kArchive;
    struct Case {
        const char* offered; // what this system's archive name offers
        std::string error;
        std::vector<std::string> asked;
        std::vector<std::string> leftInUpdate;
    };
    const Case cases[] = {
        {"windows",
         "archive refused: it holds no qm-launcher, so it is not a release for this system",
         {sum, zip},
         {kArchive, kArchive + ".sha256"}},
        {"none",
         "The download failed: version 0.7.0 has no archive for this system (" + kArchive +
             ".sha256: HTTP 404).",
         {sum},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offered);
        publish({"--linux-archive", c.offered});
        fs::remove_all(release + "/update");
        host->control("log", "clear=1");
        ASSERT_EQ(4, update());
        EXPECT_EQ(c.error, app.installError);
        EXPECT_FALSE(app.quitNow);
        EXPECT_EQ(before, treeOf(release));
        EXPECT_EQ(c.leftInUpdate, namesIn(release + "/update"));
        EXPECT_EQ(c.asked, host->log());
        EXPECT_FALSE(fs::exists(dir.file("restarted.txt")));
    }

    ui::french = true;
    EXPECT_EQ(4, update());
    ui::french = false;
    EXPECT_EQ("Le téléchargement a échoué : la version 0.7.0 n'a pas d'archive pour ce système (" +
                  kArchive + ".sha256 : HTTP 404).",
              app.installError);

    publish();
    EXPECT_EQ(3, update()) << app.installError;
}

// --- failed and stopped downloads ----------------------------------------------------------------

TEST_F(Install, AFailedDownloadIsShownAndLeavesNoArchive) {
    serve();
    struct Case {
        const char* fault;
        const char* match;
        std::string error;
        bool archiveAsked;
    };
    const Case cases[] = {
        {"404", "\\.zip$",
         "The download failed: version 0.7.0 has no archive for this system (" + kArchive +
             ": HTTP 404).",
         true},
        {"big", "\\.sha256$", "The download failed: download too large.", false},
        {"truncated", "\\.zip$", "The download failed: transfer closed", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        host->clearFaults();
        host->fault(c.fault, c.match);
        host->control("log", "clear=1");
        ASSERT_EQ(4, update());
        EXPECT_EQ(0u, app.installError.rfind(c.error, 0)) << app.installError;
        EXPECT_EQ(c.archiveAsked ? 2u : 1u, host->log().size());
        EXPECT_FALSE(fs::exists(archivePath()));
        EXPECT_EQ(c.archiveAsked, fs::exists(archivePath() + ".sha256"));
        EXPECT_EQ(before, treeOf(release));
    }
}

TEST_F(Install, StopDuringTheDownloadReturnsToTheOfferWithoutAPartialFile) {
    serve();
    host->fault("drip", "\\.zip$");
    app.startUpdate("v0.7.0", "0.7.0");
    const double guard = plat::now() + 60;
    while (app.installGot == 0 && plat::now() < guard) {
        app.pollUpdate();
        plat::sleepMs(10);
    }
    ASSERT_EQ(1, app.installState);
    EXPECT_GT(app.installTotal.load(), 1000u);
    app.installStop = true;
    EXPECT_EQ(0, runFrames());
    EXPECT_FALSE(fs::exists(archivePath()));
    EXPECT_EQ(before, treeOf(release));

    host->clearFaults();
    EXPECT_EQ(3, update()) << app.installError;
}

// --- how the installer's end is judged -----------------------------------------------------------

TEST_F(Install, TheInstallersExitAndLastLinesDecide) {
    serve();
    const std::string fakeSource = dir.file("fake-source");
    app.sourceDir = fakeSource;
    struct Case {
        const char* name;
        const char* lines;
        int exitCode;
        std::string restartProgram; // empty: the recording script
        int32_t state;
        std::string error; // the error's start
        bool reasonFollows = false;
    };
    const Case cases[] = {
        {"bare done", "done", 0, "", 4, "The update stopped (exit code 0)."},
        {"nothing", "", 0, "", 4, "The update stopped (exit code 0)."},
        {"error line", "step verify\\nerror checksum mismatch", 1, "", 4, "checksum mismatch"},
        {"done but a failing code", "done 0.7.0", 3, "", 4, "The update stopped (exit code 3)."},
        {"restart impossible", "done 0.7.0", 0, dir.file("no-such-launcher"), 4,
         "Version 0.7.0 is installed: start the launcher again. ", true},
        {"done", "step install\\ndone 0.7.0", 0, "", 3, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        putFile(fakeSource + "/tools/apply_update.py",
                "import os, sys\n"
                "open(" +
                    std::string("'") + dir.file("installer-args.txt") +
                    "', 'w').write('\\n'.join([os.getcwd()] + sys.argv))\n"
                    "print('" +
                    c.lines +
                    "', flush=True)\n"
                    "sys.exit(" +
                    std::to_string(c.exitCode) + ")\n");
        app.restartProgram = c.restartProgram.empty() ? dir.file("restart.sh") : c.restartProgram;
        app.quitNow = false;
        EXPECT_EQ(c.state, update());
        EXPECT_EQ(0u, app.installError.rfind(c.error, 0)) << app.installError;
        EXPECT_EQ(c.state == 3, app.quitNow);
        if (c.reasonFollows) {
            EXPECT_GT(app.installError.size(), c.error.size()); // the system's reason
        }
    }
    const std::string archive = archivePath();
    EXPECT_EQ(release + "\n" + fakeSource + "/tools/apply_update.py\n--zip\n" + archive +
                  "\n--sha256\n" + archive + ".sha256\n--version\n0.7.0\n--install\n" + release,
              readBytes(dir.file("installer-args.txt")));
}

TEST_F(Install, AnInstallerThatCannotStartIsShown) {
    serve();
    app.pythonExe = dir.file("no-such-python");
    EXPECT_EQ(4, update());
    EXPECT_EQ(0u, app.installError.rfind("The update could not start: ", 0)) << app.installError;
    EXPECT_GT(app.installError.size(), std::string("The update could not start: ").size());
}

} // namespace
