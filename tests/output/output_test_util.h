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

#include "core/model.h"
#include "support/config_builder.h"
#include "support/files.h"
#include "support/process.h"

using namespace vux;

using namespace vux;

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

// A configuration evaluated from #COLUMNS and #MATLAB lines (WINDOW_SIZE
// `windowSize`, SAMPLE_FREQ 10000), writing to `outputPath`.
inline RunConfig ConfigWith(const std::string& outputPath, const std::vector<std::string>& columns,
                            const std::vector<std::string>& plots, int32_t windowSize = 10000) {
    test_support::ConfigText text;
    text.Window(windowSize, 10000);
    for (const std::string& line : columns) text.Column(line);
    for (const std::string& line : plots) text.Plot(line);
    RunConfig config = text.Evaluate();
    config.settings.outputPath = outputPath;  // any path, blanks included
    return config;
}

// The columns, groups and plot texts of the default configuration.
inline const std::vector<std::string> kDefaultColumns = {
    "TIME, 1, 0, 0, 0",       "PRES, 0, 1, 0, input",   "TEMP, 0, 1, 0, input",   "HUMD, 0, 1, 0, input",
    "ANGX, 1, 2, 1x0, 1.23",  "ANGY, 1, 2, 1y0, 1.25",  "ANGZ, 1, 2, 1z0, 1.27",  "LINX, 1, 2, 2x0, 108.4",
    "LINY, 1, 2, 2y90, 100.4", "LINZ, 1, 2, 2z0, 104.3",
};
inline const std::vector<std::string> kDefaultPlots = {
    "TIME, 0, 0, 0, 0",
    "PRES, plot, seconds, psia, 0",
    "TEMP, plot, seconds, degreesCelsius, 0",
    "HUMD, plot, seconds, RelativeHumidity, 0",
    "ANGX, loglog, Hz, deg^2/s, X Ang Rate Pwr Spectral Density",
    "ANGY, loglog, Hz, deg^2/s, Y Ang Rate Pwr Spectral Density",
    "ANGZ, loglog, Hz, deg^2/s, Z Ang Rate Pwr Spectral Density",
    "LINX, loglog, Hz, g^2/Hz, X Lin Accel Pwr Spectral Density",
    "LINY, loglog, Hz, g^2/Hz, Y Lin Accel Pwr Spectral Density",
    "LINZ, loglog, Hz, g^2/Hz, Z Lin Accel Pwr Spectral Density",
};

inline RunConfig DefaultLikeConfig(const std::string& outputPath, int32_t windowSize = 10000) {
    return ConfigWith(outputPath, kDefaultColumns, kDefaultPlots, windowSize);
}

// Result arrays for every column of `config`, all empty.
inline ReduceResult EmptyResult(const RunConfig& config) {
    ReduceResult result;
    const size_t count = config.columns.size();
    result.samples.resize(count);
    result.spectra.resize(count);
    result.rotated.resize(count);
    result.stats.resize(count);
    return result;
}

}  // namespace output_test
