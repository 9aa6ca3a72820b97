// The whole update path through the real launcher program: "--update-now" against the stand-in
// release host, the install by the release's own installer, and the restart of the launcher from
// its own path, which the install has just renamed aside. The published 0.7.0 carries a stand-in
// launcher that records how it was started and ends, so no new window opens.
//
// Needs a display for the launcher's window (the test runs use Xvfb); skipped without one.
#include "plat/clock.h"
#include "plat/env.h"
#include "plat/process.h"
#include "support/temp_dir.h"
#include "update/host_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace qmupdate;

namespace {

// A release 0.6.1 around the launcher and job helper just built.
void makeRelease(const std::string& r) {
    fs::create_directories(r + "/source/tools");
    fs::create_directories(r + "/kit/python/bin");
    for (const char* program : {"qm-launcher", "qm-job"})
        fs::copy_file(std::string(QM_BIN_DIR) + "/" + program, r + "/" + program);
    for (const char* script : {"apply_update.py", "qm_build.py"})
        fs::copy_file(repoFile(std::string("release_kit/source/tools/") + script),
                      r + "/source/tools/" + script);
    fs::create_symlink(kPython, r + "/kit/python/bin/python3");
    putFile(r + "/kit/kit_manifest.json", "{}\n");
    putFile(r + "/source/release.ini", "[release]\nversion = 0.6.1\ncommit = 1111\n");
    putFile(r + "/CHANGELOG.md", "# Changelog\n\n## [0.6.1]\n- Old.\n");
}

TEST(LauncherUpdate, UpdateNowInstallsAndStartsTheNewLauncher) {
    if (plat::getEnv("DISPLAY").empty() && plat::getEnv("WAYLAND_DISPLAY").empty())
        GTEST_SKIP() << "no display (the test runs use Xvfb)";
    TempDir dir;
    const std::string release = dir.file("release");
    makeRelease(release);
    const std::string marker = dir.file("new-launcher.txt");
    putFile(dir.file("stand-in"),
            "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > " + marker + "\n");
    fs::permissions(dir.file("stand-in"), fs::perms(0755));
    ASSERT_EQ(0, runToEnd(kPython, {repoFile("fixtures/publish_070.py"), release, dir.file("host"),
                                    "--replace", "qm-launcher=" + dir.file("stand-in")})
                     .exitCode);
    ReleaseHost host({"--releases", dir.file("host")});
    ASSERT_TRUE(host.started());

    plat::setEnv("ZOLT_USER_DIR", dir.file("user"));
    const std::vector<std::string> args = {"--release",         release,
                                           "--update-url",      host.base() + kLatestPath,
                                           "--download-prefix", host.base() + kDownloadPath,
                                           "--update-now"};
    plat::Process launcher;
    std::string err;
    ASSERT_TRUE(launcher.start(release + "/qm-launcher", args, release, false, err)) << err;
    const double guard = plat::now() + 180;
    while (launcher.running() && plat::now() < guard)
        plat::sleepMs(50);
    if (launcher.running()) {
        launcher.kill();
        FAIL() << "the launcher did not quit after the update";
    }
    EXPECT_EQ(0, launcher.exitCode());

    EXPECT_NE(std::string::npos, readBytes(release + "/source/release.ini").find("0.7.0"));
    EXPECT_TRUE(fs::exists(release + "/NEW_IN_0.7.0.txt"));
    std::string expected = release + "\n";
    for (const std::string& a : args)
        expected += a + "\n";
    const double written = plat::now() + 30;
    while (readBytes(marker) != expected && plat::now() < written)
        plat::sleepMs(20);
    EXPECT_EQ(expected, readBytes(marker));
}

} // namespace
