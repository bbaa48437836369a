#pragma once
// Spectral processing of FFT-type columns: the window-function tables, the
// single-precision real FFT of each prepared window (window processing has
// removed the mean and applied the division factor) and the one-sided power
// spectral density accumulated over all windows.
//
// Scaling: spectrum[0] += |X0|^2 / D and spectrum[k] += 2 |Xk|^2 / D for
// 1 <= k <= N/2 (the Nyquist bin doubled as well), D = N x SAMPLE_FREQ; no
// correction for the window function's power. Bin k stands for
// k x SAMPLE_FREQ / WINDOW_SIZE.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/model.h"

namespace vux {
// A forward real transform of one length with its buffers.
struct FftPlan;
struct FftPlanDeleter {
    void operator()(FftPlan* plan) const;
};
using FftPlanPtr = std::unique_ptr<FftPlan, FftPlanDeleter>;

// Forward real transform of n points; null for an odd or non-positive n
// (which the library's real transform does not take) or when the library
// refuses the length.
FftPlanPtr MakeFftPlan(int32_t n);

struct SpectralTables {
    std::vector<double> windowTable;       // window function at 0 .. WINDOW_SIZE - 1
    FftPlanPtr fullPlan;                   // WINDOW_SIZE points; null for an odd size
    std::vector<double> shortWindowTable;  // the latest short window's table
    FftPlanPtr shortPlan;                  // the latest short window's transform
    std::vector<int32_t> lineCountVars;    // VarTable entries named "LINE_COUNT"
    std::vector<int32_t> transformColumns; // FFT-type columns read every sample
};

// Fills the window table (input k and "count" k, evaluated with `vars`; 1.0
// everywhere when no window function is configured), sets up the
// full-length transform and gives every FFT-type column zeroed power and
// density arrays of WINDOW_SIZE values in `spectra` (one entry per column).
SpectralTables BuildSpectralTables(const RunConfig& config, VarTable& vars, std::vector<Spectrum>& spectra);

// Transform stage for a window of n samples (n even): a window shorter than
// WINDOW_SIZE gets its own table from the short window function (LINE_COUNT
// set to n in `vars` while it is filled, then back to WINDOW_SIZE) and its
// own transform. Every FFT-type column read every sample is multiplied by
// the table in place in `samples`, transformed, and its scaled power added
// to its density. Allocates nothing for a window of WINDOW_SIZE samples.
void TransformWindow(const RunConfig& config, SpectralTables& tables, VarTable& vars,
                     std::vector<std::vector<double>>& samples, std::vector<Spectrum>& spectra, int32_t n);

// The pieces of TransformWindow, for a window loop that transforms on other
// threads; in that order they give TransformWindow's bits.
//
// The table for a window of n samples (the window loop's thread: a short
// window's table is built as TransformWindow builds it, with `vars`).
const std::vector<double>& WindowTableFor(const RunConfig& config, SpectralTables& tables, VarTable& vars, int32_t n);
// x[i] = x[i] * table[i] in place for 0 <= i < n, and its single-precision
// copy in `in`.
void ApplyWindow(double* x, const double* table, float* in, int32_t n);
// The transform of the plan's n points `in` and power[k] = |Xk|^2 for
// 0 <= k <= n/2. Touches only `in`, `power` and the plan (its buffers are
// scratch): any thread, one plan per thread at a time.
void TransformPower(FftPlan& plan, const float* in, double* power);
int32_t FftPlanLength(const FftPlan& plan);
// density[0] += power[0] / D and density[k] += (power[k] x 2) / D for
// 1 <= k <= n/2, D = n x sampleFreq.
void AddDensity(const double* power, double* density, int32_t n, int32_t sampleFreq);

// Divides elements 0 .. WINDOW_SIZE/2 of every FFT-type column's density by
// m, the number of processed windows.
void AverageSpectra(const RunConfig& config, std::vector<Spectrum>& spectra, int32_t m);
}  // namespace vux
