#pragma once
// The data-field number parse written out step by step in plain double
// arithmetic, with no tables and no integer shortcuts: the fast parser must
// agree with it bit for bit, and stop at the same place.

#include <cstddef>
#include <string_view>

namespace test_support {

struct ReferenceNumber {
    double value;
    size_t stop;  // bytes taken into the number (blanks and sign included)
};

// Blanks, a sign, digits, a fraction and an exponent (capped at 308) read from
// `text`; its end, a NUL or the first character outside the form stops it.
inline ReferenceNumber ReferenceParse(std::string_view text) {
    size_t p = 0;
    auto at = [&](size_t i) { return i < text.size() ? text[i] : '\0'; };
    auto digit = [&](size_t i) { return at(i) >= '0' && at(i) <= '9'; };
    while (at(p) == ' ' || at(p) == '\t') ++p;
    double sign = 1.0;
    if (at(p) == '-') {
        sign = -1.0;
        ++p;
    } else if (at(p) == '+') {
        ++p;
    }
    double value = 0.0;
    while (digit(p)) value = value * 10.0 + static_cast<double>(at(p++) - '0');
    if (at(p) == '.') {
        ++p;
        double d = 10.0;
        while (digit(p)) {
            value += static_cast<double>(at(p++) - '0') / d;
            d = d * 10.0;
        }
    }
    double result = value;
    if (at(p) == 'e' || at(p) == 'E') {
        ++p;
        bool negative = false;
        if (at(p) == '-') {
            negative = true;
            ++p;
        } else if (at(p) == '+') {
            ++p;
        }
        long exponent = 0;
        while (digit(p)) {
            exponent = exponent * 10 + (at(p++) - '0');
            if (exponent > 308) exponent = 308;
        }
        double scale = 1.0;
        while (exponent >= 50) { scale = scale * 1e50; exponent -= 50; }
        while (exponent >= 8) { scale = scale * 1e8; exponent -= 8; }
        while (exponent > 0) { scale = scale * 10.0; exponent -= 1; }
        result = negative ? value / scale : value * scale;
    }
    return {result * sign, p};
}

}  // namespace test_support
