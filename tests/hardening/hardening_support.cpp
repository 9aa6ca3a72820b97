// The hardening tests' helpers: running programs, the killable stand-in launcher, /proc scans.
#include "hardening/hardening_support.h"

#include "plat/clock.h"
#include "plat/process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qmharden {

std::string binFile(const std::string& name) {
    return std::string(QM_BIN_DIR) + "/" + name;
}

std::string repoFile(const std::string& relative) {
    return std::string(QM_SOURCE_DIR) + "/" + relative;
}

int runToEnd(const std::string& program, const std::vector<std::string>& args,
             std::vector<std::string>* lines) {
    plat::Process p;
    std::string err;
    if (!p.start(program, args, "", true, err)) return -1;
    const double guard = plat::now() + 300;
    while (p.running() && plat::now() < guard)
        plat::sleepMs(10);
    if (p.running()) {
        p.kill();
        return -1;
    }
    p.waitOutput(5000);
    if (lines) *lines = p.takeLines();
    return p.exitCode();
}

// --- the stand-in launcher -----------------------------------------------------------------------

StandIn::StandIn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                 const std::string& outputFile)
    : outputFile_(outputFile) {
    // Everything the child needs is made before the fork: after it only exec-safe calls follow.
    std::vector<std::string> words = {binFile("qm_hardening_child")};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = extraEnv;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& extra : extraEnv)
            replaced = replaced || extra.rfind(name, 0) == 0;
        if (!replaced) env.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out < 0 || in < 0) return;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out);
    close(in);
    pid_ = pid;
}

StandIn::~StandIn() {
    if (pid_ > 0) kill();
}

std::string StandIn::output() const {
    std::ifstream in(outputFile_, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool StandIn::waitForLine(const std::string& prefix, double seconds) {
    const double guard = plat::now() + seconds;
    while (plat::now() < guard) {
        const std::string text = "\n" + output();
        if (text.find("\n" + prefix) != std::string::npos) return true;
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        plat::sleepMs(1);
    }
    return false;
}

void StandIn::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

int StandIn::wait(double seconds) {
    const double guard = plat::now() + seconds;
    while (pid_ > 0 && plat::now() < guard) {
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        }
        plat::sleepMs(5);
    }
    return -1;
}

// --- /proc ---------------------------------------------------------------------------------------

namespace {

bool isZombie(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return true; // gone meanwhile
    size_t paren = stat.rfind(')');
    return paren == std::string::npos || paren + 2 >= stat.size() || stat[paren + 2] == 'Z' ||
           stat[paren + 2] == 'X';
}

} // namespace

std::vector<int> processesTagged(const std::string& tag) {
    const std::string entry = "QM_TREE_TAG=" + tag;
    std::vector<int> found;
    DIR* dir = opendir("/proc");
    if (!dir) return found;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
        std::ifstream in(std::string("/proc/") + e->d_name + "/environ", std::ios::binary);
        std::string env((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t at = 0;
        bool tagged = false;
        while (!tagged && at < env.size()) {
            size_t end = env.find('\0', at);
            if (end == std::string::npos) end = env.size();
            tagged = env.compare(at, end - at, entry) == 0;
            at = end + 1;
        }
        if (tagged && !isZombie(e->d_name)) found.push_back(std::atoi(e->d_name));
    }
    closedir(dir);
    return found;
}

long residentKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

} // namespace qmharden
