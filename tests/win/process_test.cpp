// The child process runner on Windows with real children: output lines, merged standard error,
// standard input, exit codes, kill, close requests, failed starts, the job that ends a whole tree,
// restarts, and plain children that outlive their object.
#include "plat/env.h"
#include "plat/fs.h"
#include "plat/win32/wide.h"
#include "win/win_support.h"

#include <gtest/gtest.h>

using wintest::becomesGone;
using wintest::capture;
using wintest::readPidFile;
using wintest::startChild;
using wintest::waitEnded;
using Lines = std::vector<std::string>;

// --- output --------------------------------------------------------------------------------------

struct SplitCase {
    const char* name;
    Lines commands;
    Lines expected;
};

class LineSplitting : public testing::TestWithParam<SplitCase> {};

TEST_P(LineSplitting, DeliversTheLinesTheChildWrote) {
    EXPECT_EQ(capture(GetParam().commands), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineSplitting,
    testing::Values(
        SplitCase{"CrLfEmptyAndUnterminated", {"out", "x\\r\\ny\\n\\nz"}, {"x", "y", "", "z"}},
        SplitCase{"OnlyOneCarriageReturnGoes", {"out", "a\\r\\r\\n"}, {"a\r"}},
        SplitCase{"NoOutput", {}, {}},
        SplitCase{"StderrInterleaved",
                  {"out", "1\\n", "err", "2\\n", "out", "3\\n", "err", "4"},
                  {"1", "2", "3", "4"}},
        SplitCase{"BytesStayUnconverted", {"out", "日本語 é\\n"}, {"日本語 é"}},
        SplitCase{"StdinIsAtItsEnd", {"stdin"}, {"stdin eof"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CapturedOutput, ManyLongLinesArriveWholeAndInOrder) {
    Lines lines = capture({"lines", "3000", "700"});
    ASSERT_EQ(lines.size(), 3000u);
    for (size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], std::to_string(i) + " " + std::string(700, 'x')) << i;
}

TEST(CapturedOutput, EnvironmentAndWorkingFolderReachTheChild) {
    wintest::TempDir dir;
    std::string folder = dir.file("作業 folder");
    ASSERT_TRUE(plat::makeDirs(folder));
    plat::setEnv("QM_TEST_VALUE", "ünï 日本");
    plat::Process p;
    std::string err;
    ASSERT_TRUE(p.start(wintest::childPath(), {"env", "QM_TEST_VALUE", "cwd"}, folder, true, err))
        << err;
    EXPECT_EQ(wintest::runToEnd(p), (Lines{"env ünï 日本", "cwd " + folder}));
    plat::setEnv("QM_TEST_VALUE", "");
    EXPECT_EQ(capture({"env", "QM_TEST_VALUE"}), Lines{"env unset"});
}

// --- exit codes, kill and close ------------------------------------------------------------------

class ExitCodes : public testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(ExitCodes, AreReadOnceTheChildEnded) {
    auto [code, captured] = GetParam();
    plat::Process p;
    startChild(p, {"exit", std::to_string(code)}, captured);
    ASSERT_TRUE(waitEnded(p));
    EXPECT_EQ(p.exitCode(), code);
    EXPECT_EQ(p.exitCode(), code) << "a second read gives the same code";
}

INSTANTIATE_TEST_SUITE_P(Both, ExitCodes,
                         testing::Combine(testing::Values(0, 1, 42, 255, 258, 260),
                                          testing::Bool()));

TEST(ProcessState, NeverStartedReadsEmpty) {
    plat::Process p;
    EXPECT_FALSE(p.running());
    EXPECT_EQ(p.exitCode(), -1);
    EXPECT_EQ(p.pid(), 0u);
    EXPECT_TRUE(p.takeLines().empty());
    p.waitOutput(600000); // no reader: returns at once
    p.kill();
    p.closeWindows();
    EXPECT_EQ(p.exitCode(), -1);
}

TEST(ProcessState, RunningReadsMinusOneAndKilledReadsOne) {
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

TEST(ProcessState, StillActiveCodeReadsMinusOne) {
    // 259 is what the system reports for a process that still runs.
    plat::Process p;
    startChild(p, {"exit", "259"});
    ASSERT_TRUE(waitEnded(p));
    EXPECT_EQ(p.exitCode(), -1);
}

TEST(ProcessState, CloseWindowsPostsCloseToTheChildsWindow) {
    for (bool captured : {true, false}) {
        plat::Process p;
        startChild(p, {"window", "17"}, captured);
        // The window exists once the child says so (captured) or after a short while (plain).
        for (int i = 0; i < 500 && p.running(); ++i) {
            p.closeWindows();
            Sleep(20);
        }
        ASSERT_TRUE(waitEnded(p)) << (captured ? "captured" : "plain");
        EXPECT_EQ(p.exitCode(), 17) << "the program itself answered the request";
    }
}

// --- failed starts -------------------------------------------------------------------------------

TEST(FailedStart, MissingProgramOrFolderGivesTheSystemsText) {
    wintest::TempDir dir;
    wintest::writeFile(dir.file("not a program.exe"), "just some text\r\n");
    struct Case {
        std::string program, workDir;
    } cases[] = {{dir.file("absent.exe"), ""},
                 {wintest::childPath(), dir.file("absent")},
                 {dir.file("not a program.exe"), ""}};
    for (const Case& c : cases) {
        for (bool captured : {true, false}) {
            plat::Process p;
            std::string err;
            EXPECT_FALSE(p.start(c.program, {"x"}, c.workDir, captured, err)) << c.program;
            EXPECT_FALSE(err.empty());
            EXPECT_NE(err.back(), '.') << err;
            EXPECT_NE(err.back(), '\n') << err;
            EXPECT_FALSE(p.running());
            EXPECT_EQ(p.exitCode(), -1);
        }
    }
}

// --- trees ---------------------------------------------------------------------------------------

namespace {

// A captured child that started a grandchild holding the output pipe; both pids are known.
class CapturedTree : public testing::Test {
protected:
    void startTree(plat::Process& p, const Lines& after) {
        Lines commands = {"pidfile", dir.file("child"), "grandchild", dir.file("grandchild")};
        commands.insert(commands.end(), after.begin(), after.end());
        startChild(p, commands);
        child = readPidFile(dir.file("child"));
        grandchild = readPidFile(dir.file("grandchild"));
        ASSERT_GT(child, 0u);
        ASSERT_GT(grandchild, 0u);
    }

    void expectAllGone() {
        EXPECT_TRUE(becomesGone(child)) << "child " << child;
        EXPECT_TRUE(becomesGone(grandchild)) << "grandchild " << grandchild;
    }

    void TearDown() override {
        wintest::killIfAlive(grandchild);
        wintest::killIfAlive(child);
    }

    wintest::TempDir dir;
    unsigned child = 0;
    unsigned grandchild = 0;
};

} // namespace

TEST_F(CapturedTree, KillEndsEveryDescendant) {
    plat::Process p;
    startTree(p, {"sleep", "60000"});
    p.kill();
    ASSERT_TRUE(waitEnded(p));
    EXPECT_EQ(p.exitCode(), 1);
    expectAllGone();
    p.waitOutput(60000); // nobody holds the pipe any more: a hang here is the failure
}

// Without a job of its own the child is ended only by what ends our tree: releasing it leaves it
// and what it started running.
TEST_F(CapturedTree, InOurTreeReleaseLeavesTheTreeRunning) {
    {
        plat::Process p;
        std::string err;
        ASSERT_TRUE(p.startInOurTree(
            wintest::childPath(),
            {"pidfile", dir.file("child"), "grandchild", dir.file("grandchild"), "sleep", "60000"},
            "", err))
            << err;
        child = readPidFile(dir.file("child"));
        grandchild = readPidFile(dir.file("grandchild"));
        ASSERT_GT(child, 0u);
        ASSERT_GT(grandchild, 0u);
    }
    EXPECT_FALSE(wintest::isGone(child));
    EXPECT_FALSE(wintest::isGone(grandchild));
}

TEST_F(CapturedTree, RestartEndsThePreviousTree) {
    plat::Process p;
    startTree(p, {"sleep", "60000"});
    startChild(p, {"out", "second\\n"});
    expectAllGone();
    EXPECT_EQ(wintest::runToEnd(p), Lines{"second"})
        << "nothing of the first child's output may remain";
    EXPECT_EQ(p.exitCode(), 0);
}

TEST_F(CapturedTree, ReleaseEndsTheTreeEvenWhileItHoldsThePipe) {
    {
        plat::Process p;
        startTree(p, {"out", "unfinished line", "exit", "0"});
        ASSERT_TRUE(waitEnded(p));
        EXPECT_FALSE(wintest::isGone(grandchild)) << "the job ends it only when released";
    }
    expectAllGone();
}

TEST_F(CapturedTree, LauncherDeathEndsTheTree) {
    // A stand-in launcher started plain, so that only it is killed; its job handle closes with it.
    plat::Process launcher;
    startChild(launcher,
               {"capture-self", "pidfile", dir.file("child"), "grandchild", dir.file("grandchild"),
                "sleep", "60000"},
               false);
    child = readPidFile(dir.file("child"));
    grandchild = readPidFile(dir.file("grandchild"));
    ASSERT_GT(child, 0u);
    ASSERT_GT(grandchild, 0u);
    launcher.kill();
    ASSERT_TRUE(waitEnded(launcher));
    expectAllGone();
}

TEST(PlainChild, OutlivesItsObject) {
    wintest::TempDir dir;
    unsigned pid = 0;
    {
        plat::Process p;
        startChild(p, {"pidfile", dir.file("pid"), "sleep", "60000"}, false);
        pid = readPidFile(dir.file("pid"));
        ASSERT_GT(pid, 0u);
        EXPECT_EQ(p.pid(), pid);
    }
    Sleep(200);
    EXPECT_FALSE(wintest::isGone(pid)) << "a plain child must survive its object";
    wintest::killIfAlive(pid);
    EXPECT_TRUE(becomesGone(pid));
}

TEST(PlainChild, KeepsRunningWhenTheObjectStartsAnother) {
    wintest::TempDir dir;
    plat::Process p;
    startChild(p, {"pidfile", dir.file("pid"), "sleep", "60000"}, false);
    unsigned first = readPidFile(dir.file("pid"));
    ASSERT_GT(first, 0u);
    startChild(p, {"exit", "0"}, false);
    ASSERT_TRUE(waitEnded(p));
    EXPECT_FALSE(wintest::isGone(first));
    wintest::killIfAlive(first);
}
