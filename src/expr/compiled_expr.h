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
#include <string>
#include <string_view>
#include <vector>

#include "expr/var_table.h"

namespace vux {

enum ExprItemKind : int32_t {
    ItemInput = 0,     // the keyword "input"
    ItemCount = 1,     // the keyword "count" (the position in the window)
    ItemNumber = 2,    // a written number, or a constant's value folded in
    ItemOperator = 3,  // + - * / ^, s c t (functions), or an unmatched "("
    ItemVariable = 4,  // a VarTable entry, by index
};

struct ExprItem {
    ExprItemKind kind = ItemInput;
    int32_t precedence = 0;  // operators only: 0 + -, 1 * /, 2 ^, 3 s c t, -1 (
    double value = 0.0;      // ItemNumber only
    int32_t varIndex = -1;   // ItemVariable only; the name is vars[varIndex].name
    char op = 0;             // ItemOperator only
};

struct CompiledExpr {
    std::string name;            // result name
    int32_t mode = 0;            // #EQUATIONS mode (0 per window, 1 per sample)
    std::vector<ExprItem> items; // postfix order
    int32_t resultVar = -1;      // VarTable index of `name`
    int32_t stackDepth = 0;      // most values on the stack at once
    std::vector<double> scratch; // value stack of deep expressions (no allocation per call)
};

// Compiles `text` (spaces are skipped) under the result name `name`.
// The result variable is added to `vars` before any name of the text.
// Constants are folded (the last entry of a name listed twice wins); every
// other name becomes a variable. A ")" without its "(" stops the run with
// "\n\nUnbalanced parentheses in equation" and status -1; an operator or
// function that would find too few values ("-x", "(-x)", "sin()") stops it
// with a message naming the equation and status -1. An empty text compiles
// to no items.
CompiledExpr CompileExpr(std::string_view name, std::string_view text,
                         const ConstTable& consts, VarTable& vars);

// Runs the items once: "input" yields `input`, "count" yields
// `windowPosition`, variables yield their current values (all read before the
// result is stored). Stores the result in vars[expr.resultVar] and returns it.
// The result is the bottom value of the stack (values left over are ignored);
// an expression with no items gives 0.0. IEEE-754 double arithmetic only:
// 1/0 is +inf, 0/0 is NaN, no error is ever raised. Allocates nothing.
double EvaluateExpr(CompiledExpr& expr, double input, VarTable& vars, int32_t windowPosition);

}  // namespace vux
