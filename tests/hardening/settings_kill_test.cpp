// Settings survive a crash in the middle of a save: a child saves launcher.ini and video.ini
// without pause, each alternating between two versions, and is killed with SIGKILL at 1000 random
// moments. After every kill each file is one of its two versions, whole, and reads back as it.
#include "hardening/hardening_support.h"
#include "hardening/settings_pair.h"

#include "plat/clock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace qmharden;

namespace {

TEST(CrashSafeSettings, EveryKillLeavesEachFileOldOrNewWhole) {
    TempDir dir;
    const std::string launcher = dir.file("launcher.ini"), video = dir.file("video.ini");
    ASSERT_TRUE(saveLauncherSettings(launcherVersion(false), launcher));
    ASSERT_TRUE(saveVideoSettings(videoVersion(false), video));
    const std::string launcherTexts[2] = {launcherSettingsText(launcherVersion(false)),
                                          launcherSettingsText(launcherVersion(true))};
    const std::string videoTexts[2] = {videoSettingsText(videoVersion(false)),
                                       videoSettingsText(videoVersion(true))};

    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> delayUs(0, 12000);
    int flips = 0, leftTemporaries = 0;
    std::string lastLauncher = launcherTexts[0];
    const int kills = 1000;
    for (int i = 0; i < kills; ++i) {
        StandIn saver({"save-loop", dir.path()}, {}, dir.file("saver.out"));
        ASSERT_TRUE(saver.waitForLine("saving")) << saver.output();
        const double until = plat::now() + delayUs(random) / 1e6;
        while (plat::now() < until) {
        }
        saver.kill();

        const std::string l = readBytes(launcher), v = readBytes(video);
        ASSERT_TRUE(l == launcherTexts[0] || l == launcherTexts[1]) << "kill " << i << ":\n" << l;
        ASSERT_TRUE(v == videoTexts[0] || v == videoTexts[1]) << "kill " << i << ":\n" << v;
        LauncherSettings readBack;
        ASSERT_TRUE(loadLauncherSettings(launcher, readBack));
        EXPECT_EQ(l, launcherSettingsText(readBack));
        VideoSettings videoBack;
        ASSERT_TRUE(loadVideoSettings(video, videoBack));
        EXPECT_EQ(v, videoSettingsText(videoBack));
        flips += l != lastLauncher;
        lastLauncher = l;
        leftTemporaries +=
            std::filesystem::exists(launcher + ".tmp") || std::filesystem::exists(video + ".tmp");
    }
    // The kills must have met the saver in the middle of its saves, not only between them: a
    // temporary file left behind is a save that was cut short.
    EXPECT_GT(leftTemporaries, kills / 10);
    std::printf("[ figures  ] %d kills, %d changed launcher.ini, %d cut a save short\n", kills,
                flips, leftTemporaries);
}

} // namespace
