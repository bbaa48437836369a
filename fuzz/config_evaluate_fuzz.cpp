// Configuration evaluation from arbitrary bytes: the bytes are the whole
// vux_reader.cfg (settling is skipped). Evaluation and the settings check may
// stop the run; nothing else may happen (no crash, no hang, no leak). Every
// expression the evaluation compiled must then run.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/evaluate.h"
#include "config/run_state.h"
#include "expr/compiled_expr.h"
#include "fuzz_util.h"
#include "run/run_stop.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SilenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* cfg = fuzz::OpenBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    if (cfg == nullptr) return 0;
    RunState state;
    try {
        EvaluateConfig(cfg, state);
        ValidateRunSettings(state);
    } catch (const RunStop&) {
        return 0;
    }

    FUZZ_CHECK(state.settings.windowSize >= 2 && state.settings.sampleFreq >= 1, "settings passed the check");
    for (const ColumnDef& column : state.columns) {
        FUZZ_CHECK(column.varIndex >= 0 && static_cast<size_t>(column.varIndex) < state.vars.entries.size(),
                   "column %s has no variable", column.name.c_str());
        FUZZ_CHECK(column.rotationAxis >= 0 && column.rotationAxis <= 2, "rotation axis %d", column.rotationAxis);
        FUZZ_CHECK(column.rotationGroup >= 0 && column.rotationGroup <= 9, "rotation group %d",
                   column.rotationGroup);
    }
    for (CompiledExpr& equation : state.equations) EvaluateExpr(equation, 1.5, state.vars, 3);
    for (ColumnDef& column : state.columns) {
        if (column.operationType != 2) EvaluateExpr(column.normExpr, 2.5, state.vars, 1);
    }
    if (state.windowFunction) EvaluateExpr(*state.windowFunction, 0.0, state.vars, 0);
    if (state.shortWindowFunction) EvaluateExpr(*state.shortWindowFunction, 1.0, state.vars, 1);
    return 0;
}
