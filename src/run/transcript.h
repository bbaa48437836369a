#pragma once
// The run's transcript on standard output: the banner, the configuration
// stage's lines, the data file and progress lines, the output steps and the
// closing summary.

#include <cstdint>
#include <string>

#include "config/config_file.h"
#include "core/clock.h"
#include "core/model.h"
#include "reduce/data_reader.h"
#include "reduce/reduce_data.h"

namespace vux {
inline constexpr const char* kBanner =
    "\nVUX Data Processor --- OLVA KTR --- Marrowgate Field --- 2015\n\n";

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

}  // namespace vux
