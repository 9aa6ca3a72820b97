// Downloading a newer release, handing it to the release's installer and restarting the launcher.
//
// Sections: names and protocol · starting · the download worker · the poll · "--update-now"
//
// The download runs on a worker thread that writes only the atomics and, under downloadMutex, the
// result; the installer is a captured child; everything else runs on the frame thread.
#include "update/install.h"

#include "app/app.h"
#include "app/identity.h"
#include "plat/clock.h"
#include "plat/fs.h"
#include "plat/http.h"
#include "ui/lang.h"

#include <cstdio>

// --- names and protocol --------------------------------------------------------------------------

#ifdef _WIN32
static const char* const kAssetEnding = "-kettlewise.zip";
#else
static const char* const kAssetEnding = "-kettlewise-linux-x86_64.zip";
#endif

std::string releaseAssetName(const std::string& version) {
    return std::string(kRepoName) + "-" + version + kAssetEnding;
}

static bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

void applyInstallerLine(App& app, const std::string& line) {
    if (line.size() <= 4) return;
    if (startsWith(line, "step ")) {
        app.installPhase = line.substr(5);
        app.installGot = 0;
        app.installTotal = 0;
        return;
    }
    if (startsWith(line, "progress ")) {
        unsigned long long got = 0, total = 0;
        if (sscanf(line.c_str() + 9, "%llu %llu", &got, &total) == 2) {
            app.installGot = got;
            app.installTotal = total;
            return;
        }
    }
    if (startsWith(line, "error "))
        app.installError = line.substr(6);
    else if (startsWith(line, "done "))
        app.installPhase = "done";
}

static std::string updateFolder(const App& app) {
    return plat::joinPath(app.releaseDir, "update");
}

void recoverInterruptedInstall(const App& app) {
    if (!pathExists(plat::joinPath(updateFolder(app), "install_journal.json"))) return;
    const std::string script = plat::absolutePath(
        plat::joinPath(plat::joinPath(app.sourceDir, "tools"), "apply_update.py"));
    if (!pathExists(app.pythonExe) || !pathExists(script)) return;
    plat::Process recovery;
    std::string err;
    const std::vector<std::string> args = {
        "-I", "-X", "utf8", script, "--recover", "--install", plat::absolutePath(app.releaseDir)};
    if (!recovery.start(app.pythonExe, args, app.releaseDir, true, err)) return;
    // One that takes longer ends with the object; the recovery can run again at the next start.
    const double guard = plat::now() + 60;
    while (recovery.running() && plat::now() < guard)
        plat::sleepMs(10);
}

// --- the download worker -------------------------------------------------------------------------

static void downloadRelease(App* app, std::string url, std::string path) {
    const std::string userAgent = std::string("QM-Launcher/") + kLauncherVersion;
    std::atomic<unsigned long long> sumGot{0}, sumTotal{0};
    std::string err, missing;
    // The checksum first: a release without one is never fetched at all.
    bool ok = plat::httpDownload(url + ".sha256", userAgent, path + ".sha256", sumGot, sumTotal,
                                 app->installStop, err, 4096);
    if (!ok && err == "HTTP 404") missing = plat::fileName(path) + ".sha256";
    if (ok) {
        ok = plat::httpDownload(url, userAgent, path, app->installGot, app->installTotal,
                                app->installStop, err, 2147483648ULL);
        if (!ok && err == "HTTP 404") missing = plat::fileName(path);
    }
    {
        std::lock_guard<std::mutex> lock(app->downloadMutex);
        app->downloadOk = ok;
        app->downloadError = err;
        app->downloadMissing = missing;
    }
    app->downloadDone = true;
}

// --- starting ------------------------------------------------------------------------------------

void App::startUpdate(const std::string& tag, const std::string& version) {
    if (installState == 1 || installState == 2 || installState == 3) return;
    if (building || gameRunning || checkingDisc || tag.empty() || version.empty()) return;
    const std::string folder = updateFolder(*this);
    plat::makeDirs(folder); // a failure shows as the download's own error

    installVersion = version;
    installError.clear();
    installPhase.clear();
    installStop = false;
    downloadDone = false;
    installGot = 0;
    installTotal = 0;
    installState = 1;

    if (downloadThread.joinable()) downloadThread.join();
    std::string url = downloadPrefix + tag + "/" + releaseAssetName(version);
    std::string path = plat::joinPath(folder, releaseAssetName(version));
    downloadThread = std::thread(downloadRelease, this, url, path);
}

