// Downloading and installing a newer release in place, then restarting the launcher.
//
// App::startUpdate, App::pollUpdate and App::updateNowStep (app.h) drive it; the pieces below are
// pure, for tests.
#pragma once

#include <string>

struct App;

// The file name of this system's release archive (version without a leading "v"):
// "ZO_Duzoru-" + version + "-kettlewise.zip" on Windows, and
// "ZO_Duzoru-" + version + "-kettlewise-linux-x86_64.zip" on Linux, whose launcher could do
// nothing with the Windows release.
std::string releaseAssetName(const std::string& version);

// Applies one output line of the installer (apply_update.py) to the install fields: "step NAME",
// "progress N M", "error TEXT" and "done ..."; anything else, and every line of four characters or
// fewer, is ignored.
void applyInstallerLine(App& app, const std::string& line);

// The start-up half of a crash-safe install: when an installer died part-way (its journal,
// update/install_journal.json, is still there), runs the release's apply_update.py --recover,
// which finishes that install or undoes it, and waits for it (a minute at most).
void recoverInterruptedInstall(const App& app);
