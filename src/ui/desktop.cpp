// The desktop services: the disc dialog · opening things · window and desktop sizes.
#include "ui/desktop.h"

#include "plat/desktop.h"
#include "plat/fs.h"
#include "plat/window.h"

#include <SDL3/SDL.h>

#include <cstdint>

namespace ui {

std::string openDiscImageDialog(void* owner, const char* title, const char* imagesLabel,
                                const char* allLabel) {
    const std::vector<plat::DialogFilter> filters = {
        {std::string(imagesLabel) + " (*.iso, *.bin, *.cue)", {"iso", "bin", "cue"}},
        {std::string(allLabel) + " (*.*)", {}},
    };
    return plat::openFileDialog(owner, title, filters);
}

void shellOpen(const std::string& path) {
    if (path.empty()) return;
    if (!plat::isWebAddress(path) && !pathExists(path)) return;
    plat::openWithDefaultProgram(path);
}

void* nativeWindowHandle() {
    if (!mainWindow) return nullptr;
    SDL_PropertiesID props = SDL_GetWindowProperties(mainWindow);
#ifdef _WIN32
    return SDL_GetPointerProperty(props, SDL_PROP_WINDOW_WIN32_HWND_POINTER, nullptr);
#else
    if (void* surface =
            SDL_GetPointerProperty(props, SDL_PROP_WINDOW_WAYLAND_SURFACE_POINTER, nullptr))
        return surface;
    Sint64 x11 = SDL_GetNumberProperty(props, SDL_PROP_WINDOW_X11_WINDOW_NUMBER, 0);
    return reinterpret_cast<void*>(static_cast<uintptr_t>(x11));
#endif
}

WindowSize windowSize() {
    int w = 0, h = 0;
    if (!mainWindow || !SDL_GetWindowSize(mainWindow, &w, &h)) return {0, 0};
    return {w, h};
}

WindowSize desktopSize() {
    SDL_DisplayID display = mainWindow ? SDL_GetDisplayForWindow(mainWindow) : 0;
    if (!display) display = SDL_GetPrimaryDisplay();
    const SDL_DisplayMode* mode = display ? SDL_GetDesktopDisplayMode(display) : nullptr;
    if (!mode) return {1920, 1080};
    return {mode->w, mode->h};
}

} // namespace ui
