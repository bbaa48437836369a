#include "reduce/spectrum.h"

#include <kissfft/kiss_fftr.h>

#include <cstdio>

#include "expr/compiled_expr.h"

namespace vux {

struct FftPlan {
    int32_t n = 0;
    kiss_fftr_cfg config = nullptr;
    std::vector<kiss_fft_scalar> input;  // n samples
    std::vector<kiss_fft_cpx> output;    // n bins, of which 0 .. n/2 are written
    ~FftPlan() {
        if (config != nullptr) kiss_fftr_free(config);
    }
};

void FftPlanDeleter::operator()(FftPlan* plan) const { delete plan; }

FftPlanPtr MakeFftPlan(int32_t n) {
    if (n < 1) return nullptr;
    kiss_fftr_cfg config = kiss_fftr_alloc(n, 0, nullptr, nullptr);
    if (config == nullptr) return nullptr;
    FftPlanPtr plan(new FftPlan);
    plan->n = n;
    plan->config = config;
    plan->input.assign(static_cast<size_t>(n), 0.0f);
    plan->output.assign(static_cast<size_t>(n), kiss_fft_cpx{0.0f, 0.0f});
    return plan;
}

SpectralTables BuildSpectralTables(RunState& state) {
    SpectralTables tables;
    const int32_t windowSize = state.settings.windowSize;
    const size_t size = windowSize > 0 ? static_cast<size_t>(windowSize) : 0;

    std::printf("Generating window function......");
    tables.windowTable.assign(size, 1.0);
    if (state.windowFunction) {
        for (int32_t k = 0; k < windowSize; ++k) {
            tables.windowTable[k] = EvaluateExpr(*state.windowFunction, static_cast<double>(k), state.vars, k);
        }
    }
    std::printf("done!\n");

    // For an odd size the library refuses (and says so on standard error);
    // every window then has an even length below the size and takes the
    // short-window path.
    tables.fullPlan = MakeFftPlan(windowSize);

    for (size_t v = 0; v < state.vars.entries.size(); ++v) {
        if (state.vars.entries[v].name == "LINE_COUNT") tables.lineCountVars.push_back(static_cast<int32_t>(v));
    }
    for (size_t c = 0; c < state.columns.size(); ++c) {
        ColumnDef& col = state.columns[c];
        if (col.operationType != 2) continue;
        col.power.assign(size, 0.0);
        col.spectrum.assign(size, 0.0);
        if (col.multPerWindow == 1) tables.transformColumns.push_back(static_cast<int32_t>(c));
    }
    return tables;
}

void PrepareFftColumn(RunState& state, WindowContext& ctx, int32_t column, int32_t n) {
    ColumnDef& col = state.columns[column];
    double* x = col.samples.data();
    const double dn = static_cast<double>(n);

    double mean = 0.0;
    for (int32_t i = 0; i < n; ++i) mean = x[i] / dn + mean;
    col.mean = mean;

    const double divisor = col.divisionFactor;
    if (ctx.mode1Equations.empty()) {
        for (int32_t i = 0; i < n; ++i) x[i] = (x[i] - mean) / divisor;
        if (col.varIndex >= 0 && n > 0) state.vars.entries[col.varIndex].value = x[n - 1];
    } else {
        // The equations of sample i see element i after mean removal and
        // before the division.
        for (int32_t i = 0; i < n; ++i) {
            x[i] = x[i] - mean;
            ctx.windowPosition = i;
            RunSampleEquations(state, ctx, i);
            x[i] = x[i] / divisor;
            if (col.varIndex >= 0) state.vars.entries[col.varIndex].value = x[i];
        }
    }
    ctx.windowPosition = n;
}

namespace {

// Window table and transform of a window shorter than WINDOW_SIZE. The
// transform of the previous short window is kept when the length matches;
// the table is always filled again, since the window function may read
// variables.
void BuildShortWindow(RunState& state, SpectralTables& tables, WindowContext& ctx, int32_t n) {
    if (!tables.transformColumns.empty() && (!tables.shortPlan || tables.shortPlan->n != n)) {
        tables.shortPlan.reset();
        tables.shortPlan = MakeFftPlan(n);
    }
    auto& vars = state.vars.entries;
    for (int32_t v : tables.lineCountVars) vars[v].value = static_cast<double>(n);
    tables.shortWindowTable.assign(static_cast<size_t>(n), 1.0);
    if (state.shortWindowFunction) {
        for (int32_t g = 0; g < n; ++g) {
            ctx.windowPosition = g;
            tables.shortWindowTable[g] =
                EvaluateExpr(*state.shortWindowFunction, static_cast<double>(g), state.vars, g);
        }
    }
    for (int32_t v : tables.lineCountVars) vars[v].value = static_cast<double>(state.settings.windowSize);
}

}  // namespace

void TransformWindow(RunState& state, SpectralTables& tables, WindowContext& ctx, int32_t n) {
    const bool shortWindow = n < state.settings.windowSize;
    if (shortWindow) BuildShortWindow(state, tables, ctx, n);
    if (tables.transformColumns.empty()) return;

    const double* table = shortWindow ? tables.shortWindowTable.data() : tables.windowTable.data();
    FftPlan* plan = shortWindow ? tables.shortPlan.get() : tables.fullPlan.get();
    const double d = static_cast<double>(n) * static_cast<double>(state.settings.sampleFreq);
    const int32_t half = n / 2;

    for (int32_t c : tables.transformColumns) {
        ColumnDef& col = state.columns[c];
        double* x = col.samples.data();
        for (int32_t i = 0; i < n; ++i) x[i] = x[i] * table[i];
        if (plan == nullptr) continue;  // only an odd length, which windows never have

        kiss_fft_scalar* in = plan->input.data();
        for (int32_t i = 0; i < n; ++i) in[i] = static_cast<kiss_fft_scalar>(x[i]);
        kiss_fftr(plan->config, in, plan->output.data());

        double* power = col.power.data();
        double* spectrum = col.spectrum.data();
        const kiss_fft_cpx* bins = plan->output.data();
        for (int32_t k = 0; k <= half; ++k) {
            const float re = bins[k].r;
            const float im = bins[k].i;
            const float p = re * re + im * im;
            power[k] = static_cast<double>(p);
        }
        spectrum[0] += power[0] / d;
        for (int32_t k = 1; k <= half; ++k) spectrum[k] += (power[k] * 2) / d;
    }
    ctx.windowPosition = n;
}

void AverageSpectra(RunState& state, int32_t m) {
    const double windows = static_cast<double>(m);
    const size_t last = state.settings.windowSize > 0 ? static_cast<size_t>(state.settings.windowSize / 2) : 0;
    for (ColumnDef& col : state.columns) {
        if (col.operationType != 2 || (col.multPerWindow != 0 && col.multPerWindow != 1)) continue;
        for (size_t k = 0; k <= last && k < col.spectrum.size(); ++k) col.spectrum[k] = col.spectrum[k] / windows;
    }
}

}  // namespace vux
