// The build: eight steps from the disc image to the game folder, reported with the progress
// protocol the launcher reads, each step continued or skipped as the release's qm_build.py does.
#pragma once

#include "support.h"

#include <map>
#include <string>
#include <vector>

struct Build {
    std::string script;    // the build script's path, as the launcher named it
    std::string sourceDir; // the release's source folder: the script's folder's parent
    std::string disc, out, game, logs;
    std::string commit, version;
    std::string program; // source/demo/qm.exe (qm elsewhere), which stage installs
    std::map<std::string, std::string> digests; // step -> digest of its outputs, once done
};

// A step: fills refs with the files it produced ("out:..." or "game:..."); false with a reason
// meant for the user.
using StepFn = bool (*)(Build& b, Pacer& pace, StepLog& log, std::vector<std::string>& refs,
                        std::string& reason);
StepFn stepFunction(const std::string& step);

// The program's own identity, which every stamp records: another stand-in builds again.
std::string codeFingerprint();

int runCheck(const std::string& disc);
int runBuild(Build& b);
// A compile worker started by the compile step: compiles the units its job file names.
int runWorker(const std::string& jobPath);
// The compile step, with its workers (compile.cpp).
bool stepCompile(Build& b, Pacer& pace, StepLog& log, std::vector<std::string>& refs,
                 std::string& reason);
