#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "reduce/window_loops.h"

using namespace vux;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Values that break a careless vector loop: signed zeros, NaN, infinities,
// subnormals, the largest double, and few distinct ones (many ties).
const std::vector<double> kAwkward = {0.0,  -0.0, kNaN, kInf, -kInf, 4.9e-324, -4.9e-324, 1.7976931348623157e308,
                                      1.0,  -1.0, 2.0,  -2.0, 3.0,   0.1,      -0.1,      1e-300};

// n samples: mostly awkward values or mostly small integers (ties), with
// some random doubles.
std::vector<double> Samples(std::mt19937_64& random, size_t n) {
    std::uniform_int_distribution<size_t> pick(0, kAwkward.size() - 1);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> small(-3, 3);
    std::normal_distribution<double> normal(0.0, 100.0);
    const bool awkward = kind(random) < 5;
    std::vector<double> x(n);
    for (double& v : x) {
        const int k = kind(random);
        v = k < 4 ? (awkward ? kAwkward[pick(random)] : small(random)) : k < 6 ? kAwkward[pick(random)] : normal(random);
    }
    return x;
}

bool SameBits(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); }

std::vector<size_t> Lengths() { return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 16, 17, 31, 64, 101, 1000, 10000}; }

TEST(WindowLoops, ExtremesAreThoseOfTheLoopInOrder) {
    std::mt19937_64 random(7);
    for (size_t n : Lengths()) {
        for (int trial = 0; trial < 200; ++trial) {
            const std::vector<double> x = Samples(random, n);
            std::vector<double> stamps(n);
            for (size_t i = 0; i < n; ++i) stamps[i] = 0.5 + static_cast<double>(i);  // every index its own stamp
            const size_t stamped = trial % 3 == 0 ? std::uniform_int_distribution<size_t>(0, n)(random) : n;

            // Incoming extremes as the first window sets them, or awkward ones.
            ColumnStats in;
            const std::vector<double> more = Samples(random, 2);
            in.max = trial % 2 == 0 && n > 0 ? x[0] : more[0];
            in.min = trial % 2 == 0 && n > 0 ? x[0] : more[1];
            in.timeOfMax = -1.0;
            in.timeOfMin = -2.0;

            ColumnStats expected = in;
            for (size_t i = 0; i < n; ++i) {
                const double t = i < stamped ? stamps[i] : 0.0;
                if (x[i] > expected.max) { expected.max = x[i]; expected.timeOfMax = t; }
                if (x[i] < expected.min) { expected.min = x[i]; expected.timeOfMin = t; }
            }
            ColumnStats got = in;
            TrackExtremes(got, x.data(), n, stamps.data(), stamped);

            ASSERT_TRUE(SameBits(got.max, expected.max)) << n << " " << trial << ": " << got.max;
            ASSERT_TRUE(SameBits(got.min, expected.min)) << n << " " << trial << ": " << got.min;
            ASSERT_TRUE(SameBits(got.timeOfMax, expected.timeOfMax)) << n << " " << trial;
            ASSERT_TRUE(SameBits(got.timeOfMin, expected.timeOfMin)) << n << " " << trial;
        }
    }
}

TEST(WindowLoops, TiesOfSignedZerosKeepTheFirst) {
    // +0.0 at sample 3 (the last lane), then -0.0 at sample 5 (an earlier
    // lane): +0.0 and its stamp stay.
    const std::vector<double> x = {-1, -1, -1, 0.0, -1, -0.0, -1, -1, -1, -1, -1, -1};
    const std::vector<double> stamps = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    ColumnStats stats{0.0, -5.0, 0.0, 5.0, 0.0};
    TrackExtremes(stats, x.data(), x.size(), stamps.data(), stamps.size());
    EXPECT_TRUE(SameBits(stats.max, 0.0));
    EXPECT_EQ(stats.timeOfMax, 3.0);
    EXPECT_EQ(stats.min, -1.0);
    EXPECT_EQ(stats.timeOfMin, 0.0);
}

TEST(WindowLoops, MeansAreThoseOfTheLoopInOrder) {
    std::mt19937_64 random(13);
    volatile double inf = kInf;
    const double madeNaN = inf - inf;
    for (size_t n : Lengths()) {
        for (size_t count = 1; count <= 7; ++count) {  // whole groups of three and the rest
            std::vector<std::vector<double>> columns;
            std::vector<const double*> pointers;
            for (size_t k = 0; k < count; ++k) {
                columns.push_back(Samples(random, n));
                // Where two NaNs meet, the processor keeps the first operand's,
                // and the compiler orders the operands of + as it likes; the
                // samples' only NaN is the one inf - inf makes, as the tool's
                // (whose parser gives infinities but no NaN).
                for (double& v : columns.back()) v = std::isnan(v) ? madeNaN : v;
                pointers.push_back(columns.back().data());
            }
            std::vector<double> means(count, -7.0);
            WindowMeans(pointers.data(), count, static_cast<int32_t>(n), means.data());
            for (size_t k = 0; k < count; ++k) {
                double mean = 0.0;
                for (double v : columns[k]) mean = v / static_cast<double>(n) + mean;
                ASSERT_TRUE(SameBits(means[k], mean)) << n << " " << count << " " << k;
            }
        }
    }
}

TEST(WindowLoops, DivisionIsThatOfTheLoopInOrder) {
    std::mt19937_64 random(11);
    const std::vector<double> divisors = {1.0, -1.0, 1.23, 108.4, 3.0, 0.0, -0.0, kInf, kNaN, 4.9e-324, 1e300};
    for (size_t n : Lengths()) {
        for (double divisor : divisors) {
            std::vector<double> x = Samples(random, n);
            const double mean = Samples(random, 1)[0];
            std::vector<double> expected = x;
            for (double& v : expected) v = (v - mean) / divisor;
            RemoveMeanAndDivide(x.data(), n, mean, divisor);
            for (size_t i = 0; i < n; ++i) ASSERT_TRUE(SameBits(x[i], expected[i])) << n << " " << i;
        }
    }
}

}  // namespace
