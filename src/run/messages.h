#pragma once
// The words of each way a run stops: Error's kinds and facts become the
// message the run prints. Lower layers never word an error.

#include <string>

#include "core/error.h"

namespace vux {
// Printed for a help word and for an argument count the tool does not accept.
inline constexpr const char* kUsageText =
    "\nUnexpected number of arguments\n"
    "Expected usages:\n\n"
    " vux_reader <input filename>\n"
    " vux_reader <input filename> <output filename>\n"
    " vux_reader <input> <output> <X> <Y> <Z>\n";

// "vux_reader <project version>\n".
const char* VersionLine();

// The text printed to standard output, exactly as given, when `error` stops
// the run.
std::string Message(const Error& error);

// The system's wording for an errno value ("No such file or directory").
std::string SystemReason(int err);
}  // namespace vux
