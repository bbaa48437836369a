#include "reduce/window_loops.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "reduce/vector_clones.h"

namespace vux {
namespace {

// An extreme and the first sample holding it; -1: the one before the window.
struct Extreme {
    double value;
    int64_t index;
};

// The extremes' loop in sample order over samples first .. count-1.
void TrackInOrder(Extreme& hi, Extreme& lo, const double* x, size_t first, size_t count) {
    for (size_t i = first; i < count; ++i) {
        if (x[i] > hi.value) hi = {x[i], static_cast<int64_t>(i)};
        if (x[i] < lo.value) lo = {x[i], static_cast<int64_t>(i)};
    }
}

#if defined(__x86_64__)
// With AVX2, the extremes' loop keeps one running extreme per lane, lane j
// seeing samples j, j + kLanes, ... Built for AVX2 alone and chosen at run
// time: GCC's portable build of these vector selections goes through memory
// lane by lane, and other processors run the loop in order.
constexpr size_t kLanes = 4;
typedef double Lanes __attribute__((vector_size(kLanes * sizeof(double))));
typedef int64_t LaneIndices __attribute__((vector_size(kLanes * sizeof(int64_t))));

// What the loop in order finds from each lane's extreme: the value no other
// lane goes `beyond`, and among equal (==) values the first sample. Each
// lane's index is the first of its samples holding its value, or -1 when no
// sample went beyond the incoming extreme; so -1 wins exactly when the
// incoming extreme stays.
template <class Beyond>
Extreme CombineLanes(const Lanes& values, const LaneIndices& indices, Beyond beyond) {
    Extreme best{values[0], indices[0]};
    for (size_t j = 1; j < kLanes; ++j) {
        if (beyond(values[j], best.value) || (values[j] == best.value && indices[j] < best.index)) {
            best = {values[j], indices[j]};
        }
    }
    return best;
}

// The extremes over the whole groups of kLanes samples; returns how many
// samples that is.
[[gnu::target("avx2")]] size_t TrackInLanes(Extreme& hi, Extreme& lo, const double* x, size_t count) {
    const size_t laneCount = count - count % kLanes;
    if (laneCount == 0) return 0;
    Lanes hiValues;
    Lanes loValues;
    LaneIndices hiIndices;
    LaneIndices loIndices;
    LaneIndices indices;
    for (size_t j = 0; j < kLanes; ++j) {
        hiValues[j] = hi.value;
        loValues[j] = lo.value;
        hiIndices[j] = -1;
        loIndices[j] = -1;
        indices[j] = static_cast<int64_t>(j);
    }
    for (size_t i = 0; i < laneCount; i += kLanes) {
        Lanes v;
        std::memcpy(&v, x + i, sizeof v);
        const LaneIndices above = v > hiValues;
        hiValues = above ? v : hiValues;
        hiIndices = above ? indices : hiIndices;
        const LaneIndices below = v < loValues;
        loValues = below ? v : loValues;
        loIndices = below ? indices : loIndices;
        indices += static_cast<int64_t>(kLanes);
    }
    hi = CombineLanes(hiValues, hiIndices, std::greater<>());
    lo = CombineLanes(loValues, loIndices, std::less<>());
    return laneCount;
}
#endif

// Sums three columns side by side (see WindowMeans); built for AVX2 and for
// any processor.
VUX_VECTOR_CLONES void MeansOfThree(const double* a, const double* b, const double* c, int32_t n, double* means) {
    const double dn = static_cast<double>(n);
    double ma = 0.0;
    double mb = 0.0;
    double mc = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        ma = a[i] / dn + ma;
        mb = b[i] / dn + mb;
        mc = c[i] / dn + mc;
    }
    means[0] = ma;
    means[1] = mb;
    means[2] = mc;
}

}  // namespace

void TrackExtremes(ColumnStats& stats, const double* x, size_t count, const double* stamps, size_t stamped) {
    Extreme hi{stats.max, -1};
    Extreme lo{stats.min, -1};
    size_t done = 0;
#if defined(__x86_64__)
    static const bool lanes = __builtin_cpu_supports("avx2");
    if (lanes) done = TrackInLanes(hi, lo, x, count);
#endif
    TrackInOrder(hi, lo, x, done, count);
    const auto timeOf = [&](int64_t i) { return static_cast<size_t>(i) < stamped ? stamps[i] : 0.0; };
    if (hi.index >= 0) {
        stats.max = hi.value;
        stats.timeOfMax = timeOf(hi.index);
    }
    if (lo.index >= 0) {
        stats.min = lo.value;
        stats.timeOfMin = timeOf(lo.index);
    }
}

void WindowMeans(const double* const* columns, size_t count, int32_t n, double* means) {
    for (size_t k = 0; k < count; k += 3) {
        // A last group of one or two sums its last column again, unused.
        const size_t last = count - 1;
        double three[3];
        MeansOfThree(columns[k], columns[std::min(k + 1, last)], columns[std::min(k + 2, last)], n, three);
        std::copy(three, three + std::min<size_t>(3, count - k), means + k);
    }
}

VUX_VECTOR_CLONES void RemoveMeanAndDivide(double* x, size_t count, double mean, double divisor) {
    for (size_t i = 0; i < count; ++i) x[i] = (x[i] - mean) / divisor;
}


}  // namespace vux
