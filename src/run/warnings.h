#pragma once
// The warnings of a run: facts from the configuration checks and the data
// reduction, worded as lines of the error stream. They change no result,
// no output file, no standard output and no exit status.

#include <string>
#include <vector>

#include "config/run_state.h"
#include "reduce/reduce_data.h"

namespace vux {

// Lines about the evaluated configuration, in this order: names an
// expression reads that nothing sets, then columns whose exported vector
// name MATLAB cannot load. Each line starts "vux_reader: warning: " and has
// no line end.
std::vector<std::string> ConfigurationWarnings(const RunState& state);

// Lines about the data file after the window loop, in this order: short
// rows, fields that are not numbers (column order), a first-column time step
// that differs from 1 / SAMPLE_FREQ by more than 1 %, a WINDOW_SIZE larger
// than the file's rows, and a file in which no window was processed (the
// WINDOW_SIZE line is left out then: this one says more).
std::vector<std::string> DataWarnings(const RunState& state, const ReduceOutcome& outcome);

// Writes `lines` to the error stream, one per line, after flushing standard
// output so the two keep their order on a shared console. When both streams
// are terminals and `consoleLineOpen` (standard output's last line has no
// line end yet), a line break comes first so the warnings start on a line of
// their own.
void PrintWarnings(const std::vector<std::string>& lines, bool consoleLineOpen);

}  // namespace vux
