#pragma once
// The command line: help and version words, accepted argument counts, and
// the values that vux_reader.cfg can carry.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vux {
// "help", "HELP", "-- help", "--help", "-h", "-help" or "-H", exactly.
bool IsHelpWord(std::string_view arg);

// "--version" or "-V", exactly: as the first argument, the tool prints only
// VersionLine() and exits 0, whatever follows, touching no file.
bool IsVersionWord(std::string_view arg);

// None, one, two or five arguments (the program name not counted).
bool IsAcceptedArgumentCount(size_t count);

// Why a command-line value cannot be written into vux_reader.cfg and read
// back as given.
enum class ArgumentFault {
    LineBreak,    // a CR or LF would cut its line
    Blank,        // the configuration drops blanks from a value
    Percent,      // '%' starts a comment there
    Empty,        // nothing to write
    NoFileName,   // the path ends in '/' or '\'
    LeadingDash,  // looks like an option ("./-x" names such a file)
    NotANumber,   // an angle that is not one decimal number
    NotFinite,    // an angle too large for a double
};

// A refused value: the argument's index (0 = the data file, 1 = the output,
// 2 to 4 = the angles), the key it would set and why.
struct ArgumentRefusal {
    size_t index = 0;
    const char* key = "";
    ArgumentFault fault = ArgumentFault::Empty;
};

// The configuration key argument `index` sets: DATA_FILE, OUTPUT_FILE,
// THETA_X, THETA_Y, THETA_Z.
const char* ArgumentKey(size_t index);

// True when `text` is wholly one decimal number: an optional sign, digits
// with an optional decimal point (at least one digit), an optional exponent;
// nothing before or after it.
bool IsDecimalNumber(std::string_view text);

// The first argument, in order, that the configuration cannot carry: a line
// break in any; a path that holds a blank or '%', is empty, ends in a
// separator or begins with '-'; an angle that is not a finite decimal
// number. None when every value can be written.
std::optional<ArgumentRefusal> FindRefusedArgument(const std::vector<std::string>& args);
}  // namespace vux
