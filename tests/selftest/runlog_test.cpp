// The run log's line format: an 8-wide stamp with one decimal, the message, a line feed, each
// line on disk as soon as it is logged.
#include "selftest/selftest.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

TEST(RunLog, StampsEveryLineAndFlushesAtOnce) {
    TempDir dir;
    Selftest st;
    st.shotsDir = dir.path();
    st.openLog();
    ASSERT_NE(st.logFile, nullptr);
    st.log("release %s, user folder %s", "/r", "/u");
    // Flushed: readable while the file is still open.
    EXPECT_EQ(readBytes(dir.file("selftest.log")), "[     0.0] release /r, user folder /u\n");
    st.log("stop at compile %s %%", "42");
    st.log("selftest done");
    st.logStart -= 1234567.25; // a run of two weeks: the stamp outgrows its field
    st.log("late");
    st.closeLog();

    std::string text = readBytes(dir.file("selftest.log"));
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(\] stop at compile 42 %\n)")));
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(\n\[1234567\.[23]\] late\n$)")));
    auto first = text.substr(0, text.find("late") - 12);
    EXPECT_TRUE(std::regex_match(first, std::regex(R"((\[[ 0-9]{5}[0-9]\.[0-9]\] [^\n]*\n)+)")));
}

TEST(RunLog, SecondRunReplacesTheFirst) {
    TempDir dir;
    for (const char* msg : {"first", "second"}) {
        Selftest st;
        st.shotsDir = dir.path();
        st.openLog();
        st.log(msg);
    }
    EXPECT_EQ(readBytes(dir.file("selftest.log")), "[     0.0] second\n");
}

TEST(RunLog, UnopenableFolderLeavesNoLog) {
    TempDir dir;
    dir.write("file", "x");
    Selftest st;
    st.shotsDir = dir.file("file/below");
    st.openLog();
    EXPECT_EQ(st.logFile, nullptr);
}

} // namespace
