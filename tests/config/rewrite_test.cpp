#include "config/rewrite.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "config/scratch_config.h"
#include "test_util.h"
#include "support/expect.h"

using namespace vux;

namespace {

using namespace config_test;
using Args = std::vector<std::string>;

const Args kFive{"data.csv", "res.mat", "12.5", "-45", "1e2"};

// The line rewritten after the marker line of `section` (none for SectionNone).
std::string RewriteLine(ConfigSection section, const std::string& line, const Args& args) {
    const char* markers[] = {"", "#STRINGS\n", "#CONSTANTS\n"};
    std::FILE* file = MemoryFile(markers[section] + line);
    ConfigLineReader reader(file);
    if (section != SectionNone) reader.NextLine();
    reader.NextLine();
    std::string text = RewriteConfigLine(reader, args).text;
    std::fclose(file);
    return text;
}

TEST(RewriteConfigLine, KeyLinesOfTheArgumentMap) {
    struct Case {
        ConfigSection section;
        const char* line;
        Args args;
        const char* expected;
    } cases[] = {
        {SectionStrings, "DATA_FILE = C:\\old\\in.csv\n", {"new.csv"}, "DATA_FILE = new.csv\n"},
        {SectionStrings, "DATA_FILE = old.csv   % keep this\n", {"n.csv"}, "DATA_FILE = n.csv   % keep this\n"},
        {SectionStrings, "OUTPUT_FILE = o.mat\n", {"a"}, "OUTPUT_FILE = o.mat\n"},  // needs two
        {SectionStrings, "OUTPUT_FILE = o.mat\n", {"a", "b.mat"}, "OUTPUT_FILE = b.mat\n"},
        {SectionConstants, "THETA_X = -90\n", kFive, "THETA_X = 12.5\n"},
        {SectionConstants, "THETA_Y = 0\n", kFive, "THETA_Y = -45\n"},
        {SectionConstants, "THETA_Z = -90 % deg\n", kFive, "THETA_Z = 1e2 % deg\n"},
        {SectionConstants, "THETA_X = -90\n", {"a", "b"}, "THETA_X = -90\n"},  // needs five
        // Keys count only in their own section.
        {SectionStrings, "THETA_X = -90\n", kFive, "THETA_X = -90\n"},
        {SectionConstants, "DATA_FILE = in.csv\n", kFive, "DATA_FILE = in.csv\n"},
        {SectionNone, "DATA_FILE = in.csv\n", kFive, "DATA_FILE = in.csv\n"},
        {SectionStrings, "data_file = in.csv\n", kFive, "data_file = in.csv\n"},
        // Blanks inside the key are no part of it.
        {SectionStrings, "  DATA _FILE=in.csv\n", {"x"}, "  DATA _FILE=x\n"},
        // An empty old value: the argument goes right after the equals sign.
        {SectionStrings, "DATA_FILE =\n", {"x.csv"}, "DATA_FILE =x.csv\n"},
        {SectionStrings, "DATA_FILE = % none\n", {"x.csv"}, "DATA_FILE =x.csv % none\n"},
        // Only the first occurrence after the equals sign changes.
        {SectionStrings, "DATA_FILE = a % a\n", {"b"}, "DATA_FILE = b % a\n"},
        {SectionStrings, "DATA_FILE=DATA_FILE\n", {"b"}, "DATA_FILE=b\n"},
        // CR LF stays CR LF; the CR is no part of the old value.
        {SectionStrings, "DATA_FILE = old.csv\r\n", {"n.csv"}, "DATA_FILE = n.csv\r\n"},
        {SectionStrings, "DATA_FILE =\r\n", {"n.csv"}, "DATA_FILE =n.csv\r\n"},
        // A last line without a line end.
        {SectionStrings, "DATA_FILE = old.csv", {"n.csv"}, "DATA_FILE = n.csv"},
        // The key is the one the evaluation reads: after passed-over fields
        // and keys too; a key in a comment or a value is none.
        {SectionStrings, "% DATA_FILE = x\n", {"n"}, "% DATA_FILE = x\n"},
        {SectionStrings, "0, DATA_FILE = x\n", {"n"}, "0, DATA_FILE = n\n"},
        {SectionStrings, "A = DATA_FILE = x\n", {"n"}, "A = DATA_FILE = n\n"},
        {SectionStrings, "OUTPUT_FILE = DATA_FILE = x\n", {"n"}, "OUTPUT_FILE = DATA_FILE = x\n"},
        {SectionConstants, "A = THETA_X = 1\n", kFive, "A = THETA_X = 1\n"},
        {SectionStrings, "DATA_FILE\n", {"n"}, "DATA_FILE\n"},
        // The argument is written as given.
        {SectionStrings, "DATA_FILE = a\n", {"C:\\x y\\%z.csv"}, "DATA_FILE = C:\\x y\\%z.csv\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(RewriteLine(c.section, c.line, c.args), c.expected) << c.line;
}

class RewriteTest : public ScratchDirTest {
protected:
    // Rewrites a vux_reader.cfg holding `content`; returns the steps it told
    // and what the returned file reads.
    std::pair<std::string, std::string> Rewrite(const std::string& content, const Args& args) {
        WriteFile(kConfigFileName, content);
        UniqueFile cfg(std::fopen(kConfigFileName, "r"));
        std::string told;
        UniqueFile rewritten;
        try {
            rewritten = RewriteConfig(std::move(cfg), args, [&](const ConfigNote& note) {
                if (note.step == ConfigStep::WritingArguments) told += "writing;";
            });
        } catch (const Error& error) {
            ADD_FAILURE() << "the rewrite stopped: " << testing::PrintToString(error);
            return {};
        }
        std::string printed = told;
        std::string read = ReadRest(rewritten.get());
        EXPECT_FALSE(fs::exists(kScratchConfigName));
        EXPECT_EQ(read, ReadFile(kConfigFileName));
        return {printed, read};
    }
};

std::string Replace(std::string text, std::string_view from, std::string_view to) {
    return text.replace(text.find(from), from.size(), to);
}

TEST_F(RewriteTest, DefaultWithOneTwoAndFiveArguments) {
    const std::string base(kDefaultConfig);
    const std::string oldData =
        "DATA_FILE = C:\\Users\\Pellam\\Downloads\\6June2014-nose-high-2\\"
        "Q417-nose-high-2-UNFILTERED.csv\n";
    const std::string oldOut = "OUTPUT_FILE = C:\\Users\\Pellam\\Documents\\MATLAB\\output.mat\n";

    auto [printed, one] = Rewrite(base, {"data.csv"});
    EXPECT_EQ(printed, "writing;");
    EXPECT_EQ(one, Replace(base, oldData, "DATA_FILE = data.csv\n"));
    if (auto expected = CaseFile("rw__one-arg-on-default/expected", "vux_reader.cfg")) {
        EXPECT_EQ(one, *expected);
    }

    auto two = Rewrite(base, {"in.csv", "out_dir/o.mat"}).second;
    EXPECT_EQ(two, Replace(Replace(base, oldData, "DATA_FILE = in.csv\n"), oldOut,
                           "OUTPUT_FILE = out_dir/o.mat\n"));

    auto five = Rewrite(base, kFive).second;
    std::string expected = Replace(Replace(base, oldData, "DATA_FILE = data.csv\n"), oldOut,
                                   "OUTPUT_FILE = res.mat\n");
    expected = Replace(expected, "THETA_X = -90\n", "THETA_X = 12.5\n");
    expected = Replace(expected, "THETA_Y = 0\n", "THETA_Y = -45\n");
    expected = Replace(expected, "THETA_Z = -90\n", "THETA_Z = 1e2\n");
    EXPECT_EQ(five, expected);
    if (auto conforming = CaseFile("rw__five-args-on-default/expected", "vux_reader.cfg")) {
        EXPECT_EQ(five, *conforming);
    }
}

TEST_F(RewriteTest, TextAfterTheEndMarkerIsDropped) {
    const std::string body = "#STRINGS\nDATA_FILE = a.csv % in\n#ENDCFG\n";
    EXPECT_EQ(Rewrite(body + "% notes\nDATA_FILE = z\n", {"b.csv"}).second,
              "#STRINGS\nDATA_FILE = b.csv % in\n#ENDCFG\n");
    EXPECT_EQ(Rewrite("#STRINGS\nDATA_FILE=a\n#ENDCFG", {"b.csv"}).second, "#STRINGS\nDATA_FILE=b.csv\n#ENDCFG");

    auto input = CaseFile("rw__text-after-endcfg-dropped/input", "vux_reader.cfg");
    auto expected = CaseFile("rw__text-after-endcfg-dropped/expected", "vux_reader.cfg");
    if (input && expected) {
        EXPECT_EQ(Rewrite(*input, {"data.csv"}).second, *expected);
    }
}

// The copy ends on the line the evaluation ends on, and a key line counts in
// the section the evaluation reads it in.
TEST_F(RewriteTest, MarkersAreThoseTheEvaluationReads) {
    EXPECT_EQ(Rewrite("#STRINGS\nDATA_FILE = a\n#ENDCFG trailing\n#CONSTANTSX\nDATA_FILE = b\n# ENDCFG % c\nx\n",
                      {"n"})
                  .second,
              "#STRINGS\nDATA_FILE = n\n#ENDCFG trailing\n#CONSTANTSX\nDATA_FILE = n\n# ENDCFG % c\n");
}

TEST_F(RewriteTest, FileWithoutEndMarkerIsCopiedToItsEnd) {
    EXPECT_EQ(Rewrite("#STRINGS\nDATA_FILE = a\n\nlast line", {"b"}).second,
              "#STRINGS\nDATA_FILE = b\n\nlast line");
}

TEST_F(RewriteTest, CrLfFileKeepsEveryByte) {
    auto toCrLf = [](std::string_view text) {
        std::string out;
        for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    };
    std::string crlf = toCrLf(kDefaultConfig);
    std::string expected = crlf;
    const std::pair<const char*, const char*> changes[] = {
        {"DATA_FILE = C:\\Users\\Pellam\\Downloads\\6June2014-nose-high-2\\"
         "Q417-nose-high-2-UNFILTERED.csv\r\n",
         "DATA_FILE = data.csv\r\n"},
        {"OUTPUT_FILE = C:\\Users\\Pellam\\Documents\\MATLAB\\output.mat\r\n",
         "OUTPUT_FILE = res.mat\r\n"},
        {"THETA_X = -90\r\n", "THETA_X = 12.5\r\n"},
        {"THETA_Y = 0\r\n", "THETA_Y = -45\r\n"},
        {"THETA_Z = -90\r\n", "THETA_Z = 1e2\r\n"},
    };
    for (auto [from, to] : changes) expected = Replace(expected, from, to);
    EXPECT_EQ(Rewrite(crlf + "\r\nafter\r\n", kFive).second, expected + "\r\n");
    // A marker line ended by CR LF still ends the copy.
    EXPECT_EQ(Rewrite("#STRINGS\r\nDATA_FILE =\r\n#ENDCFG\r\nafter\r\n", {"a"}).second,
              "#STRINGS\r\nDATA_FILE =a\r\n#ENDCFG\r\n");
}

TEST_F(RewriteTest, LongAndBinaryLinesAreCopiedWhole) {
    std::string longComment = "% " + std::string(10000, 'c') + "\n";
    std::string binary("x\0y, z = \0\n", 11);
    std::string longPath(4000, 'p');
    std::string content = "#STRINGS\n" + longComment + binary + "DATA_FILE = " + longPath +
                          " % c\n#ENDCFG\n";
    EXPECT_EQ(Rewrite(content, {"short.csv"}).second,
              "#STRINGS\n" + longComment + binary + "DATA_FILE = short.csv % c\n#ENDCFG\n");
}

TEST_F(RewriteTest, AValueThatCannotLandStopsTheRunAndChangesNothing) {
    const std::string strings = "#STRINGS\nDATA_FILE = in.csv\nOUTPUT_FILE = o.mat\n";
    const std::string angles = "#CONSTANTS\nTHETA_X = 1\nTHETA_Y = 2\nTHETA_Z = 3\n";
    struct Case {
        std::string config;
        Args args;
        const char* key;  // whose value cannot land
        long line;        // the line whose old value holds blanks; 0: the key has no line
    } cases[] = {
        {"", {"a.csv"}, "DATA_FILE", 0},
        {"#STRINGS\nOUTPUT_FILE = o.mat\n#ENDCFG\n", {"a.csv"}, "DATA_FILE", 0},
        // In the wrong section, or only after the end marker, a line does not count.
        {"#CONSTANTS\nDATA_FILE = x\n#ENDCFG\n#STRINGS\nDATA_FILE = y\n", {"a.csv"}, "DATA_FILE", 0},
        {strings + "#CONSTANTS\nTHETA_X = 1\nTHETA_Z = 3\n", {"a", "b", "1", "2", "3"}, "THETA_Y", 0},
        {"#STRINGS\nDATA_FILE = my data.csv\n", {"a.csv"}, "DATA_FILE", 2},
        // Every line of the key must take the value, the second one too.
        {strings + "#STRINGS\nDATA_FILE = a b.csv % ab.csv\n", {"a.csv"}, "DATA_FILE", 5},
        {strings + "#CONSTANTS\nTHETA_X = 1\nTHETA_Y = 2\nTHETA_Z = - 3\n", {"a", "b", "1", "2", "3"}, "THETA_Z", 7},
    };
    for (const Case& c : cases) {
        WriteFile(kConfigFileName, c.config);
        const Error stop = ExpectStop([&] { RewriteConfig(UniqueFile(std::fopen(kConfigFileName, "r")), c.args); });
        EXPECT_EQ(stop.kind, c.line == 0 ? ErrorKind::ArgumentKeyMissing : ErrorKind::ArgumentValueBlanks) << c.config;
        EXPECT_EQ(stop.name, c.key) << c.config;
        EXPECT_EQ(stop.number, c.line) << c.config;
        EXPECT_EQ(stop.other, stop.name.starts_with("THETA") ? "#CONSTANTS" : "#STRINGS");
        EXPECT_EQ(ReadFile(kConfigFileName), c.config);
        EXPECT_FALSE(fs::exists(fs::symlink_status(kScratchConfigName)));
    }
    // Lines of the key in both sections and several times: all of them change.
    EXPECT_EQ(Rewrite(strings + angles + strings, {"a", "b", "1", "2", "3"}).second,
              "#STRINGS\nDATA_FILE = a\nOUTPUT_FILE = b\n#CONSTANTS\nTHETA_X = 1\nTHETA_Y = 2\n"
              "THETA_Z = 3\n#STRINGS\nDATA_FILE = a\nOUTPUT_FILE = b\n");
}

TEST_F(RewriteTest, TheRewrittenFileKeepsItsPermissionBits) {
    const mode_t oldMask = ::umask(022);  // a new file would be 0644
    for (const mode_t bits : {mode_t{0400}, mode_t{0640}}) {
        WriteFile(kConfigFileName, "#STRINGS\nDATA_FILE = in.csv\n");
        ASSERT_EQ(::chmod(kConfigFileName, bits), 0);
        RewriteConfig(UniqueFile(std::fopen(kConfigFileName, "r")), {"a.csv"});
        struct stat info {};
        ASSERT_EQ(::stat(kConfigFileName, &info), 0);
        EXPECT_EQ(info.st_mode & 07777, bits);
        EXPECT_EQ(ReadFile(kConfigFileName), "#STRINGS\nDATA_FILE = a.csv\n");
        fs::remove(kConfigFileName);
    }
    ::umask(oldMask);
}

TEST_F(RewriteTest, FailureToReplaceTheFileStopsTheRunAndRemovesTheScratchFile) {
    // vux_reader.cfg is a non-empty directory: no rename can replace it.
    fs::create_directories(fs::path(kConfigFileName) / "inside");
    const Error stop = ExpectStop([&] { RewriteConfig(UniqueFile(MemoryFile(kDefaultConfig)), {"x"}); });
    EXPECT_EQ(stop.kind, ErrorKind::ScratchConfigReplace);
    EXPECT_EQ(stop.path, kConfigFileName);
    EXPECT_FALSE(fs::exists(kScratchConfigName));
}

TEST_F(RewriteTest, FailureToWriteStopsTheRunAndKeepsTheOldFile) {
    WriteFile(kConfigFileName, kDefaultConfig);
    EXPECT_EXIT(
        {
            LimitFileSize(1000);  // the old file is larger: it stays readable
            const Error stop = ExpectStop([&] { RewriteConfig(UniqueFile(std::fopen(kConfigFileName, "r")), {"x"}); });
            bool reported = stop.kind == ErrorKind::ScratchConfigWrite && stop.cause.err == EFBIG;
            bool kept = ReadFile(kConfigFileName) == kDefaultConfig;
            std::_Exit(reported && kept && !fs::exists(kScratchConfigName) ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(RewriteTest, ReadOnlyDirectoryStopsTheRun) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    WriteFile(kConfigFileName, kDefaultConfig);
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    const Error stop = ExpectStop([&] { RewriteConfig(UniqueFile(std::fopen(kConfigFileName, "r")), {"x"}); });
    EXPECT_EQ(stop.kind, ErrorKind::ScratchConfigCreate);
    EXPECT_EQ(stop.cause.err, EACCES);
    EXPECT_EQ(ReadFile(kConfigFileName), kDefaultConfig);
}

}  // namespace
