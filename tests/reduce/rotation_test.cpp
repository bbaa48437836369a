#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "reduce/rotation.h"
#include "reduce/reduce_test_util.h"

using namespace vux;

using reduce_test::kPi;
using reduce_test::TestRun;

namespace {

constexpr int32_t kWindow = 16;
constexpr size_t kValues = kWindow / 2 + 1;

// A rotation test: columns whose inputs (FFT-type: spectra, others:
// samples) are filled by hand.
struct Rotation {
    TestRun run;
    RotationPlan plan;
    std::map<int32_t, std::array<double, 3>> offsets;        // per group, in degrees
    std::vector<std::pair<int32_t, std::vector<double>>> inputs;  // per column

    explicit Rotation(double pi = kPi) : run(kWindow, 100, pi) {}

    int32_t Axis(const std::string& name, int32_t group, int32_t axis, double base, int32_t op = 2) {
        const std::string code = std::to_string(group) + "xyz"[axis] + test_support::Digits(offsets[group][axis]);
        run.text.Column(name + ", 1, " + std::to_string(op) + ", " + code + ", " + (op == 2 ? "1" : "input"));
        std::vector<double> in(kWindow);
        for (int32_t i = 0; i < kWindow; ++i) in[i] = base + 0.25 * i;
        inputs.emplace_back(run.columns, in);
        return run.columns++;
    }
    // Offsets of the group's axes, written into the rotation codes of the
    // columns added after.
    void Offsets(int32_t group, double x, double y, double z) { offsets[group] = {x, y, z}; }
    void Angles(double x, double y, double z) {
        run.text.Constant("THETA_X", test_support::Digits(x))
            .Constant("THETA_Y", test_support::Digits(y))
            .Constant("THETA_Z", test_support::Digits(z));
    }
    void Input(int32_t c, std::vector<double> values) { inputs.emplace_back(c, std::move(values)); }
    void Rotate() {
        run.Prepare(0);
        ReduceResult& result = run.result;
        result.spectra.assign(run.config.columns.size(), Spectrum{});
        for (const auto& [c, values] : inputs) {
            const bool fft = IsFftType(run.config.columns[static_cast<size_t>(c)].operation);
            (fft ? result.spectra[static_cast<size_t>(c)].density : result.samples[static_cast<size_t>(c)]) = values;
        }
        plan = PlanRotation(run.config, result.rotated);
        RotateGroups(plan, run.config, result);
    }
    const std::vector<double>& Rotated(int32_t c) { return run.result.rotated[static_cast<size_t>(c)]; }
    const std::vector<double>& Input(int32_t c) {
        for (const auto& [column, values] : inputs) {
            if (column == c) return values;
        }
        static const std::vector<double> kNone;
        return kNone;
    }
};

// rotated[i] equals input[i] within `tolerance` relative to the largest input.
void ExpectSame(const std::vector<double>& rotated, const std::vector<double>& input, double tolerance) {
    ASSERT_EQ(rotated.size(), kValues);
    for (size_t i = 0; i < kValues; ++i) {
        EXPECT_NEAR(rotated[i], input[i], tolerance * std::fabs(input[kWindow - 1])) << "index " << i;
    }
}

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
    return r;
}

TEST(Rotation, DefaultAnglesPermuteBothGroups) {
    Rotation r;
    r.Angles(-90, 0, -90);
    r.Offsets(1, 0, 0, 0);
    r.Offsets(2, 0, 90, 0);
    const int32_t angx = r.Axis("ANGX", 1, 0, 1.0);
    const int32_t angy = r.Axis("ANGY", 1, 1, 2.0);
    const int32_t angz = r.Axis("ANGZ", 1, 2, 3.0);
    const int32_t linx = r.Axis("LINX", 2, 0, 4.0);
    const int32_t liny = r.Axis("LINY", 2, 1, 5.0);
    const int32_t linz = r.Axis("LINZ", 2, 2, 6.0);
    r.Rotate();

    ExpectSame(r.Rotated(angx), r.Input(angy), 1e-15);
    ExpectSame(r.Rotated(angy), r.Input(angz), 1e-15);
    ExpectSame(r.Rotated(angz), r.Input(angx), 1e-15);
    ExpectSame(r.Rotated(linx), r.Input(linz), 1e-15);
    ExpectSame(r.Rotated(liny), r.Input(liny), 1e-15);
    ExpectSame(r.Rotated(linz), r.Input(linx), 1e-15);
    // The configuration keeps the offsets in degrees; the matrices use the
    // total angles in radians.
    EXPECT_EQ(r.run.config.rotationGroups[1].offsetY, 90.0);
    EXPECT_EQ(r.plan.matrices[1].y[2], std::fabs(std::sin(90 * (kPi / 180))));
    EXPECT_EQ(r.plan.matrices[1].x[5], std::fabs(std::sin(-90 * (kPi / 180))));
}

