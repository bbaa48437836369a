// Equation compilation and evaluation from arbitrary text, with the constants
// PI and WINDOW_SIZE and a few variables defined. Compilation may stop the
// run; a compiled expression must evaluate for any input and count, and give
// the same bits for the same values.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

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
    return 0;
}
