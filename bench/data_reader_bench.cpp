// Micro benchmark of the data file reader: header skip, headings and every
// window of rows of a sensor-box file written to a temporary directory.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/run_state.h"
#include "reduce/data_reader.h"
#include "core/error.h"
#include "run/console.h"

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

std::vector<ColumnDef> DefaultColumns() {
    const char* const names[] = {"TIME", "PRES", "TEMP", "HUMD", "ANGX", "ANGY", "ANGZ", "LINX", "LINY", "LINZ"};
    std::vector<ColumnDef> columns;
    for (const char* name : names) {
        ColumnDef c;
        c.name = name;
        c.multPerWindow = (c.name == "PRES" || c.name == "TEMP" || c.name == "HUMD") ? 0 : 1;
        columns.push_back(std::move(c));
    }
    return columns;
}

// Sends standard output to /dev/null while alive (the reader reports its
// progress there).
struct MutedStdout {
    int saved = -1;
    MutedStdout() {
        std::fflush(stdout);
        saved = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~MutedStdout() {
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
    }
};

void BM_ReadRowsWholeFile(benchmark::State& state) {
    const SampleFile file(static_cast<int>(state.range(0)));
    std::vector<ColumnDef> columns = DefaultColumns();
    int64_t rowsRead = 0;
    for (auto _ : state) {
        MutedStdout muted;
        try {
            DataReader reader = OpenDataFile(file.path.string(), kWindowSize);
            SkipHeader(reader);
            MapHeadings(reader, columns);
            for (int32_t m = 0;; ++m) {
                const RowsRead got = ReadRows(reader, m, columns, kWindowSize);
                rowsRead += got.rows;
                if (got.endOfFile || got.rows < kWindowSize) break;
            }
            CloseDataFile(reader);
        } catch (const Error& error) {
            state.SkipWithError(Message(error).c_str());
            break;
        }
        benchmark::DoNotOptimize(columns[9].samples.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.bytes));
    state.counters["rows"] = benchmark::Counter(static_cast<double>(rowsRead), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadRowsWholeFile)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
