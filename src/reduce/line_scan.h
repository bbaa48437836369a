#pragma once
// Searches for line ends in the data file's bytes, with AVX2 where the
// processor has it and a portable path otherwise. Both give the same answers;
// the choice is made once, at the first call.

#include <cstddef>

namespace vux {
// Counts the LF bytes of [text, text + length) from its start until `wanted`
// of them are found. Sets `*found` to the number counted (at most `wanted`)
// and returns the offset just past the last LF counted, 0 when none was.
// Reads nothing outside the range; about 32 bytes per step with AVX2.
size_t SkipLineEnds(const char* text, size_t length, size_t wanted, size_t* found);

// Goes past `count` (at least 1) fields from `text`, the start of a field:
// returns where the count-th field ends (its ',' or LF), or the LF of the
// line end when that comes first. [text, stop) must hold an LF; nothing at or
// past `stop` is read. Costs about one step per 32 bytes with AVX2.
const char* SkipFields(const char* text, const char* stop, int count);

// True when SkipLineEnds and SkipFields use the AVX2 path: the processor has AVX2, the
// environment variable VUX_NO_AVX2 was unset at the first call, and no test
// forced the portable path.
bool LineScanUsesAvx2();

// Test hook: forces the portable paths (true) or restores the choice made at
// the first call (false). Not meant to be called while rows are being read.
void ForcePortableLineScan(bool portable);
}  // namespace vux
