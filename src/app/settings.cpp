// Settings files: reading key = value lines · the two records from a map · the written texts ·
// replacing a file whole.
#include "app/settings.h"

#include "app/scan.h"
#include "app/textfile.h"
#include "plat/fs.h"

#include <cmath>
#include <cstdio>
#include <string_view>

namespace {

// Blanks are exactly these three: a CR is one so that files with CR LF line ends read as if the
// file had been opened in text mode on Windows.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trimBlanks(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// known, when given, lists the only keys kept (ending in nullptr).
void takeKeyValueLine(std::string_view line, bool stripComments,
                      std::map<std::string, std::string>& map, const char* const* known = nullptr) {
    if (stripComments) line = line.substr(0, line.find('#'));
    line = trimBlanks(line);
    if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') return;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return;
    std::string_view key = trimBlanks(line.substr(0, eq));
    if (known) {
        const char* const* k = known;
        while (*k && key != *k)
            ++k;
        if (!*k) return;
    }
    map[std::string(key)] = std::string(trimBlanks(line.substr(eq + 1)));
}

// The keys each record takes. The loaders keep only these, so that a file full of other keys
// (a damaged or hostile one) costs no memory.
const char* const kLauncherKeys[] = {"disc",
                                     "language",
                                     "motion",
                                     "build_pending",
                                     "built",
                                     "last_build_seconds",
                                     "pending_build_seconds",
                                     "update_check",
                                     nullptr};
const char* const kVideoKeys[] = {"size",     "mode",       "render_scale",
                                  "gs_scale", "frame_rate", nullptr};

bool readKnownKeys(const std::string& path, const char* const* known, bool stripComments,
                   std::map<std::string, std::string>& map) {
    return forEachLine(path, [&](std::string_view line) {
        takeKeyValueLine(line, stripComments, map, known);
        return true;
    });
}

const std::string* find(const std::map<std::string, std::string>& map, const char* key) {
    auto it = map.find(key);
    return it == map.end() ? nullptr : &it->second;
}

std::string textOf(const std::map<std::string, std::string>& map, const char* key) {
    const std::string* v = find(map, key);
    return v ? *v : std::string();
}

// Switches that are on unless switched off explicitly, and the reverse.
bool onUnlessZero(const std::map<std::string, std::string>& map, const char* key) {
    const std::string* v = find(map, key);
    return !v || *v != "0";
}

bool onlyIfOne(const std::map<std::string, std::string>& map, const char* key) {
    const std::string* v = find(map, key);
    return v && *v == "1";
}

double secondsOf(const std::map<std::string, std::string>& map, const char* key) {
    const std::string* v = find(map, key);
    if (!v) return 0.0;
    double s = scanDouble(*v);
    // A value beyond any double would come back as "inf" from the writer and then read as 0.
    return std::isfinite(s) ? s : 0.0;
}

// "%dx%d" with the minimum the game accepts; anything else keeps the previous size.
void takeSize(const std::string& value, VideoSettings& video) {
    size_t pos = 0;
    int w = 0, h = 0;
    if (scanInt(value, pos, w) != ScanResult::Ok) return;
    if (pos >= value.size() || value[pos] != 'x') return;
    ++pos;
    if (scanInt(value, pos, h) != ScanResult::Ok) return;
    if (w < 160 || h < 120) return;
    video.width = w;
    video.height = h;
}

void takeGsScale(const std::string& value, VideoSettings& video) {
    if (value.empty()) return;
    size_t pos = 0;
    int n = 0; // no number reads as 0, and the clamp below turns it into 1
    scanInt(value, pos, n);
    video.gs_scale = n < 1 ? 1 : (n > 4 ? 4 : n);
}

void appendLine(std::string& out, const char* key, std::string_view value) {
    out += key;
    out += " = ";
    out += value;
    out += '\n';
}

std::string formatSeconds(double seconds) {
    int n = std::snprintf(nullptr, 0, "%.0f", seconds);
    if (n <= 0) return "0";
    std::string s(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(s.data(), s.size(), "%.0f", seconds);
    s.resize(static_cast<size_t>(n));
    return s;
}

const char* const kVideoHeader =
    "# The window (the Video tab of the settings window, F2, writes this file; "
    "ZOLT_WINDOW_SIZE, ZOLT_WINDOW_MODE,\n"
    "# ZOLT_RENDER_SCALE and ZOLT_FRAME_RATE override it).\n"
    "# mode: windowed, fullscreen (exclusive) or borderless (the monitor's size). render_scale: "
    "the 3D drawn at\n"
    "# that many times the window's size each way (0.25 to 4). Frame rate is preserved from the "
    "in-game settings.\n"
    "\n"
    "[video]\n";

} // namespace

bool readKeyValueFile(const std::string& path, std::map<std::string, std::string>& map,
                      bool stripComments) {
    std::map<std::string, std::string> found;
    bool ok = forEachLine(path, [&](std::string_view line) {
        takeKeyValueLine(line, stripComments, found);
        return true;
    });
    if (!ok) return false;
    for (auto& [key, value] : found)
        map[key] = std::move(value);
    return true;
}

void readKeyValueText(std::string_view text, std::map<std::string, std::string>& map,
                      bool stripComments) {
    forEachLineOfText(text, [&](std::string_view line) {
        takeKeyValueLine(line, stripComments, map);
        return true;
    });
}

void takeLauncherSettings(const std::map<std::string, std::string>& map,
                          LauncherSettings& settings) {
    settings.disc = textOf(map, "disc");
    settings.language = textOf(map, "language");
    settings.motion = onUnlessZero(map, "motion");
    settings.update_check = onUnlessZero(map, "update_check");
    settings.build_pending = onlyIfOne(map, "build_pending");
    settings.built = onlyIfOne(map, "built");
    settings.last_build_seconds = secondsOf(map, "last_build_seconds");
    settings.pending_build_seconds = secondsOf(map, "pending_build_seconds");
}

void takeVideoSettings(const std::map<std::string, std::string>& map, VideoSettings& video) {
    if (const std::string* v = find(map, "size")) takeSize(*v, video);
    if (const std::string* v = find(map, "mode")) {
        if (*v == "windowed" || *v == "fullscreen" || *v == "borderless") video.mode = *v;
    }
    if (const std::string* v = find(map, "render_scale"); v && !v->empty()) video.render_scale = *v;
    if (const std::string* v = find(map, "frame_rate"); v && !v->empty()) video.frame_rate = *v;
    if (const std::string* v = find(map, "gs_scale")) takeGsScale(*v, video);
}

bool loadLauncherSettings(const std::string& path, LauncherSettings& settings) {
    std::map<std::string, std::string> map;
    if (!readKnownKeys(path, kLauncherKeys, false, map)) return false;
    takeLauncherSettings(map, settings);
    return true;
}

bool loadVideoSettings(const std::string& path, VideoSettings& video) {
    std::map<std::string, std::string> map;
    video.exists = readKnownKeys(path, kVideoKeys, true, map);
    if (!video.exists) return false;
    takeVideoSettings(map, video);
    return true;
}

std::string launcherSettingsText(const LauncherSettings& s) {
    std::string out = "# QM Launcher's settings (the launcher writes this file).\n[launcher]\n";
    appendLine(out, "disc", s.disc);
    appendLine(out, "language", s.language);
    appendLine(out, "motion", s.motion ? "1" : "0");
    appendLine(out, "build_pending", s.build_pending ? "1" : "0");
    appendLine(out, "built", s.built ? "1" : "0");
    appendLine(out, "last_build_seconds", formatSeconds(s.last_build_seconds));
    appendLine(out, "pending_build_seconds", formatSeconds(s.pending_build_seconds));
    appendLine(out, "update_check", s.update_check ? "1" : "0");
    return out;
}

std::string videoSettingsText(const VideoSettings& v) {
    // The record keeps 0 x 0 for "the game's default"; the file always names a real size, which
    // is what the game would pick anyway.
    int width = v.width == 0 ? 640 : v.width;
    int height = v.width == 0 ? 448 : v.height;
    std::string out = kVideoHeader;
    appendLine(out, "size", std::to_string(width) + "x" + std::to_string(height));
    appendLine(out, "mode", v.mode);
    appendLine(out, "render_scale", v.render_scale);
    appendLine(out, "gs_scale", std::to_string(v.gs_scale));
    appendLine(out, "frame_rate", v.frame_rate);
    return out;
}

bool saveLauncherSettings(const LauncherSettings& settings, const std::string& path) {
    return writeFileReplacing(path, launcherSettingsText(settings));
}

bool saveVideoSettings(const VideoSettings& video, const std::string& path) {
    return writeFileReplacing(path, videoSettingsText(video));
}

bool writeFileReplacing(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp";
    FILE* f = plat::openFile(tmp, "wb");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    // On the disk before the rename: after a power cut the target is the old file or the new
    // one, never an empty file whose data had not been written yet.
    ok = ok && plat::flushToDisk(f);
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) return false;
    return plat::replaceFile(tmp, path);
}
