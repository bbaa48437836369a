// Block evaluator: the postfix items run one at a time over a block of
// elements. A stack value is either one number for every element or an array
// of them; an operator on two numbers stays a number, anything else writes
// the array of the stack position it leaves its result in.

#include "expr/block_eval.h"

#include <algorithm>
#include <cmath>

namespace vux {
namespace {

struct Operand {
    const double* values;  // null: `scalar` for every element
    double scalar;
};

template <typename Op>
void Binary(Op op, Operand& a, const Operand& b, double* dst, int32_t n) {
    if (a.values == nullptr && b.values == nullptr) {
        a.scalar = op(a.scalar, b.scalar);
        return;
    }
    if (b.values == nullptr) {
        const double* x = a.values;
        const double y = b.scalar;
        for (int32_t k = 0; k < n; ++k) dst[k] = op(x[k], y);
    } else if (a.values == nullptr) {
        const double x = a.scalar;
        const double* y = b.values;
        for (int32_t k = 0; k < n; ++k) dst[k] = op(x, y[k]);
    } else {
        const double* x = a.values;
        const double* y = b.values;
        for (int32_t k = 0; k < n; ++k) dst[k] = op(x[k], y[k]);
    }
    a.values = dst;
}

template <typename Op>
void Unary(Op op, Operand& a, double* dst, int32_t n) {
    if (a.values == nullptr) {
        a.scalar = op(a.scalar);
        return;
    }
    const double* x = a.values;
    for (int32_t k = 0; k < n; ++k) dst[k] = op(x[k]);
    a.values = dst;
}

}  // namespace

int32_t BlockStackNeed(const CompiledExpr& expr, size_t varCount) {
    // The evaluator's own stack movements, item by item.
    int32_t top = 0;
    int32_t most = 0;
    for (const ExprItem& item : expr.items) {
        switch (item.kind) {
        case ItemInput:
        case ItemCount:
        case ItemNumber:
            ++top;
            break;
        case ItemVariable:
            if (item.varIndex < 0 || static_cast<size_t>(item.varIndex) >= varCount) return -1;
            ++top;
            break;
        case ItemOperator:
            switch (item.op) {
            case '+': case '-': case '*': case '/': case '^':
                if (top < 2) return -1;
                --top;
                break;
            case 's': case 'c': case 't':
                if (top < 1) return -1;
                break;
            default: break;
            }
            break;
        }
        most = std::max(most, top);
        if (most > kExprBlockDepth) return -1;
    }
    if (expr.resultVar < 0 || static_cast<size_t>(expr.resultVar) >= varCount) return -1;
    return most;
}

void SizeBlockStack(ExprBlockStack& stack, int32_t depth) {
    const int32_t wanted = std::min(depth, kExprBlockDepth);
    if (wanted <= stack.depth) return;
    stack.values.assign(static_cast<size_t>(wanted) * kExprBlock, 0.0);
    stack.depth = wanted;
}

void EvaluateExprOverBlock(const CompiledExpr& expr, BlockValues input, int32_t firstPosition, const VarTable& vars,
                           const double* const* varArrays, ExprBlockStack& stack, double* out, int32_t length) {
    Operand operands[kExprBlockDepth];
    // The array of stack position d: the result's own for the bottom one.
    const auto slot = [&](int32_t d) { return d == 0 ? out : stack.values.data() + static_cast<size_t>(d) * kExprBlock; };
    const int32_t n = length;
    int32_t top = 0;
    for (const ExprItem& item : expr.items) {
        switch (item.kind) {
        case ItemInput:
            operands[top++] = Operand{input.values, input.scalar};
            break;
        case ItemCount: {
            double* dst = slot(top);
            for (int32_t k = 0; k < n; ++k) dst[k] = static_cast<double>(firstPosition + k);
            operands[top++] = Operand{dst, 0.0};
            break;
        }
        case ItemNumber:
            operands[top++] = Operand{nullptr, item.value};
            break;
        case ItemVariable: {
            const size_t v = static_cast<size_t>(item.varIndex);
            operands[top++] = Operand{varArrays[v], varArrays[v] == nullptr ? vars.entries[v].value : 0.0};
            break;
        }
        case ItemOperator: {
            // Below is the left operand, top the right one, as in EvaluateExpr.
            Operand* a = top >= 2 ? &operands[top - 2] : nullptr;
            double* dst = top >= 2 ? slot(top - 2) : nullptr;
            switch (item.op) {
            case '+': Binary([](double x, double y) { return x + y; }, *a, operands[top - 1], dst, n); --top; break;
            case '-': Binary([](double x, double y) { return x - y; }, *a, operands[top - 1], dst, n); --top; break;
            case '*': Binary([](double x, double y) { return x * y; }, *a, operands[top - 1], dst, n); --top; break;
            case '/': Binary([](double x, double y) { return x / y; }, *a, operands[top - 1], dst, n); --top; break;
            case '^':
                Binary([](double x, double y) { return std::pow(x, y); }, *a, operands[top - 1], dst, n);
                --top;
                break;
            case 's': Unary([](double x) { return std::sin(x); }, operands[top - 1], slot(top - 1), n); break;
            case 'c': Unary([](double x) { return std::cos(x); }, operands[top - 1], slot(top - 1), n); break;
            case 't': Unary([](double x) { return std::tan(x); }, operands[top - 1], slot(top - 1), n); break;
            default: break;  // an unmatched "(" does nothing
            }
            break;
        }
        }
    }
    // The bottom value is the result; values left over are ignored.
    const Operand result = top > 0 ? operands[0] : Operand{nullptr, 0.0};
    if (result.values == nullptr) {
        std::fill(out, out + n, result.scalar);
    } else if (result.values != out) {
        std::copy(result.values, result.values + n, out);
    }
}
}  // namespace vux
