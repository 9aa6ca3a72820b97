// Exit codes, kill and close requests, failed starts, reaping, and plain children that outlive
// their object.
#include "plat/process_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using qmtest::startChild;
using qmtest::waitEnded;

// --- exit codes --------------------------------------------------------------------------------

struct ExitCase {
    const char* name;
    std::vector<std::string> commands;
    int code;
};

class ExitCodes : public testing::TestWithParam<std::tuple<ExitCase, bool>> {};

TEST_P(ExitCodes, AreReadOnceTheChildEnded) {
    auto [c, captured] = GetParam();
    plat::Process p;
    startChild(p, c.commands, captured);
    ASSERT_TRUE(waitEnded(p));
    EXPECT_EQ(p.exitCode(), c.code);
    EXPECT_EQ(p.exitCode(), c.code) << "a second read must give the same code";
}

INSTANTIATE_TEST_SUITE_P(
    Both, ExitCodes,
    testing::Combine(testing::Values(ExitCase{"Zero", {"exit", "0"}, 0},
                                     ExitCase{"One", {"exit", "1"}, 1},
                                     ExitCase{"FortyTwo", {"exit", "42"}, 42},
                                     ExitCase{"TwoFiftyFive", {"exit", "255"}, 255},
                                     ExitCase{"EndOfCommands", {}, 0},
                                     ExitCase{"OwnSigusr1", {"signal", "10"}, 128 + SIGUSR1},
                                     ExitCase{"OwnSigkill", {"signal", "9"}, 128 + SIGKILL}),
                     testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) ? "Captured" : "Plain");
    });

TEST(ProcessState, NeverStartedReadsEmpty) {
    plat::Process p;
    EXPECT_FALSE(p.running());
    EXPECT_EQ(p.exitCode(), -1);
    EXPECT_EQ(p.pid(), 0u);
    EXPECT_TRUE(p.takeLines().empty());
    p.waitOutput(600000); // no reader: returns at once
    p.kill();             // no effect
    p.closeWindows();
    EXPECT_EQ(p.exitCode(), -1);
}

TEST(ProcessState, RunningChildReadsMinusOneThenKilledReadsOne) {
    for (bool captured : {true, false}) {
        plat::Process p;
        startChild(p, {"sleep", "60000", "exit", "3"}, captured);
        EXPECT_TRUE(p.running());
        EXPECT_EQ(p.exitCode(), -1);
        p.kill();
        ASSERT_TRUE(waitEnded(p));
        EXPECT_EQ(p.exitCode(), 1) << (captured ? "captured" : "plain");
    }
}

TEST(ProcessState, KillAfterTheEndKeepsTheRealCode) {
    plat::Process p;
    startChild(p, {"exit", "5"});
    ASSERT_TRUE(waitEnded(p));
    p.kill();
    EXPECT_EQ(p.exitCode(), 5);
}

TEST(ProcessState, KillEndsEvenAChildThatIgnoresSigterm) {
    for (bool captured : {true, false}) {
        plat::Process p;
        startChild(p, {"ignore-term", "sleep", "60000"}, captured);
        p.kill();
        ASSERT_TRUE(waitEnded(p)) << (captured ? "captured" : "plain");
        EXPECT_EQ(p.exitCode(), 1);
    }
}

TEST(ProcessState, CloseWindowsAsksTheProgramToEnd) {
    for (bool captured : {true, false}) {
        qmtest::TempDir dir;
        plat::Process p;
        startChild(p, {"on-term", "17", "pidfile", dir.file("ready"), "sleep", "60000"}, captured);
        ASSERT_GT(qmtest::readPidFile(dir.file("ready")), 0);
        p.closeWindows();
        ASSERT_TRUE(waitEnded(p)) << (captured ? "captured" : "plain");
        EXPECT_EQ(p.exitCode(), 17) << "the program itself answered the request";
    }
}

// --- failed starts -----------------------------------------------------------------------------

struct StartFailure {
    const char* name;
    const char* content; // nullptr: no file at all
    mode_t mode;
    int error;
};

class FailedStart : public testing::TestWithParam<std::tuple<StartFailure, bool>> {};

