#pragma once
// Shared helpers of the output tests: scratch directories, whole-file reads,
// shell commands, the independent MAT-file readers and a hand-made run state
// shaped like the default configuration.

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/run_state.h"
#include "support/files.h"
#include "support/process.h"

namespace output_test {

using test_support::EntriesIn;
using test_support::ReadFile;
using test_support::ScratchDir;
using test_support::WriteFile;

// While it lives, every write that would grow a file of this process past
// `bytes` fails with EFBIG (SIGXFSZ ignored), as on a full disk; -1: no limit.
struct FileSizeLimit {
    explicit FileSizeLimit(long long bytes) : active(bytes >= 0) {
        if (!active) return;
        getrlimit(RLIMIT_FSIZE, &saved);
        previousAction = signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(bytes), saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        if (!active) return;
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, previousAction);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool active;
    rlimit saved{};
    sighandler_t previousAction = SIG_DFL;
};

// Little-endian unsigned 32-bit word at `offset`.
inline uint32_t Word(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes.at(offset + static_cast<size_t>(i)));
    }
    return value;
}

inline std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) {
        out.push_back(static_cast<char>(v));
    }
    return out;
}

struct CommandResult {
    int status = -1;  // the command's exit status, -1 when it did not exit normally
    std::string output;
};

// Runs `command` through the shell, collecting its standard output and, when
// `withErrors`, its standard error (else that goes to the test's own).
inline CommandResult RunCommand(const std::string& command, bool withErrors = true) {
    const test_support::Ran ran = test_support::RunShell(command + (withErrors ? " 2>&1" : ""));
    return {ran.exit.Exited() ? ran.exit.status : -1, ran.out};
}

inline std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// Directory of the output tests' helper scripts.
inline std::string ScriptDir() {
    if (const char* source = std::getenv("VUX_SOURCE_DIR"); source != nullptr) {
        return std::string(source) + "/tests/output";
    }
    return VUX_OUTPUT_TEST_DIR;
}

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kOctave = "/usr/bin/octave-cli";

// Empty when Debian's Python has scipy and numpy, else what is missing.
inline std::string MissingScipy() {
    if (access(kPython, X_OK) != 0) {
        return "python3 (/usr/bin/python3) is not installed";
    }
    if (RunCommand(std::string(kPython) + " -c 'import numpy, scipy.io'").status != 0) {
        return "python3-scipy and python3-numpy are not installed";
    }
    return "";
}

inline std::string MissingOctave() {
    return access(kOctave, X_OK) == 0 ? "" : "octave (/usr/bin/octave-cli) is not installed";
}

inline std::string OctaveCommand(const std::string& code) {
    return std::string(kOctave) + " --no-gui --norc --quiet --eval " + ShellQuote(code);
}

// Bits of a double as 16 lower-case hex digits.
inline std::string Hex(double value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
    return text;
}

// One reader listing line: "name rows cols double hex,hex,...".
inline std::string ListingLine(const std::string& name, const std::vector<double>& values) {
    std::string line = name + " " + std::to_string(values.size()) + " 1 double ";
    for (size_t i = 0; i < values.size(); ++i) {
        if (i != 0) line += ',';
        line += Hex(values[i]);
    }
    return line + "\n";
}

inline ColumnDef Column(const std::string& name, int32_t multPerWindow, int32_t operationType,
                        int32_t rotationGroup = 0, int32_t rotationAxis = 0) {
    ColumnDef column;
    column.name = name;
    column.multPerWindow = multPerWindow;
    column.operationType = operationType;
    column.rotationGroup = rotationGroup;
    column.rotationAxis = rotationAxis;
    return column;
}

inline void SetPlot(ColumnDef& column, const std::string& type, const std::string& xLabel,
                    const std::string& yLabel, const std::string& title) {
    column.plotType = type;
    column.xLabel = xLabel;
    column.yLabel = yLabel;
    column.plotTitle = title;
}

inline void AddGroup(RunState& state, int32_t number) {
    RotationGroup group;
    group.group = number;
    state.rotationGroups.push_back(group);
}

// The columns, groups and plot texts of the default configuration (no data).
inline RunState DefaultLikeState(const std::string& outputPath, int32_t windowSize = 10000) {
    RunState state;
    state.settings.outputPath = outputPath;
    state.settings.windowSize = windowSize;
    state.settings.sampleFreq = 10000;
    state.columns.push_back(Column("TIME", 1, 0));
    state.columns.push_back(Column("PRES", 0, 1));
    state.columns.push_back(Column("TEMP", 0, 1));
    state.columns.push_back(Column("HUMD", 0, 1));
    const char* axes = "XYZ";
    for (int32_t axis = 0; axis < 3; ++axis) {
        state.columns.push_back(Column(std::string("ANG") + axes[axis], 1, 2, 1, axis));
    }
    for (int32_t axis = 0; axis < 3; ++axis) {
        state.columns.push_back(Column(std::string("LIN") + axes[axis], 1, 2, 2, axis));
    }
    SetPlot(state.columns[1], "plot", "seconds", "psia", "");
    SetPlot(state.columns[2], "plot", "seconds", "degreesCelsius", "");
    SetPlot(state.columns[3], "plot", "seconds", "RelativeHumidity", "");
    for (int32_t axis = 0; axis < 3; ++axis) {
        SetPlot(state.columns[4 + axis], "loglog", "Hz", "deg^2/s",
                std::string(1, axes[axis]) + " Ang Rate Pwr Spectral Density");
        SetPlot(state.columns[7 + axis], "loglog", "Hz", "g^2/Hz",
                std::string(1, axes[axis]) + " Lin Accel Pwr Spectral Density");
    }
    AddGroup(state, 1);
    AddGroup(state, 2);
    return state;
}

}  // namespace output_test
