// Release identity: compiled-in values · release.ini lines · version numbers and their order.
#include "app/identity.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(LauncherIdentity, CommitIsFortyLowercaseHexDigits) {
    const std::string commit = launcherCommit();
    ASSERT_EQ(commit.size(), 40u);
    EXPECT_EQ(commit.find_first_not_of("0123456789abcdef"), std::string::npos) << commit;
    EXPECT_STREQ(kLauncherVersion, "0.6.1");
    EXPECT_STREQ(kRepoName, "ZO_Duzoru");
}

struct IniCase {
    const char* name;
    std::string content;
    const char* key;
    std::string expected;
};

TEST(ReadIniValue, LineRules) {
    const IniCase cases[] = {
        {"blanks around equals", "version = 0.7.0\n", "version", "0.7.0"},
        {"trailing blank kept", "version=0.7.0 \n", "version", "0.7.0 "},
        {"trailing tab kept", "version=0.7.0\t\n", "version", "0.7.0\t"},
        {"leading blanks of the key stay", "  version = 0.7.0\n", "version", ""},
        {"tabs before equals dropped", "version\t \t= x\n", "version", "x"},
        {"tabs after equals dropped", "version=\t x y\n", "version", "x y"},
        {"first definition wins", "version = 1\nversion = 2\n", "version", "1"},
        {"one CR removed", "commit = abc\r\n", "commit", "abc"},
        {"only one CR removed", "commit = abc\r\r\n", "commit", "abc\r"},
        {"comment line", "#version = 1\nversion = 2\n", "version", "2"},
        {"hash after blanks is no comment", " #x = 1\n", " #x", "1"},
        {"inline hash kept", "commit = abc # note\n", "commit", "abc # note"},
        {"sections mean nothing", "[release]\nversion = 3\n[other]\n", "version", "3"},
        {"case-sensitive key", "Version = 1\n", "version", ""},
        {"value holds equals", "url = a=b\n", "url", "a=b"},
        {"empty value", "commit =\n", "commit", ""},
        {"empty key", "= v\n", "", "v"},
        {"last line without LF", "commit=abc", "commit", "abc"},
        {"key absent", "a = 1\n", "commit", ""},
        {"empty file", "", "commit", ""},
    };
    TempDir dir;
    for (const IniCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readIniValue(dir.write("release.ini", c.content), c.key), c.expected);
    }
}

TEST(ReadIniValue, MissingFileGivesEmptyText) {
    TempDir dir;
    EXPECT_EQ(readIniValue(dir.file("release.ini"), "version"), "");
    EXPECT_EQ(readIniValue(dir.path(), "version"), "");
}

TEST(ReadIniValue, StopsAtTheFirstMatchOfAHugeFile) {
    TempDir dir;
    std::string content = "commit = first\n";
    content.append(32u << 20, 'z');
    EXPECT_EQ(readIniValue(dir.write("release.ini", content + "\ncommit = second\n"), "commit"),
              "first");
}

struct VersionCase {
    const char* text;
    bool ok;
    int major, minor, patch;
    const char* suffix;
};

TEST(ParseVersion, Forms) {
    const VersionCase cases[] = {
        {"0.6.1", true, 0, 6, 1, ""},
        {"v0.7.0", true, 0, 7, 0, ""},
        {"V1.2.3", true, 1, 2, 3, ""},
        {"0.7.0-beta2", true, 0, 7, 0, "beta2"},
        {"0.7.0-rc.1-x", true, 0, 7, 0, "rc.1-x"},
        {"0.7.0+build5", true, 0, 7, 0, ""},
        {"0.7.0-beta+build-5", true, 0, 7, 0, "beta"},
        {"0.6.10", true, 0, 6, 10, ""},
        {" 1. 2. 3", true, 1, 2, 3, ""},
        {"1.2.3garbage", true, 1, 2, 3, ""},
        {"1.2.3.4", true, 1, 2, 3, ""},
        {"2147483647.0.0", true, 2147483647, 0, 0, ""},
        {"0.7", false, 0, 0, 0, ""},
        {"0.7.", false, 0, 0, 0, ""},
        {"1 .2.3", false, 0, 0, 0, ""},
        {"", false, 0, 0, 0, ""},
        {"v", false, 0, 0, 0, ""},
        {"vv1.2.3", false, 0, 0, 0, ""},
        {"x1.2.3", false, 0, 0, 0, ""},
        {"-1.2.3", false, 0, 0, 0, "1.2.3"},
        {"1.2.-3", false, 0, 0, 0, "3"},
        {"+1.2.3", false, 0, 0, 0, ""},
        {"2147483648.0.0", false, 0, 0, 0, ""},
        {"1.99999999999999999999.0", false, 0, 0, 0, ""},
    };
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(c.text);
        int major = -1, minor = -1, patch = -1;
        std::string suffix = "stale";
        ASSERT_EQ(parseVersion(c.text, major, minor, patch, suffix), c.ok);
        EXPECT_EQ(suffix, c.suffix);
        if (!c.ok) continue;
        EXPECT_EQ(major, c.major);
        EXPECT_EQ(minor, c.minor);
        EXPECT_EQ(patch, c.patch);
    }
}

struct NewerCase {
    const char* candidate;
    const char* own;
    bool newer;
};

TEST(IsNewerVersion, Order) {
    const NewerCase cases[] = {
        {"0.6.10", "0.6.9", true},
        {"0.6.9", "0.6.10", false},
        {"1.0.0", "0.99.99", true},
        {"0.99.99", "1.0.0", false},
        {"0.7.0", "0.6.1", true},
        {"0.6.2", "0.6.1", true},
        {"0.6.1", "0.6.1", false},
        {"v0.6.1", "0.6.1", false},
        {"0.7.0", "0.7.0-beta", true},
        {"0.7.0-beta", "0.7.0", false},
        {"0.7.0-beta2", "0.7.0-beta10", true},
        {"0.7.0-beta10", "0.7.0-beta2", false},
        {"0.7.0-beta", "0.7.0-beta", false},
        {"0.7.0-beta.1", "0.7.0-beta", true},
        {"0.7.0-beta", "0.7.0-beta.1", false},
        {"0.7.0-\xC3\xA9", "0.7.0-z", true}, // unsigned bytes: 0xC3 is above 'z'
        {"0.7.0+build5", "0.7.0", false},
        {"0.7.0", "0.7.0+build5", false},
        {"0.7", "0.6.1", false},
        {"0.7.0", "0.7", true},
        {"0.7.0", "", true},
        {"", "", false},
        {"99999999999.0.0", "0.6.1", false},
    };
    for (const NewerCase& c : cases) {
        SCOPED_TRACE(std::string(c.candidate) + " vs " + c.own);
        EXPECT_EQ(isNewerVersion(c.candidate, c.own), c.newer);
    }
}

} // namespace
