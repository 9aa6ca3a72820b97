// What every part of the build shares: the output stream the launcher reads, the step logs, the
// pacing of a step's progress, and file helpers that never leave half a file behind.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

inline constexpr double kTick = 0.05; // seconds between two looks at the clock or a worker

// One line to standard output, flushed at once; the process ends when nobody reads any more.
void emit(const std::string& line);
// printf into a std::string; the C99 forms (%zu, %lld) work on every system.
#ifdef __MINGW32__
std::string format(const char* fmt, ...) __attribute__((format(gnu_printf, 1, 2)));
#else
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
#endif
std::string envText(const char* name);
double envNumber(const char* name, double fallback);
// Seconds a step is spread over at QM_BUILD_PACE (0 when the build runs as fast as it can).
double stepSeconds(const std::string& step);
std::string megabytes(double bytes);

// build/logs/<step>.log, each line stamped with the local time to the millisecond.
class StepLog {
public:
    StepLog(const std::string& logsDir, const std::string& step, bool append);
    ~StepLog();
    void operator()(const std::string& text);

private:
    FILE* f_ = nullptr;
};

// Spreads a step's work over its share of the build time and reports PERCENT lines. reach(f) is
// called after real work up to fraction f and waits until f of the step's time has passed, moving
// the percentage along with the clock meanwhile. With heartbeat set, a PERCENT line goes out at
// least every 0.1 s, the rhythm the launcher's compile screen is watched at.
class Pacer {
public:
    Pacer(const std::string& step, double seconds, bool heartbeat);
    void reach(double fraction);
    void show(double fraction);
    double seconds() const { return seconds_; }
    double fraction = 0;

private:
    std::string step_;
    double seconds_, t0_, lastEmit_ = 0;
    bool heartbeat_;
    int shown_ = -1;
};

bool readFile(const std::string& path, std::string& out);
// Writes under a temporary name first, so a killed run never leaves half a file behind.
bool writeFile(const std::string& path, const std::string& data, std::string& reason);
bool copyFile(const std::string& from, const std::string& to, std::string& reason);
// Empties the folder, making it when missing.
bool freshDir(const std::string& path, std::string& reason);
// Every file below root, as paths relative to it with "/", sorted.
std::vector<std::string> filesUnder(const std::string& root);
// rel with "/" turned into the system's separator, below root.
std::string below(const std::string& root, const std::string& rel);
// In a file of "key value" lines: the rest of the first line that starts with key and a blank.
std::string iniValue(const std::string& text, const std::string& key);
