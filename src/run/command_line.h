#pragma once
// The command line: help words and accepted argument counts.

#include <cstddef>
#include <string_view>

namespace vux {
// "help", "HELP", "-- help", "--help", "-h", "-help" or "-H", exactly.
bool IsHelpWord(std::string_view arg);

// "--version", exactly: as the first argument, the tool prints only
// VersionLine() and exits 0, whatever follows, touching no file.
bool IsVersionWord(std::string_view arg);

// None, one, two or five arguments (the program name not counted).
bool IsAcceptedArgumentCount(size_t count);
}  // namespace vux
