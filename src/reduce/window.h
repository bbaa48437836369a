#pragma once
// Window processing: the time-domain pass over each window (column
// variables, user equations, normalisation, the preparation of FFT-type
// columns: mean removal and division factor), the running statistics, and
// the means after the last window.

#include <cstdint>
#include <vector>

#include "core/model.h"

namespace vux {
// Window processing's working state for one run, made once before the
// first window.
struct WindowWork {
    VarTable vars;                        // the run's variables, as the windows change them
    int32_t windowPosition = 0;           // what the keyword "count" yields
    std::vector<int32_t> mode0Equations;  // indices into RunConfig::equations, list order
    std::vector<int32_t> mode1Equations;
    std::vector<int32_t> everySampleColumns;  // table order
};

// Copies the configuration's variables, sorts the equations by mode and
// lists the every-sample columns.
WindowWork MakeWindowWork(const RunConfig& config);

// Gives every column its samples array and zeroed statistics in `result`.
// Once-per-window columns start with 2 x estimatedWindows zeros (at most
// 2^17; the reader grows them); every-sample columns get WINDOW_SIZE zeros;
// columns read neither way get no array.
void PrepareColumns(const RunConfig& config, int32_t estimatedWindows, ReduceResult& result);

// Reduces window m of n samples (n even, at least 2) in result.samples:
// column variables, mode-0 equations, each column's operation in table order
// (an FFT-type column: mean = x_i / n + mean in sample order, kept as its
// mean, x_i -= mean, then per sample the mode-1 equations with "count" = i,
// x_i /= divisionFactor and the column's variable set to x_i), then the
// statistics. An FFT-type column read once per window throws
// FftOncePerWindow. Allocates nothing.
void ProcessWindow(const RunConfig& config, WindowWork& work, ReduceResult& result, int32_t m, int32_t n);

// The time of window m's first row: the first column's value in that row,
// which is element 0 of its samples when it is read every sample and element
// m when it is read once per window (0.0 for a column with no array). This
// stamps the extremes of once-per-window columns.
double WindowStartTime(Sampling firstSampling, const std::vector<double>& first, size_t m);

// Turns the running sums of normalised columns into means over m windows
// (m = 0 gives NaN or infinity, like any division by zero).
void FinishMeans(const RunConfig& config, ReduceResult& result, int32_t m);

// Value of element i of `values`, or 0.0 past its end.
inline double ElementOrZero(const std::vector<double>& values, size_t i) {
    return i < values.size() ? values[i] : 0.0;
}
}  // namespace vux
