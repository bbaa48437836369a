#include "support/parse_number.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/reference_number.h"

using test_support::ParseNumber;
using test_support::ParseNumberPrefix;

namespace {

double ReferenceParse(std::string_view text) { return test_support::ReferenceParse(text).value; }

uint64_t Bits(double v) { return std::bit_cast<uint64_t>(v); }

void ExpectSameAsReference(const std::string& text) {
    EXPECT_EQ(Bits(ParseNumber(text.c_str())), Bits(ReferenceParse(text.c_str()))) << "text: \"" << text << "\"";
}

TEST(ParseNumber, DocumentedExamples) {
    EXPECT_EQ(ParseNumber("  12.5"), 12.5);
    EXPECT_EQ(ParseNumber("-3e2"), -300.0);
    EXPECT_EQ(Bits(ParseNumber("1.5E-3")), Bits(1.5 / 1000.0));
    EXPECT_EQ(ParseNumber("7 apples"), 7.0);
    EXPECT_EQ(ParseNumber("abc"), 0.0);
    EXPECT_EQ(Bits(ParseNumber("")), Bits(0.0));
    EXPECT_EQ(Bits(ParseNumber("-")), Bits(-0.0));
    EXPECT_EQ(Bits(ParseNumber("-0")), Bits(-0.0));
    EXPECT_EQ(Bits(ParseNumber("-+5")), Bits(-0.0));
    EXPECT_EQ(ParseNumber("\t9"), 9.0);
    EXPECT_EQ(ParseNumber("+4"), 4.0);
    EXPECT_EQ(ParseNumber(".5"), 0.5);
    EXPECT_EQ(ParseNumber("3."), 3.0);
    EXPECT_EQ(ParseNumber("5e"), 5.0);
    EXPECT_EQ(ParseNumber("2.5e+3"), 2500.0);
    EXPECT_EQ(ParseNumber("1e400"), ParseNumber("1e308"));
    EXPECT_EQ(ParseNumber("1e309"), ParseNumber("1e308"));
    EXPECT_EQ(ParseNumber("1e-400"), ParseNumber("1e-308"));
}

// The steps are not strtod: long fractions accumulate rounding, so results
// may differ from the correctly rounded value; the parser must follow the
// steps exactly.
TEST(ParseNumber, FieldFormsMatchTheStepsBitForBit) {
    const std::vector<std::string> forms = {
        "  12.5", "-3e2", "1.5E-3", "7 apples", "abc", "", "+4", "-", ".5", "1e400", "-0", "\t9",
        "0.1234567890123456789", "123456.789e-3", "9.999999999999999e22", "1e-320", "5e", "2.5e+3", "-+5",
        "0.30000000000000004", "1e-5x", "1.7976931348623157e308", "3.", "00042.4200", "1e309",
        "4.9406564584124654e-324", "12345678901234567890123", "-.75E-2", "0.1", "0.7", "1.1", "479.48",
        "-1120.79", "0.04705", "9007199254740993", "90071992547409930", "900719925474099.7",
        "0.00000000000000000000000000000000000000001234",
        "1.00000000000000000000000000000000000000000000000000001",
        "123456789012345678901234567890123456789012345678901234567890.123456789012345678901234567890",
        std::string(400, '9'), "1" + std::string(320, '0'), "0." + std::string(330, '3'),
        "1e99999999999999999999999", "1e-99999999999999999999999", "2e308", "1.5e-310", "4e-324",
        "1e50", "1e58", "1e57", "1e8", "1e7", "1e-7", "1e-8", "1e-50", "1e-58", "1e-57",
        "1.2.3", "1e5e5", "--1", "+-1", " - 1", "1 e5", "1e 5", "1e+-5", "1E-", "e5", ".e5", "-.e", "0x1A",
    };
    for (const std::string& text : forms) ExpectSameAsReference(text);
}

TEST(ParseNumber, RandomFormsMatchTheStepsBitForBit) {
    std::mt19937_64 random(12345);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint64_t>(n)); };
    for (int i = 0; i < 200000; ++i) {
        std::string text;
        text.append(static_cast<size_t>(pick(4) == 0 ? pick(3) : 0), ' ');
        const int sign = pick(4);
        if (sign == 1) text += '-';
        if (sign == 2) text += '+';
        const int wholeDigits = pick(5) == 0 ? pick(30) : pick(8);
        for (int k = 0; k < wholeDigits; ++k) text += static_cast<char>('0' + pick(10));
        if (pick(4) != 0) {
            text += '.';
            const int fractionDigits = pick(5) == 0 ? pick(40) : pick(10);
            for (int k = 0; k < fractionDigits; ++k) text += static_cast<char>('0' + pick(10));
        }
        if (pick(3) == 0) {
            text += pick(2) ? 'e' : 'E';
            const int exponentSign = pick(3);
            if (exponentSign == 1) text += '-';
            if (exponentSign == 2) text += '+';
            text += std::to_string(pick(5) == 0 ? pick(400) : pick(40));
        }
        if (pick(8) == 0) text += ",1";
        ExpectSameAsReference(text);
        if (HasFailure()) return;
    }
}

