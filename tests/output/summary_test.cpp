#include "output/summary.h"

#include <gtest/gtest.h>

#include <regex>

#include "output/output_test_util.h"

using namespace vux;

using namespace output_test;

namespace {

const char* const kHint =
    "\n\nTo view MATLAB plots...\nnavigate to the output directory in MATLAB and run vuxplots() on the console\n";

ColumnDef Stats(ColumnDef column, const std::string& heading, double max, double timeOfMax, double min,
                double timeOfMin, double mean) {
    column.heading = heading;
    column.max = max;
    column.timeOfMax = timeOfMax;
    column.min = min;
    column.timeOfMin = timeOfMin;
    column.mean = mean;
    return column;
}

}  // namespace

// Every-sample columns get no Mean part; once-per-window columns print theirs
// (0.000 when never set) with a trailing blank; the duration is the first
// column's max whatever it holds; an empty heading prints "()".
TEST(Summary, BlocksPerColumn) {
    RunState state;
    state.columns = {
        Stats(Column("TIME", 1, 0), "t", 0.39, 0.39, 0.0, 0.0, 0.0),
        Stats(Column("PRES", 0, 1), "c0", 14.6959, 1.5, -2.0004, 0.25, 12.34567),
        Stats(Column("RAW", 0, 0), "", 2.5, 0.0, 2.5, 0.0, 0.0),
        Stats(Column("ANGX", 1, 2, 1, 0), "gx", -1e-7, 123.456789, -1234567.5, 2.0, 99.0),
    };
    EXPECT_EQ(SummaryText(state, 1.23456),
              std::string("\n\nAnalysis complete, processing time: 1.235s\nData Duration: 0.390s"
                          "\n\nChannel TIME (t):\nMax: 0.390 @ 0.39000\nMin: 0.000 @ 0.00000\n"
                          "\n\nChannel PRES (c0):\nMax: 14.696 @ 1.50000\nMin: -2.000 @ 0.25000\nMean: 12.346 "
                          "\n\nChannel RAW ():\nMax: 2.500 @ 0.00000\nMin: 2.500 @ 0.00000\nMean: 0.000 "
                          "\n\nChannel ANGX (gx):\nMax: -0.000 @ 123.45679\nMin: -1234567.500 @ 2.00000\n") +
                  kHint);
}

TEST(Summary, NoColumns) {
    EXPECT_EQ(SummaryText(RunState{}, 0.0),
              std::string("\n\nAnalysis complete, processing time: 0.000s\nData Duration: 0.000s") + kHint);
}

TEST(Summary, PrintsTheElapsedTimeSinceReadingStarted) {
    RunState state;
    state.columns = {Stats(Column("TIME", 1, 0), "t", 5.0, 5.0, 0.0, 0.0, 0.0)};
    testing::internal::CaptureStdout();
    PrintSummary(state, RunClock::now() - std::chrono::milliseconds(2500));
    const std::string printed = testing::internal::GetCapturedStdout();
    std::smatch seconds;
    ASSERT_TRUE(std::regex_search(printed, seconds, std::regex("processing time: ([0-9]+\\.[0-9]{3})s")))
        << printed;
    EXPECT_GE(std::stod(seconds[1]), 2.5);
    EXPECT_LT(std::stod(seconds[1]), 60.0);
    EXPECT_EQ(printed.substr(printed.find("s\nData")), "s\nData Duration: 5.000s"
                                                      "\n\nChannel TIME (t):\nMax: 5.000 @ 5.00000\nMin: 0.000 @ 0.00000\n" +
                                                          std::string(kHint));
}
