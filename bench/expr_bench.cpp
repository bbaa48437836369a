// Micro benchmarks of the equation evaluator on the default configuration's
// equations (once per window) and on a per-sample (mode 1) expression, one
// sample at a time and over blocks of samples.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "expr/block_eval.h"
#include "expr/compiled_expr.h"
#include "expr/var_table.h"

using namespace vux;

namespace {

struct Engine {
    ConstTable consts;
    VarTable vars;
    std::vector<CompiledExpr> exprs;

    Engine() {
        AddConst(consts, "WINDOW_SIZE", 10000);
        AddConst(consts, "SAMPLE_FREQ", 10000);
        AddConst(consts, "PI", 3.14159265358979323846);
        AddConst(consts, "ADC_OFFSET", 2500);
    }

    void Add(const char* name, const char* text) { exprs.push_back(CompileExpr(name, text, consts, vars)); }

    void Set(const char* name, double value) { vars.entries[FindOrAddVar(vars, name)].value = value; }
};

// The three mode-0 equations and the three normalisation equations of the
// default configuration, in the order a window runs them.
void BM_EvaluateDefaultEquations(benchmark::State& state) {
    Engine e;
    e.Add("SENSOR_PRES", "(PRES + ADC_OFFSET - 500)");
    e.Add("TEMP_OHMS", "(TEMP + ADC_OFFSET) / ((5000 - (TEMP + ADC_OFFSET)) / 4000)");
    e.Add("SENSOR_RH", "(((HUMD + ADC_OFFSET) / 5000) - 0.16) / 0.0062");
    e.Add("PRES", "SENSOR_PRES / 4500 * 17.4");
    e.Add("TEMP", "(TEMP_OHMS - 1000) / 3.75");
    e.Add("HUMD", "SENSOR_RH / (1.0546 - (0.00216 * TEMP))");
    const double raw[3] = {1798.7771, -1456.4390, 176.6658};
    for (auto _ : state) {
        e.Set("PRES", raw[0]);
        e.Set("TEMP", raw[1]);
        e.Set("HUMD", raw[2]);
        double last = 0.0;
        for (size_t i = 0; i < 3; ++i) last = EvaluateExpr(e.exprs[i], 0.0, e.vars, 0);
        for (size_t i = 3; i < 6; ++i) last = EvaluateExpr(e.exprs[i], raw[i - 3], e.vars, 0);
        benchmark::DoNotOptimize(last);
    }
    state.SetItemsProcessed(state.iterations() * 6);
}
BENCHMARK(BM_EvaluateDefaultEquations);

// The default Hanning window function, evaluated for every position of a
// window as the window table is filled.
void BM_EvaluateWindowFunction(benchmark::State& state) {
    Engine e;
    e.Add("WINDOW_FUNCTION", "0.5 * (1 - cos((2 * PI * input) / WINDOW_SIZE))");
    for (auto _ : state) {
        double sum = 0.0;
        for (int k = 0; k < 10000; ++k) sum += EvaluateExpr(e.exprs[0], k, e.vars, k);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_EvaluateWindowFunction);

// A mode-1 equation: run before every sample of a window, reading the
// current sample of three channels and the position in the window.
void BM_EvaluateModeOneExpression(benchmark::State& state) {
    Engine e;
    e.Add("ANG_MAG", "(ANGX ^ 2 + ANGY ^ 2 + ANGZ ^ 2) ^ 0.5 * sin(2 * PI * count / SAMPLE_FREQ)");
    const int32_t x = FindOrAddVar(e.vars, "ANGX");
    const int32_t y = FindOrAddVar(e.vars, "ANGY");
    const int32_t z = FindOrAddVar(e.vars, "ANGZ");
    for (auto _ : state) {
        double sum = 0.0;
        for (int k = 0; k < 10000; ++k) {
            e.vars.entries[x].value = 14.9 + 1e-4 * k;
            e.vars.entries[y].value = -13.6;
            e.vars.entries[z].value = 12.0;
            sum += EvaluateExpr(e.exprs[0], 0.0, e.vars, k);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_EvaluateModeOneExpression);

// The same expression over blocks of samples, as the per-sample equations
// run for a normalised column: one pass per item over kExprBlock samples.
void BM_EvaluateModeOneExpressionOverBlocks(benchmark::State& state) {
    Engine e;
    e.Add("ANG_MAG", "(ANGX ^ 2 + ANGY ^ 2 + ANGZ ^ 2) ^ 0.5 * sin(2 * PI * count / SAMPLE_FREQ)");
    const size_t count = e.vars.entries.size();
    std::vector<double> x(10000), y(10000, -13.6), z(10000, 12.0), out(kExprBlock);
    for (int k = 0; k < 10000; ++k) x[static_cast<size_t>(k)] = 14.9 + 1e-4 * k;
    std::vector<const double*> arrays(count, nullptr);
    ExprBlockStack stack;
    SizeBlockStack(stack, BlockStackNeed(e.exprs[0], count));
    const auto index = [&](const char* name) { return static_cast<size_t>(FindOrAddVar(e.vars, name)); };
    for (auto _ : state) {
        double sum = 0.0;
        for (int32_t first = 0; first < 10000; first += kExprBlock) {
            const int32_t length = std::min(kExprBlock, 10000 - first);
            arrays[index("ANGX")] = x.data() + first;
            arrays[index("ANGY")] = y.data() + first;
            arrays[index("ANGZ")] = z.data() + first;
            EvaluateExprOverBlock(e.exprs[0], BlockValues{}, first, e.vars, arrays.data(), stack, out.data(), length);
            sum += out[0];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_EvaluateModeOneExpressionOverBlocks);

}  // namespace
