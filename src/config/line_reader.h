#pragma once
// The one reader of vux_reader.cfg's lines: the evaluation and the rewrite
// both read the file through it, so a line means the same to both.
//
// A line is its bytes up to and including its LF (the last line may have
// none); a CR right before the LF belongs to the line end, a lone CR is an
// ordinary character. A line is split into tokens at commas and equals
// signs; blanks and NUL bytes are never part of a token, and a comment ("%"
// to the line end) ends the line. The token that ends a line is a section
// marker when it is one whole ("#STRINGS" ... "#ENDCFG", exactly). Reading
// ends after the "#ENDCFG" line, or at the end of the file.
//
// What the evaluation takes as a value decides for every reader: after a key
// (a token ended by an equals sign) of its section, or after a list line's
// fourth field, the rest of the line is one value, in which commas, equals
// signs and marker text are plain characters. Keys that take a value:
// DATA_FILE and OUTPUT_FILE in #STRINGS, any key in #CONSTANTS,
// #WINDOW_FUNCTION and #EQUATIONS; other keys are passed over and the line
// reads on. The fields of #COLUMNS and #MATLAB lines are counted per line.
//
// Where the readers really differ, it is said here once:
// - A value drops every blank; a #MATLAB title (the rest after a #MATLAB
//   line's fourth field) keeps its blanks after the first kept character.
// - The evaluation reads values; the rewrite copies each line's raw bytes
//   (blanks, comment and line end included) and replaces the value in place,
//   at `valueBegin`..`valueEnd`.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "config/config_file.h"

namespace vux {
enum class ConfigEventKind {
    Field,    // a comma ended `token`, the line's field number `field` (from 0)
    Value,    // `token` (a key, or the fourth field) takes the rest of the line, `value`; ends the line
    LineEnd,  // the line ended; `token` is what stood last (a marker switched the section)
};

struct ConfigEvent {
    ConfigEventKind kind = ConfigEventKind::LineEnd;
    std::string token;
    std::string value;          // Value: as read (see the blanks above); comment and line end cut
    int field = 0;              // Field: its number within the line
    std::size_t valueBegin = 0;  // Value: where its text starts in Line() (after the separator)
    std::size_t valueEnd = 0;    // Value: where its text ends (the comment or the line end)
};

class ConfigLineReader {
public:
    // Reads `file` from its position; `observer` (may be null) is told each
    // marker line as a Section step, again each time a marker repeats.
    explicit ConfigLineReader(std::FILE* file, const ConfigObserver* observer = nullptr)
        : file_(file), observer_(observer) {}

    // Reads the next line, after the rest of the current one (its marker
    // counts even when its events were not asked for). False once the
    // "#ENDCFG" line has been read or the file has no more bytes; throws
    // ConfigReadFailed on a read error, which must not pass for the end.
    bool NextLine();

    // The current line's next event; once a Value or LineEnd has ended the
    // line, LineEnd again with an empty token.
    ConfigEvent NextEvent();

    std::string_view Line() const { return line_; }  // the current line's bytes, its line end included
    uint64_t LineNumber() const { return number_; }   // from 1
    ConfigSection Section() const { return section_; }  // of the current line (until its marker ends it)

private:
    std::FILE* file_;
    const ConfigObserver* observer_;
    std::string line_;
    std::size_t textEnd_ = 0;  // where the line end starts
    std::size_t pos_ = 0;      // next byte to scan
    bool ended_ = true;        // the current line has given its last event
    int fields_ = 0;
    uint64_t number_ = 0;
    ConfigSection section_ = SectionNone;
};
}  // namespace vux
