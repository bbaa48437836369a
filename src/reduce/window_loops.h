#pragma once
// The element loops of the time-domain pass over a window: the running
// extremes of a column, and the mean removal and division of FFT-type
// columns. Each gives the bits of the plain loop over the samples in order
// that its comment states, on any processor.

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

// x[i] = (x[i] - mean) / divisor for i < count.
void RemoveMeanAndDivide(double* x, size_t count, double mean, double divisor);
}  // namespace vux
