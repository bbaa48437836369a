#include "reduce/window_feed.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstring>
#include <system_error>
#include <utility>

#include "core/ending_signals.h"
#include "core/error.h"
#include "reduce/line_scan.h"
#include "reduce/row_store.h"
#include "reduce/thread_count.h"

namespace vux {

// A buffer the file is read into; pieces point into it. `refs` (under the
// lock) counts the pieces that point into it and the cutter while it reads
// into it. Only the cutter writes its bytes, and only past those it has cut.
struct WindowFeed::Block {
    std::unique_ptr<char[]> bytes;  // not zeroed: only bytes read are ever looked at
    size_t size = 0;
    int refs = 0;

    // Makes the block hold `newSize` bytes, of which the first `keep` stay as they were.
    void Resize(size_t newSize, size_t keep) {
        std::unique_ptr<char[]> fresh = std::make_unique_for_overwrite<char[]>(newSize);
        if (keep > 0) std::memcpy(fresh.get(), bytes.get(), std::min(keep, newSize));
        bytes = std::move(fresh);
        size = newSize;
    }
};

// Whole rows of one block, from row `firstRow` of `window` on, and what
// parsing them found. Belongs to the thread that took it off a list under the
// lock: the cutter fills it, one parser parses it.
struct WindowFeed::Piece {
    Block* block = nullptr;
    size_t begin = 0;
    size_t length = 0;
    int64_t window = 0;
    int64_t lastWindow = 0;  // the window of its last row
    int32_t firstRow = 0;
    int32_t rows = 0;
    uint64_t firstLine = 0;
    DataQuality quality;
    std::vector<ShortRow> shortRows;
};

// One window's contents: its every-sample arrays (swapped with the window
// loop's when it is handed over), row 0's once-per-window values, where its
// rows' fields go (set when the slot is taken), and its short rows (added as
// its pieces complete, under the lock).
struct WindowFeed::Slot {
    std::vector<std::vector<double>> arrays;
    std::vector<double> firstRow;
    std::vector<double*> first;
    std::vector<double*> later;
    int firstLast = -1;
    int laterLast = -1;
    std::vector<ShortRow> shortRows;
};

// One slot's bookkeeping.
struct WindowFeed::SlotState {
    int64_t window = -1;  // -1: free
    int32_t rows = 0;     // set when closed
    int pending = 0;      // pieces of it not parsed yet
    bool closed = false;  // all of its rows are cut
    bool endOfFile = false;
    uint64_t bytesEnd = 0;  // the file offset after its last row
};

// One turn of the cutter: where it starts (the window and row it stands at,
// and how many rows its slots hold), and what it found: the rows from
// `begin` to `end` of the block, ending before row `row` of window `window`,
// and the overlong lines let go of before them.
struct WindowFeed::Cut {
    int64_t maxRows = 0;
    size_t begin = 0;
    size_t end = 0;
    int32_t rows = 0;
    int64_t window = 0;
    int32_t row = 0;
    bool atEnd = false;  // the file ended after these rows: no more are cut
    DataQuality overlong;
    std::exception_ptr failure;
};

namespace {

constexpr size_t kBlockBytes = size_t{1} << 20;
constexpr size_t kPieceBytes = size_t{256} << 10;
constexpr int64_t kRowsInFlight = 32768;

int64_t SlotCount(int32_t windowSize) {
    if (windowSize >= 2 * kRowsInFlight) return 1;
    return std::clamp<int64_t>((kRowsInFlight + windowSize - 1) / windowSize, 2, 256);
}

// A small file needs no 1 MiB blocks.
size_t BlockBytes(const DataReader& reader) {
    const uint64_t offset = reader.bufferOffset + reader.begin;
    const uint64_t left = reader.fileSize > offset ? reader.fileSize - offset : 0;
    return static_cast<size_t>(std::min<uint64_t>(kBlockBytes, left + 4096));
}

}  // namespace

size_t WindowFeed::SlotOf(int64_t window) const { return static_cast<size_t>(window % slotCount_); }

// The cutter cuts for half the slots at once, not for each one the window
// loop frees (with small windows that would make tiny pieces), unless the
// window loop waits for rows not cut yet.
bool WindowFeed::CutterMayGo(int64_t slotsUntil) const {
    return slotsUntil - cutWindow_ >= (slotCount_ + 1) / 2 || awaited_ >= cutWindow_;
}

// Wakes the waiting threads, if any (a wake-up costs a system call).
void WindowFeed::TellChange() {
    if (waiters_ > 0) changed_.notify_all();
}

void WindowFeed::WaitForChange() {
    ++waiters_;
    mutex_.Wait(changed_);
    --waiters_;
}

// Gives the free slot of `window` to it and points its targets at its arrays.
void WindowFeed::TakeSlot(int64_t window) {
    const size_t index = SlotOf(window);
    assert(slotStates_[index].window == -1);
    slotStates_[index] = SlotState{window};
    Slot& slot = slots_[index];
    const std::vector<ColumnSpec>& columns = *columns_;
    slot.shortRows.clear();
    slot.firstLast = -1;
    slot.laterLast = -1;
    for (size_t c = 0; c < columns.size(); ++c) {
        slot.first[c] = nullptr;
        slot.later[c] = nullptr;
        if (IsEverySample(columns[c].sampling)) {
            slot.first[c] = slot.arrays[c].data();
            slot.later[c] = slot.arrays[c].data();
            slot.firstLast = static_cast<int>(c);
            slot.laterLast = static_cast<int>(c);
        } else if (IsOncePerWindow(columns[c].sampling)) {
            slot.first[c] = &slot.firstRow[c];
            slot.firstLast = static_cast<int>(c);
        }
    }
}

void WindowFeed::ReleaseBlock(Block* block) {
    assert(block->refs > 0);
    if (--block->refs > 0) return;
    // A block grown for one long line goes back to its usual size.
    if (block->size > blockBytes_) block->Resize(blockBytes_, 0);
    freeBlocks_.push_back(block);
}

void WindowFeed::RecordFailure(std::exception_ptr failure, int64_t window) {
    if (!error_) error_ = std::move(failure);
    errorWindow_ = std::min(errorWindow_, window);
    TellChange();
}

// Does a unit of the side work, or parses one waiting piece, or cuts one.
// Returns false when there is nothing to do now.
bool WindowFeed::HelpOnce() {
    if (side_ != nullptr) {
        const int64_t unit = side_->Claim();
        if (unit >= 0) {
            mutex_.Unlock();
            side_->Run(unit);
            mutex_.Lock();
            return true;
        }
    }
    if (readyFirst_ < readyPieces_.size()) {
        Piece* piece = readyPieces_[readyFirst_++];
        if (readyFirst_ == readyPieces_.size()) {
            readyPieces_.clear();
            readyFirst_ = 0;
        }
        mutex_.Unlock();
        std::exception_ptr failure;
        try {
            ParsePiece(*piece);
        } catch (...) {
            failure = std::current_exception();
        }
        mutex_.Lock();
        if (failure) {
            RecordFailure(std::move(failure), piece->window);
        } else {
            CompletePiece(*piece);
        }
        return true;
    }
    if (!ClaimCutter()) return false;
    Cut cut;
    cut.window = cutWindow_;
    cut.row = cutRow_;
    cut.maxRows = (slotsUntil_ - cutWindow_) * windowSize_ - cutRow_;
    mutex_.Unlock();
    try {
        CutPiece(cut);
    } catch (...) {
        cut.failure = std::current_exception();
    }
    mutex_.Lock();
    PublishCut(cut);
    return true;
}

// Makes this thread the cutter when there is something to cut and room for
// it: a slot for the current window (taking the free slots of the windows
// after it too) and a block with room to read into.
bool WindowFeed::ClaimCutter() {
    if (cutting_ || cutterDone_ || error_ || stopping_) return false;
    while (slotsUntil_ < cutWindow_ + slotCount_ && slotStates_[SlotOf(slotsUntil_)].window == -1) {
        TakeSlot(slotsUntil_);
        ++slotsUntil_;
    }
    if (slotsUntil_ <= cutWindow_ || !CutterMayGo(slotsUntil_)) return false;
    cutter_.Take();
    if (!TakeFreshBlock()) {
        cutter_.Leave();
        return false;
    }
    cutting_ = true;
    return true;
}

// A full block whose every byte is counted holds at most the start of a
// line after its last cut row: that start goes over to a fresh block.
// False when one is needed and none is free.
bool WindowFeed::TakeFreshBlock() {
    Block* block = block_;
    assert(block != nullptr && consumed_ <= scanned_ && scanned_ <= filled_ && filled_ <= block->size);
    if (filled_ < block->size || scanned_ < filled_ || consumed_ == 0) return true;
    if (freeBlocks_.empty()) return false;
    Block* next = freeBlocks_.back();
    freeBlocks_.pop_back();
    next->refs = 1;
    const size_t carry = filled_ - consumed_;
    if (next->size < 2 * carry) next->Resize(2 * carry, 0);
    if (carry > 0) std::memcpy(next->bytes.get(), block->bytes.get() + consumed_, carry);
    scanned_ -= consumed_;
    blockOffset_ += consumed_;
    filled_ = carry;
    consumed_ = 0;
    ReleaseBlock(block);
    block_ = next;
    return true;
}

// Counts the overlong line that ends just before `pastLineEnd` (a line, not
// a row) and goes past it; the cut starts after it.
void WindowFeed::LetGoOfOverlongLine(Cut& cut, size_t pastLineEnd) {
    if (cut.overlong.overlongLines++ == 0) cut.overlong.firstOverlongLine = nextLine_;
    ++nextLine_;
    consumed_ = scanned_ = pastLineEnd;
    cut.begin = cut.end = pastLineEnd;
}

// Reads until it has a piece: up to the end of the slots it holds, about
// kPieceBytes of rows, the end of the file, or a full block. A line of more
// bytes than the reader's row limit before its line end is no row: it is let
// go of as it is read, and counted once its line end comes. Touches only
// the cutter's state and `cut`.
void WindowFeed::CutPiece(Cut& cut) {
    const DataReader& reader = *reader_;
    Block& block = *block_;
    // Small reads make small pieces: tests read in blocks of a few bytes so
    // that many pieces share a window and the threads race for them.
    const size_t pieceBytes = std::min(kPieceBytes, std::max<size_t>(reader.blockSize, 1));
    const size_t longest = reader.longestRow;
    cut.begin = cut.end = consumed_;
    windowEnds_.clear();
    for (;;) {
        const char* data = block.bytes.get();
        if (dropping_) {
            const void* lf = std::memchr(data + scanned_, '\n', filled_ - scanned_);
            if (lf != nullptr) {
                dropping_ = false;
                LetGoOfOverlongLine(cut, static_cast<size_t>(static_cast<const char*>(lf) - data) + 1);
            } else {
                consumed_ = scanned_ = filled_;
                cut.begin = cut.end = consumed_;
            }
        }
        if (!dropping_) {
            while (cut.rows < cut.maxRows && scanned_ < filled_) {
                // About pieceBytes of rows make a piece; the first row may be longer.
                size_t regionEnd = std::min(filled_, cut.begin + pieceBytes);
                if (regionEnd <= scanned_) {
                    if (cut.rows > 0) break;
                    regionEnd = filled_;
                }
                const size_t wanted = static_cast<size_t>(std::min<int64_t>(windowSize_ - cut.row, cut.maxRows - cut.rows));
                size_t found = 0;
                const size_t past = scanned_ + SkipLineEnds(data + scanned_, regionEnd - scanned_, wanted, &found);
                if (found == 0) {
                    scanned_ = regionEnd;
                    continue;
                }
                if (past - 1 - cut.end > longest) {
                    // A line of these may be overlong: find the first such.
                    size_t lineStart = cut.end;
                    size_t lineEnd = 0;  // its LF
                    size_t k = 0;
                    for (; k < found; ++k, lineStart = lineEnd + 1) {
                        const void* lf = std::memchr(data + lineStart, '\n', past - lineStart);
                        lineEnd = static_cast<size_t>(static_cast<const char*>(lf) - data);
                        if (lineEnd - lineStart > longest) break;
                    }
                    if (k < found) {
                        if (cut.rows == 0 && k == 0) {
                            LetGoOfOverlongLine(cut, lineEnd + 1);
                            continue;
                        }
                        // The rows before it make this turn's piece; the next turn lets go of it.
                        scanned_ = cut.end = lineStart;
                        cut.rows += static_cast<int32_t>(k);
                        cut.row += static_cast<int32_t>(k);
                        return;
                    }
                }
                scanned_ = past;
                cut.end = past;
                cut.rows += static_cast<int32_t>(found);
                cut.row += static_cast<int32_t>(found);
                if (cut.row == windowSize_) {
                    windowEnds_.push_back(blockOffset_ + cut.end);
                    ++cut.window;
                    cut.row = 0;
                }
                if (found < wanted) scanned_ = regionEnd;
            }
            if (cut.rows == cut.maxRows) return;
            if (cut.rows > 0 && scanned_ >= cut.begin + pieceBytes) return;
            if (!endOfFile_ && cut.rows == 0 && filled_ - consumed_ > longest) {
                consumed_ = scanned_ = filled_;
                cut.begin = cut.end = consumed_;
                dropping_ = true;
            }
        }
        if (endOfFile_) {
            cut.atEnd = true;
            return;
        }
        if (filled_ == block.size) {
            if (cut.rows > 0 || consumed_ > 0) return;  // a fresh block comes with the next turn
            block.Resize(2 * block.size, filled_);  // one line longer than the block
        }
        const size_t want = std::min(std::max<size_t>(reader.blockSize, 1), block.size - filled_);
        ssize_t got;
        do {
            got = read(reader.fd.get(), block.bytes.get() + filled_, want);
        } while (got < 0 && errno == EINTR);
        if (got < 0) Fail(ErrorKind::DataReadFailed, reader.path, {errno});
        if (got == 0) {
            endOfFile_ = true;
        } else {
            reader_->digest.Update(block.bytes.get() + filled_, static_cast<size_t>(got));
            filled_ += static_cast<size_t>(got);
        }
    }
}

// Hands the cut rows to the parsers, moves the cutter on and leaves the role.
void WindowFeed::PublishCut(const Cut& cut) {
    cutting_ = false;
    if (cut.failure) {
        cutterDone_ = true;
        RecordFailure(cut.failure, cutWindow_);
        cutter_.Leave();
        return;
    }
    AddQuality(quality_, cut.overlong);
    if (cut.rows > 0) {
        Piece* piece;
        if (freePieces_.empty()) {
            pieces_.push_back(std::make_unique<Piece>());
            piece = pieces_.back().get();
            piece->quality.fields.resize(columns_->size());
        } else {
            piece = freePieces_.back();
            freePieces_.pop_back();
        }
        piece->block = block_;
        ++block_->refs;
        piece->begin = cut.begin;
        piece->length = cut.end - cut.begin;
        piece->window = cutWindow_;
        piece->firstRow = cutRow_;
        piece->rows = cut.rows;
        piece->lastWindow = cut.row == 0 ? cut.window - 1 : cut.window;
        piece->firstLine = nextLine_;
        assert(piece->lastWindow < slotsUntil_ && static_cast<int64_t>(windowEnds_.size()) == cut.window - cutWindow_);
        for (int64_t w = piece->window; w <= piece->lastWindow; ++w) {
            SlotState& state = slotStates_[SlotOf(w)];
            assert(state.window == w && !state.closed);
            ++state.pending;
            if (w < cut.window) {
                state.closed = true;
                state.rows = windowSize_;
                state.bytesEnd = windowEnds_[static_cast<size_t>(w - piece->window)];
            }
        }
        readyPieces_.push_back(piece);
        nextLine_ += static_cast<uint64_t>(cut.rows);
    }
    consumed_ = cut.end;
    if (scanned_ < cut.end) scanned_ = cut.end;
    cutWindow_ = cut.window;
    cutRow_ = cut.row;
    if (cut.atEnd) {
        // A last line cut off before its line end is not a row.
        cutterDone_ = true;
        endWindow_ = cut.window;
        endBytes_ = blockOffset_ + filled_;
        if (cut.window < slotsUntil_) {
            SlotState& state = slotStates_[SlotOf(cut.window)];
            state.closed = true;
            state.rows = cut.row;
            state.endOfFile = true;
            state.bytesEnd = endBytes_;
        }
        consumed_ = filled_;
        ReleaseBlock(block_);
        block_ = nullptr;
    }
    cutter_.Leave();
    TellChange();
}

// Parses a piece's rows into the slots of their windows.
void WindowFeed::ParsePiece(Piece& piece) const {
    DataQuality& quality = piece.quality;
    quality.rows = 0;
    quality.shortRows = 0;
    quality.firstShortLine = 0;
    std::fill(quality.fields.begin(), quality.fields.end(), FieldFaults{});
    piece.shortRows.clear();

    const int lastColumn = static_cast<int>(columns_->size()) - 1;
    const char* p = piece.block->bytes.get() + piece.begin;
    const char* const stop = p + piece.length;
    int64_t window = piece.window;
    int32_t row = piece.firstRow;
    uint64_t lineOfRowZero = piece.firstLine - static_cast<uint64_t>(row);
    while (p < stop) {
        const Slot& slot = slots_[SlotOf(window)];
        const RowTargets targets{slot.first.data(), slot.firstLast, slot.later.data(), slot.laterLast};
        const RowChecks checks{lastColumn, lineOfRowZero, quality, &piece.shortRows, window};
        p = StoreRows(p, stop, targets, checks, row, windowSize_);
        if (row == windowSize_) {
            ++window;
            row = 0;
            lineOfRowZero += static_cast<uint64_t>(windowSize_);
        }
    }
    // The cutter counted line ends; the parser goes from one to the next.
    assert(p == stop && (window - piece.window) * windowSize_ + row - piece.firstRow == piece.rows);
    quality.rows = static_cast<uint64_t>(piece.rows);
}

// Adds a parsed piece's facts and lets go of it.
void WindowFeed::CompletePiece(Piece& piece) {
    AddQuality(quality_, piece.quality);
    for (const ShortRow& shortRow : piece.shortRows) slots_[SlotOf(shortRow.window)].shortRows.push_back(shortRow);
    for (int64_t w = piece.window; w <= piece.lastWindow; ++w) {
        SlotState& state = slotStates_[SlotOf(w)];
        assert(state.window == w && state.pending > 0);
        --state.pending;
    }
    ReleaseBlock(piece.block);
    piece.block = nullptr;
    freePieces_.push_back(&piece);
    TellChange();
}

void WindowFeed::WorkerMain() {
    // The interrupt watcher alone takes the signals that end a run.
    const sigset_t signals = EndingSignalSet();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    MutexLock held(mutex_);
    while (!stopping_) {
        if (!HelpOnce()) WaitForChange();
    }
}

void WindowFeed::StopWorkers() {
    {
        MutexLock held(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
}

// Stores a complete window of `rows` rows (at least 2) into the window loop's arrays.
void WindowFeed::HandOver(Slot& slot, int32_t rows, int64_t m, std::vector<std::vector<double>>& samples) const {
    const std::vector<ColumnSpec>& columns = *columns_;
    const size_t window = static_cast<size_t>(windowSize_);
    const size_t filled = static_cast<size_t>(rows);
    const size_t index = static_cast<size_t>(m);
    int32_t rowZeroFields = INT32_MAX;
    for (const ShortRow& shortRow : slot.shortRows) {
        if (shortRow.row == 0) rowZeroFields = shortRow.fields;
    }
    if (samples.size() < columns.size()) samples.resize(columns.size());
    for (size_t c = 0; c < columns.size(); ++c) {
        std::vector<double>& values = samples[c];
        if (IsOncePerWindow(columns[c].sampling)) {
            if (values.size() <= index) values.resize(std::max(index + 1, 2 * values.size()));
            if (static_cast<int32_t>(c) < rowZeroFields) values[index] = slot.firstRow[c];
        } else if (IsEverySample(columns[c].sampling)) {
            if (values.size() < window) values.resize(window);
            std::vector<double>& fresh = slot.arrays[c];
            // What the window's rows did not write keeps the window before's value.
            for (const ShortRow& shortRow : slot.shortRows) {
                if (static_cast<int32_t>(c) >= shortRow.fields) {
                    fresh[static_cast<size_t>(shortRow.row)] = values[static_cast<size_t>(shortRow.row)];
                }
            }
            if (filled < window) std::copy(values.begin() + static_cast<std::ptrdiff_t>(filled),
                                           values.begin() + static_cast<std::ptrdiff_t>(window),
                                           fresh.begin() + static_cast<std::ptrdiff_t>(filled));
            values.swap(fresh);
        }
    }
}

WindowFeed::WindowFeed(DataReader& reader, const std::vector<ColumnSpec>& columns, int32_t windowSize,
                       int32_t threads, FeedSideWork* side)
    : reader_(&reader),
      columns_(&columns),
      side_(side),
      windowSize_(windowSize),
      slotCount_(SlotCount(windowSize)),
      blockBytes_(BlockBytes(reader)) {
    assert(windowSize >= 2);
    threads = std::clamp<int32_t>(threads, 1, kMaxThreads);
    quality_.fields.resize(columns.size());

    slots_.resize(static_cast<size_t>(slotCount_));
    slotStates_.resize(static_cast<size_t>(slotCount_));
    for (Slot& slot : slots_) {
        slot.arrays.resize(columns.size());
        for (size_t c = 0; c < columns.size(); ++c) {
            if (IsEverySample(columns[c].sampling)) slot.arrays[c].assign(static_cast<size_t>(windowSize), 0.0);
        }
        slot.firstRow.assign(columns.size(), 0.0);
        slot.first.assign(columns.size(), nullptr);
        slot.later.assign(columns.size(), nullptr);
    }
    windowEnds_.reserve(static_cast<size_t>(slotCount_));
    // Each thread parses one piece at a time, and a block holds a few pieces.
    const int32_t blockCount = 2 + std::min<int32_t>(threads, 16);
    for (int32_t b = 0; b < blockCount; ++b) {
        auto block = std::make_unique<Block>();
        block->Resize(blockBytes_, 0);
        freeBlocks_.push_back(block.get());
        blocks_.push_back(std::move(block));
    }

    // The reader's buffer holds what follows the headings line.
    Block* first = freeBlocks_.back();
    freeBlocks_.pop_back();
    first->refs = 1;
    const size_t carry = reader.end - reader.begin;
    if (first->size < carry) first->Resize(carry, 0);
    if (carry > 0) std::memcpy(first->bytes.get(), reader.buffer.data() + reader.begin, carry);
    block_ = first;
    filled_ = carry;
    blockOffset_ = reader.bufferOffset + reader.begin;
    endOfFile_ = reader.endOfFile || !reader.fd;
    nextLine_ = reader.linesRead + 1;
    reader.begin = reader.end;

    workers_.reserve(static_cast<size_t>(threads - 1));
    for (int32_t t = 1; t < threads; ++t) {
        try {
            workers_.emplace_back(&WindowFeed::WorkerMain, this);
        } catch (const std::system_error&) {
            break;  // fewer threads: the window loop's own thread does the rest
        }
    }
}

WindowFeed::~WindowFeed() { StopWorkers(); }

FedWindow WindowFeed::Next(std::vector<std::vector<double>>& samples) {
    assert(!ended_);
    const int64_t m = nextWindow_;
    const size_t index = SlotOf(m);
    MutexLock held(mutex_);
    awaited_ = m;
    for (;;) {
        if (error_ && m >= errorWindow_) {
            awaited_ = -1;
            std::rethrow_exception(error_);
        }
        const SlotState& state = slotStates_[index];
        if (state.window == m && state.closed && state.pending == 0) break;
        if (cutterDone_ && endWindow_ == m && state.window != m) {
            awaited_ = -1;
            ended_ = true;
            return FedWindow{0, true, endBytes_};
        }
        if (!HelpOnce()) WaitForChange();
    }
    awaited_ = -1;
    const SlotState& state = slotStates_[index];
    const FedWindow fed{state.rows, state.endOfFile, state.bytesEnd};
    assert(fed.rows == windowSize_ || fed.endOfFile);
    held.Unlock();
    if (fed.rows >= 2) HandOver(slots_[index], fed.rows, m, samples);
    held.Lock();
    slotStates_[index].window = -1;
    // The freed slot matters only to a cutter that may now go.
    if (CutterMayGo(m + 1 + slotCount_)) TellChange();
    ++nextWindow_;
    ended_ = fed.endOfFile;
    return fed;
}

void WindowFeed::TellSideWork() {
    MutexLock held(mutex_);
    TellChange();
}

DataQuality WindowFeed::Finish() {
    StopWorkers();
    MutexLock held(mutex_);
    return quality_;
}
}  // namespace vux
