#include "reduce/row_store.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "reduce/line_scan.h"
#include "reduce/parse_number_steps.h"

namespace vux {
namespace {

// True when the number parser reads a digit from `text` before any exponent:
// blanks and tabs, an optional sign, then a digit, or a '.' and a digit.
bool HasLeadingDigit(const char* text) {
    while (*text == ' ' || *text == '\t') ++text;
    if (*text == '-' || *text == '+') ++text;
    if (*text == '.') ++text;
    return static_cast<unsigned>(static_cast<unsigned char>(*text) - '0') < 10;
}

// The rare path of a stored field: its parse stopped short of the field's
// end, or gave 0. Counts the field when it is not wholly a number. `start`
// is the field's first byte and `stop` where the parser stopped; returns the
// field's end, its ',' or the LF of the line end.
[[gnu::noinline, gnu::cold]] const char* CheckField(const char* start, const char* stop, FieldFaults& faults,
                                                    uint64_t line) {
    const char* end = stop;
    while (*end != ',' && *end != '\n') ++end;
    const char* textEnd = end;  // a CR directly before the LF belongs to the line end
    if (*end == '\n' && textEnd > start && textEnd[-1] == '\r') --textEnd;
    if (stop == textEnd && HasLeadingDigit(start)) return end;
    if (faults.count++ == 0) {
        const size_t length = static_cast<size_t>(textEnd - start);
        faults.firstLine = line;
        faults.firstLength = static_cast<uint32_t>(std::min(length, kKeptFieldBytes));
        faults.firstCut = length > kKeptFieldBytes;
        std::memcpy(faults.firstText.data(), start, faults.firstLength);
    }
    return end;
}

// Row `row` ended after `fields` fields, fewer than the configured columns.
[[gnu::noinline, gnu::cold]] void CountShortRow(const RowChecks& checks, int32_t row, int fields) {
    const uint64_t line = checks.lineOfRowZero + static_cast<uint64_t>(row);
    if (checks.quality.shortRows++ == 0) checks.quality.firstShortLine = line;
    if (checks.shortRows != nullptr) checks.shortRows->push_back(ShortRow{checks.window, row, fields});
}

// Goes past the fields of a row that no column stores, from `p` (the start of
// field c) to the row's LF, counting the row as short when it ends before
// the last configured column.
const char* SkipRestOfRow(const char* p, const char* stop, int c, const RowChecks& checks, int32_t row) {
    for (; c < checks.lastColumn; ++c) {
        while (*p != ',' && *p != '\n') ++p;
        if (*p == '\n') {
            CountShortRow(checks, row, c + 1);
            return p;
        }
        ++p;
    }
    return static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(stop - p)));
}

// One stored field from `start`, parsed into `*column`: returns where it
// ends, its ',' or the LF of the line end. Counts the field when it is not
// wholly a number.
[[gnu::always_inline]] inline const char* StoreField(const char* start, double* column, FieldFaults& faults,
                                                     uint64_t line) {
    const char* after;
    const double value = parse_detail::Parse<false>(start, nullptr, &after);
    *column = value;
    // The usual case lands on the ',' or the line end with a value other
    // than 0; anything else takes the rare path.
    if ((*after != ',' && *after != '\n') || value == 0.0) {
        if (*after == '\r' && after[1] == '\n' && value != 0.0) return after + 1;
        return CheckField(start, after, faults, line);
    }
    return after;
}

// Stores row `row` field after field from `p`, the start of field `first`;
// returns its LF.
[[gnu::always_inline]] inline const char* StoreRowByFields(const char* p, const char* stop, double* const* target,
                                                           int last, const RowChecks& checks, int32_t row,
                                                           int first = 0) {
    FieldFaults* const faults = checks.quality.fields.data();
    const size_t index = static_cast<size_t>(row);
    const uint64_t line = checks.lineOfRowZero + index;
    for (int c = first;; ++c) {
        if (c > last) return SkipRestOfRow(p, stop, c, checks, row);
        if (double* column = target[c]) {
            p = StoreField(p, column + index, faults[c], line);
        } else {
            // A run of fields that no column stores (once-per-window
            // columns after row 0) is gone past in one search.
            int run = 1;
            while (c + run <= last && target[c + run] == nullptr) ++run;
            if (run == 1) {
                while (*p != ',' && *p != '\n') ++p;
            } else {
                const char* const from = p;
                p = SkipFields(p, stop, run);
                if (*p == '\n') {
                    c += static_cast<int>(std::count(from, p, ','));  // the field the line end closed
                } else {
                    c += run - 1;
                }
            }
        }
        if (*p == '\n') {
            if (c < checks.lastColumn) CountShortRow(checks, row, c + 1);
            return p;
        }
        ++p;
    }
}

const char* StoreRowsPortable(const char* p, const char* stop, const RowTargets& targets, const RowChecks& checks,
                              int32_t& rows, int32_t windowSize) {
    int32_t l = rows;
    while (l < windowSize && p < stop) {
        const bool first = l == 0;
        p = StoreRowByFields(p, stop, first ? targets.first : targets.later,
                             first ? targets.firstLast : targets.laterLast, checks, l);
        ++p;  // past the LF
        ++l;
    }
    rows = l;
    return p;
}

#if defined(__x86_64__)
// Where the fields of one row end, found before any is parsed, so that each
// field's parse depends on nothing of the one before it: bit k of
// ends[k / 64] stands for byte k of the row, set for each ',' before the
// line end and for the line end: its LF, or the CR directly before it.
constexpr size_t kMappedRowBytes = 256;  // a longer row is stored field by field
constexpr size_t kRowMapWords = kMappedRowBytes / 64;

