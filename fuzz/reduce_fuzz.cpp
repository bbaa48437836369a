// The data reader and window processing from arbitrary bytes: the bytes are
// the data file, reduced under one small fixed configuration (8-sample
// windows at 100 Hz, a time column, a normalised once-per-window column, a
// normalised every-sample column, two FFT-type columns in one rotation group,
// a per-window and a per-sample equation using "count"). A file the reader
// refuses stops the run; nothing else may happen.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/evaluate.h"
#include "config/run_state.h"
#include "fuzz_util.h"
#include "reduce/reduce_data.h"
#include "run/run_stop.h"

namespace {

constexpr std::string_view kConfig =
    "#STRINGS\n"
    "DATA_FILE = data.csv\n"
    "OUTPUT_FILE = out.mat\n"
    "#CONSTANTS\n"
    "WINDOW_SIZE = 8\n"
    "SAMPLE_FREQ = 100\n"
    "PI = 3.14159265358979323846\n"
    "THETA_X = -90\n"
    "THETA_Y = 0\n"
    "THETA_Z = -90\n"
    "#WINDOW_FUNCTION\n"
    "WINDOW_FUNCTION = 0.5 * (1 - cos((2 * PI * input) / WINDOW_SIZE))\n"
    "#EQUATIONS\n"
    "0, OFFSET = count + PRES / 2\n"
    "1, RAMP = count * VOLT / WINDOW_SIZE\n"
    "#COLUMNS\n"
    "TIME, 1, 0, 0, 0\n"
    "PRES, 0, 1, 0, input * 2 + OFFSET\n"
    "VOLT, 1, 1, 0, input / 4 - RAMP\n"
    "ACCX, 1, 2, 1x0, 1.5\n"
    "ACCY, 1, 2, 1y90, 2.5\n"
    "#ENDCFG\n";

RunState* configured = nullptr;  // the evaluated configuration, copied per input
std::string dataPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SilenceStdout();
    dataPath = fuzz::MakeScratchDir("vux_reduce_fuzz") + "/data.csv";
    configured = new RunState;
    EvaluateConfig(fuzz::OpenBytes(kConfig), *configured);
    ValidateRunSettings(*configured);
    configured->settings.inputPath = dataPath;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::WriteWholeFile(dataPath, std::string_view(reinterpret_cast<const char*>(data), size));
    RunState state = *configured;
    ReduceOutcome outcome;
    try {
        outcome = ReduceDataFile(state);
    } catch (const RunStop&) {
        return 0;
    }
    FUZZ_CHECK(outcome.processedWindows >= 0, "%d windows", outcome.processedWindows);
    // Every processed window stored its value of the once-per-window column.
    const ColumnDef& pres = state.columns[1];
    FUZZ_CHECK(pres.samples.size() >= static_cast<size_t>(outcome.processedWindows),
               "%zu once-per-window values for %d windows", pres.samples.size(), outcome.processedWindows);
    for (size_t c = 3; c < 5; ++c) {
        FUZZ_CHECK(state.columns[c].rotated.size() == 5, "rotated values of %s", state.columns[c].name.c_str());
    }
    return 0;
}
