#include "reduce/parse_number.h"

#include "reduce/parse_number_steps.h"

namespace vux {
using parse_detail::Parse;

double ParseNumber(const char* text, const char* end) {
    const char* stop;
    if (end == nullptr) return Parse<false>(text, nullptr, &stop);
    return Parse<true>(text, end, &stop);
}

double ParseNumberPrefix(const char* text, const char** stop) { return Parse<false>(text, nullptr, stop); }
}  // namespace vux
