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
