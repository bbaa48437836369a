#include "reduce/rotation.h"

#include <algorithm>
#include <cmath>

namespace vux {
namespace {

bool TakesPart(const ColumnSpec& col) { return IsRotated(col) && col.rotationAxis >= 0 && col.rotationAxis <= 2; }

// The array a rotated column feeds its axis from.
const std::vector<double>& RotationInput(const ColumnSpec& col, const ReduceResult& result, size_t c) {
    static const std::vector<double> kNone;
    if (IsFftType(col.operation)) return c < result.spectra.size() ? result.spectra[c].density : kNone;
    return c < result.samples.size() ? result.samples[c] : kNone;
}

}  // namespace

RotationMatrices BuildRotationMatrices(const RotationGroupSpec& group, const RunSettings& settings) {
    const double k = settings.pi / 180;
    const double angleX = (settings.thetaX + group.offsetX) * k;
    const double angleY = (group.offsetY + settings.thetaY) * k;
    const double angleZ = (group.offsetZ + settings.thetaZ) * k;

    const double cx = std::fabs(std::cos(angleX));
    const double sx = std::fabs(std::sin(angleX));
    const double cy = std::fabs(std::cos(angleY));
    const double sy = std::fabs(std::sin(angleY));
    const double cz = std::fabs(std::cos(angleZ));
    const double sz = std::fabs(std::sin(angleZ));

    RotationMatrices m;
    m.x = {1, 0, 0, 0, cx, sx, 0, sx, cx};
    m.y = {cy, 0, sy, 0, 1, 0, sy, 0, cy};
    m.z = {cz, sz, 0, sz, cz, 0, 0, 0, 1};
    return m;
}

RotationPlan PlanRotation(const RunConfig& config, std::vector<std::vector<double>>& rotated) {
    RotationPlan plan;
    const int32_t windowSize = config.settings.windowSize;
    plan.values = windowSize >= 0 ? windowSize / 2 + 1 : 1;

    std::vector<int32_t>& numbers = plan.groups;
    for (const ColumnSpec& col : config.columns) {
        if (TakesPart(col)) numbers.push_back(col.rotationGroup);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());

    for (int32_t number : numbers) {
        const int32_t index = FindRotationGroup(config.rotationGroups, number);
        const RotationGroupSpec group = index >= 0 ? config.rotationGroups[static_cast<size_t>(index)]
                                                   : RotationGroupSpec{number};
        plan.matrices.push_back(BuildRotationMatrices(group, config.settings));
    }
    plan.slots.resize(numbers.size());

    rotated.assign(config.columns.size(), {});
    for (size_t c = 0; c < config.columns.size(); ++c) {
        const ColumnSpec& col = config.columns[c];
        if (!TakesPart(col)) continue;
        const size_t g = static_cast<size_t>(
            std::lower_bound(numbers.begin(), numbers.end(), col.rotationGroup) - numbers.begin());
        RotationSlot& slot = plan.slots[g][static_cast<size_t>(col.rotationAxis)];
        slot.inputColumn = static_cast<int32_t>(c);  // a later column on the same slot wins
        slot.outputColumns.push_back(static_cast<int32_t>(c));
        rotated[c].assign(static_cast<size_t>(plan.values), 0.0);
    }
    return plan;
}

void RotateGroups(const RotationPlan& plan, const RunConfig& config, ReduceResult& result) {
    const size_t values = plan.values > 0 ? static_cast<size_t>(plan.values) : 0;
    static const std::vector<double> kNoInput;
    std::array<std::vector<double>, 3> out;
    for (auto& axis : out) axis.resize(values);

    for (size_t g = 0; g < plan.groups.size(); ++g) {
        const RotationMatrices& group = plan.matrices[g];
        const auto& slots = plan.slots[g];
        std::array<const std::vector<double>*, 3> in{};
        for (size_t a = 0; a < 3; ++a) {
            const int32_t c = slots[a].inputColumn;
            in[a] = c >= 0 ? &RotationInput(config.columns[c], result, static_cast<size_t>(c)) : &kNoInput;
        }

        for (size_t i = 0; i < values; ++i) {
            const double x = i < in[0]->size() ? (*in[0])[i] : 0.0;
            const double y = i < in[1]->size() ? (*in[1])[i] : 0.0;
            const double z = i < in[2]->size() ? (*in[2])[i] : 0.0;
            double w[3];
            RotateElement(group, x, y, z, w);
            out[0][i] = w[0];
            out[1][i] = w[1];
            out[2][i] = w[2];
        }

        for (size_t a = 0; a < 3; ++a) {
            for (int32_t c : slots[a].outputColumns) result.rotated[c] = out[a];
        }
    }
}
}  // namespace vux
