#pragma once
// The data file reader: opening and sizing the data file, skipping its header
// to the marker line, pairing headings with columns, and reading rows window
// by window into the columns' sample arrays.
//
// Line ends are LF, with or without a CR before it; a CR directly before the
// LF belongs to the line end. The file is read in large blocks and fields are
// parsed in place.

#include <time.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/model.h"
#include "core/unique_fd.h"

namespace vux {
// The marker line that ends the free header of a data file.
inline constexpr const char* kDataMarker = "Data Starts Here,,,,,,,,,,,,,,,,,,,";

// An open data file and the state of its reading. Move-only (it owns the
// descriptor); the file closes when the reader ends.
struct DataReader {
    std::string path;
    UniqueFd fd;
    uint64_t fileSize = 0;
    timespec modified{};  // modification time at opening
    int32_t estimatedWindows = 0;
    uint64_t bytesConsumed = 0;  // byte offset of the next unread byte
    bool endOfFile = false;      // no more bytes to read
    std::vector<char> buffer;    // block buffer; [begin, end) not yet consumed
    size_t begin = 0;
    size_t end = 0;

    // Bytes asked of each read of the file. Any size gives the same results;
    // tests use tiny blocks so that lines cross block boundaries. The buffer
    // starts at this size and grows only when one line is longer.
    size_t blockSize = size_t{1} << 20;
    uint64_t bufferOffset = 0;  // file offset of buffer[0]

    // A row line longer than this is no row (a NUL-filled stretch that a
    // recorder which lost power leaves behind): ReadRows lets go of it as it
    // is read, so memory stays bounded whatever the file holds. A headings
    // line longer than this stops the run.
    size_t longestRow = size_t{16} << 20;

    uint64_t linesRead = 0;  // complete lines consumed, header lines included
    DataQuality quality;     // filled by ReadRows

    // Scratch of ReadRows, kept so that a window allocates nothing: where
    // field c of the window's first row and of its later rows is stored
    // (null = skipped), and what the first row may overwrite.
    std::vector<double*> firstRowTargets;
    std::vector<double*> laterRowTargets;
    std::vector<double> savedFirstRow;
    std::vector<size_t> savedSizes;
};

// Window estimate for a file of `fileSize` bytes (may be 0): whole mebibytes
// over about 110.6 bytes per row and `windowSize` rows per window, rounded up,
// kept within 0 .. INT32_MAX.
int32_t EstimateWindows(uint64_t fileSize, int32_t windowSize);

// Existence check (InputMissing, status 0), open, size and window estimate.
// A path that exists but is not a readable regular file throws
// DataUnreadable naming it and the reason.
DataReader OpenDataFile(const std::string& path, int32_t windowSize);

// Skips to just after the marker line. A file that ends before the marker
// throws DataNoMarker.
void SkipHeader(DataReader& reader);

// Reads the headings line into `headings`: heading k pairs with column k by
// position, for as many of the `columnCount` columns as the line reaches
// (each comma ends a heading; the text after the last one is none). A file that ends inside the headings line (DataHeadingsIncomplete),
// or a headings line longer than `reader.longestRow` bytes
// (DataHeadingsTooLong), throws.
void MapHeadings(DataReader& reader, size_t columnCount, std::vector<std::string>& headings);

struct RowsRead {
    int32_t rows = 0;        // complete rows read into this window (l)
    bool endOfFile = false;  // the file is exhausted
};

// Reads up to `windowSize` complete rows for window `m` and stores their fields
// by the storing rule into `samples` (one array per column): every-sample
// columns at samples[c][l], once-per-window columns at samples[c][m] from the
// window's first row only (that array grows when m reaches its size). A last line without a line end is never stored,
// nor is a line longer than `reader.longestRow` bytes (nor counted as a row).
// When fewer than 2 rows are returned, every samples element is as it was
// before the call (such a window is dropped, and leaves no trace).
// Counts the rows, short rows and faulty stored fields into
// `reader.quality` (sized to the columns on the first call); checking costs
// nothing on a field that parses up to its ',' or line end to a value other
// than 0.
// Every-sample arrays shorter than `windowSize` are grown to it; a
// `windowSize` below 1 reads nothing. A failing read stops the run (status -1)
// with a message naming the file and the reason.
RowsRead ReadRows(DataReader& reader, int32_t m, const std::vector<ColumnSpec>& columns,
                  std::vector<std::vector<double>>& samples, int32_t windowSize);

// True when the open file's size or modification time differ from those at
// opening (it was truncated, extended or rewritten while it was read), or it
// can no longer be examined. One fstat.
bool DataFileChanged(const DataReader& reader);

// Closes the file and lets go of the buffer (idempotent).
void CloseDataFile(DataReader& reader);
}  // namespace vux
