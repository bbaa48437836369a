#pragma once
// Rotation of three-axis column groups into the aircraft's axes.
//
// Each group number g gives one x, y and z slot. A column assigned to (g, a)
// feeds slot a of group g (its `spectrum` when FFT-type, else its `samples`)
// and receives that slot's result in its `rotated` (WINDOW_SIZE/2 + 1
// values). Two columns on the same slot: the later one feeds it, both get the
// result. An axis no column feeds reads zeros; its result is discarded.

#include <array>
#include <cstdint>
#include <vector>

#include "config/run_state.h"

namespace vux {

struct RotationSlot {
    int32_t inputColumn = -1;            // column feeding this axis; -1 = zeros
    std::vector<int32_t> outputColumns;  // columns receiving this axis's result
};

struct RotationPlan {
    std::vector<int32_t> groupIndices;             // RotationGroupTable entries, ascending group number
    std::vector<std::array<RotationSlot, 3>> slots;  // x, y, z of each of those groups
    int32_t values = 0;                            // WINDOW_SIZE/2 + 1
};

// Assigns the columns with a non-zero `rotationGroup` (and an axis 0 to 2) to
// their slots and gives each of them a zeroed `rotated` array. Groups are
// taken in ascending order of their numbers, whatever gaps there are; a
// group number that the table lacks is appended to it. Entries numbered 0
// take part in nothing.
RotationPlan SetUpRotationSlots(std::vector<ColumnDef>& columns, std::vector<RotationGroup>& groups,
                                int32_t windowSize);

// For every group with a non-zero number: replaces the offsets by the total
// angles in radians, x = (THETA_X + offsetX) k, y = (offsetY + THETA_Y) k,
// z = (offsetZ + THETA_Z) k with k = PI / 180, and fills the three matrices
// from the absolute values of the angles' sines and cosines.
void BuildRotationMatrices(std::vector<RotationGroup>& groups, const RunSettings& settings);

// Rotates every planned group, z first, then y, then x, in double precision:
// w = matrixX . matrixY . matrixZ . v for each index 0 .. WINDOW_SIZE/2.
// Inputs are read when this runs; past the end of an input array they read 0.
void RotateGroups(const RotationPlan& plan, const std::vector<RotationGroup>& groups,
                  std::vector<ColumnDef>& columns);

}  // namespace vux
