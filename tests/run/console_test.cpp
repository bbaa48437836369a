// The transcript's own logic: figures it formats, the summary's blocks. Its
// texts are pinned by the golden transcripts and the conformance cases.

#include "run/transcript.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/config_builder.h"

using namespace vux;

namespace {

TEST(Console, ByteCountsHaveDecimalThresholdsAndBinaryDivisors) {
    struct Case {
        uint64_t bytes;
        const char* text;
    };
    const std::vector<Case> cases = {
        {0, "0.000 B  "},
        {9999, "9999.000 B  "},
        {10000, "9.766 KiB"},
        {999999, "976.562 KiB"},
        {1000000, "0.954 MiB"},
        {2015047, "1.922 MiB"},
        {999999999, "953.674 MiB"},
        {1000000000, "0.931 GiB"},
        {uint64_t{5} << 30, "5.000 GiB"},
        {UINT64_MAX, "17179869184.000 GiB"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatByteCount(c.bytes), c.text) << c.bytes;
}

const char* const kHint =
    "\n\nTo view MATLAB plots...\nnavigate to the output directory in MATLAB and run vuxplots() on the console\n";

// Every-sample columns get no Mean part; once-per-window columns print theirs
// (0.000 when never set) with a trailing blank; the duration is the first
// column's max whatever it holds; an empty or missing heading prints "()".
TEST(Console, SummaryBlocksPerColumn) {
    test_support::ConfigText text;
    text.Window(4, 4).WindowFunction("1");
    text.Column("TIME, 1, 0, 0, 0").Column("PRES, 0, 1, 0, input").Column("RAW, 0, 0, 0, 0");
    text.Column("ANGX, 1, 2, 1x0, 1").Column("LAST, 1, 0, 0, 0");
    const RunConfig config = text.Evaluate();
    ReduceResult result;
    result.headings = {"t", "c0", "", "gx"};
    result.stats = {{0.39, 0.39, 0.0, 0.0, 0.0},
                    {1.5, 14.6959, 0.25, -2.0004, 12.34567},
                    {0.0, 2.5, 0.0, 2.5, 0.0},
                    {123.456789, -1e-7, 2.0, -1234567.5, 99.0},
                    {}};
    EXPECT_EQ(SummaryText(config, result, 1.23456),
              std::string("\n\nAnalysis complete, processing time: 1.235s\nData Duration: 0.390s"
                          "\n\nChannel TIME (t):\nMax: 0.390 @ 0.39000\nMin: 0.000 @ 0.00000\n"
                          "\n\nChannel PRES (c0):\nMax: 14.696 @ 1.50000\nMin: -2.000 @ 0.25000\nMean: 12.346 "
                          "\n\nChannel RAW ():\nMax: 2.500 @ 0.00000\nMin: 2.500 @ 0.00000\nMean: 0.000 "
                          "\n\nChannel ANGX (gx):\nMax: -0.000 @ 123.45679\nMin: -1234567.500 @ 2.00000\n"
                          "\n\nChannel LAST ():\nMax: 0.000 @ 0.00000\nMin: 0.000 @ 0.00000\n") +
                  kHint);
    EXPECT_EQ(SummaryText(RunConfig{}, ReduceResult{}, 0.0),
              std::string("\n\nAnalysis complete, processing time: 0.000s\nData Duration: 0.000s") + kHint);
}

}  // namespace
