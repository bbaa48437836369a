#pragma once
// Result export: one vector per configured column into the output MAT-file.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/model.h"
#include "output/output_set.h"

namespace vux {
// What is exported for column `c`: the array read from index 0 and the
// number of values (by ExportKindOf: WINDOW_SIZE/2 for "_rot" and "_pwr",
// the processed window count for "_act", WINDOW_SIZE for "_out"; never
// below 0). A column the result holds no array for exports an empty one.
struct ExportChoice {
    std::string name;                   // ExportName of the column
    const std::vector<double>* values;  // its rotated, density or samples array
    int32_t count;
};
ExportChoice ChooseExport(const RunConfig& config, const ReduceResult& result, size_t c);

// Writes every column's vector, in column order, to the MAT-file's scratch
// file, complete and synced, and adds it to `outputs`: the output path gets
// it at outputs.Commit(). Positions past the end of a column's array are
// written as 0.0. A file that cannot be written throws (MatCreate,
// MatDirectory, MatWrite) and leaves the path as it was. Returns the
// MAT-file's content digest (XXH3-128, as xxh128sum prints it).
std::array<uint8_t, 16> ExportResults(const RunConfig& config, const ReduceResult& result, OutputSet& outputs);
}  // namespace vux
