// Configuration evaluation from arbitrary bytes: the bytes are the whole
// vux_reader.cfg (settling is skipped). Evaluation and the settings check may
// stop the run; nothing else may happen (no crash, no hang, no leak). Every
// expression the evaluation compiled must then run, and a configuration with
// windows of up to 16384 samples then reduces a small fixed data file (which
// may stop the run too).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/evaluate.h"
#include "core/model.h"
#include "expr/compiled_expr.h"
#include "fuzz_util.h"
#include "reduce/reduce_data.h"
#include "core/error.h"

using namespace vux;

namespace {

// Larger windows only cost time: the memory they need is checked before.
constexpr int32_t kLargestReducedWindow = 16384;

// Eleven rows of ten channels, LF line ends.
constexpr std::string_view kData =
    "VUX-2 sensor box export\n"
    "Data Starts Here,,,,,,,,,,,,,,,,,,,\n"
    "Time (s),Pressure (mV),Temp (mV),Humidity (mV),Gyro X,Gyro Y,Gyro Z,Acc X,Acc Y,Acc Z,\n"
    "0.00000,1804.9080,-1453.8523,335.8299,+15.024841,-14.179431,+12.303929,+24.977703,-14.438002,-123.948978\n"
    "0.00010,1804.5327,-1455.0846,335.9220,+14.722240,-14.344048,+12.234002,+24.095139,-11.219612,-123.986100\n"
    "0.00020,1805.2362,-1455.0048,335.5864,+14.952081,-14.473873,+12.412832,+19.309429,-16.103658,-120.032789\n"
    "0.00030,1804.6998,-1454.8186,335.1263,+14.896392,-14.502871,+12.398115,+21.766042,-12.775893,-124.437170\n"
    "0.00040,1804.9231,-1454.3177,335.4012,+14.810025,-14.281830,+12.350271,+23.580911,-15.004519,-121.650204\n"
    "0.00050,1805.1003,-1454.9920,335.7718,+15.101187,-14.390044,+12.199730,+22.013877,-13.900251,-122.377318\n"
    "0.00060,1804.6112,-1455.2031,335.2277,+14.987306,-14.166205,+12.451006,+20.448172,-14.778004,-123.101925\n"
    "0.00070,1804.8850,-1454.6004,335.6631,+14.776519,-14.420917,+12.287463,+24.116385,-12.330978,-121.844436\n"
    "0.00080,1805.0417,-1454.7712,335.4450,+15.040072,-14.257390,+12.376608,+21.309552,-15.662813,-122.968047\n"
    "0.00090,1804.7709,-1455.1298,335.3338,+14.859951,-14.335127,+12.318840,+23.021736,-13.441165,-123.517702\n"
    "0.00100,1804.9964,-1454.4439,335.5127,+14.931846,-14.212659,+12.265194,+22.655109,-14.095238,-122.204481\n";

std::string dataPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SilenceStdout();
    dataPath = fuzz::MakeScratchDir("vux_config_fuzz") + "/data.csv";
    fuzz::WriteWholeFile(dataPath, kData);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* cfg = fuzz::OpenBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    if (cfg == nullptr) return 0;
    RunConfig state;
    try {
        state = EvaluateConfig(UniqueFile(cfg));
        ValidateRunSettings(state);
    } catch (const Error&) {
        return 0;
    }

    FUZZ_CHECK(state.settings.windowSize >= 2 && state.settings.sampleFreq >= 1, "settings passed the check");
    for (const ColumnSpec& column : state.columns) {
        FUZZ_CHECK(column.varIndex >= 0 && static_cast<size_t>(column.varIndex) < state.vars.entries.size(),
                   "column %s has no variable", column.name.c_str());
        FUZZ_CHECK(column.rotationAxis >= 0 && column.rotationAxis <= 2, "rotation axis %d", column.rotationAxis);
        FUZZ_CHECK(column.rotationGroup >= 0 && column.rotationGroup <= 9, "rotation group %d",
                   column.rotationGroup);
    }
    VarTable vars = state.vars;
    for (const CompiledExpr& equation : state.equations) EvaluateExpr(equation, 1.5, vars, 3);
    for (const ColumnSpec& column : state.columns) {
        if (HasEquation(column.operation)) EvaluateExpr(column.normExpr, 2.5, vars, 1);
    }
    if (state.windowFunction) EvaluateExpr(*state.windowFunction, 0.0, vars, 0);
    if (state.shortWindowFunction) EvaluateExpr(*state.shortWindowFunction, 1.0, vars, 1);

    if (state.settings.windowSize > kLargestReducedWindow) return 0;
    try {
        DataReader reader = OpenDataFile(dataPath, state.settings.windowSize);
        ReduceWindows(reader, state);
    } catch (const Error&) {
    }
    return 0;
}
