// Helpers of the Windows tests (win_support.h).
#include "win/win_support.h"

#include "plat/fs.h"
#include "plat/win32/wide.h"

#include <gtest/gtest.h>

#include <cstdio>

using plat::win::toWide;

namespace wintest {

std::string childPath() {
    return plat::joinPath(plat::exeDir(), "qm_test_child.exe");
}

bool waitEnded(plat::Process& p, int seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
        if (!p.running()) return true;
        Sleep(10);
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

std::vector<std::string> capture(const std::vector<std::string>& commands) {
    plat::Process p;
    startChild(p, commands);
    return runToEnd(p);
}

unsigned readPidFile(const std::string& path, int seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
        unsigned long pid = std::strtoul(readFile(path).c_str(), nullptr, 10);
        if (pid > 0) return unsigned(pid);
        Sleep(10);
    }
    return 0;
}

bool isGone(unsigned pid) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!h) return true;
    bool ended = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    CloseHandle(h);
    return ended;
}

bool becomesGone(unsigned pid, int seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
        if (isGone(pid)) return true;
        Sleep(10);
    }
    return false;
}

void killIfAlive(unsigned pid) {
    if (pid == 0 || isGone(pid)) return;
    if (HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
        TerminateProcess(h, 9);
        CloseHandle(h);
    }
}

std::string readFile(const std::string& path) {
    std::string bytes;
    FILE* f = plat::openFile(path, "rb");
    if (!f) return bytes;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        bytes.append(buf, n);
    std::fclose(f);
    return bytes;
}

void writeFile(const std::string& path, const std::string& bytes) {
    FILE* f = plat::openFile(path, "wb");
    ASSERT_TRUE(f) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

TempDir::TempDir() {
    wchar_t base[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, base);
    std::string root = plat::win::toUtf8(base, n);
    for (unsigned i = 0; path_.empty() && i < 1000; ++i) {
        std::string candidate =
            plat::joinPath(root, "qm-test-日本語-" + std::to_string(GetCurrentProcessId()) + "-" +
                                     std::to_string(GetTickCount()) + "-" + std::to_string(i));
        if (CreateDirectoryW(toWide(candidate).c_str(), nullptr)) path_ = candidate;
    }
    EXPECT_FALSE(path_.empty()) << "no temporary folder";
}

TempDir::~TempDir() {
    if (!path_.empty()) plat::removeTree(path_);
}

} // namespace wintest
