#pragma once
// Result export: one vector per configured column into the output MAT-file.

#include <cstdint>

#include "config/run_state.h"

// Writes every column's vector ("_rot", "_pwr", "_act" or "_out") to the
// output path in column order, printing "\nWriting data to matlab file..."
// and "done! (took %f seconds)".
void ExportResults(const RunState& state, int32_t processedWindows);
