// What identifies the launcher (version and commit compiled in), the release's source tree
// (release.ini) and the last built game (built_from.ini), and the rules for version numbers.
#pragma once

#include <string>
#include <string_view>

inline constexpr const char* kLauncherVersion = "0.6.1";
inline constexpr const char* kRepoName = "ZO_Duzoru";

// Defined in the file that the build generates from the source's git commit.
extern const char* const kLauncherCommit;

// The commit id of the launcher's own source, 40 lowercase hexadecimal digits.
const char* launcherCommit();

// The value of the first line of the file that defines key, or empty text. Unlike the settings
// files: the first definition wins, values keep trailing blanks and no inline comment is cut.
std::string readIniValue(const std::string& path, const std::string& key);
// The same, from text already in memory.
std::string readIniValueText(std::string_view text, const std::string& key);

// [v]MAJOR.MINOR.PATCH[-suffix][+build]. True when the three numbers were read; a number that
// does not fit an int makes the text unreadable.
bool parseVersion(const std::string& text, int& major, int& minor, int& patch, std::string& suffix);

// Whether candidate is a newer release than own; a final release is newer than a pre-release of
// the same number, and pre-release suffixes compare byte by byte.
bool isNewerVersion(const std::string& candidate, const std::string& own);
