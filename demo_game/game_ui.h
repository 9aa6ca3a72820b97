// What the game draws: the moving scene, the small overlay and the settings window (F2) with its
// Controls, Video and Cheats tabs.
#pragma once

#include "game_config.h"

#include <string>

enum Cheat { kInfiniteHealth, kAllGadgets, kMoonJump, kSlowMotion, kCheatCount };

struct GameUi {
    bool settingsOpen = false;
    std::string videoNote; // the outcome of the last change in the Video tab
    bool cheats[kCheatCount] = {};
    float shownFor[2] = {}; // the display size the settings window was placed for
};

// The scene at t seconds of game time, behind everything else.
void drawScene(double t);
void drawOverlay(float fps, const WindowConfig& config, int width, int height);
// F2 shows and hides the window. True when the Video tab changed the size or the mode in config;
// the caller applies it to the window and saves video.ini.
bool drawSettings(GameUi& ui, WindowConfig& config);
