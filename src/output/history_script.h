#pragma once
// The MATLAB plot script "vuxhistory.m" of the time history (TIME_HISTORY =
// 1), written beside vuxplots.m: it loads the MAT-file and its companion
// and draws, per rotation group (its axes as subplots, like vuxplots.m) or
// per unrotated spectrum vector, a spectrogram and a peak-hold figure, then
// one figure of each vector's RMS per window.

#include <string>

#include "core/history.h"
#include "core/model.h"
#include "output/output_set.h"

namespace vux {
// Where the script goes: the output path with its final component (the text
// after the last '/' or '\') replaced by "vuxhistory.m".
std::string HistoryScriptPath(const std::string& outputPath);

// The whole script: "function vuxhistory()", the load lines of the MAT-file
// and of its companion (as PlotLoadLine writes them), then
// - a spectrogram figure per group: time in s against frequency in Hz (log
//   axis, from bin 1), colour the PSD in dB re 1 unit^2/Hz, with a colour
//   bar labelled "dB re 1 " and the column's #MATLAB Y label (the PSD's unit
//   as configured; "unit^2/Hz" without one);
// - a peak-hold figure per group: V_max and V against frequency, log-log;
// - one figure of V_rms against time, a subplot per group.
// A group is a rotation group (ascending) or an unrotated vector (table
// order); a column whose plot kind is absent is left out, as in vuxplots.m.
// Titles are the columns' #MATLAB titles (the vector's name without one).
std::string HistoryScriptText(const RunConfig& config, const TimeHistoryData& history);

// Writes the script for HistoryScriptPath(output path) to a scratch file,
// complete and synced, and adds it to `outputs`. A failure throws
// PlotScriptCreate, PlotScriptDirectory or PlotScriptWrite naming the path,
// the scratch file removed.
void WriteHistoryScript(const RunConfig& config, const TimeHistoryData& history, OutputSet& outputs);
}  // namespace vux
