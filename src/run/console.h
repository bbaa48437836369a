#pragma once
// Every text the run shows: the console transcript on standard output (banner,
// usage, the steps of each stage, the progress line, the summary), the
// message of each way a run stops, and the warnings on the error stream.
// Lower layers return facts or throw Error; only this unit words them.

#include <string>

#include "core/error.h"

namespace vux {

inline constexpr const char* kBanner =
    "\nVUX Data Processor --- OLVA KTR --- Marrowgate Field --- 2015\n\n";

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

}  // namespace vux
