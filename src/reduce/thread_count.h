#pragma once
// How many threads read one data file.

#include <cstdint>

namespace vux {
// How many threads the reduction of one file uses: the CPUs this process may
// run on (its affinity), unless `override` (the VUX_THREADS text, may be
// null) is a whole number from 1 to kMaxThreads. `overrideIgnored` is set
// when `override` is given but is not such a number.
struct ThreadChoice {
    int32_t threads = 1;
    bool overrideIgnored = false;
};
inline constexpr int32_t kMaxThreads = 256;
ThreadChoice ChooseThreads(const char* override);  // one sched_getaffinity call
}  // namespace vux
