#pragma once
// Writing command-line values into the configuration file.

#include <string>
#include <vector>

#include "config/config_file.h"
#include "config/line_reader.h"

namespace vux {
// Copies the open configuration up to and including the line the evaluation
// ends on (its "#ENDCFG" line) into "recfg", replacing the values of DATA_FILE and OUTPUT_FILE (#STRINGS) and
// THETA_X, THETA_Y, THETA_Z (#CONSTANTS) by args[0..4] as far as given, then
// gives "recfg" the old file's permission bits and renames it over
// vux_reader.cfg in one step. Consumes and closes `cfg`; returns
// vux_reader.cfg open for reading at its start. Tells the observer
// WritingArguments first.
//
// Every given value must land: when the key of a given argument has no line
// in its section (ArgumentKeyMissing), or one of its lines cannot take the
// value because the old value is written with blanks (ArgumentValueBlanks),
// the rewrite throws; vux_reader.cfg stays as it was and "recfg" is removed.
// A file that cannot be read, written or replaced throws likewise. Call with
// the directory lock held (ConfigLock).
UniqueFile RewriteConfig(UniqueFile cfg, const std::vector<std::string>& args,
                         const ConfigObserver& observer = {});

// One configuration line as the rewrite writes it.
struct LineRewrite {
    std::string text;   // the line, unchanged or with its value replaced
    int argument = -1;  // 0-based argument whose key line this is, or -1
    bool landed = false;  // the line's value is now that argument's text
};

// Rewrites the line `reader` has just read (reading its events): a line
// whose value the evaluation reads for the key of a given argument gets
// that argument in place of its value's text. When the value does not occur
// in its text (it holds blanks, which the value read has lost), the line is
// returned unchanged with `landed` false.
LineRewrite RewriteConfigLine(ConfigLineReader& reader, const std::vector<std::string>& args);
}  // namespace vux
