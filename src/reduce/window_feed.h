#pragma once
// The window feed: reads a data file's rows window by window on every
// thread it is given, and hands the windows to the window loop in order,
// holding exactly what one thread reading row after row would hold.
//
// One thread at a time (the cutter, a role taken under the feed's lock)
// reads the file in large blocks and cuts it into pieces of whole rows,
// counting line ends, so each piece knows its window, its first row and its
// first line. Any thread parses any piece into its window's slot (disjoint
// rows, disjoint memory); the window loop's own thread reads and parses too
// while it waits. A window is handed over when all of its rows are parsed:
// row 0's once-per-window fields go into their growing arrays, and the
// every-sample arrays are swapped in after the fields that the window's rows
// did not write (those of short rows, and the tail of a short last window)
// are taken from the window before. Data-quality counts are kept per piece
// and added up by lowest line, so they do not depend on the thread count
// either. Who owns which state when: HACKING.md, "The window feed's threads".
//
// Memory: a block per thread and 2 more (18 at most; 1 MiB each, less for a
// smaller file), and a bounded number of window slots (about 32768 rows in
// flight, at least 2 windows), flat in the file's size. A line longer than
// the reader's row limit is let go of as it is read.

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

#include "core/model.h"
#include "core/mutex.h"
#include "reduce/data_reader.h"

namespace vux {

// Work besides the feed's own that its threads take on, before parsing or
// cutting, in units (such as the transforms of the windows already fed).
class FeedSideWork {
public:
    virtual ~FeedSideWork() = default;
    // Takes a waiting unit: its number, or -1 when none waits. Called with
    // the feed's lock held; takes no lock but its own.
    virtual int64_t Claim() = 0;
    // Does a unit Claim gave, without the feed's lock.
    virtual void Run(int64_t unit) noexcept = 0;
};

struct FedWindow {
    int32_t rows = 0;            // complete rows of the window
    bool endOfFile = false;      // no window follows
    uint64_t bytesConsumed = 0;  // the file offset after the window's rows (the file's size after the last)
};

class WindowFeed {
public:
    // Starts feeding the rows of `reader` (past its headings line) to windows
    // of `windowSize` rows (at least 2: the settings checks refuse less) with
    // `threads` threads in all: the calling thread and threads - 1 workers,
    // which block SIGINT and SIGTERM. `reader` and `columns` must outlive the
    // feed; the reader is read from no more but by the feed. Allocates the
    // blocks and slots. With `side`, every thread of the feed (the window
    // loop's too, while it waits in Next) does its units, first; it must
    // outlive the feed.
    WindowFeed(DataReader& reader, const std::vector<ColumnSpec>& columns, int32_t windowSize, int32_t threads,
               FeedSideWork* side = nullptr);
    // Stops and joins the workers, so a stop of the run by an exception in
    // the window loop leaves no thread behind.
    ~WindowFeed();
    WindowFeed(const WindowFeed&) = delete;
    WindowFeed& operator=(const WindowFeed&) = delete;

    // Waits for the next window (0, 1, ... in turn), reading and parsing
    // meanwhile. A window of at least 2 rows is stored into `samples` (one
    // array per column): every-sample columns at samples[c][l] (grown to the
    // window size), once-per-window columns at samples[c][m] from the
    // window's first row only (that array grows when m reaches its size),
    // other columns never; an entry that the window's rows do not write (the
    // missing fields of a short row, the rows past a short last window) keeps
    // its value. A window of fewer rows, which only the end of the file
    // makes, leaves `samples` as it was. A last line without a line end is no
    // row, nor is a line longer than the reader's row limit before its line
    // end (counted in the facts). There is no window after one with
    // endOfFile. A failure of the reading (DataReadFailed, or any exception
    // of a thread) is thrown here, at the first window it spoils.
    FedWindow Next(std::vector<std::vector<double>>& samples) VUX_EXCLUDES(mutex_);

    // Stops the workers and returns the data-quality facts of every row and
    // line fed (meanStep is left NaN).
    DataQuality Finish() VUX_EXCLUDES(mutex_);

    // Wakes the waiting threads: the side work has a new unit.
    void TellSideWork() VUX_EXCLUDES(mutex_);

private:
    struct Block;
    struct Piece;
    struct Slot;
    struct SlotState;
    struct Cut;

