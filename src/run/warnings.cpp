#include "run/warnings.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "config/config_checks.h"
#include "config/config_file.h"
#include "run/text.h"

namespace vux {
namespace {

std::string Count(uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// `bytes` in double quotes: printable ASCII as it is but '"' and '\' escaped
// with a backslash, every other byte as \xNN.
std::string Quoted(std::string_view bytes) {
    std::string text = "\"";
    for (const char byte : bytes) {
        const unsigned char c = static_cast<unsigned char>(byte);
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
    return text;
}

// The kept bytes of a field quoted, "..." after the quotes when the field
// was longer.
std::string QuotedField(const FieldFaults& faults) {
    std::string text = Quoted(std::string_view(faults.firstText.data(), faults.firstLength));
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

std::vector<std::string> ConfigurationWarnings(const RunConfig& config) {
    std::vector<std::string> lines;
    for (const ConstantLineFault& fault : config.constantFaults) {
        const std::string where = Format("%s%s line %llu, %s: ", kWarning, kConfigFileName,
                                         static_cast<unsigned long long>(fault.line), Quoted(fault.text).c_str());
        if (fault.nameHasControl) {
            lines.push_back(where + "the constant's name holds a control character, so it is no key of the name it "
                                    "looks like");
        }
        if (fault.valueNotANumber) {
            lines.push_back(where + Format("the value is not wholly a number; it reads as %.17g", fault.value));
        }
    }
    // The angles turn rotated groups; one that is not configured is -1 degrees.
    const bool rotated = std::any_of(config.columns.begin(), config.columns.end(),
                                     [](const ColumnSpec& column) { return IsRotated(column); });
    for (const char* angle : {"THETA_X", "THETA_Y", "THETA_Z"}) {
        const bool configured = std::any_of(config.consts.entries.begin(), config.consts.entries.end(),
                                            [angle](const ConstEntry& entry) { return entry.name == angle; });
        if (rotated && !configured) {
            lines.push_back(Format("%s%s has no %s line in #CONSTANTS: -1 degrees used", kWarning, kConfigFileName,
                                   angle));
        }
    }
    const int32_t windowSize = config.settings.windowSize;
    if (windowSize > 2 && windowSize % 2 != 0) {
        lines.push_back(Format("%sWINDOW_SIZE %d is odd: every window is processed and transformed on its first %d "
                               "rows, so the spectra's bins are %g Hz apart",
                               kWarning, static_cast<int>(windowSize), static_cast<int>(windowSize - 1),
                               static_cast<double>(config.settings.sampleFreq) / (windowSize - 1)));
    }
    for (const UnsetName& unset : FindUnsetNames(config)) {
        lines.push_back(kWarning + Reader(unset) + " reads " + unset.name +
                        ", which no constant above it, no column and no equation sets: it reads 0");
    }
    for (const ColumnSpec& column : config.columns) {
        const std::string exported = ExportName(column);
        if (IsMatlabVariableName(exported)) continue;
        lines.push_back(kWarning + ("column " + column.name) + ": MATLAB cannot load its vector " + exported +
                        " (a name needs a letter first, then letters, digits or _, at most 63 characters)");
    }
    return lines;
}

std::vector<std::string> DataWarnings(const RunConfig& config, const ReduceResult& result) {
    const DataQuality& quality = result.quality;
    const std::string path = config.settings.inputPath.value_or("");
    const auto& columns = config.columns;
    std::vector<std::string> lines;

    if (quality.overlongLines > 0) {
        const bool one = quality.overlongLines == 1;
        lines.push_back(kWarning + Count(quality.overlongLines, "line", "lines") + " of " + path +
                        (one ? " is" : " are") + " longer than " + std::to_string(kLongestRow >> 20) + " MiB and" +
                        (one ? " was skipped (line " : " were skipped (first at line ") +
                        std::to_string(quality.firstOverlongLine) + ")");
    }
    if (quality.shortRows > 0) {
        const bool one = quality.shortRows == 1;
        lines.push_back(kWarning + Count(quality.shortRows, "row", "rows") + " of " + path +
                        (one ? " has" : " have") + " fewer fields than the " +
                        Count(columns.size(), "configured column", "configured columns") +
                        (one ? " (line " : " (first at line ") + std::to_string(quality.firstShortLine) +
                        "); a missing field keeps the value an earlier window left in its place, or 0");
    }
    for (size_t c = 0; c < quality.fields.size() && c < columns.size(); ++c) {
        const FieldFaults& faults = quality.fields[c];
        if (faults.count == 0) continue;
        const bool one = faults.count == 1;
        lines.push_back(kWarning + ("column " + columns[c].name) + ": " +
                        Count(faults.count, "field is not a number", "fields are not numbers") +
                        (one ? " (line " : " (first at line ") + std::to_string(faults.firstLine) + ": " +
                        QuotedField(faults) +
                        (one ? "); it reads as its leading number, 0 when it has none"
                             : "); each reads as its leading number, 0 when it has none"));
    }
    const int32_t frequency = config.settings.sampleFreq;
    if (std::isfinite(quality.meanStep) && quality.meanStep != 0.0 && frequency > 0 && !columns.empty()) {
        const double expected = 1.0 / frequency;
        if (std::fabs(quality.meanStep - expected) > 0.01 * expected) {
            lines.push_back(kWarning + Format("time base: %s advances by %g per row on average over %llu rows "
                                              "(%g Hz) but SAMPLE_FREQ = %d Hz",
                                              columns[0].name.c_str(), quality.meanStep,
                                              static_cast<unsigned long long>(quality.steppedRows),
                                              1.0 / quality.meanStep, frequency));
        }
    }
    const int32_t windowSize = config.settings.windowSize;
    if (result.processedWindows > 0 && windowSize > 0 && static_cast<uint64_t>(windowSize) > quality.rows) {
        lines.push_back(kWarning + ("WINDOW_SIZE " + std::to_string(windowSize)) + " is larger than the " +
                        std::to_string(quality.rows) + " rows " + path + " holds");
    }
    // A once-per-window column that is not normalised keeps one value per
    // window in an array that is exported at WINDOW_SIZE values.
    if (windowSize > 0 && result.processedWindows > windowSize) {
        for (const ColumnSpec& column : columns) {
            if (!IsOncePerWindow(column.sampling) || ExportKindOf(column) != ExportKind::Samples) continue;
            lines.push_back(kWarning + Format("column %s is read once per window with operation %d: only the first "
                                              "%d of its %d per-window values are exported (%s) and its mean is "
                                              "not computed",
                                              column.name.c_str(), static_cast<int>(column.operation), windowSize,
                                              static_cast<int>(result.processedWindows), ExportName(column).c_str()));
        }
    }
    if (result.processedWindows == 0) {
        lines.push_back(kWarning + ("no window was processed: data file " + path) +
                        " has fewer than 2 complete rows after its headings line; means and spectra are NaN");
    }
    return lines;
}

std::vector<std::string> ThreadWarnings(const char* override, const ThreadChoice& choice) {
    if (override == nullptr || !choice.overrideIgnored) return {};
    FieldFaults text;  // quoted like a field: any bytes may come from the environment
    const size_t length = std::strlen(override);
    text.firstLength = static_cast<uint32_t>(std::min(length, kKeptFieldBytes));
    text.firstCut = length > kKeptFieldBytes;
    std::memcpy(text.firstText.data(), override, text.firstLength);
    return {Format("%sVUX_THREADS=%s is not a whole number from 1 to %d and is ignored: reading on %d threads",
                   kWarning, QuotedField(text).c_str(), static_cast<int>(kMaxThreads),
                   static_cast<int>(choice.threads))};
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