TEST_P(FailedStart, ReturnsFalseWithTheSystemsText) {
    auto [c, captured] = GetParam();
    qmtest::TempDir dir;
    std::string program = dir.file("program");
    if (c.content) {
        std::ofstream(program) << c.content;
        ASSERT_EQ(chmod(program.c_str(), c.mode), 0);
    }
    plat::Process p;
    std::string err;
    EXPECT_FALSE(p.start(program, {"x"}, "", captured, err));
    EXPECT_EQ(err, std::strerror(c.error));
    EXPECT_FALSE(p.running());
    EXPECT_EQ(p.exitCode(), -1);
    EXPECT_TRUE(p.takeLines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Both, FailedStart,
    testing::Combine(
        testing::Values(StartFailure{"Missing", nullptr, 0, ENOENT},
                        StartFailure{"NotExecutable", "#!/bin/sh\nexit 0\n", 0644, EACCES},
                        StartFailure{"NoExecutableFormat", "just some text\n", 0755, ENOEXEC}),
        testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) ? "Captured" : "Plain");
    });

TEST(FailedStartDir, MissingWorkingFolderIsReported) {
    qmtest::TempDir dir;
    plat::Process p;
    std::string err;
    EXPECT_FALSE(p.start(qmtest::childPath(), {}, dir.file("absent"), true, err));
    EXPECT_EQ(err, std::strerror(ENOENT));
}

TEST(FailedStartDir, AFailedStartReleasesThePreviousChild) {
    qmtest::TempDir dir;
    plat::Process p;
    startChild(p, {"pidfile", dir.file("pid"), "sleep", "60000"});
    pid_t first = qmtest::readPidFile(dir.file("pid"));
    ASSERT_GT(first, 0);
    std::string err;
    EXPECT_FALSE(p.start(dir.file("absent"), {}, "", true, err));
    EXPECT_TRUE(qmtest::becomesGone(first));
    EXPECT_FALSE(p.running());
    qmtest::killIfAlive(first);
}

// --- reaping -----------------------------------------------------------------------------------

TEST(Reaping, AnUnrelatedChildOfOursKeepsItsExitStatus) {
    pid_t own = fork();
    ASSERT_GE(own, 0);
    if (own == 0) _exit(42);
    // Give it every chance to end and be stolen while the class starts, polls, kills and
    // releases children of its own.
    for (bool captured : {true, false}) {
        plat::Process p;
        startChild(p, {"exit", "0"}, captured);
        ASSERT_TRUE(waitEnded(p));
        EXPECT_EQ(p.exitCode(), 0);
        startChild(p, {"sleep", "60000"}, captured);
        p.kill();
        ASSERT_TRUE(waitEnded(p));
        startChild(p, {"sleep", "100"}, captured);
    }
    int status = 0;
    ASSERT_EQ(waitpid(own, &status, 0), own);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 42);
}

TEST(PlainChild, OutlivesItsObjectAndIsReapedWhenItEnds) {
    qmtest::TempDir dir;
    pid_t pid = 0;
    {
        plat::Process p;
        startChild(p, {"pidfile", dir.file("pid"), "sleep", "1500", "pidfile", dir.file("end")},
                   false);
        pid = qmtest::readPidFile(dir.file("pid"));
        ASSERT_GT(pid, 0);
        EXPECT_EQ(p.pid(), static_cast<unsigned>(pid));
    }
    EXPECT_FALSE(qmtest::isGone(pid)) << "a plain child must survive its object";
    EXPECT_EQ(getsid(pid), pid) << "a plain child runs in a session of its own";
    EXPECT_EQ(qmtest::readPidFile(dir.file("end")), pid) << "it ran to its end";
    // Gone from /proc entirely, not left as a zombie: someone of ours waited for it.
    bool reaped = false;
    for (int i = 0; i < 6000 && !reaped; ++i) {
        reaped = access(("/proc/" + std::to_string(pid)).c_str(), F_OK) != 0;
        usleep(10000);
    }
    EXPECT_TRUE(reaped);
    qmtest::killIfAlive(pid);
}

TEST(PlainChild, KeepsRunningWhenTheObjectStartsAnother) {
    qmtest::TempDir dir;
    plat::Process p;
    startChild(p, {"pidfile", dir.file("pid"), "sleep", "60000"}, false);
    pid_t first = qmtest::readPidFile(dir.file("pid"));
    ASSERT_GT(first, 0);
    startChild(p, {"exit", "0"}, false);
    ASSERT_TRUE(waitEnded(p));
    EXPECT_FALSE(qmtest::isGone(first));
    ::kill(first, SIGKILL);
    EXPECT_TRUE(qmtest::becomesGone(first));
}
