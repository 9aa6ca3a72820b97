// The child process runner on Windows.
//
// Sections: state · the reader thread · starting · releasing · public members
//
// A captured child is created suspended, put into a job object whose last handle ends every
// process in it, and only then resumed: it cannot start a descendant that escapes the job. Its
// standard output and standard error share one inheritable pipe, its standard input is NUL, and it
// gets no console window. A plain child is an ordinary independent program without a job.
#include "plat/process.h"

#include "plat/win32/wide.h"

using plat::win::toWide;

namespace plat {

// --- state -------------------------------------------------------------------------------------

struct Process::State {
    HANDLE process = nullptr;
    HANDLE job = nullptr;
    HANDLE pipeRead = nullptr;
    HANDLE reader = nullptr;
    DWORD pid = 0;

    struct ReaderArgs {
        HANDLE pipe;
        Output* out;
    };
    static DWORD WINAPI readOutput(void* arg);
};

namespace {

void closeHandle(HANDLE& h) {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    h = nullptr;
}

std::wstring commandLine(const std::string& program, const std::vector<std::string>& args) {
    std::wstring line = quoteArg(toWide(program));
    for (const std::string& a : args)
        line += L" " + quoteArg(toWide(a));
    return line;
}

// An unnamed job that ends all its processes when its last handle closes; null on failure.
HANDLE makeJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
    info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

// The child's ends of its standard streams, captured mode only.
struct ChildStreams {
    HANDLE pipeRead = nullptr;
    HANDLE pipeWrite = nullptr;
    HANDLE null = nullptr;

    void closeChildEnds() {
        closeHandle(pipeWrite);
        closeHandle(null);
    }
};

bool openStreams(ChildStreams& s, std::string& err) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    if (!CreatePipe(&s.pipeRead, &s.pipeWrite, &sa, 0)) {
        err = lastErrorText();
        s.pipeRead = s.pipeWrite = nullptr;
        return false;
    }
    SetHandleInformation(s.pipeRead, HANDLE_FLAG_INHERIT, 0);
    s.null = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                         OPEN_EXISTING, 0, nullptr);
    if (s.null == INVALID_HANDLE_VALUE) s.null = nullptr;
    return true;
}

} // namespace

// --- the reader thread -------------------------------------------------------------------------

DWORD WINAPI Process::State::readOutput(void* arg) {
    ReaderArgs a = *static_cast<ReaderArgs*>(arg);
    delete static_cast<ReaderArgs*>(arg);
    char buf[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(a.pipe, buf, sizeof buf, &got, nullptr) || got == 0) break;
        a.out->feed(buf, got);
    }
    a.out->finish();
    return 0;
}

// --- starting ----------------------------------------------------------------------------------

bool Process::start(const std::string& program, const std::vector<std::string>& args,
                    const std::string& workDir, bool capture, std::string& err) {
    release();
    s_ = std::make_unique<State>();
    out_.reset();

    std::wstring line = commandLine(program, args);
    std::wstring dir = toWide(workDir);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    ChildStreams streams;
    HANDLE job = nullptr;
    DWORD flags = CREATE_UNICODE_ENVIRONMENT;
    if (capture) {
        if (!openStreams(streams, err)) return false;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = streams.null;
        si.hStdOutput = streams.pipeWrite;
        si.hStdError = streams.pipeWrite;
        job = ownTree_ ? makeJob() : nullptr;
        flags |= CREATE_NO_WINDOW | CREATE_SUSPENDED;
    }

    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, capture, flags, nullptr,
                        dir.empty() ? nullptr : dir.c_str(), &si, &pi)) {
        err = lastErrorText();
        streams.closeChildEnds();
        closeHandle(streams.pipeRead);
        closeHandle(job);
        return false;
    }
    // Only the child holds the write end now, so the pipe ends when it and its descendants do.
    streams.closeChildEnds();
    State& s = *s_;
    s.process = pi.hProcess;
    s.pid = pi.dwProcessId;
    if (capture) {
        if (job && !AssignProcessToJobObject(job, pi.hProcess)) closeHandle(job);
        s.job = job;
        ResumeThread(pi.hThread);
        s.pipeRead = streams.pipeRead;
        out_.begin();
        auto* a = new State::ReaderArgs{s.pipeRead, &out_};
        s.reader = CreateThread(nullptr, 0, &State::readOutput, a, 0, nullptr);
        if (!s.reader) {
            delete a;
            out_.finish();
        }
    }
    CloseHandle(pi.hThread);
    return true;
}

// --- releasing ---------------------------------------------------------------------------------

void Process::release() {
    State& s = *s_;
    // The job's kill-on-close limit ends a captured child and all it started.
    closeHandle(s.job);
    if (s.reader) {
        for (int i = 0; i < 200 && !out_.done(); ++i)
            Sleep(10);
        // A descendant outside the job may still hold the pipe's write end.
        if (!out_.done()) CancelSynchronousIo(s.reader);
        WaitForSingleObject(s.reader, INFINITE);
        closeHandle(s.reader);
    }
    closeHandle(s.pipeRead);
    closeHandle(s.process);
}

// --- public members ----------------------------------------------------------------------------

Process::Process() : s_(std::make_unique<State>()) {}

Process::~Process() {
    release();
}

bool Process::running() {
    return s_->process && WaitForSingleObject(s_->process, 0) == WAIT_TIMEOUT;
}

int Process::exitCode() {
    DWORD code = 0;
    if (!s_->process || running() || !GetExitCodeProcess(s_->process, &code)) return -1;
    return code == STILL_ACTIVE ? -1 : int(code);
}

unsigned Process::pid() const {
    return s_->pid;
}

void Process::kill() {
    State& s = *s_;
    if (!s.process) return;
    if (s.job)
        TerminateJobObject(s.job, 1);
    else
        TerminateProcess(s.process, 1);
}

namespace {

BOOL CALLBACK closeIfOwned(HWND window, LPARAM pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == DWORD(pid) && IsWindowVisible(window)) PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

} // namespace

void Process::closeWindows() {
    if (s_->pid) EnumWindows(closeIfOwned, LPARAM(s_->pid));
}

} // namespace plat
