#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "reduce/byte_count.h"
#include "reduce/reduce_data.h"
#include "reduce/spectrum.h"
#include "reduce/window.h"
#include "reduce/reduce_test_util.h"
#include "run/run_stop.h"

using test_support::ScratchDir;
using reduce_test::TestRun;
using reduce_test::WriteDataFile;

namespace {

const double kNaN = std::nan("");

// Processes one window after the test has put the raw values in place.
void Window(TestRun& r, WindowContext& ctx, int32_t m, int32_t n) {
    ProcessWindow(r.state, ctx, m, n);
    ctx.windowPosition = 0;
}

TEST(WindowProcessing, EquationModesSeeCountAndCurrentValues) {
    TestRun r(4, 100);
    r.Equation(0, "C0", "count");
    r.Equation(1, "C1", "count");
    r.Equation(1, "SUMC", "SUMC+count");
    r.Equation(1, "ACC", "ACC+1");        // adds 1 to its own result
    r.Equation(1, "SEENA", "SEENA+A");    // A: raw while A runs, normalised while F runs
    r.Equation(1, "SEENB", "SEENB+B");    // B is never processed: always raw
    const int32_t a = r.Column("A", 1, 1, "input*2");
    const int32_t b = r.Column("B", 1, 0, "0");
    const int32_t f = r.Column("F", 1, 2, "1");
    PrepareColumns(r.state, 0);
    r.Col(a).samples = {1, 2, 3, 4};
    r.Col(b).samples = {10, 20, 30, 40};
    r.Col(f).samples = {5, 5, 5, 5};
    WindowContext ctx = MakeWindowContext(r.state);

    ProcessWindow(r.state, ctx, 0, 4);

    EXPECT_EQ(r.Var("C0"), 0.0);
    EXPECT_EQ(r.Var("C1"), 3.0);
    // Two per-sample columns: every mode-1 equation runs 2 x 4 times.
    EXPECT_EQ(r.Var("ACC"), 8.0);
    EXPECT_EQ(r.Var("SUMC"), 12.0);
    EXPECT_EQ(r.Var("SEENA"), 10.0 + 20.0);
    EXPECT_EQ(r.Var("SEENB"), 200.0);
    EXPECT_EQ(r.Col(a).samples, (std::vector<double>{2, 4, 6, 8}));
    EXPECT_EQ(r.Var("A"), 8.0);
    EXPECT_EQ(ctx.windowPosition, 4);
}

TEST(WindowProcessing, ModeOneEquationsNeedAPerSampleColumn) {
    TestRun r(4, 100);
    r.Equation(1, "ACC", "ACC+1");
    r.Column("T", 1, 0, "0");
    const int32_t p = r.Column("P", 0, 1, "input");
    PrepareColumns(r.state, 1);
    r.Col(p).samples[0] = 3;
    WindowContext ctx = MakeWindowContext(r.state);
    Window(r, ctx, 0, 4);
    EXPECT_EQ(r.Var("ACC"), 0.0);
}

TEST(WindowProcessing, ColumnsSeeEarlierNormalisedValuesAndEquationsSeeRawOnes) {
    TestRun r(4, 100);
    r.Equation(0, "RAWA", "A");
    r.Equation(0, "FIRSTX", "X");
    const int32_t a = r.Column("A", 0, 1, "input*2");
    const int32_t b = r.Column("B", 0, 1, "A+input");
    const int32_t x = r.Column("X", 1, 1, "input+1");
    const int32_t c = r.Column("C", 0, 1, "X+count");  // after X: count is left at N
    PrepareColumns(r.state, 1);
    r.Col(a).samples[0] = 3;
    r.Col(b).samples[0] = 5;
    r.Col(x).samples = {1, 2, 3, 4};
    WindowContext ctx = MakeWindowContext(r.state);
    Window(r, ctx, 0, 4);

    EXPECT_EQ(r.Var("RAWA"), 3.0);
    EXPECT_EQ(r.Var("FIRSTX"), 1.0);
    EXPECT_EQ(r.Col(a).samples[0], 6.0);
    EXPECT_EQ(r.Col(b).samples[0], 11.0);
    EXPECT_EQ(r.Col(c).samples[0], 5.0 + 4.0);

    // Window 1 writes element 1 and leaves window 0's values alone.
    r.Col(a).samples[1] = 10;
    r.Col(b).samples[1] = 1;
    Window(r, ctx, 1, 4);
    EXPECT_EQ(r.Col(a).samples, (std::vector<double>{6, 20}));
    EXPECT_EQ(r.Col(b).samples, (std::vector<double>{11, 21}));
    EXPECT_EQ(r.Var("RAWA"), 10.0);
}

TEST(WindowProcessing, StatisticsKeepFirstOfTiesAndIgnoreNaN) {
    TestRun r(6, 100);
    const int32_t t = r.Column("T", 1, 0, "0");
    const int32_t v = r.Column("V", 1, 0, "0");
    const int32_t p = r.Column("P", 0, 0, "0");
    PrepareColumns(r.state, 1);
    WindowContext ctx = MakeWindowContext(r.state);

    r.Col(t).samples = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
    r.Col(v).samples = {1, 5, kNaN, 5, -2, -2};
    r.Col(p).samples[0] = 7;
    Window(r, ctx, 0, 6);
    EXPECT_EQ(r.Col(v).max, 5.0);
    EXPECT_EQ(r.Col(v).timeOfMax, 0.2);
    EXPECT_EQ(r.Col(v).min, -2.0);
    EXPECT_EQ(r.Col(v).timeOfMin, 0.5);
    EXPECT_EQ(r.Col(p).max, 7.0);
    EXPECT_EQ(r.Col(p).timeOfMax, 0.1);  // the time of the window's first row
    EXPECT_EQ(r.Col(t).min, 0.1);
    EXPECT_EQ(r.Col(t).timeOfMin, 0.1);

    r.Col(t).samples = {0.7, 0.8, 0.9, 1.0, 1.1, 1.2};
    r.Col(v).samples = {kNaN, 5, 4, 9, 9, -3};
    r.Col(p).samples[1] = 7;
    Window(r, ctx, 1, 6);
    EXPECT_EQ(r.Col(v).max, 9.0);
    EXPECT_EQ(r.Col(v).timeOfMax, 1.0);
    EXPECT_EQ(r.Col(v).min, -3.0);
    EXPECT_EQ(r.Col(v).timeOfMin, 1.2);
    EXPECT_EQ(r.Col(p).timeOfMax, 0.1);  // a tie keeps the first
    EXPECT_EQ(r.Col(t).max, 1.2);
    EXPECT_EQ(r.Col(t).timeOfMax, 1.2);
}

// A once-per-window value comes from its window's first row, so it is
// stamped with the first column's value in that row: element 0 of an
// every-sample first column (also past WINDOW_SIZE windows), element m of a
// once-per-window one.
TEST(WindowProcessing, OncePerWindowValuesTakeTheTimeOfTheWindowsFirstRow) {
    for (int32_t timeMult : {1, 0}) {
        SCOPED_TRACE(timeMult == 1 ? "time read every sample" : "time read once per window");
        TestRun r(2, 100);
        const int32_t t = r.Column("T", timeMult, 0, "0");
        const int32_t q = r.Column("Q", 0, 0, "0");
        PrepareColumns(r.state, 0);
        WindowContext ctx = MakeWindowContext(r.state);
        const std::vector<double> values = {5, 1, 9, 3};  // min in window 1, max in window 2
        for (int32_t m = 0; m < 4; ++m) {
            if (timeMult == 1) {
                r.Col(t).samples = {10.0 * m, 10.0 * m + 5};
            } else {
                r.Col(t).samples.resize(static_cast<size_t>(m) + 1);
                r.Col(t).samples[static_cast<size_t>(m)] = 10.0 * m;
            }
            r.Col(q).samples.resize(static_cast<size_t>(m) + 1);
            r.Col(q).samples[static_cast<size_t>(m)] = values[static_cast<size_t>(m)];
            Window(r, ctx, m, 2);
        }
        EXPECT_EQ(r.Col(q).max, 9.0);
        EXPECT_EQ(r.Col(q).timeOfMax, 20.0);
        EXPECT_EQ(r.Col(q).min, 1.0);
        EXPECT_EQ(r.Col(q).timeOfMin, 10.0);
    }
}

// The time base is checked against the median step of the first window:
// a few odd steps (a gap, a repeated stamp, a NaN) do not move it.
TEST(WindowProcessing, MedianStepOfTheFirstSamples) {
    EXPECT_EQ(MedianStep({0, 1, 2, 2, 3, 50, 51}, 7), 1.0);
    EXPECT_EQ(MedianStep({0, 2, 3, 7, 100}, 4), 2.0);  // steps 2 1 4: the 100 is past n
    EXPECT_EQ(MedianStep({0, 1, kNaN, 3, 4}, 5), 1.0);
    EXPECT_EQ(MedianStep({3, 1}, 2), -2.0);
    EXPECT_EQ(MedianStep({1, 2}, 8), 1.0);  // n beyond the array reads what there is
    EXPECT_TRUE(std::isnan(MedianStep({1}, 1)));
}

TEST(WindowProcessing, MeansWeighEveryWindowEqually) {
    TestRun r(4, 100);
    r.Column("T", 1, 0, "0");
    const int32_t p = r.Column("P", 0, 1, "input*2");
    const int32_t x = r.Column("X", 1, 1, "input");
    const int32_t z = r.Column("Z", 0, 0, "0");
    PrepareColumns(r.state, 1);
    WindowContext ctx = MakeWindowContext(r.state);

    r.Col(p).samples[0] = 1;
    r.Col(x).samples = {1, 2, 3, 4};
    r.Col(z).samples[0] = 9;
    Window(r, ctx, 0, 4);
    r.Col(p).samples[1] = 2;
    r.Col(x).samples = {10, 20, 99, 99};
    r.Col(z).samples[1] = 9;
    Window(r, ctx, 1, 2);  // a short window counts as much as a full one
    FinishMeans(r.state, 2);

    EXPECT_EQ(r.Col(p).mean, 3.0);
    EXPECT_EQ(r.Col(x).mean, (2.5 + 15.0) / 2);
    EXPECT_EQ(r.Col(z).mean, 0.0);

    TestRun none(4, 100);
    none.Column("P", 0, 1, "input");
    PrepareColumns(none.state, 0);
    FinishMeans(none.state, 0);
    EXPECT_TRUE(std::isnan(none.Col(0).mean));
}

TEST(WindowProcessing, FftOnOncePerWindowColumnStopsTheRun) {
    TestRun r(4, 100);
    const int32_t a = r.Column("A", 0, 1, "input+1");
    r.Column("F", 0, 2, "1");
    const int32_t g = r.Column("G", 1, 1, "input*3");
    PrepareColumns(r.state, 1);
    r.Col(a).samples[0] = 1;
    r.Col(g).samples = {1, 1, 1, 1};
    WindowContext ctx = MakeWindowContext(r.state);
    try {
        ProcessWindow(r.state, ctx, 0, 4);
        FAIL() << "expected the run to stop";
    } catch (const RunStop& stop) {
        EXPECT_EQ(stop.status, -1);
        EXPECT_EQ(stop.message,
                  "\nFFT operation requested on column F...but only reading one data point per window\n");
    }
    EXPECT_EQ(r.Col(a).samples[0], 2.0);  // columns before it are done
    EXPECT_EQ(r.Col(g).samples[0], 1.0);  // columns after it are not
}

TEST(WindowProcessing, ProgressFiguresAreRawForFourWindowsThenSmoothed) {
    ProgressFigures f;
    const double e[] = {0.5, 0.25, 2.0, 1.0, 4.0, 0.1};
    const double b[] = {1000, 500, 800, 100, 2000, 50};
    for (int32_t n = 1; n <= 4; ++n) {
        UpdateProgress(f, n, e[n - 1], b[n - 1]);
        EXPECT_EQ(f.windowTime, e[n - 1]);
        EXPECT_EQ(f.byteRate, b[n - 1] / e[n - 1]);
    }
    double t = 1.0;
    double rate = 100.0;
    for (int32_t n = 5; n <= 6; ++n) {
        UpdateProgress(f, n, e[n - 1], b[n - 1]);
        t = 0.98 * t + 0.02 * e[n - 1];
        rate = 0.98 * rate + 0.02 * (b[n - 1] / t);
        EXPECT_EQ(f.windowTime, t);
        EXPECT_EQ(f.byteRate, rate);
    }
}

// --- whole reductions over a data file -------------------------------------

// Rows "t,p,v" with t = i, p = i + 0.5 (read once per window), v = i.
std::vector<std::string> Rows(int count) {
    std::vector<std::string> rows;
    for (int i = 0; i < count; ++i) {
        rows.push_back(std::to_string(i) + "," + std::to_string(i + 0.5) + "," + std::to_string(i));
    }
    return rows;
}

struct Reduction {
    ScratchDir dir;
    TestRun run{10, 100};
    ReduceOutcome outcome;
    std::string out;

