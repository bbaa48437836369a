#pragma once
// The number parser's steps, inline: included by parse_number.cpp and by the
// row loop, which parses every stored field and gains from having them
// inlined. Only those two include it; everyone else calls ParseNumber.

#include <array>
#include <cstdint>

namespace vux {
namespace parse_detail {

// Fraction digits with a precomputed term: fraction[10 k + digit] is exactly
// digit / d where d is 10 multiplied by 10 k times, the same sequence of
// multiplications the digit-by-digit parse performs.
constexpr int kFractionDigits = 24;
constexpr int kMaxExponent = 308;

struct Tables {
    std::array<double, 10 * kFractionDigits> fraction{};
    double divisorAfterTable = 0.0;  // d for the first digit beyond the table
    std::array<double, kMaxExponent + 1> scale{};
};

constexpr Tables MakeTables() {
    Tables t;
    double d = 10.0;
    for (int k = 0; k < kFractionDigits; ++k) {
        for (int digit = 0; digit < 10; ++digit) t.fraction[10 * k + digit] = static_cast<double>(digit) / d;
        d = d * 10.0;
    }
    t.divisorAfterTable = d;
    for (int e = 0; e <= kMaxExponent; ++e) {
        int rest = e;
        double s = 1.0;
        while (rest >= 50) { s = s * 1e50; rest -= 50; }
        while (rest >= 8) { s = s * 1e8; rest -= 8; }
        while (rest > 0) { s = s * 10.0; rest -= 1; }
        t.scale[e] = s;
    }
    return t;
}

inline constinit const Tables kTables = MakeTables();

// While the integer part stays below this, value * 10 + digit stays below
// 2^53, so integer arithmetic gives exactly the doubles of the step-by-step
// form.
constexpr uint64_t kExactIntegerLimit = (uint64_t{1} << 53) / 10;

inline unsigned DigitOf(char c) { return static_cast<unsigned>(static_cast<unsigned char>(c) - '0'); }

// Bounded: stop at `end` as if a NUL stood there.
template <bool Bounded>
[[gnu::always_inline]] inline double Parse(const char* p, const char* end, const char** stop) {
    auto at = [&](const char* q) -> char {
        if constexpr (Bounded) return q < end ? *q : '\0';
        else return *q;
    };

    if (at(p) <= ' ') {
        while (at(p) == ' ' || at(p) == '\t') ++p;
    }

    double sign = 1.0;
    if (at(p) == '-') {
        sign = -1.0;
        ++p;
    } else if (at(p) == '+') {
        ++p;
    }

    uint64_t whole = 0;
    unsigned digit;
    while ((digit = DigitOf(at(p))) < 10 && whole < kExactIntegerLimit) {
        whole = whole * 10 + digit;
        ++p;
    }
    double value = static_cast<double>(whole);
    while ((digit = DigitOf(at(p))) < 10) {
        value = value * 10.0 + static_cast<double>(digit);
        ++p;
    }

    if (at(p) == '.') {
        ++p;
        const double* row = kTables.fraction.data();
        const double* const rowsEnd = row + kTables.fraction.size();
        while ((digit = DigitOf(at(p))) < 10 && row != rowsEnd) {
            value += row[digit];
            row += 10;
            ++p;
        }
        double d = kTables.divisorAfterTable;
        while ((digit = DigitOf(at(p))) < 10) {
            value += static_cast<double>(digit) / d;
            d = d * 10.0;
            ++p;
        }
    }

    double result = value;
    char c = at(p);
    if (c == 'e' || c == 'E') {
        ++p;
        bool negative = false;
        if (at(p) == '-') {
            negative = true;
            ++p;
        } else if (at(p) == '+') {
            ++p;
        }
        unsigned exponent = 0;
        while ((digit = DigitOf(at(p))) < 10) {
            if (exponent <= kMaxExponent) exponent = exponent * 10 + digit;  // saturates above the cap
            ++p;
        }
        if (exponent > kMaxExponent) exponent = kMaxExponent;
        const double scale = kTables.scale[exponent];
        result = negative ? value / scale : value * scale;
    }

    *stop = p;
    return result * sign;
}

}  // namespace parse_detail
}  // namespace vux
