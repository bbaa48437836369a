#include "config/config_checks.h"

#include <algorithm>
#include <unordered_set>

namespace vux {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Appends the variables `expr` reads that are not in `set`, each once.
void CollectUnset(const CompiledExpr& expr, ExprRole role, const RunConfig& state,
                  const std::unordered_set<std::string_view>& set, std::vector<UnsetName>& found) {
    const size_t before = found.size();
    for (const ExprItem& item : expr.items) {
        if (item.kind != ItemVariable || item.varIndex < 0) continue;
        const size_t index = static_cast<size_t>(item.varIndex);
        if (index >= state.vars.entries.size()) continue;
        const std::string& name = state.vars.entries[index].name;
        if (set.count(name) != 0) continue;
        const bool listed = std::any_of(found.begin() + static_cast<std::ptrdiff_t>(before), found.end(),
                                        [&](const UnsetName& u) { return u.name == name; });
        if (!listed) found.push_back(UnsetName{role, expr.name, name});
    }
}

}  // namespace

std::vector<UnsetName> FindUnsetNames(const RunConfig& state) {
    std::unordered_set<std::string_view> set = {"SHORT_WINDOW", "LINE_COUNT"};
    if (state.windowFunction) set.insert(state.windowFunction->name);
    for (const CompiledExpr& equation : state.equations) set.insert(equation.name);
    for (const ColumnSpec& column : state.columns) set.insert(column.name);

    std::vector<UnsetName> found;
    if (state.windowFunction) CollectUnset(*state.windowFunction, ExprRole::WindowFunction, state, set, found);
    for (const CompiledExpr& equation : state.equations) CollectUnset(equation, ExprRole::Equation, state, set, found);
    for (const ColumnSpec& column : state.columns) {
        if (HasEquation(column.operation)) CollectUnset(column.normExpr, ExprRole::Normalisation, state, set, found);
    }
    return found;
}

bool IsMatlabVariableName(std::string_view name) {
    if (name.empty() || name.size() > 63 || !IsAsciiLetter(name[0])) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_'; });
}
}  // namespace vux
