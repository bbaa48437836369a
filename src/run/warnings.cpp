#include "run/warnings.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "config/config_checks.h"
#include "output/export.h"

namespace vux {

namespace {

const char* const kPrefix = "vux_reader: warning: ";

std::string Format(const char* format, auto... values) {
    const int length = std::snprintf(nullptr, 0, format, values...);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, values...);
    text.resize(static_cast<size_t>(length));
    return text;
}

std::string Count(uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The kept bytes of a field in double quotes: printable ASCII as it is but
// '"' and '\' escaped with a backslash, every other byte as \xNN; "..."
// after the quotes when the field was longer.
std::string QuotedField(const FieldFaults& faults) {
    std::string text = "\"";
    for (uint32_t i = 0; i < faults.firstLength; ++i) {
        const unsigned char c = static_cast<unsigned char>(faults.firstText[i]);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7f) {
            text += static_cast<char>(c);
        } else {
            text += Format("\\x%02x", static_cast<unsigned>(c));
        }
    }
    text += '"';
    if (faults.firstCut) text += "...";
    return text;
}

std::string Reader(const UnsetName& unset) {
    switch (unset.role) {
        case ExprRole::WindowFunction: return "window function " + unset.expression;
        case ExprRole::Equation: return "equation " + unset.expression;
        case ExprRole::Normalisation: break;
    }
    return "the equation of column " + unset.expression;
}

}  // namespace

std::vector<std::string> ConfigurationWarnings(const RunState& state) {
    std::vector<std::string> lines;
    for (const UnsetName& unset : FindUnsetNames(state)) {
        lines.push_back(kPrefix + Reader(unset) + " reads " + unset.name +
                        ", which no constant above it, no column and no equation sets: it reads 0");
    }
    for (const ColumnDef& column : state.columns) {
        const std::string exported = column.name + ExportSuffix(column);
        if (IsMatlabVariableName(exported)) continue;
        lines.push_back(kPrefix + ("column " + column.name) + ": MATLAB cannot load its vector " + exported +
                        " (a name needs a letter first, then letters, digits or _, at most 63 characters)");
    }
    return lines;
}

std::vector<std::string> DataWarnings(const RunState& state, const ReduceOutcome& outcome) {
    const DataQuality& quality = outcome.quality;
    const std::string path = state.settings.inputPath.value_or("");
    std::vector<std::string> lines;

    if (quality.shortRows > 0) {
        const bool one = quality.shortRows == 1;
        lines.push_back(kPrefix + Count(quality.shortRows, "row", "rows") + " of " + path +
                        (one ? " has" : " have") + " fewer fields than the " +
                        Count(state.columns.size(), "configured column", "configured columns") +
                        (one ? " (line " : " (first at line ") + std::to_string(quality.firstShortLine) +
                        "); a missing field keeps the value an earlier window left in its place, or 0");
    }
    for (size_t c = 0; c < quality.fields.size() && c < state.columns.size(); ++c) {
        const FieldFaults& faults = quality.fields[c];
        if (faults.count == 0) continue;
        const bool one = faults.count == 1;
        lines.push_back(kPrefix + ("column " + state.columns[c].name) + ": " +
                        Count(faults.count, "field is not a number", "fields are not numbers") +
                        (one ? " (line " : " (first at line ") + std::to_string(faults.firstLine) + ": " +
                        QuotedField(faults) +
                        (one ? "); it reads as its leading number, 0 when it has none"
                             : "); each reads as its leading number, 0 when it has none"));
    }
    const int32_t frequency = state.settings.sampleFreq;
    if (std::isfinite(quality.firstWindowStep) && frequency > 0 && !state.columns.empty()) {
        const double expected = 1.0 / frequency;
        if (std::fabs(quality.firstWindowStep - expected) > 0.01 * expected) {
            lines.push_back(kPrefix + Format("time base: %s steps by %g in the first window (median) but "
                                             "SAMPLE_FREQ = %d gives %g",
                                             state.columns[0].name.c_str(), quality.firstWindowStep,
                                             frequency, expected));
        }
    }
    const int32_t windowSize = state.settings.windowSize;
    if (outcome.processedWindows > 0 && windowSize > 0 && static_cast<uint64_t>(windowSize) > quality.rows) {
        lines.push_back(kPrefix + ("WINDOW_SIZE " + std::to_string(windowSize)) + " is larger than the " +
                        std::to_string(quality.rows) + " rows " + path + " holds");
    }
    if (outcome.processedWindows == 0) {
        lines.push_back(kPrefix + ("no window was processed: data file " + path) +
                        " has fewer than 2 complete rows after its headings line; means and spectra are NaN");
    }
    return lines;
}

void PrintWarnings(const std::vector<std::string>& lines, bool consoleLineOpen) {
    if (lines.empty()) return;
    std::fflush(stdout);
    if (consoleLineOpen && isatty(STDOUT_FILENO) && isatty(STDERR_FILENO)) std::fputc('\n', stderr);
    for (const std::string& line : lines) {
        std::fputs(line.c_str(), stderr);
        std::fputc('\n', stderr);
    }
    std::fflush(stderr);
}

}  // namespace vux
