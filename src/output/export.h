#pragma once
// Result export: one vector per configured column into the output MAT-file.

#include <cstdint>
#include <string>
#include <vector>

#include "config/run_state.h"

namespace vux {

// The variable-name suffix of a column's exported vector, by the first rule
// that applies: "_rot" when the column is rotated, "_pwr" for an FFT-type
// column, "_act" for a once-per-window column with a normalisation equation,
// "_out" for any other column.
const char* ExportSuffix(const ColumnDef& column);

// What is exported for one column: the array read from index 0 and the number
// of values (WINDOW_SIZE/2 for "_rot" and "_pwr", the processed window count
// for "_act", WINDOW_SIZE for "_out"; never below 0).
struct ExportChoice {
    std::string name;                   // column name followed by the suffix
    const std::vector<double>* values;  // `rotated`, `spectrum` or `samples`
    int32_t count;
};
ExportChoice ChooseExport(const ColumnDef& column, int32_t windowSize, int32_t processedWindows);

// Writes every column's vector to the output path in column order, printing
// "\nWriting data to matlab file..." before and "done! (took %f seconds)"
// after the file is closed. Positions past the end of a column's array are
// written as 0.0 (a column with no samples array exports zeros). A file that
// cannot be written stops the run (status -1, see MatCreate) and "done!" is
// not printed.
void ExportResults(const RunState& state, int32_t processedWindows);

}  // namespace vux
