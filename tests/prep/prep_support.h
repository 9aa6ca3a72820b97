// Releases and disc images made by the fixture scripts, for the tests that run the real build
// script through the App.
#pragma once

#include "support/temp_dir.h"

#include <cstdio>
#include <string>

namespace prep_test {

inline std::string sh(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    size_t n;
    while (p && (n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    if (p) pclose(p);
    return out;
}

// The folder of the fixture images, made at the first call and kept for the whole program.
inline const std::string& fixtureDiscs() {
    static TempDir tmp;
    static const std::string dir = [] {
        sh("python3 " QM_SOURCE_DIR "/fixtures/make_discs.py " + tmp.path() + " >/dev/null 2>&1");
        return tmp.path();
    }();
    return dir;
}

// A complete release in dir, with the launcher's helpers from this build.
inline void makeRelease(const std::string& dir) {
    sh("python3 " QM_SOURCE_DIR "/fixtures/make_release.py " + dir +
       " --bin " QM_BIN_DIR " >/dev/null");
}

} // namespace prep_test
