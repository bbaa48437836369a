#include "reduce/line_scan.h"

#include <immintrin.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace vux {
namespace {

// Eight bytes at a time: a byte equal to LF becomes a set high bit, exactly
// (no carry between bytes), so the set bits can be counted.
size_t SkipLineEndsPortable(const char* text, size_t length, size_t wanted, size_t* found) {
    constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
    constexpr uint64_t kLineEnds = 0x0a0a0a0a0a0a0a0aULL;
    size_t count = 0;
    size_t past = 0;
    size_t i = 0;
    while (i + 8 <= length && count < wanted) {
        uint64_t word;
        std::memcpy(&word, text + i, 8);
        const uint64_t x = word ^ kLineEnds;
        uint64_t hits = ~(((x & kLow7) + kLow7) | x | kLow7);
        const size_t n = static_cast<size_t>(__builtin_popcountll(hits));
        if (count + n < wanted) {
            if (n > 0) past = i + 8 - static_cast<size_t>(__builtin_clzll(hits)) / 8;
            count += n;
        } else {
            // Little-endian: byte k of the word is bits 8k .. 8k + 7.
            for (;;) {
                const size_t byte = static_cast<size_t>(__builtin_ctzll(hits)) / 8;
                if (++count == wanted) {
                    past = i + byte + 1;
                    break;
                }
                hits &= hits - 1;
            }
        }
        i += 8;
    }
    for (; i < length && count < wanted; ++i) {
        if (text[i] == '\n') {
            ++count;
            past = i + 1;
        }
    }
    *found = count;
    return past;
}

__attribute__((target("avx2,popcnt"))) size_t SkipLineEndsAvx2(const char* text, size_t length, size_t wanted,
                                                              size_t* found) {
    const __m256i lineEnd = _mm256_set1_epi8('\n');
    if (wanted == 0) {
        *found = 0;
        return 0;
    }
    size_t count = 0;
    size_t i = 0;
    // The last 64 bytes with an LF among those counted, and their LFs: where
    // the last LF counted stands is worked out once, at the end. No branch
    // depends on where the LFs fall but the one that finds the wanted LF.
    size_t lastHitsAt = 0;
    uint64_t lastHits = 0;
    while (i + 64 <= length) {
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i + 32));
        uint64_t hits = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, lineEnd))) |
                        uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, lineEnd)))} << 32;
        const size_t n = static_cast<size_t>(__builtin_popcountll(hits));
        if (count + n >= wanted) {
            // The wanted LF is among these.
            for (size_t k = wanted - count; k > 1; --k) hits &= hits - 1;
            *found = wanted;
            return i + static_cast<size_t>(__builtin_ctzll(hits)) + 1;
        }
        count += n;
        lastHitsAt = hits != 0 ? i : lastHitsAt;
        lastHits = hits != 0 ? hits : lastHits;
        i += 64;
    }
    size_t past = lastHits != 0 ? lastHitsAt + 64 - static_cast<size_t>(__builtin_clzll(lastHits)) : 0;
    if (count < wanted && i < length) {
        size_t more = 0;
        const size_t tail = SkipLineEndsPortable(text + i, length - i, wanted - count, &more);
        if (more > 0) past = i + tail;
        count += more;
    }
    *found = count;
    return past;
}

const char* SkipFieldsPortable(const char* p, int count) {
    for (;;) {
        while (*p != ',' && *p != '\n') ++p;
        if (*p == '\n' || --count == 0) return p;
        ++p;
    }
}

__attribute__((target("avx2"))) const char* SkipFieldsAvx2(const char* p, const char* stop, int count) {
    const __m256i comma = _mm256_set1_epi8(',');
    const __m256i lineEnd = _mm256_set1_epi8('\n');
    while (stop - p >= 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i lf = _mm256_cmpeq_epi8(bytes, lineEnd);
        uint32_t ends = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(bytes, comma), lf)));
        const uint32_t lines = static_cast<uint32_t>(_mm256_movemask_epi8(lf));
        const int n = __builtin_popcount(ends);
        if (n >= count) {
            // Drop the first count - 1 field ends; the lowest left is the one.
            for (int k = 1; k < count; ++k) ends &= ends - 1;
            const uint32_t at = static_cast<uint32_t>(__builtin_ctz(ends));
            const uint32_t line = lines != 0 ? static_cast<uint32_t>(__builtin_ctz(lines)) : 32;
            return p + (line < at ? line : at);
        }
        if (lines != 0) return p + __builtin_ctz(lines);
        count -= n;
        p += 32;
    }
    return SkipFieldsPortable(p, count);
}

bool ChooseAvx2() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") && std::getenv("VUX_NO_AVX2") == nullptr;
}

std::atomic<bool> forcedPortable{false};

bool Avx2Chosen() {
    static const bool chosen = ChooseAvx2();
    return chosen;
}

}  // namespace

size_t SkipLineEnds(const char* text, size_t length, size_t wanted, size_t* found) {
    if (LineScanUsesAvx2()) return SkipLineEndsAvx2(text, length, wanted, found);
    return SkipLineEndsPortable(text, length, wanted, found);
}

const char* SkipFields(const char* text, const char* stop, int count) {
    if (LineScanUsesAvx2()) return SkipFieldsAvx2(text, stop, count);
    return SkipFieldsPortable(text, count);
}

bool LineScanUsesAvx2() { return Avx2Chosen() && !forcedPortable.load(std::memory_order_relaxed); }

void ForcePortableLineScan(bool portable) { forcedPortable.store(portable, std::memory_order_relaxed); }
}  // namespace vux
