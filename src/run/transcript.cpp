#include "run/transcript.h"

#include <cstdio>

#include "run/text.h"
#include "run/warnings.h"

namespace vux {
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
}  // namespace vux
