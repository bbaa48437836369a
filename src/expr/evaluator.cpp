// Equation evaluator: one pass over the postfix items with a value stack.
// It runs per sample for per-sample equations, so it allocates nothing and
// never touches text.

#include <cassert>
#include <cmath>

#include "expr/compiled_expr.h"

namespace vux {
double EvaluateExpr(const CompiledExpr& expr, double input, VarTable& vars, int32_t windowPosition) {
    double local[kEvaluatorLocalStack];
    // The compiler sizes `scratch` for any expression deeper than the local stack.
    assert(expr.stackDepth <= kEvaluatorLocalStack || expr.scratch.size() >= static_cast<size_t>(expr.stackDepth));
    double* stack = expr.stackDepth > kEvaluatorLocalStack ? expr.scratch.data() : local;
    int32_t top = 0;  // number of values on the stack

    // Variables are only read during the pass; the result is stored at the
    // end, so an expression naming its own result sees the previous value.
    for (const ExprItem& item : expr.items) {
        switch (item.kind) {
        case ItemInput:
            stack[top++] = input;
            break;
        case ItemCount:
            stack[top++] = static_cast<double>(windowPosition);
            break;
        case ItemNumber:
            stack[top++] = item.value;
            break;
        case ItemVariable:
            stack[top++] = vars.entries[static_cast<size_t>(item.varIndex)].value;
            break;
        case ItemOperator:
            // Compilation guarantees every operator finds its values; below
            // is the left operand, top the right one.
            switch (item.op) {
            case '+': stack[top - 2] = stack[top - 2] + stack[top - 1]; --top; break;
            case '-': stack[top - 2] = stack[top - 2] - stack[top - 1]; --top; break;
            case '*': stack[top - 2] = stack[top - 2] * stack[top - 1]; --top; break;
            case '/': stack[top - 2] = stack[top - 2] / stack[top - 1]; --top; break;
            case '^': stack[top - 2] = std::pow(stack[top - 2], stack[top - 1]); --top; break;
            case 's': stack[top - 1] = std::sin(stack[top - 1]); break;
            case 'c': stack[top - 1] = std::cos(stack[top - 1]); break;
            case 't': stack[top - 1] = std::tan(stack[top - 1]); break;
            default: break;  // an unmatched "(" does nothing
            }
            break;
        }
    }
    // The bottom value is the result; values left over are ignored.
    const double result = top > 0 ? stack[0] : 0.0;
    vars.entries[static_cast<size_t>(expr.resultVar)].value = result;
    return result;
}
}  // namespace vux
