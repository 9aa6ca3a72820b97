// No orphaned build: a stand-in launcher (an App running a build or a disc check, as the frame
// loop runs it) is killed with SIGKILL at random moments while the build script works, with
// QM_BUILD_DOUBLE_FORK=1 making the script and its workers leave daemons that forked twice and
// called setsid. Two seconds later nothing of the script's tree may run. The plain game, by
// contrast, outlives the launcher.
//
// Every process started for one run carries QM_TREE_TAG=<run> in its environment, inherited down
// the whole tree, which is how the test finds what is left.
#include "hardening/hardening_support.h"

#include "plat/clock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qmharden;

namespace {

class BuildTree : public ::testing::Test {
protected:
    void SetUp() override {
        release = dir.file("release");
        ASSERT_EQ(0, runToEnd("/usr/bin/python3", {repoFile("fixtures/make_release.py"), release,
                                                   "--bin", QM_BIN_DIR}));
        ASSERT_EQ(0, runToEnd("/usr/bin/python3",
                              {repoFile("fixtures/make_discs.py"), dir.file("discs")}));
        disc = dir.file("discs/good.iso");
    }

    std::vector<std::string> env(const std::string& tag) const {
        return {"QM_TREE_TAG=" + tag, "QM_BUILD_DOUBLE_FORK=1", "QM_BUILD_PACE=0",
                "ZOLT_USER_DIR=" + dir.file("user")};
    }

    void freshBuild() const {
        fs::remove_all(release + "/build");
        fs::remove_all(release + "/game");
    }

    // Waits up to 2 s for the tagged tree to be gone; what is left then.
    static std::vector<int> leftAfterTwoSeconds(const std::string& tag) {
        const double until = plat::now() + 2;
        std::vector<int> left = processesTagged(tag);
        while (!left.empty() && plat::now() < until) {
            plat::sleepMs(20);
            left = processesTagged(tag);
        }
        return left;
    }

    static void killAll(const std::vector<int>& pids) {
        for (int pid : pids)
            ::kill(pid, SIGKILL);
    }

    TempDir dir;
    std::string release, disc;
};

TEST_F(BuildTree, NothingOfTheBuildOutlivesAKilledLauncher) {
    // One whole build first: the double forks do not keep it from ending as ready, and its length
    // bounds the random moments.
    const double t0 = plat::now();
    {
        StandIn whole({"build", release, disc}, env("whole"), dir.file("whole.out"));
        ASSERT_EQ(0, whole.wait()) << whole.output();
        EXPECT_NE(std::string::npos, whole.output().find("ended 2 The game is ready"))
            << whole.output();
    }
    const double buildSeconds = plat::now() - t0;
    killAll(processesTagged("whole")); // its daemons: nobody killed that launcher
    const double checkSeconds = 0.5;

    std::mt19937 random(4242);
    int withDescendants = 0, descendantsAtKill = 0;
    const int kills = 100;
    for (int i = 0; i < kills; ++i) {
        const bool check = i % 5 == 4; // every fifth run is a disc check
        const std::string tag = "run-" + std::to_string(getpid()) + "-" + std::to_string(i);
        freshBuild();
        StandIn launcher({check ? "check" : "build", release, disc}, env(tag),
                         dir.file("launcher.out"));
        ASSERT_TRUE(launcher.waitForLine(check ? "checking" : "building")) << launcher.output();
        std::uniform_real_distribution<double> moment(0, check ? checkSeconds : buildSeconds);
        plat::sleepMs(int(moment(random) * 1000));
        const int tagged = int(processesTagged(tag).size());
        const int alive = tagged > 0 ? tagged - 1 : 0; // less the launcher itself
        descendantsAtKill += alive;
        withDescendants += alive > 0;
        launcher.kill();

        const std::vector<int> left = leftAfterTwoSeconds(tag);
        killAll(left);
        ASSERT_TRUE(left.empty()) << "run " << i << ": " << left.size()
                                  << " processes of the tree outlived the launcher";
    }
    EXPECT_GT(withDescendants, kills / 2);
    std::printf("[ figures  ] %d kills (build %.2f s), %d with the tree running, %d processes of "
                "the tree alive at the kills, none left 2 s later\n",
                kills, buildSeconds, withDescendants, descendantsAtKill);
}

TEST_F(BuildTree, ThePlainGameOutlivesTheLauncher) {
    // A stand-in game: writes its pid and waits, as a game does while it is played.
    const std::string game = release + "/game";
    fs::create_directories(game);
    const std::string pidFile = dir.file("game.pid");
    {
        std::ofstream out(game + "/qm");
        out << "#!/bin/sh\necho $$ > " << pidFile << ".tmp\nmv " << pidFile << ".tmp " << pidFile
            << "\nexec sleep 60\n";
    }
    fs::permissions(game + "/qm", fs::perms(0755));
    TempDir::writeTo(game + "/SQMU_404.20", "elf");
    StandIn launcher({"game", release}, env("game"), dir.file("game.out"));
    ASSERT_TRUE(launcher.waitForLine("playing")) << launcher.output();
    const double guard = plat::now() + 30;
    while (!fs::exists(pidFile) && plat::now() < guard)
        plat::sleepMs(10);
    const int gamePid = std::atoi(readBytes(pidFile).c_str());
    ASSERT_GT(gamePid, 0);
    launcher.kill();
    plat::sleepMs(2000);
    EXPECT_EQ(0, ::kill(gamePid, 0)) << "the game ended with the launcher";
    killAll(processesTagged("game"));
}

} // namespace
