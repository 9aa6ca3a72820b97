// The failure details report that "Copy details" puts on the clipboard. Its fixed texts are
// English in both languages: it is meant for a bug report, not for the user's eyes.
#include "app/app.h"
#include "app/identity.h"
#include "plat/fs.h"

#include <cstdio>
#include <deque>

std::string App::stepLogPath() const {
    std::string step = progress.failedStep.empty() ? "verify" : progress.failedStep;
    return plat::joinPath(buildLogsDir, step + ".log");
}

// The last n lines of a text file, read as text: a CR before each LF goes, and a last line
// without a line feed still counts. Only n lines are ever held.
static bool lastLines(const std::string& path, size_t n, std::deque<std::string>& out) {
    FILE* f = plat::openFile(path, "rb");
    if (!f) return false;
    std::string line;
    auto push = [&] {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(std::move(line));
        if (out.size() > n) out.pop_front();
        line.clear();
    };
    char buf[65536];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, f)) > 0) {
        for (size_t i = 0; i < got; ++i) {
            if (buf[i] == '\n')
                push();
            else if (line.size() < kOutputLineMax)
                line += buf[i];
        }
    }
    if (!line.empty()) push();
    fclose(f);
    return true;
}

std::string App::failureDetails() const {
    std::string r =
        "QM Launcher " + std::string(kLauncherVersion) + " (" + launcherCommit() + ")\n";
    r += "Source: " + sourceVersion + " " + sourceCommit + ", game built from: " + builtFromCommit +
         "\n";
    r += "Step: " + progress.failedStep + "\nMessage: " + progress.error + "\n";
    r += "Disc: " + settings.disc + "\nRelease folder: " + releaseDir +
         "\n\n--- qm_build output ---\n";
    size_t n = progress.output.size();
    for (size_t i = n > 60 ? n - 60 : 0; i < n; ++i)
        r += progress.output[i] + "\n";

    std::deque<std::string> log;
    std::string path = stepLogPath();
    if (lastLines(path, 60, log)) {
        r += "\n--- " + plat::fileName(path) + " (last lines) ---\n";
        for (const std::string& line : log)
            r += line + "\n";
    }
    return r;
}
