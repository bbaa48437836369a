#pragma once
// The command line: banner, help words, accepted argument counts, usage text
// and the file-name check.

#include <string>
#include <string_view>

inline constexpr const char* kBanner =
    "\nVUX Data Processor --- OLVA KTR --- Marrowgate Field --- 2015\n\n";

// Printed for a help word and for an argument count the tool does not accept.
inline constexpr const char* kUsageText =
    "\nUnexpected number of arguments\n"
    "Expected usages:\n\n"
    " vux_reader <input filename>\n"
    " vux_reader <input filename> <output filename>\n"
    " vux_reader <input> <output> <X> <Y> <Z>\n";

// "help", "HELP", "-- help", "--help", "-h", "-help" or "-H", exactly.
bool IsHelpWord(std::string_view arg);

// "--version", exactly: as the first argument, the tool prints only
// VersionLine() and exits 0, whatever follows, touching no file.
bool IsVersionWord(std::string_view arg);

// "vux_reader <project version>\n".
const char* VersionLine();

// None, one, two or five arguments (the program name not counted).
bool IsAcceptedArgumentCount(size_t count);

// The part of `path` after its last directory separator ('\' or '/'); the
// whole path when it has none. Empty for "" and for a path ending in a separator.
std::string FileNamePart(std::string_view path);
