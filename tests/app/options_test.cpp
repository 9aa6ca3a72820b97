// The command line: the option walk · numbers read like atof · run mode · version report.
#include "app/identity.h"
#include "app/options.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Args = std::vector<std::string>;
const char* const kExeDir = "/opt/qm";

LaunchOptions parse(const Args& args) {
    return parseOptions(args, kExeDir);
}

TEST(ParseOptions, NoArgumentsGiveTheDefaults) {
    LaunchOptions o = parse({});
    EXPECT_EQ(o.release, kExeDir);
    EXPECT_EQ(o.selftest, "");
    EXPECT_EQ(o.shots, "");
    EXPECT_EQ(o.wrong, "");
    EXPECT_FALSE(o.errorDemo);
    EXPECT_FALSE(o.cancel);
    EXPECT_EQ(o.playSeconds, 40.0);
    EXPECT_EQ(o.crashSeconds, 0.0);
    EXPECT_FALSE(o.screens);
    EXPECT_EQ(o.uiScale, 0.0f);
    EXPECT_EQ(o.updateUrl, "");
    EXPECT_EQ(o.downloadPrefix, "");
    EXPECT_FALSE(o.updateNow);
    EXPECT_EQ(o.selfCheck, "");
    EXPECT_EQ(o.report, "");
    EXPECT_FALSE(o.version);
    EXPECT_FALSE(textMode(o));
}

TEST(ParseOptions, EveryOptionReachesItsField) {
    LaunchOptions o = parse({"--release",
                             "R",
                             "--selftest",
                             "S.iso",
                             "--shots",
                             "SH",
                             "--wrong",
                             "W.iso",
                             "--error-demo",
                             "--cancel",
                             "--play-seconds",
                             "12.5",
                             "--crash-seconds",
                             "3",
                             "--screens",
                             "--ui-scale",
                             "1.5",
                             "--update-url",
                             "U",
                             "--download-prefix",
                             "D",
                             "--update-now",
                             "--self-check",
                             "C.iso",
                             "--report",
                             "REP",
                             "--version"});
    EXPECT_EQ(o.release, "R");
    EXPECT_EQ(o.selftest, "S.iso");
    EXPECT_EQ(o.shots, "SH");
    EXPECT_EQ(o.wrong, "W.iso");
    EXPECT_TRUE(o.errorDemo);
    EXPECT_TRUE(o.cancel);
    EXPECT_EQ(o.playSeconds, 12.5);
    EXPECT_EQ(o.crashSeconds, 3.0);
    EXPECT_TRUE(o.screens);
    EXPECT_EQ(o.uiScale, 1.5f);
    EXPECT_EQ(o.updateUrl, "U");
    EXPECT_EQ(o.downloadPrefix, "D");
    EXPECT_TRUE(o.updateNow);
    EXPECT_EQ(o.selfCheck, "C.iso");
    EXPECT_EQ(o.report, "REP");
    EXPECT_TRUE(o.version);
}

TEST(ParseOptions, WalkRules) {
    struct Case {
        const char* name;
        Args args;
        void (*check)(const LaunchOptions&);
    };
    const Case cases[] = {
        {"release without value is the executable's folder",
         {"--release"},
         [](const LaunchOptions& o) { EXPECT_EQ(o.release, kExeDir); }},
        {"empty release is the executable's folder",
         {"--release", ""},
         [](const LaunchOptions& o) { EXPECT_EQ(o.release, kExeDir); }},
        {"later value wins",
         {"--release", "a", "--release", "b"},
         [](const LaunchOptions& o) { EXPECT_EQ(o.release, "b"); }},
        {"later empty value wins",
         {"--shots", "a", "--shots", ""},
         [](const LaunchOptions& o) { EXPECT_EQ(o.shots, ""); }},
        {"unknown arguments skipped",
         {"-v", "--Version", "--release=x", "x", "--release", "y"},
         [](const LaunchOptions& o) {
             EXPECT_FALSE(o.version);
             EXPECT_EQ(o.release, "y");
         }},
        {"a value may look like an option",
         {"--release", "--version"},
         [](const LaunchOptions& o) {
             EXPECT_EQ(o.release, "--version");
             EXPECT_FALSE(o.version);
         }},
        {"a flag takes no value",
         {"--cancel", "--release", "r"},
         [](const LaunchOptions& o) {
             EXPECT_TRUE(o.cancel);
             EXPECT_EQ(o.release, "r");
         }},
        {"selftest with empty value runs none",
         {"--selftest", "", "--screens"},
         [](const LaunchOptions& o) {
             EXPECT_EQ(o.selftest, "");
             EXPECT_TRUE(o.screens);
         }},
        {"last number option without value is 0",
         {"--play-seconds"},
         [](const LaunchOptions& o) { EXPECT_EQ(o.playSeconds, 0.0); }},
        {"last text option without value is empty",
         {"--self-check", "a", "--self-check"},
         [](const LaunchOptions& o) { EXPECT_EQ(o.selfCheck, ""); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.check(parse(c.args));
    }
}

TEST(ParseOptions, NumbersReadLikeAtof) {
    const std::pair<const char*, double> cases[] = {
        {"2.5x", 2.5}, {"abc", 0.0},  {"", 0.0},       {"  \t\n3", 3.0}, {"-1.5", -1.5},
        {"+2", 2.0},   {".5", 0.5},   {"7.", 7.0},     {"1e2", 100.0},   {"1E-1", 0.1},
        {"1e", 1.0},   {"1e+x", 1.0}, {"0x10", 0.0},   {"inf", 0.0},     {"nan", 0.0},
        {"1,5", 1.0},  {"- 1", 0.0},  {"00012", 12.0}, {"3 4", 3.0},     {"1e-400", 0.0},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        LaunchOptions o =
            parse({"--play-seconds", text, "--crash-seconds", text, "--ui-scale", text});
        EXPECT_DOUBLE_EQ(o.playSeconds, expected);
        EXPECT_DOUBLE_EQ(o.crashSeconds, expected);
        EXPECT_FLOAT_EQ(o.uiScale, static_cast<float>(expected));
    }
    LaunchOptions huge = parse({"--play-seconds", "1e999", "--crash-seconds", "-1e999"});
    EXPECT_TRUE(std::isinf(huge.playSeconds) && huge.playSeconds > 0);
    EXPECT_TRUE(std::isinf(huge.crashSeconds) && huge.crashSeconds < 0);
    LaunchOptions beyondFloat = parse({"--ui-scale", "1e300"});
    EXPECT_TRUE(std::isinf(beyondFloat.uiScale) && beyondFloat.uiScale > 0);
}

TEST(TextMode, Choice) {
    struct Case {
        Args args;
        bool text;
    };
    const Case cases[] = {
        {{}, false},
        {{"--version"}, true},
        {{"--self-check", "disc.iso"}, true},
        {{"--self-check"}, false},
        {{"--self-check", ""}, false},
        {{"--report", "out.txt"}, false},
        {{"--version", "--self-check", "disc.iso", "--report", "r.txt"}, true},
        {{"--selftest", "disc.iso", "--screens"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(textMode(parse(c.args)), c.text);
    }
}

TEST(VersionReport, TwoLines) {
    EXPECT_EQ(versionReport(), std::string("version 0.6.1\ncommit ") + launcherCommit() + "\n");
}

} // namespace
