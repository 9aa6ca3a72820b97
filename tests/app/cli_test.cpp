// The built launcher's text mode, run as a real program.
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sys/wait.h>

namespace {

struct Outcome {
    std::string out;
    int code = -1;
};

Outcome launcher(const std::string& args) {
    Outcome r;
    std::string cmd = std::string(QM_BIN_DIR) + "/qm-launcher " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

const std::regex kVersionReport("version 0\\.6\\.1\ncommit [0-9a-f]{40}\n");

TEST(TextMode, VersionPrintsTwoLinesAndOpensNoWindow) {
    // No display at all: a window attempt would fail, so success proves none was tried.
    Outcome r = launcher("--version");
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(std::regex_match(r.out, kVersionReport)) << r.out;
}

TEST(TextMode, ReportGoesIntoTheFileOnly) {
    TempDir dir;
    Outcome r = launcher("--report " + dir.file("report.txt") + " --version");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    std::string file = readBytes(dir.file("report.txt"));
    EXPECT_TRUE(std::regex_match(file, kVersionReport)) << file;
}

TEST(TextMode, UnwritableReportLosesTheReportButKeepsTheVerdict) {
    TempDir dir;
    Outcome r = launcher("--version --report " + dir.file("missing/report.txt"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
}

TEST(TextMode, CommitMatchesTheSourceCheckout) {
    std::string cmd = std::string("git -C ") + QM_SOURCE_DIR + " rev-parse HEAD 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    char buf[64] = {};
    size_t n = fread(buf, 1, sizeof buf - 1, p);
    bool isCheckout = pclose(p) == 0 && n >= 40;
    Outcome r = launcher("--version");
    std::string commit = r.out.substr(r.out.find("commit ") + 7, 40);
    if (isCheckout)
        EXPECT_EQ(commit, std::string(buf, 40));
    else
        EXPECT_EQ(commit, std::string(40, '0'));
}

TEST(WindowMode, NoDisplayShowsTheSdlErrorAndExitsOne) {
    TempDir dir;
    std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY ZOLT_USER_DIR=" + dir.path() + " " +
                      QM_BIN_DIR + "/qm-launcher --release " + dir.path() + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_NE(out.find("SDL could not start: "), std::string::npos) << out;
}

} // namespace
