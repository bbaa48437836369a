#include "output/export.h"

#include <gtest/gtest.h>

#include <regex>

#include "output/output_test_util.h"
#include "run/run_stop.h"

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

std::vector<Vector> Export(const RunState& state, int32_t processedWindows, std::string* console = nullptr) {
    testing::internal::CaptureStdout();
    ExportResults(state, processedWindows);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (console != nullptr) {
        *console = printed;
    }
    return ParseMat(ReadFile(*state.settings.outputPath));
}

}  // namespace

TEST(Export, DefaultColumnsInOrderWithTheirCounts) {
    ScratchDir dir;
    RunState state = DefaultLikeState(dir / "out.mat");
    const int32_t windows = 3;
    state.columns[0].samples = Ramp(10000, 0.5);
    for (size_t c = 1; c <= 3; ++c) {
        state.columns[c].samples = Ramp(2 * windows, 10.0 * static_cast<double>(c));  // room for more windows
    }
    for (size_t c = 4; c < 10; ++c) {
        state.columns[c].spectrum = Ramp(10001, -1.0);
        state.columns[c].rotated = Ramp(5001, 100.0 * static_cast<double>(c));
    }

    std::string console;
    const std::vector<Vector> vectors = Export(state, windows, &console);
    EXPECT_TRUE(std::regex_match(console, std::regex("\nWriting data to matlab file\\.\\.\\.done! \\(took [0-9]+\\.[0-9]{6} seconds\\)")))
        << console;

    const std::vector<std::string> names = {"TIME_out", "PRES_act", "TEMP_act", "HUMD_act", "ANGX_rot",
                                            "ANGY_rot", "ANGZ_rot", "LINX_rot", "LINY_rot", "LINZ_rot"};
    ASSERT_EQ(vectors.size(), names.size());
    for (size_t c = 0; c < names.size(); ++c) {
        SCOPED_TRACE(names[c]);
        EXPECT_EQ(vectors[c].name, names[c]);
        EXPECT_EQ(vectors[c].rows, vectors[c].values.size());
    }
    EXPECT_EQ(vectors[0].values, state.columns[0].samples);
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
        ColumnDef column;
        std::string name;
        std::vector<double> expected;
    };
    const int32_t windowSize = 7;  // odd: halves round toward zero
    const int32_t windows = 2;
    auto with = [](ColumnDef column, std::vector<double> samples, std::vector<double> spectrum,
                   std::vector<double> rotated) {
        column.samples = std::move(samples);
        column.spectrum = std::move(spectrum);
        column.rotated = std::move(rotated);
        return column;
    };
    const std::vector<double> eight = Ramp(8, 1.0);
    const std::vector<Case> cases = {
        // Rotated wins over FFT-type and normalised, whatever is read.
        {with(Column("R", 1, 2, 3, 1), eight, eight, Ramp(4, 50.0)), "R_rot", Ramp(3, 50.0)},
        {with(Column("RN", 0, 1, 1, 0), {5.0}, {}, {}), "RN_rot", {0.0, 0.0, 0.0}},
        // FFT-type without a group: the spectrum's first WINDOW_SIZE/2 bins.
        {with(Column("F", 1, 2), eight, Ramp(8, 20.0), {}), "F_pwr", Ramp(3, 20.0)},
        // Once per window, normalised: one value per processed window.
        {with(Column("A", 0, 1), Ramp(4, 7.0), {}, {}), "A_act", Ramp(2, 7.0)},
        {with(Column("AS", 0, 1), {9.0}, {}, {}), "AS_act", {9.0, 0.0}},
        // Every sample, normalised or not: WINDOW_SIZE samples.
        {with(Column("E", 1, 1), eight, {}, {}), "E_out", Ramp(7, 1.0)},
        {with(Column("T", 1, 0), eight, {}, {}), "T_out", Ramp(7, 1.0)},
        // Once per window, no operation: the per-window values, then zeros.
        {with(Column("W", 0, 0), {4.0, 5.0, 6.0}, {}, {}), "W_out", {4.0, 5.0, 6.0, 0.0, 0.0, 0.0, 0.0}},
        // Read neither once nor every sample: no samples, so zeros.
        {with(Column("M", 2, 0), {}, {}, {}), "M_out", std::vector<double>(7, 0.0)},
        // An empty column name still gives a named vector.
        {with(Column("", 1, 0), eight, {}, {}), "_out", Ramp(7, 1.0)},
    };

    ScratchDir dir;
    RunState state;
    state.settings.outputPath = dir / "sel.mat";
    state.settings.windowSize = windowSize;
    for (const Case& c : cases) {
        state.columns.push_back(c.column);
    }
    const std::vector<Vector> vectors = Export(state, windows);
    ASSERT_EQ(vectors.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(ExportSuffix(cases[i].column), cases[i].name.substr(cases[i].name.size() - 4));
        EXPECT_EQ(vectors[i].name, cases[i].name);
        EXPECT_EQ(vectors[i].rows, cases[i].expected.size());
        EXPECT_EQ(vectors[i].values, cases[i].expected);
    }
}

TEST(Export, NoWindowsAndRepeatedNames) {
    ScratchDir dir;
    RunState state;
    state.settings.outputPath = dir / "m0.mat";
    state.settings.windowSize = 4;
    state.columns.push_back(Column("P", 0, 1));
    state.columns.push_back(Column("P", 0, 1));
    const std::vector<Vector> vectors = Export(state, 0);
    ASSERT_EQ(vectors.size(), 2u);
    for (const Vector& v : vectors) {
        EXPECT_EQ(v.name, "P_act");
        EXPECT_EQ(v.rows, 0u);
    }
}

TEST(Export, UnwritableFileStopsTheRunWithoutDone) {
    ScratchDir dir;
    RunState state = DefaultLikeState(dir / "out.mat");
    testing::internal::CaptureStdout();
    try {
        const FileSizeLimit full(1000);  // the disk fills up during the write
        ExportResults(state, 1);
        ADD_FAILURE() << "the run was not stopped";
    } catch (const RunStop& stop) {
        EXPECT_EQ(stop.status, -1);
        EXPECT_EQ(stop.message, "\nCannot write MAT-file " + (dir / "out.mat") + ": File too large\n");
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nWriting data to matlab file...");
    EXPECT_TRUE(EntriesIn(dir.path).empty());
}