TEST(Rotation, WithoutPiEveryMatrixIsTheIdentity) {
    Rotation r(0.0);
    r.Angles(-90, 0, -90);
    r.Offsets(1, 0, 90, 0);
    const int32_t x = r.Axis("X", 1, 0, 1.0);
    const int32_t y = r.Axis("Y", 1, 1, 2.0);
    const int32_t z = r.Axis("Z", 1, 2, 3.0);
    r.Rotate();
    ExpectSame(r.Rotated(x), r.Input(x), 0.0);
    ExpectSame(r.Rotated(y), r.Input(y), 0.0);
    ExpectSame(r.Rotated(z), r.Input(z), 0.0);
}

TEST(Rotation, MissingAxisReadsZeros) {
    Rotation r;
    r.Angles(30, 20, 10);
    r.Offsets(1, 5, 0, 0);
    const int32_t x = r.Axis("X", 1, 0, 1.0);
    const int32_t y = r.Axis("Y", 1, 1, -2.0);
    r.Rotate();

    const double k = kPi / 180;
    const double ax = 35 * k, ay = 20 * k, az = 10 * k;
    const double cx = std::fabs(std::cos(ax)), sx = std::fabs(std::sin(ax));
    const double cy = std::fabs(std::cos(ay)), sy = std::fabs(std::sin(ay));
    const double cz = std::fabs(std::cos(az)), sz = std::fabs(std::sin(az));
    const Matrix mx{{{1, 0, 0}, {0, cx, sx}, {0, sx, cx}}};
    const Matrix my{{{cy, 0, sy}, {0, 1, 0}, {sy, 0, cy}}};
    const Matrix mz{{{cz, sz, 0}, {sz, cz, 0}, {0, 0, 1}}};
    const Matrix m = Multiply(mx, Multiply(my, mz));
    ASSERT_EQ(r.Rotated(x).size(), kValues);
    for (size_t i = 0; i < kValues; ++i) {
        const double vx = r.Input(x)[i], vy = r.Input(y)[i];
        EXPECT_NEAR(r.Rotated(x)[i], m[0][0] * vx + m[0][1] * vy, 1e-14);
        EXPECT_NEAR(r.Rotated(y)[i], m[1][0] * vx + m[1][1] * vy, 1e-14);
    }
    EXPECT_EQ(r.plan.slots[0][2].inputColumn, -1);
    EXPECT_TRUE(r.plan.slots[0][2].outputColumns.empty());
}

TEST(Rotation, GroupNumbersWithGapsKeepTheirOwnMatrices) {
    // Group 3 (listed first) turns z by 90 degrees, which swaps x and y;
    // group 1 is not turned.
    Rotation r;
    r.Angles(0, 0, 0);
    r.Offsets(3, 0, 0, 90);
    r.Offsets(1, 0, 0, 0);
    const int32_t a = r.Axis("A", 3, 0, 1.0);
    const int32_t b = r.Axis("B", 1, 0, 2.0);
    const int32_t c = r.Axis("C", 3, 1, 3.0);
    r.Axis("D", 3, 2, 4.0);  // carries the z offset; z itself is left alone
    r.Rotate();
    ExpectSame(r.Rotated(a), r.Input(c), 1e-15);
    ExpectSame(r.Rotated(c), r.Input(a), 1e-15);
    ExpectSame(r.Rotated(b), r.Input(b), 0.0);
    EXPECT_EQ(r.plan.groups, (std::vector<int32_t>{1, 3}));
}

TEST(Rotation, SharedSlotTakesTheLaterInputAndFeedsBoth) {
    Rotation r(0.0);
    const int32_t p = r.Axis("P", 1, 0, 1.0);
    const int32_t q = r.Axis("Q", 1, 0, 7.0);
    r.Rotate();
    ExpectSame(r.Rotated(p), r.Input(q), 0.0);
    ExpectSame(r.Rotated(q), r.Input(q), 0.0);
}

TEST(Rotation, NonFftColumnsRotateTheirSamplesAndShortArraysReadZeros) {
    Rotation r(0.0);
    const int32_t s = r.Axis("S", 1, 0, 1.0, 1);
    const int32_t t = r.run.Column("T", 0, 1, "input", 1, 1);
    r.Input(t, {4, 5});  // a once-per-window array of two windows
    r.Rotate();
    ExpectSame(r.Rotated(s), r.Input(s), 0.0);
    std::vector<double> expected(kValues, 0.0);
    expected[0] = 4;
    expected[1] = 5;
    EXPECT_EQ(r.Rotated(t), expected);
}

TEST(Rotation, GroupZeroEntriesTakePartInNothing) {
    Rotation r;
    r.Angles(10, 10, 10);
    r.run.text.Column("Z, 1, 2, 0x5, 1");            // an entry numbered 0, offset 5
    const int32_t z = r.run.columns++;
    const int32_t n = r.run.Column("N", 1, 2, "1");  // not rotated
    r.Rotate();
    EXPECT_TRUE(r.plan.groups.empty());
    ASSERT_EQ(r.run.config.rotationGroups.size(), 1u);
    EXPECT_EQ(r.run.config.rotationGroups[0].offsetX, 5.0);
    EXPECT_TRUE(r.Rotated(z).empty());
    EXPECT_TRUE(r.Rotated(n).empty());
}

}  // namespace
