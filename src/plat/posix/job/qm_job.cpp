// qm-job: stands in for a Windows job object. The launcher starts a captured child through this
// program, which starts the real program and makes sure that nothing the program started outlives
// it, the launcher's kill, or the launcher itself. The protocol is in protocol.h.
//
// Sections: reporting · finding the tree · ending the tree · watching the program · main
//
// The helper is the child subreaper of everything below it, so descendants whose parent ended
// (double forks, daemons that called setsid) are reparented to it instead of to init and can be
// found through their parent ids and reaped here.
#include "protocol.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <unordered_map>
#include <vector>

namespace {

int statusFd = -1;

// --- reporting ---------------------------------------------------------------------------------

// Also called in the forked program's process before its exec: async-signal-safe.
void report(int32_t kind, int32_t value) {
    if (statusFd < 0) return;
    plat::job::Record r{kind, value};
    while (write(statusFd, &r, sizeof r) < 0 && errno == EINTR) {
    }
}

// --- finding the tree --------------------------------------------------------------------------

// The parent id from /proc/PID/stat; the command name in parentheses may hold blanks and
// parentheses itself, so the fields are read after its last closing parenthesis.
bool readParent(const char* pidText, pid_t& parent) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%s/stat", pidText);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[1024];
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0) return false;
    buf[n] = '\0';
    char* paren = nullptr;
    for (char* p = buf; *p; ++p)
        if (*p == ')') paren = p;
    char state = 0;
    int ppid = 0;
    if (!paren || std::sscanf(paren + 1, " %c %d", &state, &ppid) != 2) return false;
    parent = ppid;
    return true;
}

std::vector<pid_t> descendants() {
    std::unordered_map<pid_t, std::vector<pid_t>> children;
    if (DIR* dir = opendir("/proc")) {
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
            pid_t parent = 0;
            if (readParent(e->d_name, parent))
                children[parent].push_back(static_cast<pid_t>(std::atoi(e->d_name)));
        }
        closedir(dir);
    }
    std::vector<pid_t> found;
    std::vector<pid_t> todo{getpid()};
    while (!todo.empty()) {
        pid_t p = todo.back();
        todo.pop_back();
        auto it = children.find(p);
        if (it == children.end()) continue;
        for (pid_t c : it->second) {
            found.push_back(c);
            todo.push_back(c);
        }
    }
    return found;
}

// --- ending the tree ---------------------------------------------------------------------------

// Kills every descendant and reaps until we have no child left. A process that forks while we
// look is reparented to us when its parent dies, so the next pass finds it.
void endTree() {
    for (;;) {
        for (pid_t p : descendants())
            ::kill(p, SIGKILL);
        int st = 0;
        pid_t r = waitpid(-1, &st, 0);
        if (r < 0) {
            if (errno == EINTR) continue;
            return; // ECHILD: nothing of the tree is left
        }
        while (waitpid(-1, &st, WNOHANG) > 0) {
        }
    }
}

// --- watching the program ----------------------------------------------------------------------

int codeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
}

// Reaps orphans that end while the program runs; returns the program's code, or 128 + the
// signal that told us to end.
int watch(pid_t program, const sigset_t& signals) {
    for (;;) {
        int st = 0;
        pid_t r;
        while ((r = waitpid(-1, &st, WNOHANG)) > 0)
            if (r == program) return codeOf(st);
        int sig = sigwaitinfo(&signals, nullptr);
        if (sig == SIGTERM || sig == SIGINT || sig == SIGHUP) return 128 + sig;
    }
}

bool parseInt(const char* text, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0';
}

} // namespace

// --- main --------------------------------------------------------------------------------------

int main(int argc, char** argv) {
    // Blocked from the start: they are taken by sigwaitinfo in watch(), never by a handler.
    sigset_t signals, before;
    sigemptyset(&signals);
    for (int sig : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&signals, sig);
    sigprocmask(SIG_BLOCK, &signals, &before);

    long parent = 0, fd = 0;
    if (argc < 4 || !parseInt(argv[1], parent) || !parseInt(argv[2], fd)) {
        std::fprintf(stderr, "usage: qm-job PARENT_PID STATUS_FD PROGRAM [ARG...]\n");
        return 127;
    }
    statusFd = static_cast<int>(fd);
    fcntl(statusFd, F_SETFD, FD_CLOEXEC);

    prctl(PR_SET_CHILD_SUBREAPER, 1);
    // The signal comes when the thread that started us ends, so the launcher starts its children
    // from the thread that lives as long as it does (the frame thread). A launcher that died
    // before this line is noticed by the parent check, as we were reparented already.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != static_cast<pid_t>(parent)) return 128 + SIGTERM;

    pid_t program = fork();
    if (program < 0) {
        report(plat::job::kFailed, errno);
        return 127;
    }
    if (program == 0) {
        // The subreaper flag and the parent-death signal are not inherited by a fork.
        sigprocmask(SIG_SETMASK, &before, nullptr);
        execv(argv[3], argv + 3);
        report(plat::job::kFailed, errno);
        _exit(127);
    }
    report(plat::job::kStarted, program);
    close(statusFd);
    statusFd = -1;

    int code = watch(program, signals);
    endTree();
    return code;
}
