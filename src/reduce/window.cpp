#include "reduce/window.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/error.h"
#include "expr/compiled_expr.h"

namespace vux {
WindowWork MakeWindowWork(const RunConfig& config) {
    WindowWork work;
    work.vars = config.vars;
    for (size_t e = 0; e < config.equations.size(); ++e) {
        if (config.equations[e].mode == 0) {
            work.mode0Equations.push_back(static_cast<int32_t>(e));
        } else if (config.equations[e].mode == 1) {
            work.mode1Equations.push_back(static_cast<int32_t>(e));
        }
    }
    for (size_t c = 0; c < config.columns.size(); ++c) {
        if (IsEverySample(config.columns[c].sampling)) work.everySampleColumns.push_back(static_cast<int32_t>(c));
    }
    return work;
}

void PrepareColumns(const RunConfig& config, int32_t estimatedWindows, ReduceResult& result) {
    // Room for twice the estimated windows to start with, but no more than
    // about 1 MiB per column: the reader grows the arrays as windows come, so
    // a tiny WINDOW_SIZE on a huge file does not reserve gigabytes up front.
    constexpr size_t kFirstReservationLimit = size_t{1} << 17;
    const size_t perWindow =
        estimatedWindows > 0 ? std::min(2 * static_cast<size_t>(estimatedWindows), kFirstReservationLimit) : 0;
    const size_t everySample = config.settings.windowSize > 0 ? static_cast<size_t>(config.settings.windowSize) : 0;
    const size_t count = config.columns.size();
    result.samples.assign(count, {});
    result.stats.assign(count, ColumnStats{});
    for (size_t c = 0; c < count; ++c) {
        const Sampling sampling = config.columns[c].sampling;
        if (IsOncePerWindow(sampling)) result.samples[c].assign(perWindow, 0.0);
        if (IsEverySample(sampling)) result.samples[c].assign(everySample, 0.0);
    }
}

namespace {

// Runs the per-sample (mode 1) equations for sample i, in list order: before
// each one, every every-sample column's variable is set to element i of its
// samples (its present content). Evaluations see work.windowPosition.
void RunSampleEquations(const RunConfig& config, WindowWork& work, const ReduceResult& result, int32_t i) {
    auto& vars = work.vars.entries;
    for (int32_t e : work.mode1Equations) {
        for (int32_t c : work.everySampleColumns) {
            const int32_t var = config.columns[c].varIndex;
            if (var >= 0) vars[var].value = ElementOrZero(result.samples[c], static_cast<size_t>(i));
        }
        EvaluateExpr(config.equations[e], 0.0, work.vars, work.windowPosition);
    }
}

// Makes sure element `count - 1` exists.
void EnsureSize(std::vector<double>& values, size_t count) {
    if (values.size() < count) values.resize(count, 0.0);
}

// Normalises the n samples of every-sample column c in place and adds each
// result / n to the column's running mean.
void NormaliseSamples(const RunConfig& config, WindowWork& work, ReduceResult& result, size_t c, int32_t n) {
    const ColumnSpec& col = config.columns[c];
    std::vector<double>& samples = result.samples[c];
    EnsureSize(samples, static_cast<size_t>(n));
    double& mean = result.stats[c].mean;
    const bool sampleEquations = !work.mode1Equations.empty();
    const double dn = static_cast<double>(n);
    double* x = samples.data();
    for (int32_t i = 0; i < n; ++i) {
        work.windowPosition = i;
        if (sampleEquations) RunSampleEquations(config, work, result, i);
        const double r = EvaluateExpr(col.normExpr, x[i], work.vars, work.windowPosition);
        x[i] = r;
        mean = r / dn + mean;
    }
    work.windowPosition = n;
}

// Time-domain preparation of FFT-type column c for a window of n samples.
void PrepareFftColumn(const RunConfig& config, WindowWork& work, ReduceResult& result, size_t c, int32_t n) {
    const ColumnSpec& col = config.columns[c];
    EnsureSize(result.samples[c], static_cast<size_t>(n));
    double* x = result.samples[c].data();
    const double dn = static_cast<double>(n);
    auto& vars = work.vars.entries;

    double mean = 0.0;
    for (int32_t i = 0; i < n; ++i) mean = x[i] / dn + mean;
    result.stats[c].mean = mean;

    const double divisor = col.divisionFactor;
    if (work.mode1Equations.empty()) {
        for (int32_t i = 0; i < n; ++i) x[i] = (x[i] - mean) / divisor;
        if (col.varIndex >= 0 && n > 0) vars[col.varIndex].value = x[n - 1];
    } else {
        // The equations of sample i see element i after mean removal and
        // before the division.
        for (int32_t i = 0; i < n; ++i) {
            x[i] = x[i] - mean;
            work.windowPosition = i;
            RunSampleEquations(config, work, result, i);
            x[i] = x[i] / divisor;
            if (col.varIndex >= 0) vars[col.varIndex].value = x[i];
        }
    }
    work.windowPosition = n;
}

// Keeps the running extremes of one column over the window's values. Strict
// comparisons: the first of equal values keeps its time stamp, and a NaN
// never replaces an extreme. `windowStamp` is the time of the window's first
// row, the row a once-per-window value comes from.
void UpdateStatistics(ColumnStats& stats, Sampling sampling, const std::vector<double>& samples,
                      const std::vector<double>& stamps, double windowStamp, size_t m, int32_t n) {
    double hi = stats.max;
    double lo = stats.min;
    double tHi = stats.timeOfMax;
    double tLo = stats.timeOfMin;
    if (IsOncePerWindow(sampling)) {
        const double v = ElementOrZero(samples, m);
        const double t = windowStamp;
        if (v > hi) { hi = v; tHi = t; }
        if (v < lo) { lo = v; tLo = t; }
    } else {
        const size_t count = static_cast<size_t>(n);
        const double* x = samples.data();
        const size_t stamped = count < stamps.size() ? count : stamps.size();
        for (size_t i = 0; i < stamped; ++i) {
            const double v = x[i];
            if (v > hi) { hi = v; tHi = stamps[i]; }
            if (v < lo) { lo = v; tLo = stamps[i]; }
        }
        for (size_t i = stamped; i < count; ++i) {
            const double v = x[i];
            if (v > hi) { hi = v; tHi = 0.0; }
            if (v < lo) { lo = v; tLo = 0.0; }
        }
    }
    stats.max = hi;
    stats.min = lo;
    stats.timeOfMax = tHi;
    stats.timeOfMin = tLo;
}

}  // namespace

void ProcessWindow(const RunConfig& config, WindowWork& work, ReduceResult& result, int32_t m, int32_t n) {
    const auto& columns = config.columns;
    auto& vars = work.vars.entries;
    const size_t mi = static_cast<size_t>(m);

    // Every column's variable starts the window at its raw value: the
    // window's value of a once-per-window column, the first sample otherwise.
    for (size_t c = 0; c < columns.size(); ++c) {
        const ColumnSpec& col = columns[c];
        if (col.varIndex < 0) continue;
        if (IsOncePerWindow(col.sampling)) {
            vars[col.varIndex].value = ElementOrZero(result.samples[c], mi);
        } else if (IsEverySample(col.sampling)) {
            vars[col.varIndex].value = ElementOrZero(result.samples[c], 0);
        }
    }

    for (int32_t e : work.mode0Equations) {
        EvaluateExpr(config.equations[e], 0.0, work.vars, work.windowPosition);
    }

    for (size_t c = 0; c < columns.size(); ++c) {
        const ColumnSpec& col = columns[c];
        if (IsOncePerWindow(col.sampling)) {
            if (IsNormalised(col.operation)) {
                std::vector<double>& samples = result.samples[c];
                EnsureSize(samples, mi + 1);
                const double r = EvaluateExpr(col.normExpr, samples[mi], work.vars, work.windowPosition);
                samples[mi] = r;
                result.stats[c].mean = result.stats[c].mean + r;
            } else if (IsFftType(col.operation)) {
                Error error;
                error.kind = ErrorKind::FftOncePerWindow;
                error.name = col.name;
                Fail(std::move(error));
            }
        } else if (IsEverySample(col.sampling)) {
            if (IsNormalised(col.operation)) {
                NormaliseSamples(config, work, result, c, n);
            } else if (IsFftType(col.operation)) {
                PrepareFftColumn(config, work, result, c, n);
            }
        }
    }

    if (columns.empty()) return;
    const std::vector<double>& stamps = result.samples[0];
    const double windowStamp = WindowStartTime(columns[0].sampling, stamps, mi);
    for (size_t c = 0; c < columns.size(); ++c) {
        const Sampling sampling = columns[c].sampling;
        if (!IsRead(sampling)) continue;
        ColumnStats& stats = result.stats[c];
        if (m == 0) {
            stats.max = ElementOrZero(result.samples[c], 0);
            stats.min = stats.max;
            stats.timeOfMax = ElementOrZero(stamps, 0);
            stats.timeOfMin = stats.timeOfMax;
        }
        UpdateStatistics(stats, sampling, result.samples[c], stamps, windowStamp, mi, n);
    }
}

double WindowStartTime(Sampling firstSampling, const std::vector<double>& first, size_t m) {
    if (IsEverySample(firstSampling)) return ElementOrZero(first, 0);
    if (IsOncePerWindow(firstSampling)) return ElementOrZero(first, m);
    return 0.0;
}

void FinishMeans(const RunConfig& config, ReduceResult& result, int32_t m) {
    const double windows = static_cast<double>(m);
    for (size_t c = 0; c < config.columns.size(); ++c) {
        const ColumnSpec& col = config.columns[c];
        if (IsNormalised(col.operation) && IsRead(col.sampling)) result.stats[c].mean = result.stats[c].mean / windows;
    }
}
}  // namespace vux
