// The child process runner on POSIX (Linux).
//
// Sections: state · small helpers · the forked child · starting · reading the output
//           · ending and reaping · public members
//
// Every child gets its own session, so it never has a controlling terminal and its process group
// is its own. A captured child runs under the job helper qm-job (job/qm_job.cpp) when it lies
// beside the running executable: the helper ends the child's whole tree with it, with the
// launcher's kill and with the launcher's death. Without the helper the captured child's process
// group is what ends. The launcher itself is never a subreaper and never waits for any process but
// its own children, one pid at a time, so the exit status of a process it did not start through
// this class is never taken.
//
// The helper's parent-death signal fires when the thread that started it ends, not the process:
// children are started from the frame thread, which lives as long as the launcher.
#include "plat/process.h"

#include "plat/fs.h"

#include "job/protocol.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <system_error>
#include <thread>

namespace plat {

// --- state -------------------------------------------------------------------------------------

struct Process::State {
    pid_t child = 0;   // the process we wait for: qm-job, or the program itself
    pid_t program = 0; // the program: the helper's child when there is a helper
    bool captured = false;
    bool job = false;    // started through qm-job
    bool ownTree = true; // its group ends with it; false: startInOurTree, ours ends it
    bool reaped = false;
    bool statusKnown = false;
    bool killed = false;
    int status = 0;
    int pipeRead = -1;
    int wake = -1; // eventfd that cancels the reader's poll
    std::atomic<bool> cancel{false};
    std::thread reader;

