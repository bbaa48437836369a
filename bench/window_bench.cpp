// Micro benchmark of the time-domain pass over one window (ProcessWindow)
// under the default configuration: the window loop's sequential part.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "config/config_file.h"
#include "config/evaluate.h"
#include "reduce/window.h"

using namespace vux;

namespace {

void BM_ProcessWindow(benchmark::State& state) {
    constexpr int32_t n = 10000;
    std::FILE* text = fmemopen(const_cast<char*>(kDefaultConfig.data()), kDefaultConfig.size(), "r");
    const RunConfig config = EvaluateConfig(UniqueFile(text));
    ReduceResult result;
    PrepareColumns(config, 1, result);
    WindowWork work = MakeWindowWork(config);

    // Window 1 of a sensor-box flight: the time, three slow channels and six
    // vibrating ones (as bench/data_reader_bench.cpp writes them).
    std::vector<std::vector<double>> raw = result.samples;
    for (int32_t i = 0; i < n; ++i) {
        const double t = 1.0 + i / 10000.0;
        const double a = std::sin(2 * M_PI * 95.0 * t), b = std::sin(2 * M_PI * 230.0 * t);
        const double row[] = {t, 0, 0, 0, 14.6 + 1.1 * a, -13.9 + 0.9 * b, 12.4 + 0.4 * a,
                              12.6 + 11.0 * b, -15.3 + 9.0 * a, -104.3 + 20.0 * b};
        for (size_t c = 0; c < raw.size(); ++c) {
            if (raw[c].size() == static_cast<size_t>(n)) raw[c][static_cast<size_t>(i)] = row[c];
        }
    }
    result.samples = raw;
    ProcessWindow(config, work, result, 0, n);
    for (auto _ : state) {
        state.PauseTiming();
        for (size_t c = 0; c < raw.size(); ++c) std::copy(raw[c].begin(), raw[c].end(), result.samples[c].begin());
        state.ResumeTiming();
        ProcessWindow(config, work, result, 1, n);
        benchmark::DoNotOptimize(result.stats.data());
    }
}
BENCHMARK(BM_ProcessWindow)->Unit(benchmark::kMicrosecond);

}  // namespace
