// The disc check's verdict as the build script's check mode states it in its output lines.
#pragma once

#include <string>
#include <vector>

struct DiscVerdict {
    std::string okLine; // the last line that starts with "OK"; empty when none did
    std::string detail; // the script's own words for what is wrong with the image
};

// Reads the check's output lines in order: a line starting with "OK" is the acceptance, the reason
// of the last "ERROR verify " line is the detail, and failing that the first other line that is
// neither empty nor an "INFO" line (an interpreter's error trace, say).
DiscVerdict readDiscCheckLines(const std::vector<std::string>& lines);

// The reason with every quotation of the chosen image taken out: its full path, its folder (a cue
// sheet's track file is quoted in it) and its file name, the longest first. The script quotes
// them, and a name such as "European copy.iso" or a folder such as "My boots" must not pass for
// the script's own words.
std::string reasonWithoutPath(const std::string& reason, const std::string& path);

// The user's message for a refused image, in the current language: the first keyword of the
// refusal table that the reason holds outside its quotations of the chosen path; the message for
// a file that is no disc image when there is none.
std::string discRefusalMessage(const std::string& reason, const std::string& path);
