#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "reduce/spectrum.h"
#include "reduce/window.h"
#include "reduce/reduce_test_util.h"

using namespace vux;

using reduce_test::kPi;
using reduce_test::TestRun;

namespace {

// One FFT-type column "F" read every sample, reduced window by window.
struct FftRun {
    TestRun run;
    int32_t f = -1;
    SpectralTables tables;
    std::string err;  // what building the tables wrote to the error stream

    FftRun(int32_t windowSize, int32_t sampleFreq, const std::string& windowFunction,
           const std::string& divisionFactor = "1")
        : run(windowSize, sampleFreq) {
        f = run.Column("F", 1, 2, divisionFactor);
        run.WindowFunction(windowFunction);
    }
    // After the equations are in place.
    void Build() {
        run.Prepare(0);
        testing::internal::CaptureStderr();
        tables = BuildSpectralTables(run.config, run.work.vars, run.result.spectra);
        err = testing::internal::GetCapturedStderr();
    }
    // Window m holding `x` (its even length is N).
    void Window(int32_t m, const std::vector<double>& x) {
        std::copy(x.begin(), x.end(), run.Samples(f).begin());
        const int32_t n = static_cast<int32_t>(x.size());
        run.Process(m, n);
        Transform(n);
        run.work.windowPosition = 0;
    }
    void Transform(int32_t n) {
        TransformWindow(run.config, tables, run.work.vars, run.result.samples, run.result.spectra, n);
    }
    void Average(int32_t m) { AverageSpectra(run.config, run.result.spectra, m); }
    const std::vector<double>& Spectrum() { return run.result.spectra[static_cast<size_t>(f)].density; }
};

std::vector<double> Sine(int32_t n, double amplitude, int32_t periods) {
    std::vector<double> x(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) x[i] = amplitude * std::sin(2 * kPi * periods * i / n);
    return x;
}

TEST(Spectrum, SineWithRectangularWindowPeaksAtItsBin) {
    const int32_t w = 64, fs = 128, k0 = 5;
    const double a = 3.0;
    FftRun r(w, fs, "1");
    r.Build();
    r.Window(0, Sine(w, a, k0));
    r.Window(1, Sine(w, a, k0));
    r.Average(2);

    const double peak = a * a * w / (2.0 * fs);
    EXPECT_NEAR(r.Spectrum()[k0], peak, 1e-5 * peak);
    for (int32_t k = 0; k <= w / 2; ++k) {
        if (k != k0) {
            EXPECT_LT(std::fabs(r.Spectrum()[k]), 1e-6 * peak) << "bin " << k;
        }
    }
    for (int32_t k = w / 2 + 1; k < w; ++k) EXPECT_EQ(r.Spectrum()[k], 0.0);
}

TEST(Spectrum, ConstantColumnGivesNoPower) {
    FftRun r(64, 100, "0.5*(1-cos((2*PI*input)/WINDOW_SIZE))");
    r.Build();
    r.Window(0, std::vector<double>(64, 7.3));
    r.Average(1);
    for (int32_t k = 0; k <= 32; ++k) EXPECT_LT(std::fabs(r.Spectrum()[k]), 1e-20) << "bin " << k;
}

TEST(Spectrum, DcBinSingleNyquistBinDoubledBothAveraged) {
    // Window function "count" yields k: the table is 0, 1, ..., 7. On
    // +a, -a, +a, ... that gives X0 = -4a and X4 = 28a.
    const int32_t w = 8, fs = 10;
    FftRun r(w, fs, "count");
    r.Build();
    for (int32_t k = 0; k < w; ++k) EXPECT_EQ(r.tables.windowTable[k], k);
    r.Window(0, {1, -1, 1, -1, 1, -1, 1, -1});
    r.Window(1, {2, -2, 2, -2, 2, -2, 2, -2});
    r.Average(2);

    const double d = w * fs;
    EXPECT_NEAR(r.Spectrum()[0], (16 / d + 64 / d) / 2, 1e-6);
    EXPECT_NEAR(r.Spectrum()[4], (2 * 784 / d + 2 * 3136 / d) / 2, 1e-4);
    for (int32_t k = 5; k < w; ++k) EXPECT_EQ(r.Spectrum()[k], 0.0);
}

TEST(Spectrum, PreparationRemovesMeanThenDivides) {
    for (bool sampleEquations : {false, true}) {
        SCOPED_TRACE(sampleEquations ? "with mode-1 equations" : "without");
        FftRun r(4, 10, "0.5*(1-cos((2*PI*input)/WINDOW_SIZE))", "2");
        if (sampleEquations) {
            r.run.Equation(1, "E", "F");               // mean removed, not yet divided
            r.run.Equation(1, "S", "S+F*count");
        }
        r.Build();
        std::vector<double>& samples = r.run.Samples(r.f);
        std::copy_n(std::vector<double>{1, 2, 3, 6}.begin(), 4, samples.begin());
        r.run.Process(0, 4);

        const ColumnStats& stats = r.run.Stats(r.f);
        EXPECT_EQ(stats.mean, 3.0);
        EXPECT_EQ(std::vector<double>(samples.begin(), samples.begin() + 4), (std::vector<double>{-1, -0.5, 0, 1.5}));
        EXPECT_EQ(r.run.Var("F"), 1.5);
        EXPECT_EQ(stats.max, 1.5);  // statistics see the divided values
        EXPECT_EQ(stats.min, -1.0);
        EXPECT_EQ(r.run.work.windowPosition, 4);
        if (sampleEquations) {
            EXPECT_EQ(r.run.Var("E"), 3.0);
            EXPECT_EQ(r.run.Var("S"), 0 * -2 + 1 * -1 + 2 * 0 + 3 * 3.0);
        }

        r.Transform(4);  // Hann table 0, 0.5, 1, 0.5
        const double windowed[] = {0, -0.25, 0, 0.75};
        for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(samples[i], windowed[i], 1e-15);
    }
}

TEST(Spectrum, ShortWindowGetsItsOwnTableWithLineCount) {
    struct Case {
        const char* function;
        double (*expected)(int32_t g, int32_t n);
    };
    const Case cases[] = {
        {"0.5*(1-cos((2*PI*input)/WINDOW_SIZE))",
         [](int32_t g, int32_t n) { return 0.5 * (1 - std::cos((2 * kPi * g) / n)); }},
        {"WINDOW_SIZE-count", [](int32_t g, int32_t n) { return static_cast<double>(n - g); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        FftRun r(10, 100, c.function);
        r.Build();
        for (int32_t k = 0; k < 10; ++k) EXPECT_EQ(r.tables.windowTable[k], c.expected(k, 10));
        r.Window(0, Sine(10, 1.0, 2));
        r.Window(1, Sine(6, 1.0, 1));
        ASSERT_EQ(r.tables.shortWindowTable.size(), 6u);
        for (int32_t g = 0; g < 6; ++g) EXPECT_EQ(r.tables.shortWindowTable[g], c.expected(g, 6));
        EXPECT_EQ(r.run.Var("LINE_COUNT"), 10.0);
        EXPECT_GT(r.Spectrum()[1], 0.0);
    }
}

TEST(Spectrum, OddWindowSizeTakesTheShortPathEveryWindow) {
    const int32_t fs = 8;
    FftRun r(9, fs, "1+0*WINDOW_SIZE");  // rectangular, and LINE_COUNT exists
    r.Build();
    EXPECT_EQ(r.err.find("Real FFT optimization must be even."), std::string::npos);  // never asked
    EXPECT_EQ(r.tables.fullPlan, nullptr);

    // Windows of 9 rows are processed as N = 8: a sine at bin 2 of 8.
    const double a = 2.0;
    for (int32_t m = 0; m < 3; ++m) {
        r.Window(m, Sine(8, a, 2));
        EXPECT_EQ(r.run.Var("LINE_COUNT"), 9.0);
    }
    r.Average(3);
    const double peak = a * a * 8 / (2.0 * fs);
    EXPECT_NEAR(r.Spectrum()[2], peak, 1e-5 * peak);
    EXPECT_LT(std::fabs(r.Spectrum()[1]), 1e-6 * peak);
    EXPECT_LT(std::fabs(r.Spectrum()[4]), 1e-6 * peak);
}

TEST(Spectrum, ScaleAvoidsIntegerOverflowOfSizeTimesFrequency) {
    // 65536 x 65536 does not fit a 32-bit integer.
    const int32_t w = 65536, fs = 65536, k0 = 100;
    FftRun r(w, fs, "1");
    r.Build();
    r.Window(0, Sine(w, 1.0, k0));
    r.Average(1);
    EXPECT_NEAR(r.Spectrum()[k0], 1.0 * w / (2.0 * fs), 1e-4);
}

}  // namespace
