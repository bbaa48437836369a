#include "reduce/spectrum.h"

#include <kissfft/kiss_fftr.h>

#include <type_traits>

#include "expr/compiled_expr.h"
#include "reduce/vector_clones.h"

namespace vux {
static_assert(std::is_same_v<kiss_fft_scalar, float>, "the transform is single precision");

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
    // The library's real transform takes even lengths only; it is never
    // asked for another (it would say so on the error stream).
    if (n < 2 || n % 2 != 0) return nullptr;
    kiss_fftr_cfg config = kiss_fftr_alloc(n, 0, nullptr, nullptr);
    if (config == nullptr) return nullptr;
    FftPlanPtr plan(new FftPlan);
    plan->n = n;
    plan->config = config;
    plan->input.assign(static_cast<size_t>(n), 0.0f);
    plan->output.assign(static_cast<size_t>(n), kiss_fft_cpx{0.0f, 0.0f});
    return plan;
}

SpectralTables BuildSpectralTables(const RunConfig& config, VarTable& vars, std::vector<Spectrum>& spectra) {
    SpectralTables tables;
    const int32_t windowSize = config.settings.windowSize;
    const size_t size = windowSize > 0 ? static_cast<size_t>(windowSize) : 0;

    tables.windowTable.assign(size, 1.0);
    if (config.windowFunction) {
        for (int32_t k = 0; k < windowSize; ++k) {
            tables.windowTable[k] = EvaluateExpr(*config.windowFunction, static_cast<double>(k), vars, k);
        }
    }

    // An odd size has no full-length transform: every window then has an
    // even length below the size and takes the short-window path.
    tables.fullPlan = MakeFftPlan(windowSize);

    for (size_t v = 0; v < vars.entries.size(); ++v) {
        if (vars.entries[v].name == "LINE_COUNT") tables.lineCountVars.push_back(static_cast<int32_t>(v));
    }
    spectra.assign(config.columns.size(), Spectrum{});
    for (size_t c = 0; c < config.columns.size(); ++c) {
        const ColumnSpec& col = config.columns[c];
        if (!IsFftType(col.operation)) continue;
        spectra[c].power.assign(size, 0.0);
        spectra[c].density.assign(size, 0.0);
        if (IsEverySample(col.sampling)) tables.transformColumns.push_back(static_cast<int32_t>(c));
    }
    return tables;
}

namespace {

// Window table and transform of a window shorter than WINDOW_SIZE. The
// transform of the previous short window is kept when the length matches;
// the table is always filled again, since the window function may read
// variables.
void BuildShortWindow(const RunConfig& config, SpectralTables& tables, VarTable& vars, int32_t n) {
    if (!tables.transformColumns.empty() && (!tables.shortPlan || tables.shortPlan->n != n)) {
        tables.shortPlan.reset();
        tables.shortPlan = MakeFftPlan(n);
    }
    auto& entries = vars.entries;
    for (int32_t v : tables.lineCountVars) entries[v].value = static_cast<double>(n);
    tables.shortWindowTable.assign(static_cast<size_t>(n), 1.0);
    if (config.shortWindowFunction) {
        for (int32_t g = 0; g < n; ++g) {
            tables.shortWindowTable[g] = EvaluateExpr(*config.shortWindowFunction, static_cast<double>(g), vars, g);
        }
    }
    for (int32_t v : tables.lineCountVars) entries[v].value = static_cast<double>(config.settings.windowSize);
}

// The element loops of the transform stage are built for AVX2 and for any
// processor.
VUX_VECTOR_CLONES void ApplyWindowTable(double* __restrict x, const double* __restrict table,
                                        kiss_fft_scalar* __restrict in, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const double v = x[i] * table[i];
        x[i] = v;
        in[i] = static_cast<kiss_fft_scalar>(v);
    }
}

// power[k] = |X_k|^2 for 0 <= k <= half, in single precision as the bins.
VUX_VECTOR_CLONES void PowerOfBins(const kiss_fft_cpx* __restrict bins, double* __restrict power, int32_t half) {
    for (int32_t k = 0; k <= half; ++k) {
        const float re = bins[k].r;
        const float im = bins[k].i;
        const float p = re * re + im * im;
        power[k] = static_cast<double>(p);
    }
}

VUX_VECTOR_CLONES void AddScaledPower(const double* __restrict power, double* __restrict spectrum, int32_t half,
                                      double d) {
    spectrum[0] += power[0] / d;
    for (int32_t k = 1; k <= half; ++k) spectrum[k] += (power[k] * 2) / d;
}


}  // namespace

int32_t FftPlanLength(const FftPlan& plan) { return plan.n; }

const std::vector<double>& WindowTableFor(const RunConfig& config, SpectralTables& tables, VarTable& vars, int32_t n) {
    if (n < config.settings.windowSize) {
        BuildShortWindow(config, tables, vars, n);
        return tables.shortWindowTable;
    }
    return tables.windowTable;
}

void ApplyWindow(double* x, const double* table, float* in, int32_t n) { ApplyWindowTable(x, table, in, n); }

void TransformPower(FftPlan& plan, const float* in, double* power) {
    kiss_fftr(plan.config, in, plan.output.data());
    PowerOfBins(plan.output.data(), power, plan.n / 2);
}

void AddDensity(const double* power, double* density, int32_t n, int32_t sampleFreq) {
    const double d = static_cast<double>(n) * static_cast<double>(sampleFreq);
    AddScaledPower(power, density, n / 2, d);
}

void TransformWindow(const RunConfig& config, SpectralTables& tables, VarTable& vars,
                     std::vector<std::vector<double>>& samples, std::vector<Spectrum>& spectra, int32_t n) {
    const bool shortWindow = n < config.settings.windowSize;
    const double* table = WindowTableFor(config, tables, vars, n).data();
    if (tables.transformColumns.empty()) return;

    FftPlan* plan = shortWindow ? tables.shortPlan.get() : tables.fullPlan.get();
    for (int32_t c : tables.transformColumns) {
        double* x = samples[c].data();
        if (plan == nullptr) {  // only an odd length, which windows never have
            for (int32_t i = 0; i < n; ++i) x[i] = x[i] * table[i];
            continue;
        }
        ApplyWindowTable(x, table, plan->input.data(), n);
        TransformPower(*plan, plan->input.data(), spectra[c].power.data());
        AddDensity(spectra[c].power.data(), spectra[c].density.data(), n, config.settings.sampleFreq);
    }
}

void AverageSpectra(const RunConfig& config, std::vector<Spectrum>& spectra, int32_t m) {
    const double windows = static_cast<double>(m);
    const size_t last = config.settings.windowSize > 0 ? static_cast<size_t>(config.settings.windowSize / 2) : 0;
    for (size_t c = 0; c < config.columns.size() && c < spectra.size(); ++c) {
        const ColumnSpec& col = config.columns[c];
        if (!IsFftType(col.operation) || !IsRead(col.sampling)) continue;
        std::vector<double>& density = spectra[c].density;
        for (size_t k = 0; k <= last && k < density.size(); ++k) density[k] = density[k] / windows;
    }
}
}  // namespace vux
