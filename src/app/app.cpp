// The App: construction, the release layout and the release identity.
//
// Sections: construction and destruction · release layout · release identity · update leftovers
#include "app/app.h"

#include "app/identity.h"
#include "plat/env.h"
#include "plat/fs.h"
#include "ui/lang.h"
#include "update/install.h"
#include "update/whatsnew.h"

#include <cstdio>

// The release host: its REST interface and its web pages.
static const char* const kDefaultUpdateUrl =
    "https://api.github.com/repos/Kettlewise/ZO_Duzoru/releases/latest";
static const char* const kDefaultDownloadPrefix =
    "https://github.com/Kettlewise/ZO_Duzoru/releases/download/";

#ifdef _WIN32
static const char* const kPythonInKit = "kit\\python\\python.exe";
static const char* const kGameProgram = "qm.exe";
static const char* const kMissingScript = "source\\tools\\qm_build.py";
static const char* const kMissingKit = "kit\\";
#else
static const char* const kPythonInKit = "kit/python/bin/python3";
static const char* const kGameProgram = "qm";
static const char* const kMissingScript = "source/tools/qm_build.py";
static const char* const kMissingKit = "kit/";
#endif

// --- construction and destruction ---------------------------------------------------------------

App::App() : updateUrl(kDefaultUpdateUrl), downloadPrefix(kDefaultDownloadPrefix) {}

App::~App() {
    installStop = true;
    if (downloadThread.joinable()) downloadThread.join();
}

// --- release layout ------------------------------------------------------------------------------

void App::openRelease(const std::string& dir, OpenFor purpose) {
    using plat::joinPath;
    checkOnly = purpose == OpenFor::Check;
    releaseDir = dir;
    sourceDir = joinPath(dir, "source");
    kitDir = joinPath(dir, "kit");
    pythonExe = joinPath(dir, kPythonInKit);
    buildScript = joinPath(sourceDir, joinPath("tools", "qm_build.py"));
    buildDir = joinPath(dir, "build");
    buildLogsDir = joinPath(buildDir, "logs");
    gameDir = joinPath(dir, "game");
    gameExe = joinPath(gameDir, kGameProgram);
    gameElf = joinPath(gameDir, "SQMU_404.20");
    discIso = joinPath(gameDir, "disc.iso");
    releaseIni = joinPath(sourceDir, "release.ini");
    builtFromIni = joinPath(gameDir, "built_from.ini");

    userDir = plat::userDir();
    launcherIni = joinPath(userDir, "launcher.ini");
    videoIni = joinPath(userDir, "video.ini");
    logsDir = joinPath(userDir, "logs");
    crashesDir = joinPath(userDir, "crashes");

    // A save that was cut short (a crash, a power cut) leaves its temporary file behind; the
    // settings file itself is still the old one whole, so the leftover is only clutter.
    if (!checkOnly) {
        plat::removePath(launcherIni + ".tmp");
        plat::removePath(videoIni + ".tmp");
    }
    loadLauncherSettings(launcherIni, settings);
    std::string language = settings.language.empty() ? plat::systemLanguage() : settings.language;
    ui::french = language == "fr";
    loadVideoSettings(videoIni, video);

    if (!pathExists(buildScript))
        missingItem = kMissingScript;
    else if (!pathExists(pythonExe) || !pathExists(joinPath(kitDir, "kit_manifest.json")))
        missingItem = kMissingKit;
    else
        missingItem.clear();

    if (!missingItem.empty())
        screen = Screen::Missing;
    else
        screen = settings.disc.empty() ? Screen::NoDisc : Screen::Ready;

    // Before the identity is read: an install cut short may still change release.ini.
    if (!checkOnly && missingItem.empty()) recoverInterruptedInstall(*this);
    loadReleaseIdentity();
    if (!checkOnly) cleanOldFiles();
}

// --- release identity ----------------------------------------------------------------------------

void App::loadReleaseIdentity() {
    sourceCommit = readIniValue(releaseIni, "commit");
    sourceVersion = readIniValue(releaseIni, "version");
    if (sourceCommit.empty()) sourceCommit = launcherCommit();
    builtFromCommit = readIniValue(builtFromIni, "commit");
    whatsNewVersion = sourceVersion.empty() ? kLauncherVersion : sourceVersion;
    whatsNewText = cutChangelogSection(plat::joinPath(releaseDir, "CHANGELOG.md"), whatsNewVersion);
    if (whatsNewText.empty())
        whatsNewText =
            cutChangelogSection(plat::joinPath(sourceDir, "CHANGELOG.md"), whatsNewVersion);
}