TEST(ParseNumber, StopsAtTheBoundOrTheFirstCharacterOutsideTheForm) {
    const std::string digits = "12345.678e2";
    EXPECT_EQ(ParseNumber(digits.c_str(), digits.c_str() + 3), 123.0);
    EXPECT_EQ(Bits(ParseNumber(digits.c_str(), digits.c_str() + 7)), Bits(ReferenceParse("12345.6")));
    EXPECT_EQ(Bits(ParseNumber(digits.c_str(), digits.c_str() + 10)), Bits(ReferenceParse("12345.678e")));
    EXPECT_EQ(ParseNumber(digits.c_str(), digits.c_str()), 0.0);
    const std::string embedded("12\0" "34", 5);
    EXPECT_EQ(ParseNumber(embedded.c_str(), embedded.c_str() + embedded.size()), 12.0);

    struct Case {
        std::string text;
        size_t stop;
    };
    const std::vector<Case> cases = {
        {"1.5e3,x", 5}, {"7 apples", 1}, {"  -4\r\n", 4}, {"\n", 0}, {"1e-\n", 3}, {"abc,", 0}, {"2.,", 2},
    };
    for (const Case& c : cases) {
        const char* stop = nullptr;
        const double value = ParseNumberPrefix(c.text.c_str(), &stop);
        EXPECT_EQ(static_cast<size_t>(stop - c.text.c_str()), c.stop) << c.text;
        EXPECT_EQ(Bits(value), Bits(ReferenceParse(c.text.c_str()))) << c.text;
    }
}

#if defined(__x86_64__)
bool HasVectorSteps() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
}

// The plain parse of `field` as the row loop makes it: the field stands in a
// row, followed by its ',' and by `after`, bytes it must not look at.
[[gnu::target("avx2,bmi,bmi2")]] bool ParsePlain(const std::string& field, const std::string& after,
                                                 double* value) {
    std::string row = field + ',' + after;
    row.resize(std::max(row.size(), field.size() + vux::parse_detail::kPlainFieldReach), ',');
    return vux::parse_detail::ParsePlainFieldAvx2(row.data(), field.size(), value);
}

// The fields the plain parse takes give the steps' double bit for bit, and
// it takes exactly the plain ones: an optional sign, at most 15 digits,
// optionally a '.' and at most 8 digits, at least one digit.
TEST(ParseNumber, PlainFieldsMatchTheStepsBitForBit) {
    if (!HasVectorSteps()) GTEST_SKIP() << "no AVX2, BMI1 and BMI2";
    struct Case {
        std::string field;
        bool plain;
    };
    const std::vector<Case> cases = {
        {"0", true}, {"-0", true}, {"+0", true}, {"0.0", true}, {"-0.00000000", true}, {"5.", true},
        {".5", true}, {"-.5", true}, {"+.5", true}, {"0.00000", true}, {"1792.8289", true},
        {"-1457.9470", true}, {"+14.387578", true}, {"-121.765912", true}, {"0.1", true}, {"0.7", true},
        {"479.48", true}, {"123456789012345", true}, {"-123456789012345", true}, {"999999999999999.", true},
        {"12345678.12345678", false},  // 17 bytes
        {"1234567.12345678", true}, {"-123456.12345678", true}, {"0.12345678", true}, {"0.123456789", false},
        {"1234567890123456", false}, {"9007199254740993", false}, {"", false}, {"-", false}, {"+", false},
        {".", false}, {"-.", false}, {"+.", false}, {"1.2.3", false}, {"1..2", false}, {"--1", false},
        {"+-1", false}, {"1-", false}, {"1+2", false}, {"1e5", false}, {"1E5", false}, {"2.5e+3", false},
        {" 1", false}, {"1 ", false}, {"\t1", false}, {"1\r", false}, {"0x1F", false}, {"abc", false},
        {std::string("1\0" "2", 3), false}, {"\xff" "1", false}, {"1\x80", false}, {"/", false}, {":", false},
        {"1,5", false},
    };
    for (const Case& c : cases) {
        for (const std::string& after : {std::string(), std::string("9876543210987654321.5e7")}) {
            double value = 12345.0;
            const bool taken = ParsePlain(c.field, after, &value);
            EXPECT_EQ(taken, c.plain) << "field \"" << c.field << "\"";
            if (taken) {
                EXPECT_EQ(Bits(value), Bits(ReferenceParse(c.field))) << "field \"" << c.field << "\"";
            } else {
                EXPECT_EQ(value, 12345.0) << "field \"" << c.field << "\" was not taken but stored";
            }
        }
    }
}

TEST(ParseNumber, RandomPlainFieldsMatchTheStepsBitForBit) {
    if (!HasVectorSteps()) GTEST_SKIP() << "no AVX2, BMI1 and BMI2";
    std::mt19937_64 random(2024);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint64_t>(n)); };
    for (int i = 0; i < 200000; ++i) {
        std::string field;
        const int sign = pick(3);
        if (sign == 1) field += '-';
        if (sign == 2) field += '+';
        const int wholeDigits = pick(16);
        for (int k = 0; k < wholeDigits; ++k) field += static_cast<char>('0' + pick(10));
        int fractionDigits = 0;
        if (pick(5) != 0) {
            field += '.';
            fractionDigits = pick(10);
            for (int k = 0; k < fractionDigits; ++k) field += static_cast<char>('0' + pick(10));
        }
        const bool plain = wholeDigits + fractionDigits > 0 && fractionDigits <= 8 && field.size() <= 16;
        double value = 0.0;
        ASSERT_EQ(ParsePlain(field, "1.5", &value), plain) << "field \"" << field << "\"";
        if (plain) {
            ASSERT_EQ(Bits(value), Bits(ReferenceParse(field))) << "field \"" << field << "\"";
        }
    }
}
#endif

}  // namespace
