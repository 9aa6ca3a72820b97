// Check mode, the stamps that let a stopped build continue, and the build driver.
//
// Sections: check mode · stamps · inputs · the driver
#include "build.h"
#include "disc.h"
#include "sha1.h"

#include "plat/clock.h"
#include "plat/fs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const char* const kSteps[] = {"verify",    "extract", "configure", "tools",
                              "recompile", "packs",   "compile",   "stage"};
const int kStampVersion = 1;

} // namespace

// --- check mode --------------------------------------------------------------------------------

int runCheck(const std::string& disc) {
    int lastTenth = -1;
    DiscInfo info;
    std::string reason;
    bool ok = identifyDisc(
        disc, [](const std::string& t) { emit("INFO " + t); },
        [&](double f) {
            int tenth = int(f * 10);
            if (tenth != lastTenth) emit(format("INFO hashing %d %%", tenth * 10));
            lastTenth = tenth;
        },
        info, reason);
    if (!ok) {
        emit("ERROR verify " + reason);
        return 1;
    }
    emit("OK " + info.serial + " USA disc, SHA-1 matches a known good copy (" + info.label + ")");
    return 0;
}

// --- stamps ------------------------------------------------------------------------------------
// One file per finished step: the digest of the inputs it used and every file it produced with
// size and SHA-1. A step is skipped only when all of that holds again. A stamp is written after
// the step's last output and removed before the step starts, so a run killed at any moment
// leaves no stamp for unfinished work.

namespace {

std::string stampPath(const Build& b, const std::string& step) {
    return below(b.out, "stamps/" + step + ".stamp");
}

std::string resolve(const Build& b, const std::string& ref) {
    size_t colon = ref.find(':');
    return below(ref.compare(0, colon, "game") == 0 ? b.game : b.out, ref.substr(colon + 1));
}

// The digest of a valid stamp, or empty.
std::string validStamp(const Build& b, const std::string& step, const std::string& inputs) {
    std::string text;
    if (!readFile(stampPath(b, step), text)) return "";
    if (iniValue(text, "version") != std::to_string(kStampVersion) ||
        iniValue(text, "inputs") != inputs)
        return "";
    size_t at = 0;
    while ((at = text.find("\noutput ", at)) != std::string::npos) {
        at += 8;
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end - at);
        size_t s1 = line.find(' '), s2 = line.find(' ', s1 + 1);
        if (s1 == std::string::npos || s2 == std::string::npos) return "";
        std::string path = resolve(b, line.substr(s2 + 1)), sha1;
        uint64_t size = 0, written = 0;
        if (!plat::fileInfo(path, size, written) || std::to_string(size) != line.substr(0, s1) ||
            !fileSha1(path, sha1) || sha1 != line.substr(s1 + 1, s2 - s1 - 1))
            return "";
    }
    return iniValue(text, "digest");
}

bool writeStamp(const Build& b, const std::string& step, const std::string& inputs,
                std::vector<std::string> refs, std::string& digest, std::string& reason) {
    std::sort(refs.begin(), refs.end());
    refs.erase(std::unique(refs.begin(), refs.end()), refs.end());
    std::string outputs;
    for (const std::string& ref : refs) {
        std::string path = resolve(b, ref), sha1;
        uint64_t size = 0, written = 0;
        if (!plat::fileInfo(path, size, written) || !fileSha1(path, sha1)) {
            reason = format("%s (%s)", std::strerror(errno ? errno : ENOENT), path.c_str());
            return false;
        }
        outputs +=
            format("output %llu %s %s\n", (unsigned long long)size, sha1.c_str(), ref.c_str());
    }
    // The digest covers the outputs alone: a step that ran again and made the same files lets the
    // steps that read them skip.
    digest = sha1Hex(outputs);
    return writeFile(
        stampPath(b, step),
        format("version %d\nstep %s\ninputs %s\n", kStampVersion, step.c_str(), inputs.c_str()) +
            outputs + "digest " + digest + "\n",
        reason);
}

// --- inputs ------------------------------------------------------------------------------------

// The earlier steps whose outputs each step reads; verify and extract read the image itself.
const std::map<std::string, std::vector<std::string>> kReads = {
    {"verify", {}},
    {"extract", {}},
    {"configure", {"verify", "extract"}},
    {"tools", {}},
    {"recompile", {"extract", "configure", "tools"}},
    {"packs", {"extract", "configure"}},
    {"compile", {"configure", "tools", "recompile"}},
    {"stage", {"extract", "configure"}}};

std::string fileIdentity(const std::string& path) {
    uint64_t size = 0, written = 0;
    if (!plat::fileInfo(path, size, written)) return "none";
    return format("%s %llu %llu", plat::absolutePath(path).c_str(), (unsigned long long)size,
                  (unsigned long long)written);
}

