#include "reduce/time_history.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "reduce/reduce_test_util.h"

using reduce_test::TestRun;

namespace {

// Frequencies of bin k: k x fs / n.
double Bin(int32_t k, int32_t fs, int32_t n) { return static_cast<double>(k) * fs / n; }

TEST(OctaveBands, CentresEdgesAndTheBinsEachBandSums) {
    struct Case {
        int32_t bins, fs, n;
        size_t bands;        // how many
        double firstCentre;  // Hz
    };
    const Case cases[] = {
        {5000, 10000, 10000, 36, std::pow(10.0, 0.1)},  // 1 Hz bins up to 4999 Hz
        {499, 10000, 998, 26, std::pow(10.0, 1.1)},     // an odd WINDOW_SIZE: 10.02 Hz bins
        {64, 1000, 128, 17, std::pow(10.0, 1.0)},       // 7.8125 Hz bins up to 492 Hz
        {2, 100, 4, 0, 0.0},                            // bins 0 and 1 only: no band fits
        {1, 100, 2, 0, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bins) + " bins at " + std::to_string(c.fs) + "/" + std::to_string(c.n));
        const OctaveBands bands = PlanOctaveBands(c.bins, c.fs, c.n);
        ASSERT_EQ(bands.centres.size(), c.bands);
        if (c.bands == 0) continue;
        EXPECT_DOUBLE_EQ(bands.centres[0], c.firstCentre);
        for (size_t b = 0; b < c.bands; ++b) {
            const double centre = bands.centres[b];
            const double lower = centre * std::pow(10.0, -0.05), upper = centre * std::pow(10.0, 0.05);
            if (b > 0) {
                EXPECT_NEAR(centre / bands.centres[b - 1], std::pow(10.0, 0.1), 1e-12);
            }
            // Within the written bins from bin 1 on.
            EXPECT_GE(lower * (1 + 1e-12), Bin(1, c.fs, c.n));
            EXPECT_LE(upper * (1 - 1e-12), Bin(c.bins - 1, c.fs, c.n));
            // Each band holds the bins above its lower edge up to its upper
            // edge, and the bands follow each other without a gap.
            for (int32_t k = bands.firstBin[b]; k < bands.endBin[b]; ++k) {
                EXPECT_GT(Bin(k, c.fs, c.n), lower * (1 - 1e-12));
                EXPECT_LE(Bin(k, c.fs, c.n), upper * (1 + 1e-12));
            }
            if (bands.firstBin[b] > 0) {
                EXPECT_LE(Bin(bands.firstBin[b] - 1, c.fs, c.n), lower * (1 + 1e-12));
            }
            if (bands.endBin[b] < c.bins) {
                EXPECT_GT(Bin(bands.endBin[b], c.fs, c.n), upper * (1 - 1e-12));
            }
            if (b > 0) {
                EXPECT_EQ(bands.firstBin[b], bands.endBin[b - 1]);
            }
        }
        // The 1 kHz band at 1 Hz bins: 891.25 .. 1122.02 Hz.
        if (c.n == 10000) {
            EXPECT_DOUBLE_EQ(bands.centres[29], 1000.0);
            EXPECT_EQ(bands.firstBin[29], 892);
            EXPECT_EQ(bands.endBin[29], 1123);
            EXPECT_EQ(bands.firstBin[0], bands.endBin[0]);  // 1.12 .. 1.41 Hz holds no bin
        }
    }
}

// The values of a per-window matrix, read back from its scratch file.
template <typename T>
std::vector<T> FileValues(const HistoryMatrix& matrix) {
    std::vector<T> values(static_cast<size_t>(matrix.rows) * static_cast<size_t>(matrix.cols));
    const ssize_t want = static_cast<ssize_t>(values.size() * sizeof(T));
    EXPECT_EQ(::pread(matrix.file.get(), values.data(), static_cast<size_t>(want), 0), want) << matrix.name;
    return values;
}

const HistoryMatrix& Matrix(const TimeHistoryData& data, const std::string& name) {
    for (const HistoryMatrix& matrix : data.matrices) {
        if (matrix.name == name) return matrix;
    }
    ADD_FAILURE() << "no " << name;
    return data.matrices.front();
}

