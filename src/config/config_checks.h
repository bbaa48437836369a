#pragma once
// Checks of an evaluated configuration that stop nothing: facts that the run
// reports as warnings on the error stream.

#include <string>
#include <string_view>
#include <vector>

#include "core/model.h"

namespace vux {
// What kind of expression reads a name.
enum class ExprRole {
    WindowFunction,  // the #WINDOW_FUNCTION line
    Equation,        // an #EQUATIONS line
    Normalisation,   // a column's equation (its result is the column's variable)
};

// An expression reads a variable that nothing sets, so it reads 0 all run.
struct UnsetName {
    ExprRole role;
    std::string expression;  // the expression's result name (the column's name for a normalisation)
    std::string name;        // the variable nothing sets
};

// The variables that the window function, the #EQUATIONS lines and the
// normalisations of columns (not FFT-type ones) read although no column,
// no equation result (anywhere in the list) and nothing the tool sets itself
// (the window function's and "SHORT_WINDOW"'s results, "LINE_COUNT") sets
// them. A constant is folded only where its line comes before the equation,
// so a name that only a later constant defines is such a variable too.
// In order: window function, equations in list order, columns in table
// order; within one expression by first mention, each name once. Costs one
// pass over the items with a set of the set names.
std::vector<UnsetName> FindUnsetNames(const RunConfig& config);

// True when MATLAB can load a variable of this name: a letter first, then
// letters, digits or '_', at most 63 characters.
bool IsMatlabVariableName(std::string_view name);
}  // namespace vux
