// Stands in for the kit's Python where no Windows Python can be had (the Windows test release
// installs it as kit\python\python.exe). It takes the command lines the launcher gives the
// interpreter and runs the release's build script qm_build.py, and only that script: the same
// check and build modes, output lines, exit codes and files, with the same disc table. The
// installer's script is not among what it can run.
#include "build.h"
#include "sha1.h"

#include "plat/env.h"
#include "plat/fs.h"

#include <cstdio>

namespace {

#ifdef _WIN32
const char* const kGameProgram = "qm.exe";
#else
const char* const kGameProgram = "qm";
#endif

int usage(const std::string& message) {
    std::fprintf(stderr,
                 "usage: qm_build.py [-h] [--check] [--disc DISC] [--out OUT] [--game GAME]\n"
                 "qm_build.py: error: %s\n",
                 message.c_str());
    return 2;
}

// First definition of key wins; the key loses trailing blanks, the value its leading ones.
std::string releaseValue(const std::string& text, const std::string& key) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t eq = line.find('=');
        if (eq == std::string::npos || line[0] == '#') continue;
        std::string name = line.substr(0, eq);
        name.erase(name.find_last_not_of(" \t") + 1);
        if (name == key)
            return line.substr(std::min(line.size(), line.find_first_not_of(" \t", eq + 1)));
    }
    return "";
}

struct ScriptArgs {
    bool check = false;
    std::string disc, out, game, worker;
};

// The script's own options, as its argument parser takes them ("--disc X" or "--disc=X").
bool parseScriptArgs(const std::vector<std::string>& args, size_t i, ScriptArgs& a,
                     std::string& error) {
    for (; i < args.size(); ++i) {
        std::string name = args[i], value;
        bool inline_ = false;
        if (size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inline_ = true;
        }
        std::string* target = name == "--disc"     ? &a.disc
                              : name == "--out"    ? &a.out
                              : name == "--game"   ? &a.game
                              : name == "--worker" ? &a.worker
                                                   : nullptr;
        if (name == "--check" && !inline_) {
            a.check = true;
        } else if (!target) {
            error = "unrecognized arguments: " + args[i];
            return false;
        } else if (!inline_ && i + 1 >= args.size()) {
            error = "argument " + name + ": expected one argument";
            return false;
        } else {
            *target = inline_ ? value : args[++i];
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = plat::commandLineArgs(argc, argv);
    size_t i = 0;
    // The interpreter's own options that the launcher passes: isolated mode and UTF-8 mode, which
    // this program keeps anyway.
    while (i < args.size() && args[i].size() > 1 && args[i][0] == '-') {
        if (args[i] == "-X" && i + 1 < args.size())
            i += 2;
        else if (args[i] == "-I" || args[i].rfind("-X", 0) == 0)
            ++i;
        else {
            std::fprintf(stderr, "python: unknown option %s\n", args[i].c_str());
            return 2;
        }
    }
    if (i >= args.size()) {
        std::fprintf(stderr, "python: this stand-in for the kit's Python runs the release's build "
                             "script: python -I -X utf8 qm_build.py ...\n");
        return 2;
    }
    std::string script = plat::absolutePath(args[i++]);
    if (plat::fileName(script) != "qm_build.py") {
        std::fprintf(stderr,
                     "python: this stand-in for the kit's Python runs only qm_build.py, not %s\n",
                     script.c_str());
        return 2;
    }
    if (!pathExists(script)) {
        std::fprintf(stderr, "python: can't open file '%s': No such file or directory\n",
                     script.c_str());
        return 2;
    }
    ScriptArgs a;
    std::string error;
    if (!parseScriptArgs(args, i, a, error)) return usage(error);
    if (!a.worker.empty()) return runWorker(a.worker);
    if (a.disc.empty()) return usage("--disc IMAGE is required");
    if (a.check) {
        if (!a.out.empty() || !a.game.empty()) return usage("--check takes only --disc");
        return runCheck(a.disc);
    }
    if (a.out.empty() || a.game.empty()) return usage("a build needs --disc, --out and --game");
    Build b;
    b.script = script;
    b.sourceDir = plat::parentDir(plat::parentDir(script));
    b.disc = plat::absolutePath(a.disc);
    b.out = plat::absolutePath(a.out);
    b.game = plat::absolutePath(a.game);
    b.program = plat::joinPath(plat::joinPath(b.sourceDir, "demo"), kGameProgram);
    std::string ini;
    readFile(plat::joinPath(b.sourceDir, "release.ini"), ini);
    b.commit = releaseValue(ini, "commit");
    b.version = releaseValue(ini, "version");
    return runBuild(b);
}

std::string codeFingerprint() {
    static std::string fingerprint;
    if (fingerprint.empty() && !fileSha1(plat::exePath(), fingerprint)) fingerprint = "unknown";
    return fingerprint;
}
