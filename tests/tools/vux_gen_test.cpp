// Runs the built vux_gen and checks the files it writes: determinism, layout,
// row counts and time stamps, the size limit, plausible physical values after
// the default equations, engine tones in the vibration channels, and refusal
// of bad options and failed writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;

using test_support::ReadFile;

constexpr const char* kMarker = "Data Starts Here,,,,,,,,,,,,,,,,,,,";
constexpr const char* kHeadings =
    "Time (s),Pressure (mV),Temp (mV),Humidity (mV),Gyro X,Gyro Y,Gyro Z,Acc X,Acc Y,Acc Z,";

class VuxGenTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.path.empty()); }

    // Runs vux_gen with the blank-separated words of `args` and, when given,
    // "-o output"; stdout and stderr go to files. Returns the exit status as a
    // shell shows it.
    int Run(const std::string& args, const std::string& output = "") {
        test_support::Launch gen = test_support::Program(VUX_GEN_PATH);
        gen.out = test_support::Sink::File(Path("stdout"));
        gen.err = test_support::Sink::File(Path("stderr"));
        std::istringstream words(args);
        for (std::string word; words >> word;) gen.args.push_back(word);
        if (!output.empty()) gen.args.insert(gen.args.end(), {"-o", output});
        return test_support::RunProgram(gen).exit.status;
    }

    std::string Path(const std::string& name) const { return dir_ / name; }

    // Generates into `name` and returns the bytes.
    std::string Generate(const std::string& args, const std::string& name = "data.csv") {
        EXPECT_EQ(Run(args, Path(name)), 0) << ReadFile(Path("stderr"));
        return ReadFile(Path(name));
    }

    test_support::ScratchDir dir_{"vux_gen_test"};
};

// Splits on LF; a CR before the LF stays at the end of its line.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& row) {
    std::vector<std::string> fields;
    std::stringstream in(row);
    std::string field;
    while (std::getline(in, field, ',')) fields.push_back(field);
    if (!row.empty() && row.back() == ',') fields.emplace_back();
    return fields;
}

// Data rows as numbers (CR LF line ends expected), columns in file order.
std::vector<std::vector<double>> Columns(const std::string& text) {
    const std::vector<std::string> lines = Lines(text);
    std::vector<std::vector<double>> columns(10);
    size_t i = 0;
    while (i < lines.size() && lines[i] != std::string(kMarker) + "\r") ++i;
    for (i += 2; i < lines.size(); ++i) {
        std::string row = lines[i];
        if (!row.empty() && row.back() == '\r') row.pop_back();
        const std::vector<std::string> fields = Fields(row);
        if (fields.size() != 10) continue;
        for (size_t c = 0; c < 10; ++c) columns[c].push_back(std::strtod(fields[c].c_str(), nullptr));
    }
    return columns;
}

// The default configuration's equations, ADC_OFFSET = 2500.
double PressurePsia(double mv) { return (mv + 2500.0 - 500.0) / 4500.0 * 17.4; }
double TemperatureC(double mv) {
    const double ohms = (mv + 2500.0) / ((5000.0 - (mv + 2500.0)) / 4000.0);
    return (ohms - 1000.0) / 3.75;
}
double HumidityPercent(double mv, double celsius) {
    const double sensorRh = (((mv + 2500.0) / 5000.0) - 0.16) / 0.0062;
    return sensorRh / (1.0546 - (0.00216 * celsius));
}

TEST_F(VuxGenTest, SeedFixesTheBytesAndLfChangesOnlyLineEnds) {
    const std::string a = Generate("--duration 0.3 --seed 7", "a.csv");
    const std::string b = Generate("--duration 0.3 --seed 7", "b.csv");
    const std::string other = Generate("--duration 0.3 --seed 8", "c.csv");
    const std::string lf = Generate("--duration 0.3 --seed 7 --lf", "d.csv");
    ASSERT_GT(a.size(), 100000u);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == other);
    std::string stripped = a;
    std::erase(stripped, '\r');
    EXPECT_TRUE(stripped == lf);
    EXPECT_EQ(lf.find('\r'), std::string::npos);

    // Without -o the same bytes go to standard output; with -o nothing does.
    EXPECT_EQ(ReadFile(Path("stdout")), "");
    ASSERT_EQ(Run("--duration 0.3 --seed 7"), 0);
    EXPECT_TRUE(ReadFile(Path("stdout")) == a);
}

