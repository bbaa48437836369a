#include "reduce/window.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/error.h"
#include "expr/compiled_expr.h"
#include "reduce/window_loops.h"

namespace vux {
namespace {

// Plans how the per-sample equations run (see SampleEquationPlan) and sizes
// what running them over arrays needs.
void PlanSampleEquations(const RunConfig& config, WindowWork& work) {
    if (work.mode1Equations.empty()) return;
    const size_t varCount = work.vars.entries.size();
    std::vector<int32_t> columnOfVar(varCount, -1);
    for (int32_t c : work.everySampleColumns) {
        const int32_t v = config.columns[static_cast<size_t>(c)].varIndex;
        if (v < 0) continue;
        if (static_cast<size_t>(v) >= varCount) return;
        columnOfVar[static_cast<size_t>(v)] = c;
    }
    const auto isColumnVar = [&](int32_t v) { return columnOfVar[static_cast<size_t>(v)] >= 0; };
    const auto equation = [&](size_t k) -> const CompiledExpr& {
        return config.equations[static_cast<size_t>(work.mode1Equations[k])];
    };
    const size_t count = work.mode1Equations.size();
    for (size_t k = 0; k < count; ++k) {
        if (equation(k).resultVar < 0 || static_cast<size_t>(equation(k).resultVar) >= varCount) return;
        for (const ExprItem& item : equation(k).items) {
            if (item.kind == ItemVariable && (item.varIndex < 0 || static_cast<size_t>(item.varIndex) >= varCount)) {
                return;
            }
        }
    }

    // A column's variable is set to the sample before each equation; any
    // other variable an equation reads must have been written by an earlier
    // equation of the same sample, or by none of them.
    std::vector<size_t> lastWriter(varCount, 0);  // list place + 1 of the last equation writing it; 0: none
    for (size_t k = 0; k < count; ++k) lastWriter[static_cast<size_t>(equation(k).resultVar)] = k + 1;
    std::vector<bool> written(varCount, false);
    for (size_t k = 0; k < count; ++k) {
        for (const ExprItem& item : equation(k).items) {
            if (item.kind != ItemVariable || isColumnVar(item.varIndex)) continue;
            const size_t v = static_cast<size_t>(item.varIndex);
            if (!written[v] && lastWriter[v] > k) return;
        }
        if (!isColumnVar(equation(k).resultVar)) written[static_cast<size_t>(equation(k).resultVar)] = true;
    }
    SampleEquationPlan& plan = work.sampleEquations;
    plan.independent = true;

    // Block evaluation of the equations and of every normalised every-sample
    // column's equation, which comes after them and must leave its result in
    // a column's variable (which the next sample's equations set again).
    int32_t depth = 0;
    for (size_t k = 0; k < count; ++k) {
        const int32_t need = BlockStackNeed(equation(k), varCount);
        if (need < 0) return;
        depth = std::max(depth, need);
    }
    for (int32_t c : work.everySampleColumns) {
        const ColumnSpec& col = config.columns[static_cast<size_t>(c)];
        if (!IsNormalised(col.operation)) continue;
        const int32_t need = BlockStackNeed(col.normExpr, varCount);
        if (need < 0 || !isColumnVar(col.normExpr.resultVar)) return;
        depth = std::max(depth, need);
    }
    plan.columnOfVar = std::move(columnOfVar);
    plan.varArrays.assign(varCount, nullptr);
    plan.results.assign(count * kExprBlock, 0.0);
    plan.normalised.assign(kExprBlock, 0.0);
    SizeBlockStack(plan.stack, depth);
    plan.overArrays = true;
}

}  // namespace

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
        const ColumnSpec& col = config.columns[c];
        if (!IsEverySample(col.sampling)) continue;
        work.everySampleColumns.push_back(static_cast<int32_t>(c));
        if (IsFftType(col.operation)) work.fftColumns.push_back(static_cast<int32_t>(c));
    }
    work.fftSamples.assign(work.fftColumns.size(), nullptr);
    work.fftMeans.assign(work.fftColumns.size(), 0.0);
    PlanSampleEquations(config, work);
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

// The mode-1 equations over samples first .. first + length - 1 while
// every-sample column c is processed (the column arrays as they are now),
// and then column c's equation; its results in plan.normalised.
void EvaluateSampleBlock(const RunConfig& config, WindowWork& work, const ReduceResult& result, size_t c,
                         int32_t first, int32_t length) {
    SampleEquationPlan& plan = work.sampleEquations;
    const double** varArrays = plan.varArrays.data();
    for (int32_t s : work.everySampleColumns) {
        const int32_t v = config.columns[static_cast<size_t>(s)].varIndex;
        if (v >= 0) varArrays[v] = result.samples[static_cast<size_t>(s)].data() + first;
    }
    double* out = plan.results.data();
    int32_t lastVar = -1;
    for (int32_t e : work.mode1Equations) {
        const CompiledExpr& equation = config.equations[static_cast<size_t>(e)];
        EvaluateExprOverBlock(equation, BlockValues{}, first, work.vars, varArrays, plan.stack, out, length);
        // Later equations read this result (a column's variable is set to
        // the sample again before each of them).
        lastVar = equation.resultVar;
        if (plan.columnOfVar[static_cast<size_t>(lastVar)] < 0) varArrays[lastVar] = out;
        out += kExprBlock;
    }
    // The column's equation sees what the last one stored, whatever it names.
    varArrays[lastVar] = out - kExprBlock;
    const ColumnSpec& col = config.columns[c];
    const BlockValues input{result.samples[c].data() + first, 0.0};
    EvaluateExprOverBlock(col.normExpr, input, first, work.vars, varArrays, plan.stack, plan.normalised.data(), length);
}

