// Files, folders, the environment and the settings files on Windows, with non-ASCII (Japanese)
// names everywhere: listing with file times, folders, durable replacement, the executable's
// folder, the user folder's three choices, and launcher.ini / video.ini round trips.
#include "app/settings.h"
#include "plat/env.h"
#include "plat/fs.h"
#include "plat/win32/wide.h"
#include "win/win_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using wintest::readFile;
using wintest::TempDir;
using wintest::writeFile;

namespace {

// Sets a variable for the length of a test and puts the old value back.
class EnvScope {
public:
    EnvScope(const char* name, const std::string& value) : name_(name), old_(plat::getEnv(name)) {
        plat::setEnv(name, value);
    }
    ~EnvScope() { plat::setEnv(name_, old_); }

private:
    const char* name_;
    std::string old_;
};

} // namespace

// --- listing -------------------------------------------------------------------------------------

TEST(ListFiles, FindsJapaneseNamesWithTheirTimesAndSkipsFolders) {
    TempDir dir;
    ASSERT_TRUE(plat::makeDirs(dir.file("old.txt")));
    writeFile(dir.file("クラッシュ.txt"), "a");
    writeFile(dir.file("b.log"), "b");
    writeFile(dir.file("c.txt.bak"), "c");
    writeFile(dir.file("d.TXT"), "d");
    auto files = plat::listFiles(dir.path(), ".txt");
    std::vector<std::string> names;
    for (const auto& f : files)
        names.push_back(f.path);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{dir.file("d.TXT"), dir.file("クラッシュ.txt")}));

    FILETIME ft;
    SYSTEMTIME st{2021, 3, 0, 4, 5, 6, 7, 0};
    SystemTimeToFileTime(&st, &ft);
    HANDLE h = CreateFileW(plat::win::toWide(dir.file("クラッシュ.txt")).c_str(),
                           FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    for (const auto& f : plat::listFiles(dir.path(), ".txt")) {
        if (f.path == dir.file("クラッシュ.txt")) {
            EXPECT_EQ(f.lastWrite, (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
        }
    }
}

TEST(ListFiles, MissingFolderGivesNothing) {
    TempDir dir;
    EXPECT_TRUE(plat::listFiles(dir.file("crashes"), ".txt").empty());
    EXPECT_TRUE(plat::listSubfolders(dir.file("crashes")).empty());
}

TEST(ListFiles, SubfoldersAreListedWithThePassedFolder) {
    TempDir dir;
    ASSERT_TRUE(plat::makeDirs(dir.file("フォント\\深い")));
    writeFile(dir.file("file.ttf"), "x");
    EXPECT_EQ(plat::listSubfolders(dir.path()), std::vector<std::string>{dir.file("フォント")});
}

// --- files and folders ---------------------------------------------------------------------------

TEST(Files, FoldersReplaceAndRemoveWithJapaneseNames) {
    TempDir dir;
    std::string deep = dir.file("ユーザー\\設定\\深い");
    EXPECT_TRUE(plat::makeDirs(deep));
    EXPECT_TRUE(plat::makeDirs(deep));
    EXPECT_TRUE(plat::isDirectory(deep));
    EXPECT_TRUE(pathExists(deep));
    writeFile(dir.file("ファイル"), "x");
    EXPECT_FALSE(plat::makeDirs(dir.file("ファイル\\下")));
    EXPECT_FALSE(pathExists(dir.file("ファイル\\下")));

    writeFile(dir.file("t.tmp"), "new");
    writeFile(dir.file("t"), "old");
    FILE* f = plat::openFile(dir.file("t.tmp"), "ab");
    ASSERT_TRUE(f);
    std::fputs(" and more", f);
    EXPECT_TRUE(plat::flushToDisk(f));
    std::fclose(f);
    EXPECT_TRUE(plat::replaceFile(dir.file("t.tmp"), dir.file("t")));
    EXPECT_EQ(readFile(dir.file("t")), "new and more");
    EXPECT_FALSE(pathExists(dir.file("t.tmp")));
    EXPECT_FALSE(plat::replaceFile(dir.file("t.tmp"), dir.file("t")));

    EXPECT_TRUE(plat::hardLink(dir.file("t"), dir.file("リンク")));
    EXPECT_EQ(readFile(dir.file("リンク")), "new and more");
    EXPECT_TRUE(plat::removePath(dir.file("リンク")));
    EXPECT_TRUE(plat::removePath(deep));
    EXPECT_FALSE(pathExists(deep));
}

TEST(Files, FreeSpaceIsKnownForAFolderAndZeroForNonsense) {
    TempDir dir;
    EXPECT_GT(plat::freeSpace(dir.path()), 0u);
    EXPECT_EQ(plat::freeSpace("Q:\\no\\such\\drive"), 0u);
}

TEST(Files, ExecutableFolderAndAbsolutePaths) {
    std::string exe = plat::exePath();
    EXPECT_TRUE(pathExists(exe)) << exe;
    EXPECT_EQ(plat::exeDir(), plat::parentDir(exe));
    EXPECT_EQ(plat::fileName(exe), "test_win.exe");
    TempDir dir;
    wchar_t old[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, old);
    ASSERT_TRUE(SetCurrentDirectoryW(plat::win::toWide(dir.path()).c_str()));
    EXPECT_EQ(plat::absolutePath("相対\\x"), dir.file("相対\\x"));
    EXPECT_EQ(plat::absolutePath(""), dir.path());
    SetCurrentDirectoryW(old);
}

// --- environment and the user folder -------------------------------------------------------------

TEST(Environment, SetValuesReachTheRuntimeAndEmptyRemoves) {
    {
        EnvScope v("QM_TEST_ENV", "値 é");
        EXPECT_EQ(plat::getEnv("QM_TEST_ENV"), "値 é");
        const wchar_t* crt = _wgetenv(L"QM_TEST_ENV");
        ASSERT_TRUE(crt);
        EXPECT_EQ(plat::win::toUtf8(crt), "値 é");
    }
    EXPECT_EQ(plat::getEnv("QM_TEST_ENV"), "");
    EXPECT_EQ(_wgetenv(L"QM_TEST_ENV"), nullptr);
    EXPECT_EQ(GetEnvironmentVariableW(L"QM_TEST_ENV", nullptr, 0), 0u);
}

TEST(UserFolder, TheThreeChoicesInOrder) {
    TempDir dir;
    wchar_t old[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, old);
    ASSERT_TRUE(SetCurrentDirectoryW(plat::win::toWide(dir.path()).c_str()));
    {
        EnvScope user("ZOLT_USER_DIR", "相対\\ユーザー");
        EXPECT_EQ(plat::userDir(), dir.file("相対\\ユーザー"));
        EXPECT_TRUE(plat::isDirectory(dir.file("相対\\ユーザー")));
    }
    {
        EnvScope user("ZOLT_USER_DIR", "");
        EnvScope appdata("APPDATA", dir.file("ローミング"));
        EXPECT_EQ(plat::userDir(), dir.file("ローミング\\ZO_Duzoru"));
        EXPECT_TRUE(plat::isDirectory(dir.file("ローミング\\ZO_Duzoru")));
    }
    {
        EnvScope user("ZOLT_USER_DIR", "");
        EnvScope appdata("APPDATA", "");
        EXPECT_EQ(plat::userDir(), plat::joinPath(plat::exeDir(), "user"));
    }
    plat::removePath(plat::joinPath(plat::exeDir(), "user"));
    SetCurrentDirectoryW(old);
}

// --- settings files ------------------------------------------------------------------------------

TEST(SettingsFiles, RoundTripInAJapaneseUserFolder) {
    TempDir dir;
    std::string user = dir.file("ユーザー");
    ASSERT_TRUE(plat::makeDirs(user));
    LauncherSettings s;
    s.disc = "D:\\ゲーム\\Quillmere #1.iso";
    s.language = "fr";
    s.motion = false;
    s.last_build_seconds = 123.6;
    std::string ini = plat::joinPath(user, "launcher.ini");
    ASSERT_TRUE(saveLauncherSettings(s, ini));
    EXPECT_FALSE(pathExists(ini + ".tmp"));
    EXPECT_EQ(readFile(ini).find('\r'), std::string::npos) << "line ends stay LF";
    LauncherSettings back;
    ASSERT_TRUE(loadLauncherSettings(ini, back));
    EXPECT_EQ(back.disc, s.disc);
    EXPECT_EQ(back.language, "fr");
    EXPECT_FALSE(back.motion);
    EXPECT_EQ(back.last_build_seconds, 124);

    VideoSettings v;
    v.width = 1280;
    v.height = 960;
    v.mode = "borderless";
    std::string video = plat::joinPath(user, "video.ini");
    ASSERT_TRUE(saveVideoSettings(v, video));
    ASSERT_TRUE(saveVideoSettings(v, video)) << "replacing an existing file";
    VideoSettings vback;
    ASSERT_TRUE(loadVideoSettings(video, vback));
    EXPECT_TRUE(vback.exists);
    EXPECT_EQ(vback.width, 1280);
    EXPECT_EQ(vback.height, 960);
    EXPECT_EQ(vback.mode, "borderless");
}
