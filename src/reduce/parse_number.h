#pragma once
// The data-field number parser. Deliberately not strtod: it computes exactly
// the doubles of its digit-by-digit steps, bit for bit.

// Parses the leading number of `text`: blanks and tabs skipped, optional sign,
// digits, optional '.' and digits, optional e/E with optional sign and digits
// (exponent capped at 308). Stops at the first character that does not fit
// (a comma, CR, LF or NUL among them); never fails; no digits gives 0 (-0 for
// a lone '-'). `end` bounds the text when it is not NUL-terminated.
double ParseNumber(const char* text, const char* end);
inline double ParseNumber(const char* text) { return ParseNumber(text, nullptr); }
