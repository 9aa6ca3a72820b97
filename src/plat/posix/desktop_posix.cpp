// The file dialog and the default program on POSIX desktops, through SDL: the dialog is the
// desktop portal's or zenity's (whichever SDL finds), opening goes through xdg-open.
#include "plat/desktop.h"

#include "plat/fs.h"
#include "plat/window.h"

#include <SDL3/SDL.h>

#include <atomic>
#include <mutex>

namespace plat {

namespace {

// Filled by SDL's callback, which may run on a thread of its own (zenity) or inside the event
// pump of the frame thread (the portal).
struct DialogWait {
    std::mutex mutex;
    std::string path;
    std::atomic<bool> done{false};
};

void SDLCALL onDialogClosed(void* userdata, const char* const* files, int) {
    auto* wait = static_cast<DialogWait*>(userdata);
    {
        std::lock_guard<std::mutex> lock(wait->mutex);
        // null: the dialog failed; an empty list or an empty name (zenity's cancel): no choice.
        if (files && files[0] && files[0][0]) wait->path = files[0];
    }
    wait->done.store(true);
}

std::string joinExtensions(const std::vector<std::string>& extensions) {
    if (extensions.empty()) return "*";
    std::string pattern;
    for (const std::string& e : extensions) {
        if (!pattern.empty()) pattern += ';';
        pattern += e;
    }
    return pattern;
}

// Keeps the desktop's answers flowing while the dialog is open. Input meant for the launcher's
// window is dropped (the dialog is modal); window events such as a close request stay queued for
// the frame loop.
void pumpWhileOpen() {
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_EVENT_KEY_DOWN, SDL_EVENT_CLIPBOARD_UPDATE - 1);
    SDL_FlushEvents(SDL_EVENT_PEN_PROXIMITY_IN, SDL_EVENT_CAMERA_DEVICE_ADDED - 1);
    SDL_Delay(10);
}

} // namespace

std::string openFileDialog(void*, const std::string& title,
                           const std::vector<DialogFilter>& filters) {
    // The native handle is of no use to SDL's dialog: it takes the SDL window itself.
    std::vector<std::string> patterns;
    for (const DialogFilter& f : filters)
        patterns.push_back(joinExtensions(f.extensions));
    std::vector<SDL_DialogFileFilter> sdlFilters;
    for (size_t i = 0; i < filters.size(); ++i)
        sdlFilters.push_back({filters[i].name.c_str(), patterns[i].c_str()});

    DialogWait wait;
    SDL_PropertiesID props = SDL_CreateProperties();
    if (!props) return "";
    if (!sdlFilters.empty()) {
        SDL_SetPointerProperty(props, SDL_PROP_FILE_DIALOG_FILTERS_POINTER, sdlFilters.data());
        SDL_SetNumberProperty(props, SDL_PROP_FILE_DIALOG_NFILTERS_NUMBER,
                              Sint64(sdlFilters.size()));
    }
    if (mainWindow) SDL_SetPointerProperty(props, SDL_PROP_FILE_DIALOG_WINDOW_POINTER, mainWindow);
    SDL_SetStringProperty(props, SDL_PROP_FILE_DIALOG_TITLE_STRING, title.c_str());
    SDL_SetBooleanProperty(props, SDL_PROP_FILE_DIALOG_MANY_BOOLEAN, false);
    SDL_ShowFileDialogWithProperties(SDL_FILEDIALOG_OPENFILE, onDialogClosed, &wait, props);
    SDL_DestroyProperties(props);
    while (!wait.done.load())
        pumpWhileOpen();
    std::lock_guard<std::mutex> lock(wait.mutex);
    return wait.path;
}

bool openWithDefaultProgram(const std::string& target) {
    if (isWebAddress(target)) return SDL_OpenURL(target.c_str());
    return SDL_OpenURL(fileUrl(absolutePath(target)).c_str());
}

} // namespace plat
