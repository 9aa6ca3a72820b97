// How the launcher and its job helper qm-job talk while a captured child starts.
//
// The launcher runs   qm-job PARENT_PID STATUS_FD PROGRAM [ARG...]
// with STATUS_FD the write end of a pipe that the launcher reads until end of file. Records are
// fixed-size and shorter than PIPE_BUF, so each write arrives whole:
//   kStarted, pid   the helper forked the program's process (sent before the program's exec)
//   kFailed, errno  the helper or the program could not be started (exec, fork, chdir)
// End of file means the program's exec succeeded or failed: the write end is close-on-exec in the
// program's process and the helper closes its copy after kStarted. The launcher's own child uses
// the same record to report that qm-job itself (or a plain or unjobbed program) failed to start.
//
// Afterwards the helper's exit code is the program's (128 + the signal number when a signal ended
// it). SIGTERM, SIGINT or SIGHUP, and the launcher's death, make the helper end the whole tree.
#pragma once

#include <cstdint>

namespace plat::job {

// The descriptor number that the launcher's child gives the status pipe before its exec.
inline constexpr int kStatusFd = 3;

enum : int32_t { kStarted = 'P', kFailed = 'E' };

struct Record {
    int32_t kind;
    int32_t value;
};

} // namespace plat::job
