#pragma once
// The plain data of user equations: variable and constant tables, and an
// equation compiled into postfix items. expr/ compiles and evaluates them.

#include <cstdint>
#include <string>
#include <vector>

namespace vux {
struct VarEntry {
    std::string name;
    double value = 0.0;
};

// Entries are only appended; an entry's index is its identity for the run.
struct VarTable {
    std::vector<VarEntry> entries;
};

struct ConstEntry {
    std::string name;
    double value = 0.0;
};

// One entry per #CONSTANTS key line, in file order; a name listed twice has
// two entries.
struct ConstTable {
    std::vector<ConstEntry> entries;
};

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

// Values the evaluator keeps on its own stack; a deeper expression brings its
// own value stack (`scratch`), which the compiler sizes.
inline constexpr int32_t kEvaluatorLocalStack = 64;

struct CompiledExpr {
    std::string name;            // result name
    int32_t mode = 0;            // #EQUATIONS mode (0 per window, 1 per sample)
    std::vector<ExprItem> items; // postfix order
    int32_t resultVar = -1;      // VarTable index of `name`
    int32_t stackDepth = 0;      // most values on the stack at once
    // Value stack of an expression deeper than kEvaluatorLocalStack (empty
    // otherwise), so that evaluation allocates nothing. Every evaluation
    // writes it: one thread evaluates one copy of the expression.
    mutable std::vector<double> scratch;
};
}  // namespace vux
