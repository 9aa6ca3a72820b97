// The contents of the card and the modal windows, one file each; drawFrame (frame.cpp) picks them.
// iw is the card's inner width in pixels.
#pragma once

#include "ui/desktop.h"
#include "update/update_check.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct App;

namespace ui {

// Before a disc is accepted: the release is incomplete, or no disc was accepted yet.
void drawMissingScreen(App& app);
void drawWelcomeScreen(App& app, float iw);

// The tabs, and the panels that take the Play tab's place while preparing and after a failure.
// The Play and Maintenance tabs show the update check's result: the frame hands them the one copy
// it took for the frame; without it they take their own.
void drawPlayTab(App& app, float iw);
void drawPlayTab(App& app, float iw, const UpdateCheckResult& update);
void drawPreparingPanel(App& app, float iw);
void drawFailurePanel(App& app, float iw);
void drawSettingsTab(App& app);
void drawMaintenanceTab(App& app, float iw);
void drawMaintenanceTab(App& app, float iw, const UpdateCheckResult& update);

// The Play tab's low-space warning for this many bytes free on the release's drive; empty when
// there is nothing to warn about (5 GiB or more, or an unknown amount).
std::string lowSpaceWarning(uint64_t freeBytes);
// When "Copy details" was last pressed, on the App::frameTime clock.
extern double copiedAt;

// The two modal windows, drawn inside the root panel with their padding already pushed.
void drawQuitConfirmation(App& app, WindowSize window);
void drawWhatsNewWindow(App& app, WindowSize window);

} // namespace ui

// The window sizes the Settings tab offers on a desktop of the given size (0 × 0: unknown):
// the candidates that fit, plus the desktop's own size, sorted by width then height, no repeats.
std::vector<std::pair<int32_t, int32_t>> resolutionChoices(int desktopWidth, int desktopHeight);
