// A child program for the process tests. Its arguments are a list of commands run in order:
//
//   out TEXT / err TEXT   write TEXT to standard output / error at once (\n \r \t \\ decoded)
//   lines N LEN           N lines "I xxx…" with LEN x each
//   blob N                N bytes "x" and no line feed, written a mebibyte at a time
//   stdin                 "stdin eof" when standard input ends at once, else "stdin data"/"… error"
//   argv ARG...           "[ARG]" for every remaining argument, then stop
//   cwd / env NAME / pid  "cwd PATH", "env VALUE" (or "env unset"), "pid N"
//   fds                   "fds" and the open descriptor numbers
//   sigs                  "sigign HEX" and "sigblk HEX" (ignored and blocked signals)
//   tty                   "tty none" when there is no controlling terminal, else "tty yes"
//   pidfile PATH          write our pid to PATH
//   grandchild PATH       fork twice with setsid between: the grandchild writes its pid to PATH and
//                         sleeps two minutes, keeping our output pipe open; returns once PATH
//                         exists
//   fork PATH             fork a child of our process group that writes its pid to PATH and sleeps
//                         two minutes
//   ignore-term           ignore SIGTERM (grandchildren started later inherit it)
//   on-term N             exit with N on SIGTERM
//   capture-self CMD...   start this program captured with CMD... through plat::Process and
//                         sleep two minutes
//   get URL               plat::httpGet: "get STATUS" or "get failed: ERR"
//   download URL PATH     plat::httpDownload: "download BYTES" or "download failed: ERR"
//   sleep MS / exit N / signal N
#include "plat/http.h"
#include "plat/process.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

void put(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) _exit(90);
        done += static_cast<std::size_t>(n);
    }
}

void say(const std::string& line) {
    put(1, line + "\n");
}

std::string decode(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p != '\\' || !p[1]) {
            out += *p;
            continue;
        }
        ++p;
        out += *p == 'n' ? '\n' : *p == 'r' ? '\r' : *p == 't' ? '\t' : *p;
    }
    return out;
}

void sleepMs(long ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void writePidFile(const char* path, pid_t pid) {
    // Written aside and renamed, so a reader never sees half a number.
    std::string tmp = std::string(path) + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f) _exit(91);
    std::fprintf(f, "%d\n", static_cast<int>(pid));
    std::fclose(f);
    std::rename(tmp.c_str(), path);
}

void grandchild(const char* path) {
    pid_t first = fork();
    if (first == 0) {
        setsid();
        if (fork() == 0) {
            writePidFile(path, getpid());
            sleepMs(120000);
            _exit(0);
        }
        _exit(0);
    }
    waitpid(first, nullptr, 0);
    // Whatever comes next (our end, say) must find the grandchild's pid written.
    while (access(path, F_OK) != 0)
        sleepMs(5);
}

std::string statusField(const char* name) {
    FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    std::string value = "?";
    while (f && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, name, std::strlen(name)) == 0)
            value = std::strtok(line + std::strlen(name), " \t\n");
    if (f) std::fclose(f);
    return value;
}

void listFds() {
    std::string line = "fds";
    DIR* dir = opendir("/proc/self/fd");
    while (dirent* e = dir ? readdir(dir) : nullptr)
        if (e->d_name[0] != '.' && std::atoi(e->d_name) != dirfd(dir))
            line += std::string(" ") + e->d_name;
    if (dir) closedir(dir);
    say(line);
}

volatile sig_atomic_t termCode = 0;

void onTerm(int) {
    _exit(termCode);
}

[[noreturn]] void captureSelf(int argc, char** argv, int from) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = '\0';
    plat::Process p;
    std::string err;
    std::vector<std::string> args(argv + from, argv + argc);
    if (!p.start(self, args, "", true, err)) {
        say("start failed " + err);
        _exit(92);
    }
    sleepMs(120000);
    _exit(0);
}

