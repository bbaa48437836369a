#pragma once
// The window feed: reads a data file's rows window by window on every
// thread it is given, and hands the windows to the window loop in order,
// holding exactly what one thread reading row after row would hold.
//
// One thread at a time (under the feed's lock) reads the file in large
// blocks and cuts it into pieces of whole rows, counting line ends, so each
// piece knows its window, its first row and its first line. Any thread
// parses any piece into its window's slot (disjoint rows, disjoint memory);
// the window loop's own thread reads and parses too while it waits. A window
// is handed over when all of its rows are parsed: row 0's once-per-window
// fields go into their growing arrays, and the every-sample arrays are
// swapped in after the fields that the window's rows did not write (those
// of short rows, and the tail of a short last window) are taken from the
// window before. Data-quality counts are kept per piece and added up by
// lowest line, so they do not depend on the thread count either.
//
// Memory: a block per thread and 2 more (18 at most; 1 MiB each, less for a
// smaller file), and a bounded number of window slots (about 32768 rows in flight, at least 2 windows),
// flat in the file's size. A line longer than the reader's row limit is let
// go of as it is read.

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/model.h"
#include "reduce/data_reader.h"
#include "reduce/row_store.h"

namespace vux {

struct FeedBlock;
struct FeedPiece;
struct FeedSlot;

// The state of one file's feed. Made by StartFeed; its destructor stops and
// joins the worker threads, so a stop of the run by an exception in the
// window loop leaves no thread behind.
struct WindowFeed {
    DataReader* reader = nullptr;
    const std::vector<ColumnSpec>* columns = nullptr;
    int32_t windowSize = 0;
    int32_t threads = 1;

    std::mutex lock;
    std::condition_variable changed;
    int waiters = 0;         // threads waiting on `changed`
    int64_t awaited = -1;    // the window the window loop waits for, -1 when it does not wait
    bool stopping = false;

    size_t blockBytes = 0;  // the size of a block, unless it grew for one long line
    std::vector<std::unique_ptr<FeedBlock>> blocks;
    std::vector<FeedBlock*> freeBlocks;
    std::vector<std::unique_ptr<FeedPiece>> pieces;
    std::vector<FeedPiece*> freePieces;
    std::vector<FeedPiece*> readyPieces;  // cut, waiting to be parsed; oldest first from readyFirst
    size_t readyFirst = 0;
    std::vector<std::unique_ptr<FeedSlot>> slots;

    // The cutter: only the thread that set `cutting` touches these.
    bool cutting = false;
    bool cutterDone = false;
    FeedBlock* block = nullptr;  // the block being read into
    size_t consumed = 0;         // block bytes before this are cut or let go of
    size_t filled = 0;           // block bytes read
    size_t scanned = 0;          // block bytes before this are counted
    uint64_t blockOffset = 0;    // file offset of the block's first byte
    bool endOfFile = false;
    bool dropping = false;       // inside a line longer than the row limit
    int64_t cutWindow = 0;       // the window the next row belongs to
    int32_t cutRow = 0;          // its index there
    int64_t slotsUntil = 0;      // windows below this have a slot
    uint64_t nextLine = 0;       // line number of the next line
    int64_t endWindow = -1;      // the window the end of the file closed, once known
    uint64_t endBytes = 0;       // the file offset reached then

    std::exception_ptr error;       // the first failure of a thread
    int64_t errorWindow = INT64_MAX;  // the first window it spoils
    DataQuality quality;            // of every piece parsed

    std::vector<std::thread> workers;

    WindowFeed();
    WindowFeed(const WindowFeed&) = delete;
    WindowFeed& operator=(const WindowFeed&) = delete;
    ~WindowFeed();
};

// Starts feeding the rows of `reader` (past its headings line) to windows of
// `windowSize` rows (at least 2) with `threads` threads in all: the calling
// thread and threads - 1 workers, which block SIGINT and SIGTERM. `reader`
// and `columns` must outlive the feed. Allocates the blocks and slots.
void StartFeed(WindowFeed& feed, DataReader& reader, const std::vector<ColumnSpec>& columns, int32_t windowSize,
               int32_t threads);

struct FedWindow {
    int32_t rows = 0;            // complete rows of the window
    bool endOfFile = false;      // no window follows
    uint64_t bytesConsumed = 0;  // the reader's byte offset after the window
};

// Waits for window m (m = 0, 1, ... in turn), reading and parsing meanwhile,
// and, when it has at least 2 rows, stores it into `samples` as ReadRows
// would (the once-per-window arrays grow as needed). A window of fewer rows
// leaves `samples` as it was. A failure of the reading (DataReadFailed, or
// any exception of a thread) is thrown here, at the first window it spoils.
FedWindow NextWindow(WindowFeed& feed, int32_t m, std::vector<std::vector<double>>& samples);

// Stops the workers and leaves in the reader what ReadRows would have:
// bytesConsumed, linesRead, endOfFile and the data-quality counts (added to
// those already there).
void FinishFeed(WindowFeed& feed);
}  // namespace vux
