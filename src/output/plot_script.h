#pragma once
// The MATLAB plot script "vuxplots.m", written beside the output MAT-file.

#include <string>
#include <string_view>

#include "core/model.h"
#include "output/output_set.h"

namespace vux {
// Where the script goes: the output path with its final component (the text
// after the last '/' or '\') replaced by "vuxplots.m"; "vuxplots.m" in the
// working directory when the path has no directory part.
std::string PlotScriptPath(const std::string& outputPath);

// The line that loads the MAT-file, so that the script works when run from its
// own directory: an absolute path ('/' or '\' first, or a drive letter and
// ':') is kept, a relative path loses its directory part (the script sits
// beside the file). A path holding a blank, tab, quote, comma, semicolon or
// '%', which the command form cannot carry, uses load('...') with single
// quotes doubled; otherwise "load <path>\n".
std::string PlotLoadLine(const std::string& outputPath);

// `text` for a single-quoted MATLAB text: each single quote doubled.
std::string MatlabQuoted(std::string_view text);

// The whole script: "function vuxplots()", the load line, one figure per
// rotation group number (ascending, "_rot" at subplot row axis+1), the figure
// of unrotated FFT-type columns (when there are more FFT-type columns than
// three per group), the figure of once-per-window normalised columns (when
// any column is normalised), and one figure per other every-sample column.
// Single quotes in labels and titles are doubled.
std::string PlotScriptText(const RunConfig& config);

// Writes the script for PlotScriptPath(output path) to a scratch file,
// complete and synced, and adds it to `outputs`: the path gets it at
// outputs.Commit(), so an earlier script is replaced whole or kept. A failure
// throws PlotScriptCreate, PlotScriptDirectory or PlotScriptWrite, the
// scratch file removed.
void WritePlotScript(const RunConfig& config, OutputSet& outputs);
}  // namespace vux
