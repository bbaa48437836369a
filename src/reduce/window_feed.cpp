#include "reduce/window_feed.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <system_error>
#include <utility>

#include "core/ending_signals.h"
#include "core/error.h"
#include "reduce/line_scan.h"
#include "reduce/thread_count.h"

namespace vux {

// A buffer the file is read into; pieces point into it. `refs` counts the
// pieces that point into it and the cutter while it reads into it.
struct FeedBlock {
    std::unique_ptr<char[]> bytes;  // not zeroed: only bytes read are ever looked at
    size_t size = 0;
    int refs = 0;
};

// Whole rows of one block, from row `firstRow` of `window` on, and what
// parsing them found.
struct FeedPiece {
    FeedBlock* block = nullptr;
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

// One window being read: its every-sample arrays (swapped with the
// window loop's when it is handed over), row 0's once-per-window values, and
// where its rows' fields go.
struct FeedSlot {
    int64_t window = -1;  // -1: free
    std::vector<std::vector<double>> arrays;
    std::vector<double> firstRow;
    std::vector<double*> first;
    std::vector<double*> later;
    int firstLast = -1;
    int laterLast = -1;
    int32_t rows = 0;      // set when closed
    int pending = 0;       // pieces of it not parsed yet
    bool closed = false;   // all of its rows are cut
    bool endOfFile = false;
    uint64_t bytesEnd = 0;  // the file offset after its last row
    std::vector<ShortRow> shortRows;
};

namespace {

// Makes `block` hold `size` bytes, of which the first `keep` stay as they were.
void ResizeBlock(FeedBlock& block, size_t size, size_t keep) {
    std::unique_ptr<char[]> fresh = std::make_unique_for_overwrite<char[]>(size);
    if (keep > 0) std::memcpy(fresh.get(), block.bytes.get(), std::min(keep, size));
    block.bytes = std::move(fresh);
    block.size = size;
}

constexpr size_t kBlockBytes = size_t{1} << 20;
constexpr size_t kPieceBytes = size_t{256} << 10;
constexpr int64_t kRowsInFlight = 32768;

// Under the lock: wakes the waiting threads, if any (a wake-up costs a system call).
void TellChange(WindowFeed& feed) {
    if (feed.waiters > 0) feed.changed.notify_all();
}

// Under the lock (`held`): waits for a change.
void WaitForChange(WindowFeed& feed, std::unique_lock<std::mutex>& held) {
    ++feed.waiters;
    feed.changed.wait(held);
    --feed.waiters;
}

FeedSlot& SlotOf(WindowFeed& feed, int64_t window) {
    return *feed.slots[static_cast<size_t>(window % static_cast<int64_t>(feed.slots.size()))];
}

// Gives a free slot to `window` and points its targets at its arrays.
void TakeSlot(WindowFeed& feed, FeedSlot& slot, int64_t window) {
    const std::vector<ColumnSpec>& columns = *feed.columns;
    slot.window = window;
    slot.rows = 0;
    slot.pending = 0;
    slot.closed = false;
    slot.endOfFile = false;
    slot.bytesEnd = 0;
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

void ReleaseBlock(WindowFeed& feed, FeedBlock* block) {
    if (--block->refs > 0) return;
    // A block grown for one long line goes back to its usual size.
    if (block->size > feed.blockBytes) ResizeBlock(*block, feed.blockBytes, 0);
    feed.freeBlocks.push_back(block);
}

void RecordFailure(WindowFeed& feed, std::exception_ptr failure, int64_t window) {
    if (!feed.error) feed.error = std::move(failure);
    feed.errorWindow = std::min(feed.errorWindow, window);
    TellChange(feed);
}

// Under the lock: makes this thread the cutter when there is something to
// cut and room for it: a slot for the current window (taking the free slots
// of the windows after it too) and a block with room to read into.
bool ClaimCutter(WindowFeed& feed) {
    if (feed.cutting || feed.cutterDone || feed.error || feed.stopping) return false;
    const int64_t slotCount = static_cast<int64_t>(feed.slots.size());
    while (feed.slotsUntil < feed.cutWindow + slotCount) {
        FeedSlot& slot = SlotOf(feed, feed.slotsUntil);
        if (slot.window != -1) break;
        TakeSlot(feed, slot, feed.slotsUntil);
        ++feed.slotsUntil;
    }
    if (feed.slotsUntil <= feed.cutWindow) return false;
    // Cut for half the slots at once, not for each one the window loop frees
    // (with small windows that would make tiny pieces), unless the window
    // loop waits for rows not cut yet.
    if (feed.slotsUntil - feed.cutWindow < (slotCount + 1) / 2 && feed.awaited < feed.cutWindow) return false;

    // A full block whose every byte is counted holds at most the start of a
    // line after its last cut row: time for a fresh block.
    FeedBlock* block = feed.block;
    if (block == nullptr ||
        (feed.filled == block->size && feed.scanned == feed.filled && feed.consumed > 0)) {
        // Carry the bytes not cut yet (a line's start) over to a fresh block.
        if (feed.freeBlocks.empty()) return false;
        FeedBlock* next = feed.freeBlocks.back();
        feed.freeBlocks.pop_back();
        next->refs = 1;
        const size_t carry = block == nullptr ? 0 : feed.filled - feed.consumed;
        if (next->size < 2 * carry) ResizeBlock(*next, 2 * carry, 0);
        if (carry > 0) std::memcpy(next->bytes.get(), block->bytes.get() + feed.consumed, carry);
        feed.scanned -= feed.consumed;
        feed.blockOffset += feed.consumed;
        feed.filled = carry;
        feed.consumed = 0;
        if (block != nullptr) ReleaseBlock(feed, block);
        feed.block = next;
    }
    feed.cutting = true;
    return true;
}

// What one turn of the cutter found: rows from `begin` to `end` of the
// block, starting at the window and row the cutter stood at, ending before
// row `row` of window `window`.
struct Cut {
    size_t begin = 0;
    size_t end = 0;
    int32_t rows = 0;
    int64_t window = 0;
    int32_t row = 0;
    bool atEnd = false;  // the file ended after these rows: no more are cut
};

// Reads until it has a piece: up to the end of the slots it holds, about
// kPieceBytes of rows, the end of the file, or a full block. A line longer
// than the reader's row limit without its line end is let go of (a line,
// not a row). Touches only the cutter's state and the slots it holds.
Cut CutPiece(WindowFeed& feed) {
    DataReader& reader = *feed.reader;
    FeedBlock& block = *feed.block;
    const int32_t windowSize = feed.windowSize;
    const int64_t maxRows = (feed.slotsUntil - feed.cutWindow) * windowSize - feed.cutRow;
    // Small reads make small pieces: tests read in blocks of a few bytes so
    // that many pieces share a window and the threads race for them.
    const size_t pieceBytes = std::min(kPieceBytes, std::max<size_t>(reader.blockSize, 1));
    Cut cut;
    cut.begin = feed.consumed;
    cut.end = feed.consumed;
    cut.window = feed.cutWindow;
    cut.row = feed.cutRow;
    int64_t rows = 0;
    for (;;) {
        const char* data = block.bytes.get();
        if (feed.dropping) {
            const void* lf = std::memchr(data + feed.scanned, '\n', feed.filled - feed.scanned);
            if (lf != nullptr) {
                feed.scanned = static_cast<size_t>(static_cast<const char*>(lf) - data) + 1;
                feed.dropping = false;
                ++feed.nextLine;  // the overlong line is a line, not a row
            } else {
                feed.scanned = feed.filled;
            }
            feed.consumed = feed.scanned;
            cut.begin = cut.end = feed.consumed;
        }
        if (!feed.dropping) {
            while (rows < maxRows && feed.scanned < feed.filled) {
                // About pieceBytes of rows make a piece; the first row may be longer.
                size_t regionEnd = std::min(feed.filled, cut.begin + pieceBytes);
                if (regionEnd <= feed.scanned) {
                    if (rows > 0) break;
                    regionEnd = feed.filled;
                }
                const size_t wanted =
                    static_cast<size_t>(std::min<int64_t>(windowSize - cut.row, maxRows - rows));
                size_t found = 0;
                const size_t past = SkipLineEnds(data + feed.scanned, regionEnd - feed.scanned, wanted, &found);
                if (found == 0) {
                    feed.scanned = regionEnd;
                    continue;
                }
                feed.scanned += past;
                cut.end = feed.scanned;
                rows += static_cast<int64_t>(found);
                cut.row += static_cast<int32_t>(found);
                if (cut.row == windowSize) {
                    SlotOf(feed, cut.window).bytesEnd = feed.blockOffset + cut.end;
                    ++cut.window;
                    cut.row = 0;
                }
                if (found < wanted) feed.scanned = regionEnd;
            }
            if (rows == maxRows) break;
            if (rows > 0 && feed.scanned >= cut.begin + pieceBytes) break;
            if (!feed.endOfFile && rows == 0 && feed.filled - feed.consumed > reader.longestRow) {
                feed.consumed = feed.scanned = feed.filled;
                cut.begin = cut.end = feed.consumed;
                feed.dropping = true;
            }
        }
        if (feed.endOfFile) {
            cut.atEnd = true;
            break;
        }
        if (feed.filled == block.size) {
            if (rows > 0 || feed.consumed > 0) break;  // a fresh block comes with the next turn
            ResizeBlock(block, 2 * block.size, feed.filled);  // one line longer than the block
        }
        const size_t want = std::min(std::max<size_t>(reader.blockSize, 1), block.size - feed.filled);
        ssize_t got;
        do {
            got = read(reader.fd.get(), block.bytes.get() + feed.filled, want);
        } while (got < 0 && errno == EINTR);
        if (got < 0) Fail(ErrorKind::DataReadFailed, reader.path, SystemReason(errno));
        if (got == 0) {
            feed.endOfFile = true;
        } else {
            feed.filled += static_cast<size_t>(got);
        }
    }
    cut.rows = static_cast<int32_t>(rows);
    return cut;
}

// Under the lock: hands the cut rows to the parsers and moves the cutter on.
void PublishCut(WindowFeed& feed, const Cut& cut) {
    const int32_t windowSize = feed.windowSize;
    if (cut.rows > 0) {
        FeedPiece* piece;
        if (feed.freePieces.empty()) {
            feed.pieces.push_back(std::make_unique<FeedPiece>());
            piece = feed.pieces.back().get();
            piece->quality.fields.resize(feed.columns->size());
        } else {
            piece = feed.freePieces.back();
            feed.freePieces.pop_back();
        }
        piece->block = feed.block;
        ++feed.block->refs;
        piece->begin = cut.begin;
        piece->length = cut.end - cut.begin;
        piece->window = feed.cutWindow;
        piece->firstRow = feed.cutRow;
        piece->rows = cut.rows;
        piece->lastWindow = cut.row == 0 ? cut.window - 1 : cut.window;
        piece->firstLine = feed.nextLine;
        for (int64_t w = piece->window; w <= piece->lastWindow; ++w) ++SlotOf(feed, w).pending;
        for (int64_t w = piece->window; w < cut.window; ++w) {
            FeedSlot& slot = SlotOf(feed, w);
            slot.closed = true;
            slot.rows = windowSize;
        }
        feed.readyPieces.push_back(piece);
        feed.nextLine += static_cast<uint64_t>(cut.rows);
    }
    feed.consumed = cut.end;
    if (feed.scanned < cut.end) feed.scanned = cut.end;
    feed.cutWindow = cut.window;
    feed.cutRow = cut.row;
    if (cut.atEnd) {
        // A last line cut off before its line end is not a row.
        feed.cutterDone = true;
        feed.endWindow = cut.window;
        feed.endBytes = feed.blockOffset + feed.filled;
        if (cut.window < feed.slotsUntil) {
            FeedSlot& slot = SlotOf(feed, cut.window);
            slot.closed = true;
            slot.rows = cut.row;
            slot.endOfFile = true;
            slot.bytesEnd = feed.endBytes;
        }
        feed.consumed = feed.filled;
        ReleaseBlock(feed, feed.block);
        feed.block = nullptr;
    }
    feed.cutting = false;
    TellChange(feed);
}

// Parses a piece's rows into the slots of their windows.
void ParsePiece(WindowFeed& feed, FeedPiece& piece) {
    DataQuality& quality = piece.quality;
    quality.rows = 0;
    quality.shortRows = 0;
    quality.firstShortLine = 0;
    std::fill(quality.fields.begin(), quality.fields.end(), FieldFaults{});
    piece.shortRows.clear();

    const int lastColumn = static_cast<int>(feed.columns->size()) - 1;
    const char* p = piece.block->bytes.get() + piece.begin;
    const char* const stop = p + piece.length;
    int64_t window = piece.window;
    int32_t row = piece.firstRow;
    uint64_t lineOfRowZero = piece.firstLine - static_cast<uint64_t>(row);
    while (p < stop) {
        const FeedSlot& slot = SlotOf(feed, window);
        const RowTargets targets{slot.first.data(), slot.firstLast, slot.later.data(), slot.laterLast};
        const RowChecks checks{lastColumn, lineOfRowZero, quality, &piece.shortRows, window};
        p = StoreRows(p, stop, targets, checks, row, feed.windowSize);
        if (row == feed.windowSize) {
            ++window;
            row = 0;
            lineOfRowZero += static_cast<uint64_t>(feed.windowSize);
        }
    }
    quality.rows = static_cast<uint64_t>(piece.rows);
}

// Under the lock: adds a parsed piece's facts and lets go of it.
void CompletePiece(WindowFeed& feed, FeedPiece& piece) {
    AddQuality(feed.quality, piece.quality);
    for (const ShortRow& shortRow : piece.shortRows) SlotOf(feed, shortRow.window).shortRows.push_back(shortRow);
    for (int64_t w = piece.window; w <= piece.lastWindow; ++w) --SlotOf(feed, w).pending;
    ReleaseBlock(feed, piece.block);
    piece.block = nullptr;
    feed.freePieces.push_back(&piece);
    TellChange(feed);
}

// Under the lock (`held`): parses one waiting piece, or cuts one. Returns
// false when there is nothing to do now.
bool HelpOnce(WindowFeed& feed, std::unique_lock<std::mutex>& held) {
    if (feed.readyFirst < feed.readyPieces.size()) {
        FeedPiece* piece = feed.readyPieces[feed.readyFirst++];
        if (feed.readyFirst == feed.readyPieces.size()) {
            feed.readyPieces.clear();
            feed.readyFirst = 0;
        }
        held.unlock();
        try {
            ParsePiece(feed, *piece);
        } catch (...) {
            held.lock();
            RecordFailure(feed, std::current_exception(), piece->window);
            return true;
        }
        held.lock();
        CompletePiece(feed, *piece);
        return true;
    }
    if (ClaimCutter(feed)) {
        held.unlock();
        Cut cut;
        try {
            cut = CutPiece(feed);
        } catch (...) {
            held.lock();
            feed.cutting = false;
            feed.cutterDone = true;
            RecordFailure(feed, std::current_exception(), feed.cutWindow);
            return true;
        }
        held.lock();
        PublishCut(feed, cut);
        return true;
    }
    return false;
}

void WorkerMain(WindowFeed* feed) {
    // The interrupt watcher alone takes the signals that end a run.
    const sigset_t signals = EndingSignalSet();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::unique_lock<std::mutex> held(feed->lock);
    while (!feed->stopping) {
        if (!HelpOnce(*feed, held)) WaitForChange(*feed, held);
    }
}

void StopWorkers(WindowFeed& feed) {
    {
        std::lock_guard<std::mutex> held(feed.lock);
        feed.stopping = true;
    }
    feed.changed.notify_all();
    for (std::thread& worker : feed.workers) worker.join();
    feed.workers.clear();
}

// Stores a complete window of at least 2 rows into the window loop's arrays.
void HandOver(WindowFeed& feed, FeedSlot& slot, int32_t m, std::vector<std::vector<double>>& samples) {
    const std::vector<ColumnSpec>& columns = *feed.columns;
    const size_t window = static_cast<size_t>(feed.windowSize);
    const size_t rows = static_cast<size_t>(slot.rows);
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
            if (rows < window) std::copy(values.begin() + static_cast<std::ptrdiff_t>(rows),
                                         values.begin() + static_cast<std::ptrdiff_t>(window),
                                         fresh.begin() + static_cast<std::ptrdiff_t>(rows));
            values.swap(fresh);
        }
    }
}

}  // namespace

WindowFeed::WindowFeed() = default;
WindowFeed::~WindowFeed() { StopWorkers(*this); }

void StartFeed(WindowFeed& feed, DataReader& reader, const std::vector<ColumnSpec>& columns, int32_t windowSize,
               int32_t threads) {
    feed.reader = &reader;
    feed.columns = &columns;
    feed.windowSize = windowSize;
    feed.threads = std::clamp<int32_t>(threads, 1, kMaxThreads);
    feed.quality.fields.resize(columns.size());

    const int64_t slotCount =
        windowSize >= 2 * kRowsInFlight ? 1
                                        : std::clamp<int64_t>((kRowsInFlight + windowSize - 1) / windowSize, 2, 256);
    for (int64_t s = 0; s < slotCount; ++s) {
        auto slot = std::make_unique<FeedSlot>();
        slot->arrays.resize(columns.size());
        for (size_t c = 0; c < columns.size(); ++c) {
            if (IsEverySample(columns[c].sampling)) slot->arrays[c].assign(static_cast<size_t>(windowSize), 0.0);
        }
        slot->firstRow.assign(columns.size(), 0.0);
        slot->first.assign(columns.size(), nullptr);
        slot->later.assign(columns.size(), nullptr);
        feed.slots.push_back(std::move(slot));
    }
    // Each thread parses one piece at a time, and a block holds a few pieces.
    const int32_t blockCount = 2 + std::min<int32_t>(feed.threads, 16);
    // A small file needs no 1 MiB blocks.
    const uint64_t offset = reader.bufferOffset + reader.begin;
    const uint64_t left = reader.fileSize > offset ? reader.fileSize - offset : 0;
    feed.blockBytes = static_cast<size_t>(std::min<uint64_t>(kBlockBytes, left + 4096));
    for (int32_t b = 0; b < blockCount; ++b) {
        auto block = std::make_unique<FeedBlock>();
        ResizeBlock(*block, feed.blockBytes, 0);
        feed.freeBlocks.push_back(block.get());
        feed.blocks.push_back(std::move(block));
    }

    // The reader's buffer holds what follows the headings line.
    FeedBlock* first = feed.freeBlocks.back();
    feed.freeBlocks.pop_back();
    first->refs = 1;
    const size_t carry = reader.end - reader.begin;
    if (first->size < carry) ResizeBlock(*first, carry, 0);
    if (carry > 0) std::memcpy(first->bytes.get(), reader.buffer.data() + reader.begin, carry);
    feed.block = first;
    feed.filled = carry;
    feed.consumed = 0;
    feed.scanned = 0;
    feed.blockOffset = reader.bufferOffset + reader.begin;
    feed.endOfFile = reader.endOfFile || !reader.fd;
    feed.nextLine = reader.linesRead + 1;
    reader.begin = reader.end;

    for (int32_t t = 1; t < feed.threads; ++t) {
        try {
            feed.workers.emplace_back(WorkerMain, &feed);
        } catch (const std::system_error&) {
            break;  // fewer threads: the window loop's own thread does the rest
        }
    }
}

FedWindow NextWindow(WindowFeed& feed, int32_t m, std::vector<std::vector<double>>& samples) {
    std::unique_lock<std::mutex> held(feed.lock);
    FeedSlot* ready = nullptr;
    feed.awaited = m;
    for (;;) {
        if (feed.error && m >= feed.errorWindow) {
            std::exception_ptr failure = feed.error;
            feed.awaited = -1;
            held.unlock();
            std::rethrow_exception(failure);
        }
        FeedSlot& slot = SlotOf(feed, m);
        if (slot.window == m && slot.closed && slot.pending == 0) {
            ready = &slot;
            break;
        }
        if (feed.cutterDone && feed.endWindow == m && slot.window != m) {
            feed.awaited = -1;
            return FedWindow{0, true, feed.endBytes};
        }
        if (!HelpOnce(feed, held)) WaitForChange(feed, held);
    }
    feed.awaited = -1;
    held.unlock();
    const FedWindow fed{ready->rows, ready->endOfFile, ready->bytesEnd};
    if (fed.rows >= 2) HandOver(feed, *ready, m, samples);
    held.lock();
    ready->window = -1;
    // The freed slot matters only to a cutter that may now cut (see ClaimCutter).
    const int64_t slotCount = static_cast<int64_t>(feed.slots.size());
    if (m + 1 + slotCount - feed.cutWindow >= (slotCount + 1) / 2) TellChange(feed);
    return fed;
}

void FinishFeed(WindowFeed& feed) {
    StopWorkers(feed);
    DataReader& reader = *feed.reader;
    reader.bytesConsumed = feed.cutterDone ? feed.endBytes : feed.blockOffset + feed.consumed;
    reader.linesRead = feed.nextLine - 1;
    reader.endOfFile = feed.endOfFile;
    if (reader.quality.fields.size() != feed.columns->size()) reader.quality.fields.resize(feed.columns->size());
    AddQuality(reader.quality, feed.quality);
}
}  // namespace vux
