#include "output/export.h"

#include <gtest/gtest.h>


#include "output/output_test_util.h"
#include "support/expect.h"

using namespace vux;

using namespace output_test;

namespace {

struct Vector {
    std::string name;
    uint32_t rows = 0;
    std::vector<double> values;
};

// The vectors of a MAT-file as this writer lays them out (n x 1 doubles).
std::vector<Vector> ParseMat(const std::string& bytes) {
    std::vector<Vector> vectors;
    size_t at = 128;
    while (at + 8 <= bytes.size()) {
        const uint32_t byteCount = Word(bytes, at + 4);
        Vector v;
        v.rows = Word(bytes, at + 32);
        size_t name = at + 40;
        size_t real = 0;
        if ((Word(bytes, name) >> 16) != 0) {  // small element: count in the upper half
            v.name = bytes.substr(name + 4, Word(bytes, name) >> 16);
            real = name + 8;
        } else {
            const uint32_t length = Word(bytes, name + 4);
            v.name = bytes.substr(name + 8, length);
            real = name + 8 + (length + 7) / 8 * 8;
        }
        v.values.resize(Word(bytes, real + 4) / 8);
        if (!v.values.empty()) {
            std::memcpy(v.values.data(), bytes.data() + real + 8, v.values.size() * 8);
        }
        vectors.push_back(v);
        at += 8 + byteCount;
    }
    return vectors;
}

std::vector<double> Ramp(size_t count, double start) {
    std::vector<double> values(count);
    for (size_t i = 0; i < count; ++i) {
        values[i] = start + static_cast<double>(i);
    }
    return values;
}

std::vector<Vector> Export(const RunConfig& config, const ReduceResult& result) {
    OutputSet outputs;
    ExportResults(config, result, outputs);
    outputs.Commit();
    return ParseMat(ReadFile(*config.settings.outputPath));
}

}  // namespace

TEST(Export, DefaultColumnsInOrderWithTheirCounts) {
    ScratchDir dir;
    const RunConfig config = DefaultLikeConfig(dir / "out.mat");
    ReduceResult result = EmptyResult(config);
    const int32_t windows = 3;
    result.processedWindows = windows;
    result.samples[0] = Ramp(10000, 0.5);
    for (size_t c = 1; c <= 3; ++c) {
        result.samples[c] = Ramp(2 * windows, 10.0 * static_cast<double>(c));  // room for more windows
    }
    for (size_t c = 4; c < 10; ++c) {
        result.spectra[c].density = Ramp(10001, -1.0);
        result.rotated[c] = Ramp(5001, 100.0 * static_cast<double>(c));
    }

    const std::vector<Vector> vectors = Export(config, result);

    const std::vector<std::string> names = {"TIME_out", "PRES_act", "TEMP_act", "HUMD_act", "ANGX_rot",
                                            "ANGY_rot", "ANGZ_rot", "LINX_rot", "LINY_rot", "LINZ_rot"};
    ASSERT_EQ(vectors.size(), names.size());
    for (size_t c = 0; c < names.size(); ++c) {
        SCOPED_TRACE(names[c]);
        EXPECT_EQ(vectors[c].name, names[c]);
        EXPECT_EQ(vectors[c].rows, vectors[c].values.size());
    }
    EXPECT_EQ(vectors[0].values, result.samples[0]);
    for (size_t c = 1; c <= 3; ++c) {
        EXPECT_EQ(vectors[c].values, Ramp(windows, 10.0 * static_cast<double>(c)));
    }
    for (size_t c = 4; c < 10; ++c) {
        EXPECT_EQ(vectors[c].values, Ramp(5000, 100.0 * static_cast<double>(c)));  // the last rotated value stays out
    }
}

