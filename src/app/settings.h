// The two settings files of the user folder: launcher.ini (the launcher's own options and the
// build state that survives a restart) and video.ini (the window the game opens with, shared with
// the game, which reads and writes it too). Both are always written whole.
#pragma once

#include <map>
#include <string>
#include <string_view>

struct LauncherSettings {
    std::string disc;     // the disc image that the last disc check accepted
    std::string language; // "en" or "fr" once the user picked one; empty: the system decides
    bool motion = true;
    bool build_pending = false;
    bool built = false;
    double last_build_seconds = 0;
    double pending_build_seconds = 0;
    bool update_check = true;
};

struct VideoSettings {
    int width = 0; // 0 x 0 stands for the game's default size, 640 x 448
    int height = 0;
    std::string mode = "windowed";   // "windowed", "fullscreen" or "borderless"
    std::string render_scale = "1";  // carried verbatim, never interpreted here
    int gs_scale = 1;                // 1 to 4
    std::string frame_rate = "game"; // carried verbatim
    bool exists = false;             // read at start or written since; not a key of the file
};

// Adds the key = value lines of the file to map (a later line wins). False when the file cannot
// be opened or read; map is then unchanged. With stripComments a "#" anywhere starts a comment.
bool readKeyValueFile(const std::string& path, std::map<std::string, std::string>& map,
                      bool stripComments);
// The same rules applied to text already in memory.
void readKeyValueText(std::string_view text, std::map<std::string, std::string>& map,
                      bool stripComments);

// The values of a read map that a record takes, by the rules of each key; keys that are absent
// (or, for video.ini, invalid) leave what the record held.
void takeLauncherSettings(const std::map<std::string, std::string>& map,
                          LauncherSettings& settings);
void takeVideoSettings(const std::map<std::string, std::string>& map, VideoSettings& video);

// Each loader leaves the record untouched when the file cannot be read; loadVideoSettings sets
// exists to its result.
bool loadLauncherSettings(const std::string& path, LauncherSettings& settings);
bool loadVideoSettings(const std::string& path, VideoSettings& video);

// The whole file's text as it is written.
std::string launcherSettingsText(const LauncherSettings& settings);
std::string videoSettingsText(const VideoSettings& video);

bool saveLauncherSettings(const LauncherSettings& settings, const std::string& path);
// A width of 0 (the game's default size) is written as 640x448.
bool saveVideoSettings(const VideoSettings& video, const std::string& path);

// Writes text to path + ".tmp", puts it on the disk and moves it over path, so that a reader, or a
// power cut, finds either the old file or the new one whole. On failure path is untouched.
bool writeFileReplacing(const std::string& path, const std::string& text);
