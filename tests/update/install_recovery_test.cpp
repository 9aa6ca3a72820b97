// An installer killed in the middle of its swap (the launcher's kill, which ends its whole job):
// the next start of the launcher (App::openRelease) finishes or undoes the install from its
// journal, so the release is the old one again, and a new attempt then installs 0.7.0.
#include "app/app.h"
#include "plat/clock.h"
#include "plat/env.h"
#include "support/temp_dir.h"
#include "update/host_support.h"
#include "update/install.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace qmupdate;

namespace {

TEST(InstallRecovery, AStartAfterAKilledInstallPutsTheOldReleaseBack) {
    TempDir dir;
    const std::string release = dir.file("release");
    makeOldRelease(release);
    putFile(release + "/source/tools/qm_build.py", "# stand-in\n");
    putFile(release + "/kit/kit_manifest.json", "{}\n");
    fs::create_directories(release + "/kit/python/bin");
    fs::create_symlink(kPython, release + "/kit/python/bin/python3");
    const std::string published = dir.file("host");
    ASSERT_EQ(
        0, runToEnd(kPython, {repoFile("fixtures/publish_070.py"), release, published}).exitCode);
    const auto before = treeOf(release);

    const std::string name = releaseAssetName("0.7.0");
    const std::string archive = release + "/update/" + name;
    fs::create_directories(release + "/update");
    fs::copy_file(published + "/v0.7.0/" + name, archive);
    fs::copy_file(published + "/v0.7.0/" + name + ".sha256", archive + ".sha256");
    plat::setEnv("QM_UPDATE_PAUSE_AT", "2");
    plat::Process installer;
    std::string err;
    ASSERT_TRUE(installer.start(kPython,
                                {"-I", "-X", "utf8", release + "/source/tools/apply_update.py",
                                 "--zip", archive, "--sha256", archive + ".sha256", "--version",
                                 "0.7.0", "--install", release},
                                release, true, err))
        << err;
    plat::setEnv("QM_UPDATE_PAUSE_AT", "");
    bool paused = false;
    const double guard = plat::now() + 120;
    while (!paused && installer.running() && plat::now() < guard) {
        for (const std::string& line : installer.takeLines())
            paused = paused || line.rfind("note paused", 0) == 0;
        plat::sleepMs(10);
    }
    ASSERT_TRUE(paused);
    installer.kill();
    while (installer.running())
        plat::sleepMs(10);
    ASSERT_NE(before, treeOf(release)) << "the kill should have met a half-done install";

    plat::setEnv("ZOLT_USER_DIR", dir.file("user"));
    {
        App app;
        app.openRelease(release);
        EXPECT_EQ(before, treeOf(release));
        EXPECT_FALSE(fs::exists(release + "/update/install_journal.json"));
        EXPECT_EQ("0.6.1", app.sourceVersion);

        ReleaseHost host({"--releases", published});
        ASSERT_TRUE(host.started());
        app.updateUrl = host.base() + kLatestPath;
        app.downloadPrefix = host.base() + kDownloadPath;
        app.pythonExe = kPython;
        app.restartProgram = "/bin/true";
        app.startUpdate("v0.7.0", "0.7.0");
        const double end = plat::now() + 120;
        while ((app.installState == 1 || app.installState == 2) && plat::now() < end) {
            app.pollUpdate();
            plat::sleepMs(10);
        }
        EXPECT_EQ(3, app.installState) << app.installError;
    }
    plat::setEnv("ZOLT_USER_DIR", "");
    EXPECT_TRUE(fs::exists(release + "/NEW_IN_0.7.0.txt"));
}

} // namespace
