// The one object that holds all of a launcher run's state.
//
// main owns the single App; every operation of the launcher is a member of it or takes it by
// reference. The constructor only sets defaults: it reads no file, starts no thread and touches no
// platform service.
#pragma once

#include "app/settings.h"
#include "plat/process.h"
#include "prep/progress.h"
#include "update/update_check.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

enum class Screen : int32_t { Missing = 0, NoDisc = 1, Ready = 2, Preparing = 3, Failed = 4 };

// Why a release is opened. Window mode uses it, and clears what earlier runs left behind: the
// settings' temporary files, an install cut short, the files an installed update could not
// delete. The text mode checks it, and a check must not change the release or the user folder
// it checks: it clears nothing and saves no setting.
enum class OpenFor { Use, Check };

struct App {
    App();
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // --- release and user paths (computed once by openRelease) ---
    std::string releaseDir, sourceDir, kitDir, pythonExe, buildScript, buildDir, buildLogsDir,
        gameDir, gameExe, gameElf, discIso, releaseIni, builtFromIni;
    std::string userDir, launcherIni, videoIni, logsDir, crashesDir;

    LauncherSettings settings;
    VideoSettings video;

    Screen screen = Screen::NoDisc;
    int32_t tab = 0; // 0 Play, 1 Settings, 2 Maintenance
    std::string missingItem;
    bool checkOnly = false; // opened for a check: nothing is written to the release or user folder

    // --- disc check ---
    plat::Process discCheck;
    bool checkingDisc = false;
    std::string discUnderCheck, discMessage, discDetail;

    // --- build ---
    plat::Process build;
    BuildProgress progress;
    bool building = false;
    bool stopRequested = false;
    std::string statusMessage;
    uint32_t statusColour = 0x4FE0A3;

    // --- game ---
    plat::Process game;
    bool gameRunning = false;
    bool gameOwnsScreen = false;
    std::set<std::string> knownReports;
    std::string crashReport;
    int32_t gameExitCode = 0;
    bool gameFailed = false;
    std::string gameStartError;

    // --- updates ---
    UpdateCheck updateCheck;
    std::string updateUrl;
    int32_t installState = 0; // 0 idle, 1 downloading, 2 installing, 3 restarting, 4 failed
    std::string installVersion, installError, installPhase;
    std::string downloadPrefix;
    std::vector<std::string> args;
    std::atomic<unsigned long long> installGot{0}, installTotal{0};
    std::atomic<bool> installStop{false}, downloadDone{false};
    std::mutex downloadMutex;
    bool downloadOk = false;
    std::string downloadError;
    std::string downloadMissing; // the file the host answered 404 for, if that was the failure
    std::thread downloadThread;
    plat::Process installRunner;

    // --- identity ---
    std::string sourceCommit, sourceVersion, builtFromCommit;
    bool buildTimeCounted = false;
    std::string whatsNewText, whatsNewVersion;

    // --- requests from the interface, the work and the self-test ---
    bool showWhatsNew = false;
    bool quitAsked = false;
    bool quitNow = false;
    double frameTime = 0;
    std::string screenshotPath;

    // Computes every path, reads both settings files, settles the language and the first screen.
    void openRelease(const std::string& releaseDir, OpenFor purpose = OpenFor::Use);
    // Reads release.ini, built_from.ini and the What's new text.
    void loadReleaseIdentity();
    // Deletes what an installed update had to leave behind.
    void cleanOldFiles();

    // --- disc check ---
    // Shows the system's file dialog and checks the chosen disc image.
    void chooseDisc();
    // "-I", "-X", "utf8" and the build script: the start of every run of the build script.
    std::vector<std::string> scriptArgs() const;
    void startDiscCheck(const std::string& path);
    void pollDiscCheck();

    // --- build ---
    void startBuild();
    void stopBuild();
    void pollBuild();
    // The failed step's log file, and the report that "Copy details" puts on the clipboard.
    std::string stepLogPath() const;
    std::string failureDetails() const;

    // --- game ---
    void launchGame();
    void pollGame();

    // --- update download and install ---
    // The program started again after an installed update. Empty means this very executable:
    // its path is taken when the installer starts, because on Linux the running file's path
    // follows the installer's rename of it. Tests point it at a stand-in instead of themselves.
    std::string restartProgram;
    // "--update-now": install a newer release by itself as soon as the update check finds one.
    bool updateNowPending = false;
    // Downloads the release with this tag and version, then installs it (update/install.cpp).
    void startUpdate(const std::string& tag, const std::string& version);
    // Advances the download, the installer and the restart by one step; once per frame.
    void pollUpdate();
    // The "--update-now" step of the frame loop, after pollUpdate.
    void updateNowStep();
};
