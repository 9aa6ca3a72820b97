// With the job helper beside us: a captured child's whole tree, including descendants that forked
// twice and left our session, ends with kill(), with the child's own end, with a restart, with
// the object, and with the launcher itself.
#include "plat/process_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>

using qmtest::becomesGone;
using qmtest::readPidFile;
using qmtest::startChild;
using qmtest::waitEnded;

namespace {

// A captured child that started a grandchild which left its session; both pids are known.
class CapturedTree : public testing::Test {
protected:
    void startTree(plat::Process& p, const std::vector<std::string>& before,
                   const std::vector<std::string>& after) {
        std::vector<std::string> commands = before;
        for (const char* c : {"pidfile", "", "grandchild", ""})
            commands.push_back(c);
        commands[commands.size() - 3] = dir.file("child");
        commands[commands.size() - 1] = dir.file("grandchild");
        commands.insert(commands.end(), after.begin(), after.end());
        startChild(p, commands);
        child = readPidFile(dir.file("child"));
        grandchild = readPidFile(dir.file("grandchild"));
        ASSERT_GT(child, 0);
        ASSERT_GT(grandchild, 0);
    }

    void expectAllGone() {
        EXPECT_TRUE(becomesGone(child)) << "child " << child;
        EXPECT_TRUE(becomesGone(grandchild)) << "grandchild " << grandchild;
    }

    void TearDown() override {
        qmtest::killIfAlive(grandchild);
        qmtest::killIfAlive(child);
    }

    qmtest::TempDir dir;
    pid_t child = 0;
    pid_t grandchild = 0;
};

} // namespace

TEST_F(CapturedTree, KillEndsEveryDescendant) {
    plat::Process p;
    startTree(p, {}, {"sleep", "60000"});
    p.kill();
    ASSERT_TRUE(waitEnded(p));
    EXPECT_EQ(p.exitCode(), 1);
    expectAllGone();
    p.waitOutput(60000); // nobody holds the pipe any more: a hang here is the failure
}

TEST_F(CapturedTree, KillEndsDescendantsThatIgnoreSigterm) {
    plat::Process p;
    startTree(p, {"ignore-term"}, {"sleep", "60000"});
    p.kill();
    ASSERT_TRUE(waitEnded(p));
    expectAllGone();
}

TEST_F(CapturedTree, ChildEndingOnItsOwnTakesItsTreeAlong) {
    plat::Process p;
    startTree(p, {}, {"out", "bye", "exit", "5"});
    ASSERT_TRUE(waitEnded(p));
    EXPECT_EQ(p.exitCode(), 5);
    expectAllGone();
    p.waitOutput(60000);
    EXPECT_EQ(p.takeLines(), std::vector<std::string>{"bye"});
}

TEST_F(CapturedTree, RestartEndsThePreviousTree) {
    plat::Process p;
    startTree(p, {}, {"sleep", "60000"});
    startChild(p, {"out", "second\\n"});
    expectAllGone();
    EXPECT_EQ(qmtest::runToEnd(p), std::vector<std::string>{"second"})
        << "nothing of the first child's output may remain";
    EXPECT_EQ(p.exitCode(), 0);
}

TEST_F(CapturedTree, ReleaseEndsTheTreeEvenWhileItHoldsThePipe) {
    {
        plat::Process p;
        startTree(p, {"ignore-term"}, {"out", "unfinished line", "sleep", "60000"});
    }
    expectAllGone();
}

// Without a tree of its own the child is ended only by what ends ours: releasing it leaves it and
// what it started running.
TEST_F(CapturedTree, InOurTreeReleaseLeavesTheTreeRunning) {
    {
        plat::Process p;
        std::string err;
        ASSERT_TRUE(p.startInOurTree(
            qmtest::childPath(),
            {"pidfile", dir.file("child"), "grandchild", dir.file("grandchild"), "sleep", "60000"},
            "", err))
            << err;
        child = readPidFile(dir.file("child"));
        grandchild = readPidFile(dir.file("grandchild"));
        ASSERT_GT(child, 0);
        ASSERT_GT(grandchild, 0);
    }
    EXPECT_FALSE(qmtest::isGone(child));
    EXPECT_FALSE(qmtest::isGone(grandchild));
}

TEST_F(CapturedTree, LauncherDeathEndsTheTree) {
    // A stand-in launcher, started plain so that only it dies; its helper notices and cleans up.
    plat::Process launcher;
    startChild(launcher,
               {"capture-self", "pidfile", dir.file("child"), "grandchild", dir.file("grandchild"),
                "sleep", "60000"},
               false);
    child = readPidFile(dir.file("child"));
    grandchild = readPidFile(dir.file("grandchild"));
    ASSERT_GT(child, 0);
    ASSERT_GT(grandchild, 0);
    launcher.kill();
    ASSERT_TRUE(waitEnded(launcher));
    expectAllGone();
}

TEST(JobHelper, OurProcessNeverBecomesASubreaper) {
    plat::Process p;
    startChild(p, {"sleep", "60000"});
    int flag = -1;
    ASSERT_EQ(prctl(PR_GET_CHILD_SUBREAPER, &flag), 0);
    EXPECT_EQ(flag, 0);
}
