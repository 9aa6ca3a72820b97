// What the interface needs from the desktop: the disc image dialog, opening files, folders and
// web pages with the user's programs, and the sizes of the window and of the desktop.
#pragma once

#include <cstdint>
#include <string>

namespace ui {

struct WindowSize {
    int32_t width;
    int32_t height;
};

// The system's file dialog with two filters: imagesLabel + " (*.iso, *.bin, *.cue)" and
// allLabel + " (*.*)". Modal: returns once it has closed, with the chosen path (UTF-8) or empty
// text when the user cancelled or the dialog failed.
std::string openDiscImageDialog(void* owner, const char* title, const char* imagesLabel,
                                const char* allLabel);
// Opens a web address, or an existing file or folder, with the desktop's default program.
// A local path that does not exist, or anything that cannot be opened, does nothing.
void shellOpen(const std::string& path);
// The launcher window's system handle, or null without a window.
void* nativeWindowHandle();
// The launcher window's size as SDL reports it; 0 × 0 without a window.
WindowSize windowSize();
// The desktop mode's size of the display showing the window (else of the primary display);
// 1920 × 1080 when no mode is known.
WindowSize desktopSize();

} // namespace ui
