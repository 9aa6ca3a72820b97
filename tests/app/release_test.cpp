// The release layout: which piece is missing, which screen comes first, where the user folder is
// and which language the interface starts in.
#include "app/app.h"
#include "plat/env.h"
#include "plat/fs.h"
#include "support/temp_dir.h"
#include "ui/lang.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

// Sets environment variables for one test and puts the old values back afterwards.
class EnvGuard {
public:
    void set(const char* name, const std::string& value) {
        saved_.push_back({name, plat::getEnv(name), std::getenv(name) != nullptr});
        plat::setEnv(name, value);
    }
    ~EnvGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            plat::setEnv(it->name, it->had ? it->value : "");
    }

private:
    struct Saved {
        const char* name;
        std::string value;
        bool had;
    };
    std::vector<Saved> saved_;
};

void touch(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    TempDir::writeTo(path, "x");
}

struct LayoutCase {
    const char* name;
    bool script, python, manifest;
    const char* disc;
    const char* missing;
    Screen screen;
};

class ReleaseLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ReleaseLayout, NamesTheFirstMissingPieceAndChoosesTheScreen) {
    const LayoutCase& c = GetParam();
    TempDir release, user;
    EnvGuard env;
    env.set("ZOLT_USER_DIR", user.path());
    if (c.script) touch(release.file("source/tools/qm_build.py"));
    if (c.python) touch(release.file("kit/python/bin/python3"));
    if (c.manifest) touch(release.file("kit/kit_manifest.json"));
    if (*c.disc) user.write("launcher.ini", std::string("disc = ") + c.disc + "\n");

    App app;
    app.openRelease(release.path());
    EXPECT_EQ(app.missingItem, c.missing);
    EXPECT_EQ(app.screen, c.screen);
    EXPECT_EQ(app.gameExe, release.file("game/qm"));
    EXPECT_EQ(app.pythonExe, release.file("kit/python/bin/python3"));
    EXPECT_EQ(app.launcherIni, user.file("launcher.ini"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReleaseLayout,
    ::testing::Values(
        LayoutCase{"empty", false, false, false, "", "source/tools/qm_build.py", Screen::Missing},
        LayoutCase{"no_script", false, true, true, "", "source/tools/qm_build.py", Screen::Missing},
        LayoutCase{"no_kit", true, false, false, "", "kit/", Screen::Missing},
        LayoutCase{"no_manifest", true, true, false, "", "kit/", Screen::Missing},
        LayoutCase{"no_python", true, false, true, "", "kit/", Screen::Missing},
        LayoutCase{"complete", true, true, true, "", "", Screen::NoDisc},
        // Whether the accepted image still exists is the Play tab's business, not the start's.
        LayoutCase{"disc_gone", true, true, true, "/nowhere/gone.iso", "", Screen::Ready},
        LayoutCase{"missing_wins", false, true, true, "/nowhere/a.iso", "source/tools/qm_build.py",
                   Screen::Missing}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UserFolder, FollowsTheVariablesInOrderAndIsCreatedAbsolute) {
    TempDir base;
    EnvGuard env;
    env.set("ZOLT_USER_DIR", "");
    env.set("XDG_DATA_HOME", base.file("data"));
    std::string viaXdg = plat::userDir();
    EXPECT_EQ(viaXdg, base.file("data/ZO_Duzoru"));
    EXPECT_TRUE(plat::isDirectory(viaXdg));

    env.set("XDG_DATA_HOME", "");
    env.set("HOME", base.file("home"));
    EXPECT_EQ(plat::userDir(), base.file("home/.local/share/ZO_Duzoru"));

    env.set("ZOLT_USER_DIR", base.file("explicit/user"));
    EXPECT_EQ(plat::userDir(), base.file("explicit/user"));
    EXPECT_TRUE(plat::isDirectory(base.file("explicit/user")));
}

TEST(UserFolder, RelativeVariableIsMadeAbsoluteAgainstTheWorkingFolder) {
    TempDir base;
    EnvGuard env;
    std::string old = std::filesystem::current_path().string();
    std::filesystem::current_path(base.path());
    env.set("ZOLT_USER_DIR", "rel/user");
    std::string dir = plat::userDir();
    std::filesystem::current_path(old);
    EXPECT_EQ(dir, base.file("rel/user"));
    EXPECT_TRUE(plat::isDirectory(dir));
}

TEST(UserFolder, WithoutAnyVariableItIsUserBesideTheExecutable) {
    EnvGuard env;
    env.set("ZOLT_USER_DIR", "");
    env.set("XDG_DATA_HOME", "");
    env.set("HOME", "");
    std::string dir = plat::userDir();
    EXPECT_EQ(dir, plat::joinPath(plat::exeDir(), "user"));
    EXPECT_TRUE(plat::isDirectory(dir));
    plat::removePath(dir);
}

struct LanguageCase {
    const char* name;
    const char* stored; // nullptr: no launcher.ini
    const char* lang;   // the system's LANG
    bool french;
};

class StartLanguage : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(StartLanguage, StoredChoiceFirstThenTheSystemAndNothingWrittenBack) {
    const LanguageCase& c = GetParam();
    TempDir release, user;
    EnvGuard env;
    env.set("ZOLT_USER_DIR", user.path());
    env.set("LANGUAGE", "");
    env.set("LC_ALL", "");
    env.set("LC_MESSAGES", "");
    env.set("LANG", c.lang);
    std::string before;
    if (c.stored) before = user.write("launcher.ini", std::string("language = ") + c.stored + "\n");

    App app;
    app.openRelease(release.path());
    EXPECT_EQ(ui::french, c.french);
    if (c.stored)
        EXPECT_EQ(readBytes(user.file("launcher.ini")),
                  std::string("language = ") + c.stored + "\n");
    else
        EXPECT_FALSE(pathExists(user.file("launcher.ini")));
    ui::french = false;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartLanguage,
    ::testing::Values(LanguageCase{"stored_fr_on_english", "fr", "en_US.UTF-8", true},
                      LanguageCase{"stored_en_on_french", "en", "fr_FR.UTF-8", false},
                      LanguageCase{"empty_on_canadian_french", "", "fr_CA.UTF-8", true},
                      LanguageCase{"none_on_swiss_french", nullptr, "fr_CH", true},
                      LanguageCase{"upper_case_is_not_french", "FR", "en_GB.UTF-8", false},
                      LanguageCase{"c_locale", nullptr, "C", false}),
    [](const auto& info) { return std::string(info.param.name); });

// A save cut short by a crash leaves "<file>.tmp" beside the intact file; the next start
// removes it and reads the file itself.
TEST(StaleTemporaries, AreRemovedAtStartAndTheFilesThemselvesRead) {
    TempDir release, user;
    EnvGuard env;
    env.set("ZOLT_USER_DIR", user.path());
    user.write("launcher.ini", "disc = /discs/kept.iso\n");
    user.write("launcher.ini.tmp", "disc = /discs/half-writ");
    user.write("video.ini", "size = 1280x960\n");
    user.write("video.ini.tmp", "size = 64");
    App app;
    app.openRelease(release.path());
    EXPECT_FALSE(std::filesystem::exists(user.file("launcher.ini.tmp")));
    EXPECT_FALSE(std::filesystem::exists(user.file("video.ini.tmp")));
    EXPECT_EQ("/discs/kept.iso", app.settings.disc);
    EXPECT_EQ(1280, app.video.width);
    EXPECT_TRUE(std::filesystem::exists(user.file("launcher.ini")));
}

} // namespace