struct RowMap {
    uint64_t ends[kRowMapWords];
    size_t lineEnd;  // offset of the LF
    int fields;      // the fields of the row
};

// Maps the row at `p`, reading kMappedRowBytes from it at most. False when
// they hold no LF.
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline bool MapRowAvx2(const char* p, RowMap& map) {
    const __m256i comma = _mm256_set1_epi8(',');
    const __m256i lineFeed = _mm256_set1_epi8('\n');
    int fields = 0;
    for (size_t w = 0; w < kRowMapWords; ++w) {
        uint64_t ends = 0;
        uint64_t lineEnds = 0;
        for (size_t half = 0; half < 2; ++half) {
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 64 * w + 32 * half));
            const __m256i lf = _mm256_cmpeq_epi8(bytes, lineFeed);
            const __m256i fieldEnds = _mm256_or_si256(_mm256_cmpeq_epi8(bytes, comma), lf);
            const unsigned shift = 32 * static_cast<unsigned>(half);
            lineEnds |= uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(lf))} << shift;
            ends |= uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(fieldEnds))} << shift;
        }
        if (lineEnds != 0) {
            ends &= lineEnds ^ (lineEnds - 1);  // up to the first LF
            map.ends[w] = ends;
            const size_t lineEnd = 64 * w + static_cast<size_t>(std::countr_zero(lineEnds));
            map.lineEnd = lineEnd;
            map.fields = fields + std::popcount(ends);
            if (lineEnd > 0 && p[lineEnd - 1] == '\r') {
                // The last field ends at the CR: its bit moves there.
                map.ends[w] &= ~(uint64_t{1} << (lineEnd % 64));
                map.ends[(lineEnd - 1) / 64] |= uint64_t{1} << ((lineEnd - 1) % 64);
            }
            return true;
        }
        map.ends[w] = ends;
        fields += std::popcount(ends);
    }
    return false;
}

// Stores the fields of the mapped row `row` at `p`; returns its LF. Plain
// fields take the plain parse; from the first other field on, the row is
// stored field by field.
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline const char* StoreMappedRowAvx2(
    const char* p, const char* stop, const RowMap& map, double* const* target, int last, const RowChecks& checks,
    int32_t row) {
    const size_t index = static_cast<size_t>(row);
    const int stored = std::min(last + 1, map.fields);
    const char* start = p;
    const char* word = p;
    const uint64_t* ends = map.ends;
    uint64_t bits = *ends;
    for (int c = 0; c < stored; ++c) {
        while (bits == 0) {
            bits = *++ends;
            word += 64;
        }
        const char* const end = word + std::countr_zero(bits);
        bits &= bits - 1;
        if (double* column = target[c]) {
            if (!parse_detail::ParsePlainFieldAvx2(start, static_cast<size_t>(end - start), column + index)) {
                return StoreRowByFields(start, stop, target, last, checks, row, c);
            }
        }
        start = end + 1;
    }
    if (map.fields <= checks.lastColumn) CountShortRow(checks, row, map.fields);
    return p + map.lineEnd;
}

// A mapped row's fields are read from anywhere up to its LF.
constexpr size_t kMappedRowReach = kMappedRowBytes + parse_detail::kPlainFieldReach;

[[gnu::target("avx2,bmi,bmi2")]] const char* StoreRowsAvx2(const char* p, const char* stop, const RowTargets& targets,
                                                           const RowChecks& checks, int32_t& rows,
                                                           int32_t windowSize) {
    int32_t l = rows;
    RowMap map;
    while (l < windowSize && p < stop) {
        const bool first = l == 0;
        double* const* target = first ? targets.first : targets.later;
        const int last = first ? targets.firstLast : targets.laterLast;
        if (stop - p >= static_cast<std::ptrdiff_t>(kMappedRowReach) && MapRowAvx2(p, map)) {
            p = StoreMappedRowAvx2(p, stop, map, target, last, checks, l);
        } else {
            p = StoreRowByFields(p, stop, target, last, checks, l);
        }
        ++p;  // past the LF
        ++l;
    }
    rows = l;
    return p;
}
#endif

}  // namespace

const char* StoreRows(const char* p, const char* stop, const RowTargets& targets, const RowChecks& checks,
                      int32_t& rows, int32_t windowSize) {
#if defined(__x86_64__)
    // The vector path also uses BMI1 and BMI2, which every processor with
    // AVX2 known today has.
    static const bool bmi = __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    if (bmi && LineScanUsesAvx2()) return StoreRowsAvx2(p, stop, targets, checks, rows, windowSize);
#endif
    return StoreRowsPortable(p, stop, targets, checks, rows, windowSize);
}

void AddQuality(DataQuality& into, const DataQuality& part) {
    into.rows += part.rows;
    if (part.shortRows > 0) {
        if (into.shortRows == 0 || part.firstShortLine < into.firstShortLine) into.firstShortLine = part.firstShortLine;
        into.shortRows += part.shortRows;
    }
    if (part.overlongLines > 0) {
        if (into.overlongLines == 0 || part.firstOverlongLine < into.firstOverlongLine) {
            into.firstOverlongLine = part.firstOverlongLine;
        }
        into.overlongLines += part.overlongLines;
    }
    if (into.fields.size() < part.fields.size()) into.fields.resize(part.fields.size());
    for (size_t c = 0; c < part.fields.size(); ++c) {
        const FieldFaults& from = part.fields[c];
        FieldFaults& to = into.fields[c];
        if (from.count == 0) continue;
        const uint64_t count = to.count + from.count;
        if (to.count == 0 || from.firstLine < to.firstLine) to = from;
        to.count = count;
    }
}
}  // namespace vux
