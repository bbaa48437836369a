#pragma once
// The character reader of the configuration evaluation: splits the file into
// tokens ended by line ends, commas and equals signs, and follows the
// section markers.
//
// Spaces and NUL bytes are never part of a token. A comment ("%" to the end
// of the line) ends the line like a line break; a line that holds nothing but
// a comment reads as an empty line. The end of the file ends its last line;
// a file without "#ENDCFG" ends there as if it held one.

#include <cstdio>
#include <string>

#include "config/config_file.h"

namespace vux {
enum class ConfigEventKind {
    LineEnd,   // a line ended; the token is what stood before the line end
    FieldEnd,  // a comma ended the token
    KeyEnd,    // an equals sign ended the token
    End,       // "#ENDCFG" (or the end of the file) was reached; no more events
};

struct ConfigEvent {
    ConfigEventKind kind = ConfigEventKind::End;
    std::string token;
};

struct ConfigTokenReader {
    std::FILE* file = nullptr;
    ConfigSection section = SectionNone;  // follows the marker lines
    bool fileEnded = false;               // the end of the file has ended a line
    const ConfigObserver* observer = nullptr;  // told of each marker line; may be null
};

// Reads up to the next event. A line-end token that is a marker changes
// `reader.section` and is told to the observer as a Section step (again each
// time a marker repeats). Once the section is SectionEnd,
// returns End without reading. A key-end or field-end receiver may take the
// rest of the line itself with ReadValue or ReadTitle.
ConfigEvent NextConfigEvent(ConfigTokenReader& reader);
}  // namespace vux
