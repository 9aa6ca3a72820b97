// The game's log (logs/qm.log in the user folder, appended to) and its crash reports (a new .txt
// file in crashes/ for every crash, which is how the launcher learns that the game crashed).
#pragma once

#include <cstdio>
#include <deque>
#include <string>

// The local time as "YYYY-MM-DD HH:MM:SS", or with compact set as "YYYYMMDD-HHMMSS".
std::string localTimeText(bool compact);

class GameLog {
public:
    GameLog() = default;
    ~GameLog();
    GameLog(const GameLog&) = delete;
    GameLog& operator=(const GameLog&) = delete;

    // Creates the logs folder and opens qm.log for appending. Without it the lines are only kept
    // in memory for a crash report.
    bool open(const std::string& userDir, std::string& err);
    // Writes one stamped line and flushes it, so that it survives a crash right after.
    void line(const std::string& text);
    const std::deque<std::string>& recent() const { return recent_; }

private:
    FILE* file_ = nullptr;
    std::deque<std::string> recent_; // the last lines, for crash reports
};

// Writes a crash report under a name no earlier report has in userDir/crashes (created when
// missing): the time, the version, the reason and the log's last lines. path receives its name.
bool writeCrashReport(const std::string& userDir, const std::string& reason, const GameLog& log,
                      std::string& path, std::string& err);
