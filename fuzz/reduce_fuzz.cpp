// The data reader and window processing from arbitrary bytes: the bytes are
// the data file, reduced under one small fixed configuration (8-sample
// windows at 100 Hz, a time column, a normalised once-per-window column, a
// normalised every-sample column, two FFT-type columns in one rotation group,
// a per-window and a per-sample equation using "count"). A file the reader
// refuses stops the run; nothing else may happen. The file is reduced twice:
// by the tool's own reduction, and by the same steps with the reader taking
// blocks of a few bytes (so that lines cross block boundaries everywhere);
// both must give the same bits and the same data-quality facts.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "config/evaluate.h"
#include "config/run_state.h"
#include "fuzz_util.h"
#include "reduce/data_reader.h"
#include "reduce/reduce_data.h"
#include "reduce/rotation.h"
#include "reduce/spectrum.h"
#include "reduce/window.h"
#include "core/error.h"
#include "run/console.h"

using namespace vux;

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

namespace {

struct Reduction {
    bool stopped = false;
    std::string stopMessage;
    int32_t windows = 0;
    std::vector<ColumnDef> columns;
    DataQuality quality;
};

struct CloseOnExit {
    DataReader& reader;
    ~CloseOnExit() { CloseDataFile(reader); }
};

// The reduction's steps with the reader taking blocks of `blockSize` bytes.
int32_t ReduceInBlocks(RunState& state, size_t blockSize, DataQuality& quality) {
    const int32_t windowSize = state.settings.windowSize;
    DataReader reader = OpenDataFile(dataPath, windowSize);
    CloseOnExit closer{reader};
    reader.blockSize = blockSize;
    PrepareColumns(state, reader.estimatedWindows);
    SpectralTables tables = BuildSpectralTables(state);
    RotationPlan rotation = SetUpRotationSlots(state.columns, state.rotationGroups, windowSize);
    BuildRotationMatrices(state.rotationGroups, state.settings);
    SkipHeader(reader);
    MapHeadings(reader, state.columns);
    WindowContext ctx = MakeWindowContext(state);
    int32_t m = 0;
    for (;;) {
        const RowsRead read = ReadRows(reader, m, state.columns, windowSize);
        if (read.rows < 2) break;
        const int32_t n = read.rows - read.rows % 2;
        ProcessWindow(state, ctx, m, n);
        if (m == 0) reader.quality.firstWindowStep = MedianStep(state.columns[0].samples, n);
        TransformWindow(state, tables, ctx, n);
        ++m;
        ctx.windowPosition = 0;
        if (read.endOfFile) break;
    }
    FinishMeans(state, m);
    AverageSpectra(state, m);
    RotateGroups(rotation, state.rotationGroups, state.columns);
    quality = reader.quality;
    return m;
}

// blockSize 0: the tool's own reduction (its reader's default blocks).
Reduction Reduce(size_t blockSize) {
    RunState state = *configured;
    Reduction result;
    try {
        if (blockSize == 0) {
            ReduceOutcome outcome = ReduceDataFile(state);
            result.windows = outcome.processedWindows;
            result.quality = std::move(outcome.quality);
        } else {
            result.windows = ReduceInBlocks(state, blockSize, result.quality);
        }
    } catch (const Error& error) {
        result.stopped = true;
        result.stopMessage = Message(error);
    }
    result.columns = std::move(state.columns);
    return result;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool SameResults(const ColumnDef& a, const ColumnDef& b) {
    return a.heading == b.heading && SameBits(a.samples, b.samples) && SameBits(a.power, b.power) &&
           SameBits(a.spectrum, b.spectrum) && SameBits(a.rotated, b.rotated) && SameBits(a.max, b.max) &&
           SameBits(a.min, b.min) && SameBits(a.timeOfMax, b.timeOfMax) && SameBits(a.timeOfMin, b.timeOfMin) &&
           SameBits(a.mean, b.mean);
}

bool SameFacts(const DataQuality& a, const DataQuality& b) {
    if (a.rows != b.rows || a.shortRows != b.shortRows || a.firstShortLine != b.firstShortLine ||
        !SameBits(a.firstWindowStep, b.firstWindowStep) || a.fields.size() != b.fields.size()) {
        return false;
    }
    for (size_t c = 0; c < a.fields.size(); ++c) {
        const FieldFaults& x = a.fields[c];
        const FieldFaults& y = b.fields[c];
        if (x.count != y.count || x.firstLine != y.firstLine || x.firstLength != y.firstLength ||
            x.firstCut != y.firstCut || std::memcmp(x.firstText.data(), y.firstText.data(), x.firstLength) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::WriteWholeFile(dataPath, std::string_view(reinterpret_cast<const char*>(data), size));
    const Reduction whole = Reduce(0);
    const Reduction blocks = Reduce(1 + size % 23);

    FUZZ_CHECK(whole.stopped == blocks.stopped && whole.stopMessage == blocks.stopMessage,
               "stops differ: \"%s\" and \"%s\"", whole.stopMessage.c_str(), blocks.stopMessage.c_str());
    if (whole.stopped) return 0;
    FUZZ_CHECK(whole.windows == blocks.windows, "%d windows, %d in small blocks", whole.windows, blocks.windows);
    for (size_t c = 0; c < whole.columns.size(); ++c) {
        FUZZ_CHECK(SameResults(whole.columns[c], blocks.columns[c]), "column %s differs in small blocks",
                   whole.columns[c].name.c_str());
    }
    FUZZ_CHECK(SameFacts(whole.quality, blocks.quality), "data-quality facts differ in small blocks");
    // Every processed window stored its value of the once-per-window column.
    const ColumnDef& pres = whole.columns[1];
    FUZZ_CHECK(pres.samples.size() >= static_cast<size_t>(whole.windows), "%zu once-per-window values for %d windows",
               pres.samples.size(), whole.windows);
    for (size_t c = 3; c < 5; ++c) {
        FUZZ_CHECK(whole.columns[c].rotated.size() == 5, "rotated values of %s", whole.columns[c].name.c_str());
    }
    return 0;
}
