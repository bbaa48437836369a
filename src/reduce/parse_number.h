#pragma once
// The data-field number parser. Deliberately not strtod: it computes exactly
// the doubles of its digit-by-digit steps, bit for bit:
//   value = value * 10 + digit        for each integer digit (from 0.0)
//   value += digit / d                for each fraction digit, d = 10, 100, ...
//                                     (d multiplied by 10 after each digit)
//   scale = 1e50^a * 1e8^b * 10^c     for the exponent E = 50a + 8b + c
//   result = (value * scale) * sign   or (value / scale) * sign for E < 0

namespace vux {
// Parses the leading number of `text`: blanks and tabs skipped, optional sign,
// digits, optional '.' and digits, optional e/E with optional sign and digits
// (exponent capped at 308). Stops at the first character that does not fit
// (a comma, CR, LF or NUL among them); never fails; no digits gives 0 (-0 for
// a lone '-'). `end` bounds the text when it is not NUL-terminated.
double ParseNumber(const char* text, const char* end);
inline double ParseNumber(const char* text) { return ParseNumber(text, nullptr); }

// The same parse for the row reader: `text` must be followed, somewhere, by a
// character that no number contains (LF, comma, NUL...), so no bound is
// checked. Sets `*stop` to the first character not taken into the number.
double ParseNumberPrefix(const char* text, const char** stop);
}  // namespace vux