// --- the poll ------------------------------------------------------------------------------------

// Why the download failed, for the user. A file the host does not have means that the release
// was not published for this system, which "HTTP 404" alone does not say.
static std::string downloadFailure(const App& app, const std::string& err,
                                   const std::string& missing) {
    const std::string lead = ui::tr("The download failed: ", "Le téléchargement a échoué : ");
    if (missing.empty()) return lead + err + ".";
    if (ui::french)
        return lead + "la version " + app.installVersion + " n'a pas d'archive pour ce système (" +
               missing + " : " + err + ").";
    return lead + "version " + app.installVersion + " has no archive for this system (" + missing +
           ": " + err + ").";
}

// The download has ended: report its failure, or hand the archive to the release's installer.
static void finishDownload(App& app) {
    app.downloadThread.join();
    bool ok;
    std::string err, missing;
    {
        std::lock_guard<std::mutex> lock(app.downloadMutex);
        ok = app.downloadOk;
        err = app.downloadError;
        missing = app.downloadMissing;
    }
    if (!ok) {
        app.installState = app.installStop ? 0 : 4; // a stop by the user is not shown
        app.installError = downloadFailure(app, err, missing);
        return;
    }
    app.installGot = 0;
    app.installTotal = 0;
    // Taken now: once the installer has renamed the running file aside, the system names that.
    if (app.restartProgram.empty()) app.restartProgram = plat::exePath();
    // Full paths: the installer runs in the release folder, where a relative one would not hold.
    const std::string release = plat::absolutePath(app.releaseDir);
    const std::string archive =
        plat::joinPath(plat::joinPath(release, "update"), releaseAssetName(app.installVersion));
    const std::string script = plat::absolutePath(
        plat::joinPath(plat::joinPath(app.sourceDir, "tools"), "apply_update.py"));
    const std::vector<std::string> args = {"-I",        "-X",
                                           "utf8",      script,
                                           "--zip",     archive,
                                           "--sha256",  archive + ".sha256",
                                           "--version", app.installVersion,
                                           "--install", release};
    if (app.installRunner.start(app.pythonExe, args, app.releaseDir, true, err)) {
        app.installState = 2;
        return;
    }
    app.installState = 4;
    app.installError =
        ui::tr("The update could not start: ", "La mise à jour n'a pas pu démarrer : ") + err;
}

// The new release is in place: start its launcher with our own arguments and quit.
static void restart(App& app) {
    plat::Process launcher; // plain: the new launcher outlives this object and this process
    std::string err;
    // The new launcher starts in the release folder: a relative --release given to us would name
    // another folder there, so it gets the full path of the same folder.
    std::vector<std::string> args = app.args;
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--release" && !args[i + 1].empty())
            args[i + 1] = plat::absolutePath(args[i + 1]);
    if (launcher.start(app.restartProgram, args, app.releaseDir, false, err)) {
        app.installState = 3;
        app.quitNow = true;
        return;
    }
    app.installState = 4;
    app.installError =
        ui::french
            ? "La version " + app.installVersion + " est installée : relancez le lanceur. " + err
            : "Version " + app.installVersion + " is installed: start the launcher again. " + err;
}

static void followInstaller(App& app) {
    for (const std::string& line : app.installRunner.takeLines())
        applyInstallerLine(app, line);
    if (app.installRunner.running()) return;
    app.installRunner.waitOutput(2000);
    for (const std::string& line : app.installRunner.takeLines())
        applyInstallerLine(app, line);
    int code = app.installRunner.exitCode();
    if (code == 0 && app.installPhase == "done") {
        restart(app);
        return;
    }
    app.installState = 4;
    if (app.installError.empty())
        app.installError =
            ui::tr("The update stopped (exit code ", "La mise à jour s'est arrêtée (code ") +
            std::to_string(code) + ").";
}

void App::pollUpdate() {
    if (installState == 1 && downloadDone)
        finishDownload(*this);
    else if (installState == 2)
        followInstaller(*this);
}

// --- "--update-now"
// -------------------------------------------------------------------------------

void App::updateNowStep() {
    if (!updateNowPending || installState != 0) return;
    UpdateCheckResult check = updateCheck.snapshot();
    if (check.state != 3) return; // stays pending until a check finds a newer release
    updateNowPending = false;
    startUpdate(check.tag, check.latestVersion);
}
