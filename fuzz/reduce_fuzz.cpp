// The data reader and window processing from arbitrary bytes: the bytes are
// the data file, reduced under one small fixed configuration (8-sample
// windows at 100 Hz, a time column, a normalised once-per-window column, a
// normalised every-sample column, two FFT-type columns in one rotation group,
// a per-window and two per-sample equations using "count"). A file the reader
// refuses stops the run; nothing else may happen. The file is reduced three
// times by the tool's own window loop: on one thread with the reader's
// default blocks, and on 2 and on 3 threads with blocks of a few bytes (so
// that lines cross block boundaries everywhere and many small pieces of the
// file are parsed on different threads); all must give the same bits and the
// same data-quality facts. The row limit is lowered to a few hundred bytes
// (it follows the input's size), so overlong lines are let go of alike
// however the reads fall. The per-sample equations are independent (each
// sample's depend on that sample alone), so they run only for a window's last
// sample of an FFT-type column and over arrays for the normalised column; a
// fourth reduction adds an equation that carries its value from one sample to
// the next (and is read by nothing), which makes every sample run them one at
// a time: it must give the same bits too.

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
#include "reduce/window.h"
#include "core/error.h"
#include "run/messages.h"

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
    "0, OFFSET = count + PRES / 2 + TILT / 16\n"
    "1, RAMP = count * VOLT / WINDOW_SIZE\n"
    "1, TILT = RAMP * 2 + ACCX - sin(ACCY)\n"
    "#COLUMNS\n"
    "TIME, 1, 0, 0, 0\n"
    "PRES, 0, 1, 0, input * 2 + OFFSET\n"
    "VOLT, 1, 1, 0, input / 4 - RAMP + TILT / 8\n"
    "ACCX, 1, 2, 1x0, 1.5\n"
    "ACCY, 1, 2, 1y90, 2.5\n"
    "#ENDCFG\n";

// The configuration with an equation that makes every sample run the
// per-sample equations one at a time.
std::string OneSampleAtATime() {
    std::string text(kConfig);
    const std::string_view columns = "#COLUMNS\n";
    text.insert(text.find(columns), "1, KEEP = KEEP + count\n");
    return text;
}

const RunConfig* configured = nullptr;  // the evaluated configuration
const RunConfig* oneByOne = nullptr;    // OneSampleAtATime() evaluated
std::string dataPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SilenceStdout();
    dataPath = fuzz::MakeScratchDir("vux_reduce_fuzz") + "/data.csv";
    configured = new RunConfig(EvaluateConfig(UniqueFile(fuzz::OpenBytes(kConfig))));
    ValidateRunSettings(*configured);
    const std::string slow = OneSampleAtATime();
    oneByOne = new RunConfig(EvaluateConfig(UniqueFile(fuzz::OpenBytes(slow))));
    // The two reductions take the two ways.
    const SampleEquationPlan planned = MakeWindowWork(*configured).sampleEquations;
    FUZZ_CHECK(planned.independent && planned.overArrays, "the fixed configuration's equations are independent");
    FUZZ_CHECK(!MakeWindowWork(*oneByOne).sampleEquations.independent, "KEEP carries its value");
    return 0;
}

namespace {

struct Reduction {
    bool stopped = false;
    std::string stopMessage;
    ReduceResult result;
};

// blockSize 0: the reader's default blocks.
Reduction Reduce(size_t blockSize, int32_t threads, size_t longestRow, const RunConfig& config = *configured) {
    Reduction reduction;
    try {
        DataReader reader = OpenDataFile(dataPath, config.settings.windowSize);
        if (blockSize > 0) reader.blockSize = blockSize;
        reader.longestRow = longestRow;
        reduction.result = ReduceWindows(reader, config, {}, threads);
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
        !SameBits(a.meanStep, b.meanStep) || a.steppedRows != b.steppedRows || a.fields.size() != b.fields.size()) {
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
    struct Variant {
        size_t blockSize;
        int32_t threads;
        const RunConfig* config;
        const char* how;
    };
    const Variant variants[] = {
        {1 + size % 23, 2, configured, "on 2 threads"},
        {1 + size % 61, 3, configured, "on 3 threads"},
        {0, 1, oneByOne, "one sample at a time"},
    };
    for (const Variant& variant : variants) {
        const Reduction other = Reduce(variant.blockSize, variant.threads, longestRow, *variant.config);
        FUZZ_CHECK(whole.stopped == other.stopped && whole.stopMessage == other.stopMessage,
                   "stops differ: \"%s\" and \"%s\" (%s)", whole.stopMessage.c_str(), other.stopMessage.c_str(),
                   variant.how);
        if (whole.stopped) return 0;
        const ReduceResult& a = whole.result;
        const ReduceResult& b = other.result;
        FUZZ_CHECK(a.processedWindows == b.processedWindows, "%d windows, %d %s", a.processedWindows,
                   b.processedWindows, variant.how);
        FUZZ_CHECK(a.headings == b.headings, "headings differ %s", variant.how);
        for (size_t c = 0; c < configured->columns.size(); ++c) {
            FUZZ_CHECK(SameResults(a, b, c), "column %s differs %s", configured->columns[c].name.c_str(), variant.how);
        }
        FUZZ_CHECK(SameFacts(a.quality, b.quality), "data-quality facts differ %s", variant.how);
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
