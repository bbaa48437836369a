#pragma once
// Helpers for expression tests: items rendered as short texts.

#include <sstream>
#include <string>
#include <vector>

#include "expr/compiled_expr.h"

using namespace vux;

// Variables by name, numbers by value, operators by their character.
inline std::vector<std::string> Render(const CompiledExpr& expr, const VarTable& vars) {
    std::vector<std::string> out;
    for (const ExprItem& item : expr.items) {
        switch (item.kind) {
        case ItemInput: out.push_back("input"); break;
        case ItemCount: out.push_back("count"); break;
        case ItemNumber: {
            std::ostringstream s;
            s.precision(17);
            s << item.value;
            out.push_back(s.str());
            break;
        }
        case ItemOperator: out.push_back(std::string("op") + item.op); break;
        case ItemVariable: out.push_back(vars.entries[static_cast<size_t>(item.varIndex)].name); break;
        }
    }
    return out;
}
