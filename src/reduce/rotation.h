#pragma once
// Rotation of three-axis column groups into the aircraft's axes.
//
// Each group number g gives one x, y and z slot. A column assigned to (g, a)
// feeds slot a of group g (its spectral density when FFT-type, else its
// samples) and receives that slot's result in its rotated array
// (WINDOW_SIZE/2 + 1 values). Two columns on the same slot: the later one
// feeds it, both get the result. An axis no column feeds reads zeros; its
// result is discarded.

#include <array>
#include <cstdint>
#include <vector>

#include "core/model.h"

namespace vux {
struct RotationSlot {
    int32_t inputColumn = -1;            // column feeding this axis; -1 = zeros
    std::vector<int32_t> outputColumns;  // columns receiving this axis's result
};

// Three row-major 3 x 3 matrices built from the absolute values of the
// sines and cosines of a group's total angles.
struct RotationMatrices {
    std::array<double, 9> x{};
    std::array<double, 9> y{};
    std::array<double, 9> z{};
};

struct RotationPlan {
    std::vector<int32_t> groups;                     // group numbers, ascending
    std::vector<std::array<RotationSlot, 3>> slots;  // x, y, z of each of those groups
    std::vector<RotationMatrices> matrices;          // of each of those groups
    int32_t values = 0;                              // WINDOW_SIZE/2 + 1
};

// The matrices of a group: total angles in radians x = (THETA_X + offsetX) k,
// y = (offsetY + THETA_Y) k, z = (offsetZ + THETA_Z) k with k = PI / 180.
RotationMatrices BuildRotationMatrices(const RotationGroupSpec& group, const RunSettings& settings);

// Assigns the rotated columns (axis 0 to 2) to their slots, builds each
// group's matrices (a group number the configuration lacks has zero offsets)
// and gives each rotated column a zeroed array in `rotated` (one entry per
// column). Groups are taken in ascending order of their numbers, whatever
// gaps there are.
RotationPlan PlanRotation(const RunConfig& config, std::vector<std::vector<double>>& rotated);

// One element's rotation in a group: w = matrixX . matrixY . matrixZ . v,
// z first, then y, then x, in double precision (`w` gets x, y, z). Every
// rotation of the run is computed by it, so a rotation of the same values
// gives the same bits anywhere.
inline void RotateElement(const RotationMatrices& group, double x, double y, double z, double* w) {
    const double cz = group.z[0], sz = group.z[1];
    const double cy = group.y[0], sy = group.y[2];
    const double cx = group.x[4], sx = group.x[5];

    const double t1 = cz * x + sz * y;
    const double t2 = sz * x + cz * y;
    const double t3 = z;

    const double u1 = cy * t1 + sy * t3;
    const double u2 = t2;
    const double u3 = sy * t1 + cy * t3;

    w[0] = u1;
    w[1] = cx * u2 + sx * u3;
    w[2] = sx * u2 + cx * u3;
}

// Rotates every planned group, z first, then y, then x, in double precision:
// w = matrixX . matrixY . matrixZ . v for each index 0 .. WINDOW_SIZE/2.
// Inputs are read when this runs; past the end of an input array they read 0.
void RotateGroups(const RotationPlan& plan, const RunConfig& config, ReduceResult& result);
}  // namespace vux
