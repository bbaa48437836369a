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
#include "support/parse_number.h"
#include "support/reference_number.h"

using test_support::ParseNumber;
using test_support::ParseNumberPrefix;

namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

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
    return 0;
}
