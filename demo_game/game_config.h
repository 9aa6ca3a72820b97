// What the game starts with: its command line, and the window it opens, taken from video.ini
// with the environment's overrides on top.
#pragma once

#include "app/settings.h"

#include <string>
#include <vector>

inline constexpr const char* kGameTitle = "Quillmere";
// The game is built from the same release as the launcher and carries its version.
inline constexpr const char* kGameVersion = QM_VERSION;
inline constexpr int kDefaultWidth = 640;
inline constexpr int kDefaultHeight = 448;

struct GameOptions {
    std::string elf; // the recompiled program's boot file
    std::string iso; // the user's disc image
};

// Reads "--elf FILE" and "--iso FILE"; other options are ignored. False, with the reason, when
// either is missing or names nothing that exists.
bool parseGameOptions(const std::vector<std::string>& args, GameOptions& opts, std::string& err);

// The window the game opens with, after the overrides.
struct WindowConfig {
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    std::string mode = "windowed";
    std::string renderScale = "1"; // 0.25 to 4, as text so it is shown as the user wrote it
    std::string frameRate = "game";
    int fps = 60; // the pace that frameRate stands for
};

// The record of video.ini (as read, so that a save carries its values through) with the
// ZOLT_WINDOW_SIZE, ZOLT_WINDOW_MODE, ZOLT_RENDER_SCALE and ZOLT_FRAME_RATE overrides applied.
// notes receives a line for every override taken and every value refused.
WindowConfig resolveWindowConfig(const VideoSettings& file, std::vector<std::string>& notes);

// "WxH" with both at least 160 x 120, or 0x0 for the default size.
bool parseWindowSize(const std::string& text, int& width, int& height);
bool isWindowMode(const std::string& text);
// A number from 0.25 to 4 and nothing after it.
bool isRenderScale(const std::string& text);
// "game" stands for the game's own 60 frames a second; a whole number from 10 to 240 caps it.
bool frameRateFps(const std::string& text, int& fps);
