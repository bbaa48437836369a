#pragma once
// The companion MAT-file of the time history (TIME_HISTORY = 1), written
// beside the MAT-file by the same writer (output/mat_file.h) and committed
// with the other outputs.

#include <string>

#include "core/history.h"
#include "output/output_set.h"

namespace vux {
// The companion's path: the MAT-file path with a final ".mat" replaced by
// "_history.mat", or "_history.mat" appended when it has none.
std::string HistoryPath(const std::string& matPath);

// Writes every matrix of `history` in its order (the per-window ones copied
// from their scratch files) to a scratch file for `path`, complete and
// synced, and adds it to `outputs`. A file that cannot be written throws
// (MatCreate, MatDirectory, MatWrite naming `path`) and leaves the path as
// it was.
void WriteHistoryFile(const std::string& path, const TimeHistoryData& history, OutputSet& outputs);
}  // namespace vux
