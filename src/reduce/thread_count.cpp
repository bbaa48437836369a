#include "reduce/thread_count.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>

namespace vux {
namespace {

int32_t AvailableCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return std::min<int32_t>(count, kMaxThreads);
    }
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int32_t>(std::min<long>(online, kMaxThreads)) : 1;
}

}  // namespace

ThreadChoice ChooseThreads(const char* override) {
    ThreadChoice choice;
    choice.threads = AvailableCpus();
    if (override == nullptr || *override == '\0') return choice;
    int64_t value = 0;
    for (const char* p = override; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || value > kMaxThreads) {
            choice.overrideIgnored = true;
            return choice;
        }
        value = value * 10 + (*p - '0');
    }
    if (value < 1 || value > kMaxThreads) {
        choice.overrideIgnored = true;
        return choice;
    }
    choice.threads = static_cast<int32_t>(value);
    return choice;
}
}  // namespace vux
