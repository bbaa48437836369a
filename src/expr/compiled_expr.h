#pragma once
// User equations compiled once into postfix items, and evaluated per window or
// per sample without looking at text again.
//
// Language: decimal numbers (no sign, no exponent); names of letters, digits
// and '_' (starting with a letter or '_'); the keywords "input" and "count";
// sin(), cos(), tan() in radians; binary + - * / ^ and parentheses.
// Precedence: + - (0) < * / (1) < ^ (2) < functions (3); every binary operator,
// "^" included, groups left to right: a^b^c = (a^b)^c.

#include <cstdint>
#include <string_view>

#include "core/expr_data.h"
#include "expr/var_table.h"

namespace vux {
// Compiles `text` (spaces are skipped) under the result name `name`.
// The result variable is added to `vars` before any name of the text.
// Constants are folded (the last entry of a name listed twice wins); every
// other name becomes a variable. A ")" without its "(" throws
// UnbalancedParentheses; an operator or function that would find too few
// values ("-x", "(-x)", "sin()") throws MissingOperand naming the equation
// and the operator. An empty text compiles to no items. Sizes the scratch
// stack of an expression deeper than kEvaluatorLocalStack.
CompiledExpr CompileExpr(std::string_view name, std::string_view text,
                         const ConstTable& consts, VarTable& vars);

// Runs the items once: "input" yields `input`, "count" yields
// `windowPosition`, variables yield their current values (all read before the
// result is stored). Stores the result in vars[expr.resultVar] and returns it.
// The result is the bottom value of the stack (values left over are ignored);
// an expression with no items gives 0.0. IEEE-754 double arithmetic only:
// 1/0 is +inf, 0/0 is NaN, no error is ever raised. Allocates nothing.
double EvaluateExpr(const CompiledExpr& expr, double input, VarTable& vars, int32_t windowPosition);
}  // namespace vux
