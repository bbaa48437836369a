#pragma once
// The data file reader: opening and sizing the data file, skipping its header
// to the marker line and pairing headings with columns. The rows after the
// headings line are read by the window feed (reduce/window_feed.h).
//
// Line ends are LF, with or without a CR before it; a CR directly before the
// LF belongs to the line end. The file is read in large blocks and fields are
// parsed in place.

#include <time.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/unique_fd.h"
#include "core/content_digest.h"

namespace vux {
// The marker line that ends the free header of a data file.
inline constexpr const char* kDataMarker = "Data Starts Here,,,,,,,,,,,,,,,,,,,";

// The row limit of a data file, in bytes before the line end.
inline constexpr size_t kLongestRow = size_t{16} << 20;

// An open data file and the state of its reading. Move-only (it owns the
// descriptor); the file closes when the reader ends.
struct DataReader {
    std::string path;
    UniqueFd fd;
    uint64_t fileSize = 0;
    timespec modified{};  // modification time at opening
    int32_t estimatedWindows = 0;
    uint64_t bytesConsumed = 0;  // byte offset after the lines read here (up to the headings line)
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
    // recorder which lost power leaves behind): the window feed lets go of it
    // as it is read, so memory stays bounded whatever the file holds. A
    // headings line longer than this stops the run. Tests lower it.
    size_t longestRow = kLongestRow;

    uint64_t linesRead = 0;  // complete lines read here: the header and the headings line

    // Every byte read from the file, here and by the window feed, in file
    // order: once the file is read to its end, the digest of its content.
    // Taken only when started (for the run record).
    ContentDigest digest;
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

// True when the open file's size or modification time differ from those at
// opening (it was truncated, extended or rewritten while it was read), or it
// can no longer be examined. One fstat.
bool DataFileChanged(const DataReader& reader);

// Closes the file and lets go of the buffer (idempotent).
void CloseDataFile(DataReader& reader);
}  // namespace vux