void httpGetCommand(const char* url) {
    std::string body, err;
    long status = 0;
    if (plat::httpGet(url, "qm_test_child", body, status, err, 1 << 20))
        say("get " + std::to_string(status));
    else
        say("get failed: " + err);
}

void httpDownloadCommand(const char* url, const char* path) {
    std::atomic<unsigned long long> got{0}, total{0};
    std::atomic<bool> stop{false};
    std::string err;
    if (plat::httpDownload(url, "qm_test_child", path, got, total, stop, err, 1 << 20))
        say("download " + std::to_string(got.load()));
    else
        say("download failed: " + err);
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string cmd = argv[i];
        const char* arg = i + 1 < argc ? argv[i + 1] : "";
        if (cmd == "out" || cmd == "err") {
            put(cmd == "out" ? 1 : 2, decode(arg));
            ++i;
        } else if (cmd == "lines") {
            int n = std::atoi(arg), len = i + 2 < argc ? std::atoi(argv[i + 2]) : 0;
            std::string text;
            for (int k = 0; k < n; ++k)
                text += std::to_string(k) + " " + std::string(static_cast<std::size_t>(len), 'x') +
                        "\n";
            put(1, text);
            i += 2;
        } else if (cmd == "blob") {
            const std::string chunk(std::size_t(1) << 20, 'x');
            for (long long left = std::atoll(arg); left > 0; left -= (long long)chunk.size())
                put(1,
                    left >= (long long)chunk.size() ? chunk : chunk.substr(0, std::size_t(left)));
            ++i;
        } else if (cmd == "stdin") {
            char c;
            ssize_t n = read(0, &c, 1);
            say(n == 0 ? "stdin eof" : n > 0 ? "stdin data" : "stdin error");
        } else if (cmd == "argv") {
            for (++i; i < argc; ++i)
                say(std::string("[") + argv[i] + "]");
        } else if (cmd == "cwd") {
            char buf[4096];
            say(std::string("cwd ") + (getcwd(buf, sizeof buf) ? buf : "?"));
        } else if (cmd == "env") {
            const char* v = std::getenv(arg);
            say(v ? std::string("env ") + v : "env unset");
            ++i;
        } else if (cmd == "pid") {
            say("pid " + std::to_string(getpid()));
        } else if (cmd == "fds") {
            listFds();
        } else if (cmd == "sigs") {
            say("sigign " + statusField("SigIgn:"));
            say("sigblk " + statusField("SigBlk:"));
        } else if (cmd == "tty") {
            int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
            say(fd < 0 ? "tty none" : "tty yes");
        } else if (cmd == "pidfile") {
            writePidFile(arg, getpid());
            ++i;
        } else if (cmd == "grandchild") {
            grandchild(arg);
            ++i;
        } else if (cmd == "fork") {
            if (fork() == 0) {
                writePidFile(arg, getpid());
                sleepMs(120000);
                _exit(0);
            }
            ++i;
        } else if (cmd == "ignore-term") {
            std::signal(SIGTERM, SIG_IGN);
        } else if (cmd == "on-term") {
            termCode = std::atoi(arg);
            std::signal(SIGTERM, onTerm);
            ++i;
        } else if (cmd == "capture-self") {
            captureSelf(argc, argv, i + 1);
        } else if (cmd == "get") {
            httpGetCommand(arg);
            ++i;
        } else if (cmd == "download") {
            httpDownloadCommand(arg, i + 2 < argc ? argv[i + 2] : "");
            i += 2;
        } else if (cmd == "sleep") {
            sleepMs(std::atol(arg));
            ++i;
        } else if (cmd == "exit") {
            _exit(std::atoi(arg));
        } else if (cmd == "signal") {
            int sig = std::atoi(arg);
            std::signal(sig, SIG_DFL);
            raise(sig);
            _exit(93);
        } else {
            put(2, "qm_test_child: unknown command " + cmd + "\n");
            return 2;
        }
    }
    return 0;
}
