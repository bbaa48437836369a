#pragma once
// Storing data rows into a window's arrays: the inner loop of the window
// feed, which parses pieces of the file on several threads.

#include <cstdint>
#include <vector>

#include "core/model.h"

namespace vux {
// Where the fields of one window's rows go: field c of row l is stored at
// first[c][0] for row 0 and later[c][l] for the others (null = skipped).
// `...Last` is the highest column with a target, -1 when there is none.
struct RowTargets {
    double* const* first;
    int firstLast;
    double* const* later;
    int laterLast;
};

// A row with fewer fields than configured columns: it left the entries of
// columns `fields` and above at index `row` as they were.
struct ShortRow {
    int64_t window = 0;
    int32_t row = 0;
    int32_t fields = 0;
};

// What the row loop checks the rows against, and where it counts.
struct RowChecks {
    int lastColumn;          // the last configured column, -1 when there is none
    uint64_t lineOfRowZero;  // line number of the window's row 0
    DataQuality& quality;    // counts of this piece of the file
    std::vector<ShortRow>* shortRows;  // when not null, every short row is listed here
    int64_t window;                    // the window the rows belong to
};

// Stores the rows of [p, stop), which ends with an LF, into `targets` from
// row `rows` on until `windowSize` rows are in the window, and advances
// `rows`. Returns where it stopped (a row start). Allocates nothing but the
// short-row list's growth.
const char* StoreRows(const char* p, const char* stop, const RowTargets& targets, const RowChecks& checks,
                      int32_t& rows, int32_t windowSize);

// Adds the counts of `part` (a later or earlier piece of the same file) to
// `into`: the first occurrences are the ones on the lowest line, so pieces
// may be added in any order. meanStep and steppedRows are left as they are.
void AddQuality(DataQuality& into, const DataQuality& part);
}  // namespace vux
