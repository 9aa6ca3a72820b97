// Starting the built game and noticing its end: the launcher hides while the game runs and comes
// back with the game's result.
#include "app/app.h"
#include "plat/fs.h"
#include "plat/window.h"

void App::launchGame() {
    if (gameRunning || building || !pathExists(gameExe) || !pathExists(gameElf)) return;
    knownReports.clear();
    for (const plat::FileEntry& e : plat::listFiles(crashesDir, ".txt"))
        knownReports.insert(e.path);
    crashReport.clear();
    gameStartError.clear();
    statusMessage.clear();
    gameFailed = false;

    std::string err;
    std::vector<std::string> args = {"--elf", plat::absolutePath(gameElf), "--iso",
                                     plat::absolutePath(discIso)};
    if (game.start(gameExe, args, gameDir, false, err)) {
        gameRunning = true;
        hideMainWindow();
        gameOwnsScreen = true;
    } else {
        gameStartError = err;
    }
}

void App::pollGame() {
    if (!gameRunning || game.running()) return;
    gameRunning = false;
    gameExitCode = game.exitCode();

    // The newest report the game wrote during this run; of equal times the one listed last.
    const plat::FileEntry* newest = nullptr;
    std::vector<plat::FileEntry> files = plat::listFiles(crashesDir, ".txt");
    for (const plat::FileEntry& e : files) {
        if (knownReports.count(e.path)) continue;
        if (!newest || e.lastWrite >= newest->lastWrite) newest = &e;
    }
    crashReport = newest ? newest->path : "";
    gameFailed = crashReport.empty() && gameExitCode != 0;

    showMainWindow();
    gameOwnsScreen = false;
}
