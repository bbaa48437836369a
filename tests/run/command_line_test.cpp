#include "run/command_line.h"
#include "core/paths.h"
#include "run/messages.h"

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
    EXPECT_TRUE(IsVersionWord("-V"));
    for (const char* other : {"-version", "--Version", "--version ", "-v", "version", "-V "}) {
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

TEST(CommandLine, AnAngleIsWhollyOneDecimalNumber) {
    for (const char* number : {"+5", "-90.5", "1e2", "5.", ".5", "1E-3", "007", "-0"}) {
        EXPECT_TRUE(IsDecimalNumber(number)) << number;
    }
    for (const char* other : {"abc", "1,5", "12abc", " 5", "5 ", "inf", "nan", "0x10", "", ".", "e5", "1e", "+",
                              "1e+", "--5", "5..", "1e2.5"}) {
        EXPECT_FALSE(IsDecimalNumber(other)) << other;
    }
}

TEST(CommandLine, TheFirstValueTheConfigurationCannotCarryIsNamed) {
    const auto refused = [](std::vector<std::string> args) { return FindRefusedArgument(args); };
    EXPECT_FALSE(refused({"./-x.csv", "out/o.mat", "1e2", "-0.5", "5."}));
    const auto r = refused({"a.csv", "b.mat", "0", "1e400", "abc"});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->index, 3u);
    EXPECT_STREQ(r->key, "THETA_Y");
    EXPECT_EQ(r->fault, ArgumentFault::NotFinite);
    EXPECT_EQ(refused({"a\\"})->fault, ArgumentFault::NoFileName);
    EXPECT_EQ(refused({"a.csv", "b\n.mat"})->fault, ArgumentFault::LineBreak);
}
