#include "run/command_line.h"
#include "core/paths.h"
#include "run/console.h"

#include <gtest/gtest.h>

#include <regex>

using namespace vux;

TEST(CommandLine, HelpWordsAreExactAndCaseSensitive) {
    for (const char* word : {"help", "HELP", "-- help", "--help", "-h", "-help", "-H"}) {
        EXPECT_TRUE(IsHelpWord(word)) << word;
    }
    for (const char* other : {"--HELP", "Help", "/?", "-h ", "", "--  help", "h", "--version"}) {
        EXPECT_FALSE(IsHelpWord(other)) << other;
    }
    EXPECT_TRUE(IsVersionWord("--version"));
    for (const char* other : {"-version", "--Version", "--version ", "-v", "version"}) {
        EXPECT_FALSE(IsVersionWord(other)) << other;
    }
    EXPECT_TRUE(std::regex_match(VersionLine(), std::regex("vux_reader [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << VersionLine();
}

TEST(CommandLine, AcceptedArgumentCounts) {
    for (size_t n : {0u, 1u, 2u, 5u}) EXPECT_TRUE(IsAcceptedArgumentCount(n)) << n;
    for (size_t n : {3u, 4u, 6u, 9u}) EXPECT_FALSE(IsAcceptedArgumentCount(n)) << n;
}

TEST(CommandLine, FileNamePartFollowsTheLastSeparatorOfEitherKind) {
    EXPECT_EQ(FileNamePart("C:\\Users\\run.csv"), "run.csv");
    EXPECT_EQ(FileNamePart("data/run1.csv"), "run1.csv");
    EXPECT_EQ(FileNamePart("a/b\\c.mat"), "c.mat");
    EXPECT_EQ(FileNamePart("plain.csv"), "plain.csv");
    EXPECT_EQ(FileNamePart("data/"), "");
    EXPECT_EQ(FileNamePart("C:\\data\\"), "");
    EXPECT_EQ(FileNamePart(""), "");
}
