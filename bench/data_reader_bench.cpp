// Micro benchmarks of the data file reader with the window feed on one
// thread (header skip, headings and every window of rows) and of the whole
// window loop under the default configuration, on a sensor-box file written
// to a temporary directory.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "config/evaluate.h"
#include "reduce/data_reader.h"
#include "reduce/line_scan.h"
#include "reduce/reduce_data.h"
#include "reduce/window_feed.h"
#include "core/error.h"
#include "run/messages.h"

using namespace vux;

namespace {

namespace fs = std::filesystem;

constexpr int32_t kWindowSize = 10000;

// A file in the default column order with `rows` rows of about 110 bytes,
// CR LF line ends. Deleted with its directory when the object goes.
struct SampleFile {
    fs::path dir;
    fs::path path;
    uint64_t bytes = 0;

    explicit SampleFile(int rows) {
        std::string pattern = (fs::temp_directory_path() / "vux_bench.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        dir = pattern;
        path = dir / "data.csv";
        std::string text =
            "VUX-2 sensor box export\r\nFlight,BENCH,climb cruise descent\r\n\r\n"
            "Data Starts Here,,,,,,,,,,,,,,,,,,,\r\n"
            "Time (s),Pressure (mV),Temp (mV),Humidity (mV),Gyro X,Gyro Y,Gyro Z,Acc X,Acc Y,Acc Z,\r\n";
        char row[256];
        for (int i = 0; i < rows; ++i) {
            const double t = i / 10000.0;
            const double a = std::sin(2 * M_PI * 95.0 * t), b = std::sin(2 * M_PI * 230.0 * t);
            const int n = std::snprintf(row, sizeof row,
                "%.5f,%.4f,%.4f,%.4f,%+.6f,%+.6f,%+.6f,%+.6f,%+.6f,%+.6f\r\n", t, 1798.7771 - 0.01 * t,
                -1456.439 - 0.002 * t, 176.6658 + 0.003 * t, 14.6 + 1.1 * a, -13.9 + 0.9 * b, 12.4 + 0.4 * a,
                12.6 + 11.0 * b, -15.3 + 9.0 * a, -104.3 + 20.0 * b);
            text.append(row, static_cast<size_t>(n));
        }
        std::ofstream(path, std::ios::binary) << text;
        bytes = text.size();
    }
    ~SampleFile() { fs::remove_all(dir); }
};

// The default configuration, as the tool evaluates it.
RunConfig DefaultConfig() {
    std::FILE* text = fmemopen(const_cast<char*>(kDefaultConfig.data()), kDefaultConfig.size(), "r");
    return EvaluateConfig(UniqueFile(text));
}

// The window feed on one thread: header, headings and every window's rows
// parsed into the arrays, without window processing; `range(1)` 1 forces the
// portable row loop (field by field) where the processor would take the
// vector one.
void BM_FeedWholeFile(benchmark::State& state) {
    const SampleFile file(static_cast<int>(state.range(0)));
    ForcePortableLineScan(state.range(1) != 0);
    const RunConfig config = DefaultConfig();
    std::vector<std::vector<double>> samples;
    std::vector<std::string> headings;
    int64_t rowsRead = 0;
    for (auto _ : state) {
        try {
            DataReader reader = OpenDataFile(file.path.string(), kWindowSize);
            SkipHeader(reader);
            MapHeadings(reader, config.columns.size(), headings);
            WindowFeed feed(reader, config.columns, kWindowSize, 1);
            for (bool end = false; !end;) {
                const FedWindow fed = feed.Next(samples);
                rowsRead += fed.rows;
                end = fed.endOfFile;
            }
            feed.Finish();
            CloseDataFile(reader);
        } catch (const Error& error) {
            state.SkipWithError(Message(error).c_str());
            break;
        }
        benchmark::DoNotOptimize(samples[9].data());
    }
    ForcePortableLineScan(false);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.bytes));
    state.counters["rows"] = benchmark::Counter(static_cast<double>(rowsRead), benchmark::Counter::kIsRate);
    state.SetLabel(state.range(1) != 0 || !LineScanUsesAvx2() ? "portable" : "AVX2");
}
BENCHMARK(BM_FeedWholeFile)->Args({100000, 0})->Args({100000, 1})->Unit(benchmark::kMillisecond);

// The production window loop (reading, equations, normalisation, FFT,
// rotation) under the default configuration; `range(1)` is the reader's
// block size in bytes.
void BM_ReduceWindowsWholeFile(benchmark::State& state) {
    const SampleFile file(static_cast<int>(state.range(0)));
    const RunConfig config = DefaultConfig();
    for (auto _ : state) {
        try {
            DataReader reader = OpenDataFile(file.path.string(), config.settings.windowSize);
            reader.blockSize = static_cast<size_t>(state.range(1));
            const ReduceResult result = ReduceWindows(reader, config);
            benchmark::DoNotOptimize(result.spectra[4].density.data());
        } catch (const Error& error) {
            state.SkipWithError(Message(error).c_str());
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.bytes));
}
BENCHMARK(BM_ReduceWindowsWholeFile)->Args({100000, 1 << 20})->Args({100000, 1 << 12})->Unit(benchmark::kMillisecond);

}  // namespace
