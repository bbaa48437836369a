#pragma once
// Helpers of the reduction tests: a configuration evaluated from text with
// its result arrays and window processing's working state, scratch
// directories and small data files.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "core/model.h"
#include "reduce/window.h"
#include "support/config_builder.h"
#include "support/files.h"

using namespace vux;

namespace reduce_test {

inline constexpr double kPi = 3.14159265358979323846;

struct TestRun {
    test_support::ConfigText text;
    int32_t columns = 0;
    RunConfig config;  // evaluated by Prepare()
    ReduceResult result;
    WindowWork work;

    TestRun(int32_t windowSize, int32_t sampleFreq, double pi = kPi) {
        text.constants.clear();
        if (pi != 0.0) text.Constant("PI", test_support::Digits(pi));
        text.Window(windowSize, sampleFreq);
    }

    // A #COLUMNS line: `equation` is the normalisation equation, or the
    // division factor of an FFT-type column; a group other than 0 rotates
    // the column on `axis` (0 x, 1 y, 2 z). Returns the column's index.
    int32_t Column(const std::string& name, int32_t sampling, int32_t operation, const std::string& equation,
                   int32_t group = 0, int32_t axis = 0) {
        const std::string rotation = group == 0 ? "0" : std::to_string(group) + "xyz"[axis] + "0";
        text.Column(name + ", " + std::to_string(sampling) + ", " + std::to_string(operation) + ", " + rotation +
                    ", " + equation);
        return columns++;
    }
    void Equation(int32_t mode, const std::string& name, const std::string& equation) {
        text.Equation(mode, name, equation);
    }
    void WindowFunction(const std::string& equation) { text.WindowFunction(equation); }

    // Evaluates the configuration, sizes the result arrays as the reduction
    // does and makes window processing's working state.
    void Prepare(int32_t estimatedWindows = 0) {
        config = text.Evaluate();
        PrepareColumns(config, estimatedWindows, result);
        work = MakeWindowWork(config);
    }
    // Processes window m of n samples after the test has put the raw values in place.
    void Process(int32_t m, int32_t n) { ProcessWindow(config, work, result, m, n); }

    double Var(const std::string& name) const {
        for (const VarEntry& v : work.vars.entries) {
            if (v.name == name) return v.value;
        }
        return 0.0;
    }
    std::vector<double>& Samples(int32_t c) { return result.samples[static_cast<size_t>(c)]; }
    ColumnStats& Stats(int32_t c) { return result.stats[static_cast<size_t>(c)]; }
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