// verify trusts the image's path, size and time rather than hashing it again on every run; the
// steps that read the image go by the SHA-1 that verify found, so another copy of the same disc
// rebuilds nothing.
std::string inputsOf(const Build& b, const std::string& step) {
    std::string text = "code " + codeFingerprint() + "\n";
    for (const std::string& read : kReads.at(step))
        text += "reads " + read + " " + b.digests.at(read) + "\n";
    if (step == "verify") {
        text += "disc " + fileIdentity(b.disc) + "\n";
        DiscImage img;
        std::string reason;
        // A cue sheet's track file counts too: it holds the data.
        if (img.open(b.disc, reason) && img.dataPath() != b.disc)
            text += "track " + fileIdentity(img.dataPath()) + "\n";
    }
    if (step == "extract" || step == "stage") {
        std::string disc;
        readFile(below(b.out, "disc.txt"), disc);
        text += "disc_sha1 " + iniValue(disc, "sha1") + "\n";
    }
    if (step == "stage") {
        std::string sha1;
        text += "program " + (fileSha1(b.program, sha1) ? sha1 : std::string("none")) + "\n";
    }
    return sha1Hex(text);
}

// --- the driver --------------------------------------------------------------------------------

bool fail(const std::string& step, StepLog& log, const std::string& reason) {
    std::string words, word;
    for (char c : reason + " ") {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!word.empty()) words += (words.empty() ? "" : " ") + word;
            word.clear();
        } else {
            word += c;
        }
    }
    log("ERROR: " + words);
    emit("ERROR " + step + " " + words);
    return false;
}

bool runStep(Build& b, const std::string& step, const std::string& inputs) {
    emit("PROGRESS " + step);
    double t0 = plat::now();
    StepLog log(b.logs, step, false);
    log(format("%s started (the kit's stand-in interpreter, release %s %s)", step.c_str(),
               b.version.c_str(), b.commit.c_str()));
    Pacer pace(step, stepSeconds(step), step == "compile");
    pace.show(0.0);
    if (envText("QM_BUILD_HANG") == step) {
        log("hanging here as QM_BUILD_HANG asks");
        for (;;)
            plat::sleepMs(60000);
    }
    if (envText("QM_BUILD_FAIL_STEP") == step) {
        pace.reach(0.3);
        return fail(step, log, "failing on purpose as QM_BUILD_FAIL_STEP asks");
    }
    std::vector<std::string> refs;
    std::string reason, digest;
    if (!stepFunction(step)(b, pace, log, refs, reason) ||
        !writeStamp(b, step, inputs, refs, digest, reason))
        return fail(step, log, reason);
    double seconds = plat::now() - t0;
    log(format("done in %.2f s, %zu files recorded", seconds, refs.size()));
    emit(format("DONE %s took %.2f s", step.c_str(), seconds));
    b.digests[step] = digest;
    return true;
}

// Names the source the game folder now matches. Written by every completed build, not by a
// step: a release whose changes touch no step's inputs skips them all, and the launcher must
// still learn that the game is built from it.
bool writeBuiltFrom(const Build& b) {
    StepLog log(b.logs, "stage", true);
    if (b.commit.empty())
        log("warning: " + plat::joinPath(b.sourceDir, "release.ini") + " names no commit");
    std::string disc, reason;
    readFile(below(b.out, "disc.txt"), disc);
    std::string text =
        "# Written by qm_build.py when it assembled this folder.\ncommit = " + b.commit +
        "\nversion = " + b.version + "\ndisc = " + iniValue(disc, "serial") + " " +
        iniValue(disc, "sha1") + "\n";
    std::string path = plat::joinPath(b.game, "built_from.ini"), old;
    if ((!readFile(path, old) || old != text) && !writeFile(path, text, reason))
        return fail("stage", log, "built_from.ini cannot be written: " + reason);
    log("built_from.ini: commit = " + b.commit);
    return true;
}

} // namespace

int runBuild(Build& b) {
    b.logs = plat::joinPath(b.out, "logs");
    if (!plat::makeDirs(b.logs)) {
        emit(format("ERROR verify the build folder %s cannot be created: %s", b.out.c_str(),
                    std::strerror(errno)));
        return 1;
    }
    for (const char* step : kSteps) {
        std::string inputs = inputsOf(b, step);
        std::string digest = validStamp(b, step, inputs);
        if (!digest.empty()) {
            emit(format("SKIP %s done by an earlier run, outputs intact", step));
            StepLog(b.logs, step, true)("skipped: an earlier run finished this step and its inputs "
                                        "and outputs are unchanged");
            b.digests[step] = digest;
            continue;
        }
        plat::removePath(stampPath(b, step));
        if (!runStep(b, step, inputs)) return 1;
    }
    if (!writeBuiltFrom(b)) return 1;
    if (envText("QM_BUILD_NO_RESULT") != "" && envText("QM_BUILD_NO_RESULT") != "0") return 0;
    emit("RESULT ok the game is ready in " + b.game);
    return 0;
}
