// Configuration evaluation: reads the file line by line and turns each
// section's events into the run state.

#include "config/evaluate.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "config/line_reader.h"
#include "expr/compiled_expr.h"
#include "expr/var_table.h"
#include "core/error.h"

namespace vux {
namespace {

// The leading decimal integer of `text` the way atoi reads it (blanks, an
// optional sign, digits; 0 when there are none), saturated to the int32
// range instead of overflowing.
int32_t ParseInt(const std::string& text) {
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// The leading decimal number of `text` the way atof reads it (0.0 when there
// is none).
double ParseDouble(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// True when ParseDouble reads all of `text` but white space around it.
bool IsWhollyANumber(const std::string& text) {
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    if (end == text.c_str()) return false;
    return std::all_of(static_cast<const char*>(end), text.c_str() + text.size(),
                       [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
}

// `value` rounded to the nearest integer, halves away from zero, clamped into
// the int32 range; NaN gives 0.
int32_t RoundToInt32(double value) {
    if (std::isnan(value)) return 0;
    double rounded = std::round(value);
    if (rounded >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (rounded <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(rounded);
}

// Evaluation state besides the run state: the fields of the #COLUMNS or
// #MATLAB line read so far. A line's fields take effect only once its value
// is read, so a short line changes nothing.
struct Evaluation {
    RunConfig& state;
    const ConfigLineReader& reader;
    int32_t mode = 0;          // #EQUATIONS mode for the lines that follow
    ColumnSpec column;          // the #COLUMNS line being read
    int32_t plotTarget = -1;   // the #MATLAB line's column, -1 when none matches
    std::string plotType, xLabel;

    Evaluation(RunConfig& runState, const ConfigLineReader& lines) : state(runState), reader(lines) {}

    void StringsKey(const std::string& key, std::string& value) {
        if (key == "DATA_FILE") state.settings.inputPath = std::move(value);
        else if (key == "OUTPUT_FILE") state.settings.outputPath = std::move(value);
    }

    void ConstantsKey(const std::string& name, const std::string& text) {
        double value = ParseDouble(text);
        const bool nameHasControl =
            std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
        if (nameHasControl || !IsWhollyANumber(text)) {
            std::string_view line = reader.Line();
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
            state.constantFaults.push_back(
                ConstantLineFault{reader.LineNumber(), std::string(line), value, nameHasControl, !IsWhollyANumber(text)});
        }
        AddConst(state.consts, name, value);
        RunSettings& s = state.settings;
        if (name == "WINDOW_SIZE") s.windowSize = RoundToInt32(value);
        else if (name == "SAMPLE_FREQ") s.sampleFreq = RoundToInt32(value);
        else if (name == "PI") s.pi = value;
        else if (name == "ADC_OFFSET") s.adcOffset = value;
        else if (name == "THETA_X") s.thetaX = value;
        else if (name == "THETA_Y") s.thetaY = value;
        else if (name == "THETA_Z") s.thetaZ = value;
        else if (name == "RUN_RECORD") s.runRecord = RoundToInt32(value) == 1;
        else if (name == "TIME_HISTORY") s.timeHistory = RoundToInt32(value) == 1;
    }

    // The short window's function is the window function with its first
    // WINDOW_SIZE read as LINE_COUNT.
    void WindowFunctionKey(const std::string& key, const std::string& text) {
        state.windowFunction = CompileExpr(key, text, state.consts, state.vars);
        constexpr std::string_view kSize = "WINDOW_SIZE";
        std::string shortText = text;
        if (const std::size_t at = text.find(kSize); at != std::string::npos) shortText.replace(at, kSize.size(), "LINE_COUNT");
        state.shortWindowFunction = CompileExpr("SHORT_WINDOW", shortText, state.consts, state.vars);
    }

    void EquationKey(const std::string& name, const std::string& text) {
        CompiledExpr equation = CompileExpr(name, text, state.consts, state.vars);
        equation.mode = mode;
        state.equations.push_back(std::move(equation));
    }

    // Field 4, the rotation code: "0", or group digit, axis letter, offset
    // angle (at most eight characters of it are read).
    void RotationCode(const std::string& code) {
        column.rotationGroup = 0;
        column.rotationAxis = 0;
        if (code == "0") return;
        int32_t group = (!code.empty() && code[0] >= '0' && code[0] <= '9') ? code[0] - '0' : 0;
        char axisLetter = code.size() > 1 ? code[1] : '\0';
        if (axisLetter != 'x' && axisLetter != 'y' && axisLetter != 'z') return;  // not rotated
        double offset = ParseDouble(code.substr(2, 8));
        int32_t index = FindRotationGroup(state.rotationGroups, group);
        if (index < 0) {
            index = static_cast<int32_t>(state.rotationGroups.size());
            state.rotationGroups.push_back(RotationGroupSpec{group});
        }
        RotationGroupSpec& entry = state.rotationGroups[static_cast<size_t>(index)];
        column.rotationGroup = group;
        if (axisLetter == 'x') {
            column.rotationAxis = 0;
            entry.offsetX = offset;
        } else if (axisLetter == 'y') {
            column.rotationAxis = 1;
            entry.offsetY = offset;
        } else {
            column.rotationAxis = 2;
            entry.offsetZ = offset;
        }
    }

    void ColumnField(int field, const std::string& token) {
        switch (field) {
            case 0:
                column = ColumnSpec{};
                column.name = token;
                return;
            case 1: column.sampling = static_cast<Sampling>(ParseInt(token)); return;
            case 2: column.operation = static_cast<Operation>(ParseInt(token)); return;
            default: return;
        }
    }

    void ColumnValue(const std::string& code, const std::string& rest) {
        RotationCode(code);
        if (HasEquation(column.operation)) {
            column.normExpr = CompileExpr(column.name, rest, state.consts, state.vars);
        } else {
            column.divisionFactor = ParseDouble(rest);
        }
        column.varIndex = FindOrAddVar(state.vars, column.name);
        state.columns.push_back(std::move(column));
        column = ColumnSpec{};
    }

    // "0" stands for an empty plot field.
    static std::string PlotText(std::string& text) { return text == "0" ? std::string() : std::move(text); }

    void PlotField(int field, std::string& token) {
        switch (field) {
            case 0: {
                const std::string name = PlotText(token);
                plotTarget = -1;
                for (std::size_t i = 0; i < state.columns.size(); ++i) {
                    if (state.columns[i].name == name) {
                        plotTarget = static_cast<int32_t>(i);
                        break;
                    }
                }
                return;
            }
            case 1: plotType = PlotText(token); return;
            case 2: xLabel = PlotText(token); return;
            default: return;
        }
    }

    void PlotValue(std::string& yLabel, std::string& title) {
        if (plotTarget < 0) return;
        ColumnSpec& target = state.columns[static_cast<std::size_t>(plotTarget)];
        target.plotType = std::move(plotType);
        target.xLabel = std::move(xLabel);
        target.yLabel = PlotText(yLabel);
        target.plotTitle = PlotText(title);
    }

    void Field(ConfigEvent& event) {
        switch (reader.Section()) {
            case SectionEquations: mode = ParseInt(event.token); break;
            case SectionColumns: ColumnField(event.field, event.token); break;
            case SectionMatlab: PlotField(event.field, event.token); break;
            default: break;
        }
    }

    void Value(ConfigEvent& event) {
        switch (reader.Section()) {
            case SectionStrings: StringsKey(event.token, event.value); break;
            case SectionConstants: ConstantsKey(event.token, event.value); break;
            case SectionWindowFunction: WindowFunctionKey(event.token, event.value); break;
            case SectionEquations: EquationKey(event.token, event.value); break;
            case SectionColumns: ColumnValue(event.token, event.value); break;
            case SectionMatlab: PlotValue(event.token, event.value); break;
            default: break;
        }
    }
};

// Memory the arrays sized by WINDOW_SIZE take, roughly, in bytes: per sample
// the window tables and the transform's buffers, one value per every-sample
// column, power and spectrum per FFT-type column, half a value per rotated
// column.
double WindowMemoryBytes(const RunConfig& state) {
    double valuesPerSample = 4.0;
    for (const ColumnSpec& column : state.columns) {
        if (IsEverySample(column.sampling)) valuesPerSample += 1.0;
        if (IsFftType(column.operation)) valuesPerSample += 2.0;
        if (IsRotated(column)) valuesPerSample += 0.5;
    }
    return valuesPerSample * sizeof(double) * state.settings.windowSize;
}

// The machine's physical memory in bytes (infinity when it cannot be told).
double PhysicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return std::numeric_limits<double>::infinity();
    return static_cast<double>(pages) * static_cast<double>(pageSize);
}

}  // namespace

RunConfig EvaluateConfig(UniqueFile file, const ConfigObserver& observer) {
    if (observer) observer({ConfigStep::Evaluating});
    RunConfig state;
    ConfigLineReader reader(file.get(), &observer);
    Evaluation evaluation(state, reader);
    while (reader.NextLine()) {
        ConfigEvent event;
        while ((event = reader.NextEvent()).kind == ConfigEventKind::Field) evaluation.Field(event);
        if (event.kind == ConfigEventKind::Value) evaluation.Value(event);
    }
    file.reset();
    if (observer) observer({ConfigStep::Evaluated});
    return state;
}

void ValidateRunSettings(const RunConfig& state) {
    const RunSettings& s = state.settings;
    if (s.windowSize < 2) {
        Error error;
        error.kind = ErrorKind::WindowSizeTooSmall;
        error.number = s.windowSize;
        Fail(std::move(error));
    }
    // Refused here rather than failing an allocation in the middle of the run.
    const double needed = WindowMemoryBytes(state);
    const double available = PhysicalMemoryBytes();
    if (needed > available) {
        Error error;
        error.kind = ErrorKind::WindowSizeTooLarge;
        error.number = s.windowSize;
        error.needed = needed;
        error.available = available;
        Fail(std::move(error));
    }
    if (s.sampleFreq < 1) {
        Error error;
        error.kind = ErrorKind::SampleFreqTooSmall;
        error.number = s.sampleFreq;
        Fail(std::move(error));
    }
    if (!state.windowFunction) {
        for (const ColumnSpec& column : state.columns) {
            if (IsFftType(column.operation)) {
                Error error;
                error.kind = ErrorKind::NoWindowFunction;
                error.name = column.name;
                Fail(std::move(error));
            }
        }
    }
}
}  // namespace vux
