// The compile step and its workers. The workers are processes of their own that stay in the
// build's tree: nothing of this program ends them when the build is ended, so stopping a build
// must end the whole tree, as with the release's script. Each worker notes its start and its
// normal end in build/logs/workers.log: a worker that outlived a stopped build would add an end
// there.
//
// Sections: the worker · the step
#include "build.h"
#include "sha1.h"

#include "plat/clock.h"
#include "plat/fs.h"
#include "plat/process.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>

namespace {

std::vector<std::string> wordsAfter(const std::string& text, const std::string& key) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = std::min(text.find('\n', at), text.size());
        if (text.compare(at, key.size() + 1, key + " ") == 0)
            out.push_back(text.substr(at + key.size() + 1, end - at - key.size() - 1));
        at = end + 1;
    }
    return out;
}

// Appends a line to a file that another process reads as it grows.
void note(const std::string& logPath, const std::string& line) {
    if (FILE* f = plat::openFile(logPath, "ab")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

} // namespace

// --- the worker --------------------------------------------------------------------------------

// A worker's line to the build. Unlike the build's own output, a failed write does not end the
// worker: one whose build is gone carries on, as a stubborn helper would, and only the end of the
// whole tree ends it.
static void say(const std::string& line) {
    std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

// Compiles its share of the units, reporting "P <fraction>", "O <unit>" and finally "END" on its
// output, paced to the seconds the job allows.
int runWorker(const std::string& jobPath) {
    std::string job, reason;
    if (!readFile(jobPath, job)) return 1;
    std::string token = iniValue(job, "token");
    std::string workersLog = iniValue(job, "log");
    note(workersLog, "started " + token);
    double seconds = std::atof(iniValue(job, "seconds").c_str()), t0 = plat::now();
    std::vector<std::string> units = wordsAfter(job, "unit");
    for (size_t i = 0; i < units.size(); ++i) {
        std::string src;
        if (!readFile(below(iniValue(job, "src"), units[i] + ".c"), src)) {
            say("FAIL " + units[i] + ".c cannot be read");
            return 1;
        }
        if (!writeFile(below(iniValue(job, "obj"), units[i] + ".o"),
                       "QMO1 " + sha1Hex(src) + "\n" + src, reason)) {
            say("FAIL " + reason);
            return 1;
        }
        say("O " + units[i]);
        double goal = double(i + 1) / double(units.size());
        for (;;) {
            double spent = plat::now() - t0;
            say(format("P %.4f", seconds > 0 ? std::min(goal, spent / seconds) : goal));
            if (spent >= goal * seconds) break;
            plat::sleepMs(int(kTick * 1000));
        }
    }
    note(workersLog, "ended " + token);
    say("END");
    return 0;
}

// --- the step ----------------------------------------------------------------------------------

namespace {

struct Worker {
    std::unique_ptr<plat::Process> process = std::make_unique<plat::Process>();
    std::vector<std::string> units;
    double progress = 0;
    bool finished = false;
};

bool startWorkers(Build& b, std::vector<Worker>& workers, double seconds, StepLog& log,
                  std::string& reason) {
    long long stamp = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
    for (size_t k = 0; k < workers.size(); ++k) {
        std::string job = below(b.out, format("compile/worker_%zu.txt", k));
        std::string text = format("seconds %.3f\nsrc %s\nobj %s\nlog %s\ntoken %lld-%zu\n", seconds,
                                  below(b.out, "recomp").c_str(), below(b.out, "obj").c_str(),
                                  plat::joinPath(b.logs, "workers.log").c_str(), stamp, k);
        for (const std::string& u : workers[k].units)
            text += "unit " + u + "\n";
        std::string err;
        if (!writeFile(job, text, reason)) return false;
        if (!workers[k].process->startInOurTree(plat::exePath(),
                                                {"-I", "-X", "utf8", b.script, "--worker", job},
                                                b.sourceDir, err)) {
            reason = "a compile worker could not start: " + err;
            return false;
        }
        log(format("worker %zu (pid %u): %zu units", k, workers[k].process->pid(),
                   workers[k].units.size()));
    }
    return true;
}

// Reads what the workers said until all have ended; false with the last thing a failing one said.
bool watchWorkers(std::vector<Worker>& workers, size_t unitCount, Pacer& pace, StepLog& log,
                  std::set<std::string>& compiled, std::string& tail) {
    size_t finished = 0;
    while (finished < workers.size()) {
        for (size_t k = 0; k < workers.size(); ++k) {
            Worker& w = workers[k];
            if (w.finished) continue;
            std::vector<std::string> lines = w.process->takeLines();
            if (!w.process->running()) {
                w.process->waitOutput(2000);
                for (std::string& l : w.process->takeLines())
                    lines.push_back(std::move(l));
                w.finished = true;
                ++finished;
            }
            for (const std::string& line : lines) {
                if (line.compare(0, 2, "P ") == 0) {
                    w.progress = std::atof(line.c_str() + 2);
                } else if (line.compare(0, 2, "O ") == 0) {
                    compiled.insert(line.substr(2));
                    log(format("worker %zu: %s.o", k, line.c_str() + 2));
                } else if (!line.empty() && line != "END") {
                    tail = format("worker %zu: %s", k, line.c_str());
                    log(tail);
                }
            }
        }
        double done = 0;
        for (const Worker& w : workers)
            done += w.progress * double(w.units.size());
        pace.fraction = 0.9 * done / double(unitCount);
        pace.show(pace.fraction);
        if (finished < workers.size()) plat::sleepMs(int(kTick * 1000));
    }
    std::string codes;
    bool ok = true;
    for (const Worker& w : workers) {
        codes += (codes.empty() ? "" : ", ") + std::to_string(w.process->exitCode());
        ok = ok && w.process->exitCode() == 0;
    }
    if (tail.empty()) tail = "exit codes [" + codes + "]";
    return ok;
}

bool link(Build& b, const std::vector<std::string>& units, StepLog& log, std::string& reason) {
    std::string image, map, obj;
    for (const std::string& u : units) {
        if (!readFile(below(b.out, "obj/" + u + ".o"), obj)) {
            reason = "the object " + u + ".o cannot be read";
            return false;
        }
        map += format("0x%08zx %6zu %s\n", image.size(), obj.size(), u.c_str());
        image += obj;
    }
    log(format("linked %zu units, %zu bytes", units.size(), image.size()));
    return writeFile(below(b.out, "compile/qm_code.bin"), image, reason) &&
           writeFile(below(b.out, "compile/qm_code.map"), map, reason);
}

} // namespace

bool stepCompile(Build& b, Pacer& pace, StepLog& log, std::vector<std::string>& refs,
                 std::string& reason) {
    std::string config, list;
    if (!readFile(below(b.out, "config.txt"), config) ||
        !readFile(below(b.out, "recomp/units.txt"), list)) {
        reason = "the recompiled units are missing from " + b.out;
        return false;
    }
    std::vector<std::string> units = wordsAfter(list, "unit");
    if (units.empty()) {
        reason = "the recompile step left no units";
        return false;
    }
    if (!freshDir(below(b.out, "obj"), reason) || !freshDir(below(b.out, "compile"), reason))
        return false;
    size_t n = std::max<size_t>(
        1, std::min<size_t>(std::max(1, std::atoi(iniValue(config, "workers").c_str())),
                            units.size()));
    std::vector<Worker> workers(n);
    for (size_t i = 0; i < units.size(); ++i)
        workers[i % n].units.push_back(units[i]);
    pace.show(0.0);
    if (!startWorkers(b, workers, 0.9 * pace.seconds(), log, reason)) return false;
    emit(format("INFO compiling %zu units with %zu workers", units.size(), n));
    std::set<std::string> compiled;
    std::string tail;
    if (!watchWorkers(workers, units.size(), pace, log, compiled, tail) ||
        compiled != std::set<std::string>(units.begin(), units.end())) {
        reason = "a compile worker failed: " + tail;
        return false;
    }
    if (!link(b, units, log, reason)) return false;
    pace.reach(1.0);
    for (const std::string& rel : filesUnder(below(b.out, "obj")))
        refs.push_back("out:obj/" + rel);
    refs.push_back("out:compile/qm_code.bin");
    refs.push_back("out:compile/qm_code.map");
    return true;
}
