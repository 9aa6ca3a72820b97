// Shared by the hardening tests: the built programs and the repository's scripts, a stand-in
// launcher started as a bare child so that it alone can be killed, the processes that carry a tag
// in their environment, and this process's memory.
#pragma once

#include <string>
#include <vector>

namespace qmharden {

std::string binFile(const std::string& name);      // in the build's program folder
std::string repoFile(const std::string& relative); // in the repository

// Runs a program to its end, its output captured; returns its exit code (-1 after the guard).
int runToEnd(const std::string& program, const std::vector<std::string>& args,
             std::vector<std::string>* lines = nullptr);

// The stand-in launcher (tests/helpers/qm_hardening_child) started with fork and exec, its output
// in a file, so that SIGKILL reaches it and nothing else.
class StandIn {
public:
    StandIn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
            const std::string& outputFile);
    ~StandIn();
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    bool started() const { return pid_ > 0; }
    int pid() const { return pid_; }
    // Waits until the output holds a line starting with prefix; false after the guard time or
    // when the stand-in ended first.
    bool waitForLine(const std::string& prefix, double seconds = 60);
    // SIGKILL, then reaps it.
    void kill();
    // Waits for its own end; its exit code, or -1.
    int wait(double seconds = 120);
    std::string output() const;

private:
    int pid_ = -1;
    std::string outputFile_;
};

// Live (not zombie) processes whose environment holds exactly the entry "QM_TREE_TAG=<tag>".
std::vector<int> processesTagged(const std::string& tag);
// Resident memory of this process, in KiB.
long residentKb();

} // namespace qmharden
