#include "run/console.h"

#include <cstdio>
#include <initializer_list>
#include <string_view>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "config/config_checks.h"
#include "config/config_file.h"
#include "config/scratch_config.h"
#include "run/command_line.h"

namespace vux {
namespace {

// The pieces one after the other (std::string's + draws false -Wrestrict
// warnings from GCC 12).
std::string Join(std::initializer_list<std::string_view> pieces) {
    std::string text;
    size_t size = 0;
    for (std::string_view piece : pieces) size += piece.size();
    text.reserve(size);
    for (std::string_view piece : pieces) text += piece;
    return text;
}

std::string GibiBytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GiB", bytes / 1073741824.0);
    return text;
}

// How a message names "recfg": with its target when that is not vux_reader.cfg.
std::string ScratchLabel(const std::string& target) {
    if (target == kConfigFileName) return kScratchConfigName;
    return Join({kScratchConfigName, " (for ", target, ")"});
}

const char* const kWarning = "vux_reader: warning: ";

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

// Why a command-line value cannot be set (ArgumentRefused).
std::string ArgumentRefusedMessage(const Error& e) {
    const std::string value = Join({"\"", e.other, "\""});
    std::string why;
    switch (static_cast<ArgumentFault>(e.number)) {
        case ArgumentFault::LineBreak: why = "it holds a line break"; break;
        case ArgumentFault::Blank:
            why = Join({value, " holds a blank, which ", kConfigFileName, " cannot keep in a value"});
            break;
        case ArgumentFault::Percent: why = Join({value, " holds a %, which starts a comment in ", kConfigFileName}); break;
        case ArgumentFault::Empty: why = "the path is empty"; break;
        case ArgumentFault::NoFileName: why = Join({value, " ends in a directory separator and names no file"}); break;
        case ArgumentFault::LeadingDash:
            why = Join({value, " begins with '-' like an option; write ./", e.other, " to name such a file"});
            break;
        case ArgumentFault::NotANumber:
            why = Join({value, " is not a number of degrees (write it like -90, 12.5 or 1e2)"});
            break;
        case ArgumentFault::NotFinite: why = Join({value, " is too large: an angle must be a finite number"}); break;
    }
    return Join({"\nCannot set ", e.name, " from the command line: ", why, "\n"});
}

// "directory <path>", or "the working directory" for an empty path.
std::string Directory(const std::string& path) {
    return path.empty() ? std::string("the working directory") : Join({"directory ", path});
}

// "Output file <path>", "Plot script <path>", "Run record <path>", "Time
// history <path>" or "History script <path>".
std::string Target(const Error& e) {
    static constexpr const char* kTargets[] = {"Output file ", "Plot script ", "Run record ", "Time history ",
                                               "History script "};
    return Join({kTargets[e.number >= 0 && e.number <= 4 ? e.number : 0], e.path});
}

}  // namespace

// VUX_VERSION comes from the build (the CMake project version).
const char* VersionLine() { return "vux_reader " VUX_VERSION "\n"; }

