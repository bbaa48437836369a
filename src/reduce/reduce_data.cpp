#include "reduce/reduce_data.h"

#include <cstdio>
#include <utility>

#include "reduce/byte_count.h"
#include "reduce/data_reader.h"
#include "reduce/rotation.h"
#include "reduce/spectrum.h"
#include "reduce/window.h"
#include "core/error.h"

namespace vux {

namespace {

// Closes the data file however the reduction ends.
struct CloseOnExit {
    DataReader& reader;
    ~CloseOnExit() { CloseDataFile(reader); }
};

void PrintProgress(int32_t n, double elapsed, double byteRate, uint64_t remaining) {
    std::printf("Window %d...%0.3fs elapsed", n, elapsed);
    std::printf(" | Remaining %.0fs...", static_cast<double>(remaining) / byteRate);
    PrintByteCount(remaining);
    std::printf("     \r");
    std::fflush(stdout);
}

}  // namespace

ReduceOutcome ReduceDataFile(RunState& state) {
    ReduceOutcome outcome;
    const int32_t windowSize = state.settings.windowSize;

    DataReader reader = OpenDataFile(state.settings.inputPath.value_or(""), windowSize);
    CloseOnExit closer{reader};

    PrepareColumns(state, reader.estimatedWindows);
    SpectralTables tables = BuildSpectralTables(state);
    RotationPlan rotation = SetUpRotationSlots(state.columns, state.rotationGroups, windowSize);
    BuildRotationMatrices(state.rotationGroups, state.settings);

    SkipHeader(reader);
    MapHeadings(reader, state.columns);
    outcome.readStart = RunClock::now();

    WindowContext ctx = MakeWindowContext(state);
    ProgressFigures progress;
    uint64_t bytesBefore = 0;
    int32_t m = 0;
    for (;;) {
        const RunClock::time_point t0 = RunClock::now();
        const RowsRead read = ReadRows(reader, m, state.columns, windowSize);
        // A window of 0 or 1 rows only happens at the end of the file; it is
        // dropped without a trace.
        if (read.rows < 2) break;

        const int32_t n = read.rows - read.rows % 2;
        ProcessWindow(state, ctx, m, n);
        if (m == 0 && !state.columns.empty() && state.columns[0].multPerWindow == 1) {
            reader.quality.firstWindowStep = MedianStep(state.columns[0].samples, n);
        }
        TransformWindow(state, tables, ctx, n);
        ++m;
        ctx.windowPosition = 0;

        double elapsed = SecondsSince(t0);
        if (elapsed <= 0) elapsed = 1e-5;
        const uint64_t consumed = reader.bytesConsumed;
        const double bytes = static_cast<double>(consumed - bytesBefore);
        UpdateProgress(progress, m, elapsed, bytes);
        const uint64_t remaining = reader.fileSize > consumed ? reader.fileSize - consumed : 0;
        PrintProgress(m, elapsed, progress.byteRate, remaining);
        bytesBefore = consumed;

        if (read.endOfFile) break;
    }
    // Results from a file that changed under the reader would mix two files.
    if (DataFileChanged(reader)) {
        Fail(ErrorKind::DataChanged, reader.path);
    }
    CloseDataFile(reader);

    std::printf("\nPost-processing......");
    FinishMeans(state, m);
    AverageSpectra(state, m);

    std::printf("\nPerforming matrix rotation operation...");
    const RunClock::time_point rotateStart = RunClock::now();
    RotateGroups(rotation, state.rotationGroups, state.columns);
    std::printf("done! (took %f seconds)", SecondsSince(rotateStart));

    outcome.processedWindows = m;
    outcome.quality = std::move(reader.quality);
    return outcome;
}

}  // namespace vux
