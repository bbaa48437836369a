#include "config/token_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/value_reader.h"
#include "test_util.h"

using namespace vux;

namespace {

using config_test::MemoryFile;

// Every event up to End as "L:token", "F:token" or "K:token", with the
// section after each event appended when it changed. Gives up after 1000
// events so a reader that never ends fails instead of hanging.
std::vector<std::string> Events(std::string_view text, std::string* told = nullptr) {
    std::FILE* file = MemoryFile(text);
    std::string sections;
    const ConfigObserver observer = [&](const ConfigNote& note) { (sections += std::to_string(note.section)) += ";"; };
    ConfigTokenReader reader{file};
    reader.observer = &observer;
    std::vector<std::string> events;
    for (int n = 0; n < 1000; ++n) {
        ConfigSection before = reader.section;
        ConfigEvent event = NextConfigEvent(reader);
        if (event.kind == ConfigEventKind::End) break;
        const char* kind = event.kind == ConfigEventKind::LineEnd    ? "L:"
                           : event.kind == ConfigEventKind::FieldEnd ? "F:"
                                                                     : "K:";
        std::string entry = kind + event.token;
        if (reader.section != before) entry += " ->" + std::to_string(reader.section);
        events.push_back(entry);
    }
    if (told != nullptr) *told = sections;
    EXPECT_EQ(reader.section, SectionEnd);
    std::fclose(file);
    return events;
}

using Ev = std::vector<std::string>;

TEST(TokenReader, SplitsLinesIntoKeyFieldAndLineEvents) {
    EXPECT_EQ(Events("#STRINGS\nDATA_FILE = C:\\a b\\c.csv\nTIME, 1, 0, 0, 0\n#ENDCFG\n"),
              (Ev{"L:#STRINGS ->1", "K:DATA_FILE", "L:C:\\ab\\c.csv", "F:TIME", "F:1", "F:0",
                  "F:0", "L:0", "L:#ENDCFG ->-1"}));
}

TEST(TokenReader, CommentsRaiseNoKeyOrFieldEvents) {
    // A whole-line comment reads as an empty line, whatever it holds.
    EXPECT_EQ(Events("% a, b = c, #STRINGS\n#ENDCFG"), (Ev{"L:", "L:#ENDCFG ->-1"}));
    // A comment after a token ends the line there.
    EXPECT_EQ(Events("#COLUMNS % x = 1, 2\n#ENDCFG"), (Ev{"L:#COLUMNS ->5", "L:#ENDCFG ->-1"}));
    // A comment right after a comma still ends the line.
    EXPECT_EQ(Events("A, B, % note, x=1\nC\n#ENDCFG"),
              (Ev{"F:A", "F:B", "L:", "L:C", "L:#ENDCFG ->-1"}));
}

TEST(TokenReader, MarkersWithBlanksAndMessages) {
    std::string printed;
    Ev events = Events("# STRINGS\n#Strings\n#CONSTANTS\n#WINDOW_FUNCTION\n#EQUATIONS\n"
                       "#COLUMNS\n#MATLAB\n#STRINGS\n#END\n#ENDCFG\n",
                       &printed);
    EXPECT_EQ(events, (Ev{"L:#STRINGS ->1", "L:#Strings", "L:#CONSTANTS ->2",
                          "L:#WINDOW_FUNCTION ->3", "L:#EQUATIONS ->4", "L:#COLUMNS ->5",
                          "L:#MATLAB ->6", "L:#STRINGS ->1", "L:#END", "L:#ENDCFG ->-1"}));
    EXPECT_EQ(printed, "1;2;3;4;5;6;1;-1;");  // each marker told again when it repeats
}

TEST(TokenReader, NothingAfterTheEndMarkerIsRead) {
    std::FILE* file = MemoryFile("#ENDCFG\nA = 1\nB, 2\n");
    ConfigTokenReader reader{file};
    EXPECT_EQ(NextConfigEvent(reader).token, "#ENDCFG");
    EXPECT_EQ(NextConfigEvent(reader).kind, ConfigEventKind::End);
    EXPECT_EQ(NextConfigEvent(reader).kind, ConfigEventKind::End);
    EXPECT_EQ(config_test::ReadRest(file), "A = 1\nB, 2\n");
    std::fclose(file);
}

TEST(TokenReader, TheEndOfTheFileEndsTheLastLineAndTheFile) {
    EXPECT_EQ(Events("#ENDCFG"), (Ev{"L:#ENDCFG ->-1"}));
    EXPECT_EQ(Events("A = 1"), (Ev{"K:A", "L:1"}));
    EXPECT_EQ(Events("A = 1\n"), (Ev{"K:A", "L:1", "L:"}));
    EXPECT_EQ(Events("X % comment without line end"), (Ev{"L:X"}));
    EXPECT_EQ(Events("% comment without line end"), (Ev{"L:"}));
    EXPECT_EQ(Events(""), (Ev{"L:"}));
}

TEST(TokenReader, LineEndsCarriageReturnsAndNulBytes) {
    EXPECT_EQ(Events("#STRINGS\r\nA = 1\r\nB\rC, D\r\n#ENDCFG\r\n"),
              (Ev{"L:#STRINGS ->1", "K:A", "L:1", "F:B\rC", "L:D", "L:#ENDCFG ->-1"}));
    EXPECT_EQ(Events(std::string("#END\0CFG\n\0A\0\n", 14)), (Ev{"L:#ENDCFG ->-1"}));
}

TEST(TokenReader, ValueReadersTakeTheRestOfTheLine) {
    std::FILE* file = MemoryFile("DATA_FILE = a, b = c % x\nNEXT\n");
    ConfigTokenReader reader{file};
    EXPECT_EQ(NextConfigEvent(reader).token, "DATA_FILE");
    EXPECT_EQ(ReadValue(file), "a,b=c");
    ConfigEvent next = NextConfigEvent(reader);
    EXPECT_EQ(next.kind, ConfigEventKind::LineEnd);
    EXPECT_EQ(next.token, "NEXT");
    std::fclose(file);
}

TEST(TokenReader, LongTokensStayWhole) {
    std::string name(3000, 'N');
    EXPECT_EQ(Events(name + " = 1\n#ENDCFG"), (Ev{"K:" + name, "L:1", "L:#ENDCFG ->-1"}));
}

}  // namespace
