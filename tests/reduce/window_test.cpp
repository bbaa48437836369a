#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "reduce/reduce_data.h"
#include "reduce/spectrum.h"
#include "reduce/window.h"
#include "reduce/reduce_test_util.h"
#include "support/expect.h"

using namespace vux;

using test_support::ScratchDir;
using reduce_test::TestRun;
using reduce_test::WriteDataFile;

namespace {

const double kNaN = std::nan("");

// Processes one window after the test has put the raw values in place.
void Window(TestRun& r, int32_t m, int32_t n) {
    r.Process(m, n);
    r.work.windowPosition = 0;
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
    r.Prepare(0);
    r.Samples(a) = {1, 2, 3, 4};
    r.Samples(b) = {10, 20, 30, 40};
    r.Samples(f) = {5, 5, 5, 5};

    r.Process(0, 4);

    EXPECT_EQ(r.Var("C0"), 0.0);
    EXPECT_EQ(r.Var("C1"), 3.0);
    // Two per-sample columns: every mode-1 equation runs 2 x 4 times.
    EXPECT_EQ(r.Var("ACC"), 8.0);
    EXPECT_EQ(r.Var("SUMC"), 12.0);
    EXPECT_EQ(r.Var("SEENA"), 10.0 + 20.0);
    EXPECT_EQ(r.Var("SEENB"), 200.0);
    EXPECT_EQ(r.Samples(a), (std::vector<double>{2, 4, 6, 8}));
    EXPECT_EQ(r.Var("A"), 8.0);
    EXPECT_EQ(r.work.windowPosition, 4);
}

TEST(WindowProcessing, ModeOneEquationsNeedAPerSampleColumn) {
    TestRun r(4, 100);
    r.Equation(1, "ACC", "ACC+1");
    r.Column("T", 1, 0, "0");
    const int32_t p = r.Column("P", 0, 1, "input");
    r.Prepare(1);
    r.Samples(p)[0] = 3;
    Window(r, 0, 4);
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
    r.Prepare(1);
    r.Samples(a)[0] = 3;
    r.Samples(b)[0] = 5;
    r.Samples(x) = {1, 2, 3, 4};
    Window(r, 0, 4);

    EXPECT_EQ(r.Var("RAWA"), 3.0);
    EXPECT_EQ(r.Var("FIRSTX"), 1.0);
    EXPECT_EQ(r.Samples(a)[0], 6.0);
    EXPECT_EQ(r.Samples(b)[0], 11.0);
    EXPECT_EQ(r.Samples(c)[0], 5.0 + 4.0);

    // Window 1 writes element 1 and leaves window 0's values alone.
    r.Samples(a)[1] = 10;
    r.Samples(b)[1] = 1;
    Window(r, 1, 4);
    EXPECT_EQ(r.Samples(a), (std::vector<double>{6, 20}));
    EXPECT_EQ(r.Samples(b), (std::vector<double>{11, 21}));
    EXPECT_EQ(r.Var("RAWA"), 10.0);
}

TEST(WindowProcessing, StatisticsKeepFirstOfTiesAndIgnoreNaN) {
    TestRun r(6, 100);
    const int32_t t = r.Column("T", 1, 0, "0");
    const int32_t v = r.Column("V", 1, 0, "0");
    const int32_t p = r.Column("P", 0, 0, "0");
    r.Prepare(1);

    r.Samples(t) = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
    r.Samples(v) = {1, 5, kNaN, 5, -2, -2};
    r.Samples(p)[0] = 7;
    Window(r, 0, 6);
    EXPECT_EQ(r.Stats(v).max, 5.0);
    EXPECT_EQ(r.Stats(v).timeOfMax, 0.2);
    EXPECT_EQ(r.Stats(v).min, -2.0);
    EXPECT_EQ(r.Stats(v).timeOfMin, 0.5);
    EXPECT_EQ(r.Stats(p).max, 7.0);
    EXPECT_EQ(r.Stats(p).timeOfMax, 0.1);  // the time of the window's first row
    EXPECT_EQ(r.Stats(t).min, 0.1);
    EXPECT_EQ(r.Stats(t).timeOfMin, 0.1);

    r.Samples(t) = {0.7, 0.8, 0.9, 1.0, 1.1, 1.2};
    r.Samples(v) = {kNaN, 5, 4, 9, 9, -3};
    r.Samples(p)[1] = 7;
    Window(r, 1, 6);
    EXPECT_EQ(r.Stats(v).max, 9.0);
    EXPECT_EQ(r.Stats(v).timeOfMax, 1.0);
    EXPECT_EQ(r.Stats(v).min, -3.0);
    EXPECT_EQ(r.Stats(v).timeOfMin, 1.2);
    EXPECT_EQ(r.Stats(p).timeOfMax, 0.1);  // a tie keeps the first
    EXPECT_EQ(r.Stats(t).max, 1.2);
    EXPECT_EQ(r.Stats(t).timeOfMax, 1.2);
}

// Four FFT-type columns (summed three at a time) around a normalised one:
// each gets its own mean and division factor.
TEST(WindowProcessing, EveryFftColumnGetsItsOwnMean) {
    TestRun r(4, 100);
    const int32_t f1 = r.Column("F1", 1, 2, "2");
    const int32_t n = r.Column("N", 1, 1, "input*2");
    const int32_t f2 = r.Column("F2", 1, 2, "1");
    const int32_t f3 = r.Column("F3", 1, 2, "4");
    const int32_t f4 = r.Column("F4", 1, 2, "1");
    r.Prepare(1);
    r.Samples(f1) = {1, 2, 3, 4};
    r.Samples(n) = {1, 1, 1, 1};
    r.Samples(f2) = {10, 10, 10, 30};
    r.Samples(f3) = {0, 0, 0, 4};
    r.Samples(f4) = {-8, 0, 0, 0};
    Window(r, 0, 4);

    EXPECT_EQ(r.Stats(f1).mean, 2.5);
    EXPECT_EQ(r.Stats(f2).mean, 15.0);
    EXPECT_EQ(r.Stats(f3).mean, 1.0);
    EXPECT_EQ(r.Stats(f4).mean, -2.0);
    EXPECT_EQ(r.Samples(f1), (std::vector<double>{-0.75, -0.25, 0.25, 0.75}));
    EXPECT_EQ(r.Samples(n), (std::vector<double>{2, 2, 2, 2}));
    EXPECT_EQ(r.Samples(f2), (std::vector<double>{-5, -5, -5, 15}));
    EXPECT_EQ(r.Samples(f3), (std::vector<double>{-0.25, -0.25, -0.25, 0.75}));
    EXPECT_EQ(r.Samples(f4), (std::vector<double>{-6, 2, 2, 2}));
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
        r.Prepare(0);
        const std::vector<double> values = {5, 1, 9, 3};  // min in window 1, max in window 2
        for (int32_t m = 0; m < 4; ++m) {
            if (timeMult == 1) {
                r.Samples(t) = {10.0 * m, 10.0 * m + 5};
            } else {
                r.Samples(t).resize(static_cast<size_t>(m) + 1);
                r.Samples(t)[static_cast<size_t>(m)] = 10.0 * m;
            }
            r.Samples(q).resize(static_cast<size_t>(m) + 1);
            r.Samples(q)[static_cast<size_t>(m)] = values[static_cast<size_t>(m)];
            Window(r, m, 2);
        }
        EXPECT_EQ(r.Stats(q).max, 9.0);
        EXPECT_EQ(r.Stats(q).timeOfMax, 20.0);
        EXPECT_EQ(r.Stats(q).min, 1.0);
        EXPECT_EQ(r.Stats(q).timeOfMin, 10.0);
    }
}

