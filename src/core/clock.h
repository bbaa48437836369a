#pragma once
// Elapsed wall time from a monotonic clock, for every "took", "elapsed" and
// "processing time" figure of a run.

#include <chrono>

namespace vux {
using RunClock = std::chrono::steady_clock;

// Seconds from `start` to now, as a double.
inline double SecondsSince(RunClock::time_point start) {
    return std::chrono::duration<double>(RunClock::now() - start).count();
}
}  // namespace vux
