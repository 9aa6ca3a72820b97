// Bad local input: the launcher starts with its defaults whatever its settings files, changelog
// or crashes folder hold, and a disc image's path reaches the build script byte for byte.
//
// Sections: settings files · the changelog · the crashes folder · disc paths
//
// Start-up is App::openRelease, as main runs it before the window opens. The times printed as
// [ figures ] are for the record; nothing here asserts a time.
#include "hardening/hardening_support.h"

#include "app/app.h"
#include "plat/clock.h"
#include "plat/env.h"
#include "support/temp_dir.h"
#include "ui/lang.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qmharden;

namespace {

constexpr size_t kMiB = size_t(1) << 20;

// A complete release (make_release.py) and a user folder of its own.
class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        release = dir.file("release");
        ASSERT_EQ(0, runToEnd("/usr/bin/python3", {repoFile("fixtures/make_release.py"), release}));
        user = dir.file("user");
        fs::create_directories(user);
        plat::setEnv("ZOLT_USER_DIR", user);
        plat::setEnv("LANGUAGE", "en");
    }
    void TearDown() override {
        plat::setEnv("ZOLT_USER_DIR", "");
        plat::setEnv("LANGUAGE", "");
        ui::french = false;
    }

    // Opens the release and returns the seconds it took.
    double start(App& app) {
        const double t0 = plat::now();
        app.openRelease(release);
        return plat::now() - t0;
    }

    TempDir dir;
    std::string release, user;
};

// Writes size bytes made by repeating piece.
void writeRepeated(const std::string& path, const std::string& piece, size_t size) {
    std::ofstream out(path, std::ios::binary);
    std::string block;
    while (block.size() < kMiB)
        block += piece;
    for (size_t done = 0; done < size; done += block.size())
        out.write(block.data(), std::streamsize(std::min(block.size(), size - done)));
}

std::string garbage(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = char(random() & 0xFF);
    return bytes;
}

// --- settings files ------------------------------------------------------------------------------

TEST_F(BadInput, DamagedSettingsFilesLeaveTheDefaults) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> write;
    };
    const Case cases[] = {
        {"100 MB of other keys",
         [](const std::string& p) {
             writeRepeated(p, "some_key_of_no_use = a value\n", 100 * kMiB);
         }},
        {"100 MB in one line", [](const std::string& p) { writeRepeated(p, "x", 100 * kMiB); }},
        {"100 MB of blank lines",
         [](const std::string& p) { writeRepeated(p, "\r\n", 100 * kMiB); }},
        {"binary garbage", [](const std::string& p) { TempDir::writeTo(p, garbage(4 * kMiB, 7)); }},
        {"invalid UTF-8",
         [](const std::string& p) {
             TempDir::writeTo(p, "\xC3\x28 = \xA0\xA1\n\xF0\x28\x8C\x28\n\xED\xA0\x80=\xFF\xFE\n"
                                 "\xC0\xAF\n\xE2\x82\n");
         }},
    };
    const LauncherSettings defaults;
    const VideoSettings videoDefaults;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.write(user + "/launcher.ini");
        c.write(user + "/video.ini");
        App app;
        const double seconds = start(app);
        EXPECT_EQ(launcherSettingsText(defaults), launcherSettingsText(app.settings));
        EXPECT_EQ(videoSettingsText(videoDefaults), videoSettingsText(app.video));
        EXPECT_EQ(Screen::NoDisc, app.screen);
        EXPECT_FALSE(ui::french);
        std::printf("[ figures  ] settings files of %s: started in %.2f s\n", c.name, seconds);
    }
}

TEST_F(BadInput, InvalidUtf8ValuesAreCarriedAsBytesWithoutHarm) {
    TempDir::writeTo(user + "/launcher.ini", "language = \xC3\x28\nmotion = \xFF\n");
    TempDir::writeTo(user + "/video.ini", "mode = \xFF\nrender_scale = \xC3\x28\n");
    App app;
    start(app);
    EXPECT_EQ("\xC3\x28", app.settings.language);
    EXPECT_FALSE(ui::french);
    EXPECT_TRUE(app.settings.motion);
    EXPECT_EQ("windowed", app.video.mode);
    EXPECT_EQ("\xC3\x28", app.video.render_scale);
}

// --- the changelog -------------------------------------------------------------------------------

TEST_F(BadInput, AHugeChangelogIsReadOnceAndNothingElseChanges) {
    const std::string changelog = release + "/CHANGELOG.md";
    struct Case {
        const char* name;
        std::string head; // then 50 MB of filler lines
        size_t maxText;   // the section's length is at most this
    };
    const Case cases[] = {
        {"the section first, then 50 MB of older sections",
         "# Changelog\n\n## [0.6.1]\n- Fixed.\n\n## [0.6.0]\n", 64},
        {"no section for the version", "# Changelog\n\n## [0.5.0]\n", 0},
        {"a section of 50 MB", "# Changelog\n\n## [0.6.1]\n", 60 * kMiB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::ofstream out(changelog, std::ios::binary);
            out << c.head;
        }
        std::string filler;
        while (filler.size() < kMiB)
            filler += "- a line of an older release, **bold** and `code` [link](x)\n";
        {
            std::ofstream out(changelog, std::ios::binary | std::ios::app);
            for (int i = 0; i < 50; ++i)
                out << filler;
        }
        App app;
        const double seconds = start(app);
        EXPECT_LE(app.whatsNewText.size(), c.maxText);
        EXPECT_TRUE(app.missingItem.empty());
        EXPECT_EQ(Screen::NoDisc, app.screen);
        std::printf("[ figures  ] CHANGELOG.md of 50 MB, %s: started in %.2f s\n", c.name, seconds);
    }
}

