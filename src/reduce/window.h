#pragma once
// Window processing: the time-domain pass over each window (column
// variables, user equations, normalisation, the preparation of FFT-type
// columns: mean removal and division factor), the running statistics, and
// the means after the last window.

#include <cstdint>
#include <vector>

#include "core/model.h"
#include "expr/block_eval.h"

namespace vux {
// How the per-sample (mode 1) equations run while an every-sample column is
// processed. Before each equation for sample i, every every-sample column's
// variable is set to element i of its samples. When, besides, no equation
// reads another variable that no earlier equation in the list writes but the
// same or a later one does (a value the previous sample left), the equations
// of sample i depend on sample i alone ("independent"). Then:
// - an FFT-type column's samples do not depend on the equations, and all
//   they leave in the variables is what its last sample leaves: only that
//   sample runs them;
// - a normalised column's equation reads what they leave for every sample:
//   the equations and it run over the samples' arrays, a block at a time,
//   when every expression fits block evaluation and the column's equation
//   stores its result in an every-sample column's variable ("overArrays").
//   A block with a NaN result runs one sample at a time again, for the
//   evaluator's NaN bits; the window's last sample always runs one at a
//   time, and leaves the variables.
// Either way the arrays, statistics and variables get the bits of every
// sample run one at a time. Sized before the first window.
struct SampleEquationPlan {
    bool independent = false;  // false: every sample runs the equations, one at a time
    bool overArrays = false;   // only when independent
    // Per variable: the every-sample column whose sample it holds while the
    // equations run (the last in table order of those naming it), else -1.
    std::vector<int32_t> columnOfVar;
    // Per variable: the array its values come from in the block being
    // evaluated, null for its one value.
    std::vector<const double*> varArrays;
    std::vector<double> results;     // kExprBlock per mode-1 equation, list order
    std::vector<double> normalised;  // kExprBlock: a normalised column's results
    ExprBlockStack stack;
};

// Window processing's working state for one run, made once before the
// first window.
struct WindowWork {
    VarTable vars;                        // the run's variables, as the windows change them
    int32_t windowPosition = 0;           // what the keyword "count" yields
    std::vector<int32_t> mode0Equations;  // indices into RunConfig::equations, list order
    std::vector<int32_t> mode1Equations;
    std::vector<int32_t> everySampleColumns;  // table order
    SampleEquationPlan sampleEquations;
    // The FFT-type every-sample columns (table order), and room for their
    // samples and window means, summed before the columns are processed.
    std::vector<int32_t> fftColumns;
    std::vector<const double*> fftSamples;
    std::vector<double> fftMeans;
};

// Copies the configuration's variables, sorts the equations by mode, lists
// the every-sample columns and plans the per-sample equations.
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
// FftOncePerWindow. The per-sample equations run as work.sampleEquations
// plans (a normalised column's over arrays only when every every-sample
// column has n samples); the results are the same as one sample at a time.
// Allocates nothing.
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
