#pragma once
// The MATLAB plot script "vuxplots.m", written beside the output MAT-file.

#include "config/run_state.h"

// Writes the script, printing "\nCreating MATLAB autodisplay script..." and
// "done! (took %f seconds)".
void WritePlotScript(const RunState& state);
