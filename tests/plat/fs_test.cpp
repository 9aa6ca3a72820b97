// Folder listing and the path helpers.
#include "plat/fs.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(ListFiles, SkipsFoldersNamedLikeFilesAndKeepsThePassedFolder) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("old.txt"));
    dir.write("a.txt", "a");
    dir.write("b.log", "b");
    dir.write("c.txt.bak", "c");
    auto files = plat::listFiles(dir.path(), ".txt");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].path, dir.path() + "/a.txt");
    // 2020-01-01 in Windows file-time units is far above this; the value is only compared.
    EXPECT_GT(files[0].lastWrite, 116444736000000000ull);
}

TEST(ListFiles, MissingFolderGivesNothing) {
    EXPECT_TRUE(plat::listFiles("/nonexistent/qm/crashes", ".txt").empty());
}

TEST(ListFiles, NewerWriteHasTheLaterTime) {
    TempDir dir;
    dir.write("old.txt", "a");
    dir.write("new.txt", "b");
    auto t = std::filesystem::last_write_time(dir.file("new.txt"));
    std::filesystem::last_write_time(dir.file("old.txt"), t - std::chrono::seconds(10));
    auto files = plat::listFiles(dir.path(), ".txt");
    ASSERT_EQ(files.size(), 2u);
    const auto& older = files[0].path.ends_with("old.txt") ? files[0] : files[1];
    const auto& newer = files[0].path.ends_with("old.txt") ? files[1] : files[0];
    EXPECT_EQ(newer.lastWrite - older.lastWrite, 100000000ull);
}

struct PathCase {
    const char* a;
    const char* b;
    const char* joined;
};

TEST(Paths, JoinParentAndName) {
    const PathCase cases[] = {
        {"/r", "source", "/r/source"},
        {"/r/", "source", "/r/source"},
        {"", "x", "x"},
        {"rel", "a b", "rel/a b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(plat::joinPath(c.a, c.b), c.joined) << c.a;
    EXPECT_EQ(plat::parentDir("/r/game/qm"), "/r/game");
    EXPECT_EQ(plat::parentDir("/qm"), "/");
    EXPECT_EQ(plat::parentDir("qm"), ".");
    EXPECT_EQ(plat::fileName("/r/build/logs/verify.log"), "verify.log");
}

TEST(Paths, MakeDirsCreatesParentsAndPathExistsSeesThem) {
    TempDir dir;
    std::string deep = dir.file("a/b/c");
    EXPECT_TRUE(plat::makeDirs(deep));
    EXPECT_TRUE(plat::makeDirs(deep));
    EXPECT_TRUE(pathExists(deep));
    EXPECT_TRUE(plat::isDirectory(deep));
    dir.write("file", "x");
    EXPECT_FALSE(plat::makeDirs(dir.file("file/below")));
    EXPECT_FALSE(pathExists(dir.file("file/below")));
}

TEST(Paths, ReplaceFileSwapsWholeFiles) {
    TempDir dir;
    dir.write("t.tmp", "new");
    dir.write("t", "old");
    EXPECT_TRUE(plat::replaceFile(dir.file("t.tmp"), dir.file("t")));
    EXPECT_EQ(readBytes(dir.file("t")), "new");
    EXPECT_FALSE(pathExists(dir.file("t.tmp")));
}

} // namespace
