#include "reduce/reduce_data.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <limits>
#include <optional>

#include "core/clock.h"
#include "core/error.h"
#include "reduce/rotation.h"
#include "reduce/spectrum.h"
#include "reduce/time_history.h"
#include "reduce/window.h"
#include "reduce/window_feed.h"
#include "reduce/window_transforms.h"

namespace vux {
ReduceResult ReduceWindows(DataReader& reader, const RunConfig& config, const ReduceObserver& observer,
                           int32_t threads, TimeHistory* history) {
    const auto tell = [&](ReducePhase phase, const ReduceResult& result) {
        if (observer.phase) observer.phase(phase, reader, result);
    };
    ReduceResult result;
    const int32_t windowSize = config.settings.windowSize;

    PrepareColumns(config, reader.estimatedWindows, result);
    WindowWork work = MakeWindowWork(config);
    tell(ReducePhase::WindowTable, result);
    SpectralTables tables = BuildSpectralTables(config, work.vars, result.spectra);
    tell(ReducePhase::WindowTableDone, result);
    const RotationPlan rotation = PlanRotation(config, result.rotated);

    SkipHeader(reader);
    tell(ReducePhase::HeaderSkipped, result);
    MapHeadings(reader, config.columns.size(), result.headings);
    tell(ReducePhase::HeadingsMapped, result);

    // One window's rows, then its processing: on the windows of one thread
    // or of many, the arrays hold the same bits when a window is processed.
    int32_t m = 0;
    const bool timed = !config.columns.empty() && IsEverySample(config.columns[0].sampling);
    double firstTime = 0.0;
    double meanStep = std::numeric_limits<double>::quiet_NaN();
    uint64_t steppedRows = 0;
    {
        const int32_t threadCount = threads > 0 ? threads : ChooseThreads(std::getenv("VUX_THREADS")).threads;
        // On 3 threads or more the transforms of a window run on any of the
        // feed's threads while the window loop goes on to the next windows;
        // their sums are made here, in window order. (On 2, reading and
        // parsing keep both busy longer than the window loop takes: handing
        // the transforms over would only add its copies.)
        std::optional<WindowTransforms> transforms;
        const size_t transformColumns = tables.transformColumns.size();
        if (threadCount > 2 && transformColumns > 0) {
            transforms.emplace(transformColumns, windowSize,
                               WindowTransforms::SlotsFor(threadCount, windowSize, transformColumns));
        }
        WindowFeed feed(reader, config.columns, windowSize, threadCount, transforms ? &*transforms : nullptr);
        const std::function<void(TransformJob&)> retire = [&](TransformJob& job) {
            for (size_t i = 0; i < transformColumns; ++i) {
                Spectrum& spectrum = result.spectra[static_cast<size_t>(tables.transformColumns[i])];
                if (!job.plan) continue;
                const std::vector<double>& power = job.powers[i];
                std::copy(power.begin(), power.begin() + (job.n / 2 + 1), spectrum.power.begin());
                AddDensity(spectrum.power.data(), spectrum.density.data(), job.n, config.settings.sampleFreq);
            }
            if (history != nullptr) {
                history->AddWindow(job.rows, job.n < windowSize ? job.table : tables.windowTable, job.start, result);
            }
        };
        for (;;) {
            const RunClock::time_point start = RunClock::now();
            const FedWindow fed = feed.Next(result.samples);
            // A window of 0 or 1 rows only happens at the end of the file; it is
            // dropped without a trace.
            if (fed.rows < 2) break;
            const int32_t n = fed.rows - fed.rows % 2;
            ProcessWindow(config, work, result, m, n);
            if (m == 0 && !config.columns.empty()) {
                result.firstWindowStart = WindowStartTime(config.columns[0].sampling, result.samples[0], 0);
            }
            result.lastWindowRows = fed.rows;
            if (timed) {
                // Every window before this one had WINDOW_SIZE rows in the file.
                const std::vector<double>& time = result.samples[0];
                if (m == 0) firstTime = time[0];
                steppedRows = static_cast<uint64_t>(m) * static_cast<uint64_t>(windowSize) + static_cast<uint64_t>(n);
                meanStep = (time[static_cast<size_t>(n) - 1] - firstTime) / static_cast<double>(steppedRows - 1);
            }
            if (transforms) {
                TransformJob& job = transforms->Take(n, retire);
                const std::vector<double>& table = WindowTableFor(config, tables, work.vars, n);
                for (size_t i = 0; i < transformColumns; ++i) {
                    ApplyWindow(result.samples[static_cast<size_t>(tables.transformColumns[i])].data(), table.data(),
                                job.inputs[i].data(), n);
                }
                job.rows = fed.rows;
                if (history != nullptr) {
                    job.start = WindowStartTime(config.columns[0].sampling, result.samples[0], static_cast<size_t>(m));
                    if (n < windowSize) job.table.assign(table.begin(), table.end());
                }
                transforms->Submit(job);
                feed.TellSideWork();
            } else {
                TransformWindow(config, tables, work.vars, result.samples, result.spectra, n);
                if (history != nullptr) history->AddWindow(m, fed.rows, tables, result);
            }
            ++m;
            work.windowPosition = 0;
            if (observer.window) observer.window(WindowDone{m, SecondsSince(start), fed.bytesConsumed});
            if (fed.endOfFile) break;
        }
        if (transforms) transforms->RetireAll(retire);
        result.quality = feed.Finish();
    }
    result.quality.meanStep = meanStep;
    result.quality.steppedRows = steppedRows;
    result.inputDigest = reader.digest.Canonical();
    // Results from a file that changed under the reader would mix two files.
    if (DataFileChanged(reader)) Fail(ErrorKind::DataChanged, reader.path);
    CloseDataFile(reader);

    tell(ReducePhase::PostProcessing, result);
    FinishMeans(config, result, m);
    AverageSpectra(config, result.spectra, m);

    tell(ReducePhase::Rotation, result);
    RotateGroups(rotation, config, result);
    result.processedWindows = m;
    tell(ReducePhase::RotationDone, result);
    return result;
}
}  // namespace vux
