#pragma once
// The closing summary of a run on the console.

#include <string>

#include "config/run_state.h"
#include "core/clock.h"

namespace vux {

// The summary text for a run that took `processingSeconds` from the start of
// data reading: processing time, data duration (the first column's max, 0.0
// without columns), per column "Channel name (heading):" with Max and Min
// ("%.3f @ %.5f") and, for once-per-window columns, "Mean: %.3f ", then the
// hint on viewing the plots.
std::string SummaryText(const RunState& state, double processingSeconds);

// Prints SummaryText with the seconds elapsed since `readStart`. The caller
// flushes standard output (the run does so last, to learn whether the console
// took everything).
void PrintSummary(const RunState& state, RunClock::time_point readStart);

}  // namespace vux
