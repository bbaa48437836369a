#pragma once
// Helpers of the reduction tests: a run state built by hand (settings,
// compiled equations and columns, as the configuration would give them),
// and small data files.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "config/run_state.h"
#include "expr/compiled_expr.h"
#include "support/files.h"

namespace reduce_test {

inline constexpr double kPi = 3.14159265358979323846;

struct TestRun {
    RunState state;

    TestRun(int32_t windowSize, int32_t sampleFreq, double pi = kPi) {
        state.settings.windowSize = windowSize;
        state.settings.sampleFreq = sampleFreq;
        state.settings.pi = pi;
        AddConst(state.consts, "WINDOW_SIZE", windowSize);
        AddConst(state.consts, "SAMPLE_FREQ", sampleFreq);
        if (pi != 0.0) AddConst(state.consts, "PI", pi);
    }

    // A #COLUMNS line: `text` is the normalisation equation, or the division
    // factor of an FFT-type column. Returns the column's index.
    int32_t Column(const std::string& name, int32_t multPerWindow, int32_t operationType,
                   const std::string& text, int32_t group = 0, int32_t axis = 0) {
        ColumnDef col;
        col.name = name;
        col.multPerWindow = multPerWindow;
        col.operationType = operationType;
        col.rotationGroup = group;
        col.rotationAxis = axis;
        if (operationType == 2) {
            col.divisionFactor = std::atof(text.c_str());
        } else {
            col.normExpr = CompileExpr(name, text, state.consts, state.vars);
        }
        col.varIndex = FindOrAddVar(state.vars, name);
        state.columns.push_back(std::move(col));
        return static_cast<int32_t>(state.columns.size() - 1);
    }

    void Equation(int32_t mode, const std::string& name, const std::string& text) {
        CompiledExpr e = CompileExpr(name, text, state.consts, state.vars);
        e.mode = mode;
        state.equations.push_back(std::move(e));
    }

    // The #WINDOW_FUNCTION line: both the full and the short-window function.
    void WindowFunction(const std::string& text) {
        state.windowFunction = CompileExpr("WINDOW_FUNCTION", text, state.consts, state.vars);
        std::string shortText = text;
        const size_t at = shortText.find("WINDOW_SIZE");
        if (at != std::string::npos) shortText.replace(at, 11, "LINE_COUNT");
        state.shortWindowFunction = CompileExpr("SHORT_WINDOW", shortText, state.consts, state.vars);
    }

    double& Var(const std::string& name) {
        return state.vars.entries[static_cast<size_t>(FindOrAddVar(state.vars, name))].value;
    }
    ColumnDef& Col(int32_t index) { return state.columns[static_cast<size_t>(index)]; }
};

// Writes a data file: one header line, the marker line, the headings line and
// the rows, every line ended by CR LF.
inline void WriteDataFile(const std::string& path, const std::string& headings,
                          const std::vector<std::string>& rows) {
    std::ofstream out(path, std::ios::binary);
    out << "Test header\r\n"
        << "Data Starts Here,,,,,,,,,,,,,,,,,,,\r\n"
        << headings << "\r\n";
    for (const std::string& row : rows) out << row << "\r\n";
}

}  // namespace reduce_test
