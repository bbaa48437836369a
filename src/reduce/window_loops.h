#pragma once
// The element loops of the time-domain pass over a window: the running
// extremes of a column, the window means of FFT-type columns, and their mean
// removal and division. Each gives the bits of the plain loop over the
// samples in order that its comment states, on any processor.

#include <cstddef>
#include <cstdint>

#include "core/model.h"

namespace vux {
// Runs, for i = 0 .. count-1 in order,
//   if (x[i] > max) { max = x[i]; timeOfMax = t(i); }
//   if (x[i] < min) { min = x[i]; timeOfMin = t(i); }
// on `stats`, where t(i) = stamps[i] for i < stamped and 0.0 past it. The
// first of equal values keeps its place (-0.0 == +0.0 too), and a NaN never
// becomes an extreme.
void TrackExtremes(ColumnStats& stats, const double* x, size_t count, const double* stamps, size_t stamped);

// means[k] = the window mean of columns[k] for k < count: starting from 0.0,
// mean = x[i] / n + mean for i = 0 .. n-1, in that order. The columns' sums
// run side by side, which hides the latency of each one's additions.
void WindowMeans(const double* const* columns, size_t count, int32_t n, double* means);

// x[i] = (x[i] - mean) / divisor for i < count.
void RemoveMeanAndDivide(double* x, size_t count, double mean, double divisor);
}  // namespace vux