    void startReader(Output& out);
    static void readOutput(State* s, Output* out);
};

namespace {

// --- small helpers -----------------------------------------------------------------------------

void closeFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

std::string errorText(int code) {
    errno = code;
    return lastErrorText();
}

// Waits for a child that is about to end anyway, on a thread of its own so that nobody blocks.
void reapLater(pid_t pid) {
    try {
        std::thread([pid] {
            int st = 0;
            while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // The child then stays a zombie until the launcher ends; nothing else waits for it.
    }
}

// --- the forked child --------------------------------------------------------------------------

// Everything the child needs, prepared before the fork: after it only async-signal-safe calls
// are allowed, as other threads may have held locks (malloc's among them) at that moment.
struct Launch {
    std::vector<std::string> words; // argv[0] is the file to execute
    std::vector<char*> argv;
    const char* dir = nullptr;
    bool capture = false;
    bool job = false;
    int outWrite = -1;
    int null = -1;
    int statusWrite = -1;
};

[[noreturn]] void failChild(int code) {
    job::Record r{job::kFailed, code};
    if (write(job::kStatusFd, &r, sizeof r) < 0) {
    }
    _exit(127);
}

[[noreturn]] void runChild(const Launch& l) {
    // Ignored signals and the blocked mask survive an exec; the program must not inherit ours.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        sigaction(sig, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    setsid();

    // Lifted out of the way first, in case the launcher runs with a standard descriptor closed.
    int status = fcntl(l.statusWrite, F_DUPFD_CLOEXEC, 10);
    if (l.capture) {
        int out = fcntl(l.outWrite, F_DUPFD_CLOEXEC, 10);
        int in = l.null >= 0 ? fcntl(l.null, F_DUPFD_CLOEXEC, 10) : -1;
        if (in >= 0)
            dup2(in, 0);
        else
            close(0);
        dup2(out, 1);
        dup2(out, 2);
    }
    dup2(status, job::kStatusFd);
    if (!l.job) fcntl(job::kStatusFd, F_SETFD, FD_CLOEXEC);
    // Descriptors that other parts of the process opened without close-on-exec stay ours.
    close_range(job::kStatusFd + 1, ~0U, 0);
    if (l.dir && chdir(l.dir) != 0) failChild(errno);
    execve(l.argv[0], l.argv.data(), environ);
    failChild(errno);
}

// --- starting ----------------------------------------------------------------------------------

struct StartReport {
    pid_t program = 0;
    int error = 0;
};

// Reads the start records until every writer has gone, which happens at the program's exec or
// when its start failed. A helper that never answers does not hold us beyond 10 s.
StartReport readReport(int fd) {
    StartReport rep;
    std::string pending;
    for (int waited = 0; waited < 10000;) {
        pollfd p{fd, POLLIN, 0};
        int n = poll(&p, 1, 100);
        if (n < 0 && errno != EINTR) break;
        if (n == 0) waited += 100;
        if (n <= 0) continue;
        char buf[sizeof(job::Record) * 4];
        ssize_t got = read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        pending.append(buf, static_cast<std::size_t>(got));
        while (pending.size() >= sizeof(job::Record)) {
            job::Record r;
            std::memcpy(&r, pending.data(), sizeof r);
            pending.erase(0, sizeof r);
            if (r.kind == job::kStarted)
                rep.program = r.value;
            else if (r.kind == job::kFailed && rep.error == 0)
                rep.error = r.value;
        }
    }
    return rep;
}

Launch prepare(const std::string& program, const std::vector<std::string>& args,
               const std::string& workDir, bool capture, bool ownTree) {
    Launch l;
    l.capture = capture;
    std::string helper = plat::joinPath(plat::exeDir(), "qm-job");
    l.job = capture && ownTree && access(helper.c_str(), X_OK) == 0;
    if (l.job) l.words = {helper, std::to_string(getpid()), std::to_string(job::kStatusFd)};
    l.words.push_back(plat::absolutePath(program));
    l.words.insert(l.words.end(), args.begin(), args.end());
    for (auto& w : l.words)
        l.argv.push_back(w.data());
    l.argv.push_back(nullptr);
    if (!workDir.empty()) l.dir = workDir.c_str();
    return l;
}

struct Spawned {
    pid_t pid = 0;
    pid_t program = 0; // reported by qm-job
    int outRead = -1;
};

bool spawn(Launch& l, Spawned& sp, std::string& err) {
    int status[2] = {-1, -1};
    int out[2] = {-1, -1};
    if (pipe2(status, O_CLOEXEC) != 0 || (l.capture && pipe2(out, O_CLOEXEC) != 0)) {
        err = lastErrorText();
        closeFd(status[0]);
        closeFd(status[1]);
        return false;
    }
    l.statusWrite = status[1];
    l.outWrite = out[1];
    if (l.capture) l.null = open("/dev/null", O_RDONLY | O_CLOEXEC);

    pid_t pid = fork();
    if (pid == 0) runChild(l);
    int forkError = errno;
    // Only the child keeps write ends, so the pipes report end of file once it (and for the
    // output, every descendant) has let go of them.
    closeFd(status[1]);
    closeFd(out[1]);
    closeFd(l.null);
    StartReport rep;
    if (pid > 0) rep = readReport(status[0]);
    closeFd(status[0]);
    if (pid < 0 || rep.error != 0) {
        if (pid > 0) {
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        closeFd(out[0]);
        err = errorText(pid < 0 ? forkError : rep.error);
        return false;
    }
    sp.pid = pid;
    sp.program = rep.program;
    sp.outRead = out[0];
    return true;
}

} // namespace

// --- reading the output ------------------------------------------------------------------------

void Process::State::startReader(Output& out) {
    wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    out.begin();
    try {
        reader = std::thread(&State::readOutput, this, &out);
    } catch (const std::system_error&) {
        out.finish();
    }
}

void Process::State::readOutput(State* s, Output* out) {
    char buf[4096];
    bool canWake = s->wake >= 0;
    for (;;) {
        pollfd fds[2] = {{s->pipeRead, POLLIN, 0}, {s->wake, POLLIN, 0}};
        // Without the eventfd the cancel flag is looked at ten times a second instead.
        int n = poll(fds, canWake ? 2 : 1, canWake ? -1 : 100);
        if (n < 0 && errno != EINTR) break;
        if (s->cancel.load()) break;
        if (n <= 0 || fds[0].revents == 0) continue;
        ssize_t got = read(s->pipeRead, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        out->feed(buf, static_cast<std::size_t>(got));
    }
    out->finish();
}

// --- ending and reaping ------------------------------------------------------------------------

namespace {

using State = Process::State;

// True when the child has ended; it is reaped then, and its status kept when we could read it.
bool reapIfEnded(State& s) {
    if (s.reaped) return true;
    if (s.captured && !s.job && s.ownTree) {
        // Without the helper the group goes with its leader. The leader's zombie still pins the
        // group id, so the signal cannot reach a group that reused the number.
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(s.child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == 0)
            return false;
        ::kill(-s.child, SIGKILL);
    }
    int st = 0;
    pid_t r;
    do {
        r = waitpid(s.child, &st, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    s.reaped = true;
    if (r == s.child) {
        s.status = st;
        s.statusKnown = true;
    }
    return true;
}

// Only for a child not reaped yet: its pid (and group id) cannot belong to anyone else.
void endTree(State& s) {
    if (s.job)
        ::kill(s.child, SIGTERM); // qm-job kills the whole tree, then ends
    else
        ::kill(-s.child, SIGKILL);
}

} // namespace

void Process::release() {
    State& s = *s_;
    if (s.captured && s.ownTree && !reapIfEnded(s)) endTree(s);
    if (s.reader.joinable()) {
        // A descendant out of our reach may still hold the pipe's write end.
        for (int i = 0; i < 200 && !out_.done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!out_.done()) {
            s.cancel.store(true);
            uint64_t one = 1;
            if (s.wake >= 0 && write(s.wake, &one, sizeof one) < 0) {
            }
        }
        s.reader.join();
    }
    closeFd(s.pipeRead);
    closeFd(s.wake);
    if (s.child > 0 && !reapIfEnded(s)) reapLater(s.child);
}

// --- public members ----------------------------------------------------------------------------

Process::Process() : s_(std::make_unique<State>()) {}

Process::~Process() {
    release();
}

bool Process::start(const std::string& program, const std::vector<std::string>& args,
                    const std::string& workDir, bool capture, std::string& err) {
    release();
    s_ = std::make_unique<State>();
    out_.reset();

    Launch l = prepare(program, args, workDir, capture, ownTree_);
    Spawned sp;
    if (!spawn(l, sp, err)) return false;
    State& s = *s_;
    s.child = sp.pid;
    s.program = sp.program > 0 ? sp.program : sp.pid;
    s.captured = capture;
    s.job = l.job;
    s.ownTree = ownTree_;
    if (capture) {
        s.pipeRead = sp.outRead;
        s.startReader(out_);
    }
    return true;
}

bool Process::running() {
    return s_->child > 0 && !reapIfEnded(*s_);
}

int Process::exitCode() {
    State& s = *s_;
    if (s.child <= 0 || !reapIfEnded(s) || !s.statusKnown) return -1;
    if (s.killed) return 1;
    if (WIFEXITED(s.status)) return WEXITSTATUS(s.status);
    if (WIFSIGNALED(s.status)) return 128 + WTERMSIG(s.status);
    return -1;
}

unsigned Process::pid() const {
    return static_cast<unsigned>(s_->program);
}

void Process::kill() {
    State& s = *s_;
    if (s.child <= 0 || reapIfEnded(s)) return;
    if (s.captured)
        endTree(s);
    else
        ::kill(s.child, SIGKILL);
    s.killed = true;
}

// The desktop's polite close request is SIGTERM to the program (not to the helper, which would
// end the whole tree at once).
void Process::closeWindows() {
    State& s = *s_;
    if (s.child > 0 && !reapIfEnded(s)) ::kill(s.program, SIGTERM);
}

} // namespace plat
