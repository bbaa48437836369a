#pragma once
// Equations evaluated over a block of elements (samples) at once: each postfix
// item is run over the whole block before the next one, so an item costs a
// few instructions per element instead of an interpreter step. Every element
// goes through the operations of EvaluateExpr in the same order, so its
// result has EvaluateExpr's bits (NaN payloads aside: see
// EvaluateExprOverBlock).

#include <cstdint>
#include <vector>

#include "core/expr_data.h"

namespace vux {
// Elements of one block at most: small enough that a block's values stay in
// the first-level cache.
inline constexpr int32_t kExprBlock = 256;

// Values on the stack at once that block evaluation accepts (no equation
// written by hand comes near it); a deeper expression is evaluated element by
// element.
inline constexpr int32_t kExprBlockDepth = 64;

// Working values of block evaluation: kExprBlock doubles for each stack value
// of the deepest expression it is sized for. Sized once, before the first
// block; one evaluation at a time uses it.
struct ExprBlockStack {
    std::vector<double> values;
    int32_t depth = 0;  // stack values it has room for
};

// The stack values EvaluateExprOverBlock needs for `expr` (0 for no items),
// or -1 when it does not evaluate it: an operator that would find too few
// values (only a hand-made expression has one: the compiler refuses them), a
// variable or result index outside a table of `varCount` entries, or more
// than kExprBlockDepth values at once.
int32_t BlockStackNeed(const CompiledExpr& expr, size_t varCount);

// Gives `stack` room for expressions needing up to `depth` values (at most
// kExprBlockDepth); never shrinks it.
void SizeBlockStack(ExprBlockStack& stack, int32_t depth);

// Where one operand's values come from: element k of `values`, or `scalar`
// for every element when `values` is null.
struct BlockValues {
    const double* values = nullptr;
    double scalar = 0.0;
};

// Evaluates `expr` for `length` elements (1 to kExprBlock). Element k gets
// what EvaluateExpr(expr, input, vars, firstPosition + k) returns when
// "input" yields element k of `input`, and every variable v with a non-null
// varArrays[v] holds varArrays[v][k] (the others their value in `vars`).
// Writes element k's result to out[k] and stores nothing in `vars`; `out`
// must not be one of the arrays read. `expr` must have passed BlockStackNeed
// and `stack` be sized for it. Allocates nothing.
//
// A result that is not NaN has EvaluateExpr's bits (no result that is not
// NaN depends on which NaN an operation was given). A NaN result may carry
// another NaN's payload than EvaluateExpr's: when two NaNs meet in + or *,
// which one goes on depends on the order the compiler puts the operands in.
// A caller that needs EvaluateExpr's bits evaluates the elements with a NaN
// result one by one.
void EvaluateExprOverBlock(const CompiledExpr& expr, BlockValues input, int32_t firstPosition, const VarTable& vars,
                           const double* const* varArrays, ExprBlockStack& stack, double* out, int32_t length);
}  // namespace vux
