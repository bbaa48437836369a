// The data reader and window processing from arbitrary bytes: the bytes are
// the data file, reduced under one small fixed configuration (8-sample
// windows at 100 Hz, a time column, a normalised once-per-window column, a
// normalised every-sample column, two FFT-type columns in one rotation group,
// a per-window and a per-sample equation using "count"). A file the reader
// refuses stops the run; nothing else may happen. The file is reduced three
// times by the tool's own window loop: on one thread with the reader's
// default blocks, and on 2 and on 3 threads with blocks of a few bytes (so
// that lines cross block boundaries everywhere and many small pieces of the
// file are parsed on different threads); all must give the same bits and the
// same data-quality facts. The row limit is lowered to a few hundred bytes
// (it follows the input's size), so overlong lines are let go of alike
// however the reads fall.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/evaluate.h"
#include "core/model.h"
#include "fuzz_util.h"
#include "reduce/data_reader.h"
#include "reduce/reduce_data.h"
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

const RunConfig* configured = nullptr;  // the evaluated configuration
std::string dataPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SilenceStdout();
    dataPath = fuzz::MakeScratchDir("vux_reduce_fuzz") + "/data.csv";
    configured = new RunConfig(EvaluateConfig(UniqueFile(fuzz::OpenBytes(kConfig))));
    ValidateRunSettings(*configured);
    return 0;
}

namespace {

struct Reduction {
    bool stopped = false;
    std::string stopMessage;
    ReduceResult result;
};

// blockSize 0: the reader's default blocks.
Reduction Reduce(size_t blockSize, int32_t threads, size_t longestRow) {
    Reduction reduction;
    try {
        DataReader reader = OpenDataFile(dataPath, configured->settings.windowSize);
        if (blockSize > 0) reader.blockSize = blockSize;
        reader.longestRow = longestRow;
        reduction.result = ReduceWindows(reader, *configured, {}, threads);
    } catch (const Error& error) {
        reduction.stopped = true;
        reduction.stopMessage = Message(error);
    }
    return reduction;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool SameResults(const ReduceResult& a, const ReduceResult& b, size_t c) {
    const ColumnStats& x = a.stats[c];
    const ColumnStats& y = b.stats[c];
    return SameBits(a.samples[c], b.samples[c]) && SameBits(a.spectra[c].power, b.spectra[c].power) &&
           SameBits(a.spectra[c].density, b.spectra[c].density) && SameBits(a.rotated[c], b.rotated[c]) &&
           SameBits(x.max, y.max) && SameBits(x.min, y.min) && SameBits(x.timeOfMax, y.timeOfMax) &&
           SameBits(x.timeOfMin, y.timeOfMin) && SameBits(x.mean, y.mean);
}

bool SameFacts(const DataQuality& a, const DataQuality& b) {
    if (a.rows != b.rows || a.shortRows != b.shortRows || a.firstShortLine != b.firstShortLine ||
        a.overlongLines != b.overlongLines || a.firstOverlongLine != b.firstOverlongLine ||
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
    const size_t longestRow = 64 + size % 512;
    const Reduction whole = Reduce(0, 1, longestRow);
    for (const auto& [blockSize, threads] : {std::pair<size_t, int32_t>{1 + size % 23, 2},
                                             std::pair<size_t, int32_t>{1 + size % 61, 3}}) {
        const Reduction other = Reduce(blockSize, threads, longestRow);
        FUZZ_CHECK(whole.stopped == other.stopped && whole.stopMessage == other.stopMessage,
                   "stops differ: \"%s\" and \"%s\" (%d threads)", whole.stopMessage.c_str(),
                   other.stopMessage.c_str(), threads);
        if (whole.stopped) return 0;
        const ReduceResult& a = whole.result;
        const ReduceResult& b = other.result;
        FUZZ_CHECK(a.processedWindows == b.processedWindows, "%d windows, %d on %d threads", a.processedWindows,
                   b.processedWindows, threads);
        FUZZ_CHECK(a.headings == b.headings, "headings differ on %d threads", threads);
        for (size_t c = 0; c < configured->columns.size(); ++c) {
            FUZZ_CHECK(SameResults(a, b, c), "column %s differs on %d threads", configured->columns[c].name.c_str(),
                       threads);
        }
        FUZZ_CHECK(SameFacts(a.quality, b.quality), "data-quality facts differ on %d threads", threads);
    }
    const ReduceResult& a = whole.result;
    // Every processed window stored its value of the once-per-window column.
    FUZZ_CHECK(a.samples[1].size() >= static_cast<size_t>(a.processedWindows),
               "%zu once-per-window values for %d windows", a.samples[1].size(), a.processedWindows);
    for (size_t c = 3; c < 5; ++c) {
        FUZZ_CHECK(a.rotated[c].size() == 5, "rotated values of %s", configured->columns[c].name.c_str());
    }
    return 0;
}