// The time base is checked against the median step of the first window:
// a few odd steps (a gap, a repeated stamp, a NaN) do not move it.
TEST(WindowProcessing, MeansWeighEveryWindowEqually) {
    TestRun r(4, 100);
    r.Column("T", 1, 0, "0");
    const int32_t p = r.Column("P", 0, 1, "input*2");
    const int32_t x = r.Column("X", 1, 1, "input");
    const int32_t z = r.Column("Z", 0, 0, "0");
    r.Prepare(1);

    r.Samples(p)[0] = 1;
    r.Samples(x) = {1, 2, 3, 4};
    r.Samples(z)[0] = 9;
    Window(r, 0, 4);
    r.Samples(p)[1] = 2;
    r.Samples(x) = {10, 20, 99, 99};
    r.Samples(z)[1] = 9;
    Window(r, 1, 2);  // a short window counts as much as a full one
    FinishMeans(r.config, r.result, 2);

    EXPECT_EQ(r.Stats(p).mean, 3.0);
    EXPECT_EQ(r.Stats(x).mean, (2.5 + 15.0) / 2);
    EXPECT_EQ(r.Stats(z).mean, 0.0);

    TestRun none(4, 100);
    none.Column("P", 0, 1, "input");
    none.Prepare(0);
    FinishMeans(none.config, none.result, 0);
    EXPECT_TRUE(std::isnan(none.Stats(0).mean));
}

