// Shared by the Windows tests: the test child, bounded waits, pid files, processes by id and a
// temporary folder with UTF-8 paths.
#pragma once

#include "plat/process.h"

#include <string>
#include <vector>

namespace wintest {

// The test child program (qm_test_child_win.cpp) beside the running test program.
std::string childPath();

// Polls running() until the child ended; false when it still runs after the guard time.
bool waitEnded(plat::Process& p, int seconds = 60);
// Waits for the child's end and its whole output, and returns every line.
std::vector<std::string> runToEnd(plat::Process& p);
// Starts the test child with these commands; fails the test when the start fails.
void startChild(plat::Process& p, const std::vector<std::string>& commands, bool capture = true);
// Runs the test child captured to its end and returns its lines.
std::vector<std::string> capture(const std::vector<std::string>& commands);

// The pid written to path by the test child, or 0 when none appeared within the guard time.
unsigned readPidFile(const std::string& path, int seconds = 60);
// True when no process with this id runs any more.
bool isGone(unsigned pid);
// Polls isGone for a while; the wait only bounds a failing test.
bool becomesGone(unsigned pid, int seconds = 20);
// Ends a process that a test left running on purpose or by a fault.
void killIfAlive(unsigned pid);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// A fresh folder under the system's temporary folder whose name holds non-ASCII characters,
// removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

} // namespace wintest
