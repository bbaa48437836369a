#pragma once
// Named doubles of a run: the variable table (values that change while data
// is processed, held by index) and the constant table (#CONSTANTS entries,
// folded into expressions when they are compiled).

#include <cstdint>
#include <string>
#include <string_view>
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

// Index of the first entry named `name` (exact, case-sensitive); when there is
// none, appends one with value 0.0 and returns its index.
int32_t FindOrAddVar(VarTable& vars, std::string_view name);

// Appends an entry (never merges with an existing one).
void AddConst(ConstTable& consts, std::string_view name, double value);

}  // namespace vux
