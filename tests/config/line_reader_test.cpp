#include "config/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

using namespace vux;

namespace {

using config_test::MemoryFile;
using Ev = std::vector<std::string>;
using namespace std::string_literals;

// Every event of every line as "F:token", "V:token=value" or "L:token", with
// the section after it appended when it changed; `told` gets the sections
// the observer was told. Gives up after 1000 lines so that a reader that
// never ends fails instead of hanging.
Ev Events(std::string_view text, std::string* told = nullptr) {
    std::FILE* file = MemoryFile(text);
    std::string sections;
    const ConfigObserver observer = [&](const ConfigNote& note) { (sections += std::to_string(note.section)) += ";"; };
    ConfigLineReader reader(file, &observer);
    Ev events;
    for (int n = 0; n < 1000 && reader.NextLine(); ++n) {
        for (;;) {
            const ConfigSection before = reader.Section();
            const ConfigEvent event = reader.NextEvent();
            std::string entry = event.kind == ConfigEventKind::Field   ? "F:" + event.token
                                : event.kind == ConfigEventKind::Value ? "V:" + event.token + "=" + event.value
                                                                       : "L:" + event.token;
            if (reader.Section() != before) entry += " ->" + std::to_string(reader.Section());
            events.push_back(entry);
            if (event.kind != ConfigEventKind::Field) break;
        }
    }
    if (told != nullptr) *told = sections;
    std::fclose(file);
    return events;
}

TEST(ConfigLineReader, KeysTakeTheRestOfTheLineWhereTheEvaluationReadsThem) {
    // In #STRINGS only DATA_FILE and OUTPUT_FILE take a value; other keys and
    // fields are passed over and the line reads on.
    EXPECT_EQ(Events("#STRINGS\nDATA_FILE = C:\\a b\\c.csv\nX, Y = OUTPUT_FILE = o, p = q % c\n"
                     "DATA_FILE\n#ENDCFG\n"),
              (Ev{"L:#STRINGS ->1", "V:DATA_FILE=C:\\ab\\c.csv", "F:X", "V:OUTPUT_FILE=o,p=q", "L:DATA_FILE",
                  "L:#ENDCFG ->-1"}));
    // Any key in #CONSTANTS, #WINDOW_FUNCTION and #EQUATIONS; none outside a section.
    EXPECT_EQ(Events("A = 1\n#CONSTANTS\nA = 1 = #ENDCFG\n#WINDOW_FUNCTION\nW = a, b\n#EQUATIONS\n0, E = x\n"),
              (Ev{"L:1", "L:#CONSTANTS ->2", "V:A=1=#ENDCFG", "L:#WINDOW_FUNCTION ->3", "V:W=a,b",
                  "L:#EQUATIONS ->4", "F:0", "V:E=x"}));
    // The fourth field of a list line; a #MATLAB title keeps its inner and trailing blanks.
    EXPECT_EQ(Events("#COLUMNS\nA = B, 1, 2, 1x0, 1 , 5 % c\nC, 1\n#MATLAB\nT, plot, s, v,   X Ang  Rate  % c\n"),
              (Ev{"L:#COLUMNS ->5", "F:B", "F:1", "F:2", "V:1x0=1,5", "F:C", "L:1", "L:#MATLAB ->6", "F:T",
                  "F:plot", "F:s", "V:v=X Ang  Rate  "}));
}

TEST(ConfigLineReader, CommentsEndTheLine) {
    EXPECT_EQ(Events("% a, b = c, #STRINGS\n#ENDCFG"), (Ev{"L:", "L:#ENDCFG ->-1"}));
    EXPECT_EQ(Events("#COLUMNS % x = 1, 2\n#ENDCFG"), (Ev{"L:#COLUMNS ->5", "L:#ENDCFG ->-1"}));
    EXPECT_EQ(Events("A, B, % note, x=1\nC\n#ENDCFG"), (Ev{"F:A", "F:B", "L:", "L:C", "L:#ENDCFG ->-1"}));
    EXPECT_EQ(Events("#STRINGS\nDATA_FILE = %only a comment\n"), (Ev{"L:#STRINGS ->1", "V:DATA_FILE="}));
}

// A marker is the whole token that ends its line, blanks and NUL bytes dropped.
TEST(ConfigLineReader, MarkersAreWholeTokensThatEndTheLine) {
    std::string told;
    EXPECT_EQ(Events("# STRINGS\n#Strings\n#STRING\n#STRINGSX\nSTRINGS\n#CONSTANTS % c\n#WINDOW_FUNCTION\n"
                     "#EQUATIONS\n#COLUMNS\n#MATLAB\nx, #STRINGS\n#ENDCFG trailing\n#END\n#END\0CFG\r\nA = 1\n"s,
                     &told),
              (Ev{"L:#STRINGS ->1", "L:#Strings", "L:#STRING", "L:#STRINGSX", "L:STRINGS", "L:#CONSTANTS ->2",
                  "L:#WINDOW_FUNCTION ->3", "L:#EQUATIONS ->4", "L:#COLUMNS ->5", "L:#MATLAB ->6", "F:x",
                  "L:#STRINGS ->1", "L:#ENDCFGtrailing", "L:#END", "L:#ENDCFG ->-1"}));
    EXPECT_EQ(told, "1;2;3;4;5;6;1;-1;");  // each marker told again when it repeats
    // A marker in a value is text.
    EXPECT_EQ(Events("#STRINGS\nDATA_FILE = #ENDCFG\nX = #ENDCFG\nY\n"),
              (Ev{"L:#STRINGS ->1", "V:DATA_FILE=#ENDCFG", "L:#ENDCFG ->-1"}));
}

TEST(ConfigLineReader, LinesLineEndsAndTheEndOfTheFile) {
    EXPECT_EQ(Events("#ENDCFG"), (Ev{"L:#ENDCFG ->-1"}));
    EXPECT_EQ(Events("#STRINGS\nDATA_FILE = 1"), (Ev{"L:#STRINGS ->1", "V:DATA_FILE=1"}));
    EXPECT_EQ(Events("X % comment without line end"), (Ev{"L:X"}));
    EXPECT_EQ(Events(""), Ev{});
    EXPECT_EQ(Events("#STRINGS\r\nDATA_FILE = a\r\nB\rC, D\r\nDATA_FILE = a\rb\r\r\nDATA_FILE = \t1\0 2\r\0"s),
              (Ev{"L:#STRINGS ->1", "V:DATA_FILE=a", "F:B\rC", "L:D", "V:DATA_FILE=a\rb\r", "V:DATA_FILE=\t12\r"}));
    const std::string name(3000, 'N');
    EXPECT_EQ(Events("#CONSTANTS\n" + name + " = " + name + "\n"), (Ev{"L:#CONSTANTS ->2", "V:" + name + "=" + name}));
}

TEST(ConfigLineReader, LinesAreNumberedAndKeptAsWritten) {
    std::FILE* file = MemoryFile("#STRINGS\r\n\nDATA_FILE = a b % c\r\n#ENDCFG\nafter\n");
    ConfigLineReader reader(file);
    std::string seen;
    while (reader.NextLine()) seen += std::to_string(reader.LineNumber()) + "[" + std::string(reader.Line()) + "]";
    EXPECT_EQ(seen, "1[#STRINGS\r\n]2[\n]3[DATA_FILE = a b % c\r\n]4[#ENDCFG\n]");
    EXPECT_EQ(config_test::ReadRest(file), "after\n");  // nothing after the end marker is read
    std::fclose(file);

    file = MemoryFile("#STRINGS\nDATA_FILE = a b % c\r\n");
    ConfigLineReader values(file);
    values.NextLine();
    values.NextLine();
    const ConfigEvent event = values.NextEvent();
    EXPECT_EQ(values.Line().substr(event.valueBegin, event.valueEnd - event.valueBegin), " a b ");
    std::fclose(file);
}

}  // namespace