TEST_F(VuxGenTest, FileHasHeaderMarkerHeadingsAndTenFieldCrLfRows) {
    const std::string text = Generate("--duration 0.2 --rate 10000 --seed 3");
    ASSERT_FALSE(text.empty());
    ASSERT_EQ(text.back(), '\n');
    const std::vector<std::string> lines = Lines(text);
    for (const std::string& line : lines) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r') << "every line ends in CR LF";
        ASSERT_EQ(line.find('\r'), line.size() - 1) << "no CR inside a line";
    }
    size_t marker = 0;
    while (marker < lines.size() && lines[marker] != std::string(kMarker) + "\r") ++marker;
    ASSERT_LT(marker, lines.size());
    EXPECT_GE(marker, 2u) << "free header lines come before the marker";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(kMarker) + "\r"), 1);
    ASSERT_LT(marker + 1, lines.size());
    EXPECT_EQ(lines[marker + 1], std::string(kHeadings) + "\r");
    EXPECT_EQ(Fields(kHeadings).size(), 11u) << "ten headings, each ended by a comma";

    const size_t rows = lines.size() - marker - 2;
    EXPECT_EQ(rows, 2000u);
    size_t rowBytes = 0;
    for (size_t i = marker + 2; i < lines.size(); ++i) {
        std::string row = lines[i];
        rowBytes += row.size() + 1;
        row.pop_back();
        const std::vector<std::string> fields = Fields(row);
        ASSERT_EQ(fields.size(), 10u) << row;
        for (const std::string& field : fields) {
            char* end = nullptr;
            std::strtod(field.c_str(), &end);
            ASSERT_FALSE(field.empty());
            ASSERT_EQ(*end, '\0') << "field '" << field << "' of row " << row << " is not a plain number";
        }
    }
    // The tool's window estimate assumes about 110 bytes per row.
    const double average = static_cast<double>(rowBytes) / static_cast<double>(rows);
    EXPECT_GT(average, 100.0);
    EXPECT_LT(average, 120.0);
}

TEST_F(VuxGenTest, DurationAndRateGiveRowCountAndTimeStamps) {
    struct Case {
        const char* args;
        size_t rows;
        double rate;
    };
    const Case cases[] = {
        {"--duration 2 --rate 500", 1000, 500.0},
        {"--duration 0.25 --rate 10000", 2500, 10000.0},
        {"--duration=1.5 --rate=333", 500, 333.0},  // 499.5 rows round to 500
        {"--duration 3 --rate 1", 3, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const std::vector<std::vector<double>> columns = Columns(Generate(c.args));
        ASSERT_EQ(columns[0].size(), c.rows);
        for (size_t i = 0; i < c.rows; ++i) {
            ASSERT_NEAR(columns[0][i], static_cast<double>(i) / c.rate, 5.1e-6) << "row " << i;
        }
    }
}

TEST_F(VuxGenTest, SizeStopsJustPastTheRequestedSize) {
    struct Case {
        const char* args;
        uintmax_t atLeast;
    };
    const Case cases[] = {
        {"--size 300000", 300000},
        {"--size 200K", 200000},
        {"--size 0.25M", 250000},
        {"--size 256Ki", 262144},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Generate(c.args);
        const uintmax_t size = fs::file_size(Path("data.csv"));
        EXPECT_GE(size, c.atLeast);
        EXPECT_LT(size, c.atLeast + 200) << "stops within one row of the size";
    }
    // With a duration too, whichever limit comes first ends the file.
    const std::vector<std::vector<double>> columns = Columns(Generate("--size 10M --duration 0.01"));
    EXPECT_EQ(columns[0].size(), 100u);
}

TEST_F(VuxGenTest, SlowChannelsFollowAFlightAfterTheDefaultEquations) {
    const std::vector<std::vector<double>> columns = Columns(Generate("--duration 120 --rate 200 --seed 11"));
    const size_t rows = columns[0].size();
    ASSERT_EQ(rows, 24000u);
    std::vector<double> psia(rows), celsius(rows), humidity(rows);
    for (size_t i = 0; i < rows; ++i) {
        psia[i] = PressurePsia(columns[1][i]);
        celsius[i] = TemperatureC(columns[2][i]);
        humidity[i] = HumidityPercent(columns[3][i], celsius[i]);
    }
    // On the ground at both ends.
    for (size_t i : {size_t{0}, rows - 1}) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(psia[i], 14.7, 0.4);
        EXPECT_NEAR(celsius[i], 15.0, 4.0);
        EXPECT_GT(humidity[i], 25.0);
    }
    // Cruise in the middle.
    const size_t mid = rows / 2;
    EXPECT_NEAR(psia[mid], 3.5, 0.3);
    EXPECT_NEAR(celsius[mid], -50.0, 5.0);
    EXPECT_LT(humidity[mid], 20.0);
    for (size_t i = 0; i < rows; ++i) {
        ASSERT_GE(psia[i], 3.0) << i;
        ASSERT_LE(psia[i], 15.2) << i;
        ASSERT_GE(celsius[i], -60.0) << i;
        ASSERT_LE(celsius[i], 25.0) << i;
        ASSERT_GE(humidity[i], 0.0) << i;
        ASSERT_LE(humidity[i], 100.0) << i;
    }
    // The climb lowers the pressure steadily: no jumps between neighbouring rows.
    for (size_t i = 1; i < rows; ++i) ASSERT_LT(std::fabs(psia[i] - psia[i - 1]), 0.05) << i;
}