// Windows of 8 rows at 8 Hz (1 Hz bins, d = 64), a window function of 1:
// an unrotated column, a rotation group of two FFT-type columns (THETA_Z =
// 90 turns x into y), and a group that mixes in samples (no history).
TEST(TimeHistory, WindowRowsPeakHoldRmsAndRotationPerWindow) {
    TestRun run(8, 8);
    run.WindowFunction("1");
    run.text.Constant("THETA_X", "0").Constant("THETA_Y", "0").Constant("THETA_Z", "90");
    const int32_t time = run.Column("T", 1, 0, "0");
    const int32_t a = run.Column("A", 1, 2, "1");
    const int32_t b = run.Column("B", 1, 2, "1", 1, 0);
    const int32_t c = run.Column("C", 1, 2, "1", 1, 1);
    run.Column("D", 1, 1, "input", 2, 0);
    run.Column("E", 1, 2, "1", 2, 1);
    run.Prepare();
    test_support::ScratchDir dir;
    TimeHistory history(run.config, dir / "out_history.mat");

    ReduceResult& result = run.result;
    result.spectra.assign(run.config.columns.size(), Spectrum{});
    for (Spectrum& s : result.spectra) s.power.assign(8, 0.0);
    SpectralTables tables;
    tables.windowTable.assign(8, 1.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Bin powers 0 .. 3 of A, B and C in each window (a NaN bin in window 1).
    const std::vector<std::vector<double>> powersA = {{64, 32, 0, 96}, {0, nan, 64, 32}, {6400, 6400, 6400, 6400}};
    const std::vector<std::vector<double>> powersB = {{8, 16, 24, 32}, {1, 2, 3, 4}, {0, 0, 0, 0}};
    const std::vector<std::vector<double>> powersC = {{32, 0, 32, 0}, {4, 3, 2, 1}, {0, 0, 0, 0}};
    for (int32_t m = 0; m < 3; ++m) {
        std::copy(powersA[m].begin(), powersA[m].end(), result.spectra[a].power.begin());
        std::copy(powersB[m].begin(), powersB[m].end(), result.spectra[b].power.begin());
        std::copy(powersC[m].begin(), powersC[m].end(), result.spectra[c].power.begin());
        run.Samples(time)[0] = 10.0 + m;
        // The third window is the short last one: in no matrix.
        history.AddWindow(m, m < 2 ? 8 : 6, tables, result);
    }
    result.processedWindows = 3;
    const TimeHistoryData data = history.Finish(result);

    EXPECT_EQ(data.windows, 2);
    EXPECT_TRUE(data.lastWindowLeftOut);
    EXPECT_EQ(data.bins, 4);
    EXPECT_EQ(data.windowMeanSquare, 1.0);
    ASSERT_EQ(data.vectors.size(), 3u);  // E_rot's group is fed samples by D
    EXPECT_EQ(data.vectors[0].name, "A_pwr");
    EXPECT_EQ(data.vectors[1].name, "B_rot");
    EXPECT_EQ(data.vectors[2].name, "C_rot");
    EXPECT_EQ(Matrix(data, "FREQ_HZ").values, (std::vector<double>{0, 1, 2, 3}));
    EXPECT_EQ(FileValues<double>(Matrix(data, "TIME_S")), (std::vector<double>{10, 11}));

    // A's PSD: power[0] / 64, power[k] x 2 / 64.
    const std::vector<float> psdA = FileValues<float>(Matrix(data, "A_pwr_t"));
    EXPECT_EQ(psdA[0], 1.0f);
    EXPECT_EQ(psdA[1], 1.0f);
    EXPECT_EQ(psdA[3], 3.0f);
    EXPECT_EQ(psdA[6], 2.0f);
    EXPECT_TRUE(std::isnan(psdA[5]));
    // Peak hold: a NaN window gives no value.
    EXPECT_EQ(Matrix(data, "A_pwr_max").values, (std::vector<double>{1, 1, 2, 3}));
    // RMS: sqrt(sum of the PSD x 1 Hz / 1).
    const std::vector<double> rmsA = FileValues<double>(Matrix(data, "A_pwr_rms"));
    EXPECT_EQ(rmsA[0], std::sqrt(5.0));
    EXPECT_TRUE(std::isnan(rmsA[1]));

    // B and C rotated per window exactly as the averages are.
    const RotationMatrices matrices = BuildRotationMatrices(run.config.rotationGroups[0], run.config.settings);
    const std::vector<float> rotatedB = FileValues<float>(Matrix(data, "B_rot_t"));
    const std::vector<float> rotatedC = FileValues<float>(Matrix(data, "C_rot_t"));
    for (size_t m = 0; m < 2; ++m) {
        for (size_t k = 0; k < 4; ++k) {
            const double scale = k == 0 ? 1.0 / 64 : 2.0 / 64;
            double w[3];
            RotateElement(matrices, powersB[m][k] * scale, powersC[m][k] * scale, 0.0, w);
            EXPECT_EQ(rotatedB[m * 4 + k], static_cast<float>(w[0])) << m << " " << k;
            EXPECT_EQ(rotatedC[m * 4 + k], static_cast<float>(w[1])) << m << " " << k;
        }
    }
    // THETA_Z = 90: B's axis gets C's PSD.
    EXPECT_FLOAT_EQ(rotatedB[0], 0.5f);
}

}  // namespace
