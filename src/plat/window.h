// The launcher's one window: SDL3 with an OpenGL 3.3 core context, Dear ImGui on top.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct App;
struct SDL_Window;

// The interface scale, 1 to 3, settled when the window opens and never changed afterwards.
extern float uiScale;
extern SDL_Window* mainWindow;

// Opens the window at a size that fits the display and the scale. On failure error holds the
// text for the start-up error box.
bool openWindow(const char* title, int width, int height, float requestedScale, std::string& error);
void setMinimumWindowSize(int width, int height);
// The icon the desktop shows for the window: draw(size) gives size × size RGBA pixels, top row
// first. It is drawn once the first frame is shown, which must not wait for it.
void setWindowIcon(std::vector<unsigned char> (*draw)(int size));
// Hands every pending event to the interface; true when closing was requested.
bool pollEvents();
void waitEvents(double seconds);
void beginFrame();
// Renders, saves the screenshot app.screenshotPath asks for, presents and paces. A frame that
// would show the picture already on screen is only paced: no screenshot is asked for, and its
// draw data and window size are those of the last presented frame.
void endFrame(App& app);
// True when the picture has stayed the same for a few frames in a row and no input waits to be
// handled: the loop may wait for an event instead of drawing the same picture again.
bool pictureSettled();
// Keeps the frames coming at the display's rate for this frame, for a picture that changes at a
// set moment without changing before it (a label shown for a while).
void keepAnimating();
// For tests and benchmarks: draw the old way, rendering and presenting every frame in full, as the
// launcher did before it skipped unchanged frames and kept the background's still layers
// (plat/backdrop.h). QM_PRESENT_EVERY_FRAME=1 sets it when the window opens.
void setPresentEveryFrame(bool on);
// How many frames were presented (swapped to the screen) since the process started.
uint64_t presentedFrames();
void shutdownWindow();
// Restarts the frame pacing clock, so the first frame after a pause is not held back.
void restartFramePacing();
// Hidden while the game owns the screen; shown again in front of other windows afterwards.
void hideMainWindow();
void showMainWindow();

// The scale and size rules, apart from SDL so they can be checked without a display.
struct WindowFit {
    float scale;
    int width;
    int height;
};
WindowFit fitWindow(int width, int height, float scale, bool haveMode, int modeW, int modeH);
