// The process reader's memory stays bounded whatever a captured child writes: an over-long line
// is cut at plat::kMaxLineBytes (its head delivered as a line, the rest up to its line feed
// dropped), so a child that writes a gigabyte without a line feed costs about a mebibyte.
#include "hardening/hardening_support.h"

#include "plat/clock.h"
#include "plat/process.h"

#include <gtest/gtest.h>

using namespace qmharden;

namespace {

std::vector<std::string> capture(const std::vector<std::string>& commands, long* peakGrowthKb) {
    plat::Process p;
    std::string err;
    const long before = residentKb();
    long peak = before;
    EXPECT_TRUE(p.start(binFile("qm_test_child"), commands, "", true, err)) << err;
    std::vector<std::string> lines;
    const double guard = plat::now() + 300;
    while (p.running() && plat::now() < guard) {
        for (std::string& line : p.takeLines())
            lines.push_back(std::move(line));
        peak = std::max(peak, residentKb());
        plat::sleepMs(5);
    }
    EXPECT_FALSE(p.running()) << "the child did not end";
    p.waitOutput(10000);
    for (std::string& line : p.takeLines())
        lines.push_back(std::move(line));
    if (peakGrowthKb) *peakGrowthKb = peak - before;
    return lines;
}

TEST(OutputCap, LongLinesAreCutAndTheNextLineIsIntact) {
    const size_t max = plat::kMaxLineBytes;
    struct Case {
        const char* name;
        long long bytes; // of the "x" run that starts the second line
        const char* after;
        size_t firstLength;
    };
    const Case cases[] = {
        {"one byte short", (long long)max - 1, "\\n", max - 1},
        {"exactly the limit", (long long)max, "\\n", max},
        {"the limit and a carriage return", (long long)max, "\\r\\n", max},
        {"one byte over", (long long)max + 1, "\\n", max},
        {"many times over", 5 * (long long)max + 17, "tail of the long line\\n", max},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> lines =
            capture({"out", "before\\n", "blob", std::to_string(c.bytes), "out", c.after, "out",
                     "next\\n", "blob", "3"},
                    nullptr);
        ASSERT_EQ(4u, lines.size());
        EXPECT_EQ("before", lines[0]);
        EXPECT_EQ(std::string(c.firstLength, 'x'), lines[1]);
        EXPECT_EQ("next", lines[2]);
        EXPECT_EQ("xxx", lines[3]); // the unterminated last line, at the end of the output
    }
}

TEST(OutputCap, AGigabyteWithoutALineFeedKeepsMemoryBounded) {
    long growthKb = 0;
    const std::vector<std::string> lines = capture(
        {"out", "start\\n", "blob", std::to_string(1LL << 30), "out", "\\nend\\n"}, &growthKb);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("start", lines[0]);
    EXPECT_EQ(plat::kMaxLineBytes, lines[1].size());
    EXPECT_EQ("end", lines[2]);
    // The cut line itself is 1 MiB; everything else the reader holds is a few pages.
    EXPECT_LT(growthKb, 64 * 1024) << "resident memory grew by " << growthKb << " KiB";
    std::printf("[ figures  ] 1 GiB without a line feed: resident memory grew by %ld KiB\n",
                growthKb);
}

} // namespace
