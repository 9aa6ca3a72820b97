// The failure details report: its fixed lines, the last 60 lines of output and of the step log.
#include "app/app.h"
#include "app/identity.h"
#include "support/temp_dir.h"
#include "ui/lang.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::string numbered(int from, int to, const char* sep = "\n") {
    std::string s;
    for (int i = from; i <= to; ++i)
        s += "line " + std::to_string(i) + sep;
    return s;
}

struct Fixture {
    TempDir dir;
    App app;
    Fixture() {
        app.releaseDir = dir.path();
        app.buildLogsDir = dir.file("build/logs");
        std::filesystem::create_directories(app.buildLogsDir);
        app.settings.disc = "/discs/Quillmere (USA).iso";
        app.sourceVersion = "0.6.1";
        app.sourceCommit = "abc";
        app.builtFromCommit = "def";
        app.progress.reset(0);
    }
};

TEST(FailureDetails, HeadAndTheLastSixtyOutputLines) {
    Fixture f;
    for (int i = 1; i <= 200; ++i)
        f.app.progress.feed("line " + std::to_string(i), 0);
    f.app.progress.feed("ERROR compile cc1 failed", 0);
    std::string head = std::string("QM Launcher 0.6.1 (") + launcherCommit() +
                       ")\nSource: 0.6.1 abc, game built from: def\nStep: compile\nMessage: "
                       "cc1 failed\nDisc: /discs/Quillmere (USA).iso\nRelease folder: " +
                       f.dir.path() + "\n\n--- qm_build output ---\n";
    EXPECT_EQ(f.app.failureDetails(), head + numbered(142, 200) + "ERROR compile cc1 failed\n");
}

struct LogCase {
    int lines;
    const char* sep;
    int firstKept;
};

TEST(FailureDetails, StepLogLastSixtyLines) {
    for (auto c : {LogCase{60, "\n", 1}, LogCase{61, "\n", 2}, LogCase{61, "\r\n", 2},
                   LogCase{3, "\n", 1}}) {
        Fixture f;
        f.app.progress.feed("ERROR packs bad texture", 0);
        TempDir::writeTo(f.app.buildLogsDir + "/packs.log", numbered(1, c.lines, c.sep));
        std::string r = f.app.failureDetails();
        std::string tail = "ERROR packs bad texture\n\n--- packs.log (last lines) ---\n" +
                           numbered(c.firstKept, c.lines);
        ASSERT_GE(r.size(), tail.size());
        EXPECT_EQ(r.substr(r.size() - tail.size()), tail) << c.lines << " lines";
    }
}

TEST(FailureDetails, LastLineWithoutLineFeedCounts) {
    Fixture f;
    f.app.progress.feed("ERROR stage no room", 0);
    TempDir::writeTo(f.app.buildLogsDir + "/stage.log", "first\nlast");
    std::string r = f.app.failureDetails();
    EXPECT_NE(r.find("--- stage.log (last lines) ---\nfirst\nlast\n"), std::string::npos) << r;
}

TEST(FailureDetails, BuildThatDidNotStartPointsAtVerifyAndMissingLogIsLeftOut) {
    Fixture f;
    f.app.progress.failedStep = "";
    EXPECT_EQ(f.app.stepLogPath(), f.dir.file("build/logs/verify.log"));
    f.app.progress.failedStep = "verify";
    ui::french = true;
    f.app.progress.error = "La préparation n'a pas pu démarrer : No such file or directory";
    std::string r = f.app.failureDetails();
    ui::french = false;
    EXPECT_NE(r.find("Step: verify\nMessage: La préparation n'a pas pu démarrer : "),
              std::string::npos);
    EXPECT_TRUE(r.ends_with("--- qm_build output ---\n")) << r;
}

TEST(FailureDetails, UnknownStepNamesItsOwnLog) {
    Fixture f;
    f.app.progress.feed("ERROR linker undefined symbol", 0);
    EXPECT_EQ(f.app.stepLogPath(), f.dir.file("build/logs/linker.log"));
}

} // namespace
