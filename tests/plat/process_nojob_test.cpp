// Without qm-job beside the program a captured child's process group is what ends. These cases
// run in a copy of this test program in a folder of its own (see main.cpp).
#include "plat/process_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using qmtest::becomesGone;
using qmtest::readPidFile;
using qmtest::startChild;
using qmtest::waitEnded;

TEST(NoJobHelper, KillEndsTheChildsProcessGroup) {
    qmtest::TempDir dir;
    plat::Process p;
    startChild(p, {"fork", dir.file("forked"), "sleep", "60000"});
    pid_t forked = readPidFile(dir.file("forked"));
    ASSERT_GT(forked, 0);
    p.kill();
    ASSERT_TRUE(waitEnded(p));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(becomesGone(forked));
    qmtest::killIfAlive(forked);
}

TEST(NoJobHelper, ChildEndingOnItsOwnTakesItsGroupAlong) {
    qmtest::TempDir dir;
    plat::Process p;
    startChild(p, {"fork", dir.file("forked"), "exit", "4"});
    pid_t forked = readPidFile(dir.file("forked"));
    ASSERT_GT(forked, 0);
    ASSERT_TRUE(waitEnded(p));
    EXPECT_EQ(p.exitCode(), 4);
    EXPECT_TRUE(becomesGone(forked));
    qmtest::killIfAlive(forked);
}

TEST(NoJobHelper, AnEscapedGrandchildHoldingThePipeDoesNotHoldTheRelease) {
    qmtest::TempDir dir;
    pid_t child = 0;
    {
        plat::Process p;
        startChild(p, {"grandchild", dir.file("grandchild"), "out", "partial", "sleep", "60000"});
        child = static_cast<pid_t>(p.pid());
        ASSERT_GT(readPidFile(dir.file("grandchild")), 0);
    } // the reader is cancelled after its grace time: a hang here is the failure
    EXPECT_TRUE(becomesGone(child));
    pid_t grandchild = readPidFile(dir.file("grandchild"));
    EXPECT_FALSE(qmtest::isGone(grandchild)) << "out of reach without the helper";
    qmtest::killIfAlive(grandchild);
}

TEST(NoJobHelperDriver, RunsTheCasesInACopyWithoutTheHelper) {
    qmtest::TempDir dir;
    std::string copy = dir.file("test_plat");
    std::error_code ec;
    ASSERT_TRUE(std::filesystem::copy_file("/proc/self/exe", copy, ec)) << ec.message();
    // The cases that hold in both set-ups run too; the tree cases need the helper.
    std::string filter = "--gtest_filter=NoJobHelper.*:LineSplitting*:CapturedOutput.*:"
                         "ExitCodes*:ProcessState.*:FailedStart*:Reaping.*:ChildStart.*";
    plat::Process p;
    std::string err;
    ASSERT_TRUE(p.start(copy, {filter}, "", true, err)) << err;
    std::vector<std::string> lines = qmtest::runToEnd(p);
    std::string all;
    bool passed = false, ranSome = false;
    for (const auto& line : lines) {
        all += line + "\n";
        passed = passed || line.rfind("[  PASSED  ]", 0) == 0;
        ranSome = ranSome || line.rfind("[       OK ] NoJobHelper.", 0) == 0;
    }
    EXPECT_EQ(p.exitCode(), 0) << all;
    EXPECT_TRUE(passed && ranSome) << all;
}
