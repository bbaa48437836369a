#pragma once
// Filling the variable table (values that change while data is processed,
// held by index) and the constant table (#CONSTANTS entries, folded into
// expressions when they are compiled).

#include <cstdint>
#include <string_view>

#include "core/expr_data.h"

namespace vux {
// Index of the first entry named `name` (exact, case-sensitive); when there is
// none, appends one with value 0.0 and returns its index.
int32_t FindOrAddVar(VarTable& vars, std::string_view name);

// Appends an entry (never merges with an existing one).
void AddConst(ConstTable& consts, std::string_view name, double value);
}  // namespace vux
