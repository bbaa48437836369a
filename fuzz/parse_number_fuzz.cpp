// The data-field number parser against a plain digit-by-digit reading of the
// same steps: the same double, bit for bit, and the same stopping place, with
// and without the end bound. A NaN never comes out. Where the processor has
// the row loop's vector steps, also: the plain-field parse gives the same
// bits for the field the input starts with, and takes exactly the plain
// fields; and the input stored as data rows gives the same bits and the
// same counts on the vector path as on the portable one.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_util.h"
#include "reduce/line_scan.h"
#include "reduce/row_store.h"
#include "support/parse_number.h"
#include "support/reference_number.h"

using test_support::ParseNumber;
using test_support::ParseNumberPrefix;

namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

#if defined(__x86_64__)
bool HasVectorSteps() {
    static const bool has =
        __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    return has;
}

// An optional sign, at most 15 digits, optionally a '.' and at most 8
// digits, at least one digit, at most 16 bytes: read plainly.
bool IsPlain(std::string_view field) {
    size_t p = 0;
    if (p < field.size() && (field[p] == '+' || field[p] == '-')) ++p;
    size_t whole = 0;
    while (p < field.size() && field[p] >= '0' && field[p] <= '9') ++p, ++whole;
    size_t fraction = 0;
    if (p < field.size() && field[p] == '.') {
        ++p;
        while (p < field.size() && field[p] >= '0' && field[p] <= '9') ++p, ++fraction;
    }
    return p == field.size() && field.size() <= 16 && whole <= 15 && fraction <= 8 && whole + fraction > 0;
}

// The field the input starts with (up to its first ',' or LF), followed by
// the rest of the input, as the row loop would see it.
[[gnu::target("avx2,bmi,bmi2")]] void CheckPlainField(std::string_view input) {
    const size_t length = std::min(input.find_first_of(",\n"), input.size());
    const std::string_view field = input.substr(0, length);
    std::string text(input.substr(0, length));
    text += ',';
    text += input.substr(std::min(length + 1, input.size()));
    text.resize(std::max(text.size(), length + vux::parse_detail::kPlainFieldReach), ',');
    double value = 0.0;
    const bool taken = vux::parse_detail::ParsePlainFieldAvx2(text.data(), length, &value);
    FUZZ_CHECK(taken == IsPlain(field), "the plain parse %s a field of %zu bytes it should %s",
               taken ? "took" : "left", length, taken ? "leave" : "take");
    if (!taken) return;
    const double expected = test_support::ReferenceParse(field).value;
    FUZZ_CHECK(SameBits(value, expected), "plain %.17g, expected %.17g", value, expected);
}

// The input as data rows, followed by empty rows, stored on both paths.
std::string StoreAsRows(std::string_view input, bool portable) {
    constexpr int kColumns = 8;
    constexpr int32_t kRows = 8;
    std::string text(input);
    text.append(300, '\n');
    std::vector<std::vector<double>> arrays(kColumns, std::vector<double>(kRows, -7.25));
    std::vector<double*> targets(kColumns);
    for (int c = 0; c < kColumns; ++c) targets[c] = c == 3 ? nullptr : arrays[c].data();
    vux::DataQuality quality;
    quality.fields.resize(kColumns + 1);
    std::vector<vux::ShortRow> shortRows;
    const vux::RowTargets rowTargets{targets.data(), kColumns - 1, targets.data(), kColumns - 1};
    const vux::RowChecks checks{kColumns, 1, quality, &shortRows, 0};
    vux::ForcePortableLineScan(portable);
    int32_t rows = 0;
    const char* const stop = vux::StoreRows(text.data(), text.data() + text.size(), rowTargets, checks, rows, kRows);
    vux::ForcePortableLineScan(false);

    std::string facts = std::to_string(rows) + " rows to " + std::to_string(stop - text.data()) + ", short " +
                        std::to_string(quality.shortRows) + " from " + std::to_string(quality.firstShortLine);
    for (const vux::ShortRow& s : shortRows) facts += " " + std::to_string(s.row) + ":" + std::to_string(s.fields);
    for (const vux::FieldFaults& f : quality.fields) {
        facts += " " + std::to_string(f.count) + "@" + std::to_string(f.firstLine) + "[" +
                 std::string(f.firstText.data(), f.firstLength) + (f.firstCut ? "]+" : "]");
    }
    for (const std::vector<double>& array : arrays) {
        for (double v : array) facts += " " + std::to_string(std::bit_cast<uint64_t>(v));
    }
    return facts;
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const test_support::ReferenceNumber expected = test_support::ReferenceParse({bytes, size});
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

#if defined(__x86_64__)
    if (HasVectorSteps()) {
        CheckPlainField({bytes, size});
        const std::string vector = StoreAsRows({bytes, size}, false);
        const std::string portable = StoreAsRows({bytes, size}, true);
        FUZZ_CHECK(vector == portable, "the rows were stored differently:\nvector:   %s\nportable: %s", vector.c_str(),
                   portable.c_str());
    }
#endif
    return 0;
}