    Reduction() {
        run.Column("TIME", 1, 0, "0");
        run.Column("PRES", 0, 1, "input/2");
        run.Column("V", 1, 1, "input*10");
        run.WindowFunction("0.5*(1-cos((2*PI*input)/WINDOW_SIZE))");
    }
    void Run(int rows) {
        WriteDataFile(dir / "data.csv", "t,p,v", Rows(rows));
        run.state.settings.inputPath = dir / "data.csv";
        testing::internal::CaptureStdout();
        outcome = ReduceDataFile(run.state);
        out = testing::internal::GetCapturedStdout();
    }
    int ProgressLines() const {
        int count = 0;
        for (size_t at = out.find("Window "); at != std::string::npos; at = out.find("Window ", at + 1)) ++count;
        return count;
    }
};

TEST(ReduceDataFile, WholeWindowsGiveOneProgressLineEach) {
    Reduction r;
    r.Run(20);
    EXPECT_EQ(r.outcome.processedWindows, 2);
    EXPECT_EQ(r.ProgressLines(), 2);
    EXPECT_EQ(r.run.Col(0).max, 19.0);
    EXPECT_EQ(r.run.Col(1).samples[0], 0.25);
    EXPECT_EQ(r.run.Col(1).samples[1], 5.25);
    EXPECT_EQ(r.run.Col(1).mean, (0.25 + 5.25) / 2);
    // Stamped with the time of window 1's first row.
    EXPECT_EQ(r.run.Col(1).timeOfMax, 10.0);
}

TEST(ReduceDataFile, OddLastWindowLosesItsLastRow) {
    Reduction r;
    r.Run(27);  // 10 + 10 + 7 rows: the last window is processed with N = 6
    EXPECT_EQ(r.outcome.processedWindows, 3);
    const ColumnDef& v = r.run.Col(2);
    EXPECT_EQ(r.run.Col(0).max, 25.0);
    EXPECT_EQ(v.max, 250.0);
    EXPECT_EQ(v.samples[5], 250.0);
    EXPECT_EQ(v.samples[6], 26.0);   // read and stored, not processed
    EXPECT_EQ(v.samples[7], 170.0);  // left by the previous window
    // Window means 45, 145 and 225, each weighing one third.
    EXPECT_NEAR(v.mean, (45.0 + 145.0 + 225.0) / 3, 1e-12);
}

TEST(ReduceDataFile, LastWindowOfOneRowIsDropped) {
    Reduction r;
    r.Run(21);
    EXPECT_EQ(r.outcome.processedWindows, 2);
    EXPECT_EQ(r.ProgressLines(), 2);
    EXPECT_EQ(r.run.Col(0).max, 19.0);
    EXPECT_EQ(r.run.Col(0).samples[0], 10.0);
    EXPECT_EQ(r.run.Col(2).samples[0], 100.0);  // window 1's first sample, normalised
    EXPECT_EQ(ElementOrZero(r.run.Col(1).samples, 2), 0.0);
}

TEST(ReduceDataFile, NoRowsGivesNoWindowsAndNaNMeans) {
    Reduction r;
    const int32_t f = r.run.Column("F", 1, 2, "1");
    r.Run(0);
    EXPECT_EQ(r.outcome.processedWindows, 0);
    EXPECT_EQ(r.ProgressLines(), 0);
    EXPECT_TRUE(std::isnan(r.run.Col(1).mean));  // PRES: 0 / 0
    EXPECT_TRUE(std::isnan(r.run.Col(f).spectrum[0]));
}

TEST(ReduceDataFile, ConsoleLinesComeInOrder) {
    Reduction r;
    r.Run(20);
    std::string masked = std::regex_replace(r.out, std::regex("\\.\\.\\.[0-9.]+s elapsed"), "...<T>s elapsed");
    masked = std::regex_replace(masked, std::regex("Remaining [-0-9.a-z]+s"), "Remaining <T>s");
    masked = std::regex_replace(masked, std::regex("took [0-9.]+ seconds"), "took <T> seconds");

    const uint64_t header = 13 + 37;
    const uint64_t headings = header + 7;
    uint64_t firstWindow = headings;
    for (const std::string& row : Rows(10)) firstWindow += row.size() + 2;
    const uint64_t size = std::filesystem::file_size(r.dir / "data.csv");
    const std::string path = r.dir / "data.csv";
    const std::string expected =
        "Data file " + path + " opened\n"
        "Data file size: " + std::to_string(size) + " bytes......or " + FormatByteCount(size) + "\n"
        "Estimated number of windows: 0\n"
        "Generating window function......done!\n"
        "Header processed......read " + FormatByteCount(header) + "\n\n"
        "Column 0: TIME -> t\n"
        "Column 1: PRES -> p\n"
        "Data headings processed......read " + FormatByteCount(headings) + "\n\n"
        "Reading and processing data file......\n"
        "Window 1...<T>s elapsed | Remaining <T>s..." + FormatByteCount(size - firstWindow) + "     \r"
        "Window 2...<T>s elapsed | Remaining <T>s..." + FormatByteCount(0) + "     \r"
        "\nPost-processing......"
        "\nPerforming matrix rotation operation...done! (took <T> seconds)";
    EXPECT_EQ(masked, expected);
}

}  // namespace
