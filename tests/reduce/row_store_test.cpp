#include "reduce/row_store.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "reduce/line_scan.h"

using namespace vux;

namespace {

// Columns of the rows below: 0 every sample, 1 once per window (row 0
// only), 2 not stored, 3 to 5 every sample; a seventh configured column that
// no target reaches, so that rows of fewer than 7 fields are short.
constexpr int kColumns = 6;
constexpr int kLastColumn = 6;
constexpr int32_t kRows = 64;

// What StoreRows left: the stored bits, where it stopped, and its counts.
struct Stored {
    std::vector<std::vector<uint64_t>> bits;
    std::ptrdiff_t stop = 0;
    int32_t rows = 0;
    std::string facts;

    bool operator==(const Stored&) const = default;
};

std::string Describe(const DataQuality& q, const std::vector<ShortRow>& shortRows) {
    std::string text = "short " + std::to_string(q.shortRows) + " from line " + std::to_string(q.firstShortLine);
    for (const ShortRow& s : shortRows) text += " (" + std::to_string(s.row) + ":" + std::to_string(s.fields) + ")";
    for (size_t c = 0; c < q.fields.size(); ++c) {
        const FieldFaults& f = q.fields[c];
        if (f.count == 0) continue;
        text += "; C";  // piece by piece: GCC 12 warns falsely (-Wrestrict) on "literal" + temporary string
        text += std::to_string(c) + ": " + std::to_string(f.count) + " from line " + std::to_string(f.firstLine) +
                " [" + std::string(f.firstText.data(), f.firstLength) + (f.firstCut ? "]..." : "]");
    }
    return text;
}

// Stores the rows of `text` (which ends with an LF) on the vector path or
// the portable one. Every array starts filled with a marker value, so that
// a store, and its absence, shows.
Stored StoreAll(const std::string& text, bool portable) {
    std::vector<std::vector<double>> arrays(kColumns, std::vector<double>(kRows, -7.25));
    std::vector<double*> first(kColumns), later(kColumns, nullptr);
    for (int c = 0; c < kColumns; ++c) {
        first[c] = c == 2 ? nullptr : arrays[static_cast<size_t>(c)].data();
        if (c != 1 && c != 2) later[c] = arrays[static_cast<size_t>(c)].data();
    }
    const RowTargets targets{first.data(), kColumns - 1, later.data(), kColumns - 1};
    DataQuality quality;
    quality.fields.resize(kLastColumn + 1);
    std::vector<ShortRow> shortRows;
    const RowChecks checks{kLastColumn, 10, quality, &shortRows, 3};

    ForcePortableLineScan(portable);
    Stored stored;
    const char* p = text.data();
    const char* const stop = text.data() + text.size();
    while (p < stop && stored.rows < kRows) p = StoreRows(p, stop, targets, checks, stored.rows, kRows);
    ForcePortableLineScan(false);

    stored.stop = p - text.data();
    for (const std::vector<double>& array : arrays) {
        stored.bits.emplace_back();
        for (double v : array) stored.bits.back().push_back(std::bit_cast<uint64_t>(v));
    }
    stored.facts = Describe(quality, shortRows);
    return stored;
}

// The rows, then enough empty rows after them that every row of the table
// is stored on the vector path (which wants a few hundred bytes after a
// row's start); all are stored once on each path.
void ExpectBothPathsAlike(const std::vector<std::string>& rows) {
    std::string text;
    for (const std::string& row : rows) text += row;
    text.append(400, '\n');
    const Stored vector = StoreAll(text, false);
    const Stored portable = StoreAll(text, true);
    EXPECT_EQ(vector.facts, portable.facts);
    EXPECT_EQ(vector.stop, portable.stop);
    EXPECT_EQ(vector.rows, portable.rows);
    for (size_t c = 0; c < vector.bits.size(); ++c) {
        for (size_t l = 0; l < vector.bits[c].size(); ++l) {
            EXPECT_EQ(vector.bits[c][l], portable.bits[c][l]) << "column " << c << ", row " << l;
        }
    }
}

// Each row alone (as row 0, with its once-per-window field, and as row 1),
// then all of them in a row: plain fields, fields the plain parse leaves to
// the field-by-field path, short and long rows, line ends of every kind.
TEST(StoreRows, VectorPathStoresWhatThePortablePathStores) {
    const std::vector<std::string> rows = {
        "0.00000,1792.8289,-1457.9470,100.9481,+14.387578,-13.470643,+12.603436\r\n",
        "0.00010,1792.8063,-1458.0145,100.8996,+14.309422,-13.525921,+12.683137\n",
        "1,2,3\n",
        "1,2,3,4,5,6\r\n",
        ",,,,,,\n",
        ",,,,,,\r\n",
        "\n",
        "\r\n",
        "-,+,.,-.,+.,5.,.5\n",
        "-0,-0.0,+0,0,00,000.000,-.0\r\n",
        "1e5,2E-3,1.5e+2,3e,4E-,5e308,6e999\n",
        " 1,\t2, 3 ,4 , 5\t,6\n",
        "1.2.3,4..5,--6,+-7,-+8,9-,1+\n",
        "123456789012345,1234567890123456,12345678901234567,9007199254740993,0.12345678,0.123456789,1.000000001\n",
        "-1234567.1234567,+123456.12345678,12345678.12345678,999999999999999.,.00000001,-0.000000001,7\r\n",
        "1\r2,3\r\n",
        "1,2\r,3\r\r\n",
        "x,abc,N/A,0x1F,inf,nan,1,2\n",
        std::string("1\0" "2,3,\0,4,5,6\n", 14),
        "\xff" "1,\x80,2\xfe,3,4,5,6\n",
        "1,2,3,4,5,6,7,8,9,10,11,12\n",
        "1,2,3,4,5,6,\n",
        "1,2,3,4,5,\r\n",
        "1,2,3,4,5,6,7\r\n",
        std::string(250, '1') + "," + std::string(10, '2') + "\n",
        "1," + std::string(300, '5') + ",3,4,5,6,7\n",
        "9.5," + std::string(120, ' ') + ",1.25,2,3,4,5\n",
    };
    for (const std::string& row : rows) {
        SCOPED_TRACE("row \"" + row + "\"");
        ExpectBothPathsAlike({row});
        ExpectBothPathsAlike({"1,2,3,4,5,6,7\n", row});
    }
    ExpectBothPathsAlike(rows);
}

// Rows of random fields, most of them plain, some not: both paths store the
// same bits and count the same faults.
TEST(StoreRows, BothPathsAgreeOnRandomRows) {
    std::mt19937_64 random(99);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint64_t>(n)); };
    const char* const odd[] = {"", "-", ".", "1e3", " 2", "3 ", "x", "1.2.3", "+-4", "\r", "0", "-0"};
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> rows;
        for (int l = 0; l < kRows; ++l) {
            std::string row;
            const int fields = pick(10) == 0 ? pick(9) : 7;
            for (int f = 0; f < fields; ++f) {
                if (f > 0) row += ',';
                if (pick(12) == 0) {
                    row += odd[pick(static_cast<int>(std::size(odd)))];
                    continue;
                }
                const int sign = pick(3);
                if (sign == 1) row += '-';
                if (sign == 2) row += '+';
                for (int k = pick(5) == 0 ? pick(18) : pick(5); k > 0; --k) row += static_cast<char>('0' + pick(10));
                if (pick(6) != 0) {
                    row += '.';
                    for (int k = pick(5) == 0 ? pick(12) : pick(8); k > 0; --k) {
                        row += static_cast<char>('0' + pick(10));
                    }
                }
            }
            row += pick(2) == 0 ? "\r\n" : "\n";
            rows.push_back(row);
        }
        ExpectBothPathsAlike(rows);
        if (HasFailure()) return;
    }
}

}  // namespace
