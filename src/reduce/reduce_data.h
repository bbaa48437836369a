#pragma once
// The data reduction of a run, from the input existence check to rotation.

#include <cstdint>

#include "config/run_state.h"
#include "reduce/data_reader.h"
#include "core/clock.h"

namespace vux {

struct ReduceOutcome {
    int32_t processedWindows = 0;     // windows processed (m)
    DataQuality quality;              // the reader's facts, with the first window's time step
    RunClock::time_point readStart{}; // taken after "Reading and processing data file......\n"
};

// Checks that the input exists (status 0 with "File %s does not exist\n" when
// not), opens and sizes the data file, prepares the column arrays, builds the
// window and FFT tables, sets up rotation, skips the header, pairs the
// headings, runs the window loop, post-processes and rotates, printing every
// console line of those steps. Leaves its results in the columns of `state`.
// Prints no data-quality warning: it returns the facts in `quality`.
// A data file whose size or modification time changed while it was read stops
// the run right after the window loop, before "Post-processing" (status -1,
// "\nData file <path> changed while it was read: ...\n").
ReduceOutcome ReduceDataFile(RunState& state);

}  // namespace vux
