// Per-sample equations planned (the last sample only for FFT-type columns,
// arrays for normalised ones) against one sample at a time, on generated
// configurations and windows: every array, statistic and variable must have
// the same bits after every window.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/error.h"
#include "reduce/reduce_test_util.h"
#include "reduce/window.h"

using namespace vux;

using reduce_test::TestRun;

namespace {

// The texts one after the other (appended: GCC 12 warns falsely, -Wrestrict,
// on some string concatenations).
std::string Join(std::initializer_list<std::string> parts) {
    std::string text;
    for (const std::string& part : parts) text += part;
    return text;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// Names the generated texts use: columns, equation results, and a name
// nothing writes.
const char* const kColumnNames[] = {"A", "B", "C", "D", "E"};
const char* const kResultNames[] = {"R1", "R2", "R3", "A", "C"};
const char* const kConstants[] = {"PI", "NANP", "NANN", "BIG", "TINY"};

struct Generator {
    std::mt19937_64 random;

    explicit Generator(uint64_t seed) : random(seed) {}

    int Below(int n) { return static_cast<int>(random() % static_cast<uint64_t>(n)); }
    bool OneIn(int n) { return Below(n) == 0; }
    template <typename T, size_t N>
    const T& Pick(const T (&items)[N]) { return items[Below(static_cast<int>(N))]; }

    std::string Atom() {
        switch (Below(9)) {
        case 0: return std::to_string(Below(5));
        case 1: return "2.5";
        case 2: return Pick(kConstants);
        case 3: return "count";
        case 4: return "input";
        case 5: return "Q";  // read, never written
        case 6: return Pick(kResultNames);
        default: return Pick(kColumnNames);
        }
    }

    std::string Expression(int depth) {
        if (depth <= 0 || OneIn(3)) return Atom();
        switch (Below(7)) {
        case 0: return Join({"sin(", Expression(depth - 1), ")"});
        case 1: return Join({OneIn(2) ? "cos(" : "tan(", Expression(depth - 1), ")"});
        case 2: return Join({"(", Expression(depth - 1), ")"});
        default: {
            static const char* const kOperators[] = {" + ", " - ", " * ", " / ", " ^ "};
            return Join({Expression(depth - 1), Pick(kOperators), Expression(depth - 1)});
        }
        }
    }

    // An equation text, now and then loose: values left over, a "(" never
    // closed, no items at all, or deeper than block evaluation takes.
    std::string Text() {
        switch (Below(24)) {
        case 0: return Join({Expression(2), " ", Atom()});
        case 1: return Join({"(", Expression(2)});
        case 2: return "";
        case 3: {
            std::string deep;
            for (int i = 0; i < 70; ++i) deep += "count + (";
            deep += "1";
            deep.append(70, ')');
            return deep;
        }
        default: return Expression(3);
        }
    }

    // A raw sample: mostly ordinary, sometimes signed zeros, infinities and
    // NaNs of both signs.
    double Value() {
        switch (Below(40)) {
        case 0: return std::numeric_limits<double>::quiet_NaN();
        case 1: return -std::numeric_limits<double>::quiet_NaN();
        case 2: return std::numeric_limits<double>::infinity();
        case 3: return -0.0;
        default: return std::ldexp(static_cast<double>(Below(2001) - 1000), Below(12) - 8);
        }
    }
};

// Builds a configuration: a few columns read every sample or once per window,
// with none, normalisation or FFT-type, a few mode-0 and mode-1 equations.
// Returns false when it does not evaluate (an operator without its values).
bool Configure(Generator& g, TestRun& run, int32_t& windowSize) {
    static const int32_t kSizes[] = {2, 4, 6, 8, 10, 520, 600};
    windowSize = g.Pick(kSizes);
    run = TestRun(windowSize, 100);
    run.text.Constant("NANP", "nan").Constant("NANN", "-nan").Constant("BIG", "1e308").Constant("TINY", "4e-320");
    const int columns = 2 + g.Below(4);
    for (int c = 0; c < columns; ++c) {
        // Now and then a name twice, so that two columns share a variable.
        const std::string name = g.OneIn(8) ? g.Pick(kColumnNames) : kColumnNames[c];
        const int32_t sampling = g.OneIn(4) ? 0 : 1;
        const int32_t operation = g.OneIn(10) ? 3 : g.Below(3);
        if (sampling == 0 && operation == 2) {
            run.Column(name, 0, 1, g.Text());
        } else {
            static const char* const kFactors[] = {"1.5", "0", "1e-300", "7"};
            run.Column(name, sampling, operation, operation == 2 ? g.Pick(kFactors) : g.Text());
        }
    }
    const int equations = 1 + g.Below(4);
    for (int e = 0; e < equations; ++e) {
        if (g.OneIn(4)) run.Equation(0, g.Pick(kResultNames), g.Text());
        run.Equation(1, g.Pick(kResultNames), g.Text());
    }
    try {
        run.Prepare(4);
    } catch (const Error&) {
        return false;
    }
    return true;
}

struct Tally {
    int configurations = 0;
    int independent = 0;
    int overArrays = 0;
};

void CompareRuns(Generator& g, Tally& tally, uint64_t seed) {
    TestRun planned(2, 100);
    int32_t windowSize = 0;
    if (!Configure(g, planned, windowSize)) return;
    TestRun oneByOne(2, 100);
    oneByOne.text = planned.text;
    oneByOne.Prepare(4);
    oneByOne.work.sampleEquations.independent = false;
    oneByOne.work.sampleEquations.overArrays = false;
    ++tally.configurations;
    tally.independent += planned.work.sampleEquations.independent;
    tally.overArrays += planned.work.sampleEquations.overArrays;

    const size_t columns = planned.config.columns.size();
    for (int32_t m = 0; m < 3; ++m) {
        // Mostly whole windows, sometimes a shorter last one.
        const int32_t n = g.OneIn(3) ? 2 * (1 + g.Below(windowSize / 2)) : windowSize;
        for (size_t c = 0; c < columns; ++c) {
            std::vector<double>& a = planned.result.samples[c];
            std::vector<double>& b = oneByOne.result.samples[c];
            if (IsOncePerWindow(planned.config.columns[c].sampling)) {
                if (a.size() <= static_cast<size_t>(m)) a.resize(static_cast<size_t>(m) + 1);
                a[static_cast<size_t>(m)] = g.Value();
            } else {
                for (double& x : a) x = g.Value();
            }
            b = a;
        }
        planned.Process(m, n);
        oneByOne.Process(m, n);
        planned.work.windowPosition = 0;
        oneByOne.work.windowPosition = 0;

        SCOPED_TRACE("seed " + std::to_string(seed) + ", window " + std::to_string(m) + " of " + std::to_string(n) +
                     " samples\n" + planned.text.Text());
        for (size_t c = 0; c < columns; ++c) {
            const ColumnStats& x = planned.result.stats[c];
            const ColumnStats& y = oneByOne.result.stats[c];
            ASSERT_TRUE(SameBits(planned.result.samples[c], oneByOne.result.samples[c])) << "samples of column " << c;
            ASSERT_TRUE(SameBits(x.mean, y.mean) && SameBits(x.max, y.max) && SameBits(x.min, y.min) &&
                        SameBits(x.timeOfMax, y.timeOfMax) && SameBits(x.timeOfMin, y.timeOfMin))
                << "statistics of column " << c;
        }
        for (size_t v = 0; v < planned.work.vars.entries.size(); ++v) {
            ASSERT_TRUE(SameBits(planned.work.vars.entries[v].value, oneByOne.work.vars.entries[v].value))
                << "variable " << planned.work.vars.entries[v].name << ": " << planned.work.vars.entries[v].value
                << " against " << oneByOne.work.vars.entries[v].value;
        }
    }
}

TEST(SampleEquations, PlannedRunsGiveTheBitsOfOneSampleAtATime) {
    Tally tally;
    for (uint64_t seed = 1; seed <= 600; ++seed) {
        Generator g(seed);
        CompareRuns(g, tally, seed);
        if (HasFatalFailure()) return;
    }
    // The generated configurations reach both planned paths often enough.
    EXPECT_GT(tally.configurations, 400);
    EXPECT_GT(tally.independent, tally.configurations / 5);
    EXPECT_GT(tally.overArrays, tally.configurations / 8);
}

}  // namespace
