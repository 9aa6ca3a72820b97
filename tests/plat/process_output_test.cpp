// What a captured child writes, and what every child is given: arguments, working folder,
// environment, descriptors, signals, no terminal.
#include "plat/process_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <unistd.h>

using qmtest::childPath;
using qmtest::runToEnd;
using qmtest::startChild;
using Lines = std::vector<std::string>;

namespace {

Lines capture(const std::vector<std::string>& commands) {
    plat::Process p;
    startChild(p, commands);
    return runToEnd(p);
}

} // namespace

// --- line splitting ----------------------------------------------------------------------------

struct SplitCase {
    const char* name;
    std::vector<std::string> commands;
    Lines expected;
};

class LineSplitting : public testing::TestWithParam<SplitCase> {};

TEST_P(LineSplitting, DeliversTheLinesTheChildWrote) {
    EXPECT_EQ(capture(GetParam().commands), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Captured, LineSplitting,
    testing::Values(
        SplitCase{"CrLfEmptyAndUnterminated", {"out", "x\\r\\ny\\n\\nz"}, {"x", "y", "", "z"}},
        SplitCase{"NothingWritten", {}, {}}, SplitCase{"OnlyALineFeed", {"out", "\\n"}, {""}},
        SplitCase{"OneCarriageReturnRemoved", {"out", "a\\r\\r\\nb\\r"}, {"a\r", "b\r"}},
        SplitCase{"LoneCarriageReturnsStay", {"out", "a\\rb\\n"}, {"a\rb"}},
        SplitCase{"LineSplitOverSeveralWrites",
                  {"out", "ab", "sleep", "50", "out", "c\\r", "sleep", "50", "out", "\\nd\\n"},
                  {"abc", "d"}},
        SplitCase{"StandardErrorInWrittenOrder",
                  {"out", "1\\n", "err", "2\\n", "out", "3\\n", "err", "4\\n", "out", "5"},
                  {"1", "2", "3", "4", "5"}},
        SplitCase{"StandardInputAtEnd", {"stdin"}, {"stdin eof"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CapturedOutput, LinesLongerThanAReadAndManyReadsKeepTheirBytes) {
    // 20000 bytes per line cross several 4096-byte reads; 3000 short lines fill many reads whose
    // boundaries fall inside lines.
    for (auto [count, len] : {std::pair{3, 20000}, std::pair{3000, 7}}) {
        Lines lines = capture({"lines", std::to_string(count), std::to_string(len)});
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(lines[i], std::to_string(i) + " " + std::string(len, 'x')) << i;
    }
}

TEST(CapturedOutput, TakeLinesHandsEachLineOnceAndOnlyCompleteOnes) {
    plat::Process p;
    startChild(p, {"out", "first\\nsecond-", "sleep", "60000"});
    Lines got;
    for (int i = 0; i < 6000 && got.empty(); ++i) {
        got = p.takeLines();
        usleep(10000);
    }
    EXPECT_EQ(got, Lines{"first"});
    EXPECT_TRUE(p.takeLines().empty());
    p.kill();
    EXPECT_EQ(runToEnd(p), Lines{"second-"});
}

TEST(CapturedOutput, PlainChildHasNoLinesAndNoReaderToWaitFor) {
    plat::Process p;
    startChild(p, {"exit", "0"}, false);
    EXPECT_TRUE(qmtest::waitEnded(p));
    p.waitOutput(600000); // returns at once: a hang here is the failure
    EXPECT_TRUE(p.takeLines().empty());
}

// --- what the child is given -------------------------------------------------------------------

TEST(ChildStart, ArgumentsArriveUnchanged) {
    std::vector<std::string> args = {
        "argv", "", "a b", "tab\there", "quote\"s", "back\\slash\\", "ünïcødé 日本", "--x=y"};
    Lines expected;
    for (std::size_t i = 1; i < args.size(); ++i)
        expected.push_back("[" + args[i] + "]");
    EXPECT_EQ(capture(args), expected);
}

TEST(ChildStart, WorkingFolderIsTheGivenOneOrOurs) {
    qmtest::TempDir dir;
    plat::Process p;
    std::string err;
    ASSERT_TRUE(p.start(childPath(), {"cwd"}, dir.path(), true, err)) << err;
    EXPECT_EQ(runToEnd(p), Lines{"cwd " + dir.path()});

    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    EXPECT_EQ(capture({"cwd"}), Lines{std::string("cwd ") + here});
}

TEST(ChildStart, RelativeProgramIsFoundFromOurFolderNotTheChilds) {
    qmtest::TempDir dir;
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(QM_BIN_DIR), 0);
    plat::Process p;
    std::string err;
    bool started = p.start("qm_test_child", {"cwd"}, dir.path(), true, err);
    ASSERT_EQ(chdir(here), 0);
    ASSERT_TRUE(started) << err;
    EXPECT_EQ(runToEnd(p), Lines{"cwd " + dir.path()});
}

TEST(ChildStart, EnvironmentIsInherited) {
    setenv("QM_PROCESS_TEST_VALUE", "héllo wörld", 1);
    EXPECT_EQ(capture({"env", "QM_PROCESS_TEST_VALUE"}), Lines{"env héllo wörld"});
    unsetenv("QM_PROCESS_TEST_VALUE");
}

TEST(ChildStart, OnlyTheStandardDescriptorsAreInherited) {
    // A descriptor of ours without close-on-exec must not leak into the child either.
    int leaky = dup(0);
    ASSERT_GE(leaky, 0);
    Lines lines = capture({"fds"});
    close(leaky);
    EXPECT_EQ(lines, Lines{"fds 0 1 2"});
}

TEST(ChildStart, SignalsAreNeitherIgnoredNorBlocked) {
    // Ignored signals survive an exec; a launcher that ignores SIGPIPE must not pass that on.
    auto before = std::signal(SIGPIPE, SIG_IGN);
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    Lines lines = capture({"sigs"});
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    std::signal(SIGPIPE, before);
    EXPECT_EQ(lines, (Lines{"sigign 0000000000000000", "sigblk 0000000000000000"}));
}

TEST(ChildStart, CapturedChildHasNoTerminal) {
    EXPECT_EQ(capture({"tty"}), Lines{"tty none"});
}

TEST(ChildStart, PidIsTheProgramsOwn) {
    for (bool captured : {true, false}) {
        plat::Process p;
        qmtest::TempDir dir;
        startChild(p, {"pidfile", dir.file("pid"), "sleep", "60000"}, captured);
        pid_t pid = qmtest::readPidFile(dir.file("pid"));
        EXPECT_EQ(p.pid(), static_cast<unsigned>(pid)) << (captured ? "captured" : "plain");
        p.kill();
        EXPECT_TRUE(qmtest::waitEnded(p));
    }
}
