// The game's window: SDL3 with an OpenGL 3.3 core context and Dear ImGui, in one of the three
// modes of video.ini; the frame's end with its pacing, and captures of the window as PNG.
#pragma once

#include <string>

struct SDL_Window;

// Starts SDL's video, opens the window at the size and in the mode asked for and sets up Dear
// ImGui. On failure err holds the reason.
bool openGameWindow(int width, int height, const std::string& mode, std::string& err);
SDL_Window* gameWindow();
// Switches the open window to a size and mode and waits until the system has applied them.
void applyWindowMode(int width, int height, const std::string& mode);
// The window's size as the system reports it, in window coordinates.
void windowSize(int& width, int& height);
// The desktop size of the window's monitor.
void monitorSize(int& width, int& height);

void beginGameFrame();
// Renders Dear ImGui over the cleared window, saves it as PNG to capturePath when that is not
// empty, presents it and sleeps what is left of the frame at fps frames a second.
void endGameFrame(int fps, const std::string& capturePath);
void closeGameWindow();