bool AnyNaN(const double* values, int32_t length) {
    bool nan = false;
    for (int32_t k = 0; k < length; ++k) nan |= std::isnan(values[k]);
    return nan;
}

// Sample i of an every-sample normalised column, one at a time.
inline void NormaliseSample(const RunConfig& config, WindowWork& work, const ReduceResult& result,
                            const CompiledExpr& normExpr, double* x, double& mean, double dn, int32_t i) {
    work.windowPosition = i;
    if (!work.mode1Equations.empty()) RunSampleEquations(config, work, result, i);
    const double r = EvaluateExpr(normExpr, x[i], work.vars, work.windowPosition);
    x[i] = r;
    mean = r / dn + mean;
}

// Normalises the n samples of every-sample column c in place and adds each
// result / n to the column's running mean.
void NormaliseSamples(const RunConfig& config, WindowWork& work, ReduceResult& result, size_t c, int32_t n) {
    const ColumnSpec& col = config.columns[c];
    std::vector<double>& samples = result.samples[c];
    EnsureSize(samples, static_cast<size_t>(n));
    double& mean = result.stats[c].mean;
    const double dn = static_cast<double>(n);
    double* x = samples.data();
    bool overArrays = !work.mode1Equations.empty() && work.sampleEquations.overArrays;
    for (int32_t s : work.everySampleColumns) {
        overArrays = overArrays && result.samples[static_cast<size_t>(s)].size() >= static_cast<size_t>(n);
    }
    int32_t i = 0;
    if (overArrays) {
        // Every sample but the last, a block at a time.
        const double* r = work.sampleEquations.normalised.data();
        for (; i < n - 1;) {
            const int32_t length = std::min(kExprBlock, n - 1 - i);
            EvaluateSampleBlock(config, work, result, c, i, length);
            if (AnyNaN(r, length)) {
                for (const int32_t end = i + length; i < end; ++i) {
                    NormaliseSample(config, work, result, col.normExpr, x, mean, dn, i);
                }
                continue;
            }
            for (int32_t k = 0; k < length; ++k, ++i) {
                x[i] = r[k];
                mean = r[k] / dn + mean;
            }
        }
    }
    for (; i < n; ++i) NormaliseSample(config, work, result, col.normExpr, x, mean, dn, i);
    work.windowPosition = n;
}

// The window means of the FFT-type every-sample columns, in work.fftMeans.
// Each depends on its column's samples alone, which nothing changes before
// the column's turn.
void SumFftColumns(WindowWork& work, ReduceResult& result, int32_t n) {
    for (size_t k = 0; k < work.fftColumns.size(); ++k) {
        std::vector<double>& samples = result.samples[static_cast<size_t>(work.fftColumns[k])];
        EnsureSize(samples, static_cast<size_t>(n));
        work.fftSamples[k] = samples.data();
    }
    WindowMeans(work.fftSamples.data(), work.fftColumns.size(), n, work.fftMeans.data());
}

// Time-domain preparation of FFT-type column c for a window of n samples,
// whose window mean is `mean`.
void PrepareFftColumn(const RunConfig& config, WindowWork& work, ReduceResult& result, size_t c, int32_t n,
                      double mean) {
    const ColumnSpec& col = config.columns[c];
    double* x = result.samples[c].data();
    auto& vars = work.vars.entries;
    result.stats[c].mean = mean;

    const double divisor = col.divisionFactor;
    if (work.mode1Equations.empty()) {
        RemoveMeanAndDivide(x, static_cast<size_t>(n), mean, divisor);
        if (col.varIndex >= 0 && n > 0) vars[col.varIndex].value = x[n - 1];
    } else {
        // The equations of sample i see element i after mean removal and
        // before the division. When they are independent, what the earlier
        // samples' equations leave is overwritten by the last sample's.
        int32_t i = 0;
        if (work.sampleEquations.independent && n > 1) {
            i = n - 1;
            RemoveMeanAndDivide(x, static_cast<size_t>(i), mean, divisor);
        }
        for (; i < n; ++i) {
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
// never replaces an extreme. A sample's stamp is the first column's value in
// its row (0.0 past the stamps); `windowStamp` is the time of the window's
// first row, the row a once-per-window value comes from.
void UpdateStatistics(ColumnStats& stats, Sampling sampling, const std::vector<double>& samples,
                      const std::vector<double>& stamps, double windowStamp, size_t m, int32_t n) {
    if (!IsOncePerWindow(sampling)) {
        TrackExtremes(stats, samples.data(), static_cast<size_t>(n), stamps.data(), stamps.size());
        return;
    }
    const double v = ElementOrZero(samples, m);
    if (v > stats.max) {
        stats.max = v;
        stats.timeOfMax = windowStamp;
    }
    if (v < stats.min) {
        stats.min = v;
        stats.timeOfMin = windowStamp;
    }
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

    SumFftColumns(work, result, n);
    size_t fftColumn = 0;
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
                PrepareFftColumn(config, work, result, c, n, work.fftMeans[fftColumn++]);
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
