#pragma once
// Window processing: the per-window reduction of every column (column
// variables, user equations, normalisation, statistics), the means after the
// last window, and the smoothing of the progress line figures.

#include <cstdint>
#include <vector>

#include "config/run_state.h"

namespace vux {

// Per-run values of window processing, made once before the first window.
struct WindowContext {
    int32_t windowPosition = 0;           // what the keyword "count" yields
    std::vector<int32_t> mode0Equations;  // indices into RunState::equations, list order
    std::vector<int32_t> mode1Equations;
    std::vector<int32_t> everySampleColumns;  // multPerWindow 1, table order
};

// Sorts the equations by mode and lists the every-sample columns.
WindowContext MakeWindowContext(const RunState& state);

// Gives every column its `samples` array and zeroes its statistics.
// Once-per-window columns (multPerWindow 0) start with 2 x estimatedWindows
// zeros (the reader grows them); every-sample columns (multPerWindow 1) get
// WINDOW_SIZE zeros; columns with any other multPerWindow get no array.
void PrepareColumns(RunState& state, int32_t estimatedWindows);

// Runs the per-sample (mode 1) equations for sample i, in list order: before
// each one, every every-sample column's variable is set to element i of its
// `samples` (its present content). Evaluations see ctx.windowPosition.
void RunSampleEquations(RunState& state, WindowContext& ctx, int32_t i);

// Reduces window m of n samples (n even, at least 2): column variables,
// mode-0 equations, each column's operation in table order (FFT-type columns
// get their time-domain preparation), then the statistics. An FFT-type column
// read once per window stops the run (status -1). Leaves ctx.windowPosition
// where the last per-sample loop left it; the caller resets it to 0.
void ProcessWindow(RunState& state, WindowContext& ctx, int32_t m, int32_t n);

// The time of window m's first row: the first column's value in that row,
// which is element 0 of its samples when it is read every sample and element
// m when it is read once per window (0.0 for a column with no array). This
// stamps the extremes of once-per-window columns.
double WindowStartTime(const ColumnDef& first, size_t m);

// The median of the steps between consecutive values among the first n of
// `values` (n - 1 steps; the upper median of an even count); steps that are
// not finite are left out. NaN when no step is left. Allocates one array of
// n doubles: meant for one window, not per window.
double MedianStep(const std::vector<double>& values, int32_t n);

// Turns the running sums of normalised columns into means over m windows
// (m = 0 gives NaN or infinity, like any division by zero).
void FinishMeans(RunState& state, int32_t m);

// Value of element i of `values`, or 0.0 past its end.
inline double ElementOrZero(const std::vector<double>& values, size_t i) {
    return i < values.size() ? values[i] : 0.0;
}

// Smoothed figures of the progress line.
struct ProgressFigures {
    double windowTime = 0.0;  // T, seconds per window
    double byteRate = 0.0;    // R, bytes per second
};

// Updates T and R after window n (1 for the first) that took e seconds and
// consumed b bytes: windows 1 to 4 take the raw figures, later windows blend
// 2 % of the new window into T, then into R using the new T.
void UpdateProgress(ProgressFigures& figures, int32_t n, double e, double b);

}  // namespace vux
