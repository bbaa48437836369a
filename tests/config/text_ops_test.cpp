#include "config/text_ops.h"

#include <gtest/gtest.h>

using namespace vux;

namespace {

TEST(SubText, TakesTheRangeAndStopsAtTheEnd) {
    struct Case {
        const char* source;
        std::size_t start, limit;
        const char* expected;
    } cases[] = {
        {"1x123456789", 2, 10, "12345678"},  // eight characters of a long angle
        {"2y90", 2, 10, "90"},               // stops at the end of the source
        {"1x", 2, 10, ""},                   // start at the end
        {"ab", 5, 10, ""},                   // start past the end
        {"abcdef", 3, 3, ""},                // start not below the limit
        {"abcdef", 4, 2, ""},
        {"abcdef", 0, 6, "abcdef"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SubText(c.source, c.start, c.limit), c.expected)
            << c.source << " [" << c.start << ", " << c.limit << ")";
    }
}

TEST(FindFirst, FirstExactMatchOrMinusOne) {
    EXPECT_EQ(FindFirst("ab", "xxabab"), 2);
    EXPECT_EQ(FindFirst("AB", "xxabab"), -1);  // case-sensitive
    EXPECT_EQ(FindFirst("", "abc"), 0);
    EXPECT_EQ(FindFirst("", ""), 0);
    EXPECT_EQ(FindFirst("abcd", "abc"), -1);  // longer than the text
    EXPECT_EQ(FindFirst("c", "abc"), 2);      // match at the last position
}

TEST(ReplaceFirst, ReplacesOnlyTheFirstOccurrence) {
    EXPECT_EQ(ReplaceFirst("(2*PI*input)/WINDOW_SIZE+WINDOW_SIZE", "WINDOW_SIZE", "LINE_COUNT"),
              "(2*PI*input)/LINE_COUNT+WINDOW_SIZE");
    EXPECT_EQ(ReplaceFirst("input*2", "WINDOW_SIZE", "LINE_COUNT"), "input*2");
    EXPECT_EQ(ReplaceFirst(" -90\n", "-90", "12.5"), " 12.5\n");
    EXPECT_EQ(ReplaceFirst(" % c\n", "", "data.csv"), "data.csv % c\n");  // empty search: in front
    EXPECT_EQ(ReplaceFirst("abc", "abc", ""), "");
}

}  // namespace
