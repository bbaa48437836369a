#pragma once
// The size check of the time history's companion MAT-file: no matrix of it
// may exceed what a MAT-file element holds (output/mat_file.h,
// kMatLargestMatrix). Foreseen from the data file's size before it is read,
// and checked again with the rows actually read before anything is written.

#include <cstdint>
#include <string>

#include "core/model.h"

namespace vux {
// The smallest WINDOW_SIZE, from the configured one up, for which every
// matrix of the history of a file of `rows` rows fits; 0 when none up to
// `rows` (or INT32_MAX) does.
int32_t FittingWindowSize(const RunConfig& config, uint64_t rows);

// Stops the run (HistoryTooLarge naming `companionPath`, the first matrix
// that does not fit, its bytes and FittingWindowSize) when the history of a
// file of `rows` rows under `config` cannot be written.
void CheckHistorySize(const RunConfig& config, uint64_t rows, const std::string& companionPath);
}  // namespace vux