TEST(WindowProcessing, FftOnOncePerWindowColumnStopsTheRun) {
    TestRun r(4, 100);
    const int32_t a = r.Column("A", 0, 1, "input+1");
    r.Column("F", 0, 2, "1");
    const int32_t g = r.Column("G", 1, 1, "input*3");
    r.Prepare(1);
    r.Samples(a)[0] = 1;
    r.Samples(g) = {1, 1, 1, 1};
    const Error stop = test_support::ExpectStop([&] { r.Process(0, 4); });
    EXPECT_EQ(stop.kind, ErrorKind::FftOncePerWindow);
    EXPECT_EQ(stop.name, "F");
    EXPECT_EQ(r.Samples(a)[0], 2.0);  // columns before it are done
    EXPECT_EQ(r.Samples(g)[0], 1.0);  // columns after it are not
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
    ReduceResult result;
    std::vector<ReducePhase> phases;
    std::vector<WindowDone> windows;

    Reduction() {
        run.Column("TIME", 1, 0, "0");
        run.Column("PRES", 0, 1, "input/2");
        run.Column("V", 1, 1, "input*10");
        run.WindowFunction("0.5*(1-cos((2*PI*input)/WINDOW_SIZE))");
    }
    void Run(int rows) {
        WriteDataFile(dir / "data.csv", "t,p,v", Rows(rows));
        run.config = run.text.Evaluate();
        DataReader reader = OpenDataFile(dir / "data.csv", run.config.settings.windowSize);
        ReduceObserver observer;
        observer.phase = [&](ReducePhase phase, const DataReader&, const ReduceResult&) { phases.push_back(phase); };
        observer.window = [&](const WindowDone& done) { windows.push_back(done); };
        result = ReduceWindows(reader, run.config, observer);
    }
    int ProgressLines() const { return static_cast<int>(windows.size()); }
    ColumnStats& Stats(size_t c) { return result.stats[c]; }
    std::vector<double>& Samples(size_t c) { return result.samples[c]; }
};

TEST(ReduceWindows, WholeWindowsAreToldOneEach) {
    Reduction r;
    r.Run(20);
    EXPECT_EQ(r.result.processedWindows, 2);
    EXPECT_EQ(r.ProgressLines(), 2);
    EXPECT_EQ(r.Stats(0).max, 19.0);
    EXPECT_EQ(r.Samples(1)[0], 0.25);
    EXPECT_EQ(r.Samples(1)[1], 5.25);
    EXPECT_EQ(r.Stats(1).mean, (0.25 + 5.25) / 2);
    // Stamped with the time of window 1's first row.
    EXPECT_EQ(r.Stats(1).timeOfMax, 10.0);
}

TEST(ReduceWindows, OddLastWindowLosesItsLastRow) {
    Reduction r;
    r.Run(27);  // 10 + 10 + 7 rows: the last window is processed with N = 6
    EXPECT_EQ(r.result.processedWindows, 3);
    const std::vector<double>& v = r.Samples(2);
    EXPECT_EQ(r.Stats(0).max, 25.0);
    EXPECT_EQ(r.Stats(2).max, 250.0);
    EXPECT_EQ(v[5], 250.0);
    EXPECT_EQ(v[6], 26.0);   // read and stored, not processed
    EXPECT_EQ(v[7], 170.0);  // left by the previous window
    // Window means 45, 145 and 225, each weighing one third.
    EXPECT_NEAR(r.Stats(2).mean, (45.0 + 145.0 + 225.0) / 3, 1e-12);
}

TEST(ReduceWindows, LastWindowOfOneRowIsDropped) {
    Reduction r;
    r.Run(21);
    EXPECT_EQ(r.result.processedWindows, 2);
    EXPECT_EQ(r.ProgressLines(), 2);
    EXPECT_EQ(r.Stats(0).max, 19.0);
    EXPECT_EQ(r.Samples(0)[0], 10.0);
    EXPECT_EQ(r.Samples(2)[0], 100.0);  // window 1's first sample, normalised
    EXPECT_EQ(ElementOrZero(r.Samples(1), 2), 0.0);
}

TEST(ReduceWindows, NoRowsGivesNoWindowsAndNaNMeans) {
    Reduction r;
    const int32_t f = r.run.Column("F", 1, 2, "1");
    r.Run(0);
    EXPECT_EQ(r.result.processedWindows, 0);
    EXPECT_EQ(r.ProgressLines(), 0);
    EXPECT_TRUE(std::isnan(r.Stats(1).mean));  // PRES: 0 / 0
    EXPECT_TRUE(std::isnan(r.result.spectra[static_cast<size_t>(f)].density[0]));
}

// The run prints each phase and one progress line per window from these.
TEST(ReduceWindows, PhasesAndWindowsAreToldInOrder) {
    Reduction r;
    r.Run(20);
    using P = ReducePhase;
    EXPECT_EQ(r.phases, (std::vector<P>{P::WindowTable, P::WindowTableDone, P::HeaderSkipped, P::HeadingsMapped,
                                        P::PostProcessing, P::Rotation, P::RotationDone}));
    EXPECT_EQ(r.result.headings, (std::vector<std::string>{"t", "p"}));  // the text after the last comma is none
    uint64_t firstWindow = 13 + 37 + 7;
    for (const std::string& row : Rows(10)) firstWindow += row.size() + 2;
    ASSERT_EQ(r.windows.size(), 2u);
    EXPECT_EQ(r.windows[0].window, 1);
    EXPECT_EQ(r.windows[0].bytesConsumed, firstWindow);
    EXPECT_EQ(r.windows[1].window, 2);
    EXPECT_EQ(r.windows[1].bytesConsumed, std::filesystem::file_size(r.dir / "data.csv"));
    EXPECT_GE(r.windows[1].seconds, 0.0);
}

}  // namespace
