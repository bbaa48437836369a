#include "reduce/byte_count.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace vux;

namespace {

TEST(ByteCount, DecimalThresholdsAndBinaryDivisors) {
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

TEST(ByteCount, PrintsWithoutLineEnd) {
    testing::internal::CaptureStdout();
    PrintByteCount(10000);
    PrintByteCount(5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "9.766 KiB5.000 B  ");
}

}  // namespace
