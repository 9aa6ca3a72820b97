// Quillmere's PC program: checks its command line, opens its window as video.ini says, plays
// until it is asked to close and logs its run in the user folder.
//
// Sections: dialogs · start · video changes · captures · the frame loop · ending
#include "game_config.h"
#include "game_log.h"
#include "game_ui.h"
#include "game_window.h"

#include "app/settings.h"
#include "plat/clock.h"
#include "plat/env.h"
#include "plat/fs.h"

#include <SDL3/SDL.h>
#include <imgui.h>
#include <imgui_impl_sdl3.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int kExitRefused = 2;
const int kExitNoWindow = 1;
const double kCaptureEvery = 10; // seconds between two numbered captures, after the first
const int kMaxCaptures = 30;

struct Game {
    std::string userDir;
    std::string videoIni;
    GameLog log;
    VideoSettings file; // video.ini as read, carried through when the Video tab saves it
    WindowConfig config;
    GameUi ui;
    std::string captureDir; // ZOLT_CAPTURE_WINDOW_DIR; empty: no captures
    int captures = 0;
    double nextCapture = 1;
    double crashAfter = -1; // ZOLT_TEST_CRASH in seconds; negative: no test crash
    bool ignoreClose = false; // ZOLT_TEST_IGNORE_CLOSE: a hung game, for the launcher's tests
    bool closeIgnoredLogged = false;
};

enum class Ending { None, CloseRequest, TestCrash };

// --- dialogs -------------------------------------------------------------------------------------

// Every message also goes to the standard error; the box is skipped for automated runs, and SDL
// simply fails to show it where there is no display.
void errorMessage(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", kGameTitle, text.c_str());
    if (plat::getEnv("ZOLT_NO_DIALOGS") == "1") return;
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, kGameTitle, text.c_str(), gameWindow());
}

// --- start ---------------------------------------------------------------------------------------

std::string joinArgs(const std::vector<std::string>& args) {
    std::string out;
    for (const std::string& a : args) {
        if (!out.empty()) out += ' ';
        out += a.find(' ') == std::string::npos && !a.empty() ? a : "\"" + a + "\"";
    }
    return out;
}

void readSwitches(Game& g) {
    std::string crash = plat::getEnv("ZOLT_TEST_CRASH");
    if (!crash.empty()) {
        char* end = nullptr;
        double seconds = std::strtod(crash.c_str(), &end);
        if (*end == 0 && seconds >= 0) {
            g.crashAfter = seconds;
            g.log.line("ZOLT_TEST_CRASH: the game crashes by itself after " + crash + " s");
        } else
            g.log.line("ZOLT_TEST_CRASH=" + crash + " is not a number of seconds and was ignored");
    }
    if (plat::getEnv("ZOLT_TEST_IGNORE_CLOSE") == "1") {
        g.ignoreClose = true;
        g.log.line("ZOLT_TEST_IGNORE_CLOSE: close requests are ignored");
    }
    g.captureDir = plat::getEnv("ZOLT_CAPTURE_WINDOW_DIR");
    if (!g.captureDir.empty() && !plat::makeDirs(g.captureDir)) {
        g.log.line("the capture folder " + g.captureDir + " cannot be created; no captures");
        g.captureDir.clear();
    }
    if (!g.captureDir.empty()) g.log.line("captures of the window go to " + g.captureDir);
}

void readVideo(Game& g) {
    g.videoIni = plat::joinPath(g.userDir, "video.ini");
    bool read = loadVideoSettings(g.videoIni, g.file);
    g.log.line(std::string("video.ini ") + (read ? "read: " : "absent: ") + g.videoIni);
    std::vector<std::string> notes;
    g.config = resolveWindowConfig(g.file, notes);
    for (const std::string& note : notes)
        g.log.line(note);
}

void logWindow(Game& g) {
    int w = 0, h = 0;
    windowSize(w, h);
    char line[160];
    std::snprintf(line, sizeof line, "window %dx%d %s", w, h, g.config.mode.c_str());
    std::string text = line;
    if (g.config.mode != "borderless" && (w != g.config.width || h != g.config.height))
        text += " (asked " + std::to_string(g.config.width) + "x" +
                std::to_string(g.config.height) + ")";
    g.log.line(text);
    g.log.line("render scale " + g.config.renderScale + ", frame rate " + g.config.frameRate +
               " (" + std::to_string(g.config.fps) + " frames a second)");
}

// --- video changes -------------------------------------------------------------------------------

// The Video tab's choice goes to the window at once and into video.ini with every other value
// as the file had it: the environment's overrides are never written back.
void changeVideo(Game& g) {
    applyWindowMode(g.config.width, g.config.height, g.config.mode);
    VideoSettings saved = g.file;
    saved.width = g.config.width;
    saved.height = g.config.height;
    saved.mode = g.config.mode;
    bool ok = saveVideoSettings(saved, g.videoIni);
    if (ok) g.file = saved;
    g.ui.videoNote = ok ? "Saved in video.ini; the game starts this way from now on."
                        : "video.ini could not be saved: " + g.videoIni;
    int w = 0, h = 0;
    windowSize(w, h);
    g.log.line("video changed: window " + std::to_string(w) + "x" + std::to_string(h) + " " +
               g.config.mode + (ok ? ", video.ini saved" : ", video.ini could not be saved"));
}

