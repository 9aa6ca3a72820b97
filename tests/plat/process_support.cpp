#include "plat/process_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace qmtest {

namespace {

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string exeFolder() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string path(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    return path.substr(0, path.rfind('/'));
}

} // namespace

std::string childPath() {
    return std::string(QM_BIN_DIR) + "/qm_test_child";
}

bool jobHelperBesideUs() {
    return access((exeFolder() + "/qm-job").c_str(), X_OK) == 0;
}

bool waitEnded(plat::Process& p, int seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
        if (!p.running()) return true;
        sleepMs(10);
    }
    return false;
}

std::vector<std::string> runToEnd(plat::Process& p) {
    EXPECT_TRUE(waitEnded(p)) << "the child did not end";
    p.waitOutput(60000);
    return p.takeLines();
}

void startChild(plat::Process& p, const std::vector<std::string>& commands, bool capture) {
    std::string err;
    ASSERT_TRUE(p.start(childPath(), commands, "", capture, err)) << err;
}

pid_t readPidFile(const std::string& path, int seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
        std::ifstream in(path);
        int pid = 0;
        if (in >> pid && pid > 0) return pid;
        sleepMs(10);
    }
    return 0;
}

bool isGone(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return true;
    std::size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] == 'Z';
}

bool becomesGone(pid_t pid, int seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
        if (isGone(pid)) return true;
        sleepMs(10);
    }
    return false;
}

void killIfAlive(pid_t pid) {
    if (pid > 0 && !isGone(pid)) ::kill(pid, SIGKILL);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qm-test-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
    EXPECT_FALSE(path_.empty()) << "no temporary folder";
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

} // namespace qmtest
