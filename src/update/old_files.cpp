// The start-up clean-up of what an installed update could not delete while the old launcher ran.
#include "app/app.h"
#include "plat/fs.h"

#include <cstdio>
#include <cstring>

// A listed path is deleted only when it lies inside the release folder: the list is a file on
// disk, and a path that merely starts with the same letters ("/opt/qm" against "/opt/qm-other")
// or climbs out with ".." must never make the launcher delete something of the user's.
static bool insideRelease(const std::string& path, const std::string& releaseDir) {
    if (releaseDir.empty() || path.size() <= releaseDir.size()) return false;
    if (path.compare(0, releaseDir.size(), releaseDir) != 0) return false;
    char next = path[releaseDir.size()];
    bool sepAfter = next == '/' || next == '\\';
    bool sepEnds = releaseDir.back() == '/' || releaseDir.back() == '\\';
    if (!sepAfter && !sepEnds) return false;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find_first_of("/\\", i);
        if (j == std::string::npos) j = path.size();
        if (path.compare(i, j - i, "..") == 0 && j - i == 2) return false;
        i = j + 1;
    }
    return true;
}

static std::vector<std::string> readLines(FILE* f) {
    std::vector<std::string> lines;
    std::string line;
    int c;
    while ((c = fgetc(f)) != EOF) {
        if (c != '\n') {
            line += char(c);
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        line.clear();
    }
    if (!line.empty()) {
        if (line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

void App::cleanOldFiles() {
    std::string updateDir = plat::joinPath(releaseDir, "update");
    std::string listPath = plat::joinPath(updateDir, "old_files.txt");
    FILE* f = plat::openFile(listPath, "rb");
    if (!f) return;
    std::vector<std::string> lines = readLines(f);
    fclose(f);

    std::vector<std::string> kept;
    for (const std::string& line : lines) {
        if (!insideRelease(line, releaseDir) || line.find(".qm-old") == std::string::npos) continue;
        if (!plat::removePath(line) && pathExists(line)) kept.push_back(line);
    }
    if (kept.empty()) {
        plat::removePath(listPath);
        plat::removePath(updateDir); // only succeeds when nothing else is left in it
        return;
    }
    std::string text;
    for (const std::string& line : kept)
        text += line + "\n";
    if (FILE* out = plat::openFile(listPath, "w")) {
        fwrite(text.data(), 1, text.size(), out);
        fclose(out);
    }
}