// Power of `x` at `hz` (Goertzel), sample rate `rate`.
double PowerAt(const std::vector<double>& x, double hz, double rate) {
    const double w = 2.0 * M_PI * hz / rate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (double v : x) {
        const double s0 = v + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

TEST_F(VuxGenTest, VibrationChannelsCarryEngineTonesOverNoise) {
    const std::vector<std::vector<double>> columns = Columns(Generate("--duration 1 --rate 8000 --seed 5"));
    const double factors[6] = {1.23, 1.25, 1.27, 108.4, 100.4, 104.3};
    const double maxStd[6] = {5.0, 5.0, 5.0, 1.0, 1.0, 1.0};  // deg/s, g
    std::vector<double> stds;
    for (int ch = 0; ch < 6; ++ch) {
        SCOPED_TRACE(ch);
        std::vector<double> x = columns[4 + ch];
        ASSERT_EQ(x.size(), 8000u);
        double mean = 0.0;
        for (double v : x) mean += v;
        mean /= static_cast<double>(x.size());
        double var = 0.0;
        for (double& v : x) {
            v = (v - mean) / factors[ch];
            var += v * v;
        }
        const double sd = std::sqrt(var / static_cast<double>(x.size()));
        EXPECT_GT(sd, 0.01);
        EXPECT_LT(sd, maxStd[ch]);
        stds.push_back(sd);

        std::vector<double> spectrum;  // 1 Hz bins
        for (int hz = 1; hz < 2000; ++hz) spectrum.push_back(PowerAt(x, hz, 8000.0));
        std::vector<double> sorted = spectrum;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        const double median = sorted[sorted.size() / 2];
        const auto peakIn = [&](int lo, int hi) {
            return *std::max_element(spectrum.begin() + (lo - 1), spectrum.begin() + (hi - 1));
        };
        EXPECT_GT(peakIn(55, 115), 100.0 * median) << "fan tone";
        EXPECT_GT(peakIn(170, 250), 100.0 * median) << "core tone";
        EXPECT_GT(peakIn(340, 500), 10.0 * median) << "core harmonic";
    }
    // The axes differ in amplitude.
    std::sort(stds.begin(), stds.begin() + 3);
    std::sort(stds.begin() + 3, stds.end());
    EXPECT_GT(stds[2], 1.3 * stds[0]);
    EXPECT_GT(stds[5], 1.3 * stds[3]);
}

TEST_F(VuxGenTest, RefusesBadOptionsWithoutOutput) {
    const char* const cases[] = {
        "--rate 0",     "--rate abc",  "--rate",      "--duration -1", "--duration 0",
        "--duration x", "--size 12X",  "--size 0",    "--size M",      "--seed -3",
        "--seed 1.5",   "--bogus",     "--lf=1",      "-o",            "extra",
        "--burst 100",  "--burst 100,2,1", "--burst 0,1,2", "--burst 100,1,2,0", "--burst 100,1,2,3,4",
    };
    for (const char* args : cases) {
        SCOPED_TRACE(args);
        EXPECT_EQ(Run(args), 2);
        EXPECT_EQ(ReadFile(Path("stdout")), "");
        EXPECT_NE(ReadFile(Path("stderr")), "");
    }
}

TEST_F(VuxGenTest, ReportsFailedWritesAndCreates) {
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(Run("--duration 0.1 -o /dev/full"), 1);
        EXPECT_NE(ReadFile(Path("stderr")).find("/dev/full"), std::string::npos);
    }
    EXPECT_EQ(Run("--duration 0.1", Path("missing/dir/data.csv")), 1);
    EXPECT_NE(ReadFile(Path("stderr")).find("missing/dir/data.csv"), std::string::npos);
}

}  // namespace
