// Downloading and installing a newer release in place, then restarting the launcher.
//
// App::startUpdate, App::pollUpdate and App::updateNowStep (app.h) drive it; the pieces below are
// pure, for tests.
#pragma once

#include <string>

struct App;

// The release archive's file name: "ZO_Duzoru-" + version + "-kettlewise.zip" (version without a
// leading "v").
std::string releaseAssetName(const std::string& version);

// Applies one output line of the installer (apply_update.py) to the install fields: "step NAME",
// "progress N M", "error TEXT" and "done ..."; anything else, and every line of four characters or
// fewer, is ignored.
void applyInstallerLine(App& app, const std::string& line);
