// Local time · the log file · crash reports.
#include "game_log.h"

#include "game_config.h"
#include "plat/fs.h"

#include <SDL3/SDL_time.h>

namespace {

const size_t kRecentLines = 40;

} // namespace

// --- local time ----------------------------------------------------------------------------------

std::string localTimeText(bool compact) {
    SDL_Time ticks = 0;
    SDL_DateTime t{};
    if (!SDL_GetCurrentTime(&ticks) || !SDL_TimeToDateTime(ticks, &t, true))
        return compact ? "00000000-000000" : "0000-00-00 00:00:00";
    char buf[32];
    const char* format = compact ? "%04d%02d%02d-%02d%02d%02d" : "%04d-%02d-%02d %02d:%02d:%02d";
    std::snprintf(buf, sizeof buf, format, t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

// --- the log file --------------------------------------------------------------------------------

GameLog::~GameLog() {
    if (file_) std::fclose(file_);
}

bool GameLog::open(const std::string& userDir, std::string& err) {
    std::string dir = plat::joinPath(userDir, "logs");
    if (!plat::makeDirs(dir)) {
        err = "the folder " + dir + " cannot be created";
        return false;
    }
    std::string path = plat::joinPath(dir, "qm.log");
    file_ = plat::openFile(path, "ab");
    if (!file_) {
        err = path + " cannot be opened for writing";
        return false;
    }
    return true;
}

void GameLog::line(const std::string& text) {
    std::string stamped = localTimeText(false) + " " + text;
    if (file_) {
        std::fprintf(file_, "%s\n", stamped.c_str());
        std::fflush(file_);
    }
    recent_.push_back(stamped);
    if (recent_.size() > kRecentLines) recent_.pop_front();
}

// --- crash reports -------------------------------------------------------------------------------

bool writeCrashReport(const std::string& userDir, const std::string& reason, const GameLog& log,
                      std::string& path, std::string& err) {
    std::string dir = plat::joinPath(userDir, "crashes");
    if (!plat::makeDirs(dir)) {
        err = "the folder " + dir + " cannot be created";
        return false;
    }
    // The launcher shows the report that is new since it started the game, so an older report
    // must never be written over, even by a second crash within the same second.
    std::string base = plat::joinPath(dir, "crash-" + localTimeText(true));
    path = base + ".txt";
    for (int n = 2; pathExists(path); ++n)
        path = base + "-" + std::to_string(n) + ".txt";

    std::string text = std::string(kGameTitle) + " crash report\n";
    text += "time: " + localTimeText(false) + "\n";
    text += std::string("version: ") + kGameVersion + "\n";
    text += "reason: " + reason + "\n\nlast log lines:\n";
    for (const std::string& line : log.recent())
        text += "  " + line + "\n";

    FILE* f = plat::openFile(path, "wb");
    if (!f) {
        err = path + " cannot be created";
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) err = path + " could not be written";
    return ok;
}
