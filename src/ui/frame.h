// The whole interface, drawn every frame from the App.
#pragma once

#include "update/update_check.h"

struct App;

namespace ui {

// Fonts and style, once, after the ImGui context exists and before the first frame.
void setupFontsAndStyle();
// The full-window background, behind every window.
void drawBackground(double time, bool motion);
// Draws every screen and handles every click. Reads the update check once, under its lock.
void drawFrame(App& app);
// The same with the update check's result given by the caller.
void drawFrame(App& app, const UpdateCheckResult& update);

} // namespace ui