// --- captures ------------------------------------------------------------------------------------

// The path of the capture this frame should leave, or empty: a numbered one now and then while
// the game plays, and the last frame before the game ends.
std::string capturePath(Game& g, double elapsed, Ending ending) {
    if (g.captureDir.empty()) return "";
    if (ending != Ending::None) return plat::joinPath(g.captureDir, "qm-last.png");
    if (elapsed < g.nextCapture || g.captures >= kMaxCaptures) return "";
    g.nextCapture = elapsed + kCaptureEvery;
    char name[32];
    std::snprintf(name, sizeof name, "qm-%04d.png", ++g.captures);
    return plat::joinPath(g.captureDir, name);
}

// --- the frame loop ------------------------------------------------------------------------------

Ending pollEvents(Game& g, std::string& reason) {
    Ending ending = Ending::None;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        ImGui_ImplSDL3_ProcessEvent(&e);
        if (ending != Ending::None) continue;
        // SDL_EVENT_QUIT is also how SDL delivers SIGTERM and SIGINT on POSIX systems.
        bool close = e.type == SDL_EVENT_WINDOW_CLOSE_REQUESTED || e.type == SDL_EVENT_QUIT;
        if (close && g.ignoreClose) {
            if (!g.closeIgnoredLogged) g.log.line("close request ignored");
            g.closeIgnoredLogged = true;
        } else if (close) {
            ending = Ending::CloseRequest;
            reason = e.type == SDL_EVENT_QUIT ? "quit requested" : "the window was closed";
        }
    }
    return ending;
}

Ending run(Game& g, std::string& reason) {
    const double start = plat::now();
    double last = start, gameTime = 0;
    float fps = float(g.config.fps);
    for (;;) {
        Ending ending = pollEvents(g, reason);
        double now = plat::now(), elapsed = now - start, dt = now - last;
        last = now;
        if (ending == Ending::None && g.crashAfter >= 0 && elapsed >= g.crashAfter) {
            ending = Ending::TestCrash;
            reason = "crash asked for by ZOLT_TEST_CRASH after " +
                     std::to_string(int(g.crashAfter)) + " s";
        }
        if (dt > 0) fps += (float(1 / dt) - fps) * 0.05f;
        gameTime += dt * (g.ui.cheats[kSlowMotion] ? 0.25 : 1.0);

        beginGameFrame();
        drawScene(gameTime);
        int w = 0, h = 0;
        windowSize(w, h);
        drawOverlay(fps, g.config, w, h);
        if (drawSettings(g.ui, g.config)) changeVideo(g);
        std::string capture = capturePath(g, elapsed, ending);
        endGameFrame(g.config.fps, capture);
        if (!capture.empty()) g.log.line("capture " + capture);
        if (ending != Ending::None) return ending;
    }
}

// --- ending --------------------------------------------------------------------------------------

[[noreturn]] void crash(Game& g, const std::string& reason) {
    g.log.line("end: " + reason);
    std::string report, err;
    if (writeCrashReport(g.userDir, reason, g.log, report, err))
        g.log.line("crash report " + report);
    else
        g.log.line("no crash report: " + err);
    errorMessage("The game has crashed." +
                 (report.empty() ? std::string() : " A report was written to " + report));
#ifdef _WIN32
    std::_Exit(3); // the code abort gives, without the runtime's own message box
#else
    std::abort();
#endif
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = plat::commandLineArgs(argc, argv);
    Game g;
    g.userDir = plat::userDir();
    std::string err;
    bool logOpen = g.log.open(g.userDir, err);
    g.log.line(std::string("start: ") + kGameTitle + " " + kGameVersion +
               ", arguments: " + joinArgs(args));
    g.log.line("user folder " + g.userDir);
    if (!logOpen) std::fprintf(stderr, "%s: no log: %s\n", kGameTitle, err.c_str());

    GameOptions opts;
    if (!parseGameOptions(args, opts, err)) {
        g.log.line("end: refused to start: " + err + ", exit code 2");
        errorMessage("The game cannot start: " + err +
                     ".\nIt needs --elf with its program file and --iso with the disc image.");
        return kExitRefused;
    }
    readSwitches(g);
    readVideo(g);
    if (!openGameWindow(g.config.width, g.config.height, g.config.mode, err)) {
        g.log.line("end: no window: " + err + ", exit code 1");
        errorMessage("The game cannot open its window: " + err);
        closeGameWindow();
        return kExitNoWindow;
    }
    logWindow(g);

    std::string reason;
    if (run(g, reason) == Ending::TestCrash) crash(g, reason);
    // The launcher repeats its close request until the game has gone. Once SDL has shut down it
    // no longer turns a SIGTERM into a quit event, and the default action would end a game that
    // is closing cleanly with a code that reads like a crash.
    std::signal(SIGTERM, SIG_IGN);
    g.log.line("end: " + reason + ", exit code 0");
    closeGameWindow();
    return 0;
}
