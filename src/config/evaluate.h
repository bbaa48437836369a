#pragma once
// Configuration evaluation: turns the open configuration file into the run state.

#include <cstdio>

#include "config/run_state.h"

namespace vux {

// Reads the file to its "#ENDCFG" (or its end), filling `state`; closes the
// file. Prints "Evaluating config file and populating data fields....", the
// section messages and "\nConfig file processing complete!\n\n".
void EvaluateConfig(std::FILE* cfg, RunState& state);

// Refuses settings that later stages cannot work with (WINDOW_SIZE below 2 or
// so large that its arrays would need more than the machine's physical
// memory, SAMPLE_FREQ below 1, an FFT-type column without a window function):
// stops the run with a clear message and status -1.
void ValidateRunSettings(const RunState& state);

}  // namespace vux
