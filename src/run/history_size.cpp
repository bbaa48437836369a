#include "run/history_size.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "core/error.h"
#include "output/mat_file.h"
#include "reduce/time_history.h"

namespace vux {
namespace {

// Whether a matrix of the history does not fit with `windowSize`; the first
// one and its bytes in `first` and `bytes` when given.
bool Oversized(const RunConfig& config, const std::vector<HistoryVector>& vectors, int32_t windowSize, uint64_t rows,
               HistoryShape* first = nullptr, double* bytes = nullptr) {
    const uint64_t windows = windowSize > 0 ? rows / static_cast<uint64_t>(windowSize) : 0;
    for (const HistoryShape& shape : HistoryShapes(vectors, config.settings.sampleFreq, windowSize, windows)) {
        const uint64_t valueBytes = shape.single ? 4 : 8;
        const double size = static_cast<double>(shape.rows) * static_cast<double>(shape.cols) * valueBytes;
        // Past 2^31 values the exact count is not needed (nor kept from overflowing).
        const bool fits = shape.rows <= INT32_MAX && shape.cols <= INT32_MAX && size < 0x1p31 &&
                          MatMatrixByteCount(shape.name.size(), shape.rows, shape.cols,
                                             shape.single ? MatClass::Single : MatClass::Double) <= kMatLargestMatrix;
        if (!fits) {
            if (first != nullptr) *first = shape;
            if (bytes != nullptr) *bytes = size;
            return true;
        }
    }
    return false;
}

}  // namespace

int32_t FittingWindowSize(const RunConfig& config, uint64_t rows) {
    const std::vector<HistoryVector> vectors = PlanHistoryVectors(config);
    const int64_t limit = static_cast<int64_t>(std::min<uint64_t>(rows, std::numeric_limits<int32_t>::max()));
    int64_t low = std::max(config.settings.windowSize, 1);  // taken not to fit
    int64_t high = low;
    for (;;) {
        if (high >= limit) return 0;
        high = std::min(2 * high, limit);
        if (!Oversized(config, vectors, static_cast<int32_t>(high), rows)) break;
        low = high;
    }
    // The matrices shrink as the window grows: the smallest fitting size between.
    while (high - low > 1) {
        const int64_t middle = low + (high - low) / 2;
        if (Oversized(config, vectors, static_cast<int32_t>(middle), rows)) low = middle; else high = middle;
    }
    return static_cast<int32_t>(high);
}

void CheckHistorySize(const RunConfig& config, uint64_t rows, const std::string& companionPath) {
    HistoryShape first;
    double bytes = 0.0;
    if (!Oversized(config, PlanHistoryVectors(config), config.settings.windowSize, rows, &first, &bytes)) return;
    Error error;
    error.kind = ErrorKind::HistoryTooLarge;
    error.path = companionPath;
    error.name = first.name;
    error.needed = bytes;
    error.number = FittingWindowSize(config, rows);
    Fail(std::move(error));
}
}  // namespace vux
