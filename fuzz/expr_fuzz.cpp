// Equation compilation and evaluation from arbitrary text, with the constants
// PI and WINDOW_SIZE and a few variables defined. Compilation may stop the
// run; a compiled expression must evaluate for any input and count, and give
// the same bits for the same values. Evaluated over a block of elements
// (some variables and the input per element, the others one value), every
// element must give the bits of its own evaluation, or NaN where that is NaN.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "expr/block_eval.h"
#include "expr/compiled_expr.h"
#include "expr/var_table.h"
#include "fuzz_util.h"
#include "core/error.h"

using namespace vux;

namespace {

struct Evaluation {
    double input;
    int32_t count;
};

constexpr Evaluation kEvaluations[] = {
    {0.0, 0},
    {1.5, 7},
    {-2.25, 8191},
    {1e300, std::numeric_limits<int32_t>::max()},
    {std::numeric_limits<double>::quiet_NaN(), -1},
};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Values of the block's elements: ordinary ones, signed zeros, infinities,
// NaNs of both signs, extremes.
constexpr double kElementValues[] = {
    0.0, -0.0, 1.5, -2.25, 3.0, 1e300, -1e-310, 0.5,
    std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
};
constexpr int32_t kElementCount = 13;  // a block length that is no multiple of a vector's

double ElementValue(size_t v, int32_t k) {
    return kElementValues[(static_cast<size_t>(k) * 5 + v * 7) % (sizeof kElementValues / sizeof kElementValues[0])];
}

// Evaluates `expr` over a block where the variables with `arrayMask` bit
// (index % 3) set, and the input when `arrayInput`, hold one value per
// element, and compares every element with EvaluateExpr of its own values.
void CompareBlock(const CompiledExpr& expr, VarTable& vars, unsigned arrayMask, bool arrayInput, int32_t first) {
    const size_t count = vars.entries.size();
    std::vector<std::vector<double>> arrays(count);
    std::vector<const double*> varArrays(count, nullptr);
    for (size_t v = 0; v < count; ++v) {
        if ((arrayMask >> (v % 3) & 1u) == 0) continue;
        for (int32_t k = 0; k < kElementCount; ++k) arrays[v].push_back(ElementValue(v, k));
        varArrays[v] = arrays[v].data();
    }
    std::vector<double> input;
    for (int32_t k = 0; k < kElementCount; ++k) input.push_back(ElementValue(count, k));
    const BlockValues inputs = arrayInput ? BlockValues{input.data(), 0.0} : BlockValues{nullptr, 2.5};

    ExprBlockStack stack;
    SizeBlockStack(stack, BlockStackNeed(expr, count));
    std::vector<double> out(kElementCount);
    EvaluateExprOverBlock(expr, inputs, first, vars, varArrays.data(), stack, out.data(), kElementCount);

    const VarTable before = vars;
    for (int32_t k = 0; k < kElementCount; ++k) {
        vars = before;
        for (size_t v = 0; v < count; ++v) {
            if (varArrays[v] != nullptr) vars.entries[v].value = arrays[v][static_cast<size_t>(k)];
        }
        const double one = EvaluateExpr(expr, arrayInput ? input[static_cast<size_t>(k)] : 2.5, vars, first + k);
        const double block = out[static_cast<size_t>(k)];
        FUZZ_CHECK(SameBits(one, block) || (std::isnan(one) && std::isnan(block)),
                   "element %d: %.17g one by one, %.17g over the block", k, one, block);
    }
    vars = before;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SilenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ConstTable consts;
    AddConst(consts, "PI", 3.14159265358979323846);
    AddConst(consts, "WINDOW_SIZE", 8);
    VarTable vars;
    for (const char* name : {"PRES", "TEMP", "count_2", "x"}) {
        vars.entries[static_cast<size_t>(FindOrAddVar(vars, name))].value = 0.5 + static_cast<double>(vars.entries.size());
    }

    CompiledExpr expr;
    try {
        expr = CompileExpr("RESULT", text, consts, vars);
    } catch (const Error&) {
        return 0;
    }
    FUZZ_CHECK(expr.resultVar >= 0 && static_cast<size_t>(expr.resultVar) < vars.entries.size(), "result variable");
    for (const ExprItem& item : expr.items) {
        if (item.kind == ItemVariable) {
            FUZZ_CHECK(item.varIndex >= 0 && static_cast<size_t>(item.varIndex) < vars.entries.size(),
                       "variable index %d", item.varIndex);
        }
    }

    // The result variable is reset before each run so that an expression that
    // names its own result sees the same value both times.
    for (const Evaluation& e : kEvaluations) {
        vars.entries[static_cast<size_t>(expr.resultVar)].value = 0.0;
        const double first = EvaluateExpr(expr, e.input, vars, e.count);
        FUZZ_CHECK(SameBits(first, vars.entries[static_cast<size_t>(expr.resultVar)].value), "result stored");
        vars.entries[static_cast<size_t>(expr.resultVar)].value = 0.0;
        const double second = EvaluateExpr(expr, e.input, vars, e.count);
        FUZZ_CHECK(SameBits(first, second) || (std::isnan(first) && std::isnan(second)),
                   "two runs gave %.17g and %.17g", first, second);
    }

    if (BlockStackNeed(expr, vars.entries.size()) < 0) return 0;  // left to the evaluator
    const unsigned mask = size == 0 ? 0u : data[0];
    CompareBlock(expr, vars, mask & 7u, (mask & 8u) != 0, static_cast<int32_t>(size % 300));
    CompareBlock(expr, vars, 7u, true, 0);
    CompareBlock(expr, vars, 0u, false, 1);
    return 0;
}
