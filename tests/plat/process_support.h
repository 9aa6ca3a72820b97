// Shared by the process tests: the test child, bounded waits, pid files and a temporary folder.
#pragma once

#include "plat/process.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace qmtest {

// The test child program (tests/helpers/qm_test_child.cpp) in the build's program folder.
std::string childPath();
// True when qm-job lies beside the running test program, as it does in the build folder.
bool jobHelperBesideUs();

// Polls running() until the child ended; false when it still runs after the guard time.
bool waitEnded(plat::Process& p, int seconds = 60);
// Waits for the child's end and its whole output, and returns every line.
std::vector<std::string> runToEnd(plat::Process& p);
// Starts the test child captured with these commands; fails the test when the start fails.
void startChild(plat::Process& p, const std::vector<std::string>& commands, bool capture = true);

// The pid written to path by the test child, or 0 when none appeared within the guard time.
pid_t readPidFile(const std::string& path, int seconds = 60);
// True when pid no longer runs (absent or a zombie that only waits for its reaper).
bool isGone(pid_t pid);
// Polls isGone for a while; the wait only bounds a failing test.
bool becomesGone(pid_t pid, int seconds = 20);
// Ends a process that a test left running on purpose or by a fault.
void killIfAlive(pid_t pid);

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace qmtest