    size_t SlotOf(int64_t window) const;
    bool CutterMayGo(int64_t slotsUntil) const VUX_REQUIRES(mutex_);
    void TellChange() VUX_REQUIRES(mutex_);
    void WaitForChange() VUX_REQUIRES(mutex_);
    void TakeSlot(int64_t window) VUX_REQUIRES(mutex_);
    void ReleaseBlock(Block* block) VUX_REQUIRES(mutex_);
    void RecordFailure(std::exception_ptr failure, int64_t window) VUX_REQUIRES(mutex_);
    bool HelpOnce() VUX_REQUIRES(mutex_);
    bool ClaimCutter() VUX_REQUIRES(mutex_) VUX_TRY_ACQUIRE(true, cutter_);
    bool TakeFreshBlock() VUX_REQUIRES(mutex_, cutter_);
    void CutPiece(Cut& cut) VUX_REQUIRES(cutter_) VUX_EXCLUDES(mutex_);
    void LetGoOfOverlongLine(Cut& cut, size_t pastLineEnd) VUX_REQUIRES(cutter_);
    void PublishCut(const Cut& cut) VUX_REQUIRES(mutex_) VUX_RELEASE(cutter_);
    void ParsePiece(Piece& piece) const VUX_EXCLUDES(mutex_);
    void CompletePiece(Piece& piece) VUX_REQUIRES(mutex_);
    void HandOver(Slot& slot, int32_t rows, int64_t m, std::vector<std::vector<double>>& samples) const
        VUX_EXCLUDES(mutex_);
    void WorkerMain() VUX_EXCLUDES(mutex_);
    void StopWorkers() VUX_EXCLUDES(mutex_);

    // Fixed at start; read by every thread without the lock.
    DataReader* const reader_;  // its descriptor, path, block size and row limit are read; the cutter adds what it reads to its digest
    const std::vector<ColumnSpec>* const columns_;
    FeedSideWork* const side_;  // null when none
    const int32_t windowSize_;
    const int64_t slotCount_;
    const size_t blockBytes_;  // the size of a block, unless it grew for one long line
    std::vector<std::unique_ptr<Block>> blocks_;
    // Window w's arrays are in slots_[w % slotCount_]: written by the parsers
    // of its pieces while its state says it is being read, read by the window
    // loop once it is complete.
    std::vector<Slot> slots_;

    // Under the lock.
    Mutex mutex_;
    std::condition_variable changed_;  // a piece, a cut, a free slot, a failure or the stop
    int waiters_ VUX_GUARDED_BY(mutex_) = 0;       // threads waiting on `changed_`
    int64_t awaited_ VUX_GUARDED_BY(mutex_) = -1;  // the window the window loop waits for, -1 when it does not wait
    bool stopping_ VUX_GUARDED_BY(mutex_) = false;
    std::vector<SlotState> slotStates_ VUX_GUARDED_BY(mutex_);  // beside slots_
    std::vector<Block*> freeBlocks_ VUX_GUARDED_BY(mutex_);
    std::vector<std::unique_ptr<Piece>> pieces_ VUX_GUARDED_BY(mutex_);
    std::vector<Piece*> freePieces_ VUX_GUARDED_BY(mutex_);
    std::vector<Piece*> readyPieces_ VUX_GUARDED_BY(mutex_);  // cut, not parsed yet; oldest first from readyFirst_
    size_t readyFirst_ VUX_GUARDED_BY(mutex_) = 0;
    bool cutting_ VUX_GUARDED_BY(mutex_) = false;     // a thread plays cutter_
    bool cutterDone_ VUX_GUARDED_BY(mutex_) = false;  // the end of the file was cut, or the cutter failed
    int64_t cutWindow_ VUX_GUARDED_BY(mutex_) = 0;    // the window the next row cut belongs to
    int32_t cutRow_ VUX_GUARDED_BY(mutex_) = 0;       // its index there
    int64_t slotsUntil_ VUX_GUARDED_BY(mutex_) = 0;   // windows below this have a slot
    int64_t endWindow_ VUX_GUARDED_BY(mutex_) = -1;   // the window the end of the file closed, once known
    uint64_t endBytes_ VUX_GUARDED_BY(mutex_) = 0;    // the file's offset then
    std::exception_ptr error_ VUX_GUARDED_BY(mutex_);                // the first failure of a thread
    int64_t errorWindow_ VUX_GUARDED_BY(mutex_) = INT64_MAX;         // the first window it spoils
    DataQuality quality_ VUX_GUARDED_BY(mutex_);                     // of every piece parsed and line cut

    // The cutter's: only the thread playing cutter_ touches these.
    ThreadRole cutter_;
    Block* block_ VUX_GUARDED_BY(cutter_) = nullptr;  // the block being read into
    size_t consumed_ VUX_GUARDED_BY(cutter_) = 0;     // block bytes before this are cut or let go of
    size_t scanned_ VUX_GUARDED_BY(cutter_) = 0;      // block bytes before this are counted
    size_t filled_ VUX_GUARDED_BY(cutter_) = 0;       // block bytes read
    uint64_t blockOffset_ VUX_GUARDED_BY(cutter_) = 0;  // file offset of the block's first byte
    bool endOfFile_ VUX_GUARDED_BY(cutter_) = false;
    bool dropping_ VUX_GUARDED_BY(cutter_) = false;  // inside a line longer than the row limit
    uint64_t nextLine_ VUX_GUARDED_BY(cutter_) = 0;  // line number of the next line
    std::vector<uint64_t> windowEnds_ VUX_GUARDED_BY(cutter_);  // file offsets after the windows a cut completes

    // The window loop's thread's: the caller of Next and Finish.
    int64_t nextWindow_ = 0;
    bool ended_ = false;  // a window with endOfFile was fed
    std::vector<std::thread> workers_;
};
}  // namespace vux
