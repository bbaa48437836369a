#include "reduce/byte_count.h"

namespace vux {

std::string FormatByteCount(uint64_t bytes) {
    double value = static_cast<double>(bytes);
    const char* unit = "B  ";
    if (bytes >= 1000000000u) {
        value = value / 1073741824.0;
        unit = "GiB";
    } else if (bytes >= 1000000u) {
        value = value / 1048576.0;
        unit = "MiB";
    } else if (bytes >= 10000u) {
        value = value / 1024.0;
        unit = "KiB";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.3f %s", value, unit);
    return text;
}

void PrintByteCount(uint64_t bytes) { std::fputs(FormatByteCount(bytes).c_str(), stdout); }

}  // namespace vux