// Which array each kind of column exports, how many values, and the zeros
// that stand past the end of a short array.
TEST(Export, SelectionRulesAndZerosPastShortArrays) {
    struct Case {
        std::string column;  // its #COLUMNS line
        std::vector<double> samples, spectrum, rotated;
        std::string name;
        std::vector<double> expected;
    };
    const int32_t windowSize = 7;  // odd: halves round toward zero
    const std::vector<double> eight = Ramp(8, 1.0);
    const std::vector<Case> cases = {
        // Rotated wins over FFT-type and normalised, whatever is read.
        {"R, 1, 2, 3y0, 1", eight, eight, Ramp(4, 50.0), "R_rot", Ramp(3, 50.0)},
        {"RN, 0, 1, 1x0, input", {5.0}, {}, {}, "RN_rot", {0.0, 0.0, 0.0}},
        // FFT-type without a group: the spectrum's first WINDOW_SIZE/2 bins.
        {"F, 1, 2, 0, 1", eight, Ramp(8, 20.0), {}, "F_pwr", Ramp(3, 20.0)},
        // Once per window, normalised: one value per processed window.
        {"A, 0, 1, 0, input", Ramp(4, 7.0), {}, {}, "A_act", Ramp(2, 7.0)},
        {"AS, 0, 1, 0, input", {9.0}, {}, {}, "AS_act", {9.0, 0.0}},
        // Every sample, normalised or not: WINDOW_SIZE samples.
        {"E, 1, 1, 0, input", eight, {}, {}, "E_out", Ramp(7, 1.0)},
        {"T, 1, 0, 0, 0", eight, {}, {}, "T_out", Ramp(7, 1.0)},
        // Once per window, no operation: the per-window values, then zeros.
        {"W, 0, 0, 0, 0", {4.0, 5.0, 6.0}, {}, {}, "W_out", {4.0, 5.0, 6.0, 0.0, 0.0, 0.0, 0.0}},
        // Read neither once nor every sample: no samples, so zeros.
        {"M, 2, 0, 0, 0", {}, {}, {}, "M_out", std::vector<double>(7, 0.0)},
        // Unknown operation codes export their samples too.
        {"U, 1, 7, 0, 0", eight, {}, {}, "U_out", Ramp(7, 1.0)},
        // An empty column name still gives a named vector.
        {", 1, 0, 0, 0", eight, {}, {}, "_out", Ramp(7, 1.0)},
    };

    ScratchDir dir;
    std::vector<std::string> lines;
    for (const Case& c : cases) lines.push_back(c.column);
    const RunConfig config = ConfigWith(dir / "sel.mat", lines, {}, windowSize);
    ReduceResult result = EmptyResult(config);
    result.processedWindows = 2;
    for (size_t i = 0; i < cases.size(); ++i) {
        result.samples[i] = cases[i].samples;
        result.spectra[i].density = cases[i].spectrum;
        result.rotated[i] = cases[i].rotated;
    }
    const std::vector<Vector> vectors = Export(config, result);
    ASSERT_EQ(vectors.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(ExportName(config.columns[i]), cases[i].name);
        EXPECT_EQ(vectors[i].name, cases[i].name);
        EXPECT_EQ(vectors[i].rows, cases[i].expected.size());
        EXPECT_EQ(vectors[i].values, cases[i].expected);
    }
}

TEST(Export, NoWindowsAndRepeatedNames) {
    ScratchDir dir;
    const RunConfig config = ConfigWith(dir / "m0.mat", {"P, 0, 1, 0, input", "P, 0, 1, 0, input"}, {}, 4);
    const std::vector<Vector> vectors = Export(config, EmptyResult(config));
    ASSERT_EQ(vectors.size(), 2u);
    for (const Vector& v : vectors) {
        EXPECT_EQ(v.name, "P_act");
        EXPECT_EQ(v.rows, 0u);
    }
}

TEST(Export, UnwritableFileStopsTheRunWithoutDone) {
    ScratchDir dir;
    const RunConfig config = DefaultLikeConfig(dir / "out.mat");
    ReduceResult result = EmptyResult(config);
    result.processedWindows = 1;
    try {
        const FileSizeLimit full(1000);  // the disk fills up during the write
        OutputSet outputs;
        ExportResults(config, result, outputs);
        ADD_FAILURE() << "the run was not stopped";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind, ErrorKind::MatWrite);
        EXPECT_EQ(error.path, dir / "out.mat");
        EXPECT_EQ(error.cause.err, EFBIG);
    }
    EXPECT_TRUE(EntriesIn(dir.path).empty());
}
