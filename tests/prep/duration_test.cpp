// Durations as shown to the user.
#include "prep/duration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(FormatDuration, Values) {
    const std::pair<double, const char*> cases[] = {
        {0, "0:00"},
        {0.4, "0:00"},
        {0.5, "0:01"},
        {9, "0:09"},
        {59.4, "0:59"},
        {59.6, "1:00"},
        {65.4, "1:05"},
        {600, "10:00"},
        {3599.4, "59:59"},
        {3599.5, "1:00:00"},
        {3600, "1:00:00"},
        {3725, "1:02:05"},
        {36000 + 59, "10:00:59"},
        {360000, "100:00:00"},
        {-1, "0:00"},
        {-3725, "0:00"},
        {std::nan(""), "0:00"},
        {-std::numeric_limits<double>::infinity(), "0:00"},
    };
    for (const auto& [seconds, expected] : cases) {
        SCOPED_TRACE(seconds);
        EXPECT_EQ(formatDuration(seconds), expected);
    }
}

TEST(FormatDuration, AbsurdValuesStayWellFormed) {
    for (double seconds : {1e300, std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(seconds);
        const std::string text = formatDuration(seconds);
        ASSERT_GE(text.size(), 7u);
        EXPECT_EQ(text.find_first_not_of("0123456789:"), std::string::npos) << text;
        EXPECT_EQ(text.substr(text.size() - 6, 1), ":");
        EXPECT_EQ(text.substr(text.size() - 3, 1), ":");
    }
}

} // namespace
