#include "reduce/window.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "expr/compiled_expr.h"
#include "reduce/spectrum.h"
#include "core/error.h"

namespace vux {

WindowContext MakeWindowContext(const RunState& state) {
    WindowContext ctx;
    for (size_t e = 0; e < state.equations.size(); ++e) {
        if (state.equations[e].mode == 0) {
            ctx.mode0Equations.push_back(static_cast<int32_t>(e));
        } else if (state.equations[e].mode == 1) {
            ctx.mode1Equations.push_back(static_cast<int32_t>(e));
        }
    }
    for (size_t c = 0; c < state.columns.size(); ++c) {
        if (state.columns[c].multPerWindow == 1) ctx.everySampleColumns.push_back(static_cast<int32_t>(c));
    }
    return ctx;
}

void PrepareColumns(RunState& state, int32_t estimatedWindows) {
    // Room for twice the estimated windows to start with, but no more than
    // about 1 MiB per column: the reader grows the arrays as windows come, so
    // a tiny WINDOW_SIZE on a huge file does not reserve gigabytes up front.
    constexpr size_t kFirstReservationLimit = size_t{1} << 17;
    const size_t perWindow =
        estimatedWindows > 0 ? std::min(2 * static_cast<size_t>(estimatedWindows), kFirstReservationLimit) : 0;
    const size_t everySample = state.settings.windowSize > 0 ? static_cast<size_t>(state.settings.windowSize) : 0;
    for (ColumnDef& c : state.columns) {
        if (c.multPerWindow == 0) {
            c.samples.assign(perWindow, 0.0);
        } else if (c.multPerWindow == 1) {
            c.samples.assign(everySample, 0.0);
        } else {
            c.samples.clear();
        }
        c.timeOfMax = 0.0;
        c.max = 0.0;
        c.timeOfMin = 0.0;
        c.min = 0.0;
        c.mean = 0.0;
    }
}

void RunSampleEquations(RunState& state, WindowContext& ctx, int32_t i) {
    auto& vars = state.vars.entries;
    for (int32_t e : ctx.mode1Equations) {
        for (int32_t c : ctx.everySampleColumns) {
            const ColumnDef& col = state.columns[c];
            if (col.varIndex >= 0) vars[col.varIndex].value = ElementOrZero(col.samples, static_cast<size_t>(i));
        }
        EvaluateExpr(state.equations[e], 0.0, state.vars, ctx.windowPosition);
    }
}

namespace {

// Makes sure element `count - 1` exists (hand-built or short arrays).
void EnsureSize(std::vector<double>& values, size_t count) {
    if (values.size() < count) values.resize(count, 0.0);
}

// Normalises the n samples of an every-sample column in place and adds each
// result / n to the column's running mean.
void NormaliseSamples(RunState& state, WindowContext& ctx, ColumnDef& col, int32_t n) {
    EnsureSize(col.samples, static_cast<size_t>(n));
    const bool sampleEquations = !ctx.mode1Equations.empty();
    const double dn = static_cast<double>(n);
    double* x = col.samples.data();
    for (int32_t i = 0; i < n; ++i) {
        ctx.windowPosition = i;
        if (sampleEquations) RunSampleEquations(state, ctx, i);
        const double r = EvaluateExpr(col.normExpr, x[i], state.vars, ctx.windowPosition);
        x[i] = r;
        col.mean = r / dn + col.mean;
    }
    ctx.windowPosition = n;
}

// Keeps the running extremes of one column over the window's values. Strict
// comparisons: the first of equal values keeps its time stamp, and a NaN
// never replaces an extreme. `windowStamp` is the time of the window's first
// row, the row a once-per-window value comes from.
void UpdateStatistics(ColumnDef& col, const std::vector<double>& stamps, double windowStamp, size_t m, int32_t n) {
    double hi = col.max;
    double lo = col.min;
    double tHi = col.timeOfMax;
    double tLo = col.timeOfMin;
    if (col.multPerWindow == 0) {
        const double v = ElementOrZero(col.samples, m);
        const double t = windowStamp;
        if (v > hi) { hi = v; tHi = t; }
        if (v < lo) { lo = v; tLo = t; }
    } else {
        const size_t count = static_cast<size_t>(n);
        const double* x = col.samples.data();
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
    col.max = hi;
    col.min = lo;
    col.timeOfMax = tHi;
    col.timeOfMin = tLo;
}

}  // namespace

void ProcessWindow(RunState& state, WindowContext& ctx, int32_t m, int32_t n) {
    auto& columns = state.columns;
    auto& vars = state.vars.entries;
    const size_t mi = static_cast<size_t>(m);

    // Every column's variable starts the window at its raw value: the
    // window's value of a once-per-window column, the first sample otherwise.
    for (const ColumnDef& col : columns) {
        if (col.varIndex < 0) continue;
        if (col.multPerWindow == 0) {
            vars[col.varIndex].value = ElementOrZero(col.samples, mi);
        } else if (col.multPerWindow == 1) {
            vars[col.varIndex].value = ElementOrZero(col.samples, 0);
        }
    }

    for (int32_t e : ctx.mode0Equations) {
        EvaluateExpr(state.equations[e], 0.0, state.vars, ctx.windowPosition);
    }

    for (size_t c = 0; c < columns.size(); ++c) {
        ColumnDef& col = columns[c];
        if (col.multPerWindow == 0) {
            if (col.operationType == 1) {
                EnsureSize(col.samples, mi + 1);
                const double r = EvaluateExpr(col.normExpr, col.samples[mi], state.vars, ctx.windowPosition);
                col.samples[mi] = r;
                col.mean = col.mean + r;
            } else if (col.operationType == 2) {
                Error error;
                error.kind = ErrorKind::FftOncePerWindow;
                error.name = col.name;
                Fail(std::move(error));
            }
        } else if (col.multPerWindow == 1) {
            if (col.operationType == 1) {
                NormaliseSamples(state, ctx, col, n);
            } else if (col.operationType == 2) {
                EnsureSize(col.samples, static_cast<size_t>(n));
                PrepareFftColumn(state, ctx, static_cast<int32_t>(c), n);
            }
        }
    }

    if (columns.empty()) return;
    const std::vector<double>& stamps = columns[0].samples;
    const double windowStamp = WindowStartTime(columns[0], mi);
    for (ColumnDef& col : columns) {
        if (col.multPerWindow != 0 && col.multPerWindow != 1) continue;
        if (m == 0) {
            col.max = ElementOrZero(col.samples, 0);
            col.min = col.max;
            col.timeOfMax = ElementOrZero(stamps, 0);
            col.timeOfMin = col.timeOfMax;
        }
        UpdateStatistics(col, stamps, windowStamp, mi, n);
    }
}

double WindowStartTime(const ColumnDef& first, size_t m) {
    if (first.multPerWindow == 1) return ElementOrZero(first.samples, 0);
    if (first.multPerWindow == 0) return ElementOrZero(first.samples, m);
    return 0.0;
}

double MedianStep(const std::vector<double>& values, int32_t n) {
    const size_t count = std::min(values.size(), static_cast<size_t>(std::max(n, 0)));
    std::vector<double> steps;
    steps.reserve(count);
    for (size_t i = 1; i < count; ++i) {
        const double step = values[i] - values[i - 1];
        if (std::isfinite(step)) steps.push_back(step);
    }
    if (steps.empty()) return std::numeric_limits<double>::quiet_NaN();
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return *middle;
}

void FinishMeans(RunState& state, int32_t m) {
    const double windows = static_cast<double>(m);
    for (ColumnDef& col : state.columns) {
        if (col.operationType == 1 && (col.multPerWindow == 0 || col.multPerWindow == 1)) {
            col.mean = col.mean / windows;
        }
    }
}

void UpdateProgress(ProgressFigures& figures, int32_t n, double e, double b) {
    if (n < 5) {
        figures.windowTime = e;
        figures.byteRate = b / e;
    } else {
        figures.windowTime = 0.98 * figures.windowTime + 0.02 * e;
        figures.byteRate = 0.98 * figures.byteRate + 0.02 * (b / figures.windowTime);
    }
}

}  // namespace vux
