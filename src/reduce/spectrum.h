#pragma once
// Spectral processing of FFT-type columns: the window-function tables, the
// time-domain preparation of a window (mean removal, division factor), the
// single-precision real FFT of each window and the one-sided power spectral
// density accumulated over all windows.
//
// Scaling: spectrum[0] += |X0|^2 / D and spectrum[k] += 2 |Xk|^2 / D for
// 1 <= k <= N/2 (the Nyquist bin doubled as well), D = N x SAMPLE_FREQ; no
// correction for the window function's power. Bin k stands for
// k x SAMPLE_FREQ / WINDOW_SIZE.

#include <cstdint>
#include <memory>
#include <vector>

#include "config/run_state.h"
#include "reduce/window.h"

namespace vux {

// A forward real transform of one length with its buffers.
struct FftPlan;
struct FftPlanDeleter {
    void operator()(FftPlan* plan) const;
};
using FftPlanPtr = std::unique_ptr<FftPlan, FftPlanDeleter>;

// Forward real transform of n points; null when the library refuses the
// length (an odd n: the library prints its own message on standard error).
FftPlanPtr MakeFftPlan(int32_t n);

struct SpectralTables {
    std::vector<double> windowTable;       // window function at 0 .. WINDOW_SIZE - 1
    FftPlanPtr fullPlan;                   // WINDOW_SIZE points; null for an odd size
    std::vector<double> shortWindowTable;  // the latest short window's table
    FftPlanPtr shortPlan;                  // the latest short window's transform
    std::vector<int32_t> lineCountVars;    // VarTable entries named "LINE_COUNT"
    std::vector<int32_t> transformColumns; // FFT-type columns read every sample
};

// Prints "Generating window function......", fills the window table (input k
// and "count" k; 1.0 everywhere when no window function is configured),
// prints "done!\n", sets up the full-length transform and gives every
// FFT-type column zeroed `power` and `spectrum` arrays of WINDOW_SIZE values.
SpectralTables BuildSpectralTables(RunState& state);

// Time-domain preparation of FFT-type column `column` for a window of n
// samples: mean = x_i / n + mean in sample order (kept in the column's
// `mean`), x_i -= mean, then per sample the mode-1 equations (with "count" =
// i), x_i /= divisionFactor and the column's variable set to x_i. Leaves
// ctx.windowPosition at n.
void PrepareFftColumn(RunState& state, WindowContext& ctx, int32_t column, int32_t n);

// Transform stage for a window of n samples (n even): a window shorter than
// WINDOW_SIZE gets its own table from the short window function (LINE_COUNT
// set to n while it is filled, then back to WINDOW_SIZE) and its own
// transform. Every FFT-type column read every sample is multiplied by the
// table in place, transformed, and its scaled power added to `spectrum`.
void TransformWindow(RunState& state, SpectralTables& tables, WindowContext& ctx, int32_t n);

// Divides elements 0 .. WINDOW_SIZE/2 of every FFT-type column's `spectrum`
// by m, the number of processed windows.
void AverageSpectra(RunState& state, int32_t m);

}  // namespace vux
