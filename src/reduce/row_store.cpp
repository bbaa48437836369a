#include "reduce/row_store.h"

#include <algorithm>
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

}  // namespace

const char* StoreRows(const char* p, const char* stop, const RowTargets& targets, const RowChecks& checks,
                      int32_t& rows, int32_t windowSize) {
    FieldFaults* const faults = checks.quality.fields.data();
    int32_t l = rows;
    while (l < windowSize && p < stop) {
        double* const* target = l == 0 ? targets.first : targets.later;
        const int last = l == 0 ? targets.firstLast : targets.laterLast;
        const size_t index = static_cast<size_t>(l);
        const uint64_t line = checks.lineOfRowZero + index;
        for (int c = 0;; ++c) {
            if (c > last) {
                p = SkipRestOfRow(p, stop, c, checks, l);
                break;
            }
            if (double* column = target[c]) {
                const char* const start = p;
                const char* after;
                const double value = parse_detail::Parse<false>(p, nullptr, &after);
                column[index] = value;
                p = after;
                // The common case lands on the ',' or the line end with a
                // value other than 0; anything else takes the rare path.
                if ((*p != ',' && *p != '\n') || value == 0.0) {
                    if (*p == '\r' && p[1] == '\n' && value != 0.0) {
                        ++p;
                    } else {
                        p = CheckField(start, p, faults[c], line);
                    }
                }
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
                if (c < checks.lastColumn) CountShortRow(checks, l, c + 1);
                break;
            }
            ++p;
        }
        ++p;  // past the LF
        ++l;
    }
    rows = l;
    return p;
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
