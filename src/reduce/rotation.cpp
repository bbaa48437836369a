#include "reduce/rotation.h"

#include <algorithm>
#include <cmath>

namespace vux {

namespace {

// Index of the first table entry numbered `group`, appending one when there
// is none.
int32_t GroupIndex(std::vector<RotationGroup>& groups, int32_t group) {
    for (size_t i = 0; i < groups.size(); ++i) {
        if (groups[i].group == group) return static_cast<int32_t>(i);
    }
    RotationGroup added;
    added.group = group;
    groups.push_back(added);
    return static_cast<int32_t>(groups.size() - 1);
}

bool IsRotated(const ColumnDef& col) {
    return col.rotationGroup != 0 && col.rotationAxis >= 0 && col.rotationAxis <= 2;
}

// The array a rotated column feeds its axis from.
const std::vector<double>& RotationInput(const ColumnDef& col) {
    return col.operationType == 2 ? col.spectrum : col.samples;
}

}  // namespace

RotationPlan SetUpRotationSlots(std::vector<ColumnDef>& columns, std::vector<RotationGroup>& groups,
                                int32_t windowSize) {
    RotationPlan plan;
    plan.values = windowSize >= 0 ? windowSize / 2 + 1 : 1;

    std::vector<int32_t> numbers;
    for (const ColumnDef& col : columns) {
        if (IsRotated(col)) numbers.push_back(col.rotationGroup);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());

    for (int32_t number : numbers) plan.groupIndices.push_back(GroupIndex(groups, number));
    plan.slots.resize(numbers.size());

    for (size_t c = 0; c < columns.size(); ++c) {
        ColumnDef& col = columns[c];
        if (!IsRotated(col)) continue;
        const size_t g = static_cast<size_t>(
            std::lower_bound(numbers.begin(), numbers.end(), col.rotationGroup) - numbers.begin());
        RotationSlot& slot = plan.slots[g][static_cast<size_t>(col.rotationAxis)];
        slot.inputColumn = static_cast<int32_t>(c);  // a later column on the same slot wins
        slot.outputColumns.push_back(static_cast<int32_t>(c));
        col.rotated.assign(static_cast<size_t>(plan.values), 0.0);
    }
    return plan;
}

void BuildRotationMatrices(std::vector<RotationGroup>& groups, const RunSettings& settings) {
    const double k = settings.pi / 180;
    for (RotationGroup& g : groups) {
        if (g.group == 0) continue;
        g.offsetX = (settings.thetaX + g.offsetX) * k;
        g.offsetY = (g.offsetY + settings.thetaY) * k;
        g.offsetZ = (g.offsetZ + settings.thetaZ) * k;

        const double cx = std::fabs(std::cos(g.offsetX));
        const double sx = std::fabs(std::sin(g.offsetX));
        const double cy = std::fabs(std::cos(g.offsetY));
        const double sy = std::fabs(std::sin(g.offsetY));
        const double cz = std::fabs(std::cos(g.offsetZ));
        const double sz = std::fabs(std::sin(g.offsetZ));

        g.matrixX = {1, 0, 0, 0, cx, sx, 0, sx, cx};
        g.matrixY = {cy, 0, sy, 0, 1, 0, sy, 0, cy};
        g.matrixZ = {cz, sz, 0, sz, cz, 0, 0, 0, 1};
    }
}

void RotateGroups(const RotationPlan& plan, const std::vector<RotationGroup>& groups,
                  std::vector<ColumnDef>& columns) {
    const size_t values = plan.values > 0 ? static_cast<size_t>(plan.values) : 0;
    static const std::vector<double> kNoInput;
    std::array<std::vector<double>, 3> out;
    for (auto& axis : out) axis.resize(values);

    for (size_t g = 0; g < plan.groupIndices.size(); ++g) {
        const RotationGroup& group = groups[static_cast<size_t>(plan.groupIndices[g])];
        const auto& slots = plan.slots[g];
        std::array<const std::vector<double>*, 3> in{};
        for (size_t a = 0; a < 3; ++a) {
            in[a] = slots[a].inputColumn >= 0 ? &RotationInput(columns[slots[a].inputColumn]) : &kNoInput;
        }

        const double cz = group.matrixZ[0], sz = group.matrixZ[1];
        const double cy = group.matrixY[0], sy = group.matrixY[2];
        const double cx = group.matrixX[4], sx = group.matrixX[5];
        for (size_t i = 0; i < values; ++i) {
            const double x = i < in[0]->size() ? (*in[0])[i] : 0.0;
            const double y = i < in[1]->size() ? (*in[1])[i] : 0.0;
            const double z = i < in[2]->size() ? (*in[2])[i] : 0.0;

            const double t1 = cz * x + sz * y;
            const double t2 = sz * x + cz * y;
            const double t3 = z;

            const double u1 = cy * t1 + sy * t3;
            const double u2 = t2;
            const double u3 = sy * t1 + cy * t3;

            out[0][i] = u1;
            out[1][i] = cx * u2 + sx * u3;
            out[2][i] = sx * u2 + cx * u3;
        }

        for (size_t a = 0; a < 3; ++a) {
            for (int32_t c : slots[a].outputColumns) columns[c].rotated = out[a];
        }
    }
}

}  // namespace vux
