#include "core/model.h"

namespace vux {
ExportKind ExportKindOf(const ColumnSpec& column) {
    if (IsRotated(column)) return ExportKind::Rotated;
    if (IsFftType(column.operation)) return ExportKind::Spectrum;
    if (IsNormalised(column.operation) && IsOncePerWindow(column.sampling)) return ExportKind::PerWindow;
    return ExportKind::Samples;
}

const char* ExportSuffix(ExportKind kind) {
    static constexpr const char* kSuffixes[] = {"_rot", "_pwr", "_act", "_out"};
    return kSuffixes[static_cast<int>(kind)];
}

std::string ExportName(const ColumnSpec& column) { return column.name + ExportSuffix(ExportKindOf(column)); }

int32_t FindRotationGroup(const std::vector<RotationGroupSpec>& groups, int32_t group) {
    for (size_t i = 0; i < groups.size(); ++i) {
        if (groups[i].group == group) return static_cast<int32_t>(i);
    }
    return -1;
}
}  // namespace vux