// --- the crashes folder --------------------------------------------------------------------------

TEST_F(BadInput, AHundredThousandCrashReportsStillFindTheNewOne) {
    const std::string crashes = user + "/crashes";
    fs::create_directories(crashes);
    for (int i = 0; i < 100000; ++i)
        std::ofstream(crashes + "/crash-" + std::to_string(i) + ".txt") << "old\n";
    // A game that writes one new report and ends with a failure.
    fs::create_directories(release + "/game");
    {
        std::ofstream out(release + "/game/qm");
        out << "#!/bin/sh\necho new > '" << crashes << "/crash-new.txt'\nexit 3\n";
    }
    fs::permissions(release + "/game/qm", fs::perms(0755));
    TempDir::writeTo(release + "/game/SQMU_404.20", "elf");
    App app;
    const double started = start(app);
    const double t0 = plat::now();
    app.launchGame();
    ASSERT_TRUE(app.gameRunning) << app.gameStartError;
    const double guard = plat::now() + 60;
    while (app.gameRunning && plat::now() < guard) {
        app.pollGame();
        plat::sleepMs(10);
    }
    ASSERT_FALSE(app.gameRunning);
    EXPECT_EQ(crashes + "/crash-new.txt", app.crashReport);
    EXPECT_EQ(3, app.gameExitCode);
    std::printf("[ figures  ] 100000 crash reports: started in %.2f s, game run and report "
                "found in %.2f s\n",
                started, plat::now() - t0);
}

// --- disc paths ----------------------------------------------------------------------------------

// A stand-in build script that records its arguments, NUL-separated, and accepts or builds.
void standInScript(const std::string& release, const std::string& record) {
    std::ofstream out(release + "/source/tools/qm_build.py");
    out << "import os, sys\n"
           "with open("
        << '"' << record << '"'
        << ", 'wb') as f:\n"
           "    f.write(b'\\0'.join(os.fsencode(a) for a in sys.argv[1:]))\n"
           "print('OK stand-in' if '--check' in sys.argv else 'RESULT ok', flush=True)\n";
}

std::vector<std::string> recordedArgs(const std::string& record) {
    std::vector<std::string> args;
    const std::string bytes = readBytes(record);
    size_t at = 0;
    while (at <= bytes.size()) {
        size_t end = bytes.find('\0', at);
        if (end == std::string::npos) end = bytes.size();
        args.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    return args;
}

template <typename Busy> void runUntilIdle(App& app, Busy busy) {
    const double guard = plat::now() + 60;
    while (busy() && plat::now() < guard) {
        app.pollDiscCheck();
        app.pollBuild();
        plat::sleepMs(10);
    }
}

TEST_F(BadInput, AwkwardDiscPathsReachTheScriptByteForByte) {
    const std::string record = dir.file("args.bin");
    standInScript(release, record);
    const std::string discs = dir.file("discs");
    fs::create_directories(discs);
    const std::string names[] = {"with blanks  in it.iso",
                                 "quote\"s and 'single'.iso",
                                 "hash #1.iso",
                                 "new\nline.iso",
                                 "Zoë – 日本語.iso",
                                 "-leading-dash.iso",
                                 "--disc",
                                 "back\\slash \\\".iso"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string path = discs + "/" + name;
        TempDir::writeTo(path, "image");
        App app;
        start(app);
        app.startDiscCheck(path);
        ASSERT_TRUE(app.checkingDisc) << app.discDetail;
        runUntilIdle(app, [&] { return app.checkingDisc; });
        std::vector<std::string> args = recordedArgs(record);
        ASSERT_EQ(3u, args.size());
        EXPECT_EQ("--check", args[0]);
        EXPECT_EQ(path, args[2]);
        EXPECT_TRUE(app.discMessage.empty()) << app.discMessage;
        EXPECT_EQ(path, app.settings.disc);

        app.startBuild();
        ASSERT_TRUE(app.building) << app.progress.error;
        runUntilIdle(app, [&] { return app.building; });
        args = recordedArgs(record);
        ASSERT_EQ(6u, args.size());
        EXPECT_EQ("--disc", args[0]);
        EXPECT_EQ(path, args[1]);
        EXPECT_EQ(Screen::Ready, app.screen) << app.progress.error;
    }
}

TEST_F(BadInput, ARelativePathWithALeadingDashBecomesAbsoluteFirst) {
    const std::string record = dir.file("args.bin");
    standInScript(release, record);
    TempDir::writeTo(dir.file("-x.iso"), "image");
    char before[4096];
    ASSERT_NE(nullptr, getcwd(before, sizeof before));
    ASSERT_EQ(0, chdir(dir.path().c_str()));
    App app;
    start(app);
    app.startDiscCheck("-x.iso");
    runUntilIdle(app, [&] { return app.checkingDisc; });
    ASSERT_EQ(0, chdir(before));
    const std::vector<std::string> args = recordedArgs(record);
    ASSERT_EQ(3u, args.size());
    EXPECT_EQ(dir.file("-x.iso"), args[2]);
}

} // namespace
