#pragma once
// The data reduction of a run: the window loop on an open data file, from
// the window tables to rotation.

#include <cstdint>
#include <functional>

#include "core/model.h"
#include "reduce/data_reader.h"
#include "reduce/thread_count.h"

namespace vux {
class TimeHistory;

// The steps of the reduction, told to the run as they happen.
enum class ReducePhase {
    WindowTable,      // the window function is about to be tabled
    WindowTableDone,  // it is
    HeaderSkipped,    // the reader is past the marker line
    HeadingsMapped,   // result.headings are paired; the window loop starts next
    PostProcessing,   // the loop and the changed-file check are done; means and averages follow
    Rotation,         // rotation starts
    RotationDone,     // rotation is done: the result is complete
};

// One processed window: its number (1 for the first), the seconds it took
// and the reader's byte offset after it.
struct WindowDone {
    int32_t window = 0;
    double seconds = 0.0;
    uint64_t bytesConsumed = 0;
};

// Either may be empty. Called once per phase and once per window.
struct ReduceObserver {
    std::function<void(ReducePhase, const DataReader&, const ReduceResult&)> phase;
    std::function<void(const WindowDone&)> window;
};

// Reduces the data file `reader` has open (at its first byte) under
// `config` (WINDOW_SIZE at least 2: the settings checks refuse less):
// prepares the column arrays, the window and FFT tables and the rotation,
// skips the header, pairs the headings, runs the window loop, checks that
// the file did not change, closes it, then finishes the means and spectra
// and rotates. The block size and row limit set in `reader` are
// kept. A data file whose size or modification time changed while it was
// read throws DataChanged right after the loop. Data-quality facts are
// returned in result.quality; nothing is printed.
//
// The rows are read and parsed on `threads` threads (the calling one among
// them; 1 = no other thread); 0 takes the count from ChooseThreads with the
// environment variable VUX_THREADS (reduce/window_feed.h). On 3 or more,
// the windows' transforms run on any of them (reduce/window_transforms.h)
// and their sums are made in window order. Every count gives the same bits:
// windows are processed, and the observer told, in order on the calling
// thread. Memory: a few windows' arrays and 1 MiB blocks per thread,
// whatever the file's size.
//
// With a `history` (reduce/time_history.h), each processed window is added
// to it after its transform, in window order.
ReduceResult ReduceWindows(DataReader& reader, const RunConfig& config, const ReduceObserver& observer = {},
                           int32_t threads = 0, TimeHistory* history = nullptr);
}  // namespace vux
