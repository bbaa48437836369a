#pragma once
// Warnings on the error stream: facts of the configuration, the data file
// and the environment that stop nothing. Each line starts
// "vux_reader: warning: ".

#include <string>
#include <vector>

#include "core/model.h"
#include "reduce/reduce_data.h"
#include "reduce/thread_count.h"

namespace vux {
inline constexpr const char* kWarning = "vux_reader: warning: ";

// Warnings about the evaluated configuration, in this order: names an
// expression reads that nothing sets, then columns whose exported vector
// name MATLAB cannot load. Each line starts "vux_reader: warning: " and has
// no line end.
std::vector<std::string> ConfigurationWarnings(const RunConfig& config);

// Warnings about the data file after the window loop, in this order: lines
// skipped for being longer than the row limit, short rows, fields that are not numbers (column order), a first-column time step
// that differs from 1 / SAMPLE_FREQ by more than 1 %, a WINDOW_SIZE larger
// than the file's rows, and a file in which no window was processed (the
// WINDOW_SIZE line is left out then: this one says more).
std::vector<std::string> DataWarnings(const RunConfig& config, const ReduceResult& result);

// The warning when VUX_THREADS (`override`, may be null) was given but
// ignored, as ChooseThreads tells in `choice`; none otherwise. The line starts
// "vux_reader: warning: " and has no line end.
std::vector<std::string> ThreadWarnings(const char* override, const ThreadChoice& choice);

// Writes `lines` to the error stream, one per line, after flushing standard
// output. When both streams are terminals and `consoleLineOpen` (standard
// output's last line is unfinished), a line break comes first.
void PrintWarnings(const std::vector<std::string>& lines, bool consoleLineOpen);
}  // namespace vux
