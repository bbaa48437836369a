#pragma once
// Configuration evaluation: turns the open configuration file into the run state.

#include "config/config_file.h"
#include "core/model.h"
#include "core/unique_fd.h"

namespace vux {
// Reads the file to its "#ENDCFG" (or its end) into a RunConfig; closes the
// file. Tells the observer Evaluating, each Section and Evaluated. Throws
// ConfigReadFailed on a read error and the compiler's errors.
RunConfig EvaluateConfig(UniqueFile cfg, const ConfigObserver& observer = {});

// Refuses settings that later stages cannot work with (WINDOW_SIZE below 2 or
// so large that its arrays would need more than the machine's physical
// memory, SAMPLE_FREQ below 1, an FFT-type column without a window function):
// throws WindowSizeTooSmall, WindowSizeTooLarge, SampleFreqTooSmall or
// NoWindowFunction.
void ValidateRunSettings(const RunConfig& config);
}  // namespace vux
