#pragma once
// The run state: everything configuration evaluation fills and the data
// reduction and output stages read (and, for their own fields, write).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "expr/compiled_expr.h"
#include "expr/var_table.h"

namespace vux {

struct RunSettings {
    std::optional<std::string> inputPath;   // DATA_FILE; absent until set
    std::optional<std::string> outputPath;  // OUTPUT_FILE; absent until set
    int32_t windowSize = 0;                 // WINDOW_SIZE, rounded half away from zero
    int32_t sampleFreq = 0;                 // SAMPLE_FREQ, rounded half away from zero
    double pi = 0.0;
    double adcOffset = 0.0;
    double thetaX = -1.0;  // reference angles in degrees; -1.0 when not configured
    double thetaY = -1.0;
    double thetaZ = -1.0;
};

// One configured data column, in #COLUMNS order.
struct ColumnDef {
    // Set by configuration evaluation.
    std::string name;
    int32_t multPerWindow = 0;   // 0 = read once per window, 1 = read every sample
    int32_t operationType = 0;   // 0 = none, 1 = normalisation equation, 2 = FFT-type
    int32_t rotationGroup = 0;   // 0 = not rotated, else the group number (a digit)
    int32_t rotationAxis = 0;    // 0 = x, 1 = y, 2 = z
    CompiledExpr normExpr;       // when operationType is not 2
    double divisionFactor = 0.0; // when operationType is 2
    int32_t varIndex = -1;       // VarTable entry named `name`
    std::string plotType;        // #MATLAB texts; empty = absent
    std::string xLabel;
    std::string yLabel;
    std::string plotTitle;

    // Set by the data file reader: the heading paired by position (empty when
    // the headings line does not reach this column).
    std::string heading;

    // Set by window processing. Once-per-window column: element w is the value
    // of window w (the array grows with the windows). Every-sample column:
    // WINDOW_SIZE elements, element i is sample i of the current window.
    std::vector<double> samples;
    double timeOfMax = 0.0;
    double max = 0.0;
    double timeOfMin = 0.0;
    double min = 0.0;
    double mean = 0.0;

    // Set by spectral processing (FFT-type columns only): the current window's
    // bin powers, and the accumulated (finally averaged) spectral density.
    std::vector<double> power;
    std::vector<double> spectrum;

    // Set by rotation (rotated columns only): WINDOW_SIZE/2 + 1 values.
    std::vector<double> rotated;
};

// Per rotation group number: offsets in degrees as configured (radians once
// the matrices are built) and three row-major 3 x 3 matrices.
struct RotationGroup {
    int32_t group = 0;
    double offsetX = 0.0;
    double offsetY = 0.0;
    double offsetZ = 0.0;
    std::array<double, 9> matrixX{};
    std::array<double, 9> matrixY{};
    std::array<double, 9> matrixZ{};
};

struct RunState {
    RunSettings settings;
    ConstTable consts;
    VarTable vars;
    std::vector<CompiledExpr> equations;       // EquationList, in file order
    std::optional<CompiledExpr> windowFunction;
    std::optional<CompiledExpr> shortWindowFunction;
    std::vector<ColumnDef> columns;            // ColumnTable
    std::vector<RotationGroup> rotationGroups; // RotationGroupTable, in order of first mention
};

// The group numbered `group`: the first such entry, or a new one appended with
// zero offsets and zeroed matrices.
RotationGroup& FindOrAddRotationGroup(std::vector<RotationGroup>& groups, int32_t group);

}  // namespace vux
