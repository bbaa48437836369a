#include "expr/var_table.h"

namespace vux {
int32_t FindOrAddVar(VarTable& vars, std::string_view name) {
    for (size_t i = 0; i < vars.entries.size(); ++i) {
        if (vars.entries[i].name == name) return static_cast<int32_t>(i);
    }
    vars.entries.push_back(VarEntry{std::string(name), 0.0});
    return static_cast<int32_t>(vars.entries.size() - 1);
}

void AddConst(ConstTable& consts, std::string_view name, double value) {
    consts.entries.push_back(ConstEntry{std::string(name), value});
}
}  // namespace vux
