#pragma once
// Every text the run shows: the transcript on standard output, the message of
// each way a run stops, the warnings on the error stream. Lower layers return
// facts or throw Error; only this unit words them.

#include <cstdint>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "core/clock.h"
#include "core/error.h"
#include "core/model.h"
#include "reduce/data_reader.h"
#include "reduce/reduce_data.h"

namespace vux {
inline constexpr const char* kBanner =
    "\nVUX Data Processor --- OLVA KTR --- Marrowgate Field --- 2015\n\n";

// Printed for a help word and for an argument count the tool does not accept.
inline constexpr const char* kUsageText =
    "\nUnexpected number of arguments\n"
    "Expected usages:\n\n"
    " vux_reader <input filename>\n"
    " vux_reader <input filename> <output filename>\n"
    " vux_reader <input> <output> <X> <Y> <Z>\n";

// "vux_reader <project version>\n".
const char* VersionLine();

// The text printed to standard output, exactly as given, when `error` stops
// the run.
std::string Message(const Error& error);

// "%.3f %s": below 10,000 as bytes ("B  "), below 1,000,000 in KiB, below
// 1,000,000,000 in MiB, otherwise in GiB (decimal thresholds, binary divisors).
std::string FormatByteCount(uint64_t bytes);

// The configuration stage's lines ("Reading config file......", the section
// messages...); the backup of a replaced configuration goes to the error stream.
void PrintConfigNote(const ConfigNote& note);

// "Data file <path> opened", its size and the window estimate.
void PrintDataFileOpened(const DataReader& reader);

// Smoothed figures of the progress line.
struct ProgressFigures {
    double windowTime = 0.0;  // T, seconds per window
    double byteRate = 0.0;    // R, bytes per second
};

// Updates T and R after window n (1 for the first) that took e seconds and
// consumed b bytes: windows 1 to 4 take the raw figures, later windows blend
// 2 % of the new window into T, then into R using the new T.
void UpdateProgress(ProgressFigures& figures, int32_t n, double e, double b);

// What the console keeps while the data is reduced.
struct ReduceConsole {
    ProgressFigures progress;
    uint64_t bytesBefore = 0;        // the reader's offset after the previous window
    uint64_t fileSize = 0;
    RunClock::time_point readStart;  // when the window loop started
    RunClock::time_point stepStart;  // when the step being timed started
};

// Prints the reduction's steps and one progress line per window ("Window
// N...", overwritten in place). `console` must outlive the observer.
ReduceObserver PrintingReduceObserver(const RunConfig& config, ReduceConsole& console);

// "\nWriting data to matlab file...", "\nCreating MATLAB autodisplay script..."
// (flushed) and the "done! (took %f seconds)" that ends either.
void PrintExportStarting();
void PrintPlotScriptStarting();
void PrintDone(RunClock::time_point start);

// The closing summary for a run that took `processingSeconds` from the start
// of data reading: processing time, data duration (the first column's max,
// 0.0 without columns), per column "Channel name (heading):" with Max and
// Min ("%.3f @ %.5f") and, for once-per-window columns, "Mean: %.3f ", then
// the hint on viewing the plots.
std::string SummaryText(const RunConfig& config, const ReduceResult& result, double processingSeconds);

// Warnings about the evaluated configuration, in this order: names an
// expression reads that nothing sets, then columns whose exported vector
// name MATLAB cannot load. Each line starts "vux_reader: warning: " and has
// no line end.
std::vector<std::string> ConfigurationWarnings(const RunConfig& config);

// Warnings about the data file after the window loop, in this order: lines
// skipped for being longer than the row limit, short rows, fields that are not numbers (column order), a first-column time step
// that differs from 1 / SAMPLE_FREQ by more than 1 %, a WINDOW_SIZE larger
// than the file's rows, and a file in which no window was processed (the
// WINDOW_SIZE line is left out then: this one says more).
std::vector<std::string> DataWarnings(const RunConfig& config, const ReduceResult& result);

// The warning when VUX_THREADS (`override`, may be null) was given but
// ignored, as ChooseThreads tells in `choice`; none otherwise. The line starts
// "vux_reader: warning: " and has no line end.
std::vector<std::string> ThreadWarnings(const char* override, const ThreadChoice& choice);

// Writes `lines` to the error stream, one per line, after flushing standard
// output. When both streams are terminals and `consoleLineOpen` (standard
// output's last line is unfinished), a line break comes first.
void PrintWarnings(const std::vector<std::string>& lines, bool consoleLineOpen);
}  // namespace vux
