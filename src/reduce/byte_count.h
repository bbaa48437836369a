#pragma once
// Human-readable byte counts for every size report of a run.

#include <cstdint>
#include <cstdio>
#include <string>

namespace vux {

// "%.3f %s": below 10,000 as bytes ("B  "), below 1,000,000 in KiB, below
// 1,000,000,000 in MiB, otherwise in GiB (decimal thresholds, binary divisors).
std::string FormatByteCount(uint64_t bytes);

// Prints FormatByteCount(bytes) to standard output, without a line end.
void PrintByteCount(uint64_t bytes);

}  // namespace vux
