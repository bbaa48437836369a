#pragma once
// The closing summary of a run on the console.

#include "config/run_state.h"
#include "run/clock.h"

// Prints processing time (from `readStart`), data duration, each column's
// extremes with their times (and the mean of once-per-window columns), and the
// hint on viewing the plots.
void PrintSummary(const RunState& state, RunClock::time_point readStart);
