#include "output/export.h"

#include <algorithm>
#include <cstdio>

#include "output/mat_file.h"
#include "core/clock.h"

namespace vux {

const char* ExportSuffix(const ColumnDef& column) {
    if (column.rotationGroup != 0) {
        return "_rot";
    }
    if (column.operationType == 2) {
        return "_pwr";
    }
    if (column.operationType == 1 && column.multPerWindow == 0) {
        return "_act";
    }
    return "_out";
}

ExportChoice ChooseExport(const ColumnDef& column, int32_t windowSize, int32_t processedWindows) {
    const int32_t half = std::max(0, windowSize / 2);
    ExportChoice choice{column.name + ExportSuffix(column), &column.samples, 0};
    if (column.rotationGroup != 0) {
        choice.values = &column.rotated;
        choice.count = half;
    } else if (column.operationType == 2) {
        choice.values = &column.spectrum;
        choice.count = half;
    } else if (column.operationType == 1 && column.multPerWindow == 0) {
        choice.count = std::max(0, processedWindows);
    } else {
        choice.count = std::max(0, windowSize);
    }
    return choice;
}

void ExportResults(const RunState& state, int32_t processedWindows) {
    std::printf("\nWriting data to matlab file...");
    std::fflush(stdout);
    const RunClock::time_point start = RunClock::now();

    MatFile mat = MatCreate(state.settings.outputPath.value_or(""));
    std::vector<double> padded;
    for (const ColumnDef& column : state.columns) {
        const ExportChoice choice = ChooseExport(column, state.settings.windowSize, processedWindows);
        const std::vector<double>& array = *choice.values;
        const size_t count = static_cast<size_t>(choice.count);
        const double* data = array.data();
        if (array.size() < count) {
            // Never read past the array: the missing positions hold 0.0.
            padded.assign(count, 0.0);
            std::copy(array.begin(), array.end(), padded.begin());
            data = padded.data();
        }
        MatWriteVector(mat, data, choice.name.c_str(), choice.count);
    }
    MatClose(mat);

    std::printf("done! (took %f seconds)", SecondsSince(start));
}

}  // namespace vux
