// The command line · the values of the window · video.ini with the environment on top.
#include "game_config.h"

#include "plat/env.h"
#include "plat/fs.h"

#include <cstdio>
#include <cstdlib>

// --- command line --------------------------------------------------------------------------------

bool parseGameOptions(const std::vector<std::string>& args, GameOptions& opts, std::string& err) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string* target = nullptr;
        if (args[i] == "--elf") target = &opts.elf;
        if (args[i] == "--iso") target = &opts.iso;
        if (!target) continue;
        if (i + 1 >= args.size()) {
            err = args[i] + " needs a file";
            return false;
        }
        *target = args[++i];
    }
    struct Need {
        const char* option;
        const std::string& path;
    };
    for (const Need& need : {Need{"--elf", opts.elf}, Need{"--iso", opts.iso}}) {
        if (need.path.empty()) {
            err = std::string("no ") + need.option + " file was given";
            return false;
        }
        if (!pathExists(need.path)) {
            err = std::string("the ") + need.option + " file does not exist: " + need.path;
            return false;
        }
    }
    return true;
}

// --- the values of the window --------------------------------------------------------------------

bool parseWindowSize(const std::string& text, int& width, int& height) {
    int w = 0, h = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &rest) != 2) return false;
    bool isDefault = w == 0 && h == 0;
    if (!isDefault && (w < 160 || h < 120)) return false;
    width = w;
    height = h;
    return true;
}

bool isWindowMode(const std::string& text) {
    return text == "windowed" || text == "fullscreen" || text == "borderless";
}

bool isRenderScale(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    return *end == 0 && v >= 0.25 && v <= 4;
}

bool frameRateFps(const std::string& text, int& fps) {
    if (text == "game") {
        fps = 60;
        return true;
    }
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || v < 10 || v > 240) return false;
    fps = int(v);
    return true;
}

// --- video.ini with the environment on top -------------------------------------------------------

namespace {

void noteOverride(const char* var, const std::string& value, bool taken,
                  std::vector<std::string>& notes) {
    notes.push_back(std::string(var) + "=" + value +
                    (taken ? " overrides video.ini" : " is not valid and was ignored"));
}

} // namespace

WindowConfig resolveWindowConfig(const VideoSettings& file, std::vector<std::string>& notes) {
    WindowConfig c;
    if (file.width > 0 && file.height > 0) {
        c.width = file.width;
        c.height = file.height;
    }
    if (isWindowMode(file.mode)) c.mode = file.mode;
    if (isRenderScale(file.render_scale))
        c.renderScale = file.render_scale;
    else
        notes.push_back("render_scale " + file.render_scale + " is not valid; 1 is used");
    if (frameRateFps(file.frame_rate, c.fps))
        c.frameRate = file.frame_rate;
    else
        notes.push_back("frame_rate " + file.frame_rate + " is not valid; game is used");

    std::string v = plat::getEnv("ZOLT_WINDOW_SIZE");
    if (!v.empty())
        noteOverride("ZOLT_WINDOW_SIZE", v, parseWindowSize(v, c.width, c.height), notes);
    v = plat::getEnv("ZOLT_WINDOW_MODE");
    if (!v.empty()) {
        bool ok = isWindowMode(v);
        if (ok) c.mode = v;
        noteOverride("ZOLT_WINDOW_MODE", v, ok, notes);
    }
    v = plat::getEnv("ZOLT_RENDER_SCALE");
    if (!v.empty()) {
        bool ok = isRenderScale(v);
        if (ok) c.renderScale = v;
        noteOverride("ZOLT_RENDER_SCALE", v, ok, notes);
    }
    v = plat::getEnv("ZOLT_FRAME_RATE");
    if (!v.empty()) {
        bool ok = frameRateFps(v, c.fps);
        if (ok) c.frameRate = v;
        noteOverride("ZOLT_FRAME_RATE", v, ok, notes);
    }
    if (c.width == 0 || c.height == 0) {
        c.width = kDefaultWidth;
        c.height = kDefaultHeight;
    }
    return c;
}
