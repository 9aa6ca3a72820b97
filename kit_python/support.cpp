#include "support.h"

#include "plat/clock.h"
#include "plat/env.h"
#include "plat/fs.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>

void emit(const std::string& line) {
    std::string text = line + "\n";
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        std::_Exit(1); // whoever read our output is gone; nothing is left to report to
}

std::string format(const char* fmt, ...) {
    va_list a;
    va_start(a, fmt);
    va_list b;
    va_copy(b, a);
    int n = std::vsnprintf(nullptr, 0, fmt, a);
    va_end(a);
    std::string out(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, b);
    va_end(b);
    return out;
}

std::string envText(const char* name) {
    std::string v = plat::getEnv(name);
    size_t a = v.find_first_not_of(" \t\r\n"), b = v.find_last_not_of(" \t\r\n");
    return a == std::string::npos ? "" : v.substr(a, b - a + 1);
}

double envNumber(const char* name, double fallback) {
    std::string v = envText(name);
    char* end = nullptr;
    double d = std::strtod(v.c_str(), &end);
    return v.empty() || *end ? fallback : d;
}

double stepSeconds(const std::string& step) {
    // Seconds per step at QM_BUILD_PACE=1, as the release's script spreads them: most of the time
    // goes to packs and compile. The floors keep every step visible for a moment.
    static const std::map<std::string, double> kPace = {
        {"verify", 2},    {"extract", 4}, {"configure", 16}, {"tools", 4},
        {"recompile", 4}, {"packs", 52},  {"compile", 36},   {"stage", 2}};
    double pace = envNumber("QM_BUILD_PACE", 1.0);
    if (pace <= 0) return 0;
    double floor = step == "compile" ? 3.2 : 1.6;
    return std::max(floor, kPace.at(step) * pace);
}

std::string megabytes(double bytes) {
    return format("%.1f MB", bytes / 1e6);
}

// --- step logs ---------------------------------------------------------------------------------

StepLog::StepLog(const std::string& logsDir, const std::string& step, bool append) {
    plat::makeDirs(logsDir);
    f_ = plat::openFile(plat::joinPath(logsDir, step + ".log"), append ? "ab" : "wb");
}

StepLog::~StepLog() {
    if (f_) std::fclose(f_);
}

void StepLog::operator()(const std::string& text) {
    if (!f_) return;
    auto now = std::chrono::system_clock::now();
    std::time_t t = std::chrono::system_clock::to_time_t(now);
    long ms =
        long(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
             1000);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
    std::fprintf(f_, "%s.%03ld %s\n", stamp, ms, text.c_str());
    std::fflush(f_);
}

// --- pacing ------------------------------------------------------------------------------------

Pacer::Pacer(const std::string& step, double seconds, bool heartbeat)
    : step_(step), seconds_(seconds), t0_(plat::now()), heartbeat_(heartbeat) {}

void Pacer::reach(double f) {
    f = std::min(1.0, std::max(fraction, f));
    if (seconds_ > 0) {
        double deadline = t0_ + f * seconds_;
        for (;;) {
            double now = plat::now();
            show(std::min(f, std::max(fraction, (now - t0_) / seconds_)));
            if (now >= deadline) break;
            plat::sleepMs(std::max(1, int(std::min(kTick, deadline - now) * 1000)));
        }
    }
    fraction = f;
    show(f);
}

void Pacer::show(double f) {
    int percent = std::max(0, std::min(100, int(f * 100 + 1e-9)));
    double now = plat::now();
    if (percent != shown_ || (heartbeat_ && now - lastEmit_ >= 0.09)) {
        emit(format("PERCENT %s %d", step_.c_str(), percent));
        shown_ = percent;
        lastEmit_ = now;
    }
}

// --- files -------------------------------------------------------------------------------------

bool readFile(const std::string& path, std::string& out) {
    FILE* f = plat::openFile(path, "rb");
    if (!f) return false;
    out.clear();
    char buf[65536];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, got);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool writeFile(const std::string& path, const std::string& data, std::string& reason) {
    std::string part = path + ".part";
    plat::makeDirs(plat::parentDir(path));
    FILE* f = plat::openFile(part, "wb");
    bool ok = f && std::fwrite(data.data(), 1, data.size(), f) == data.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (ok && plat::replaceFile(part, path)) return true;
    reason = format("%s (%s)", std::strerror(errno ? errno : EIO), path.c_str());
    plat::removePath(part);
    return false;
}

bool copyFile(const std::string& from, const std::string& to, std::string& reason) {
    std::string data;
    if (!readFile(from, data)) {
        reason = format("%s (%s)", std::strerror(errno ? errno : EIO), from.c_str());
        return false;
    }
    return writeFile(to, data, reason);
}

namespace {

void collect(const std::string& dir, const std::string& prefix, std::vector<std::string>& out) {
    for (const plat::FileEntry& f : plat::listFiles(dir, ""))
        out.push_back(prefix + plat::fileName(f.path));
    for (const std::string& sub : plat::listSubfolders(dir))
        collect(sub, prefix + plat::fileName(sub) + "/", out);
}

} // namespace

bool freshDir(const std::string& path, std::string& reason) {
    plat::removeTree(path);
    if (plat::makeDirs(path)) return true;
    reason = format("the folder %s cannot be made: %s", path.c_str(), std::strerror(errno));
    return false;
}

std::vector<std::string> filesUnder(const std::string& root) {
    std::vector<std::string> out;
    collect(root, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

std::string below(const std::string& root, const std::string& rel) {
    std::string out = root;
    size_t start = 0;
    for (size_t slash; (slash = rel.find('/', start)) != std::string::npos; start = slash + 1)
        out = plat::joinPath(out, rel.substr(start, slash - start));
    return plat::joinPath(out, rel.substr(start));
}

std::string iniValue(const std::string& text, const std::string& key) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (line.compare(0, key.size() + 1, key + " ") == 0) return line.substr(key.size() + 1);
        at = end + 1;
    }
    return "";
}
