#pragma once
// The number parser as tests, fuzz targets and benchmarks call it on a
// text of their own: the tool itself parses only in its row loop.

#include "reduce/parse_number_steps.h"

namespace test_support {

// The leading number of `text`; `end` bounds the text when it is not
// NUL-terminated (null: it is).
inline double ParseNumber(const char* text, const char* end) {
    const char* stop;
    if (end == nullptr) return vux::parse_detail::Parse<false>(text, nullptr, &stop);
    return vux::parse_detail::Parse<true>(text, end, &stop);
}
inline double ParseNumber(const char* text) { return ParseNumber(text, nullptr); }

// The same parse as the row loop makes it: `text` must be followed,
// somewhere, by a character that no number contains. Sets `*stop` to the
// first character not taken into the number.
inline double ParseNumberPrefix(const char* text, const char** stop) {
    return vux::parse_detail::Parse<false>(text, nullptr, stop);
}

}  // namespace test_support