std::string Message(const Error& e) {
    const std::string n = std::to_string(e.number);
    switch (e.kind) {
        case ErrorKind::Usage: return kUsageText;
        case ErrorKind::ArgumentLineBreak:
            return Join({std::string_view("\nInvalid argument: a line break cannot be written into "), kConfigFileName, "\n"});
        case ErrorKind::ArgumentRefused: return ArgumentRefusedMessage(e);
        case ErrorKind::InvalidInputName: return "\nInvalid input file name\n";
        case ErrorKind::InvalidOutputName: return "\nInvalid output file name\n";
        case ErrorKind::OutputIsPlotScript:
            return Join({"\nOutput file ", e.path, " would be replaced by the plot script vuxplots.m\n"});
        case ErrorKind::TargetIsDataFile: return Join({"\n", Target(e), " would overwrite the data file ", e.other, "\n"});
        case ErrorKind::TargetIsConfig:
            return Join({"\n", Target(e), " would overwrite the configuration file ", kConfigFileName, "\n"});
        case ErrorKind::TargetIsScratchConfig:
            return Join({"\n", Target(e), " would overwrite the configuration's scratch file ", kScratchConfigName, "\n"});
        case ErrorKind::TargetIsSpecial: return Join({"\n", Target(e), " is ", e.reason, ", not a regular file\n"});
        case ErrorKind::TargetIsDirectory: return Join({"\n", Target(e), " is a directory, not a file\n"});
        case ErrorKind::TargetIsOtherOutput: return Join({"\n", Target(e), " would overwrite the output ", e.other, "\n"});
        case ErrorKind::OutputDirectoryMissing:
            if (e.number == ENOENT) return Join({"\nCannot write ", e.other, ": its directory ", e.path, " does not exist\n"});
            return Join({"\nCannot write ", e.other, ": its directory ", e.path, " cannot be reached: ", e.reason, "\n"});
        case ErrorKind::OutputDirectoryNotADirectory:
            return Join({"\nCannot write ", e.other, ": ", e.path, " is not a directory\n"});
        case ErrorKind::UnbalancedParentheses: return "\n\nUnbalanced parentheses in equation";
        case ErrorKind::MissingOperand: return Join({"\n\nMissing value for '", e.other, "' in equation ", e.name, "\n"});
        case ErrorKind::WindowSizeTooSmall: return Join({"\nInvalid WINDOW_SIZE ", n, ": a window needs at least 2 samples\n"});
        case ErrorKind::WindowSizeTooLarge:
            return Join({"\nInvalid WINDOW_SIZE ", n, ": a window needs about ", GibiBytes(e.needed), " of memory, more than the ", GibiBytes(e.available), " of this machine\n"});
        case ErrorKind::SampleFreqTooSmall:
            return Join({"\nInvalid SAMPLE_FREQ ", n, ": the sample frequency must be at least 1 Hz\n"});
        case ErrorKind::NoWindowFunction:
            return Join({"\nNo window function: FFT-type column ", e.name, " needs a key line in #WINDOW_FUNCTION\n"});
        case ErrorKind::FftOncePerWindow:
            return Join({"\nFFT operation requested on column ", e.name, "...but only reading one data point per window\n"});
        case ErrorKind::InputMissing: return Join({"File ", e.path, " does not exist\n"});
        case ErrorKind::DataUnreadable: return Join({"Data file ", e.path, " cannot be read: ", e.reason, "\n"});
        case ErrorKind::DataReadFailed: return Join({"\nError reading data file ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::DataNoMarker:
            return Join({"Data file ", e.path, " ends before its marker line \"", kDataMarker, "\"\n"});
        case ErrorKind::DataCrLineEnds:
            return Join({"Data file ", e.path, " uses CR line ends only; its lines must end in LF or CR LF\n"});
        case ErrorKind::DataHeadingsIncomplete:
            return Join({"Data file ", e.path, " ends before its data headings line is complete\n"});
        case ErrorKind::DataHeadingsTooLong:
            return Join({"Data file ", e.path, " has a data headings line longer than ", n, " MiB\n"});
        case ErrorKind::DataChanged:
            return Join({"\nData file ", e.path, " changed while it was read: its size or modification time differs from when it was opened\n"});
        case ErrorKind::ConfigNotRegular: return Join({"\nCannot use configuration file ", e.path, ": not a regular file\n"});
        case ErrorKind::ConfigCannotOpen:
            return Join({"\nCannot open configuration file ", e.path, " for reading: ", e.reason, "\n"});
        case ErrorKind::ConfigCannotRead: return Join({"\nCannot read configuration file ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::ConfigReadFailed: return Join({"\nCannot read ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::LockDirectoryOpen:
            return Join({std::string_view("\nCannot open the working directory to lock "), kConfigFileName, ": ", e.reason, "\n"});
        case ErrorKind::LockDirectory:
            return Join({std::string_view("\nCannot lock the working directory for "), kConfigFileName, ": ", e.reason, "\n"});
        case ErrorKind::ScratchConfigRemove:
            return Join({"\nCannot remove the old ", ScratchLabel(e.path), ": ", e.reason, "\n"});
        case ErrorKind::ScratchConfigCreate: return Join({"\nCannot create ", ScratchLabel(e.path), ": ", e.reason, "\n"});
        case ErrorKind::ScratchConfigWrite: return Join({"\nCannot write ", ScratchLabel(e.path), ": ", e.reason, "\n"});
        case ErrorKind::ScratchConfigReplace:
            return Join({"\nCannot replace ", e.path, " with ", kScratchConfigName, ": ", e.reason, "\n"});
        case ErrorKind::ArgumentKeyMissing:
            return Join({"\nCannot set ", e.name, " from the command line: ", e.path, " has no ", e.name, " line in ", e.other, "\n"});
        case ErrorKind::ArgumentValueBlanks:
            return Join({"\nCannot set ", e.name, " from the command line: its old value on line ", n, " of ", e.path, " is written with blanks, so the command-line value cannot replace it\n"});
        case ErrorKind::MatCreate: return Join({"\nCannot create MAT-file ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::MatDirectory:
            return Join({"\nCannot create MAT-file ", e.path, ": ", Directory(e.other), " cannot be written: ", e.reason, "\n"});
        case ErrorKind::MatWrite: return Join({"\nCannot write MAT-file ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::PlotScriptCreate: return Join({"\nCannot create plot script ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::PlotScriptDirectory:
            return Join({"\nCannot create plot script ", e.path, ": ", Directory(e.other), " cannot be written: ", e.reason, "\n"});
        case ErrorKind::PlotScriptWrite: return Join({"\nCannot write plot script ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::RecordCreate: return Join({"\nCannot create run record ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::RecordDirectory:
            return Join({"\nCannot create run record ", e.path, ": ", Directory(e.other), " cannot be written: ", e.reason, "\n"});
        case ErrorKind::RecordWrite: return Join({"\nCannot write run record ", e.path, ": ", e.reason, "\n"});
        case ErrorKind::HistoryTooLarge:
            return Join({"\nTime history ", e.path, ": its matrix ", e.name, " would take about ", GibiBytes(e.needed),
                         ", more than the 2 GiB (2^31 - 1 bytes) a MAT-file element can hold; ",
                         e.number > 0 ? Join({"WINDOW_SIZE ", n, " or more would fit\n"})
                                      : std::string("no WINDOW_SIZE makes it fit: the data file is too long for a time history\n")});
        case ErrorKind::OutOfMemory:
            return "\nOut of memory: the run needs more memory than this machine can give\n";
    }
    return Join({"\n", e.reason, "\n"});
}

std::string FormatByteCount(uint64_t bytes) {
    double value = static_cast<double>(bytes);
    const char* unit = "B  ";
    if (bytes >= 1000000000u) {
        value = value / 1073741824.0;
        unit = "GiB";
    } else if (bytes >= 1000000u) {
        value = value / 1048576.0;
        unit = "MiB";
    } else if (bytes >= 10000u) {
        value = value / 1024.0;
        unit = "KiB";
    }
    return Format("%.3f %s", value, unit);
}

void PrintConfigNote(const ConfigNote& note) {
    switch (note.step) {
        case ConfigStep::ReadingFile: std::fputs("Reading config file......\n", stdout); return;
        case ConfigStep::WritingDefault:
            std::fputs("Config file not found or corrupted.  Creating new file......\n", stdout);
            return;
        case ConfigStep::BackedUp:
            // The error stream only: standard output stays as it always was.
            std::fprintf(stderr,
                         "%s%s has only %llu bytes and is replaced by the default configuration; its old content "
                         "is kept in %s\n",
                         kWarning, kConfigFileName, static_cast<unsigned long long>(note.bytes), kBackupConfigName);
            return;
        case ConfigStep::WritingArguments: std::fputs("Writing custom settings......\n", stdout); return;
        case ConfigStep::Evaluating: std::fputs("Evaluating config file and populating data fields....", stdout); return;
        case ConfigStep::Section: break;
        case ConfigStep::Evaluated: std::fputs("\nConfig file processing complete!\n\n", stdout); return;
    }
    switch (note.section) {
        case SectionStrings: std::fputs("\nReading config strings....", stdout); return;
        case SectionConstants: std::fputs("\nReading math constants....", stdout); return;
        case SectionWindowFunction: std::fputs("\nEvaluating window function....", stdout); return;
        case SectionEquations: std::fputs("\nEvaluating custom functions....", stdout); return;
        case SectionColumns: std::fputs("\nParsing data columns....", stdout); return;
        case SectionMatlab: std::fputs("\nParsing MATLAB output settings...", stdout); return;
        case SectionNone:
        case SectionEnd: return;
    }
}

void PrintDataFileOpened(const DataReader& reader) {
    std::printf("Data file %s opened\n", reader.path.c_str());
    std::printf("Data file size: %llu bytes......or %s\n", static_cast<unsigned long long>(reader.fileSize),
                FormatByteCount(reader.fileSize).c_str());
    std::printf("Estimated number of windows: %d\n", reader.estimatedWindows);
}

void UpdateProgress(ProgressFigures& figures, int32_t n, double e, double b) {
    if (n < 5) {
        figures.windowTime = e;
        figures.byteRate = b / e;
    } else {
        figures.windowTime = 0.98 * figures.windowTime + 0.02 * e;
        figures.byteRate = 0.98 * figures.byteRate + 0.02 * (b / figures.windowTime);
    }
}

namespace {

void PrintPhase(const RunConfig& config, ReduceConsole& console, ReducePhase phase, const DataReader& reader,
                const ReduceResult& result) {
    switch (phase) {
        case ReducePhase::WindowTable: std::fputs("Generating window function......", stdout); return;
        case ReducePhase::WindowTableDone: std::fputs("done!\n", stdout); return;
        case ReducePhase::HeaderSkipped:
            std::printf("Header processed......read %s\n\n", FormatByteCount(reader.bytesConsumed).c_str());
            return;
        case ReducePhase::HeadingsMapped:
            for (size_t k = 0; k < result.headings.size() && k < config.columns.size(); ++k) {
                std::printf("Column %d: %s -> %s\n", static_cast<int>(k), config.columns[k].name.c_str(),
                            result.headings[k].c_str());
            }
            std::printf("Data headings processed......read %s\n\n", FormatByteCount(reader.bytesConsumed).c_str());
            std::fputs("Reading and processing data file......\n", stdout);
            console.bytesBefore = reader.bytesConsumed;
            console.fileSize = reader.fileSize;
            console.readStart = RunClock::now();
            return;
        case ReducePhase::PostProcessing: std::fputs("\nPost-processing......", stdout); return;
        case ReducePhase::Rotation:
            std::fputs("\nPerforming matrix rotation operation...", stdout);
            console.stepStart = RunClock::now();
            return;
        case ReducePhase::RotationDone: PrintDone(console.stepStart); return;
    }
}

// The progress line of a window, overwritten in place by the next one.
void PrintWindow(ReduceConsole& console, const WindowDone& done) {
    const double elapsed = done.seconds > 0 ? done.seconds : 1e-5;
    const uint64_t consumed = done.bytesConsumed;
    UpdateProgress(console.progress, done.window, elapsed, static_cast<double>(consumed - console.bytesBefore));
    const uint64_t remaining = console.fileSize > consumed ? console.fileSize - consumed : 0;
    std::printf("Window %d...%0.3fs elapsed", done.window, elapsed);
    std::printf(" | Remaining %.0fs...%s     \r", static_cast<double>(remaining) / console.progress.byteRate,
                FormatByteCount(remaining).c_str());
    std::fflush(stdout);
    console.bytesBefore = consumed;
}

}  // namespace

ReduceObserver PrintingReduceObserver(const RunConfig& config, ReduceConsole& console) {
    ReduceObserver observer;
    observer.phase = [&config, &console](ReducePhase phase, const DataReader& reader, const ReduceResult& result) {
        PrintPhase(config, console, phase, reader, result);
    };
    observer.window = [&console](const WindowDone& done) { PrintWindow(console, done); };
    return observer;
}

void PrintExportStarting() {
    std::fputs("\nWriting data to matlab file...", stdout);
    std::fflush(stdout);
}

void PrintPlotScriptStarting() {
    std::fputs("\nCreating MATLAB autodisplay script...", stdout);
    std::fflush(stdout);
}

void PrintDone(RunClock::time_point start) { std::printf("done! (took %f seconds)", SecondsSince(start)); }

std::string SummaryText(const RunConfig& config, const ReduceResult& result, double processingSeconds) {
    std::string text = "\n";
    text += Format("\nAnalysis complete, processing time: %.3fs", processingSeconds);
    const double duration = result.stats.empty() ? 0.0 : result.stats.front().max;
    text += Format("\nData Duration: %.3fs", duration);
    for (size_t c = 0; c < config.columns.size(); ++c) {
        const ColumnSpec& column = config.columns[c];
        const ColumnStats stats = c < result.stats.size() ? result.stats[c] : ColumnStats{};
        const char* heading = c < result.headings.size() ? result.headings[c].c_str() : "";
        text += Format("\n\nChannel %s (%s):\n", column.name.c_str(), heading);
        text += Format("Max: %.3f @ %.5f\n", stats.max, stats.timeOfMax);
        text += Format("Min: %.3f @ %.5f\n", stats.min, stats.timeOfMin);
        if (IsOncePerWindow(column.sampling)) text += Format("Mean: %.3f ", stats.mean);
    }
    text += "\n\nTo view MATLAB plots...\nnavigate to the output directory in MATLAB and run vuxplots() on the console\n";
    return text;
}

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
