// The data-field number parser against a plain digit-by-digit reading of the
// same steps: the same double, bit for bit, and the same stopping place, with
// and without the end bound. A NaN never comes out.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_util.h"
#include "reduce/parse_number.h"

using namespace vux;

namespace {

struct Reference {
    double value;
    size_t stop;  // bytes taken into the number (blanks and sign included)
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The parse step by step over text[0 .. size): a NUL, or the end, stops it.
Reference ReferenceParse(const char* text, size_t size) {
    size_t p = 0;
    auto at = [&](size_t i) { return i < size ? text[i] : '\0'; };
    while (at(p) == ' ' || at(p) == '\t') ++p;
    double sign = 1.0;
    if (at(p) == '-') {
        sign = -1.0;
        ++p;
    } else if (at(p) == '+') {
        ++p;
    }
    double value = 0.0;
    while (IsDigit(at(p))) value = value * 10.0 + static_cast<double>(at(p++) - '0');
    if (at(p) == '.') {
        ++p;
        double d = 10.0;
        while (IsDigit(at(p))) {
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
        while (IsDigit(at(p))) {
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

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const Reference expected = ReferenceParse(bytes, size);
    FUZZ_CHECK(!std::isnan(expected.value), "the reference gave NaN");

    // Bounded: exactly `size` bytes on the heap (never a null pointer, which
    // would mean "no bound"), so a read past the bound shows.
    const std::unique_ptr<char[]> exact(new char[size]);
    if (size > 0) std::memcpy(exact.get(), bytes, size);
    const double bounded = ParseNumber(exact.get(), exact.get() + size);
    FUZZ_CHECK(SameBits(bounded, expected.value), "bounded %.17g, expected %.17g", bounded, expected.value);

    // NUL-terminated, with and without the stopping place.
    std::vector<char> terminated(bytes, bytes + size);
    terminated.push_back('\0');
    const double unbounded = ParseNumber(terminated.data());
    FUZZ_CHECK(SameBits(unbounded, expected.value), "unbounded %.17g, expected %.17g", unbounded,
               expected.value);
    const char* stop = nullptr;
    const double prefix = ParseNumberPrefix(terminated.data(), &stop);
    FUZZ_CHECK(SameBits(prefix, expected.value), "prefix %.17g, expected %.17g", prefix, expected.value);
    FUZZ_CHECK(stop == terminated.data() + expected.stop, "stopped after %td bytes, expected %zu",
               stop - terminated.data(), expected.stop);
    return 0;
}
